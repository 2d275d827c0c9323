// Two broken FTP servers for the transfer fault tests, started in a lab unit's namespace
// in place of its vsftpd:
//   zelvo_fake_ftp_server silent|refuse READY_FILE
// Binds TCP 21, creates READY_FILE, then serves every connection until it is killed (the
// lab's tear-down ends every process in its namespaces):
//   silent  accepts and never sends a byte, holding the connection open;
//   refuse  greets, asks for the password after USER and answers 530 to PASS and to
//           every other command, as a server does whose account was taken away.
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

namespace {

bool Send(int fd, const char* line)
{
    const std::size_t length = std::strlen(line);
    return ::send(fd, line, length, MSG_NOSIGNAL) == static_cast<ssize_t>(length);
}

void HoldSilently(int fd)
{
    char buffer[512];
    while (::recv(fd, buffer, sizeof buffer, 0) > 0) {
    }
    ::close(fd);
}

void RefuseLogin(int fd)
{
    std::string pending;
    char buffer[512];
    bool open = Send(fd, "220 VELDIX FTP server ready.\r\n");
    while (open) {
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0)
            break;
        pending.append(buffer, static_cast<std::size_t>(n));
        std::size_t end;
        while (open && (end = pending.find('\n')) != std::string::npos) {
            const std::string command = pending.substr(0, end);
            pending.erase(0, end + 1);
            if (command.rfind("USER", 0) == 0)
                open = Send(fd, "331 Password required.\r\n");
            else if (command.rfind("PASS", 0) == 0)
                open = Send(fd, "530 Login incorrect.\r\n");
            else if (command.rfind("QUIT", 0) == 0) {
                Send(fd, "221 Goodbye.\r\n");
                open = false;
            } else
                open = Send(fd, "530 Please login with USER and PASS.\r\n");
        }
    }
    ::close(fd);
}

} // namespace

int main(int argc, char** argv)
{
    const std::string mode = argc == 3 ? argv[1] : "";
    if (mode != "silent" && mode != "refuse") {
        std::fprintf(stderr, "usage: %s silent|refuse READY_FILE\n", argv[0]);
        return 2;
    }
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int yes = 1;
    ::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in self{};
    self.sin_family = AF_INET;
    self.sin_port = htons(21);
    if (listener < 0 || ::bind(listener, reinterpret_cast<sockaddr*>(&self), sizeof self) != 0 ||
        ::listen(listener, 16) != 0) {
        std::perror("fake FTP server: listen on TCP 21");
        return 1;
    }
    if (FILE* ready = std::fopen(argv[2], "w"))
        std::fclose(ready);
    for (;;) {
        const int fd = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        std::thread(mode == "silent" ? HoldSilently : RefuseLogin, fd).detach();
    }
}
