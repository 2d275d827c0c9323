// zelvo-sockhelper: one socket session for the unprivileged ZelvoSetup over one of the two
// kinds of socket that need a privilege (a raw ICMP socket, or the DHCP server port). Its
// file carries cap_net_raw and cap_net_bind_service and only the group zelvo-setup may
// run it. It raises the one capability the session needs only while it opens the
// socket and drops every capability before it serves. The socket never leaves this
// process: the helper sends for the tool only what the tool sends (its echo requests,
// built here; its DHCP replies, checked here) and passes back only what the tool reads
// (SessionRules.h). Anything else ends the session.
#include "platform/UniqueFd.h"
#include "platform/sockhelper/EchoReplyFilter.h"
#include "platform/sockhelper/SessionRules.h"
#include "platform/sockhelper/SockHelperProtocol.h"

#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/capability.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <linux/close_range.h>
#include <span>
#include <sys/syscall.h>
#include <vector>

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

// A raw ICMP socket with the filter that keeps out what a probe never reads.
int OpenRawIcmp(bool broadcast)
{
    zelvo::UniqueFd fd(::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP));
    if (!fd.Valid())
        return -errno;
    const sock_fprog program{static_cast<unsigned short>(kEchoReplyFilter.size()),
                             const_cast<sock_filter*>(kEchoReplyFilter.data())};
    const int on = 1;
    if (::setsockopt(fd.Get(), SOL_SOCKET, SO_ATTACH_FILTER, &program, sizeof program) != 0 ||
        (broadcast && ::setsockopt(fd.Get(), SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0))
        return -errno;
    // What arrived before the filter was in place is not the session's.
    char discard[1];
    while (::recv(fd.Get(), discard, sizeof discard, MSG_DONTWAIT | MSG_TRUNC) >= 0) {
    }
    return fd.Release();
}

int OpenDhcpServer()
{
    zelvo::UniqueFd fd(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    if (!fd.Valid())
        return -errno;
    const int on = 1;
    sockaddr_in any{};
    any.sin_family = AF_INET;
    any.sin_port = htons(67);
    any.sin_addr.s_addr = htonl(INADDR_ANY);
    if (::setsockopt(fd.Get(), SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0 ||
        ::setsockopt(fd.Get(), IPPROTO_IP, IP_PKTINFO, &on, sizeof on) != 0 ||
        ::bind(fd.Get(), reinterpret_cast<const sockaddr*>(&any), sizeof any) != 0)
        return -errno;
    return fd.Release();
}

// True when the card interfaceIndex holds address (network order): the echo requests may
// then leave through it with that source. Both zero: the routing table decides, and the
// kernel picks an address of the PC.
bool IsAddressOfCard(uint32_t address, int interfaceIndex)
{
    if (address == 0 || interfaceIndex <= 0)
        return address == 0 && interfaceIndex == 0;
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0)
        return false;
    bool held = false;
    for (ifaddrs* i = list; i && !held; i = i->ifa_next) {
        if (!i->ifa_addr || i->ifa_addr->sa_family != AF_INET)
            continue;
        if (reinterpret_cast<const sockaddr_in*>(i->ifa_addr)->sin_addr.s_addr != address)
            continue;
        // An address label ("eth0:1") names its card before the colon.
        char name[IF_NAMESIZE] = {};
        std::strncpy(name, i->ifa_name, sizeof name - 1);
        if (char* colon = std::strchr(name, ':'))
            *colon = '\0';
        held = static_cast<int>(::if_nametoindex(name)) == interfaceIndex;
    }
    ::freeifaddrs(list);
    return held;
}

// One message to the tool. wait: false for arrivals, which are dropped when the tool
// does not keep up (as a socket's full queue would drop them).
bool Tell(const Message& header, std::span<const uint8_t> bytes, bool wait)
{
    iovec iov[2] = {{const_cast<Message*>(&header), sizeof header},
                    {const_cast<uint8_t*>(bytes.data()), bytes.size()}};
    msghdr msg{};
    msg.msg_iov = iov;
    msg.msg_iovlen = bytes.empty() ? 1 : 2;
    ssize_t sent;
    do {
        sent = ::sendmsg(kChannelFd, &msg, MSG_NOSIGNAL | (wait ? 0 : MSG_DONTWAIT));
    } while (sent < 0 && errno == EINTR);
    return sent >= 0 || (!wait && (errno == EAGAIN || errno == ENOBUFS));
}

bool Answer(MessageType type, int32_t value)
{
    Message answer;
    answer.type = static_cast<uint32_t>(type);
    answer.value = value;
    return Tell(answer, {}, true);
}

// One message from the tool, its datagram bytes after the header. false when the channel
// closed or broke.
bool ReadMessage(Message& message, std::vector<uint8_t>& bytes, bool& wellFormed)
{
    // One byte more than the longest message, so that an oversized one shows as one.
    static uint8_t buffer[sizeof(Message) + kMaxDatagram + 1];
    ssize_t n;
    // recv leaves no room for control data: descriptors that someone sends along are
    // closed by the kernel (MSG_CTRUNC) and never land in this process.
    do {
        n = ::recv(kChannelFd, buffer, sizeof buffer, 0);
    } while (n < 0 && errno == EINTR);
    if (n <= 0)
        return false;
    wellFormed =
        n >= static_cast<ssize_t>(sizeof message) && n < static_cast<ssize_t>(sizeof buffer);
    if (wellFormed) {
        std::memcpy(&message, buffer, sizeof message);
        bytes.assign(buffer + sizeof message, buffer + n);
        wellFormed = message.magic == kMagic;
    }
    return true;
}

long SendTo(int fd, std::span<const uint8_t> bytes, uint32_t address, uint16_t port,
            int interfaceIndex, uint32_t source)
{
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = address;
    iovec iov{const_cast<uint8_t*>(bytes.data()), bytes.size()};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))] = {};
    msghdr msg{};
    msg.msg_name = &to;
    msg.msg_namelen = sizeof to;
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    if (interfaceIndex > 0) {
        // The way out for this datagram alone: a limited broadcast then leaves through
        // that card whatever the routing table says.
        msg.msg_control = control;
        msg.msg_controllen = sizeof control;
        cmsghdr* c = CMSG_FIRSTHDR(&msg);
        c->cmsg_level = IPPROTO_IP;
        c->cmsg_type = IP_PKTINFO;
        c->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
        in_pktinfo info{};
        info.ipi_ifindex = interfaceIndex;
        info.ipi_spec_dst.s_addr = source;
        std::memcpy(CMSG_DATA(c), &info, sizeof info);
    }
    ssize_t sent;
    do {
        sent = ::sendmsg(fd, &msg, MSG_NOSIGNAL | MSG_DONTWAIT);
    } while (sent < 0 && errno == EINTR);
    return sent >= 0 ? static_cast<long>(sent) : -errno;
}

// One socket session after its socket opened.
class Session
{
public:
    Session(const Message& open, int fd)
        : m_icmp(open.kind == static_cast<uint32_t>(SocketKind::RawIcmp)),
          m_fd(fd), m_identifier{open.identifier[0], open.identifier[1]}, m_source(open.address),
          m_interface(open.interfaceIndex)
    {
    }

    // Serves until the tool closes the channel (0) or asks for something refused (1).
    int Serve()
    {
        while (true) {
            pollfd waits[2] = {{kChannelFd, POLLIN, 0}, {m_fd, POLLIN, 0}};
            if (::poll(waits, 2, -1) < 0) {
                if (errno == EINTR)
                    continue;
                return 1;
            }
            // A pending socket error (a hard ICMP error on a raw socket) is read and
            // cleared like a datagram.
            if (waits[1].revents & (POLLIN | POLLERR))
                PassOn();
            if (waits[0].revents & (POLLIN | POLLHUP | POLLERR)) {
                Message message;
                std::vector<uint8_t> bytes;
                bool wellFormed = false;
                if (!ReadMessage(message, bytes, wellFormed))
                    return 0;
                const long result = wellFormed ? SendFor(message, bytes) : -kRefused;
                if (!Answer(MessageType::Sent, static_cast<int32_t>(result)))
                    return 1;
                if (result == -kRefused)
                    return 1;
            }
        }
    }

private:
    // Sends what the tool asked for when the session allows it; the bytes sent, minus the
    // errno of a failed send, or -kRefused.
    long SendFor(const Message& message, std::span<const uint8_t> bytes)
    {
        if (m_icmp && message.type == static_cast<uint32_t>(MessageType::SendEcho) &&
            IsToolsEchoRequest(bytes, m_identifier) && m_echoes < kMaxEchoesPerSession) {
            ++m_echoes;
            const auto request = BuildEchoRequest(bytes, m_identifier);
            return SendTo(m_fd, request, message.address, 0, m_interface, m_source);
        }
        if (!m_icmp && message.type == static_cast<uint32_t>(MessageType::SendReply) &&
            message.port == kDhcpClientPort && message.address == htonl(INADDR_BROADCAST) &&
            IsToolsDhcpReply(bytes) && TakeRequest(message.interfaceIndex))
            return SendTo(m_fd, bytes, message.address, kDhcpClientPort, message.interfaceIndex, 0);
        return -kRefused;
    }

    // Reads what waits on the socket and passes on what the tool may read.
    void PassOn()
    {
        static uint8_t datagram[kMaxDatagram];
        sockaddr_in from{};
        iovec iov{datagram, sizeof datagram};
        alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))];
        msghdr msg{};
        msg.msg_name = &from;
        msg.msg_namelen = sizeof from;
        msg.msg_iov = &iov;
        msg.msg_iovlen = 1;
        msg.msg_control = control;
        msg.msg_controllen = sizeof control;
        const ssize_t n = ::recvmsg(m_fd, &msg, MSG_DONTWAIT | MSG_TRUNC);
        if (n < 0)
            return;
        const std::size_t stored = std::min(static_cast<std::size_t>(n), sizeof datagram);
        Message arrived;
        arrived.type = static_cast<uint32_t>(MessageType::Arrived);
        arrived.address = from.sin_addr.s_addr;
        if (m_icmp) {
            const auto icmp = IcmpOfDatagram({datagram, stored});
            if (PassesBack(icmp, m_identifier))
                Tell(arrived, icmp, false);
            return;
        }
        for (cmsghdr* c = CMSG_FIRSTHDR(&msg); c; c = CMSG_NXTHDR(&msg, c)) {
            if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_PKTINFO) {
                in_pktinfo info;
                std::memcpy(&info, CMSG_DATA(c), sizeof info);
                arrived.interfaceIndex = info.ipi_ifindex;
            }
        }
        arrived.truncated = static_cast<std::size_t>(n) > stored ? 1 : 0;
        CountRequest(arrived.interfaceIndex);
        Tell(arrived, {datagram, stored}, false);
    }

    // Each datagram on port 67 allows one reply on the card it came in on.
    void CountRequest(int interfaceIndex)
    {
        if (interfaceIndex <= 0)
            return;
        for (Card& card : m_cards) {
            if (card.index == interfaceIndex || card.index == 0) {
                card.index = interfaceIndex;
                card.unanswered = std::min(card.unanswered + 1, 1000);
                return;
            }
        }
    }
    bool TakeRequest(int interfaceIndex)
    {
        for (Card& card : m_cards) {
            if (interfaceIndex > 0 && card.index == interfaceIndex && card.unanswered > 0) {
                --card.unanswered;
                return true;
            }
        }
        return false;
    }

    struct Card
    {
        int index = 0;
        int unanswered = 0;
    };
    const bool m_icmp;
    const int m_fd;
    const Identifier m_identifier;
    const uint32_t m_source;
    const int m_interface;
    int m_echoes = 0;
    std::array<Card, 64> m_cards{};
};

// The socket an Open asks for, with the capability raised only around its opening; a
// negative errno when it cannot be had, -kRefused for an Open the helper does not serve.
int OpenFor(const Message& open)
{
    const bool raw = open.kind == static_cast<uint32_t>(SocketKind::RawIcmp);
    if (open.type != static_cast<uint32_t>(MessageType::Open) ||
        (!raw && open.kind != static_cast<uint32_t>(SocketKind::DhcpServer)))
        return -kRefused;
    // A source that is not an address of the card it is to leave through would be a forged
    // one; routing decides only when neither is given.
    if (raw && !IsAddressOfCard(open.address, open.interfaceIndex))
        return -EADDRNOTAVAIL;
    if (!Raise(raw ? CAP_NET_RAW : CAP_NET_BIND_SERVICE))
        return -EPERM;
    return raw ? OpenRawIcmp(open.broadcast != 0) : OpenDhcpServer();
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

    Message open;
    std::vector<uint8_t> bytes;
    bool wellFormed = false;
    if (!ReadMessage(open, bytes, wellFormed))
        return 0;
    int fd = wellFormed && bytes.empty() ? OpenFor(open) : -kRefused;
    // Nothing is served with a capability left.
    if (!DropAll() && fd >= 0) {
        ::close(fd);
        fd = -EPERM;
    }
    if (!Answer(MessageType::Opened, fd >= 0 ? 0 : -fd) || fd < 0)
        return 1;
    return Session(open, fd).Serve();
}
