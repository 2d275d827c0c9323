#pragma once
#include "platform/NetAddress.h"

#include <cstddef>
#include <cstdint>
#include <span>

// A probe reads the same thing whichever kind of ICMP socket received it: the ICMP message
// from its type byte on, and the address it came from. A raw socket delivers the message
// behind its IPv4 header; a ping socket delivers echo replies bare and reports ICMP errors
// about its requests through its error queue (IP_RECVERR), from which the error message
// is put together again. These functions do that over plain bytes.
namespace zelvo {

// Type, code, checksum and four bytes of an ICMP error, then the quoted IPv4 header.
constexpr std::size_t kIcmpErrorHeaderSize = 8;
constexpr std::size_t kQuotedIpv4HeaderSize = 20;
constexpr uint8_t kIpProtocolIcmp = 1;

// One ICMP error taken from a ping socket's error queue.
struct IcmpErrorReport
{
    uint8_t type = 0;                // ICMP type of the error (3, 11, 12 ...)
    uint8_t code = 0;                // its code
    Ipv4Address destination;         // where our datagram in error was going
    std::span<const uint8_t> quoted; // the start of our ICMP message, as the error quoted it
};

// The ICMP message in a raw socket's datagram: what follows its IPv4 header. Empty when
// the header is not IPv4 or is longer than the datagram.
std::span<const uint8_t> IcmpAfterIpv4Header(std::span<const uint8_t> datagram);

// Writes the ICMP error message that a raw socket would have shown for report, without
// the outer IPv4 header: type, code, a zero checksum and four zero bytes, then a 20-byte
// IPv4 header of the datagram in error (protocol ICMP, source 0.0.0.0 since the queue
// does not say it, destination report.destination) and the quoted bytes. Returns the
// number of bytes written; the quoted bytes are cut where out ends.
std::size_t RebuildIcmpError(const IcmpErrorReport& report, std::span<uint8_t> out);

} // namespace zelvo
