// The lookups against the loopback: UDP ports that stay silent or are closed, and the
// resolver's own thread, which must not keep the caller waiting.
#include "platform/NameLookups.h"
#include "support/LoopbackSocket.h"

#include <gtest/gtest.h>

#include <chrono>

namespace zelvo {
namespace {

using Clock = std::chrono::steady_clock;
const Ipv4Address kLoopback = Ipv4Address::FromOctets(127, 0, 0, 1);

TEST(NameLookups, silenceCostsTheTimeOutAClosedPortNothingTheResolverItsOwnThread)
{
    uint16_t silent = 0, closed = 0;
    const UniqueFd listener = test::LoopbackSocket(SOCK_DGRAM | SOCK_NONBLOCK, silent);
    test::LoopbackSocket(SOCK_DGRAM, closed); // closed again at once
    for (const bool netbios : {true, false}) {
        LinuxNameLookups lookups(silent, silent);
        auto start = Clock::now();
        EXPECT_EQ(netbios ? lookups.NetbiosName(kLoopback, 600) : lookups.MdnsName(kLoopback, 600),
                  std::nullopt);
        EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(590));
        EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(1500));
        int questions = 0; // the question, and once more at half time as datagrams get lost
        for (uint8_t q[512]; ::recv(listener.Get(), q, sizeof q, 0) > 0;)
            ++questions;
        EXPECT_EQ(questions, 2) << netbios;

        LinuxNameLookups nobody(closed, closed);
        start = Clock::now();
        EXPECT_EQ(netbios ? nobody.NetbiosName(kLoopback, 3000) : nobody.MdnsName(kLoopback, 3000),
                  std::nullopt);
        EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(1000)) << "port unreachable";
    }
    EXPECT_NE(LinuxNameLookups().ResolverName(kLoopback, 2000).value_or(""), ""); // hosts file
}

} // namespace
} // namespace zelvo
