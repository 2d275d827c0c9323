// The tool's application (ScriptedTool.cpp) as processes, each in a network namespace of
// its own so that it cannot reach a real network.
#include "platform/Files.h"
#include "support/ChildProcess.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace zelvo {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using test::ChildProcess;

class StartProcessTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        std::string why;
        auto prefix = test::IsolatedNetworkPrefix(&why);
        if (!prefix)
            GTEST_SKIP() << "skipped: " << why;
        m_prefix = *prefix;
        std::string dir = (fs::temp_directory_path() / "zelvo-start-XXXXXX").string();
        ASSERT_NE(::mkdtemp(dir.data()), nullptr);
        fs::create_directories((m_dir = dir) / "run");
    }
    void TearDown() override
    {
        if (!m_dir.empty())
            fs::remove_all(m_dir);
    }

    void PlaceTool(const fs::path& folder)
    {
        fs::create_directories(folder);
        fs::copy_file(ZELVO_TOOL_PATH, folder / "ZelvoSetup", fs::copy_options::overwrite_existing);
        m_toolDir = folder;
        std::ofstream(folder / "manager.ini")
            << "\"/index.html\"\"/c.html\"\"/r.html\"\"/f.html\"\"/config\"\"/firmware\"";
    }
    std::string Log() const
    {
        return ReadSmallFile((m_toolDir / "manager.log").string(), 1 << 20).value_or("");
    }
    bool Start(ChildProcess& child, const std::vector<std::string>& args = {})
    {
        std::vector<std::string> argv = m_prefix;
        argv.push_back((m_toolDir / "ZelvoSetup").string());
        argv.insert(argv.end(), args.begin(), args.end());
        return child.Start(
            argv, {"QT_QPA_PLATFORM=offscreen", "XDG_RUNTIME_DIR=" + (m_dir / "run").string()},
            (m_dir / "output.txt").string());
    }
    // Starts the tool; false when it ended before its survey did.
    bool StartRunning(ChildProcess& child)
    {
        const auto surveyed = [&] {
            return Log().find("<<< Close to retrieve your PC") != std::string::npos ||
                   !child.Running();
        };
        const bool running = Start(child) && test::WaitUntil(60s, surveyed) && child.Running();
        if (!running)
            ADD_FAILURE() << ReadSmallFile((m_dir / "output.txt").string(), 4096).value_or("");
        return running;
    }

    std::vector<std::string> m_prefix;
    fs::path m_dir, m_toolDir;
};

// A second start ends at once and leaves the first (and its log) alone; a killed first
// instance releases the guard. A release unpacked as ZelvoSetup-1.0/ZelvoSetup, or a clone
// called ZelvoSetup: the files beside the executable count, never a folder above it.
TEST_F(StartProcessTest, oneInstanceAtATimeWithTheFilesBesideIt)
{
    PlaceTool(m_dir / "ZelvoSetup-1.0");
    ChildProcess first, second, third;
    ASSERT_TRUE(StartRunning(first));
    const std::string logOfFirst = Log();
    ASSERT_TRUE(Start(second, {"/set"}));
    EXPECT_EQ(second.WaitFor(10s), 0) << "a second start must end at once with status 0";
    EXPECT_TRUE(first.Running());
    EXPECT_EQ(Log().substr(0, logOfFirst.size()), logOfFirst);
    first.Kill(SIGKILL);
    ASSERT_TRUE(first.WaitFor(10s).has_value());

    PlaceTool(m_dir / "ZelvoSetup/bin");
    EXPECT_TRUE(StartRunning(third));
    third.Kill(SIGTERM);
    third.WaitFor(10s);
    EXPECT_FALSE(fs::exists(m_dir / "manager.log") || fs::exists(m_dir / "ZelvoSetup/manager.log"));
}

// A lock file of another account: the tool starts unguarded and logs why.
TEST_F(StartProcessTest, aForeignLockFileLeavesTheToolRunningUnguarded)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "skipped: giving the lock file to another account needs root";
    PlaceTool(m_dir);
    const fs::path lock = m_dir / "run" / "PreventSecondInstanceForQuorvane.lock";
    std::ofstream(lock) << "";
    ASSERT_EQ(::chown(lock.c_str(), 65534, 65534), 0);
    ChildProcess tool;
    ASSERT_TRUE(StartRunning(tool));
    EXPECT_TRUE(test::WaitUntil(10s, [&] {
        return Log().find(" Single instance guard off : the lock file " + lock.string() +
                          " belongs to uid 65534") != std::string::npos;
    })) << Log();
    tool.Kill(SIGTERM);
    tool.WaitFor(10s);
}

} // namespace
} // namespace zelvo
