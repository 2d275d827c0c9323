#pragma once
#include "platform/NetAddress.h"
#include "platform/Outcome.h"
#include "platform/PrivilegedSockets.h"
#include "platform/WaitEnd.h"

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace zelvo {

struct IcmpSocketOptions
{
    bool broadcast = false; // SO_BROADCAST
    // Non-zero: every send leaves through the interface that holds this address, with it
    // as the source, whatever the routing table says (no default route, or a default
    // route through another card). Zero: the routing table decides.
    Ipv4Address outgoingAddress;
    // The identifier bytes of the echo requests this socket sends (offsets 4 and 5 of the
    // message), as they are to leave. A ping socket writes its own identifier into every
    // request it sends; bound to these bytes it writes them unchanged.
    std::array<uint8_t, 2> identifierBytes{};
};

// One ICMP message as a probe reads it, whichever kind of socket received it.
struct IcmpArrival
{
    Ipv4Address source;     // who sent it (for an error: the host or router that reported it,
                            // or 0.0.0.0 when a ping socket's queue did not say)
    std::size_t length = 0; // bytes of the ICMP message stored, from its type byte on
};

// One open ICMP socket. Thread safety: one thread at a time.
class IcmpSocket
{
public:
    virtual ~IcmpSocket() = default;
    // Sends message to destination (port is put in the address and ignored by ICMP).
    // TimedOut when the socket had no room for it within timeoutMs.
    virtual Outcome<WaitEnd> Send(Ipv4Address destination, uint16_t port,
                                  std::span<const uint8_t> message, int timeoutMs) = 0;
    // Waits up to timeoutMs for one ICMP message and stores it from its type byte on (at
    // most buffer.size() bytes; a raw socket's IPv4 header is left out, a ping socket's
    // queued error is put back into the form of an ICMP error message, see IcmpMessage.h).
    // stop (may be null) is looked at every few tens of milliseconds.
    virtual Outcome<WaitEnd> Receive(std::span<uint8_t> buffer, IcmpArrival& arrival, int timeoutMs,
                                     const std::atomic<bool>* stop) = 0;
};

// How the socket of an open came to be.
enum class IcmpPath
{
    None,      // no socket
    Ping,      // an unprivileged ping socket: net.ipv4.ping_group_range admits us
    OwnRaw,    // a raw socket of this process, which holds CAP_NET_RAW
    HelperRaw, // zelvo-sockhelper's raw socket, which stays in the helper
};

struct IcmpSocketOpen
{
    std::unique_ptr<IcmpSocket> socket; // null when no socket could be had
    IcmpPath path = IcmpPath::None;
    // Why no socket could be had (None when one was). With a raw socket, detail still
    // says why the ping socket was not to be had.
    SocketProblem problem = SocketProblem::None;
    int error = 0;
    std::string detail;
};

// Opens ICMP sockets. Thread safety: Open may be called from any thread.
class IcmpSocketFactory
{
public:
    virtual ~IcmpSocketFactory() = default;
    virtual IcmpSocketOpen Open(const IcmpSocketOptions& options) = 0;
};

// The Linux sockets, in this order: a ping socket where net.ipv4.ping_group_range admits
// one of our groups (no privilege at all); else a raw socket of our own when we hold
// CAP_NET_RAW; else a session of the helper, which sends our echo requests and passes
// back only what answers them.
IcmpSocketFactory& SystemIcmpSockets();

// The identifier of this process's echo requests: the low 16 bits of its process id.
uint16_t EchoIdentifier();

} // namespace zelvo
