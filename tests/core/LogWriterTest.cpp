#include "core/LogWriter.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <future>
#include <iterator>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace zelvo {
namespace {

class LogWriterTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_dir = std::filesystem::temp_directory_path() /
                ("zelvo-log-" + std::to_string(::getpid()) + "-" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(m_dir);
        LogWriter::SetLogPath((m_dir / "manager.log").string());
    }
    void TearDown() override
    {
        LogWriter::SetLogPath({});
        std::filesystem::remove_all(m_dir);
    }
    std::string Contents() const
    {
        std::ifstream in(m_dir / "manager.log", std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        return s.str();
    }
    std::filesystem::path m_dir;
};

TEST_F(LogWriterTest, createEmptyTruncatesAnOldLog)
{
    std::ofstream(m_dir / "manager.log") << "last run\r\n";
    ASSERT_TRUE(LogWriter::CreateEmpty());
    EXPECT_EQ(Contents(), "");
    EXPECT_EQ(LogWriter::Append("a\r\n"), 1);
    EXPECT_EQ(LogWriter::Appendf(" IP Addr[%d]\t: %03d\r\n", 1, 7), 1);
    EXPECT_EQ(Contents(), "a\r\n IP Addr[1]\t: 007\r\n");
}

TEST_F(LogWriterTest, aLinkInPlaceOfTheLogIsNeitherTruncatedNorWrittenThrough)
{
    const auto target = m_dir / "elsewhere";
    std::ofstream(target) << "precious\n";
    std::filesystem::create_symlink(target, m_dir / "manager.log");
    EXPECT_FALSE(LogWriter::CreateEmpty());
    EXPECT_EQ(LogWriter::Append("line\r\n"), 0);
    std::ifstream in(target);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(text, "precious\n");
    // A link that dangles is not followed to create its target either.
    std::filesystem::remove(target);
    EXPECT_FALSE(LogWriter::CreateEmpty());
    EXPECT_FALSE(std::filesystem::exists(target));
}

TEST_F(LogWriterTest, deletedLogIsNotRecreatedAndLinesAreLost)
{
    ASSERT_TRUE(LogWriter::CreateEmpty());
    std::filesystem::remove(m_dir / "manager.log");
    EXPECT_EQ(LogWriter::Append("lost\r\n"), 0);
    EXPECT_FALSE(std::filesystem::exists(m_dir / "manager.log"));
    // The next start creates it again.
    ASSERT_TRUE(LogWriter::CreateEmpty());
    EXPECT_EQ(LogWriter::Append("kept\r\n"), 1);
    EXPECT_EQ(Contents(), "kept\r\n");
}

TEST_F(LogWriterTest, logLockedByAnotherProgramLosesLinesWithoutHanging)
{
    ASSERT_TRUE(LogWriter::CreateEmpty());
    ASSERT_EQ(LogWriter::Append("before\r\n"), 1);
    // Another program's lock over the whole file, to its end and beyond, as an editor or a
    // backup tool may take it: an open file description of its own.
    const int other = ::open((m_dir / "manager.log").c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(other, 0);
    struct flock whole = {};
    whole.l_type = F_WRLCK;
    whole.l_whence = SEEK_SET;
    ASSERT_EQ(::fcntl(other, F_OFD_SETLK, &whole), 0);

    auto append = std::async(std::launch::async, [] { return LogWriter::Append("lost\r\n"); });
    const bool ended = append.wait_for(std::chrono::seconds(20)) == std::future_status::ready;
    whole.l_type = F_UNLCK; // lets a hanging append go before the test reports it
    ASSERT_EQ(::fcntl(other, F_OFD_SETLK, &whole), 0);
    ::close(other);
    ASSERT_TRUE(ended) << "an append waits as long as another program holds its lock";
    EXPECT_EQ(append.get(), 1);
    EXPECT_EQ(LogWriter::Append("after\r\n"), 1);
    EXPECT_EQ(Contents(), "before\r\nafter\r\n");
}

// A FIFO planted as manager.log has no reader: opening it for writing would wait for one
// for ever. It is refused at once, like a log that cannot be created, and left as it is.
TEST_F(LogWriterTest, aFifoInPlaceOfTheLogIsRefusedAtOnce)
{
    using namespace std::chrono_literals;
    const auto fifo = m_dir / "manager.log";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    auto run = std::async(std::launch::async, [] {
        return std::pair{LogWriter::CreateEmpty(), LogWriter::Append("line\r\n")};
    });
    const bool ended = run.wait_for(5s) == std::future_status::ready;
    if (!ended) // lets a hung writer go before the test reports it
        ::close(::open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    ASSERT_TRUE(ended) << "manager.log as a FIFO hangs the log";
    EXPECT_EQ(run.get(), (std::pair{false, 0}));
    EXPECT_TRUE(std::filesystem::is_fifo(fifo));
}

// Texts from outside the tool (an FTP server's reply) reach the log without their control
// characters; the log's own tabs and CR LF line ends, and UTF-8 texts, stay.
TEST_F(LogWriterTest, controlCharactersInALineAreEscaped)
{
    ASSERT_TRUE(LogWriter::CreateEmpty());
    EXPECT_EQ(LogWriter::Appendf("  FTP login failed 0x%04x: %s\r\n", 0x2eef,
                                 "530 \x1b[2Jgone\rfake line\n\x07\x7f \xe6\x8b\x92\xe5\x90\xa6"),
              1);
    EXPECT_EQ(LogWriter::Append("\r\n>>> Start\t: 1\r\n"), 1);
    EXPECT_EQ(Contents(),
              "  FTP login failed 0x2eef: 530 \\x1b[2Jgone\\x0dfake line\\x0a\\x07\\x7f "
              "\xe6\x8b\x92\xe5\x90\xa6\r\n\r\n>>> Start\t: 1\r\n");
}

TEST_F(LogWriterTest, unwritableDirectoryLosesLinesQuietly)
{
    LogWriter::SetLogPath((m_dir / "no-such-dir" / "manager.log").string());
    EXPECT_FALSE(LogWriter::CreateEmpty());
    EXPECT_EQ(LogWriter::Append("x\r\n"), 0);
    LogWriter::SetLogPath({});
    EXPECT_EQ(LogWriter::Append("x\r\n"), 0);
}

TEST_F(LogWriterTest, longLineIsCutInsideItsBufferAndStaysALine)
{
    ASSERT_TRUE(LogWriter::CreateEmpty());
    const std::string name(600, 'n');
    EXPECT_EQ(LogWriter::Appendf(" name\t: %s\r\n", name.c_str()), 1);
    EXPECT_EQ(LogWriter::Appendf("%s", name.c_str()), 1);
    const std::string log = Contents();
    ASSERT_EQ(log.size(), 2 * (LogWriter::kLineBuffer - 1));
    EXPECT_EQ(log.substr(LogWriter::kLineBuffer - 3, 2), "\r\n");
    // A format without a line end is cut plainly.
    EXPECT_EQ(log.substr(LogWriter::kLineBuffer - 1), std::string(LogWriter::kLineBuffer - 1, 'n'));
}

TEST_F(LogWriterTest, concurrentAppendsLeaveEveryLineWhole)
{
    ASSERT_TRUE(LogWriter::CreateEmpty());
    constexpr int kThreads = 8;
    constexpr int kLines = 10000;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([t] {
            for (int i = 0; i < kLines; ++i)
                LogWriter::Appendf(" thread %d line %05d %s\r\n", t, i, "payload-payload-payload");
        });
    for (auto& th : threads)
        th.join();

    std::istringstream in(Contents());
    std::vector<int> next(kThreads, 0);
    std::string line;
    int count = 0;
    while (std::getline(in, line, '\n')) {
        ASSERT_FALSE(line.empty());
        ASSERT_EQ(line.back(), '\r') << line;
        int t = -1;
        int i = -1;
        char tail[64] = {};
        ASSERT_EQ(std::sscanf(line.c_str(), " thread %d line %d %63s", &t, &i, tail), 3) << line;
        ASSERT_STREQ(tail, "payload-payload-payload");
        ASSERT_GE(t, 0);
        ASSERT_LT(t, kThreads);
        // Each thread's lines arrive whole and in its own order.
        ASSERT_EQ(i, next[t]) << line;
        ++next[t];
        ++count;
    }
    EXPECT_EQ(count, kThreads * kLines);
}

// A log viewer's read lock over the whole file is not waited for either, and once it is
// gone the lines go on.
TEST_F(LogWriterTest, aReadersLockIsNotWaitedForAndLaterLinesFollow)
{
    using namespace std::chrono_literals;
    ASSERT_TRUE(LogWriter::CreateEmpty());
    ASSERT_EQ(LogWriter::Append("before\r\n"), 1);
    const int viewer = ::open((m_dir / "manager.log").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(viewer, 0);
    struct flock whole = {};
    whole.l_type = F_RDLCK;
    whole.l_whence = SEEK_SET; // from byte 0 on, also past the end
    ASSERT_EQ(::fcntl(viewer, F_OFD_SETLK, &whole), 0);

    auto append = std::async(std::launch::async, [] { return LogWriter::Append("lost\r\n"); });
    const bool returned = append.wait_for(30s) == std::future_status::ready;
    whole.l_type = F_UNLCK;
    ::fcntl(viewer, F_OFD_SETLK, &whole); // lets a hung writer go before the check
    ::close(viewer);
    ASSERT_TRUE(returned) << "the append waited for a reader's lock";
    EXPECT_EQ(append.get(), 1);

    EXPECT_EQ(LogWriter::Append("after\r\n"), 1);
    EXPECT_EQ(Contents(), "before\r\nafter\r\n");
}

} // namespace
} // namespace zelvo
