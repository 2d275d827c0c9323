// The fault matrix of the search and the log, end to end: the real main window and search
// in a lab's PC namespace while units vanish, name servers answer late, the log is taken
// away or locked, and the window is asked to close mid-search. Each case ends with a clear
// result, a window that takes commands again, and no hang.
#include "support/ToolWindow.h"
#include "support/WaitUntil.h"

#include <QApplication>
#include <QKeyEvent>

#include <atomic>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace zelvo::faults {
namespace {

using test::InLab;
using test::Lab;
using test::ManagerLog;
using test::ManagerLogPath;
using FaultWindow = test::ToolWindow;

using Names = std::vector<std::string>;

#define REQUIRE_LAB()                                                                              \
    if (!InLab())                                                                                  \
    GTEST_SKIP() << "runs in the lab's PC namespace (ctest -L lab, as root)"

// Starts the late-answering name server in place of a unit's nmbd and waits until it listens.
bool StartSlowNameServer(const std::string& unit, int delayMs, const std::string& name)
{
    const std::string ready = "/tmp/zelvo-slow-ns-" + unit + "-" + std::to_string(::getpid());
    std::filesystem::remove(ready);
    const std::string server = ExeDirectory() + "/zelvo_slow_name_server";
    if (Lab("unit-exec " + unit + " -- " + server + " " + std::to_string(delayMs) + " " + name +
            " " + ready + " >/dev/null 2>&1 &") != 0)
        return false;
    const bool up =
        test::WaitUntil(std::chrono::seconds(5), [&] { return std::filesystem::exists(ready); });
    std::filesystem::remove(ready);
    return up;
}

// Empties the neighbour tables of the PC and of the units, so that each search starts
// from a segment where nobody knows anybody: a unit that still knows the PC answers its
// echo without asking for it, and the PC would not learn the unit's address from that.
bool ForgetEachOther(const Names& units)
{
    bool ok = std::system("ip -4 neigh flush all") == 0;
    for (const std::string& unit : units)
        ok = Lab("unit-exec " + unit + " -- ip -4 neigh flush all") == 0 && ok;
    return ok;
}
const Names kSearchLabUnits = {"NAS01", "NAS02", "NAS06", "NAS07"};

bool Contains(const Names& names, const std::string& name)
{
    return std::find(names.begin(), names.end(), name) != names.end();
}

// NAS06's name server answers after 400 ms (inside the tool's NetBIOS wait), NAS07's after
// 2500 ms (after the tool has given up on it and asked the resolver and mDNS, which know
// nothing). The late answer must not name NAS07, nor any other unit.
TEST(FaultsSearch, lateNameServersNameOnlyTheirOwnUnitsAndOnlyInTime)
{
    REQUIRE_LAB();
    ASSERT_TRUE(StartSlowNameServer("NAS06", 400, "SLOW06"));
    ASSERT_TRUE(StartSlowNameServer("NAS07", 2500, "LATE07"));
    ASSERT_TRUE(ForgetEachOther(kSearchLabUnits));

    FaultWindow w;
    ASSERT_TRUE(w.Create());
    ASSERT_TRUE(w.WaitForSearches(1));
    EXPECT_EQ(w.ListedNames(), (Names{"NAS01", "NAS02", "SLOW06"}));
    EXPECT_TRUE(w.Usable());
    // Search again: both are now probed directly first; the same names, the same gap.
    ASSERT_TRUE(w.Search());
    EXPECT_EQ(w.ListedNames(), (Names{"NAS01", "NAS02", "SLOW06"}));
    EXPECT_TRUE(w.Usable());
    const std::string log = ManagerLog();
    EXPECT_NE(log.find(" : 010.231.007.027 - 02.5a.e1.40.00.07\r\n"), std::string::npos)
        << "NAS07 was not even seen:\n"
        << log;
}

TEST(FaultsSearch, unitVanishingDuringASearchIsLeftOutAndListedAgainWhenBack)
{
    REQUIRE_LAB();
    ASSERT_TRUE(ForgetEachOther({"NAS01", "NAS02"}));
    FaultWindow w;
    ASSERT_TRUE(w.Create());
    ASSERT_TRUE(w.WaitForSearches(1));
    ASSERT_EQ(w.ListedNames(), (Names{"NAS01", "NAS02"}));

    // NAS02 answers this search's echoes, then its link goes down while the search
    // waits for the neighbour table to settle: its entry is read, its name never comes.
    int downStatus = -1;
    ASSERT_TRUE(
        w.Search(1500, [&] { downStatus = Lab("unit-exec NAS02 -- ip link set eth0 down"); }));
    ASSERT_EQ(downStatus, 0);
    EXPECT_EQ(w.ListedNames(), Names{"NAS01"});
    EXPECT_TRUE(w.Usable());
    EXPECT_TRUE(w.boxes.ShownBoxes().empty());

    ASSERT_TRUE(w.Search());
    EXPECT_EQ(w.ListedNames(), Names{"NAS01"});

    ASSERT_EQ(Lab("unit-exec NAS02 -- ip link set eth0 up"), 0);
    ASSERT_TRUE(w.Search());
    EXPECT_EQ(w.ListedNames(), (Names{"NAS01", "NAS02"}));
    EXPECT_TRUE(w.Usable());
}

// Exit, Esc and the close box are refused while a search runs (the first search and a
// Search press); the search ends normally and the window closes when asked afterwards.
TEST(FaultsWindow, closingIsRefusedWhileASearchRunsAndWorksAfterwards)
{
    REQUIRE_LAB();
    ASSERT_TRUE(ForgetEachOther(kSearchLabUnits));
    FaultWindow w;
    const auto tryToClose = [&w](bool& stillShown) {
        return [&w, &stillShown] {
            w.dialog->OnCommand(kIdExit);
            QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
            QApplication::sendEvent(w.dialog.get(), &esc);
            w.dialog->close();
            stillShown = w.dialog->isVisible() && w.dialog->State().m_bBusy == 1;
        };
    };
    bool shownDuringFirst = false, shownDuringSearch = false;
    ASSERT_TRUE(w.Create());
    ASSERT_TRUE(w.WaitForSearches(1, 120000, 1500, tryToClose(shownDuringFirst)));
    EXPECT_TRUE(shownDuringFirst);
    ASSERT_TRUE(w.Search(1500, tryToClose(shownDuringSearch)));
    EXPECT_TRUE(shownDuringSearch);
    EXPECT_TRUE(w.dialog->isVisible());
    EXPECT_TRUE(Contains(w.ListedNames(), "NAS01"));
    EXPECT_TRUE(w.Usable());

    w.dialog->OnCommand(kIdExit);
    EXPECT_FALSE(w.dialog->isVisible());
    EXPECT_EQ(w.dialog->result(), QDialog::Rejected);
}

TEST(FaultsLog, deletedLogStaysAwayAndTheSearchGoesOn)
{
    REQUIRE_LAB();
    ASSERT_TRUE(ForgetEachOther(kSearchLabUnits));
    FaultWindow w;
    ASSERT_TRUE(w.Create());
    ASSERT_TRUE(w.WaitForSearches(1));
    ASSERT_NE(ManagerLog().find("Going to find VELDIX first."), std::string::npos);

    ASSERT_TRUE(std::filesystem::remove(ManagerLogPath()));
    ASSERT_TRUE(w.Search());
    EXPECT_TRUE(Contains(w.ListedNames(), "NAS01"));
    EXPECT_TRUE(Contains(w.ListedNames(), "NAS02"));
    EXPECT_TRUE(w.Usable());
    EXPECT_FALSE(std::filesystem::exists(ManagerLogPath()));
}

// Another program holds a lock over the whole log (as an editor or a backup tool may).
// A child process of this test takes it and keeps it until told to go.
class LogLockHolder
{
public:
    LogLockHolder()
    {
        int ready[2], release[2];
        if (::pipe(ready) != 0 || ::pipe(release) != 0)
            return;
        m_pid = ::fork();
        if (m_pid == 0) { // only async-signal-safe calls from here on
            ::close(ready[0]);
            ::close(release[1]);
            const int fd = ::open(ManagerLogPathForChild(), O_RDWR);
            struct flock whole = {};
            whole.l_type = F_WRLCK;
            whole.l_whence = SEEK_SET;
            const char ok = (fd >= 0 && ::fcntl(fd, F_SETLK, &whole) == 0) ? '1' : '0';
            (void)!::write(ready[1], &ok, 1);
            char c;
            (void)!::read(release[0], &c, 1);
            ::_exit(0);
        }
        ::close(ready[1]);
        ::close(release[0]);
        char ok = '0';
        m_locked = ::read(ready[0], &ok, 1) == 1 && ok == '1';
        ::close(ready[0]);
        m_release = release[1];
    }
    ~LogLockHolder() { Release(); }
    bool Locked() const { return m_locked; }
    void Release()
    {
        if (m_release >= 0)
            ::close(m_release), m_release = -1;
        if (m_pid > 0)
            ::waitpid(m_pid, nullptr, 0), m_pid = -1;
    }
    // Set before the fork: the child may not allocate.
    static const char*& ManagerLogPathForChild()
    {
        static const char* path = nullptr;
        return path;
    }

private:
    pid_t m_pid = -1;
    int m_release = -1;
    bool m_locked = false;
};

TEST(FaultsLog, lockedLogLosesItsLinesAndTheSearchGoesOn)
{
    REQUIRE_LAB();
    ASSERT_TRUE(ForgetEachOther(kSearchLabUnits));
    FaultWindow w;
    ASSERT_TRUE(w.Create());
    ASSERT_TRUE(w.WaitForSearches(1));
    const std::string path = ManagerLogPath();
    LogLockHolder::ManagerLogPathForChild() = path.c_str();

    LogLockHolder holder;
    ASSERT_TRUE(holder.Locked());
    // A tool that waits on the lock hangs its window; the watchdog then lets go of the
    // lock so that the test can end and say so.
    std::atomic<bool> searchEnded = false, watchdogFired = false;
    std::thread watchdog([&] {
        for (int i = 0; i < 600 && !searchEnded; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        if (!searchEnded) {
            watchdogFired = true;
            holder.Release();
        }
    });
    const bool ended = w.Search();
    searchEnded = true;
    watchdog.join();
    ASSERT_TRUE(ended);
    EXPECT_FALSE(watchdogFired) << "the search waited for the log's lock";
    EXPECT_TRUE(Contains(w.ListedNames(), "NAS01"));
    EXPECT_TRUE(w.Usable());
    EXPECT_EQ(ManagerLog().find("again2"), std::string::npos) << "written under a lock";

    holder.Release();
    ASSERT_TRUE(w.Search());
    EXPECT_NE(ManagerLog().find("\r\nGoing to find VELDIX again2.\r\n"), std::string::npos);
}

} // namespace
} // namespace zelvo::faults
