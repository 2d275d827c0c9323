#include "support/MiniFtpServer.h"

#include "platform/Files.h"
#include "support/LoopbackSocket.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace zelvo::test {
namespace {

namespace fs = std::filesystem;

int ListenLoopback(int& port)
{
    uint16_t bound = 0;
    UniqueFd fd = LoopbackSocket(SOCK_STREAM, bound);
    if (!fd.Valid() || ::listen(fd.Get(), 4) != 0)
        return -1;
    port = bound;
    return fd.Release();
}

// Waits for fd to become readable, watching stop; false on stop or error.
bool Readable(int fd, const std::atomic<bool>& stop)
{
    for (pollfd p{fd, POLLIN, 0}; fd >= 0 && !stop.load();) {
        const int n = ::poll(&p, 1, 50);
        if (n != 0)
            return n > 0;
    }
    return false;
}

bool SendAll(int fd, std::string_view data)
{
    while (!data.empty()) {
        const ssize_t n = ::send(fd, data.data(), data.size(), MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

} // namespace

MiniFtpServer::MiniFtpServer() : m_listen(ListenLoopback(m_port))
{
    char root[] = "/tmp/zelvo-mini-ftp-XXXXXX";
    m_root = ::mkdtemp(root);
    m_thread = std::thread([this] {
        while (Readable(m_listen, m_stop)) {
            const int control = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
            if (control < 0)
                continue;
            ++m_sessions;
            Session(control);
            ::close(control);
        }
    });
}

MiniFtpServer::~MiniFtpServer()
{
    m_stop = true;
    m_thread.join();
    if (m_listen >= 0)
        ::close(m_listen);
    fs::remove_all(m_root);
}

void MiniFtpServer::PutFile(const std::string& path, const std::string& bytes)
{
    std::ofstream(m_root + path, std::ios::binary) << bytes;
}

std::optional<std::string> MiniFtpServer::File(const std::string& path) const
{
    return ReadSmallFile(m_root + path, std::size_t{1} << 20);
}

void MiniFtpServer::Session(int control)
{
    const Fault fault = m_fault;
    const std::size_t lines = m_listingLines, lineBytes = m_listingLineBytes;
    const auto reply = [control](const std::string& text) { SendAll(control, text + "\r\n"); };
    char chunk[65536];
    std::string cwd = "/", buffer, renameFrom;
    int passive = -1;
    // The data connection of a transfer, on the port the last EPSV opened.
    const auto acceptData = [&] {
        const int data =
            Readable(passive, m_stop) ? ::accept4(passive, nullptr, nullptr, SOCK_CLOEXEC) : -1;
        ::close(passive);
        passive = -1;
        return data;
    };
    if (fault != Fault::SilentGreeting)
        reply("220 mini FTP ready");
    for (;;) {
        std::size_t end;
        ssize_t got = 1;
        while ((end = buffer.find("\r\n")) == std::string::npos && got > 0) {
            got = Readable(control, m_stop) ? ::recv(control, chunk, sizeof chunk, 0) : -1;
            buffer.append(chunk, static_cast<std::size_t>(std::max<ssize_t>(got, 0)));
        }
        if (got <= 0 || fault == Fault::SilentGreeting)
            break;
        const std::string line = buffer.substr(0, end);
        buffer.erase(0, end + 2);
        const std::size_t space = line.find(' ');
        const std::string verb = line.substr(0, space);
        const std::string arg = space == std::string::npos ? "" : line.substr(space + 1);
        std::string path =
            !arg.empty() && arg[0] == '/' ? arg : (cwd == "/" ? "" : cwd) + "/" + arg;
        const std::optional<std::string> bytes = File(path);
        if (verb == "USER") {
            reply("331 password please");
        } else if (verb == "PASS") {
            reply(fault == Fault::RefuseLogin ? "530 Login incorrect." : "230 in");
        } else if (verb == "PWD") {
            reply("257 \"" + cwd + "\" is the current directory");
        } else if (verb == "CWD") {
            while (path.size() > 1 && path.back() == '/')
                path.pop_back();
            const bool known = fs::is_directory(m_root + path);
            cwd = known ? path : cwd;
            reply(known ? "250 ok" : "550 Failed to change directory.");
        } else if (verb == "TYPE") {
            reply("200 type set");
        } else if (verb == "EPSV") {
            int port = 0;
            if (passive >= 0)
                ::close(passive);
            passive = ListenLoopback(port);
            reply("229 Entering Extended Passive Mode (|||" + std::to_string(port) + "|)");
        } else if (verb == "SIZE") {
            reply(fault == Fault::EndlessRetrieve ? "502 SIZE not implemented"
                  : bytes                         ? "213 " + std::to_string(bytes->size())
                                                  : "550 no such file");
        } else if (verb == "NLST") {
            std::string listing;
            for (const auto& entry : fs::directory_iterator(m_root + cwd))
                if (entry.is_regular_file())
                    listing += entry.path().filename().string() + "\r\n";
            reply("150 listing");
            const int data = acceptData();
            // A generated listing goes in pieces of about 64 KiB, and stops when the
            // client goes: the client's memory is under test, not the server's.
            bool sending = lines == 0 ? SendAll(data, listing) : true;
            for (std::size_t k = 0; sending && k < lines && !m_stop.load(); ++k) {
                for (std::size_t b = 0; b < lineBytes; ++b)
                    listing += "0123456789a"[(k + b) % 11];
                listing += "\r\n";
                if (listing.size() >= 65536 || k + 1 == lines) {
                    sending = SendAll(data, listing);
                    listing.clear();
                }
            }
            ::close(data);
            reply("226 done");
        } else if (verb == "RETR" && !bytes) {
            reply("550 Failed to open file.");
        } else if (verb == "RETR") {
            const bool endless = fault == Fault::EndlessRetrieve;
            reply("150 Opening BINARY mode data connection for " + arg +
                  (endless ? "." : " (" + std::to_string(bytes->size()) + " bytes)."));
            const int data = acceptData();
            // A mebibyte more than any download may be: a client without a cap takes it
            // all, and the disk is not filled when one is missing.
            std::size_t left = endless ? std::size_t{65} << 20 : 0;
            for (const std::string piece(65536, 'z'); left > 0 && SendAll(data, piece);)
                left -= piece.size();
            const bool cut = fault == Fault::CutRetrieve || fault == Fault::StallRetrieve;
            if (!endless)
                SendAll(data, std::string_view(*bytes).substr(0, cut ? bytes->size() / 2
                                                                     : bytes->size()));
            while (fault == Fault::StallRetrieve && Readable(control, m_stop) &&
                   ::recv(control, chunk, sizeof chunk, 0) > 0) {
            }
            ::close(data);
            if (cut)
                break;
            reply(left ? "426 Connection closed; transfer aborted." : "226 Transfer complete.");
        } else if (verb == "STOR") {
            reply("150 Ok to send data.");
            const int data = acceptData();
            std::string stored;
            bool cut = false;
            for (ssize_t n; !cut && Readable(data, m_stop) &&
                            (n = ::recv(data, chunk, sizeof chunk, 0)) > 0;) {
                stored.append(chunk, static_cast<std::size_t>(n));
                cut = fault == Fault::CutStore && stored.size() >= 65536;
            }
            ::close(data);
            PutFile(path, stored);
            if (cut)
                break;
            reply("226 Transfer complete.");
        } else if (verb == "DELE") {
            std::error_code error;
            reply(fs::is_regular_file(m_root + path) && fs::remove(m_root + path, error)
                      ? "250 Delete operation successful."
                      : "550 Delete operation failed.");
        } else if (verb == "RNFR") {
            renameFrom = bytes ? path : "";
            reply(bytes ? "350 Ready for RNTO." : "550 RNFR command failed.");
        } else if (verb == "RNTO") {
            std::error_code error;
            fs::rename(m_root + renameFrom, m_root + path, error);
            const bool renamed = !renameFrom.empty() && !error;
            reply(renamed ? "250 Rename successful." : "503 RNFR required first.");
        } else {
            reply("502 not implemented");
        }
    }
    if (passive >= 0)
        ::close(passive);
}

} // namespace zelvo::test
