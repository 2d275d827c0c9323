#pragma once
#include <atomic>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>

namespace zelvo::test {

// A small FTP server on 127.0.0.1 for the FTP client's tests: one session at a time, the
// commands libcurl sends (USER PASS PWD CWD TYPE EPSV SIZE NLST RETR STOR DELE RNFR RNTO;
// 502 to others), files in a folder of its own, and faults a real server cannot be asked for.
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
    void SetFault(Fault fault) { m_fault = fault; }
    // NLST answers with this many lines of lineBytes bytes, made as they are sent.
    void SetGeneratedListing(std::size_t lines, std::size_t lineBytes)
    {
        m_listingLines = lines;
        m_listingLineBytes = lineBytes;
    }
    // The server's files live in a folder of its own; paths are absolute on the server.
    void AddDirectory(const std::string& path)
    {
        std::filesystem::create_directories(m_root + path);
    }
    void PutFile(const std::string& path, const std::string& bytes);
    std::optional<std::string> File(const std::string& path) const; // nullopt: none there

private:
    void Session(int control);
    int m_port = 0;
    int m_listen = -1;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_sessions{0};
    std::atomic<Fault> m_fault{Fault::None};
    std::atomic<std::size_t> m_listingLines{0};
    std::atomic<std::size_t> m_listingLineBytes{0};
    std::string m_root;
    std::thread m_thread;
};

} // namespace zelvo::test
