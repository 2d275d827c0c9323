#pragma once
// A socket on 127.0.0.1 at a port the kernel picks, for tests that talk to themselves.
#include "platform/UniqueFd.h"

#include <netinet/in.h>
#include <sys/socket.h>

namespace zelvo::test {

// type: SOCK_DGRAM or SOCK_STREAM, with flags such as SOCK_NONBLOCK; port: where it is
// bound. An invalid descriptor when the socket could not be had.
inline UniqueFd LoopbackSocket(int type, uint16_t& port)
{
    UniqueFd fd(::socket(AF_INET, type | SOCK_CLOEXEC, 0));
    sockaddr_in at{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
    socklen_t length = sizeof at;
    if (::bind(fd.Get(), reinterpret_cast<sockaddr*>(&at), sizeof at) != 0 ||
        ::getsockname(fd.Get(), reinterpret_cast<sockaddr*>(&at), &length) != 0)
        return UniqueFd();
    port = ntohs(at.sin_port);
    return fd;
}

} // namespace zelvo::test
