// DHCP datagrams from anyone on the segment (port 67 takes every client's broadcast): the
// type is read without reading past the datagram, and a reply built over any request the
// responder would answer is a well-formed 312-byte BOOTREPLY that our own reader types.
#include "FuzzCheck.h"
#include "dhcp/DhcpMessage.h"

#include <algorithm>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    using namespace zelvo;
    const std::span<const uint8_t> received(data, size);
    const uint8_t type = ParseMessageType(received);
    ZELVO_FUZZ_CHECK(type <= kDhcpInform || type == kDhcpMalformed);
    if (size >= 34) {
        const MacAddress mac = ClientMac(received);
        ZELVO_FUZZ_CHECK(std::equal(mac.begin(), mac.end(), data + dhcp::kChaddr));
    }
    if (size < dhcp::kOptions || type < kDhcpDiscover || type > kDhcpInform)
        return 0;

    const ReplyAddresses addresses{Ipv4Address::FromOctets(10, 231, 7, 60),
                                   Ipv4Address::FromOctets(10, 231, 7, 10),
                                   {255, 255, 255, 0}};
    for (const uint8_t replyType : {kDhcpOffer, kDhcpAck}) {
        const auto reply = BuildReply(received, replyType, addresses);
        ZELVO_FUZZ_CHECK(reply[dhcp::kOp] == dhcp::kBootReply && reply[dhcp::kHops] == 0);
        ZELVO_FUZZ_CHECK(std::memcmp(&reply[4], data + 4, 4) == 0); // the transaction id
        ZELVO_FUZZ_CHECK(std::memcmp(&reply[dhcp::kChaddr], data + dhcp::kChaddr, 16) == 0);
        ZELVO_FUZZ_CHECK(std::memcmp(&reply[dhcp::kCookie], dhcp::kMagicCookie, 4) == 0);
        ZELVO_FUZZ_CHECK(std::memcmp(&reply[dhcp::kYiaddr], &addresses.offered.nbo, 4) == 0);
        for (std::size_t field : {dhcp::kCiaddr, dhcp::kGiaddr})
            ZELVO_FUZZ_CHECK(
                std::all_of(&reply[field], &reply[field] + 4, [](uint8_t b) { return b == 0; }));
        ZELVO_FUZZ_CHECK(ParseMessageType(reply) == replyType);
    }
    return 0;
}
