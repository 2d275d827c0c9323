#include "platform/IcmpSocket.h"

#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

namespace zelvo {

namespace {
// How often a wait looks at the caller's stop flag.
constexpr int kStopSliceMs = 50;

// The index of the interface that holds address, or 0.
unsigned InterfaceHolding(Ipv4Address address)
{
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0)
        return 0;
    unsigned index = 0;
    for (ifaddrs* i = list; i && index == 0; i = i->ifa_next) {
        if (!i->ifa_addr || i->ifa_addr->sa_family != AF_INET)
            continue;
        const auto* in = reinterpret_cast<const sockaddr_in*>(i->ifa_addr);
        if (in->sin_addr.s_addr == address.nbo)
            index = ::if_nametoindex(i->ifa_name);
    }
    ::freeifaddrs(list);
    return index;
}

int64_t NowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Waits for events on fd for up to timeoutMs. Ok when they are there.
IoStatus WaitFor(int fd, short events, int timeoutMs, const std::atomic<bool>* stop, int& error)
{
    const int64_t deadline = NowMs() + std::max(timeoutMs, 0);
    while (true) {
        if (stop && stop->load(std::memory_order_acquire))
            return IoStatus::Stopped;
        const int64_t left = deadline - NowMs();
        if (left <= 0)
            return IoStatus::TimedOut;
        const int slice =
            stop ? static_cast<int>(std::min<int64_t>(left, kStopSliceMs)) : static_cast<int>(left);
        pollfd p{fd, events, 0};
        const int ready = ::poll(&p, 1, slice);
        if (ready > 0)
            return IoStatus::Ok;
        if (ready < 0 && errno != EINTR) {
            error = errno;
            return IoStatus::Failed;
        }
    }
}

class LinuxIcmpSocket final : public IcmpSocket
{
public:
    LinuxIcmpSocket(UniqueFd fd, bool raw, unsigned outgoingInterface, Ipv4Address outgoing)
        : m_fd(std::move(fd)), m_raw(raw), m_interface(outgoingInterface), m_outgoing(outgoing)
    {
    }

    bool ReceivesIpHeader() const override { return m_raw; }

    IoStatus Send(Ipv4Address destination, uint16_t port, std::span<const uint8_t> message,
                  int timeoutMs, int& error) override
    {
        const IoStatus ready = WaitFor(m_fd.Get(), POLLOUT, timeoutMs, nullptr, error);
        if (ready != IoStatus::Ok)
            return ready;
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(port);
        to.sin_addr.s_addr = destination.nbo;
        iovec iov{const_cast<uint8_t*>(message.data()), message.size()};
        msghdr msg{};
        msg.msg_name = &to;
        msg.msg_namelen = sizeof to;
        msg.msg_iov = &iov;
        msg.msg_iovlen = 1;
        // IP_PKTINFO names the outgoing interface and source address for this datagram:
        // the limited broadcast then leaves through the PC's own card even when the
        // default route points elsewhere or there is none at all.
        alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))] = {};
        if (m_interface != 0) {
            msg.msg_control = control;
            msg.msg_controllen = sizeof control;
            cmsghdr* c = CMSG_FIRSTHDR(&msg);
            c->cmsg_level = IPPROTO_IP;
            c->cmsg_type = IP_PKTINFO;
            c->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
            in_pktinfo info{};
            info.ipi_ifindex = static_cast<int>(m_interface);
            info.ipi_spec_dst.s_addr = m_outgoing.nbo;
            std::memcpy(CMSG_DATA(c), &info, sizeof info);
        }
        ssize_t sent;
        do {
            sent = ::sendmsg(m_fd.Get(), &msg, MSG_DONTWAIT | MSG_NOSIGNAL);
        } while (sent < 0 && errno == EINTR);
        if (sent >= 0)
            return IoStatus::Ok;
        error = errno;
        return errno == EAGAIN ? IoStatus::TimedOut : IoStatus::Failed;
    }

    IoStatus Receive(std::span<uint8_t> buffer, std::size_t& length, int timeoutMs,
                     const std::atomic<bool>* stop, int& error) override
    {
        length = 0;
        const int64_t deadline = NowMs() + std::max(timeoutMs, 0);
        while (true) {
            const IoStatus ready =
                WaitFor(m_fd.Get(), POLLIN, static_cast<int>(deadline - NowMs()), stop, error);
            if (ready != IoStatus::Ok)
                return ready;
            const ssize_t n = ::recv(m_fd.Get(), buffer.data(), buffer.size(), MSG_DONTWAIT);
            if (n >= 0) {
                length = static_cast<std::size_t>(n);
                return IoStatus::Ok;
            }
            if (errno == EINTR || errno == EAGAIN)
                continue;
            // A ping socket reports an ICMP error about its echo (unreachable, refused) as
            // a failed receive; for the probe that is an ICMP message that arrived.
            if (!m_raw && (errno == EHOSTUNREACH || errno == ENETUNREACH || errno == ECONNREFUSED ||
                           errno == EPROTO))
                return IoStatus::Ok;
            error = errno;
            return IoStatus::Failed;
        }
    }

private:
    UniqueFd m_fd;
    bool m_raw;
    unsigned m_interface;
    Ipv4Address m_outgoing;
};

class LinuxIcmpSocketFactory final : public IcmpSocketFactory
{
public:
    IcmpSocketOpen Open(const IcmpSocketOptions& options) override
    {
        IcmpSocketOpen open;
        SocketAcquisition raw = AcquirePrivilegedSocket(PrivilegedSocketKind::RawIcmp);
        UniqueFd fd = std::move(raw.socket);
        open.problem = raw.problem;
        open.error = raw.error;
        open.detail = raw.detail;
        if (!fd.Valid()) {
            // Ping sockets are off on Debian unless ping_group_range lets our group in; the
            // kernel rewrites their identifier and checksum, so they are the last resort.
            fd.Reset(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_ICMP));
            if (!fd.Valid())
                return open;
            open.pingFallback = true;
        }
        const int on = 1;
        if (options.broadcast &&
            ::setsockopt(fd.Get(), SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0) {
            open.error = errno;
            open.problem = SocketProblem::OpenFailed;
            open.detail = "SO_BROADCAST was refused on the ICMP socket";
            return open;
        }
        const unsigned outgoing =
            options.outgoingAddress.IsZero() ? 0 : InterfaceHolding(options.outgoingAddress);
        open.socket = std::make_unique<LinuxIcmpSocket>(std::move(fd), !open.pingFallback, outgoing,
                                                        options.outgoingAddress);
        return open;
    }
};
} // namespace

IcmpSocketFactory& SystemIcmpSockets()
{
    static LinuxIcmpSocketFactory factory;
    return factory;
}

uint16_t EchoIdentifier()
{
    return static_cast<uint16_t>(::getpid() & 0xFFFF);
}

} // namespace zelvo
