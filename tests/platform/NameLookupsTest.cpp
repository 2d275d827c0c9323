// The name lookups against responders on the loopback, inside a network namespace of the
// test's own (nothing can leave it, the resolver cannot reach a DNS server).
#include "platform/NameLookups.h"
#include "platform/MdnsReverse.h"
#include "platform/NetbiosNodeStatus.h"

#include "LoopbackResponder.h"
#include "PrivateNetwork.h"
#include "WireBuilders.h"

#include <netinet/in.h>
#include <sys/socket.h>

#include <gtest/gtest.h>

#include <chrono>

namespace zelvo {
namespace {

using test::Bytes;
using test::LoopbackResponder;
using Replies = std::vector<std::vector<uint8_t>>;

const Ipv4Address kLoopback = Ipv4Address::FromOctets(127, 0, 0, 1);

class NameLookupsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!test::PrivateNetworkProblem().empty())
            GTEST_SKIP() << "no private network namespace: " << test::PrivateNetworkProblem();
    }
};

uint16_t IdOf(const std::vector<uint8_t>& question)
{
    return question.size() >= 2 ? static_cast<uint16_t>((question[0] << 8) | question[1]) : 0;
}

std::vector<uint8_t> NasReply(uint16_t id, const std::string& name)
{
    test::NodeStatusShape shape;
    shape.id = id;
    return test::NodeStatusReply({{"WORKGROUP", 0x00, 0x8400}, {name, 0x00, 0x0400}}, shape);
}

int64_t ElapsedMs(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 since)
        .count();
}

// A port on the loopback where nobody listens.
uint16_t ClosedPort()
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&at), sizeof at);
    socklen_t length = sizeof at;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&at), &length);
    ::close(fd);
    return ntohs(at.sin_port);
}

TEST_F(NameLookupsTest, netbiosAsksNodeStatusAndReadsTheName)
{
    LoopbackResponder nmbd(
        [](const std::vector<uint8_t>& q, int) { return Replies{NasReply(IdOf(q), "NAS01")}; });
    LinuxNameLookups lookups(nmbd.Port(), ClosedPort());
    EXPECT_EQ(lookups.NetbiosName(kLoopback, 1000), "NAS01");
    const auto questions = nmbd.Questions();
    ASSERT_EQ(questions.size(), 1u);
    const auto expected = BuildNodeStatusRequest(IdOf(questions[0]));
    EXPECT_EQ(questions[0], std::vector<uint8_t>(expected.begin(), expected.end()));
}

TEST_F(NameLookupsTest, answersToOtherQuestionsAndGarbageAreSkipped)
{
    LoopbackResponder nmbd([](const std::vector<uint8_t>& q, int) {
        const uint16_t id = IdOf(q);
        return Replies{{0x01, 0x02, 0x03},
                       NasReply(static_cast<uint16_t>(id + 1), "WRONG"),
                       NasReply(id, "NAS02")};
    });
    LinuxNameLookups lookups(nmbd.Port(), ClosedPort());
    EXPECT_EQ(lookups.NetbiosName(kLoopback, 1000), "NAS02");
}

TEST_F(NameLookupsTest, aLostQuestionIsAskedAgainAtHalfTime)
{
    LoopbackResponder nmbd([](const std::vector<uint8_t>& q, int index) {
        return index == 0 ? Replies{} : Replies{NasReply(IdOf(q), "NAS03")};
    });
    LinuxNameLookups lookups(nmbd.Port(), ClosedPort());
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(lookups.NetbiosName(kLoopback, 800), "NAS03");
    EXPECT_GE(ElapsedMs(start), 350);
    EXPECT_EQ(nmbd.Questions().size(), 2u);
}

TEST_F(NameLookupsTest, silenceCostsTheTimeOutAndAClosedPortNothing)
{
    LoopbackResponder silent([](const std::vector<uint8_t>&, int) { return Replies{}; });
    LinuxNameLookups lookups(silent.Port(), ClosedPort());
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(lookups.NetbiosName(kLoopback, 600), std::nullopt);
    const int64_t silentMs = ElapsedMs(start);
    EXPECT_GE(silentMs, 550);
    EXPECT_LT(silentMs, 1500);

    LinuxNameLookups nobody(ClosedPort(), ClosedPort());
    start = std::chrono::steady_clock::now();
    EXPECT_EQ(nobody.NetbiosName(kLoopback, 3000), std::nullopt);
    EXPECT_EQ(nobody.MdnsName(kLoopback, 3000), std::nullopt);
    EXPECT_LT(ElapsedMs(start), 1000) << "port unreachable should end the wait";
}

TEST_F(NameLookupsTest, mdnsAsksThePtrOfTheAddress)
{
    LoopbackResponder avahi([](const std::vector<uint8_t>& q, int) {
        Bytes b;
        b.Be16(IdOf(q)).Be16(0x8400).Be16(1).Be16(1).Be16(0).Be16(0);
        b.Name("1.0.0.127.in-addr.arpa").Be16(12).Be16(1);
        b.Pointer(12).Be16(12).Be16(0x8001).Be32(10).Be16(13).Name("nas04.local");
        return Replies{b.data};
    });
    LinuxNameLookups lookups(ClosedPort(), avahi.Port());
    EXPECT_EQ(lookups.MdnsName(kLoopback, 1000), "nas04");
    const auto questions = avahi.Questions();
    ASSERT_FALSE(questions.empty());
    EXPECT_EQ(questions[0], BuildMdnsPtrQuery(IdOf(questions[0]), kLoopback));
}

TEST_F(NameLookupsTest, resolverNamesFromTheHostsFileOnly)
{
    LinuxNameLookups lookups;
    // /etc/hosts names the loopback; no DNS server is reachable from this namespace.
    const auto name = lookups.ResolverName(kLoopback, 2000);
    ASSERT_TRUE(name.has_value());
    EXPECT_FALSE(name->empty());
    EXPECT_EQ(lookups.ResolverName(Ipv4Address::FromOctets(127, 77, 12, 34), 2000), std::nullopt);
}

} // namespace
} // namespace zelvo
