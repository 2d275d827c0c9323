#pragma once
// Moves the test process into a network namespace of its own, with only a loopback
// device, so that nothing a test sends can reach a real network and the ports it binds
// (67, 137) are free. Called before any thread starts; later threads inherit it.
#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

namespace zelvo::test {

// Empty on success, else why the namespace could not be made.
inline std::string EnterPrivateNetwork()
{
    if (::unshare(CLONE_NEWNET) != 0)
        return std::string("unshare(CLONE_NEWNET): ") + std::strerror(errno);
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return std::string("socket: ") + std::strerror(errno);
    ifreq request{};
    std::strncpy(request.ifr_name, "lo", IFNAMSIZ - 1);
    std::string why;
    if (::ioctl(fd, SIOCGIFFLAGS, &request) != 0) {
        why = std::string("SIOCGIFFLAGS lo: ") + std::strerror(errno);
    } else {
        request.ifr_flags = static_cast<short>(request.ifr_flags | IFF_UP);
        if (::ioctl(fd, SIOCSIFFLAGS, &request) != 0)
            why = std::string("SIOCSIFFLAGS lo: ") + std::strerror(errno);
    }
    ::close(fd);
    return why;
}

// The outcome of EnterPrivateNetwork for the whole test program, made once.
inline const std::string& PrivateNetworkProblem()
{
    static const std::string problem = EnterPrivateNetwork();
    return problem;
}

} // namespace zelvo::test
