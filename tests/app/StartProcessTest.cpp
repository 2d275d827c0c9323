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
        fs::copy_file(ZELVO_TOOL_PATH, m_dir / "ZelvoSetup");
        m_toolDir = m_dir;
    }
    void TearDown() override
    {
        if (!m_dir.empty())
            fs::remove_all(m_dir);
    }

    // Moves the executable into a folder of its own below the test's directory.
    void MoveToolInto(const fs::path& folder)
    {
        fs::create_directories(folder);
        fs::rename(m_toolDir / "ZelvoSetup", folder / "ZelvoSetup");
        m_toolDir = folder;
    }
    void WriteIni(const std::string& text) { std::ofstream(m_toolDir / "manager.ini") << text; }
    std::string Log() const
    {
        return ReadSmallFile((m_toolDir / "manager.log").string(), 1 << 20).value_or("");
    }
    std::string Transcript() const { return (m_dir / "boxes.txt").string(); }

    bool Start(ChildProcess& child, const std::vector<std::string>& args = {})
    {
        std::vector<std::string> argv = m_prefix;
        argv.push_back((m_toolDir / "ZelvoSetup").string());
        argv.insert(argv.end(), args.begin(), args.end());
        std::vector<std::string> env = {
            "QT_QPA_PLATFORM=offscreen", "XDG_RUNTIME_DIR=" + (m_dir / "run").string(),
            "ZELVO_MESSAGE_TRANSCRIPT=" + Transcript()};
        return child.Start(argv, env, (m_dir / "output.txt").string());
    }

    bool SurveyDone() const
    {
        return Log().find("<<< Close to retrieve your PC and enviroment\r\n") != std::string::npos;
    }

    std::vector<std::string> m_prefix;
    fs::path m_dir;
    fs::path m_toolDir; // where the executable, manager.ini and manager.log are
};

const char* kSixValues = "\"/index.html\"\"/c.html\"\"/r.html\"\"/f.html\"\"/config\"\"/firmware\"";

TEST_F(StartProcessTest, secondInstanceEndsAtOnceAndLeavesTheFirstAlone)
{
    WriteIni(kSixValues);
    ChildProcess first;
    ASSERT_TRUE(Start(first));
    ASSERT_TRUE(test::WaitUntil(60s, [&] { return SurveyDone() || !first.Running(); }))
        << "the first instance did not finish its start-up";
    ASSERT_TRUE(first.Running())
        << ReadSmallFile((m_dir / "output.txt").string(), 4096).value_or("");
    const std::string logOfFirst = Log();

    ChildProcess second;
    ASSERT_TRUE(Start(second, {"/set"}));
    EXPECT_EQ(second.WaitFor(10s), 0) << "a second start must end at once with status 0";
    EXPECT_TRUE(first.Running());
    // The second start did not recreate the log.
    EXPECT_EQ(Log().substr(0, logOfFirst.size()), logOfFirst);

    // A killed first instance releases the guard: the next start runs.
    first.Kill(SIGKILL);
    ASSERT_TRUE(first.WaitFor(10s).has_value());
    fs::remove(m_dir / "manager.log");
    ChildProcess third;
    ASSERT_TRUE(Start(third));
    EXPECT_TRUE(test::WaitUntil(60s, [&] { return SurveyDone(); }));
    EXPECT_TRUE(third.Running());
    third.Kill(SIGTERM);
    third.WaitFor(10s);
}

// A release unpacked as ZelvoSetup-1.0/ZelvoSetup, or a clone called ZelvoSetup: the
// files beside the executable count, never a folder above it that carries its name.
TEST_F(StartProcessTest, startsInFoldersThatCarryTheToolsName)
{
    for (const char* folder : {"ZelvoSetup-1.0", "ZelvoSetup/bin"}) {
        SCOPED_TRACE(folder);
        MoveToolInto(m_dir / folder);
        fs::remove(Transcript());
        WriteIni(kSixValues);
        ChildProcess tool;
        ASSERT_TRUE(Start(tool));
        ASSERT_TRUE(test::WaitUntil(60s, [&] { return SurveyDone() || !tool.Running(); }));
        EXPECT_TRUE(tool.Running())
            << ReadSmallFile((m_dir / "output.txt").string(), 4096).value_or("");
        for (const auto& box : ScriptedMessageBoxes::ReadTranscript(Transcript()))
            EXPECT_NE(box.text, MessageCatalogue::Choose(SystemUiLanguage(), 163, 165));
        tool.Kill(SIGTERM);
        tool.WaitFor(10s);
    }
    // Nothing was written above the executable's own folder.
    EXPECT_FALSE(fs::exists(m_dir / "manager.log"));
}

// Another account made the lock file first: the tool starts without the guard and
// says so in its log, where it would otherwise never start at all.
TEST_F(StartProcessTest, aForeignLockFileLeavesTheToolRunningUnguarded)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "skipped: giving the lock file to another account needs root";
    WriteIni(kSixValues);
    const fs::path lock = m_dir / "run" / "PreventSecondInstanceForQuorvane.lock";
    std::ofstream(lock) << "";
    ASSERT_EQ(::chown(lock.c_str(), 65534, 65534), 0); // nobody's; the test runs as root
    ChildProcess tool;
    ASSERT_TRUE(Start(tool));
    ASSERT_TRUE(test::WaitUntil(60s, [&] {
        return Log().find("Single instance guard off") != std::string::npos || !tool.Running();
    }));
    EXPECT_TRUE(tool.Running());
    EXPECT_NE(Log().find(" Single instance guard off : the lock file " + lock.string() +
                         " belongs to uid 65534"),
              std::string::npos)
        << Log();
    tool.Kill(SIGTERM);
    tool.WaitFor(10s);
}

struct IniFailure
{
    const char* name;
    bool writeIni;
    const char* ini;
    int japaneseId;
    int englishId;
    MessageIcon icon;
};

class IniFailureTest : public StartProcessTest, public ::testing::WithParamInterface<IniFailure>
{
};

TEST_P(IniFailureTest, toldAndEndsWithoutTouchingTheLog)
{
    const IniFailure& c = GetParam();
    if (c.writeIni)
        WriteIni(c.ini);
    std::ofstream(m_dir / "manager.log") << "log of the last run\r\n";

    ChildProcess tool;
    ASSERT_TRUE(Start(tool));
    EXPECT_EQ(tool.WaitFor(30s), 0);

    const auto boxes = ScriptedMessageBoxes::ReadTranscript(Transcript());
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text,
              MessageCatalogue::Choose(SystemUiLanguage(), c.japaneseId, c.englishId));
    EXPECT_EQ(boxes[0].icon, c.icon);
    EXPECT_EQ(boxes[0].buttons, MessageButtons::Ok);
    EXPECT_EQ(Log(), "log of the last run\r\n");
}

INSTANTIATE_TEST_SUITE_P(
    ManagerIni, IniFailureTest,
    ::testing::Values(IniFailure{"missing", false, "", 163, 165, MessageIcon::Question},
                      IniFailure{"fiveValues", true, "\"a\"\"b\"\"c\"\"d\"\"e\"", 164, 166,
                                 MessageIcon::Stop},
                      IniFailure{"lastQuoteMissing", true, "\"a\"\"b\"\"c\"\"d\"\"e\"\"f", 164, 166,
                                 MessageIcon::Stop}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace zelvo
