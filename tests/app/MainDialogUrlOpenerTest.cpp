// The opener that hands help and unit pages to the desktop: the URL reaches the
// program as one argument, untouched by any shell, and the finished child is reaped.
#include "platform/UrlOpener.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace zelvo;

namespace {

bool WaitFor(const std::function<bool()>& condition, int timeoutMs = 5000)
{
    for (int waited = 0; waited < timeoutMs; waited += 20) {
        if (condition())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return condition();
}

// Children of this process that have ended but were never waited for.
int ZombieChildren()
{
    int zombies = 0;
    const std::string self = std::to_string(getpid());
    for (const fs::directory_entry& entry : fs::directory_iterator("/proc")) {
        std::ifstream stat(entry.path() / "stat");
        std::string line;
        if (!stat || !std::getline(stat, line))
            continue;
        // pid (comm) state ppid ...: the command name may hold spaces, so read after ')'.
        const std::size_t close = line.rfind(')');
        if (close == std::string::npos)
            continue;
        std::istringstream fields(line.substr(close + 1));
        std::string state, ppid;
        fields >> state >> ppid;
        if (state == "Z" && ppid == self)
            ++zombies;
    }
    return zombies;
}

struct TempDir
{
    fs::path path;
    TempDir()
    {
        std::string pattern = (fs::temp_directory_path() / "zelvo-opener-XXXXXX").string();
        path = mkdtemp(pattern.data()) ? fs::path(pattern) : fs::path();
    }
    ~TempDir()
    {
        std::error_code ignored;
        fs::remove_all(path, ignored);
    }
};

class UrlArgument : public testing::TestWithParam<const char*>
{
};

} // namespace

TEST_P(UrlArgument, reachesTheProgramAsOneArgument)
{
    TempDir dir;
    ASSERT_FALSE(dir.path.empty());
    const fs::path target = dir.path / GetParam();
    SpawnUrlOpener opener("touch");
    ASSERT_TRUE(opener.Open(target.string()));
    EXPECT_TRUE(WaitFor([&] { return fs::exists(target); }));
    // Only the one file: nothing was split or run.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    int files = 0;
    for (const auto& entry : fs::directory_iterator(dir.path)) {
        (void)entry;
        ++files;
    }
    EXPECT_EQ(files, 1);
    EXPECT_FALSE(fs::exists("pwned"));
}

INSTANTIATE_TEST_SUITE_P(Names, UrlArgument,
                         testing::Values("a b;c", "x$(touch pwned)y", "q'u\"o&te",
                                         "p|w`touch pwned`"));

TEST(UrlOpener, missingProgramIsReported)
{
    SpawnUrlOpener opener("/nonexistent/zelvo-opener");
    EXPECT_FALSE(opener.Open("file:///tmp/x.html"));
}

TEST(UrlOpener, finishedChildrenAreReaped)
{
    SpawnUrlOpener opener("true");
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(opener.Open("file:///tmp/x.html"));
    // Give the children time to end, then none may be left unwaited.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_TRUE(WaitFor([] { return ZombieChildren() == 0; }));
}
