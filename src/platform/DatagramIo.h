#pragma once
#include "platform/NetAddress.h"
#include "platform/Outcome.h"
#include "platform/WaitEnd.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace zelvo {

// An error the network reported about a datagram we sent (IP_RECVERR), read from the
// socket's error queue.
struct ReportedError
{
    uint8_t origin = 0; // SO_EE_ORIGIN_ICMP for an ICMP message, others from this PC's stack
    uint8_t type = 0;   // the ICMP type and code
    uint8_t code = 0;
    Ipv4Address offender; // who sent the ICMP message; zero when not told
};

struct DatagramReceipt
{
    WaitEnd end = WaitEnd::Ready; // a receive that waits: TimedOut or Stopped, nothing stored
    std::size_t length = 0;       // bytes stored
    bool truncated = false;       // the datagram was longer than the buffer
    Ipv4Address source;           // sender; for a reported error, where our datagram went
    int interfaceIndex = 0;       // receiving interface, when the socket has IP_PKTINFO on
    std::optional<ReportedError> reported; // read from the error queue: the report
};

// Reads one datagram that is there already, without waiting, with what its control
// messages tell; fromErrorQueue reads the queue of reported errors instead (the stored
// bytes are then the start of our datagram that drew the error). Fails with EAGAIN when
// nothing was waiting.
Outcome<DatagramReceipt> ReceiveWaiting(int fd, std::span<uint8_t> buffer,
                                        bool fromErrorQueue = false);

// Where a datagram goes and which way it leaves.
struct DatagramDestination
{
    Ipv4Address address;
    uint16_t port = 0;      // host order
    int interfaceIndex = 0; // > 0: leaves through this interface whatever the routes say
    Ipv4Address source;     // with an interface: the source address (zero: the kernel picks)
};

// Sends bytes (sendmsg, MSG_NOSIGNAL plus flags); the bytes sent.
Outcome<std::size_t> SendDatagram(int fd, std::span<const uint8_t> bytes,
                                  const DatagramDestination& to, int flags = 0);

// A receive whose wait ended without a datagram: the receipt of how it ended, or its failure.
Outcome<DatagramReceipt> NothingReceived(const Outcome<WaitEnd>& wait);

} // namespace zelvo
