// zelvo-sockhelper: opens one of the two kinds of socket that need a privilege (a raw
// ICMP socket, or the DHCP server port) for the unprivileged ZelvoSetup and hands it back
// over the socket pair it was started with. Its file carries cap_net_raw and
// cap_net_bind_service and only the group zelvo-setup may run it. Each run serves one
// request: it keeps the one capability that request needs only while it opens the
// socket, drops every capability before it replies, and then refuses whatever else
// comes until the tool closes the channel.
#include "platform/sockhelper/EchoReplyFilter.h"
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

// Empties every capability set for good. false when the kernel refused.
bool DropAll()
{
    cap_t none = ::cap_init();
    const bool ok = none != nullptr && ::cap_set_proc(none) == 0;
    if (none)
        ::cap_free(none);
    return ok;
}

// Leaves in the permitted set those of the two capabilities that the file gave us and
// nothing else, with none effective; the inheritable and ambient sets are emptied. A file
// that carries only one of the two still serves the requests that one allows.
void KeepOnlyTheTwo()
{
    ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0);
    ::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
    ::prctl(PR_CAP_AMBIENT, PR_CAP_AMBIENT_CLEAR_ALL, 0, 0, 0);
    cap_t now = ::cap_get_proc();
    cap_t kept = ::cap_init(); // all clear
    if (now != nullptr && kept != nullptr) {
        for (const cap_value_t c : {CAP_NET_RAW, CAP_NET_BIND_SERVICE}) {
            cap_flag_value_t has = CAP_CLEAR;
            if (::cap_get_flag(now, c, CAP_PERMITTED, &has) == 0 && has == CAP_SET)
                ::cap_set_flag(kept, CAP_PERMITTED, 1, &c, CAP_SET);
        }
    }
    if (kept == nullptr || ::cap_set_proc(kept) != 0)
        DropAll();
    if (kept)
        ::cap_free(kept);
    if (now)
        ::cap_free(now);
}

// Makes one permitted capability effective. false when the file did not give it.
bool Raise(cap_value_t capability)
{
    cap_t caps = ::cap_get_proc();
    if (caps == nullptr)
        return false;
    cap_flag_value_t has = CAP_CLEAR;
    const bool ok = ::cap_get_flag(caps, capability, CAP_PERMITTED, &has) == 0 && has == CAP_SET &&
                    ::cap_set_flag(caps, CAP_EFFECTIVE, 1, &capability, CAP_SET) == 0 &&
                    ::cap_set_proc(caps) == 0;
    ::cap_free(caps);
    return ok;
}

// A raw ICMP socket that lets through only what a probe reads, filter locked: its holder
// can neither take the filter off nor replace it.
int OpenRawIcmp()
{
    const int fd = ::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP);
    if (fd < 0)
        return -errno;
    const sock_fprog program{static_cast<unsigned short>(kEchoReplyFilter.size()),
                             const_cast<sock_filter*>(kEchoReplyFilter.data())};
    const int on = 1;
    if (::setsockopt(fd, SOL_SOCKET, SO_ATTACH_FILTER, &program, sizeof program) != 0 ||
        ::setsockopt(fd, SOL_SOCKET, SO_LOCK_FILTER, &on, sizeof on) != 0) {
        const int error = errno;
        ::close(fd);
        return -error;
    }
    // What arrived before the filter was in place is not ours to hand on.
    char discard[1];
    while (::recv(fd, discard, sizeof discard, MSG_DONTWAIT | MSG_TRUNC) >= 0) {
    }
    return fd;
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

// The socket for one well-formed request, with the capability raised only around its
// opening; a negative errno when it cannot be had.
int Serve(const RequestMessage& request)
{
    const bool raw = request.kind == static_cast<uint32_t>(SocketKind::RawIcmp);
    if (!raw && request.kind != static_cast<uint32_t>(SocketKind::DhcpServer))
        return -kRefused;
    if (!Raise(raw ? CAP_NET_RAW : CAP_NET_BIND_SERVICE))
        return -EPERM;
    return raw ? OpenRawIcmp() : OpenDhcpServer();
}

// One message from the tool. false when the channel closed or broke.
bool ReadRequest(RequestMessage& request, bool& wellFormed)
{
    while (true) {
        // One byte more than a request, so that an oversized message shows as one.
        unsigned char buffer[sizeof(RequestMessage) + 1];
        // recv leaves no room for control data: descriptors that someone sends along are
        // closed by the kernel (MSG_CTRUNC) and never land in this process.
        const ssize_t n = ::recv(kChannelFd, buffer, sizeof buffer, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        wellFormed = n == static_cast<ssize_t>(sizeof request);
        if (wellFormed) {
            std::memcpy(&request, buffer, sizeof request);
            wellFormed = request.magic == kMagic;
        }
        return true;
    }
}

} // namespace

int main(int argc, char**)
{
    if (argc != 1 || !IsOurChannel(kChannelFd)) {
        std::fprintf(stderr, "zelvo-sockhelper: this helper is started by ZelvoSetup only\n");
        return 2;
    }
    CloseOtherDescriptors();
    KeepOnlyTheTwo();
    std::signal(SIGPIPE, SIG_IGN);

    bool served = false;
    RequestMessage request;
    bool wellFormed = false;
    while (ReadRequest(request, wellFormed)) {
        const uint32_t kind = wellFormed ? request.kind : 0;
        // Only the first well-formed request is served; by then nothing is left to give.
        int result = wellFormed && !served ? Serve(request) : -kRefused;
        served = served || wellFormed;
        if (!DropAll() && result >= 0) {
            ::close(result);
            result = -EPERM;
        }
        const bool sent = result >= 0 ? Reply(kind, 0, result) : Reply(kind, -result, -1);
        if (result >= 0)
            ::close(result);
        if (!sent)
            return 1;
    }
    return 0;
}
