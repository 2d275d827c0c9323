#include "platform/IcmpMessage.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace zelvo {

std::span<const uint8_t> IcmpAfterIpv4Header(std::span<const uint8_t> datagram)
{
    if (datagram.empty() || (datagram[0] >> 4) != 4)
        return {};
    const std::size_t headerLength = std::size_t{datagram[0] & 0x0Fu} * 4;
    if (headerLength < kQuotedIpv4HeaderSize || headerLength > datagram.size())
        return {};
    return datagram.subspan(headerLength);
}

std::size_t RebuildIcmpError(const IcmpErrorReport& report, std::span<uint8_t> out)
{
    constexpr std::size_t kHead = kIcmpErrorHeaderSize + kQuotedIpv4HeaderSize;
    std::array<uint8_t, kHead> head{};
    head[0] = report.type;
    head[1] = report.code;
    uint8_t* ip = head.data() + kIcmpErrorHeaderSize;
    const std::size_t total = kQuotedIpv4HeaderSize + report.quoted.size();
    ip[0] = 0x45; // IPv4, five 32-bit words of header
    ip[2] = static_cast<uint8_t>(total >> 8);
    ip[3] = static_cast<uint8_t>(total);
    ip[9] = kIpProtocolIcmp;
    std::memcpy(ip + 16, &report.destination.nbo, 4); // network order as stored
    const std::size_t headPart = std::min(out.size(), head.size());
    std::copy_n(head.begin(), headPart, out.begin());
    const std::size_t quotedPart = std::min(out.size() - headPart, report.quoted.size());
    std::copy_n(report.quoted.begin(), quotedPart, out.begin() + headPart);
    return headPart + quotedPart;
}

} // namespace zelvo
