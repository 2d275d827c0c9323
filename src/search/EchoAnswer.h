#pragma once
#include "platform/NetAddress.h"

#include <cstdint>
#include <optional>
#include <span>

namespace zelvo {

// What one datagram that an ICMP socket delivered is to a waiting probe.
enum class EchoArrival
{
    OwnRequest, // one of our own requests, looped back: no answer
    Answer,     // counts as the probed address answering
    Unrelated,  // about another address or another sender's traffic: dropped
};

// Judges an ICMP message (from its type byte on) that arrived from source, for a probe
// of probed (nullopt: the broadcast probe, for which anything but our own request is an
// answer, whoever sent it). For a probe of one address, two things count:
//   - an echo reply from that address;
//   - an ICMP error (unreachable, time exceeded, parameter problem, source quench) that
//     quotes an echo request of ours (our identifier) to that address.
// A raw socket sees every ICMP message the PC receives, among them the kernel's late
// "host unreachable" for an earlier probe of another address (about 3 s after it, when
// address resolution gives up); such errors are Unrelated, or the next probe would take
// them for its own answer. Both socket kinds deliver errors in the same form: the error
// header, then the quoted IPv4 header and the start of the request.
EchoArrival JudgeEchoArrival(std::span<const uint8_t> icmp, Ipv4Address source,
                             std::optional<Ipv4Address> probed, uint16_t identifier);

} // namespace zelvo
