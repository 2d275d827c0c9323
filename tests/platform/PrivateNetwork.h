#pragma once
// Moves the test process, before it starts any thread, into a network namespace of its
// own with only a loopback device: nothing a test sends can reach a real network, and
// the ports it binds (67) are free. Later threads and children inherit it.
#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

namespace zelvo::test {

// Empty once the process is in its own namespace, else why it is not.
inline const std::string& PrivateNetworkProblem()
{
    static const std::string problem = []() -> std::string {
        if (::unshare(CLONE_NEWNET) != 0)
            return std::string("no network namespace of our own: ") + std::strerror(errno);
        const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        ifreq up{};
        std::strncpy(up.ifr_name, "lo", IFNAMSIZ - 1);
        up.ifr_flags = IFF_UP;
        const bool ok = fd >= 0 && ::ioctl(fd, SIOCSIFFLAGS, &up) == 0;
        ::close(fd);
        return ok ? "" : std::string("loopback not up: ") + std::strerror(errno);
    }();
    return problem;
}

} // namespace zelvo::test
