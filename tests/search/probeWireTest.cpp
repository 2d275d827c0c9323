#include "search/EchoRequest.h"
#include "search/InternetChecksum.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

namespace zelvo {
namespace {

// RFC 1071 the long way: 16-bit words in network order, folded; a message that carries
// its right checksum sums to 0xFFFF.
uint16_t NetworkOrderSum(const uint8_t* data, std::size_t length)
{
    uint32_t sum = 0;
    for (std::size_t i = 0; i + 1 < length; i += 2)
        sum += (uint32_t{data[i]} << 8) | data[i + 1];
    if (length % 2 == 1)
        sum += uint32_t{data[length - 1]} << 8;
    while (sum >> 16)
        sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<uint16_t>(sum);
}

std::vector<uint8_t> StoredChecksum(const std::vector<uint8_t>& data)
{
    const uint16_t checksum = InternetChecksum(data.data(), data.size());
    std::vector<uint8_t> bytes(2);
    std::memcpy(bytes.data(), &checksum, 2); // as the request stores it
    return bytes;
}

struct ChecksumCase
{
    const char* what;
    std::vector<uint8_t> data;
    std::vector<uint8_t> wire; // the checksum's two bytes as they go out
};

TEST(InternetChecksum, givesTheWireChecksumOfKnownData)
{
    const std::vector<ChecksumCase> cases = {
        {"RFC 1071 example", {0x00, 0x01, 0xf2, 0x03, 0xf4, 0xf5, 0xf6, 0xf7}, {0x22, 0x0d}},
        {"nothing", {}, {0xff, 0xff}},
        {"one odd byte, padded as the high byte", {0xab}, {0x54, 0xff}},
        {"carry folded once", {0xff, 0xff, 0x00, 0x01}, {0xff, 0xfe}},
        {"carry of the fold folded again", {0xff, 0xff, 0xff, 0xff, 0x01, 0x00}, {0xfe, 0xff}},
        {"all ones", {0xff, 0xff, 0xff, 0xff}, {0x00, 0x00}},
    };
    for (const ChecksumCase& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(StoredChecksum(c.data), c.wire);
    }
}

TEST(InternetChecksum, storedInPlaceMakesAnyMessageSumToAllOnes)
{
    std::mt19937 random(7);
    for (std::size_t length = 4; length <= 200; length += 2) {
        std::vector<uint8_t> message(length);
        for (uint8_t& b : message)
            b = static_cast<uint8_t>(random());
        const std::size_t at = (random() % (length / 2)) * 2;
        message[at] = message[at + 1] = 0;
        const uint16_t checksum = InternetChecksum(message.data(), message.size());
        std::memcpy(&message[at], &checksum, 2);
        EXPECT_EQ(NetworkOrderSum(message.data(), message.size()), 0xFFFF) << "length " << length;
    }
}

TEST(EchoRequest, isLaidOutByteForByte)
{
    struct Case
    {
        uint16_t identifier;
        uint16_t sequence;
        uint32_t tick;
    };
    for (const Case c :
         {Case{0x1234, 0, 0xA1B2C3D4}, Case{0xFFFF, 1, 0}, Case{0x0001, 1, 0x00000100}}) {
        SCOPED_TRACE(c.identifier);
        EchoRequest request = BuildEchoRequest(c.identifier);
        StampEchoRequest(request, c.sequence, c.tick);
        ASSERT_EQ(request.size(), 44u);
        EXPECT_EQ(request[0], 8);
        EXPECT_EQ(request[1], 0);
        EXPECT_EQ(request[4], c.identifier & 0xFF) << "identifier is little-endian";
        EXPECT_EQ(request[5], c.identifier >> 8);
        EXPECT_EQ(request[6], c.sequence & 0xFF) << "sequence is little-endian";
        EXPECT_EQ(request[7], c.sequence >> 8);
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(request[8 + i], static_cast<uint8_t>(c.tick >> (8 * i))) << "tick byte " << i;
        for (std::size_t i = 12; i < 44; ++i)
            EXPECT_EQ(request[i], 0x45) << "payload byte " << i;
        EXPECT_EQ(NetworkOrderSum(request.data(), request.size()), 0xFFFF);
    }
}

TEST(EchoRequest, restampingRecomputesTheChecksum)
{
    EchoRequest request = BuildEchoRequest(0x4242);
    StampEchoRequest(request, 0, 1000);
    StampEchoRequest(request, 1, 8123456);
    EXPECT_EQ(request[6], 1);
    EXPECT_EQ(NetworkOrderSum(request.data(), request.size()), 0xFFFF);
}

std::vector<uint8_t> Datagram(uint8_t versionAndLength, std::size_t total)
{
    std::vector<uint8_t> d(total, 0x11);
    if (total > 0)
        d[0] = versionAndLength;
    return d;
}

TEST(EchoRequest, icmpIsFoundBehindTheIpHeader)
{
    struct Case
    {
        const char* what;
        std::vector<uint8_t> datagram;
        bool hasIpHeader;
        std::size_t icmpLength; // 0: none found
        std::size_t offset;
    };
    const std::vector<Case> cases = {
        {"plain header", Datagram(0x45, 64), true, 44, 20},
        {"header with options", Datagram(0x46, 64), true, 40, 24},
        {"header only", Datagram(0x45, 20), true, 0, 20},
        {"not IPv4", Datagram(0x65, 64), true, 0, 0},
        {"header length below 20", Datagram(0x44, 64), true, 0, 0},
        {"header longer than the datagram", Datagram(0x4F, 40), true, 0, 0},
        {"empty", {}, true, 0, 0},
        {"ping socket: no header", Datagram(0x00, 44), false, 44, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const auto icmp = IcmpMessageOf(c.datagram, c.hasIpHeader);
        EXPECT_EQ(icmp.size(), c.icmpLength);
        if (!icmp.empty()) {
            EXPECT_EQ(icmp.data(), c.datagram.data() + c.offset);
        }
    }
}

TEST(EchoRequest, recognisesOnlyItsOwnRequests)
{
    constexpr uint16_t kOurs = 0x1234;
    auto request = [](uint16_t identifier, uint16_t sequence) {
        EchoRequest r = BuildEchoRequest(identifier);
        StampEchoRequest(r, sequence, 777);
        return std::vector<uint8_t>(r.begin(), r.end());
    };
    auto changed = [&](std::size_t at, uint8_t value) {
        std::vector<uint8_t> r = request(kOurs, 0);
        r[at] = value;
        return r;
    };
    std::vector<uint8_t> shorter = request(kOurs, 0);
    shorter.pop_back();
    std::vector<uint8_t> longer = request(kOurs, 0);
    longer.push_back(0x45);
    struct Case
    {
        const char* what;
        std::vector<uint8_t> icmp;
        bool own;
    };
    const std::vector<Case> cases = {
        {"first request", request(kOurs, 0), true},
        {"second request", request(kOurs, 1), true},
        {"another process's request", request(0x9999, 0), false},
        {"identifier bytes swapped", request(0x3412, 0), false},
        {"echo reply", changed(0, 0), false},
        {"other code", changed(1, 1), false},
        {"other payload", changed(30, 0x46), false},
        {"shorter", shorter, false},
        {"longer", longer, false},
        {"nothing", {}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(IsOwnEchoRequest(c.icmp, kOurs), c.own);
    }
}

} // namespace
} // namespace zelvo
