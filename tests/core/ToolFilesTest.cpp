// Where the tool keeps its files, what it reads from manager.ini and how it writes
// manager.log.
#include "core/ExePath.h"
#include "core/IniSettings.h"
#include "core/LogWriter.h"
#include "core/ToolFolder.h"
#include "platform/Files.h"
#include "support/TemporaryLog.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <sstream>
#include <sys/stat.h>
#include <thread>

namespace zelvo {
namespace {

// The files sit beside the executable, whatever it or the folders above it are called.
TEST(ExePath, siblingReplacesOnlyTheLastPathElement)
{
    const char* const cases[][3] = {
        {"/opt/zelvo/ZelvoSetup", "manager.ini", "/opt/zelvo/manager.ini"},
        {"/home/a/tools/setup-v2", "manager.ini", "/home/a/tools/manager.ini"},
        {"/srv/ZelvoSetup/bin/ZelvoSetup", "manager.ini", "/srv/ZelvoSetup/bin/manager.ini"},
        {"/home/a/xZelvoSetup", "manager.ini", "/home/a/manager.ini"},
        // An executable replaced while it runs: the kernel appends " (deleted)".
        {"/opt/zelvo/ZelvoSetup (deleted)", "manager.log", "/opt/zelvo/manager.log"},
        {"/ZelvoSetup", "manager.log", "/manager.log"},
        {"ZelvoSetup", "manager.ini", "manager.ini"}};
    for (const auto& [module, file, expected] : cases)
        EXPECT_EQ(DeriveSiblingPath(module, file), expected) << module;

    EXPECT_EQ(PathBesideExecutable("manager.ini"), ExeDirectory() + "manager.ini");
    EXPECT_EQ(ExecutableTitle(), "ToolFilesTest");
}

TEST(ToolFolders, installedToolsUseThePerUserFolder)
{
    EXPECT_EQ(PerUserFolder("/x/data", "/home/u"), "/x/data/zelvo-setup/");
    EXPECT_EQ(PerUserFolder("relative", "/home/u"), "/home/u/.local/share/zelvo-setup/");
    EXPECT_EQ(PerUserFolder("", "/home/u/"), "/home/u/.local/share/zelvo-setup/");
    EXPECT_EQ(PerUserFolder("", ""), "");

    // The install folder writable, the user's folder usable, an ini there: ini and data.
    const std::tuple<bool, bool, bool, std::string> cases[] = {
        {true, true, true, "/opt/z/manager.ini /opt/z/"},
        {false, true, false, "/opt/z/manager.ini /home/u/zs/"},
        {false, true, true, "/home/u/zs/manager.ini /home/u/zs/"},
        {false, false, false, "/opt/z/manager.ini /opt/z/"}};
    for (const auto& [writable, usable, userIni, paths] : cases) {
        const ToolFolders f =
            ChooseToolFolders({"/opt/z", writable, "/home/u/zs/", usable, userIni});
        EXPECT_EQ(f.iniPath + " " + f.dataFolder, paths);
    }
}

std::string Quoted(int count, const char* separator = "\r\n")
{
    std::string s;
    for (int i = 1; i <= count; ++i)
        s += "Key" + std::to_string(i) + "=\"v" + std::to_string(i) + "\"" + separator;
    return s;
}

// The six quoted values in file order, whatever surrounds them; anything less is broken.
TEST(IniSettings, readsTheSixQuotedValues)
{
    using enum IniReadResult;
    const std::string numbered = "v1|v2|v3|v4|v5|v6";
    std::string endsAt4096 = Quoted(5);
    endsAt4096 += std::string(4096 - endsAt4096.size() - 4, ' ') + "\"v6\"";
    const std::tuple<const char*, std::string, IniReadResult, std::string> rows[] = {
        {"six", Quoted(6), Ok, numbered},
        {"a seventh is ignored", Quoted(7), Ok, numbered},
        {"five", Quoted(5), Broken, ""},
        {"no quotes", "WebToolPath=/index.html\n", Broken, ""},
        {"a closing quote missing", Quoted(5) + "Last=\"v6\r\n", Broken, ""},
        {"bare quotes", "\"a\"\"b\"\"c\"\"d\"\"e\"\"f\"", Ok, "a|b|c|d|e|f"},
        {"two lines, empty, spaces", "A=\"1\r\n2\"B=\"\"C=\"  x  \"" + Quoted(3), Ok,
         "1\r\n2||  x  |v1|v2|v3"},
        {"comments", "; c\r\n[s]\r\n" + Quoted(6, " ; t\r\n"), Ok, numbered},
        {"the sixth beyond 4096 bytes", Quoted(5) + std::string(4086, ';') + "F=\"v6\"", Broken,
         ""},
        {"the sixth ends at byte 4096", endsAt4096, Ok, numbered},
        {"a zero byte ends the text", Quoted(3) + '\0' + Quoted(3), Broken, ""}};
    for (const auto& [what, text, expected, values] : rows) {
        IniValues v;
        v.SetSlot(3, "left over from an earlier read");
        EXPECT_EQ(ParseIniValues(text, v), expected) << what;
        std::string got = v.Slot(1);
        for (int slot = 2; slot <= 6; ++slot)
            got += std::string("|") + v.Slot(slot);
        EXPECT_EQ(expected == Ok ? got : "", values) << what;
    }
}

TEST(IniSettings, namedValuesLongOnesCutAndTheFileOnDisk)
{
    IniValues v;
    ASSERT_EQ(ParseIniValues("\"" + std::string(100, 'w') + "\"\"n\"\"r\"\"f\"\"c\"\"d\"", v),
              IniReadResult::Ok);
    EXPECT_EQ(std::string(v.WebToolPath()), std::string(63, 'w'));
    EXPECT_EQ(std::string(v.NoConfigPage()) + v.RestorePage() + v.FirmwarePage() +
                  v.ConfigDirectory() + v.FirmwareDirectory() + v.Slot(0) + v.Slot(7),
              "nrfcd");

    const auto dir =
        std::filesystem::temp_directory_path() / ("zelvo-ini-" + std::to_string(getpid()));
    const std::string path = (dir / "manager.ini").string();
    std::filesystem::create_directories(dir);
    EXPECT_EQ(ReadIniFile(path, v), IniReadResult::Missing);
    std::ofstream(path) << Quoted(6);
    EXPECT_EQ(ReadIniFile(path, v), IniReadResult::Ok);
    EXPECT_STREQ(v.FirmwareDirectory(), "v6");
    std::filesystem::remove(path);
    std::filesystem::create_directory(path);
    EXPECT_NE(ReadIniFile(path, v), IniReadResult::Ok);
    std::filesystem::remove_all(dir);
}

using namespace std::chrono_literals;

// The test's own manager.log, and a path beside it for what a test plants in its place.
struct LogWriterTest : ::testing::Test
{
    test::TemporaryLog log;
    const std::string other = log.path + ".other";
    ~LogWriterTest() override { std::filesystem::remove(other); }
};

TEST_F(LogWriterTest, createEmptyTruncatesAndLinesKeepTheirFormatAndCut)
{
    std::ofstream(log.path) << "last run\r\n";
    ASSERT_TRUE(LogWriter::CreateEmpty());
    EXPECT_EQ(LogWriter::Appendf(" IP Addr[%d]\t: %03d\r\n", 1, 7), 1);
    // A server's reply loses its control characters; tabs, CR LF and UTF-8 stay.
    EXPECT_EQ(LogWriter::Appendf("  FTP %s\r\n", "530 \x1b[2Jx\ry\n\x07\x7f \xe6\x8b\x92"), 1);
    EXPECT_EQ(log.Text(), " IP Addr[1]\t: 007\r\n  FTP 530 \\x1b[2Jx\\x0dy\\x0a\\x07\\x7f "
                          "\xe6\x8b\x92\r\n");
    // A long line is cut inside its buffer and still ends the line.
    ASSERT_TRUE(LogWriter::CreateEmpty());
    EXPECT_EQ(LogWriter::Appendf(" name\t: %s\r\n", std::string(600, 'n').c_str()), 1);
    const std::string text = log.Text();
    ASSERT_EQ(text.size(), LogWriter::kLineBuffer - 1);
    EXPECT_EQ(text.substr(LogWriter::kLineBuffer - 3), "\r\n");
}

// A log that is no regular file of ours is neither created, written through nor waited for:
// its lines are lost, and what stands in its place is left as it is.
TEST_F(LogWriterTest, somethingElseInPlaceOfTheLogIsLeftAlone)
{
    const std::pair<const char*, std::function<void()>> rows[] = {
        {"a link",
         [&] {
             std::ofstream(other) << "precious\n";
             std::filesystem::create_symlink(other, log.path);
         }},
        {"a FIFO without a reader", [&] { ASSERT_EQ(::mkfifo(log.path.c_str(), 0600), 0); }},
        {"a missing folder", [&] { LogWriter::SetLogPath(other + "/manager.log"); }},
    };
    for (const auto& [what, plant] : rows) {
        std::filesystem::remove(log.path);
        LogWriter::SetLogPath(log.path);
        plant();
        auto run = std::async(std::launch::async, [] {
            return std::pair{LogWriter::CreateEmpty(), LogWriter::Append("line\r\n")};
        });
        const bool ended = run.wait_for(5s) == std::future_status::ready;
        if (!ended) // lets a writer hung on the FIFO go before the test reports it
            ::close(::open(log.path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
        ASSERT_TRUE(ended) << what;
        EXPECT_EQ(run.get(), (std::pair{false, 0})) << what;
    }
    EXPECT_EQ(ReadSmallFile(other, 64).value_or(""), "precious\n");
    // A log deleted while the tool runs is not recreated until the next start.
    LogWriter::SetLogPath(log.path);
    std::filesystem::remove(log.path);
    EXPECT_EQ(LogWriter::Append("lost\r\n"), 0);
    EXPECT_FALSE(std::filesystem::exists(log.path));
}

// Another program's lock over the whole log, even a viewer's read lock, is not waited for:
// the line is lost, and once the lock is gone lines follow.
TEST_F(LogWriterTest, anotherProgramsLockLosesLinesWithoutHanging)
{
    ASSERT_TRUE(LogWriter::CreateEmpty());
    ASSERT_EQ(LogWriter::Append("before\r\n"), 1);
    const int locker = ::open(log.path.c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(locker, 0);
    struct flock whole = {}; // from byte 0 (SEEK_SET) to any end: the whole file
    whole.l_type = F_RDLCK;
    ASSERT_EQ(::fcntl(locker, F_OFD_SETLK, &whole), 0);
    auto append = std::async(std::launch::async, [] { return LogWriter::Append("lost\r\n"); });
    const bool ended = append.wait_for(20s) == std::future_status::ready;
    whole.l_type = F_UNLCK; // lets a hanging append go before the test reports it
    ::fcntl(locker, F_OFD_SETLK, &whole);
    ::close(locker);
    ASSERT_TRUE(ended) << "an append waits for another program's lock";
    EXPECT_EQ(append.get(), 1);
    EXPECT_EQ(LogWriter::Append("after\r\n"), 1);
    EXPECT_EQ(log.Text(), "before\r\nafter\r\n");
}

TEST_F(LogWriterTest, concurrentAppendsLeaveEveryLineWholeAndInOrder)
{
    ASSERT_TRUE(LogWriter::CreateEmpty());
    constexpr int kThreads = 8, kLines = 10000;
    std::vector<std::jthread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([t] {
            for (int i = 0; i < kLines; ++i)
                LogWriter::Appendf(" thread %d line %05d %s\r\n", t, i, "payload-payload");
        });
    threads.clear();
    std::istringstream in(ReadSmallFile(log.path, 1 << 23).value_or(""));
    std::vector<int> next(kThreads, 0);
    int count = 0, t = -1, i = -1;
    char tail[64] = {};
    for (std::string line; std::getline(in, line); ++count) {
        ASSERT_EQ(std::sscanf(line.c_str(), " thread %d line %d %63s", &t, &i, tail), 3) << line;
        ASSERT_EQ(std::string(tail) + line.back(), "payload-payload\r") << line;
        ASSERT_TRUE(t >= 0 && t < kThreads && i == next[t]++) << line;
    }
    EXPECT_EQ(count, kThreads * kLines);
}

} // namespace
} // namespace zelvo
