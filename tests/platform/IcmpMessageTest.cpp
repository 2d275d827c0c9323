// What a probe reads from either kind of ICMP socket: the message behind a raw socket's
// IPv4 header, a ping socket's queued error put back into message form, and what the
// socket helper's filter and rules pass back of a raw socket's datagrams.
#include "platform/IcmpMessage.h"
#include "platform/UniqueFd.h"
#include "platform/sockhelper/EchoReplyFilter.h"
#include "platform/sockhelper/SessionRules.h"

#include <sys/socket.h>

#include <gtest/gtest.h>

#include <vector>

namespace zelvo {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes operator+(Bytes a, const Bytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

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

TEST(IcmpMessage, aQueuedErrorIsRebuiltAsARawSocketShowsItAsFarAsTheBufferGoes)
{
    const Bytes request = {8, 0, 0x12, 0x34, 0x21, 0x43, 0, 0, 9, 9, 9, 9};
    IcmpErrorReport report;
    report.type = 3;
    report.code = 1;
    report.destination = Ipv4Address::FromOctets(10, 77, 0, 2);
    report.quoted = request;
    // Host unreachable, then the quoted IPv4 header (20 bytes, 32 in all, ICMP, from no
    // address to 10.77.0.2) and our request.
    const Bytes whole = Bytes{3, 1, 0, 0, 0, 0, 0, 0, 0x45, 0, 0,  32, 0, 0,
                              0, 0, 0, 1, 0, 0, 0, 0, 0,    0, 10, 77, 0, 2} +
                        request;
    // A smaller buffer gets what fits, and nothing past its end.
    for (const std::size_t room :
         {whole.size() + 8, whole.size() - 1, std::size_t{28}, std::size_t{5}, std::size_t{0}}) {
        const std::size_t kept = std::min(room, whole.size());
        Bytes out(room + 4, 0xEE);
        EXPECT_EQ(RebuildIcmpError(report, std::span<uint8_t>(out.data(), room)), kept);
        EXPECT_EQ(out,
                  Bytes(whole.begin(), whole.begin() + long(kept)) + Bytes(room + 4 - kept, 0xEE))
            << room;
    }
}

// An IPv4 datagram of the given protocol from 127.0.0.1, fragment offset as given.
Bytes Datagram(uint8_t protocol, const Bytes& payload, uint8_t fragment = 0)
{
    Bytes d = Ipv4Datagram(0x45, 20, payload);
    d[3] = uint8_t(20 + payload.size()), d[7] = fragment, d[8] = 64, d[9] = protocol;
    d[12] = d[16] = 127, d[15] = d[19] = 1;
    return d;
}

TEST(SockHelperPassesBack, onlyEchoRepliesAndErrorsAboutTheSessionsEchoRequests)
{
    // The kernel runs the helper's filter on any socket: here on a datagram socket pair.
    int pair[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0, pair), 0);
    const UniqueFd in(pair[0]), out(pair[1]);
    const sock_fprog program{uint16_t(sockhelper::kEchoReplyFilter.size()),
                             const_cast<sock_filter*>(sockhelper::kEchoReplyFilter.data())};
    ASSERT_EQ(::setsockopt(out.Get(), SOL_SOCKET, SO_ATTACH_FILTER, &program, sizeof program), 0);
    const sockhelper::Identifier id = {0x12, 0x34};
    const Bytes ourEcho = {8, 0, 0, 0, id[0], id[1], 0, 0};
    const auto error = [](uint8_t type, uint8_t protocol, const Bytes& quoted) {
        Bytes m = {type, 0, 0, 0, 0, 0, 0, 0};
        const Bytes inner = Datagram(protocol, quoted);
        m.insert(m.end(), inner.begin(), inner.end());
        return Datagram(1, m);
    };
    const struct
    {
        const char* what;
        Bytes datagram;
        bool passed;
    } rows[] = {
        {"our echo reply", Datagram(1, {0, 0, 0, 0, id[0], id[1], 0, 1, 'r'}), true},
        {"unreachable about our echo request", error(3, 1, ourEcho), true},
        {"time exceeded about our echo request", error(11, 1, ourEcho), true},
        {"parameter problem about our echo request", error(12, 1, ourEcho), true},
        {"another's echo reply", Datagram(1, {0, 0, 0, 0, 0x56, 0x78, 0, 1, 'r'}), false},
        {"unreachable about an echo reply", error(3, 1, {0, 0, 0, 0, id[0], id[1], 0, 0}), false},
        {"unreachable about another's echo request", error(3, 1, {8, 0, 0, 0, 0x56, 0x78, 0, 0}),
         false},
        {"unreachable about a UDP datagram", error(3, 17, {0x30, 0x39, 0, 53, 0, 8, 0, 0}), false},
        {"redirect about our echo request", error(5, 1, ourEcho), false},
        {"our echo request", Datagram(1, {8, 0, 0, 0, id[0], id[1], 0, 1, 'q'}), false},
        {"a truncated error", Datagram(1, {3, 0, 0, 0, 0, 0, 0, 0, 0x45}), false},
        {"a later fragment of our echo reply", Datagram(1, {0, 0, 0, 0, id[0], id[1], 0, 1}, 8),
         false},
        {"a UDP datagram", Datagram(17, {0, 0, 0, 0, id[0], id[1], 0, 1}), false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        ASSERT_EQ(::send(in.Get(), row.datagram.data(), row.datagram.size(), 0),
                  ssize_t(row.datagram.size()));
        Bytes got(4096);
        const ssize_t n = ::recv(out.Get(), got.data(), got.size(), MSG_DONTWAIT);
        got.resize(std::size_t(std::max<ssize_t>(n, 0)));
        const auto icmp = sockhelper::IcmpOfDatagram(got);
        const Bytes back =
            sockhelper::PassesBack(icmp, id) ? Bytes(icmp.begin(), icmp.end()) : Bytes{};
        EXPECT_EQ(back,
                  row.passed ? Bytes(row.datagram.begin() + 20, row.datagram.end()) : Bytes{});
    }
}

} // namespace
} // namespace zelvo
