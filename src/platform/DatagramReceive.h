#pragma once
#include "platform/NetAddress.h"
#include "platform/IoStatus.h"
#include "platform/UniqueFd.h"

#include <atomic>
#include <cstddef>
#include <span>

namespace zelvo {

struct DatagramReceipt
{
    IoStatus status = IoStatus::Failed;
    std::size_t length = 0;  // bytes stored
    bool truncated = false;  // the datagram was longer than the buffer
    Ipv4Address source;      // sender
    uint16_t sourcePort = 0; // host order
    int interfaceIndex = 0;  // receiving interface, when the socket has IP_PKTINFO on
    int error = 0;           // errno when status is Failed
};

// Waits for one datagram on the UDP socket fd until one arrives, the receive fails or
// stop (may be null) is set; stop is looked at every few tens of milliseconds.
DatagramReceipt ReceiveDatagram(int fd, std::span<uint8_t> buffer, const std::atomic<bool>* stop);

// A second descriptor for the same socket (close-on-exec), invalid on failure.
UniqueFd DuplicateDescriptor(int fd);

} // namespace zelvo
