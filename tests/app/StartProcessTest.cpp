// Starts the tool's application as a process (the scripted tool, ScriptedTool.cpp), each in
// a network namespace of its own so that it cannot send anything to a real network.
#include "core/MessageCatalogue.h"
#include "core/UiLanguage.h"
#include "platform/Files.h"
#include "support/ChildProcess.h"
#include "support/ScriptedMessageBoxes.h"

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

const char* kSixValues = "\"/index.html\"\"/c.html\"\"/r.html\"\"/f.html\"\"/config\"\"/firmware\"";

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
        m_dir = fs::temp_directory_path() /
                ("zelvo-start-" + std::to_string(::getpid()) + "-" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(m_dir);
        fs::create_directories(m_dir / "run");
        m_toolDir = m_dir;
    }
    void TearDown() override
    {
        if (!m_dir.empty())
            fs::remove_all(m_dir);
    }

    // The executable in `folder`, below the test's directory, with manager.ini beside it.
    void PlaceTool(const fs::path& folder, const std::string& ini = kSixValues)
    {
        fs::create_directories(folder);
        fs::copy_file(ZELVO_TOOL_PATH, folder / "ZelvoSetup", fs::copy_options::overwrite_existing);
        m_toolDir = folder;
        if (!ini.empty())
            std::ofstream(folder / "manager.ini") << ini;
    }
    std::string Log() const
    {
        return ReadSmallFile((m_toolDir / "manager.log").string(), 1 << 20).value_or("");
    }
    std::string Output() const
    {
        return ReadSmallFile((m_dir / "output.txt").string(), 4096).value_or("");
    }
    std::string Transcript() const { return (m_dir / "boxes.txt").string(); }
    bool Start(ChildProcess& child, const std::vector<std::string>& args = {})
    {
        std::vector<std::string> argv = m_prefix;
        argv.push_back((m_toolDir / "ZelvoSetup").string());
        argv.insert(argv.end(), args.begin(), args.end());
        return child.Start(argv,
                           {"QT_QPA_PLATFORM=offscreen",
                            "XDG_RUNTIME_DIR=" + (m_dir / "run").string(),
                            "ZELVO_MESSAGE_TRANSCRIPT=" + Transcript()},
                           (m_dir / "output.txt").string());
    }
    // Starts the tool and waits until its survey has ended; false when it ended instead.
    bool StartRunning(ChildProcess& child, const std::vector<std::string>& args = {})
    {
        return Start(child, args) &&
               test::WaitUntil(60s,
                               [&] {
                                   return Log().find("<<< Close to retrieve your PC") !=
                                              std::string::npos ||
                                          !child.Running();
                               }) &&
               child.Running();
    }

    std::vector<std::string> m_prefix;
    fs::path m_dir;
    fs::path m_toolDir; // where the executable, manager.ini and manager.log are
};

// A second start ends at once and leaves the first (and its log) alone; a killed first
// instance releases the guard. A release unpacked as ZelvoSetup-1.0/ZelvoSetup, or a clone
// called ZelvoSetup: the files beside the executable count, never a folder above it.
TEST_F(StartProcessTest, oneInstanceAtATimeWithTheFilesBesideIt)
{
    PlaceTool(m_dir / "ZelvoSetup-1.0");
    ChildProcess first;
    ASSERT_TRUE(StartRunning(first)) << Output();
    const std::string logOfFirst = Log();
    ChildProcess second;
    ASSERT_TRUE(Start(second, {"/set"}));
    EXPECT_EQ(second.WaitFor(10s), 0) << "a second start must end at once with status 0";
    EXPECT_TRUE(first.Running());
    EXPECT_EQ(Log().substr(0, logOfFirst.size()), logOfFirst);
    first.Kill(SIGKILL);
    ASSERT_TRUE(first.WaitFor(10s).has_value());

    PlaceTool(m_dir / "ZelvoSetup/bin");
    ChildProcess third;
    EXPECT_TRUE(StartRunning(third)) << Output();
    for (const auto& box : ScriptedMessageBoxes::ReadTranscript(Transcript()))
        EXPECT_NE(box.text, MessageCatalogue::Choose(SystemUiLanguage(), 163, 165));
    third.Kill(SIGTERM);
    third.WaitFor(10s);
    EXPECT_FALSE(fs::exists(m_dir / "manager.log"));
    EXPECT_FALSE(fs::exists(m_dir / "ZelvoSetup/manager.log"));
}

// Another account made the lock file first: the tool starts without the guard and says
// so in its log, where it would otherwise never start at all.
TEST_F(StartProcessTest, aForeignLockFileLeavesTheToolRunningUnguarded)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "skipped: giving the lock file to another account needs root";
    PlaceTool(m_dir);
    const fs::path lock = m_dir / "run" / "PreventSecondInstanceForQuorvane.lock";
    std::ofstream(lock) << "";
    ASSERT_EQ(::chown(lock.c_str(), 65534, 65534), 0); // nobody's; the test runs as root
    ChildProcess tool;
    ASSERT_TRUE(StartRunning(tool)) << Output();
    EXPECT_TRUE(test::WaitUntil(10s, [&] {
        return Log().find(" Single instance guard off : the lock file " + lock.string() +
                          " belongs to uid 65534") != std::string::npos;
    })) << Log();
    tool.Kill(SIGTERM);
    tool.WaitFor(10s);
}

// A manager.ini that is missing or malformed is told, and the tool ends without touching
// the log of the last run.
TEST_F(StartProcessTest, anUnusableManagerIniIsToldAndEndsTheTool)
{
    struct Row
    {
        const char* ini; // empty: no file
        int japaneseId, englishId;
        MessageIcon icon;
    };
    for (const Row& r : {Row{"", 163, 165, MessageIcon::Question},
                         Row{"\"a\"\"b\"\"c\"\"d\"\"e\"", 164, 166, MessageIcon::Stop},
                         Row{"\"a\"\"b\"\"c\"\"d\"\"e\"\"f", 164, 166, MessageIcon::Stop}}) {
        SCOPED_TRACE(r.ini);
        fs::remove(m_dir / "manager.ini");
        fs::remove(Transcript());
        PlaceTool(m_dir, r.ini);
        std::ofstream(m_dir / "manager.log") << "log of the last run\r\n";
        ChildProcess tool;
        ASSERT_TRUE(Start(tool));
        EXPECT_EQ(tool.WaitFor(30s), 0);
        const auto boxes = ScriptedMessageBoxes::ReadTranscript(Transcript());
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].text,
                  MessageCatalogue::Choose(SystemUiLanguage(), r.japaneseId, r.englishId));
        EXPECT_EQ(boxes[0].icon, r.icon);
        EXPECT_EQ(Log(), "log of the last run\r\n");
    }
}

} // namespace
} // namespace zelvo
