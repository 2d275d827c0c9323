#pragma once
#include "platform/NetAddress.h"
#include "platform/PrivilegedSockets.h" // SocketProblem

#include <atomic>
#include <optional>
#include <string>

namespace zelvo {

// What the search and the temporary-address responder ask of the network about one
// address: does anything answer an ICMP echo there, and what is its computer name.
// The search's network implements it; tests substitute a fake.
// Thread safety: every operation may be called from any thread, also concurrently.
class UnitProbes
{
public:
    virtual ~UnitProbes() = default;
    // One echo request to address; 1 when address answers it (an echo reply from it, or
    // an ICMP error about our request to it) within timeoutMs.
    virtual int EchoProbe(Ipv4Address address, int timeoutMs) = 0;
    // Two echo requests to 255.255.255.255 through the PC's interface; 1 when both
    // attempts completed, 0 on a socket error.
    virtual int BroadcastEcho() = 0;
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

    // Why the last probe could not open an ICMP socket (no ping socket for this account,
    // no CAP_NET_RAW, and the helper is missing, not ours to run, or without its
    // capabilities); None when it could, or before the first probe.
    virtual SocketProblem IcmpProblem() const { return SocketProblem::None; }
};

} // namespace zelvo
