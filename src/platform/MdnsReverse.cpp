#include "platform/MdnsReverse.h"

#include "platform/DnsWireName.h"

#include <cstring>
#include <strings.h>

namespace zelvo {

namespace {
constexpr std::size_t kHeaderSize = 12;
constexpr uint16_t kTypePtr = 12;
constexpr uint16_t kClassIn = 1;
constexpr uint16_t kClassMask = 0x7FFF; // the top bit is mDNS's cache-flush / unicast bit
constexpr uint16_t kFlagResponse = 0x8000;
constexpr uint16_t kRcodeMask = 0x000F;
constexpr const char* kLocalSuffix = ".local";

bool SameName(const std::string& a, const std::string& b)
{
    return a.size() == b.size() && ::strncasecmp(a.c_str(), b.c_str(), a.size()) == 0;
}

std::optional<std::string> HostPart(std::string name)
{
    const std::size_t suffix = std::strlen(kLocalSuffix);
    if (name.size() > suffix &&
        ::strcasecmp(name.c_str() + name.size() - suffix, kLocalSuffix) == 0)
        name.resize(name.size() - suffix);
    if (name.empty())
        return std::nullopt;
    for (unsigned char c : name)
        if (c < 0x21 || c > 0x7E)
            return std::nullopt;
    return name;
}
} // namespace

std::string ReverseQueryName(Ipv4Address address)
{
    uint8_t o[4];
    std::memcpy(o, &address.nbo, 4); // network order: o[0] is the first octet
    return std::to_string(o[3]) + "." + std::to_string(o[2]) + "." + std::to_string(o[1]) + "." +
           std::to_string(o[0]) + ".in-addr.arpa";
}

std::vector<uint8_t> BuildMdnsPtrQuery(uint16_t queryId, Ipv4Address address)
{
    std::vector<uint8_t> m = {static_cast<uint8_t>(queryId >> 8),
                              static_cast<uint8_t>(queryId),
                              0,
                              0, // standard query
                              0,
                              1, // one question
                              0,
                              0,
                              0,
                              0,
                              0,
                              0};
    const std::string name = ReverseQueryName(address);
    std::size_t start = 0;
    while (start <= name.size()) {
        std::size_t dot = name.find('.', start);
        if (dot == std::string::npos)
            dot = name.size();
        m.push_back(static_cast<uint8_t>(dot - start));
        m.insert(m.end(), name.begin() + static_cast<std::ptrdiff_t>(start),
                 name.begin() + static_cast<std::ptrdiff_t>(dot));
        start = dot + 1;
    }
    m.push_back(0);
    m.insert(m.end(), {0, kTypePtr, 0, kClassIn});
    return m;
}

std::optional<std::string> ParseMdnsPtrReply(std::span<const uint8_t> reply, uint16_t queryId,
                                             Ipv4Address address)
{
    if (reply.size() < kHeaderSize)
        return std::nullopt;
    const uint16_t flags = ReadBe16(reply, 2);
    if (ReadBe16(reply, 0) != queryId || (flags & kFlagResponse) == 0 || (flags & kRcodeMask) != 0)
        return std::nullopt;
    const uint16_t questions = ReadBe16(reply, 4);
    const uint16_t answers = ReadBe16(reply, 6);

    const auto afterQuestions = SkipQuestions(reply, kHeaderSize, questions);
    if (!afterQuestions)
        return std::nullopt;
    std::size_t at = *afterQuestions;
    const std::string wanted = ReverseQueryName(address);
    for (uint16_t a = 0; a < answers; ++a) {
        const auto owner = ReadWireName(reply, at);
        if (!owner || owner->next + 10 > reply.size())
            return std::nullopt;
        at = owner->next;
        const uint16_t type = ReadBe16(reply, at);
        const uint16_t rrClass = ReadBe16(reply, at + 2) & kClassMask;
        const std::size_t dataLength = ReadBe16(reply, at + 8);
        const std::size_t data = at + 10;
        if (data + dataLength > reply.size())
            return std::nullopt;
        at = data + dataLength;
        if (type != kTypePtr || rrClass != kClassIn || !SameName(owner->text, wanted))
            continue;
        const auto target = ReadWireName(reply, data);
        if (!target || target->next > data + dataLength)
            return std::nullopt;
        return HostPart(target->text);
    }
    return std::nullopt;
}

} // namespace zelvo
