// The name lookups against responders on the loopback, inside a network namespace of the
// test's own: nothing can leave it and no DNS server is reachable.
#include "platform/NameLookups.h"
#include "platform/NetbiosNodeStatus.h"
#include "platform/UniqueFd.h"

#include "PrivateNetwork.h"
#include "WireBuilders.h"

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

namespace zelvo {
namespace {

using Replies = std::vector<std::vector<uint8_t>>;
using Clock = std::chrono::steady_clock;
const Ipv4Address kLoopback = Ipv4Address::FromOctets(127, 0, 0, 1);

UniqueFd BoundUdp(uint16_t& port)
{
    UniqueFd fd(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    sockaddr_in at{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
    ::bind(fd.Get(), reinterpret_cast<sockaddr*>(&at), sizeof at);
    socklen_t length = sizeof at;
    ::getsockname(fd.Get(), reinterpret_cast<sockaddr*>(&at), &length);
    port = ntohs(at.sin_port);
    return fd;
}

uint16_t ClosedPort()
{
    uint16_t port = 0;
    BoundUdp(port); // closed again at once
    return port;
}

// Answers the n-th question (from 0) with what answer returns for it.
class Responder
{
public:
    using Answer = std::function<Replies(uint16_t id, int n)>;
    explicit Responder(Answer answer) : m_fd(BoundUdp(port))
    {
        m_thread = std::thread([this, answer] {
            while (!m_stop) {
                pollfd p{m_fd.Get(), POLLIN, 0};
                uint8_t q[512];
                sockaddr_in from{};
                socklen_t length = sizeof from;
                if (::poll(&p, 1, 20) != 1 ||
                    ::recvfrom(m_fd.Get(), q, sizeof q, 0, reinterpret_cast<sockaddr*>(&from),
                               &length) < 2)
                    continue;
                const int n = questions++; // counted before the answer can be seen
                for (const auto& r : answer(static_cast<uint16_t>(q[0] << 8 | q[1]), n))
                    ::sendto(m_fd.Get(), r.data(), r.size(), 0, reinterpret_cast<sockaddr*>(&from),
                             length);
            }
        });
    }
    ~Responder()
    {
        m_stop = true;
        m_thread.join();
    }
    uint16_t port = 0;
    std::atomic<int> questions{0};

private:
    UniqueFd m_fd;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

std::vector<uint8_t> NodeStatus(uint16_t id, const std::string& name)
{
    test::NodeStatusShape shape;
    shape.id = id;
    return test::NodeStatusReply({{"WORKGROUP", 0x00, 0x8400}, {name, 0x00, 0x0400}}, shape);
}

class NameLookupsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!test::PrivateNetworkProblem().empty())
            GTEST_SKIP() << test::PrivateNetworkProblem();
    }
};

TEST_F(NameLookupsTest, netbiosSkipsOtherAnswersAndAsksAgainAtHalfTime)
{
    // The first question is lost; the second gets garbage, another id's answer, then ours.
    Responder nmbd([](uint16_t id, int n) {
        return n == 0 ? Replies{}
                      : Replies{{1, 2, 3}, NodeStatus(id ^ 1, "WRONG"), NodeStatus(id, "NAS03")};
    });
    LinuxNameLookups lookups(nmbd.port, ClosedPort());
    const auto start = Clock::now();
    EXPECT_EQ(lookups.NetbiosName(kLoopback, 800), "NAS03");
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(350));
    EXPECT_EQ(nmbd.questions, 2);
}

TEST_F(NameLookupsTest, silenceCostsTheTimeOutAndAClosedPortNothing)
{
    Responder silent([](uint16_t, int) { return Replies{}; });
    auto start = Clock::now();
    EXPECT_EQ(LinuxNameLookups(silent.port, silent.port).NetbiosName(kLoopback, 600), std::nullopt);
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(550));
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(1500));

    LinuxNameLookups nobody(ClosedPort(), ClosedPort());
    start = Clock::now();
    EXPECT_EQ(nobody.NetbiosName(kLoopback, 3000), std::nullopt);
    EXPECT_EQ(nobody.MdnsName(kLoopback, 3000), std::nullopt);
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(1000)) << "port unreachable ends it";
}

TEST_F(NameLookupsTest, mdnsAsksThePtrOfTheAddress)
{
    Responder avahi([](uint16_t id, int) {
        test::Bytes b;
        b.Be16(id).Be16(0x8400).Be16(1).Be16(1).Be16(0).Be16(0);
        b.Name("1.0.0.127.in-addr.arpa").Be16(12).Be16(1);
        b.Pointer(12).Be16(12).Be16(0x8001).Be32(10).Be16(13).Name("nas04.local");
        return Replies{b.data};
    });
    EXPECT_EQ(LinuxNameLookups(ClosedPort(), avahi.port).MdnsName(kLoopback, 1000), "nas04");
}

TEST_F(NameLookupsTest, resolverNamesFromTheHostsFile)
{
    LinuxNameLookups lookups;
    EXPECT_NE(lookups.ResolverName(kLoopback, 2000).value_or(""), "");
    EXPECT_EQ(lookups.ResolverName(Ipv4Address::FromOctets(127, 77, 12, 34), 2000), std::nullopt);
}

} // namespace
} // namespace zelvo
