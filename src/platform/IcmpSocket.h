#pragma once
#include "platform/NetAddress.h"
#include "platform/IoStatus.h"
#include "platform/PrivilegedSockets.h"

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
};

// One open ICMP socket. Thread safety: one thread at a time.
class IcmpSocket
{
public:
    virtual ~IcmpSocket() = default;
    // true for a raw socket, whose datagrams start with their IPv4 header; false for the
    // ping-socket fallback, which delivers the ICMP message alone.
    virtual bool ReceivesIpHeader() const = 0;
    // Sends message to destination (port is put in the address and ignored by ICMP).
    virtual IoStatus Send(Ipv4Address destination, uint16_t port, std::span<const uint8_t> message,
                          int timeoutMs, int& error) = 0;
    // Waits up to timeoutMs for one datagram; stop (may be null) is looked at every few
    // tens of milliseconds. length is the number of bytes stored (at most buffer.size()).
    virtual IoStatus Receive(std::span<uint8_t> buffer, std::size_t& length, int timeoutMs,
                             const std::atomic<bool>* stop, int& error) = 0;
};

struct IcmpSocketOpen
{
    std::unique_ptr<IcmpSocket> socket; // null when no socket could be had
    // Why a raw socket could not be had (None when it was). With the ping-socket fallback
    // the socket is there and problem still says why the raw socket was not.
    SocketProblem problem = SocketProblem::None;
    int error = 0;
    std::string detail;
    bool pingFallback = false;
};

// Opens ICMP sockets. Thread safety: Open may be called from any thread.
class IcmpSocketFactory
{
public:
    virtual ~IcmpSocketFactory() = default;
    virtual IcmpSocketOpen Open(const IcmpSocketOptions& options) = 0;
};

// The Linux sockets: a raw socket of our own or from the helper; when neither can be
// had, an unprivileged ping socket if the system allows them (net.ipv4.ping_group_range).
IcmpSocketFactory& SystemIcmpSockets();

// The identifier of this process's echo requests: the low 16 bits of its process id.
uint16_t EchoIdentifier();

} // namespace zelvo
