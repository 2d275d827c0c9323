#pragma once
#include <atomic>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <type_traits>

namespace zelvo::test {

// A small FTP server on 127.0.0.1 for the FTP client's tests: one session at a time, the
// commands libcurl sends (USER PASS PWD CWD TYPE EPSV SIZE NLST RETR STOR DELE RNFR RNTO
// QUIT), files in memory by absolute path ("/config/nas_ABCDEF.dat"), and faults a real
// server cannot be asked for.
class MiniFtpServer
{
public:
    enum class Fault
    {
        None,
        SilentGreeting,  // accepts and never says a word
        RefuseLogin,     // 530 to PASS
        CutRetrieve,     // RETR: half the bytes, then both connections close (a crash)
        StallRetrieve,   // RETR: half the bytes, then silence with both connections open
        CutStore,        // STOR: keeps the first 64 KiB, then both connections close
        EndlessRetrieve, // RETR: no size told, 65 MiB (past any download's cap)
    };

    MiniFtpServer();
    ~MiniFtpServer();
    int Port() const { return m_port; }
    int Sessions() const { return m_sessions.load(); }
    void SetFault(Fault fault)
    {
        Locked([&] { m_fault = fault; });
    }
    // NLST answers with this many lines of lineBytes bytes, made as they are sent.
    void SetGeneratedListing(std::size_t lines, std::size_t lineBytes)
    {
        Locked([&] { m_listing = {lines, lineBytes}; });
    }
    void AddDirectory(const std::string& path)
    {
        Locked([&] { m_directories.insert(path); });
    }
    void PutFile(const std::string& path, const std::string& bytes)
    {
        Locked([&] { m_files[path] = bytes; });
    }
    bool HasFile(const std::string& path) const
    {
        return Locked([&] { return m_files.count(path) != 0; });
    }
    std::string FileBytes(const std::string& path) const
    {
        return Locked([&] { return m_files.count(path) ? m_files.at(path) : std::string(); });
    }

private:
    void Session(int control);
    template <typename F> std::invoke_result_t<F> Locked(F f) const
    {
        std::lock_guard lock(m_mutex);
        return f();
    }

    int m_port = 0;
    int m_listen = -1;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_sessions{0};
    mutable std::mutex m_mutex;
    Fault m_fault = Fault::None;
    std::pair<std::size_t, std::size_t> m_listing; // generated lines and their bytes
    std::map<std::string, std::string> m_files;
    std::set<std::string> m_directories{"/"};
    std::thread m_thread;
};

} // namespace zelvo::test
