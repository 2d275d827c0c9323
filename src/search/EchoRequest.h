#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace zelvo {

// The tool's ICMP echo request, 44 bytes (the IP header is the kernel's):
//   0  type        8 (echo request)
//   1  code        0
//   2  checksum    InternetChecksum over all 44 bytes, host order
//   4  identifier  low 16 bits of the process id, little-endian
//   6  sequence    0 for the first request of a call, 1 for the second, little-endian
//   8  timestamp   millisecond tick count, little-endian
//   12 payload     32 bytes of 0x45 ('E')
constexpr std::size_t kEchoBaseSize = 32;
constexpr std::size_t kEchoHeaderSize = 12;
constexpr std::size_t kEchoRequestSize = kEchoBaseSize + kEchoHeaderSize;
constexpr std::size_t kEchoIdentifierAt = 4;
constexpr uint8_t kEchoRequestType = 8;
constexpr uint8_t kEchoPayloadByte = 0x45;
// Put in the destination's port field; ICMP itself has no ports and ignores it.
constexpr uint16_t kEchoDestinationPort = 5005;

using EchoRequest = std::array<uint8_t, kEchoRequestSize>;

// Type, code, identifier and payload; checksum, sequence and timestamp zero.
EchoRequest BuildEchoRequest(uint16_t identifier);

// Readies the request for one send: stores the sequence and the tick count, then the
// checksum over the whole message.
void StampEchoRequest(EchoRequest& request, uint16_t sequence, uint32_t tickMs);

// True for an echo request of this process (type 8, our identifier, our payload). A raw
// socket sees them come back: a broadcast is looped back to its sender and a request to
// the PC's own address arrives on the loopback. They are not answers.
bool IsOwnEchoRequest(std::span<const uint8_t> icmp, uint16_t identifier);

} // namespace zelvo
