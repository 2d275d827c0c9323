// The search end to end: the real window and search in a lab while name servers answer late.
// The case ends with a clear result, a usable window, and no hang.
#include "support/LabWindow.h"
#include "support/WaitUntil.h"

#include <chrono>
#include <filesystem>
#include <unistd.h>

namespace zelvo::faults {
namespace {

using namespace zelvo::test;
using Names = std::vector<std::string>;

// Starts the late-answering name server in a unit and waits until it listens.
bool StartSlowNameServer(const std::string& unit, int delayMs, const std::string& name)
{
    const std::string ready = "/tmp/zelvo-slow-ns-" + unit + "-" + std::to_string(::getpid());
    std::filesystem::remove(ready);
    if (Lab("unit-exec " + unit + " -- " + ExeDirectory() + "/zelvo_slow_name_server " +
            std::to_string(delayMs) + " " + name + " " + ready + " >/dev/null 2>&1 &") != 0)
        return false;
    const bool up =
        WaitUntil(std::chrono::seconds(5), [&] { return std::filesystem::exists(ready); });
    std::filesystem::remove(ready);
    return up;
}

// NAS06's name server answers after 400 ms (inside the tool's NetBIOS wait), NAS07's after
// 2500 ms (after the tool gave up and asked the resolver and mDNS, which know nothing): the
// late answer must name neither NAS07 nor any other unit.
TEST(FaultsSearch, lateNameServersNameOnlyTheirOwnUnitsAndOnlyInTime)
{
    ZELVO_REQUIRE_LAB();
    ASSERT_TRUE(StartSlowNameServer("NAS06", 400, "SLOW06"));
    ASSERT_TRUE(StartSlowNameServer("NAS07", 2500, "LATE07"));
    ASSERT_TRUE(ForgetNeighbours({"NAS01", "NAS02", "NAS06", "NAS07"}));
    LabWindow w;
    ASSERT_TRUE(w.Start());
    EXPECT_EQ(w.ListedNames(), (Names{"NAS01", "NAS02", "SLOW06"}));
    // Search again: both are now probed directly first; the same names, the same gap.
    ASSERT_TRUE(w.Search());
    EXPECT_EQ(w.ListedNames(), (Names{"NAS01", "NAS02", "SLOW06"}));
    EXPECT_TRUE(w.Usable());
    EXPECT_NE(ManagerLog().find(" : 010.231.007.027 - 02.5a.e1.40.00.07\r\n"), std::string::npos)
        << "NAS07 was not even seen";
}

} // namespace
} // namespace zelvo::faults
