#pragma once
#include <atomic>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace zelvo::test {

// A small FTP server on 127.0.0.1 for the client's tests: one session at a time, the
// commands libcurl sends (USER PASS PWD CWD TYPE EPSV PASV SIZE NLST RETR STOR DELE
// RNFR RNTO QUIT), files kept in memory, and faults a real server cannot be asked for.
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
        RefuseDelete,    // 550 to every DELE
        CutStore,        // STOR: keeps what came until half the file, then both connections close
        EndlessRetrieve, // RETR: no size told, 65 MiB (past any download's cap) or until the client goes
    };

    MiniFtpServer();
    ~MiniFtpServer();
    int Port() const { return m_port; }

    void SetFault(Fault fault);
    // NLST answers with lines of this many bytes (names of '0'-'9' and 'a' cycling, so
    // that no two neighbours repeat), made as they are sent, instead of the directory.
    void SetGeneratedListing(std::size_t lines, std::size_t lineBytes);
    // Files by absolute path ("/config/nas_ABCDEF.dat"); directories by path.
    void AddDirectory(const std::string& path);
    void PutFile(const std::string& path, const std::string& bytes);
    bool HasFile(const std::string& path) const;
    std::string FileBytes(const std::string& path) const;
    std::vector<std::string> Commands() const; // every command received, in order
    int Sessions() const { return m_sessions.load(); }
    // Sessions still open (a client that was asked to stop has closed its own).
    int OpenSessions() const { return m_open.load(); }

private:
    void Serve();
    void Session(int control);
    bool Reply(int control, const std::string& line);

    int m_listen = -1;
    int m_port = 0;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_sessions{0};
    std::atomic<int> m_open{0};
    mutable std::mutex m_mutex;
    Fault m_fault = Fault::None;
    std::size_t m_listingLines = 0;
    std::size_t m_listingLineBytes = 0;
    std::map<std::string, std::string> m_files;
    std::set<std::string> m_directories{"/"};
    std::vector<std::string> m_commands;
    std::thread m_thread;
};

} // namespace zelvo::test
