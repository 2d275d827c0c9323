// zelvo-sockhelper: opens the two kinds of socket that need a privilege (a raw ICMP socket
// and the DHCP server port) for the unprivileged ZelvoSetup and hands them back over the
// socket pair it was started with. It holds exactly cap_net_raw and cap_net_bind_service
// (file capabilities), keeps nothing else and does nothing else.
#include "platform/sockhelper/SockHelperProtocol.h"

#include <netinet/in.h>
#include <sys/capability.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <linux/close_range.h>
#include <sys/syscall.h>

using namespace zelvo::sockhelper;

namespace {

bool IsOurChannel(int fd)
{
    int domain = 0;
    int type = 0;
    socklen_t length = sizeof domain;
    if (::getsockopt(fd, SOL_SOCKET, SO_DOMAIN, &domain, &length) != 0)
        return false;
    length = sizeof type;
    if (::getsockopt(fd, SOL_SOCKET, SO_TYPE, &type, &length) != 0)
        return false;
    return domain == AF_UNIX && type == SOCK_SEQPACKET;
}

void CloseOtherDescriptors()
{
    // Keep 0-2 (stderr carries our few diagnostics) and the channel.
    if (::syscall(SYS_close_range, kChannelFd + 1, ~0U, 0) == 0)
        return;
    for (int fd = kChannelFd + 1; fd < 1024; ++fd)
        ::close(fd);
}

// Keeps the two capabilities the requests need in the permitted and effective sets and
// drops every other one, the inheritable and the ambient sets included. When the file
// capabilities were not set up, the helper keeps nothing and its requests fail with EPERM,
// which tells the tool exactly that.
void DropEverythingElse()
{
    ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0);
    ::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
    ::prctl(PR_CAP_AMBIENT, PR_CAP_AMBIENT_CLEAR_ALL, 0, 0, 0);
    const cap_value_t needed[] = {CAP_NET_RAW, CAP_NET_BIND_SERVICE};
    cap_t caps = ::cap_init(); // all clear
    if (caps == nullptr)
        return;
    ::cap_set_flag(caps, CAP_PERMITTED, 2, needed, CAP_SET);
    ::cap_set_flag(caps, CAP_EFFECTIVE, 2, needed, CAP_SET);
    if (::cap_set_proc(caps) != 0) {
        ::cap_clear(caps);
        ::cap_set_proc(caps);
    }
    ::cap_free(caps);
}

int OpenRawIcmp()
{
    const int fd = ::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP);
    return fd >= 0 ? fd : -errno;
}

int OpenDhcpServer()
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -errno;
    const int on = 1;
    sockaddr_in any{};
    any.sin_family = AF_INET;
    any.sin_port = htons(67);
    any.sin_addr.s_addr = htonl(INADDR_ANY);
    if (::setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0 ||
        ::setsockopt(fd, IPPROTO_IP, IP_PKTINFO, &on, sizeof on) != 0 ||
        ::bind(fd, reinterpret_cast<const sockaddr*>(&any), sizeof any) != 0) {
        const int error = errno;
        ::close(fd);
        return -error;
    }
    return fd;
}

bool Reply(uint32_t kind, int32_t error, int fd)
{
    ReplyMessage reply;
    reply.kind = kind;
    reply.error = error;
    iovec iov{&reply, sizeof reply};
    msghdr msg{};
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
    if (fd >= 0) {
        msg.msg_control = control;
        msg.msg_controllen = sizeof control;
        cmsghdr* c = CMSG_FIRSTHDR(&msg);
        c->cmsg_level = SOL_SOCKET;
        c->cmsg_type = SCM_RIGHTS;
        c->cmsg_len = CMSG_LEN(sizeof(int));
        std::memcpy(CMSG_DATA(c), &fd, sizeof fd);
    }
    ssize_t sent;
    do {
        sent = ::sendmsg(kChannelFd, &msg, MSG_NOSIGNAL);
    } while (sent < 0 && errno == EINTR);
    return sent == static_cast<ssize_t>(sizeof reply);
}

} // namespace

int main(int argc, char**)
{
    if (argc != 1 || !IsOurChannel(kChannelFd)) {
        std::fprintf(stderr, "zelvo-sockhelper: this helper is started by ZelvoSetup only\n");
        return 2;
    }
    CloseOtherDescriptors();
    DropEverythingElse();
    std::signal(SIGPIPE, SIG_IGN);

    while (true) {
        // One byte more than a request, so that an oversized message shows as one.
        unsigned char buffer[sizeof(RequestMessage) + 1];
        // recv leaves no room for control data: descriptors that someone sends along are
        // closed by the kernel (MSG_CTRUNC) and never land in this process.
        const ssize_t n = ::recv(kChannelFd, buffer, sizeof buffer, 0);
        if (n == 0)
            return 0; // the tool closed its end
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return 1;
        }
        RequestMessage request;
        bool wellFormed = n == static_cast<ssize_t>(sizeof request);
        if (wellFormed) {
            std::memcpy(&request, buffer, sizeof request);
            wellFormed = request.magic == kMagic;
        }
        int result = -kRefused;
        if (wellFormed && request.kind == static_cast<uint32_t>(SocketKind::RawIcmp))
            result = OpenRawIcmp();
        else if (wellFormed && request.kind == static_cast<uint32_t>(SocketKind::DhcpServer))
            result = OpenDhcpServer();
        const uint32_t kind = wellFormed ? request.kind : 0;
        const bool sent = result >= 0 ? Reply(kind, 0, result) : Reply(kind, -result, -1);
        if (result >= 0)
            ::close(result);
        if (!sent)
            return 1;
    }
}
