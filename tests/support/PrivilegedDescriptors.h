#pragma once
// How many privileged sockets this process holds: raw sockets, and UDP sockets bound to
// port 67. The socket helper keeps both kinds to itself, so a client of it holds none.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

namespace zelvo::test {

inline int PrivilegedDescriptors()
{
    int count = 0;
    for (int fd = 0; fd < 1024; ++fd) {
        int type = 0;
        socklen_t length = sizeof type;
        if (::getsockopt(fd, SOL_SOCKET, SO_TYPE, &type, &length) != 0)
            continue;
        sockaddr_in bound{};
        length = sizeof bound;
        const bool port67 = type == SOCK_DGRAM &&
                            ::getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &length) == 0 &&
                            bound.sin_family == AF_INET && ntohs(bound.sin_port) == 67;
        count += type == SOCK_RAW || port67 ? 1 : 0;
    }
    return count;
}

} // namespace zelvo::test
