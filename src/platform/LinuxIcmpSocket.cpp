#include "platform/IcmpSocket.h"

#include "platform/DatagramIo.h"
#include "platform/ErrnoText.h"
#include "platform/Files.h"
#include "platform/IcmpMessage.h"
#include "platform/WaitReadable.h"

#include <ifaddrs.h>
#include <linux/errqueue.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <set>
#include <utility>

namespace zelvo {

namespace {
// Room for the largest IPv4 datagram a probe cares about, header included.
constexpr std::size_t kDatagramRoom = 2048;

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

// The errno values a ping socket's receive returns for an ICMP error about one of its
// requests (IP_RECVERR sets it beside the queued report): the report is in the queue.
bool IsReportedIcmpError(int error)
{
    return error == EHOSTUNREACH || error == ENETUNREACH || error == ECONNREFUSED ||
           error == EPROTO || error == EHOSTDOWN || error == ENONET || error == EMSGSIZE ||
           error == EACCES || error == EOPNOTSUPP;
}

// A send that found no room (EAGAIN) ran out of time; any other failure is one.
Outcome<WaitEnd> SendEnd(const Outcome<std::size_t>& sent)
{
    if (sent.Code() == EAGAIN)
        return WaitEnd::TimedOut;
    if (!sent.Ok())
        return sent.Error();
    return WaitEnd::Ready;
}

// The identifiers our open ping sockets are bound to. The kernel lets two ping sockets
// bind the same identifier and then hands each reply to one of them only, so a probe
// that runs while another holds the identifier takes one the kernel picks instead.
class IdentifierClaim
{
public:
    IdentifierClaim() = default;
    explicit IdentifierClaim(uint16_t port) : m_port(port)
    {
        std::lock_guard lock(Mutex());
        m_held = Claimed().insert(port).second;
    }
    IdentifierClaim(IdentifierClaim&& other) noexcept
        : m_port(other.m_port), m_held(std::exchange(other.m_held, false))
    {
    }
    IdentifierClaim& operator=(IdentifierClaim&& other) noexcept
    {
        if (this != &other) {
            Release();
            m_port = other.m_port;
            m_held = std::exchange(other.m_held, false);
        }
        return *this;
    }
    ~IdentifierClaim() { Release(); }
    bool Held() const { return m_held; }

private:
    void Release()
    {
        if (!std::exchange(m_held, false))
            return;
        std::lock_guard lock(Mutex());
        Claimed().erase(m_port);
    }

    static std::mutex& Mutex()
    {
        static std::mutex mutex;
        return mutex;
    }
    static std::set<uint16_t>& Claimed()
    {
        static std::set<uint16_t> claimed;
        return claimed;
    }
    uint16_t m_port = 0;
    bool m_held = false;
};

class LinuxIcmpSocket final : public IcmpSocket
{
public:
    LinuxIcmpSocket(UniqueFd fd, bool raw, unsigned outgoingInterface, Ipv4Address outgoing,
                    IdentifierClaim claim)
        : m_fd(std::move(fd)), m_raw(raw), m_interface(outgoingInterface), m_outgoing(outgoing),
          m_claim(std::move(claim))
    {
    }

    Outcome<WaitEnd> Send(Ipv4Address destination, uint16_t port, std::span<const uint8_t> message,
                          int timeoutMs) override
    {
        const Clock& clock = SystemClock();
        const Outcome<WaitEnd> ready =
            WaitForEvents(m_fd.Get(), POLLOUT, {clock, DeadlineAfter(clock, timeoutMs)});
        if (!IsReady(ready))
            return ready;
        // The outgoing interface and source address for this datagram: the limited
        // broadcast then leaves through the PC's own card even when the default route
        // points elsewhere or there is none at all.
        const Outcome<std::size_t> sent = SendDatagram(
            m_fd.Get(), message, {destination, port, static_cast<int>(m_interface), m_outgoing},
            MSG_DONTWAIT);
        return SendEnd(sent);
    }

    Outcome<WaitEnd> Receive(std::span<uint8_t> buffer, IcmpArrival& arrival, int timeoutMs,
                             const std::atomic<bool>* stop) override
    {
        arrival = IcmpArrival{};
        const Clock& clock = SystemClock();
        const WaitLimit limit{clock, DeadlineAfter(clock, timeoutMs), stop};
        while (true) {
            const Outcome<WaitEnd> ready = WaitReadable(m_fd.Get(), limit);
            if (!IsReady(ready))
                return ready;
            if (!m_raw && TakeQueuedError(buffer, arrival))
                return WaitEnd::Ready;
            uint8_t datagram[kDatagramRoom];
            const Outcome<DatagramReceipt> got = ReceiveWaiting(m_fd.Get(), datagram);
            if (got.Ok()) {
                std::span<const uint8_t> icmp(datagram, got.Value().length);
                if (m_raw)
                    icmp = IcmpAfterIpv4Header(icmp);
                if (icmp.empty())
                    continue; // nothing a probe could read; the kernel checked the rest
                arrival.source = got.Value().source;
                arrival.length = std::min(icmp.size(), buffer.size());
                std::copy_n(icmp.begin(), arrival.length, buffer.begin());
                return WaitEnd::Ready;
            }
            if (got.Code() == EAGAIN)
                continue;
            // The pending error of a report that waits in the queue: read it next round.
            if (!m_raw && IsReportedIcmpError(got.Code()))
                continue;
            return got.Error();
        }
    }

private:
    // A ping socket's next queued ICMP error, put back into message form. false when the
    // queue is empty. Errors the local stack raised (no ICMP message behind them) are
    // read and dropped.
    bool TakeQueuedError(std::span<uint8_t> buffer, IcmpArrival& arrival)
    {
        while (true) {
            uint8_t quoted[kDatagramRoom];
            const Outcome<DatagramReceipt> queued = ReceiveWaiting(m_fd.Get(), quoted, true);
            if (!queued.Ok())
                return false;
            const DatagramReceipt& got = queued.Value();
            if (!got.reported || got.reported->origin != SO_EE_ORIGIN_ICMP)
                continue;
            IcmpErrorReport rebuilt;
            rebuilt.type = got.reported->type;
            rebuilt.code = got.reported->code;
            rebuilt.destination = got.source;
            rebuilt.quoted = std::span<const uint8_t>(quoted, got.length);
            arrival.source = got.reported->offender;
            arrival.length = RebuildIcmpError(rebuilt, buffer);
            return true;
        }
    }

    UniqueFd m_fd;
    bool m_raw;
    unsigned m_interface;
    Ipv4Address m_outgoing;
    IdentifierClaim m_claim; // released after the socket is closed
};

// Echo requests through the socket helper, which keeps the raw socket: it sends the
// requests it builds from ours and passes back what answers them (SockHelperSession).
class HelperIcmpSocket final : public IcmpSocket
{
public:
    explicit HelperIcmpSocket(std::unique_ptr<SockHelperSession> session)
        : m_session(std::move(session))
    {
    }

    Outcome<WaitEnd> Send(Ipv4Address destination, uint16_t port, std::span<const uint8_t> message,
                          int timeoutMs) override
    {
        (void)timeoutMs; // the helper answers at once, or the session is over
        return SendEnd(m_session->Send(message, {destination, port, 0, {}}));
    }

    Outcome<WaitEnd> Receive(std::span<uint8_t> buffer, IcmpArrival& arrival, int timeoutMs,
                             const std::atomic<bool>* stop) override
    {
        arrival = IcmpArrival{};
        const Clock& clock = SystemClock();
        const Outcome<DatagramReceipt> got =
            m_session->Receive(buffer, {clock, DeadlineAfter(clock, timeoutMs), stop});
        if (!got.Ok())
            return got.Error();
        arrival.source = got.Value().source;
        arrival.length = got.Value().length;
        return got.Value().end;
    }

private:
    std::unique_ptr<SockHelperSession> m_session;
};

// "net.ipv4.ping_group_range is 1 0" for the log, or an empty text.
std::string PingRangeText()
{
    std::string range =
        ReadSmallFile("/proc/sys/net/ipv4/ping_group_range", 64).value_or(std::string());
    std::replace(range.begin(), range.end(), '\t', ' ');
    while (!range.empty() && (range.back() == '\n' || range.back() == ' '))
        range.pop_back();
    return range.empty() ? std::string() : " (net.ipv4.ping_group_range is " + range + ")";
}

// An unprivileged ping socket, set up for the probes.
Outcome<UniqueFd> OpenPingSocket(const IcmpSocketOptions& options, IdentifierClaim& claim)
{
    UniqueFd fd(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_ICMP));
    if (!fd.Valid())
        return Failure{errno};
    // The identifier of a ping socket is the port it is bound to; its bytes are the
    // port's bytes as stored. A socket of ours that runs while another holds the
    // identifier (or whose bind is refused: another process holds it) lets the kernel
    // pick a free one, so that each socket gets exactly the replies to its own requests.
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    std::memcpy(&local.sin_port, options.identifierBytes.data(), sizeof local.sin_port);
    IdentifierClaim wanted(local.sin_port);
    if (!wanted.Held() ||
        ::bind(fd.Get(), reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        wanted = IdentifierClaim();
        local.sin_port = 0;
        if (::bind(fd.Get(), reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0)
            return Failure{errno};
    }
    claim = std::move(wanted);
    // Without IP_RECVERR an unconnected ping socket drops every ICMP error about its
    // requests; with it they wait in the error queue, where Receive reads them. Only
    // errors that quote an echo request of this socket come: the kernel finds the socket
    // by the identifier the error quotes.
    const int on = 1;
    if (::setsockopt(fd.Get(), IPPROTO_IP, IP_RECVERR, &on, sizeof on) != 0)
        return Failure{errno};
    return fd;
}

class LinuxIcmpSocketFactory final : public IcmpSocketFactory
{
public:
    IcmpSocketOpen Open(const IcmpSocketOptions& options) override
    {
        IcmpSocketOpen open;
        const unsigned outgoing =
            options.outgoingAddress.IsZero() ? 0 : InterfaceHolding(options.outgoingAddress);
        IdentifierClaim claim;
        Outcome<UniqueFd> ping = OpenPingSocket(options, claim);
        UniqueFd fd;
        if (ping.Ok()) {
            fd = std::move(ping.Value());
            open.path = IcmpPath::Ping;
        } else {
            const int pingError = ping.Code();
            const std::string noPing =
                pingError == EACCES ? "no ping socket for this account's groups" + PingRangeText()
                                    : "no ping socket: " + ErrnoText(pingError);
            PrivilegedSocketRequest request;
            request.kind = PrivilegedSocketKind::RawIcmp;
            request.interfaceIndex = static_cast<int>(outgoing);
            request.source = outgoing ? options.outgoingAddress : Ipv4Address();
            request.identifierBytes = options.identifierBytes;
            request.broadcast = options.broadcast;
            SocketAcquisition raw = AcquirePrivilegedSocket(request);
            open.detail = noPing;
            if (raw.session) {
                open.path = IcmpPath::HelperRaw;
                open.socket = std::make_unique<HelperIcmpSocket>(std::move(raw.session));
                return open;
            }
            if (!raw.socket.Valid()) {
                open.problem = raw.problem;
                open.error = raw.error;
                open.detail = noPing + "; " + raw.detail;
                return open;
            }
            fd = std::move(raw.socket);
            open.path = IcmpPath::OwnRaw;
        }
        const int on = 1;
        if (options.broadcast &&
            ::setsockopt(fd.Get(), SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0) {
            open.error = errno;
            open.problem = SocketProblem::OpenFailed;
            open.path = IcmpPath::None;
            open.detail = "SO_BROADCAST was refused on the ICMP socket";
            return open;
        }
        open.socket =
            std::make_unique<LinuxIcmpSocket>(std::move(fd), open.path != IcmpPath::Ping, outgoing,
                                              options.outgoingAddress, std::move(claim));
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
