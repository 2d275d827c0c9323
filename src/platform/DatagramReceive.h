#pragma once
#include "platform/DatagramIo.h"

#include <atomic>
#include <cstddef>
#include <span>

namespace zelvo {

// Waits for one datagram on the UDP socket fd until one arrives, the receive fails or
// stop (may be null) is set; stop is looked at every few tens of milliseconds.
Outcome<DatagramReceipt> ReceiveDatagram(int fd, std::span<uint8_t> buffer,
                                         const std::atomic<bool>* stop);

} // namespace zelvo
