#include "dhcp/DhcpMessage.h"

#include <algorithm>
#include <cstring>

namespace zelvo {

namespace {
constexpr uint8_t kPad = 0;
constexpr uint8_t kEnd = 255;
constexpr uint8_t kOptionMessageType = 53;

constexpr uint8_t kOptionRequestedAddress = 50;
constexpr uint8_t kOptionServerId = 54;

Ipv4Address GetAddress(const uint8_t* at)
{
    return Ipv4Address::FromOctets(at[0], at[1], at[2], at[3]);
}

void PutAddress(uint8_t* at, Ipv4Address address)
{
    const std::array<uint8_t, 4> octets = address.Octets();
    std::copy(octets.begin(), octets.end(), at);
}
} // namespace

uint8_t ParseMessageType(std::span<const uint8_t> received)
{
    const std::size_t length = received.size();
    if (length < dhcp::kOptions ||
        std::memcmp(received.data() + dhcp::kCookie, dhcp::kMagicCookie, 4) != 0)
        return kDhcpNoType;
    std::size_t i = dhcp::kOptions;
    while (i < length) {
        const uint8_t code = received[i];
        if (code == kPad) {
            ++i;
            continue;
        }
        if (code == kEnd)
            return kDhcpNoType;
        if (code == kOptionMessageType) {
            if (i + 2 >= length)
                return kDhcpMalformed;
            const uint8_t type = received[i + 2];
            return type == 0 || type > kDhcpInform ? uint8_t{kDhcpMalformed} : type;
        }
        ++i; // the length byte
        if (i == length || i + received[i] >= length)
            return kDhcpMalformed;
        i += received[i] + 1u;
    }
    return kDhcpNoType;
}

RequestFields ReadRequestFields(std::span<const uint8_t> received)
{
    RequestFields fields;
    const std::size_t length = received.size();
    if (length < dhcp::kOptions ||
        std::memcmp(received.data() + dhcp::kCookie, dhcp::kMagicCookie, 4) != 0)
        return fields;
    fields.ciaddr = GetAddress(received.data() + dhcp::kCiaddr);
    std::size_t i = dhcp::kOptions;
    while (i < length && received[i] != kEnd) {
        const uint8_t code = received[i];
        if (code == kPad) {
            ++i;
            continue;
        }
        if (i + 1 >= length)
            break; // no length byte
        const std::size_t size = received[i + 1];
        if (i + 2 + size > length)
            break; // runs past the data
        if (size == 4 && code == kOptionServerId)
            fields.serverId = GetAddress(received.data() + i + 2);
        else if (size == 4 && code == kOptionRequestedAddress)
            fields.requested = GetAddress(received.data() + i + 2);
        i += 2 + size;
    }
    return fields;
}

MacAddress ClientMac(std::span<const uint8_t> received)
{
    MacAddress mac{};
    if (received.size() >= dhcp::kChaddr + mac.size())
        std::copy_n(received.data() + dhcp::kChaddr, mac.size(), mac.begin());
    return mac;
}

std::array<uint8_t, dhcp::kReplyLength>
BuildReply(std::span<const uint8_t> request, uint8_t replyType, const ReplyAddresses& addresses)
{
    std::array<uint8_t, dhcp::kReplyLength> reply{};
    std::copy_n(request.data(), std::min(request.size(), dhcp::kOptions), reply.begin());
    reply[dhcp::kOp] = dhcp::kBootReply;
    reply[dhcp::kHops] = 0;
    std::fill_n(reply.begin() + dhcp::kSecs, 2, 0);
    std::fill_n(reply.begin() + dhcp::kCiaddr, 4, 0);
    PutAddress(&reply[dhcp::kYiaddr], addresses.offered);
    PutAddress(&reply[dhcp::kSiaddr], addresses.server);
    std::fill_n(reply.begin() + dhcp::kGiaddr, 4, 0);

    uint8_t* o = &reply[dhcp::kOptions];
    auto option = [&o](uint8_t code, std::initializer_list<uint8_t> value) {
        *o++ = code;
        *o++ = static_cast<uint8_t>(value.size());
        for (uint8_t b : value)
            *o++ = b;
    };
    option(kOptionMessageType, {replyType});
    const auto server = addresses.server.Octets();
    option(54, {server[0], server[1], server[2], server[3]}); // server identifier
    option(51, {0x00, 0x00, 0x1C, 0x20});                     // lease 7200 s
    option(58, {0x00, 0x00, 0x0B, 0xB8});                     // renewal (T1) 3000 s
    option(59, {0x00, 0x00, 0x14, 0x82});                     // rebinding (T2) 5250 s
    const auto& m = addresses.subnetMask;
    option(1, {m[0], m[1], m[2], m[3]}); // subnet mask
    *o++ = kEnd;
    // The rest of the array is already zero: the padding up to byte 311.
    return reply;
}

} // namespace zelvo
