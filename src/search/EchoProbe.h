#pragma once
#include "platform/Clock.h"
#include "platform/IcmpSocket.h"
#include "platform/NetAddress.h"

#include <atomic>
#include <cstdint>

namespace zelvo {

// Each attempt of the broadcast echo waits this long for something to answer.
constexpr int kBroadcastEchoTimeoutMs = 7000;

// What the probes reach outside themselves.
struct EchoServices
{
    IcmpSocketFactory& sockets;
    const Clock& clock;  // its monotonic milliseconds are the requests' tick count
    uint16_t identifier; // the requests' identifier
};

// The system's sockets and clock and this process's identifier.
EchoServices SystemEchoServices();

// One echo request to address; 1 when an echo reply from address, or an ICMP error
// about our request to address, arrives within timeoutMs (JudgeEchoArrival), 0 when
// none does or a socket step fails. stop (may be null) ends the wait early with 0.
// Thread safety: any thread, also concurrently; each call has its own socket.
int EchoProbe(const EchoServices& services, Ipv4Address address, int timeoutMs,
              const std::atomic<bool>* stop = nullptr);

// Two echo requests (sequence 0 and 1) to 255.255.255.255, each followed by a wait of up
// to 7 s for the first datagram. outgoingAddress (the PC's address; zero lets routing
// decide) picks the interface the broadcast leaves through. 1 when both attempts
// completed (answered or timed out), 0 when the socket could not be set up, a send or
// receive failed other than by a time-out, or stop was set.
// Thread safety: as EchoProbe.
int BroadcastEcho(const EchoServices& services, Ipv4Address outgoingAddress,
                  const std::atomic<bool>* stop = nullptr);

// The tool's probes on the system's sockets, the broadcast through the PC's interface
// (ProcessPcSubnet().pcAddress); a missing privilege is logged. Any thread.
int EchoProbe(Ipv4Address address, int timeoutMs);
int BroadcastEcho();

} // namespace zelvo
