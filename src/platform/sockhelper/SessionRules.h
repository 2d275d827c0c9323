#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

// What zelvo-sockhelper lets through its sockets, as data: the echo requests and DHCP
// replies it sends for the tool, and the ICMP messages it passes back. Everything not
// described here is refused or dropped.
namespace zelvo::sockhelper {

// The tool's echo request, 44 bytes: type 8, code 0, checksum, identifier, sequence, a
// 4-byte tick count, then 32 bytes of 'E'.
constexpr std::size_t kEchoSize = 44;
constexpr std::size_t kEchoPayloadAt = 12;
constexpr uint8_t kEchoPayloadByte = 0x45;
constexpr uint8_t kEchoRequest = 8;
constexpr uint8_t kEchoReply = 0;

// A DHCP reply as the tool sends it: a BOOTREPLY with the magic cookie, at least the
// 300 bytes of a BOOTP message and at most the 576 every client must take.
constexpr std::size_t kMinReply = 300;
constexpr std::size_t kMaxReply = 576;
constexpr std::size_t kCookieAt = 236;
constexpr uint16_t kDhcpClientPort = 68;

// The echo requests one ICMP session may send: the tool sends one or two.
constexpr int kMaxEchoesPerSession = 8;

using Identifier = std::array<uint8_t, 2>;

// RFC 1071, the bytes as they are on the wire; the result is to be stored big-endian.
inline uint16_t InternetChecksum(std::span<const uint8_t> bytes)
{
    uint32_t sum = 0;
    for (std::size_t i = 0; i < bytes.size(); i += 2)
        sum += uint32_t{bytes[i]} << 8 | (i + 1 < bytes.size() ? bytes[i + 1] : 0u);
    while (sum >> 16)
        sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<uint16_t>(~sum);
}

// True for an echo request as the tool builds it, with the session's identifier.
inline bool IsToolsEchoRequest(std::span<const uint8_t> message, Identifier identifier)
{
    if (message.size() != kEchoSize || message[0] != kEchoRequest || message[1] != 0 ||
        message[4] != identifier[0] || message[5] != identifier[1])
        return false;
    for (std::size_t i = kEchoPayloadAt; i < kEchoSize; ++i)
        if (message[i] != kEchoPayloadByte)
            return false;
    return true;
}

// The request that leaves, built here: type, code, the session's identifier and the
// payload are the helper's own; only the sequence and the tick count come from the tool.
inline std::array<uint8_t, kEchoSize> BuildEchoRequest(std::span<const uint8_t> fromTool,
                                                       Identifier identifier)
{
    std::array<uint8_t, kEchoSize> out{};
    out[0] = kEchoRequest;
    out[4] = identifier[0];
    out[5] = identifier[1];
    for (std::size_t i = 6; i < kEchoPayloadAt; ++i)
        out[i] = fromTool[i];
    for (std::size_t i = kEchoPayloadAt; i < kEchoSize; ++i)
        out[i] = kEchoPayloadByte;
    const uint16_t sum = InternetChecksum(out);
    out[2] = static_cast<uint8_t>(sum >> 8);
    out[3] = static_cast<uint8_t>(sum);
    return out;
}

// The ICMP message of a raw socket's datagram (its IPv4 header left out); empty when the
// datagram is not a whole first fragment of an ICMP datagram.
inline std::span<const uint8_t> IcmpOfDatagram(std::span<const uint8_t> datagram)
{
    if (datagram.size() < 20 || (datagram[0] >> 4) != 4 || datagram[9] != 1)
        return {};
    if (((datagram[6] & 0x1F) << 8 | datagram[7]) != 0)
        return {}; // a later fragment
    const std::size_t header = std::size_t{datagram[0] & 0x0Fu} * 4;
    if (header < 20 || header + 8 > datagram.size())
        return {};
    return datagram.subspan(header);
}

// What the tool may read: an echo reply with the session's identifier, or an ICMP error
// (destination unreachable, time exceeded, parameter problem) that quotes an echo request
// with it. Nothing else that reaches the host: not others' echo traffic, not errors about
// other datagrams.
inline bool PassesBack(std::span<const uint8_t> icmp, Identifier identifier)
{
    if (icmp.size() < 8)
        return false;
    if (icmp[0] == kEchoReply)
        return icmp[4] == identifier[0] && icmp[5] == identifier[1];
    if (icmp[0] != 3 && icmp[0] != 11 && icmp[0] != 12)
        return false;
    const std::span<const uint8_t> quoted = icmp.subspan(8);
    if (quoted.size() < 20 || (quoted[0] >> 4) != 4 || quoted[9] != 1)
        return false;
    const std::size_t header = std::size_t{quoted[0] & 0x0Fu} * 4;
    if (header < 20 || quoted.size() < header + 8)
        return false;
    const std::span<const uint8_t> request = quoted.subspan(header);
    return request[0] == kEchoRequest && request[1] == 0 && request[4] == identifier[0] &&
           request[5] == identifier[1];
}

// True for a DHCP reply of the tool's form: BOOTREPLY, its size, the magic cookie.
inline bool IsToolsDhcpReply(std::span<const uint8_t> reply)
{
    static constexpr uint8_t kCookie[4] = {99, 130, 83, 99};
    if (reply.size() < kMinReply || reply.size() > kMaxReply || reply[0] != 2)
        return false;
    for (std::size_t i = 0; i < 4; ++i)
        if (reply[kCookieAt + i] != kCookie[i])
            return false;
    return true;
}

} // namespace zelvo::sockhelper
