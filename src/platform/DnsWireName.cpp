#include "platform/DnsWireName.h"

namespace zelvo {

namespace {
constexpr std::size_t kMaxNameBytes = 255; // RFC 1035 limit on a name's encoded length
constexpr int kMaxPointers = 16;
constexpr uint8_t kPointerBits = 0xC0;
} // namespace

std::optional<WireName> ReadWireName(std::span<const uint8_t> message, std::size_t offset)
{
    WireName name;
    std::size_t at = offset;
    std::size_t encoded = 0;
    int pointers = 0;
    bool jumped = false;
    while (true) {
        if (at >= message.size())
            return std::nullopt;
        const uint8_t length = message[at];
        if ((length & kPointerBits) == kPointerBits) {
            if (at + 1 >= message.size() || ++pointers > kMaxPointers)
                return std::nullopt;
            const std::size_t target = ((length & 0x3Fu) << 8) | message[at + 1];
            // Only backwards: a pointer to itself or ahead is how loops are built.
            if (target >= at)
                return std::nullopt;
            if (!jumped)
                name.next = at + 2;
            jumped = true;
            at = target;
            continue;
        }
        if ((length & kPointerBits) != 0) // 0x40 and 0x80: label types nobody uses
            return std::nullopt;
        encoded += 1u + length;
        if (encoded > kMaxNameBytes)
            return std::nullopt;
        if (length == 0) {
            if (!jumped)
                name.next = at + 1;
            return name;
        }
        if (at + 1 + length > message.size())
            return std::nullopt;
        if (!name.text.empty())
            name.text += '.';
        name.text.append(reinterpret_cast<const char*>(message.data() + at + 1), length);
        at += 1u + length;
    }
}

std::optional<std::size_t> SkipQuestions(std::span<const uint8_t> message, std::size_t offset,
                                         uint16_t count)
{
    for (uint16_t q = 0; q < count; ++q) {
        const auto name = ReadWireName(message, offset);
        if (!name || name->next + 4 > message.size())
            return std::nullopt;
        offset = name->next + 4;
    }
    return offset;
}

} // namespace zelvo
