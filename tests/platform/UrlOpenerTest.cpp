// The opener that hands help and unit pages to the desktop: the URL reaches the
// program as one argument, untouched by any shell, and the finished child is reaped.
#include "platform/UrlOpener.h"
#include "support/WaitUntil.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace zelvo;

namespace {

// This thread's children, ended or not: a child never waited for stays listed.
std::string Children()
{
    const std::string self = std::to_string(gettid());
    std::ifstream file("/proc/self/task/" + self + "/children");
    EXPECT_TRUE(file.is_open());
    std::string pids;
    std::getline(file, pids);
    return pids;
}

} // namespace

TEST(UrlOpener, urlReachesTheProgramAsOneArgumentAndAMissingProgramIsReported)
{
    const fs::path dir = fs::temp_directory_path() / ("zelvo-opener-" + std::to_string(getpid()));
    for (const char* name : {"a b;c", "x$(touch pwned)y", "q'u\"o&te", "p|w`touch pwned`"}) {
        fs::remove_all(dir);
        ASSERT_TRUE(fs::create_directory(dir));
        SpawnUrlOpener opener("touch");
        ASSERT_TRUE(opener.Open((dir / name).string()));
        EXPECT_TRUE(test::Eventually([&] { return fs::exists(dir / name); })) << name;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        // Only the one file: nothing was split or run.
        EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1) << name;
        EXPECT_FALSE(fs::exists("pwned"));
    }
    fs::remove_all(dir);
    EXPECT_FALSE(SpawnUrlOpener("/nonexistent/zelvo-opener").Open("file:///tmp/x.html"));
}

TEST(UrlOpener, finishedChildrenAreReaped)
{
    SpawnUrlOpener opener("true");
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(opener.Open("file:///tmp/x.html"));
    ASSERT_TRUE(SpawnUrlOpener("sleep").Open("0.3"));
    EXPECT_FALSE(Children().empty()); // the sleeper at least is listed
    EXPECT_TRUE(test::Eventually([] { return Children().empty(); })) << Children();
}
