#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace zelvo {

// A domain name read from a DNS-style message (DNS, mDNS and the NetBIOS name service share
// the format): the labels joined with '.', and the offset just after the name where it
// stands in the record (after the first compression pointer, when there is one).
struct WireName
{
    std::string text;
    std::size_t next = 0;
};

// Reads the name at offset. Compression pointers are followed only backwards and at most
// a few times, and a name longer than 255 bytes is refused, so a hostile message cannot
// make the reader loop or read outside the message. nullopt for anything malformed.
std::optional<WireName> ReadWireName(std::span<const uint8_t> message, std::size_t offset);

// The offset just after `count` question entries (name, type, class) that start at
// offset; nullopt when one of them does not fit in the message.
std::optional<std::size_t> SkipQuestions(std::span<const uint8_t> message, std::size_t offset,
                                         uint16_t count);

// Big-endian 16- and 32-bit fields; the caller has checked that they fit.
inline uint16_t ReadBe16(std::span<const uint8_t> m, std::size_t at)
{
    return static_cast<uint16_t>((m[at] << 8) | m[at + 1]);
}
inline uint32_t ReadBe32(std::span<const uint8_t> m, std::size_t at)
{
    return (uint32_t{m[at]} << 24) | (uint32_t{m[at + 1]} << 16) | (uint32_t{m[at + 2]} << 8) |
           m[at + 3];
}

} // namespace zelvo
