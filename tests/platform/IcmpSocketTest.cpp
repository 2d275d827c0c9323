// The system's ICMP sockets in a network namespace of this test's own (root only): the
// ping socket comes first where the system admits our group, keeps the requests' bytes,
// reads the replies and the ICMP errors about its requests; without it, the raw socket
// delivers the same view of what arrived.
#include "platform/IcmpSocket.h"
#include "platform/IcmpMessage.h"
#include "support/InternetChecksum.h"

#include <netinet/in.h>
#include <sched.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <vector>

namespace zelvo {
namespace {

using Bytes = std::vector<uint8_t>;

const Ipv4Address kLoopback = Ipv4Address::FromOctets(127, 0, 0, 1);
const Ipv4Address kOwn = Ipv4Address::FromOctets(10, 77, 0, 1);
const Ipv4Address kNobody = Ipv4Address::FromOctets(10, 77, 0, 2); // never answers ARP

// An echo request as the tool lays it out, with a checksum of its own (RFC 1071).
Bytes EchoRequestBytes(uint8_t id0, uint8_t id1, uint8_t sequence)
{
    Bytes m(44, 0x45);
    m[0] = 8, m[1] = 0, m[2] = 0, m[3] = 0, m[4] = id0, m[5] = id1, m[6] = sequence, m[7] = 0;
    for (int i = 8; i < 12; ++i)
        m[i] = uint8_t(0x10 + i);
    const uint16_t sum = test::InternetChecksum(m);
    m[2] = uint8_t(sum >> 8), m[3] = uint8_t(sum);
    return m;
}

void SetPingRange(const char* range)
{
    std::ofstream("/proc/sys/net/ipv4/ping_group_range") << range;
}

class SystemIcmp : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        if (::geteuid() != 0) {
            s_why = "a network namespace of our own needs root";
            return;
        }
        if (::unshare(CLONE_NEWNET) != 0) {
            s_why = "unshare(CLONE_NEWNET) failed";
            return;
        }
        // A card whose peer has no address: ARP for 10.77.0.2 fails after one try.
        const int rc = std::system(
            "ip link set lo up && ip link add zv0 type veth peer name zv1 && "
            "ip addr add 10.77.0.1/24 dev zv0 && ip link set zv0 up && ip link set zv1 up && "
            "sysctl -qw net.ipv4.neigh.zv0.mcast_solicit=1 net.ipv4.neigh.zv0.ucast_solicit=1 "
            "net.ipv4.neigh.zv0.app_solicit=0 net.ipv4.neigh.zv0.retrans_time_ms=200");
        if (rc != 0)
            s_why = "could not set up the namespace's cards (iproute2)";
    }
    void SetUp() override
    {
        if (!s_why.empty())
            GTEST_SKIP() << s_why;
        SetPingRange("0 0"); // root's group
    }

    static IcmpSocketOpen Open(uint8_t id0, uint8_t id1, bool broadcast = false,
                               Ipv4Address outgoing = {})
    {
        IcmpSocketOptions options;
        options.identifierBytes = {id0, id1};
        options.broadcast = broadcast;
        options.outgoingAddress = outgoing;
        return SystemIcmpSockets().Open(options);
    }

    // The next message of type wanted within 3 s, or empty.
    static Bytes Next(IcmpSocket& socket, uint8_t wanted, Ipv4Address* source = nullptr)
    {
        uint8_t buffer[1024];
        for (int i = 0; i < 20; ++i) {
            IcmpArrival arrival;
            int error = 0;
            if (socket.Receive(buffer, arrival, 3000, nullptr, error) != IoStatus::Ok)
                return {};
            if (arrival.length > 0 && buffer[0] == wanted) {
                if (source)
                    *source = arrival.source;
                return Bytes(buffer, buffer + arrival.length);
            }
        }
        return {};
    }

    static std::string s_why;
};
std::string SystemIcmp::s_why;

TEST_F(SystemIcmp, aPingSocketComesFirstAndKeepsTheRequestAsBuilt)
{
    // Sees every request on the wire (loopback), as root may.
    UniqueFd wire(::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP));
    ASSERT_TRUE(wire.Valid());
    IcmpSocketOpen open = Open(0x21, 0x43);
    ASSERT_TRUE(open.socket) << open.detail;
    EXPECT_EQ(open.path, IcmpPath::Ping);

    const Bytes request = EchoRequestBytes(0x21, 0x43, 0);
    int error = 0;
    ASSERT_EQ(open.socket->Send(kLoopback, 5005, request, 2000, error), IoStatus::Ok) << error;
    uint8_t datagram[256];
    Bytes seen;
    for (int i = 0; i < 10 && (seen.empty() || seen[0] != 8); ++i) {
        const ssize_t n = ::recv(wire.Get(), datagram, sizeof datagram, 0);
        ASSERT_GT(n, 0);
        const auto icmp = IcmpAfterIpv4Header({datagram, std::size_t(n)});
        seen.assign(icmp.begin(), icmp.end());
    }
    EXPECT_EQ(seen, request) << "the kernel changed the request on its way";

    Ipv4Address from;
    const Bytes reply = Next(*open.socket, 0, &from);
    ASSERT_EQ(reply.size(), request.size());
    EXPECT_EQ(from, kLoopback);
    EXPECT_EQ(Bytes(reply.begin() + 4, reply.end()), Bytes(request.begin() + 4, request.end()));
}

TEST_F(SystemIcmp, twoPingSocketsAtOnceEachReadTheirOwnReply)
{
    IcmpSocketOpen first = Open(0x11, 0x22);
    IcmpSocketOpen second = Open(0x11, 0x22); // the identifier is taken: the kernel picks one
    ASSERT_TRUE(first.socket && second.socket);
    int error = 0;
    ASSERT_EQ(first.socket->Send(kLoopback, 5005, EchoRequestBytes(0x11, 0x22, 1), 2000, error),
              IoStatus::Ok);
    ASSERT_EQ(second.socket->Send(kLoopback, 5005, EchoRequestBytes(0x11, 0x22, 2), 2000, error),
              IoStatus::Ok);
    const Bytes a = Next(*first.socket, 0);
    const Bytes b = Next(*second.socket, 0);
    ASSERT_EQ(a.size(), 44u);
    ASSERT_EQ(b.size(), 44u);
    EXPECT_EQ(a[6], 1);
    EXPECT_EQ(b[6], 2);
}

TEST_F(SystemIcmp, anErrorAboutARequestArrivesAsAnErrorMessageQuotingIt)
{
    for (const char* range : {"0 0", "1 0"}) {
        SCOPED_TRACE(range);
        SetPingRange(range);
        IcmpSocketOpen open = Open(0x31, 0x41);
        ASSERT_TRUE(open.socket) << open.detail;
        EXPECT_EQ(open.path, range[0] == '0' ? IcmpPath::Ping : IcmpPath::OwnRaw);
        const Bytes request = EchoRequestBytes(0x31, 0x41, 0);
        int error = 0;
        ASSERT_EQ(open.socket->Send(kNobody, 5005, request, 2000, error), IoStatus::Ok);
        Ipv4Address from;
        const Bytes unreachable = Next(*open.socket, 3, &from);
        ASSERT_GE(unreachable.size(), kIcmpErrorHeaderSize + kQuotedIpv4HeaderSize + 8);
        EXPECT_EQ(unreachable[1], 1) << "host unreachable";
        const uint8_t* quotedIp = unreachable.data() + kIcmpErrorHeaderSize;
        EXPECT_EQ(quotedIp[9], kIpProtocolIcmp);
        EXPECT_EQ((Bytes(quotedIp + 16, quotedIp + 20)), (Bytes{10, 77, 0, 2}));
        const auto quoted = IcmpAfterIpv4Header(
            {unreachable.data() + kIcmpErrorHeaderSize, unreachable.size() - kIcmpErrorHeaderSize});
        ASSERT_GE(quoted.size(), 8u);
        EXPECT_EQ((Bytes(quoted.begin(), quoted.begin() + 8)),
                  (Bytes(request.begin(), request.begin() + 8)));
        EXPECT_EQ(from, kOwn) << from.Dotted();
        ::system("ip neigh flush dev zv0");
    }
}

TEST_F(SystemIcmp, withoutPingSocketsTheRawSocketSaysWhyAndShowsTheSameReply)
{
    SetPingRange("1 0");
    IcmpSocketOpen open = Open(0x51, 0x61);
    ASSERT_TRUE(open.socket) << open.detail;
    EXPECT_EQ(open.path, IcmpPath::OwnRaw);
    EXPECT_NE(open.detail.find("ping_group_range is 1 0"), std::string::npos) << open.detail;
    const Bytes request = EchoRequestBytes(0x51, 0x61, 0);
    int error = 0;
    ASSERT_EQ(open.socket->Send(kLoopback, 5005, request, 2000, error), IoStatus::Ok);
    Ipv4Address from;
    const Bytes reply = Next(*open.socket, 0, &from);
    ASSERT_EQ(reply.size(), request.size()) << "the IPv4 header is not left out";
    EXPECT_EQ(from, kLoopback);
    EXPECT_EQ(Bytes(reply.begin() + 4, reply.end()), Bytes(request.begin() + 4, request.end()));
}

TEST_F(SystemIcmp, theLimitedBroadcastNeedsItsOptionAndLeavesThroughTheGivenCard)
{
    const Ipv4Address broadcast{0xFFFFFFFFu};
    const Bytes request = EchoRequestBytes(0x71, 0x81, 0);
    int error = 0;
    IcmpSocketOpen plain = Open(0x71, 0x81, false, kOwn);
    ASSERT_TRUE(plain.socket);
    EXPECT_EQ(plain.socket->Send(broadcast, 5005, request, 2000, error), IoStatus::Failed);
    EXPECT_EQ(error, EACCES);
    plain.socket.reset();
    IcmpSocketOpen open = Open(0x71, 0x81, true, kOwn);
    ASSERT_TRUE(open.socket);
    EXPECT_EQ(open.socket->Send(broadcast, 5005, request, 2000, error), IoStatus::Ok) << error;
    // No route leads to the broadcast: only the card named by its address does.
    IcmpSocketOpen routed = Open(0x71, 0x82, true);
    ASSERT_TRUE(routed.socket);
    EXPECT_EQ(routed.socket->Send(broadcast, 5005, request, 2000, error), IoStatus::Failed);
}

} // namespace
} // namespace zelvo
