// What a probe reads from either kind of ICMP socket: the message behind a raw socket's
// IPv4 header, and a ping socket's queued error put back into message form.
#include "platform/IcmpMessage.h"

#include <gtest/gtest.h>

#include <vector>

namespace zelvo {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes Ipv4Datagram(uint8_t versionAndLength, std::size_t headerBytes, const Bytes& payload)
{
    Bytes d(headerBytes, 0);
    if (!d.empty())
        d[0] = versionAndLength;
    d.insert(d.end(), payload.begin(), payload.end());
    return d;
}

TEST(IcmpMessage, aRawDatagramYieldsWhatFollowsItsHeaderOrNothing)
{
    const Bytes icmp = {0, 0, 0xAB, 0xCD, 1, 2, 3, 4};
    struct Row
    {
        const char* what;
        Bytes datagram;
        Bytes expected;
    } rows[] = {
        {"plain 20-byte header", Ipv4Datagram(0x45, 20, icmp), icmp},
        {"header with options", Ipv4Datagram(0x47, 28, icmp), icmp},
        {"header and nothing else", Ipv4Datagram(0x45, 20, {}), {}},
        {"IPv6 version", Ipv4Datagram(0x65, 20, icmp), {}},
        {"length below the minimum", Ipv4Datagram(0x44, 16, icmp), {}},
        {"header longer than the datagram", Ipv4Datagram(0x4F, 20, icmp), {}},
        {"empty", {}, {}},
    };
    for (const Row& row : rows) {
        const auto got = IcmpAfterIpv4Header(row.datagram);
        EXPECT_EQ(Bytes(got.begin(), got.end()), row.expected) << row.what;
    }
}

TEST(IcmpMessage, aQueuedErrorIsRebuiltAsARawSocketShowsIt)
{
    const Bytes request = {8, 0, 0x12, 0x34, 0x21, 0x43, 0, 0, 9, 9, 9, 9};
    IcmpErrorReport report;
    report.type = 3;
    report.code = 1;
    report.destination = Ipv4Address::FromOctets(10, 77, 0, 2);
    report.quoted = request;
    uint8_t out[64];
    std::fill(std::begin(out), std::end(out), 0xEE);
    const std::size_t n = RebuildIcmpError(report, out);
    ASSERT_EQ(n, kIcmpErrorHeaderSize + kQuotedIpv4HeaderSize + request.size());
    const Bytes head(out, out + kIcmpErrorHeaderSize);
    EXPECT_EQ(head, (Bytes{3, 1, 0, 0, 0, 0, 0, 0}));
    // The quoted header reads back as any IPv4 header does: its payload is our request.
    const std::span<const uint8_t> quotedDatagram(out + kIcmpErrorHeaderSize,
                                                  n - kIcmpErrorHeaderSize);
    const auto inner = IcmpAfterIpv4Header(quotedDatagram);
    EXPECT_EQ(Bytes(inner.begin(), inner.end()), request);
    const uint8_t* ip = out + kIcmpErrorHeaderSize;
    EXPECT_EQ(ip[9], kIpProtocolIcmp);
    EXPECT_EQ((Bytes{ip[2], ip[3]}), (Bytes{0, uint8_t(20 + request.size())}));
    EXPECT_EQ((Bytes(ip + 12, ip + 16)), (Bytes{0, 0, 0, 0}));
    EXPECT_EQ((Bytes(ip + 16, ip + 20)), (Bytes{10, 77, 0, 2}));
    EXPECT_EQ(out[n], 0xEE) << "wrote past the message";
}

TEST(IcmpMessage, aRebuiltErrorStopsWhereTheBufferEnds)
{
    const Bytes request(44, 0x45);
    IcmpErrorReport report;
    report.type = 11;
    report.quoted = request;
    for (const std::size_t room :
         {std::size_t{0}, std::size_t{5}, std::size_t{28}, std::size_t{40}, std::size_t{72}}) {
        Bytes out(room + 4, 0xEE);
        const std::size_t n = RebuildIcmpError(report, std::span<uint8_t>(out.data(), room));
        EXPECT_EQ(n, room) << room;
        EXPECT_EQ((Bytes(out.begin() + room, out.end())), Bytes(4, 0xEE)) << room;
        if (room > 0) {
            EXPECT_EQ(out[0], 11);
        }
    }
}

} // namespace
} // namespace zelvo
