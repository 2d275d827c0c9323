#include "platform/CapturedCommand.h"
#include "platform/HostPlatform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <unistd.h>

namespace zelvo {
namespace {

// The machine's own answers, read without sending anything: every Linux system has a
// kernel release, a loopback link and TCP.
TEST(LinuxHostPlatform, readsThisMachine)
{
    HostPlatform& platform = SystemHostPlatform();
    const auto release = platform.ReadOsRelease();
    ASSERT_TRUE(release.has_value());
    EXPECT_EQ(release->systemName, "Linux");
    EXPECT_FALSE(release->release.empty());
    EXPECT_TRUE(platform.TcpAvailable());
    char name[256] = {};
    ASSERT_EQ(gethostname(name, sizeof name - 1), 0);
    EXPECT_EQ(platform.HostName().value_or(""), name);
    EXPECT_TRUE(platform.NetworkInfoAvailable());

    const HostNetworkState state = platform.ReadNetworkState();
    ASSERT_EQ(state.errorCode, 0);
    const auto lo = std::find_if(state.interfaces.begin(), state.interfaces.end(),
                                 [](const HostInterface& l) { return l.loopback; });
    ASSERT_NE(lo, state.interfaces.end());
    EXPECT_EQ(lo->name, "lo");
    ASSERT_FALSE(lo->addresses.empty());
    EXPECT_EQ(lo->addresses[0].addressNbo, htonl(0x7F000001u));
    EXPECT_EQ(lo->addresses[0].prefixLength, 8);
    EXPECT_TRUE(lo->addresses[0].permanent);
    EXPECT_TRUE(std::is_sorted(
        state.interfaces.begin(), state.interfaces.end(),
        [](const HostInterface& a, const HostInterface& b) { return a.index < b.index; }));
}

TEST(RunAndCapture, collectsOutputAndExitStatus)
{
    const auto out =
        RunAndCapture({"sh", "-c", "printf 'a b\\n'; echo err >&2; exit 3"}, 5000, 100);
    ASSERT_TRUE(out.has_value());
    EXPECT_EQ(out->standardOutput, "a b\n");
    EXPECT_EQ(out->exitStatus, 3);

    const auto locale = RunAndCapture({"sh", "-c", "echo $LC_ALL"}, 5000, 100);
    ASSERT_TRUE(locale.has_value());
    EXPECT_EQ(locale->standardOutput, "C\n");
}

TEST(RunAndCapture, cutsOutputAndKillsLateCommands)
{
    const auto cut = RunAndCapture({"sh", "-c", "yes | head -c 100000"}, 5000, 10);
    ASSERT_TRUE(cut.has_value());
    EXPECT_EQ(cut->standardOutput, "y\ny\ny\ny\ny\n");

    const auto start = std::chrono::steady_clock::now();
    const auto late = RunAndCapture({"sleep", "30"}, 200, 100);
    const auto took = std::chrono::steady_clock::now() - start;
    ASSERT_TRUE(late.has_value());
    EXPECT_EQ(late->exitStatus, -1);
    EXPECT_LT(took, std::chrono::seconds(5));

    EXPECT_FALSE(RunAndCapture({"zelvo-no-such-command"}, 1000, 100).has_value());
    EXPECT_FALSE(RunAndCapture({}, 1000, 100).has_value());
}

} // namespace
} // namespace zelvo
