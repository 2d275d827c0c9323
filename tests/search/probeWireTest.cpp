#include "search/EchoRequest.h"
#include "search/InternetChecksum.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

namespace zelvo {
namespace {

// RFC 1071 the long way: 16-bit words in network order, carries folded back in. A
// message that carries its right checksum sums to 0xFFFF.
uint16_t NetworkOrderSum(const uint8_t* data, std::size_t length)
{
    uint32_t sum = 0;
    for (std::size_t i = 0; i < length; i += 2)
        sum += (uint32_t{data[i]} << 8) | (i + 1 < length ? data[i + 1] : 0);
    while (sum >> 16)
        sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<uint16_t>(sum);
}

TEST(InternetChecksum, givesTheWireChecksumOfKnownData)
{
    struct Case
    {
        const char* what;
        std::vector<uint8_t> data;
        std::vector<uint8_t> wire; // the two bytes as stored and sent
    };
    for (const Case& c : {
             Case{"RFC 1071 example",
                  {0x00, 0x01, 0xf2, 0x03, 0xf4, 0xf5, 0xf6, 0xf7},
                  {0x22, 0x0d}},
             Case{"nothing", {}, {0xff, 0xff}},
             Case{"odd byte, padded as the high byte", {0xab}, {0x54, 0xff}},
             Case{"carry folded", {0xff, 0xff, 0x00, 0x01}, {0xff, 0xfe}},
             Case{"carry of the fold folded again",
                  {0xff, 0xff, 0xff, 0xff, 0x01, 0x00},
                  {0xfe, 0xff}},
         }) {
        const uint16_t checksum = InternetChecksum(c.data.data(), c.data.size());
        std::vector<uint8_t> stored(2);
        std::memcpy(stored.data(), &checksum, 2);
        EXPECT_EQ(stored, c.wire) << c.what;
    }
    std::mt19937 random(7);
    for (std::size_t length = 4; length <= 200; length += 2) {
        std::vector<uint8_t> message(length);
        for (uint8_t& b : message)
            b = static_cast<uint8_t>(random());
        message[0] = message[1] = 0;
        const uint16_t checksum = InternetChecksum(message.data(), length);
        std::memcpy(message.data(), &checksum, 2);
        EXPECT_EQ(NetworkOrderSum(message.data(), length), 0xFFFF) << "length " << length;
    }
}

TEST(EchoRequest, isLaidOutByteForByteAndChecksumsToZero)
{
    struct Case
    {
        uint16_t identifier;
        uint16_t sequence;
        uint32_t tick;
    };
    for (const Case c : {Case{0x1234, 0, 0xA1B2C3D4}, Case{0xFFFF, 1, 0}, Case{1, 1, 0x100}}) {
        EchoRequest request = BuildEchoRequest(c.identifier);
        StampEchoRequest(request, 7, 8123456); // restamped below: the checksum is redone
        StampEchoRequest(request, c.sequence, c.tick);
        std::vector<uint8_t> expected = {8,
                                         0,
                                         request[2],
                                         request[3],
                                         static_cast<uint8_t>(c.identifier),
                                         static_cast<uint8_t>(c.identifier >> 8),
                                         static_cast<uint8_t>(c.sequence),
                                         static_cast<uint8_t>(c.sequence >> 8)};
        for (int i = 0; i < 4; ++i)
            expected.push_back(static_cast<uint8_t>(c.tick >> (8 * i)));
        expected.resize(44, 0x45);
        EXPECT_EQ(std::vector<uint8_t>(request.begin(), request.end()), expected);
        EXPECT_EQ(NetworkOrderSum(request.data(), request.size()), 0xFFFF);
    }
}

TEST(EchoRequest, icmpIsFoundBehindTheIpHeader)
{
    struct Case
    {
        const char* what;
        uint8_t versionAndLength;
        std::size_t total;
        bool hasIpHeader;
        std::ptrdiff_t offset; // -1: no ICMP message found
    };
    for (const Case& c :
         {Case{"plain header", 0x45, 64, true, 20}, Case{"with options", 0x46, 64, true, 24},
          Case{"not IPv4", 0x65, 64, true, -1}, Case{"header below 20", 0x44, 64, true, -1},
          Case{"header past the end", 0x4F, 40, true, -1}, Case{"empty", 0, 0, true, -1},
          Case{"ping socket", 0, 44, false, 0}}) {
        std::vector<uint8_t> datagram(c.total, 0x11);
        if (c.total)
            datagram[0] = c.versionAndLength;
        const auto icmp = IcmpMessageOf(datagram, c.hasIpHeader);
        if (c.offset < 0) {
            EXPECT_TRUE(icmp.empty()) << c.what;
        } else {
            EXPECT_EQ(icmp.data(), datagram.data() + c.offset) << c.what;
            EXPECT_EQ(icmp.size(), c.total - static_cast<std::size_t>(c.offset)) << c.what;
        }
    }
}

TEST(EchoRequest, recognisesOnlyItsOwnRequests)
{
    constexpr uint16_t kOurs = 0x1234;
    auto request = [](uint16_t identifier, uint16_t sequence, std::size_t at = 0, int value = -1) {
        EchoRequest r = BuildEchoRequest(identifier);
        StampEchoRequest(r, sequence, 777);
        std::vector<uint8_t> bytes(r.begin(), r.end());
        if (value >= 0)
            bytes[at] = static_cast<uint8_t>(value);
        return bytes;
    };
    std::vector<uint8_t> shorter = request(kOurs, 0), longer = request(kOurs, 0);
    shorter.pop_back();
    longer.push_back(0x45);
    struct Case
    {
        const char* what;
        std::vector<uint8_t> icmp;
        bool own;
    };
    for (const Case& c : {Case{"first request", request(kOurs, 0), true},
                          Case{"second request", request(kOurs, 1), true},
                          Case{"another process's", request(0x9999, 0), false},
                          Case{"identifier bytes swapped", request(0x3412, 0), false},
                          Case{"echo reply", request(kOurs, 0, 0, 0), false},
                          Case{"other code", request(kOurs, 0, 1, 1), false},
                          Case{"other payload", request(kOurs, 0, 30, 0x46), false},
                          Case{"shorter", shorter, false}, Case{"longer", longer, false}})
        EXPECT_EQ(IsOwnEchoRequest(c.icmp, kOurs), c.own) << c.what;
}

} // namespace
} // namespace zelvo
