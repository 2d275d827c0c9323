#pragma once
#include "platform/NetAddress.h"
#include "platform/NeighbourTable.h"    // NeighbourEntry, NeighbourRead
#include "platform/PrivilegedSockets.h" // SocketProblem

#include <atomic>
#include <optional>
#include <string>
#include <vector>

namespace zelvo {

// The network operations the search worker needs. The Linux implementation uses raw
// ICMP sockets, rtnetlink and the name lookups; tests substitute a fake.
// Thread safety: every operation may be called from any thread, also concurrently.
class SearchNetwork
{
public:
    virtual ~SearchNetwork() = default;
    // One echo request to address; 1 when any ICMP message arrives within timeoutMs.
    virtual int EchoProbe(Ipv4Address address, int timeoutMs) = 0;
    // Two echo requests to 255.255.255.255 through the PC's interface; 1 when both
    // attempts completed, 0 on a socket error.
    virtual int BroadcastEcho() = 0;
    virtual NeighbourRead ReadNeighbours() = 0;
    // The computer name of address (NetBIOS node status, then the system resolver,
    // then unicast mDNS, each with a short time-out); nullopt when none answers.
    virtual std::optional<std::string> ReverseName(Ipv4Address address) = 0;

    // As EchoProbe and BroadcastEcho, but a wait ends early, with 0, once stop is set,
    // so that a worker asked to stop does not linger for the full time-out. The default
    // ignores stop.
    virtual int EchoProbeUnlessStopped(Ipv4Address address, int timeoutMs,
                                       const std::atomic<bool>& stop)
    {
        (void)stop;
        return EchoProbe(address, timeoutMs);
    }
    virtual int BroadcastEchoUnlessStopped(const std::atomic<bool>& stop)
    {
        (void)stop;
        return BroadcastEcho();
    }

    // Why the last probe could not open an ICMP socket (the process lacks CAP_NET_RAW and
    // the helper is missing or was not given its capabilities); None when it could, or
    // before the first probe. The search can tell the user why it found nothing.
    virtual SocketProblem IcmpProblem() const { return SocketProblem::None; }
};

} // namespace zelvo
