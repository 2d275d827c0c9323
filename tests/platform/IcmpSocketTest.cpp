// The system's ICMP sockets in a network namespace of this test's own (root only): the
// ping socket where the system admits our group, else the raw socket, with one view of
// the requests, the replies and the ICMP errors about the requests.
#include "platform/IcmpSocket.h"
#include "platform/IcmpMessage.h"
#include "support/InternetChecksum.h"
#include "support/OutcomeValue.h"

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

// An echo request as the tool lays it out, with a checksum of its own (RFC 1071).
Bytes EchoRequest(uint8_t id0, uint8_t id1, uint8_t sequence)
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
        // A card whose peer has no address: ARP for 10.77.0.2 fails after one try.
        if (::geteuid() != 0 || ::unshare(CLONE_NEWNET) != 0)
            s_why = "a network namespace of our own needs root";
        else if (std::system("ip link set lo up && ip link add zv0 type veth peer name zv1 && "
                             "ip addr add 10.77.0.1/24 dev zv0 && ip link set zv0 up && "
                             "ip link set zv1 up && sysctl -qw net.ipv4.neigh.zv0.mcast_solicit=1 "
                             "net.ipv4.neigh.zv0.ucast_solicit=1 net.ipv4.neigh.zv0.app_solicit=0 "
                             "net.ipv4.neigh.zv0.retrans_time_ms=200") != 0)
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
    static std::optional<WaitEnd> Send(IcmpSocket& socket, Ipv4Address to, const Bytes& request)
    {
        return test::ValueOf(socket.Send(to, 5005, request, 2000));
    }
    // The next message of type wanted within 3 s, or empty.
    static Bytes Next(IcmpSocket& socket, uint8_t wanted, Ipv4Address* source = nullptr)
    {
        uint8_t buffer[1024];
        for (int i = 0; i < 20; ++i) {
            IcmpArrival arrival;
            if (!IsReady(socket.Receive(buffer, arrival, 3000, nullptr)))
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

TEST_F(SystemIcmp, bothPathsSendTheRequestAsBuiltAndShowRepliesAndErrorsQuotingIt)
{
    for (const char* range : {"0 0", "1 0"}) {
        SCOPED_TRACE(range);
        SetPingRange(range);
        const bool ping = range[0] == '0';
        UniqueFd wire(::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP)); // sees requests
        IcmpSocketOpen open = Open(0x31, 0x41);
        IcmpSocketOpen second = Open(0x31, 0x41); // a ping socket: the kernel picks another id
        ASSERT_TRUE(wire.Valid() && open.socket && second.socket) << open.detail;
        EXPECT_EQ(open.path, ping ? IcmpPath::Ping : IcmpPath::OwnRaw);
        EXPECT_EQ(open.detail.find("ping_group_range is 1 0") != std::string::npos, !ping)
            << open.detail;
        const Bytes request = EchoRequest(0x31, 0x41, 1);
        ASSERT_EQ(Send(*open.socket, kLoopback, request), WaitEnd::Ready);
        uint8_t datagram[256];
        const ssize_t n = ::recv(wire.Get(), datagram, sizeof datagram, 0);
        const auto seen = IcmpAfterIpv4Header({datagram, std::size_t(std::max<ssize_t>(n, 0))});
        EXPECT_EQ(Bytes(seen.begin(), seen.end()), request) << "the kernel changed the request";
        Ipv4Address from;
        const Bytes reply = Next(*open.socket, 0, &from);
        ASSERT_EQ(reply.size(), request.size()) << "the IPv4 header is not left out";
        EXPECT_EQ(Bytes(reply.begin() + 4, reply.end()), Bytes(request.begin() + 4, request.end()));
        EXPECT_EQ(from, kLoopback);
        if (ping) {
            ASSERT_EQ(Send(*second.socket, kLoopback, EchoRequest(0x31, 0x41, 2)), WaitEnd::Ready);
            const Bytes b = Next(*second.socket, 0);
            EXPECT_TRUE(b.size() == request.size() && b[6] == 2);
        }

        ASSERT_EQ(Send(*open.socket, Ipv4Address::FromOctets(10, 77, 0, 2), request),
                  WaitEnd::Ready);
        const Bytes unreachable = Next(*open.socket, 3, &from);
        ASSERT_GE(unreachable.size(), kIcmpErrorHeaderSize + kQuotedIpv4HeaderSize + 8);
        EXPECT_EQ(unreachable[1], 1) << "host unreachable";
        const uint8_t* quotedIp = unreachable.data() + kIcmpErrorHeaderSize;
        EXPECT_EQ(quotedIp[9], kIpProtocolIcmp);
        EXPECT_EQ((Bytes(quotedIp + 16, quotedIp + 20)), (Bytes{10, 77, 0, 2}));
        const auto quoted = IcmpAfterIpv4Header(
            {unreachable.data() + kIcmpErrorHeaderSize, unreachable.size() - kIcmpErrorHeaderSize});
        ASSERT_GE(quoted.size(), 8u);
        EXPECT_EQ(Bytes(quoted.begin(), quoted.begin() + 8),
                  Bytes(request.begin(), request.begin() + 8));
        EXPECT_EQ(from, kOwn) << from.Dotted();
        ASSERT_EQ(std::system("ip neigh flush dev zv0"), 0);
    }
}

TEST_F(SystemIcmp, theLimitedBroadcastNeedsItsOptionAndLeavesThroughTheGivenCard)
{
    const Ipv4Address broadcast{0xFFFFFFFFu};
    const Bytes request = EchoRequest(0x71, 0x81, 0);
    IcmpSocketOpen plain = Open(0x71, 0x81, false, kOwn);
    ASSERT_TRUE(plain.socket);
    EXPECT_EQ(plain.socket->Send(broadcast, 5005, request, 2000).Code(), EACCES);
    plain.socket.reset();
    IcmpSocketOpen open = Open(0x71, 0x81, true, kOwn);
    ASSERT_TRUE(open.socket);
    EXPECT_EQ(Send(*open.socket, broadcast, request), WaitEnd::Ready);
    // No route leads to the broadcast: only the card named by its address does.
    IcmpSocketOpen routed = Open(0x71, 0x82, true);
    ASSERT_TRUE(routed.socket);
    EXPECT_EQ(Send(*routed.socket, broadcast, request), std::nullopt);
}

} // namespace
} // namespace zelvo
