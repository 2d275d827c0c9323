#include "support/MiniFtpServer.h"

#include <arpa/inet.h>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace zelvo::test {
namespace {

int ListenLoopback(int& port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd, 4) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        if (fd >= 0)
            ::close(fd);
        return -1;
    }
    port = ntohs(address.sin_port);
    return fd;
}

// Waits for fd to become readable, watching stop; false on stop or error.
bool WaitReadable(int fd, const std::atomic<bool>& stop)
{
    while (!stop.load()) {
        pollfd p{fd, POLLIN, 0};
        const int n = ::poll(&p, 1, 50);
        if (n > 0)
            return true;
        if (n < 0)
            return false;
    }
    return false;
}

bool SendAll(int fd, const char* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

std::string Join(const std::string& cwd, const std::string& name)
{
    if (!name.empty() && name[0] == '/')
        return name;
    return cwd == "/" ? "/" + name : cwd + "/" + name;
}

} // namespace

MiniFtpServer::MiniFtpServer()
{
    m_listen = ListenLoopback(m_port);
    m_thread = std::thread([this] { Serve(); });
}

MiniFtpServer::~MiniFtpServer()
{
    m_stop = true;
    m_thread.join();
    if (m_listen >= 0)
        ::close(m_listen);
}

void MiniFtpServer::SetFault(Fault fault)
{
    std::lock_guard lock(m_mutex);
    m_fault = fault;
}

void MiniFtpServer::SetGeneratedListing(std::size_t lines, std::size_t lineBytes)
{
    std::lock_guard lock(m_mutex);
    m_listingLines = lines;
    m_listingLineBytes = lineBytes;
}

void MiniFtpServer::AddDirectory(const std::string& path)
{
    std::lock_guard lock(m_mutex);
    m_directories.insert(path);
}

void MiniFtpServer::PutFile(const std::string& path, const std::string& bytes)
{
    std::lock_guard lock(m_mutex);
    m_files[path] = bytes;
}

bool MiniFtpServer::HasFile(const std::string& path) const
{
    std::lock_guard lock(m_mutex);
    return m_files.count(path) != 0;
}

std::string MiniFtpServer::FileBytes(const std::string& path) const
{
    std::lock_guard lock(m_mutex);
    const auto it = m_files.find(path);
    return it == m_files.end() ? std::string() : it->second;
}

std::vector<std::string> MiniFtpServer::Commands() const
{
    std::lock_guard lock(m_mutex);
    return m_commands;
}

bool MiniFtpServer::Reply(int control, const std::string& line)
{
    const std::string text = line + "\r\n";
    return SendAll(control, text.data(), text.size());
}

void MiniFtpServer::Serve()
{
    while (m_listen >= 0 && WaitReadable(m_listen, m_stop)) {
        const int control = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
        if (control < 0)
            continue;
        ++m_sessions;
        ++m_open;
        Session(control);
        ::close(control);
        --m_open;
    }
}

void MiniFtpServer::Session(int control)
{
    Fault fault;
    {
        std::lock_guard lock(m_mutex);
        fault = m_fault;
    }
    if (fault == Fault::SilentGreeting) {
        // Keep the connection open and quiet until the client gives up.
        char byte;
        while (WaitReadable(control, m_stop))
            if (::recv(control, &byte, 1, 0) <= 0)
                return;
        return;
    }
    if (!Reply(control, "220 mini FTP ready"))
        return;
    std::string cwd = "/";
    std::string buffer;
    std::string renameFrom;
    int passive = -1;
    for (;;) {
        std::size_t end;
        while ((end = buffer.find("\r\n")) == std::string::npos) {
            char chunk[512];
            if (!WaitReadable(control, m_stop))
                goto done;
            const ssize_t n = ::recv(control, chunk, sizeof chunk, 0);
            if (n <= 0)
                goto done;
            buffer.append(chunk, static_cast<std::size_t>(n));
        }
        {
            const std::string line = buffer.substr(0, end);
            buffer.erase(0, end + 2);
            const std::size_t space = line.find(' ');
            const std::string verb = line.substr(0, space);
            const std::string arg = space == std::string::npos ? "" : line.substr(space + 1);
            {
                std::lock_guard lock(m_mutex);
                m_commands.push_back(line);
            }
            auto acceptData = [&]() -> int {
                if (passive < 0 || !WaitReadable(passive, m_stop))
                    return -1;
                const int data = ::accept4(passive, nullptr, nullptr, SOCK_CLOEXEC);
                ::close(passive);
                passive = -1;
                return data;
            };
            if (verb == "USER") {
                Reply(control, "331 password please");
            } else if (verb == "PASS") {
                Reply(control, fault == Fault::RefuseLogin ? "530 Login incorrect." : "230 in");
            } else if (verb == "PWD") {
                Reply(control, "257 \"" + cwd + "\" is the current directory");
            } else if (verb == "CWD") {
                std::string target = Join(cwd, arg);
                while (target.size() > 1 && target.back() == '/')
                    target.pop_back();
                std::lock_guard lock(m_mutex);
                if (m_directories.count(target)) {
                    cwd = target;
                    Reply(control, "250 ok");
                } else {
                    Reply(control, "550 Failed to change directory.");
                }
            } else if (verb == "TYPE") {
                Reply(control, "200 type set");
            } else if (verb == "EPSV" || verb == "PASV") {
                int port = 0;
                if (passive >= 0)
                    ::close(passive);
                passive = ListenLoopback(port);
                if (verb == "EPSV")
                    Reply(control,
                          "229 Entering Extended Passive Mode (|||" + std::to_string(port) + "|)");
                else
                    Reply(control, "227 Entering Passive Mode (127,0,0,1," +
                                       std::to_string(port / 256) + "," +
                                       std::to_string(port % 256) + ")");
            } else if (verb == "SIZE") {
                const std::string path = Join(cwd, arg);
                std::lock_guard lock(m_mutex);
                const auto it = m_files.find(path);
                if (fault == Fault::EndlessRetrieve)
                    Reply(control, "502 SIZE not implemented");
                else
                    Reply(control, it == m_files.end()
                                       ? "550 no such file"
                                       : "213 " + std::to_string(it->second.size()));
            } else if (verb == "NLST") {
                std::string listing;
                std::size_t lines = 0;
                std::size_t lineBytes = 0;
                {
                    std::lock_guard lock(m_mutex);
                    lines = m_listingLines;
                    lineBytes = m_listingLineBytes;
                    const std::string prefix = cwd == "/" ? "/" : cwd + "/";
                    for (const auto& [path, bytes] : m_files)
                        if (path.rfind(prefix, 0) == 0 &&
                            path.find('/', prefix.size()) == std::string::npos)
                            listing += path.substr(prefix.size()) + "\r\n";
                }
                Reply(control, "150 listing");
                const int data = acceptData();
                if (data >= 0) {
                    if (lines == 0) {
                        SendAll(data, listing.data(), listing.size());
                    } else {
                        // In pieces of about 64 KiB, stopping when the client goes.
                        std::string piece;
                        for (std::size_t k = 0; k < lines && !m_stop.load(); ++k) {
                            for (std::size_t b = 0; b < lineBytes; ++b)
                                piece += "0123456789a"[(k + b) % 11];
                            piece += "\r\n";
                            if (piece.size() >= 65536 || k + 1 == lines) {
                                if (!SendAll(data, piece.data(), piece.size()))
                                    break;
                                piece.clear();
                            }
                        }
                    }
                    ::close(data);
                }
                Reply(control, "226 done");
            } else if (verb == "RETR") {
                const std::string path = Join(cwd, arg);
                std::string bytes;
                bool found;
                {
                    std::lock_guard lock(m_mutex);
                    const auto it = m_files.find(path);
                    found = it != m_files.end();
                    if (found)
                        bytes = it->second;
                }
                if (!found) {
                    Reply(control, "550 Failed to open file.");
                    continue;
                }
                if (fault == Fault::EndlessRetrieve) {
                    Reply(control, "150 Opening BINARY mode data connection for " + arg + ".");
                    const int data = acceptData();
                    if (data < 0)
                        goto done;
                    // A mebibyte more than any download may be: a client without a cap
                    // takes it all, and the disk is not filled when one is missing.
                    const std::string piece(65536, '\x5a');
                    std::size_t left = (std::size_t{65} << 20);
                    while (left > 0 && !m_stop.load() && SendAll(data, piece.data(), piece.size()))
                        left -= piece.size();
                    ::close(data);
                    Reply(control, left ? "426 Connection closed; transfer aborted."
                                        : "226 Transfer complete.");
                    continue;
                }
                Reply(control, "150 Opening BINARY mode data connection for " + arg + " (" +
                                   std::to_string(bytes.size()) + " bytes).");
                const int data = acceptData();
                if (data < 0)
                    goto done;
                if (fault == Fault::CutRetrieve || fault == Fault::StallRetrieve) {
                    SendAll(data, bytes.data(), bytes.size() / 2);
                    if (fault == Fault::StallRetrieve)
                        while (!m_stop.load() && WaitReadable(control, m_stop)) {
                            char byte;
                            if (::recv(control, &byte, 1, 0) <= 0)
                                break;
                        }
                    ::close(data);
                    goto done;
                }
                SendAll(data, bytes.data(), bytes.size());
                ::close(data);
                Reply(control, "226 Transfer complete.");
            } else if (verb == "STOR") {
                Reply(control, "150 Ok to send data.");
                const int data = acceptData();
                if (data < 0)
                    goto done;
                std::string bytes;
                char chunk[65536];
                bool cut = false;
                for (;;) {
                    if (!WaitReadable(data, m_stop))
                        break;
                    const ssize_t n = ::recv(data, chunk, sizeof chunk, 0);
                    if (n <= 0)
                        break;
                    bytes.append(chunk, static_cast<std::size_t>(n));
                    // Half of a file of a few hundred kilobytes: the server dies there.
                    if (fault == Fault::CutStore && bytes.size() >= 65536) {
                        cut = true;
                        break;
                    }
                }
                ::close(data);
                PutFile(Join(cwd, arg), bytes);
                if (cut)
                    goto done;
                Reply(control, "226 Transfer complete.");
            } else if (verb == "DELE") {
                const std::string path = Join(cwd, arg);
                std::lock_guard lock(m_mutex);
                if (fault != Fault::RefuseDelete && m_files.erase(path))
                    Reply(control, "250 Delete operation successful.");
                else
                    Reply(control, "550 Delete operation failed.");
            } else if (verb == "RNFR") {
                renameFrom = Join(cwd, arg);
                Reply(control,
                      HasFile(renameFrom) ? "350 Ready for RNTO." : "550 RNFR command failed.");
            } else if (verb == "RNTO") {
                std::lock_guard lock(m_mutex);
                const auto it = m_files.find(renameFrom);
                if (it == m_files.end()) {
                    Reply(control, "503 RNFR required first.");
                } else {
                    m_files[Join(cwd, arg)] = it->second;
                    m_files.erase(renameFrom);
                    Reply(control, "250 Rename successful.");
                }
                renameFrom.clear();
            } else if (verb == "QUIT") {
                Reply(control, "221 Goodbye.");
                goto done;
            } else {
                Reply(control, "502 not implemented");
            }
        }
    }
done:
    if (passive >= 0)
        ::close(passive);
}

} // namespace zelvo::test
