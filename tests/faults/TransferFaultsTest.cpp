// The fault matrix of the transfers, end to end: the real main window, search and FTP
// client in a lab's PC namespace against a unit whose FTP server, or the session that
// carries a transfer, is killed mid-transfer, that stays silent, or refuses the login, against a PC
// whose backup disk is full, and with the window asked to close while a transfer runs. Each case
// ends with a clear message, no copy lost or replaced by a truncated one, no hang, and a window
// that takes commands again.
#include "core/ScriptedUnitDialogs.h"
#include "support/FakeUrlOpener.h"
#include "support/LabWindow.h"
#include "support/WaitUntil.h"

#include <QApplication>
#include <QKeyEvent>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <optional>
#include <sstream>
#include <thread>
#include <unistd.h>

namespace zelvo::faults {
namespace {

namespace fs = std::filesystem;
using test::InLab;
using test::Lab;
using Texts = std::vector<std::string>;

#define REQUIRE_LAB()                                                                              \
    if (!InLab())                                                                                  \
    GTEST_SKIP() << "runs in the lab's PC namespace (ctest -L lab, as root)"

const std::string kConfigName = "nas_400001.dat"; // NAS01's MAC ends in 40:00:01

// Hang guards only: a transfer of the sizes below takes a few seconds, a silent server
// the command's whole budget of a minute.
constexpr int kTransferLimitMs = 90000;

std::string Capture(const std::string& command)
{
    std::string out;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[256];
        while (std::fgets(buffer, sizeof buffer, pipe))
            out += buffer;
        ::pclose(pipe);
    }
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r'))
        out.pop_back();
    return out;
}

std::string LabQuery(const std::string& what, const std::string& unit)
{
    return Capture(std::string("\"") + std::getenv("ZELVO_LAB") + "\" " + what + " " +
                   std::getenv("ZELVO_LAB_PREFIX") + " " + unit);
}

std::optional<std::string> Read(const std::string& path)
{
    return ReadSmallFile(path, 64 << 20);
}

bool Write(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
    return static_cast<bool>(out.flush());
}

// Bytes a text-mode or truncating transfer cannot pass unchanged: CR, LF, NUL, 0xff.
std::string Pattern(std::size_t size, unsigned seed)
{
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>(((i + seed) * 7919) >> 3);
    for (std::size_t i = 0; i + 3 < size; i += 4096)
        bytes.replace(i, 4, "\r\n\0\xff", 4);
    return bytes;
}

uintmax_t SizeOf(const std::string& path)
{
    std::error_code error;
    const uintmax_t size = fs::file_size(path, error);
    return error ? 0 : size;
}

std::vector<std::string> Names(const std::string& folder)
{
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder, error))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// The bytes of a download still on its way: the hidden part file beside the backup.
uintmax_t PartBytes(const std::string& folder)
{
    uintmax_t bytes = 0;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder, error))
        if (entry.path().filename().string().rfind("." + kConfigName + ".part", 0) == 0)
            bytes += SizeOf(entry.path().string());
    return bytes;
}

// Ends every process of one name in a unit's namespace: for vsftpd, its listener and
// the sessions that carry the transfers, as a crash or a power cut of the server does.
void KillInUnit(const std::string& unit, const std::string& name)
{
    const std::string ns = LabQuery("ns", unit);
    std::system(("for p in $(ip netns pids " + ns +
                 "); do [ \"$(cat /proc/$p/comm 2>/dev/null)\" = " + name +
                 " ] && kill -KILL $p; done; true")
                    .c_str());
}

// Ends the sessions of a unit's vsftpd (each a process pair below the listener), as a
// crash of the session or a broken link does; the listener goes on taking connections.
void KillSessionsInUnit(const std::string& unit)
{
    const std::string ns = LabQuery("ns", unit);
    std::system(("victims=; for p in $(ip netns pids " + ns +
                 "); do [ \"$(cat /proc/$p/comm 2>/dev/null)\" = vsftpd ] || continue; "
                 "pp=$(awk '/^PPid:/ {print $2}' /proc/$p/status 2>/dev/null); "
                 "[ \"$(cat /proc/$pp/comm 2>/dev/null)\" = vsftpd ] && victims=\"$victims $p\"; "
                 "done; [ -n \"$victims\" ] && kill -KILL $victims; true")
                    .c_str());
}

bool FtpPortFree(const std::string& unit)
{
    return test::WaitUntil(std::chrono::seconds(10), [&] {
        return Lab("unit-exec " + unit + " -- sh -c \"! ss -Hltn 'sport = :21' | grep -q .\"") == 0;
    });
}

// The unit's own vsftpd, started again the way the lab starts it, and answering. A
// killed server stays a zombie until the system reaps it, and the lab does not start a
// server whose recorded process still exists: so start again until it answers.
bool StartUnitFtp(const std::string& unit)
{
    const std::string services =
        fs::path(std::getenv("ZELVO_LAB")).parent_path().string() + "/node-services.sh";
    const std::string prefix = std::getenv("ZELVO_LAB_PREFIX");
    return test::WaitUntil(std::chrono::seconds(30), [&] {
        return Lab("unit-exec " + unit + " -- " + services + " start " + prefix + " " + unit) ==
                   0 &&
               Lab("unit-exec " + unit + " -- " + services + " ready " + prefix + " " + unit +
                   " 2 2>/dev/null") == 0;
    });
}

// One of the broken servers in place of the unit's vsftpd, listening.
bool StartFakeFtp(const std::string& unit, const std::string& mode)
{
    KillInUnit(unit, "vsftpd");
    if (!FtpPortFree(unit))
        return false;
    const std::string ready = "/tmp/zelvo-fake-ftp-" + unit + "-" + std::to_string(::getpid());
    fs::remove(ready);
    if (Lab("unit-exec " + unit + " -- " + ExeDirectory() + "/zelvo_fake_ftp_server " + mode + " " +
            ready + " >/dev/null 2>&1 &") != 0)
        return false;
    const bool up = test::WaitUntil(std::chrono::seconds(5), [&] { return fs::exists(ready); });
    fs::remove(ready);
    return up;
}

// A slow segment for the length of a case: both ends send at 16 Mbit/s, so that the
// transfers below last seconds and a fault can strike in their middle.
class SlowLink
{
public:
    SlowLink()
    {
        const std::string tbf = " tc qdisc replace dev eth0 root tbf rate 16mbit burst 32kb "
                                "latency 200ms";
        m_ok = std::system(tbf.c_str()) == 0 && Lab("unit-exec NAS01 --" + tbf) == 0;
    }
    ~SlowLink()
    {
        std::system("tc qdisc del dev eth0 root 2>/dev/null");
        Lab("unit-exec NAS01 -- tc qdisc del dev eth0 root 2>/dev/null");
    }
    bool Ok() const { return m_ok; }

private:
    bool m_ok = false;
};

// Runs action once, from a thread of its own, as soon as moving() holds (polled while the
// window's event loop runs the command); gives up after a minute.
class WhenMoving
{
public:
    WhenMoving(std::function<bool()> moving, std::function<void()> action)
        : m_thread([this, moving, action] {
              if (test::WaitUntil(std::chrono::seconds(60), [&] { return m_stop || moving(); }) &&
                  !m_stop) {
                  action();
                  m_fired = true;
              }
          })
    {
    }
    ~WhenMoving()
    {
        m_stop = true;
        m_thread.join();
    }
    bool Fired() const { return m_fired; }

private:
    std::atomic<bool> m_stop = false;
    std::atomic<bool> m_fired = false;
    std::thread m_thread;
};

class TransferFaults : public ::testing::Test
{
protected:
    void SetUp() override
    {
        REQUIRE_LAB();
        char name[] = "/tmp/zelvo-transfer-faults-XXXXXX";
        ASSERT_TRUE(::mkdtemp(name));
        scratch = name;
        backups = scratch + "/backups/";
        uploads = scratch + "/uploads/";
        fs::create_directories(backups);
        fs::create_directories(uploads);
        root = LabQuery("unit-ftp-root", "NAS01");
        ASSERT_FALSE(root.empty());
        remoteConfig = root + "/config/" + kConfigName;
        // Whatever an earlier case left: the unit's own server, no file of ours.
        KillInUnit("NAS01", "zelvo_fake_ftp_");
        ASSERT_TRUE(StartUnitFtp("NAS01"));
        for (const std::string& folder : {root + "/config", root + "/firmware"})
            for (const std::string& file : Names(folder))
                fs::remove(folder + "/" + file);
    }
    void TearDown() override
    {
        window.reset();
        if (!scratch.empty()) {
            std::system(("umount '" + backups + "' 2>/dev/null").c_str());
            fs::remove_all(scratch);
        }
    }

    // The window, its first search done and NAS01 listed; backups go to the scratch
    // folder, unit picks take the first unit, files come from the list given.
    void Open(std::vector<std::optional<std::string>> files)
    {
        test::ToolWindowOptions options;
        options.urls = &urls;
        options.parts.unitPick = std::make_shared<ScriptedUnitPickDialog>(
            std::vector<std::optional<int>>(20, std::optional<int>(0)));
        options.parts.unitFile = std::make_shared<ScriptedUnitFileDialog>(std::move(files));
        options.parts.backupFolder = backups;
        window = std::make_unique<test::ToolWindow>(std::move(options));
        ASSERT_TRUE(window->Create());
        ASSERT_TRUE(window->WaitForSearches(1));
        ASSERT_EQ(window->ListedNames(), std::vector<std::string>{"NAS01"});
    }

    bool PutOnUnit(const std::string& folder, const std::string& name, const std::string& bytes)
    {
        const std::string staged = scratch + "/" + name;
        return Write(staged, bytes) &&
               Lab("unit-put NAS01 " + folder + " " + staged + " " + name) == 0 &&
               fs::remove(staged);
    }

    // The message boxes since the last call.
    Texts NewTexts()
    {
        Texts texts;
        const auto& shown = window->boxes.ShownBoxes();
        for (std::size_t i = seen; i < shown.size(); ++i)
            texts.push_back(shown[i].text);
        seen = shown.size();
        return texts;
    }

    std::string scratch, backups, uploads, root, remoteConfig;
    FakeUrlOpener urls;
    std::unique_ptr<test::ToolWindow> window;
    std::size_t seen = 0;
};

std::string BackupSavedAt(const std::string& path)
{
    return "Organization File will be saved at follow.\r\n" + path + "\n";
}
std::string BackupDone(const std::string& path)
{
    return "VELDIX Organization info. Downloading completed successfully. \r\nSave on file : " +
           path;
}
const std::string kBackupError =
    "Error occurred on VELDIX Organization info. Downloading. \r\n Error code : 0x";
const std::string kRestoreError =
    "Error occurred on VELDIX Organization info. Uploading. Error code : 0x";
const std::string kFirmwareError = "Error occurred on VELDIX Firmware Uploading. Error code : 0x";
const std::string kRestoreDone =
    "Uploading of VELDIX Organization file performed successfully.\r\nTo make uploaded "
    "Organization File valid it's necessary to start up Web tool.\r\nDo you want to start up Web "
    "tool?\n";
const std::string kFirmwareDone =
    "Uploading of VELDIX firmware file performed successfully.\r\nTo make uploaded firmware file "
    "valid it's necessary to start up Web tool.\r\nDo you want to start up Web tool?\n";
const std::string kRestoreReplace =
    "Notice : Found VELDIX with new Organization file.\r\nIt will be overwrite if you upload a "
    "Organization file from local PC.\n\r\n\rDo you want to upload anyway?";

// The unit's FTP server, or the session that carries the transfer, dies while a large
// file moves: the command tells the error, the copy that was good stays good, nothing cut
// off is left under a file's own name (and while the server lives, nothing at all), and
// once the server is back the same command succeeds without asking about a file.
TEST_F(TransferFaults, serverKilledMidTransferLosesNothingAndTheCommandWorksAfterwards)
{
    const std::string big = Pattern(8 << 20, 1);
    const std::string earlier = Pattern(5000, 2);
    const std::string localBackup = backups + kConfigName;
    const std::string localConfig = uploads + kConfigName;
    const std::string localFirmware = uploads + "wxyz0001.fup";
    const std::string remoteFirmware = root + "/firmware/wxyz0001.fup";
    const auto killServer = [] { KillInUnit("NAS01", "vsftpd"); };
    const auto killSession = [] { KillSessionsInUnit("NAS01"); };

    struct Case
    {
        const char* what;
        int command;
        std::function<void()> prepare;
        std::function<bool()> moving; // a megabyte went over
        std::function<void()> kill;
        std::string error;                 // the message of the failed command
        std::function<void()> afterFault;  // what must still hold
        std::function<Texts()> afterRetry; // the retry's boxes; also checks the bytes
    };
    const std::vector<Case> cases = {
        {"backup", kIdBackup,
         [&] {
             ASSERT_TRUE(Write(localBackup, earlier));
             ASSERT_TRUE(PutOnUnit("config", kConfigName, big));
         },
         [&] { return PartBytes(backups) >= (1u << 20); }, killServer,
         kBackupError + "2f4f.", // the download was cut off
         [&] {
             EXPECT_EQ(Read(localBackup), earlier) << "the earlier backup was replaced";
             EXPECT_EQ(Names(backups), std::vector<std::string>{kConfigName}) << "a part is left";
             EXPECT_EQ(Read(remoteConfig), big) << "the unit's file went without a backup";
         },
         [&] {
             EXPECT_EQ(Read(localBackup), big);
             EXPECT_FALSE(fs::exists(remoteConfig));
             return Texts{BackupSavedAt(localBackup), BackupDone(localBackup)};
         }},
        {"restore, session killed", kIdRestore, [&] { ASSERT_TRUE(Write(localConfig, big)); },
         [&] { return SizeOf(remoteConfig + ".part") >= (1u << 20); }, killSession,
         kRestoreError + "2efe.", // the connection broke
         [&] {
             EXPECT_EQ(Read(localConfig), big);
             EXPECT_EQ(Names(root + "/config"), std::vector<std::string>{}) << "a file is left";
         },
         [&] {
             EXPECT_EQ(Read(remoteConfig), big);
             EXPECT_EQ(Names(root + "/config"), std::vector<std::string>{kConfigName});
             return Texts{kRestoreDone};
         }},
        {"firmware, session killed", kIdFwUpdate,
         [&] {
             ASSERT_TRUE(Write(localFirmware, big));
             ASSERT_TRUE(PutOnUnit("firmware", "abcd1234.fup", Pattern(3000, 3)));
         },
         [&] { return SizeOf(remoteFirmware + ".part") >= (1u << 20); }, killSession,
         kFirmwareError + "2efe.",
         [&] {
             EXPECT_EQ(Read(localFirmware), big);
             // The old firmware went before the store, as it always does.
             EXPECT_EQ(Names(root + "/firmware"), std::vector<std::string>{}) << "a file is left";
         },
         [&] {
             EXPECT_EQ(Names(root + "/firmware"), std::vector<std::string>{"wxyz0001.fup"});
             EXPECT_EQ(Read(remoteFirmware), big);
             return Texts{kFirmwareDone};
         }},
        // With the whole server gone nothing can be deleted, but the cut-off copy does not
        // carry the file's name: the retry finds no file to ask about and replaces it.
        {"restore, server killed", kIdRestore, [&] { ASSERT_TRUE(fs::remove(remoteConfig)); },
         [&] { return SizeOf(remoteConfig + ".part") >= (1u << 20); }, killServer,
         kRestoreError + "2efe.",
         [&] {
             EXPECT_EQ(Read(localConfig), big);
             EXPECT_FALSE(fs::exists(remoteConfig)) << "a cut-off copy carries the file's name";
         },
         [&] {
             EXPECT_EQ(Read(remoteConfig), big);
             EXPECT_EQ(Names(root + "/config"), std::vector<std::string>{kConfigName});
             return Texts{kRestoreDone};
         }},
    };

    ASSERT_NO_FATAL_FAILURE(
        Open({localConfig, localConfig, localFirmware, localFirmware, localConfig, localConfig}));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        c.prepare();
        ASSERT_FALSE(HasFatalFailure());
        {
            SlowLink slow;
            ASSERT_TRUE(slow.Ok());
            WhenMoving killer(c.moving, c.kill);
            ASSERT_TRUE(window->Press(c.command, kTransferLimitMs)) << "the command hung";
            ASSERT_TRUE(killer.Fired()) << "the transfer never got going";
        }
        // One box with the error, after the backup's notice of where the copy goes; no
        // success.
        Texts expected{c.error};
        if (c.command == kIdBackup)
            expected.insert(expected.begin(), BackupSavedAt(localBackup));
        EXPECT_EQ(NewTexts(), expected);
        c.afterFault();
        EXPECT_TRUE(window->Usable());

        ASSERT_TRUE(StartUnitFtp("NAS01"));
        ASSERT_TRUE(window->Press(c.command, kTransferLimitMs));
        const Texts afterRetry = c.afterRetry();
        EXPECT_EQ(NewTexts(), afterRetry);
        EXPECT_TRUE(window->Usable());
    }
    const std::string log = test::ManagerLog();
    for (const char* removed : {"nas_400001.dat.part", "wxyz0001.fup.part"})
        EXPECT_NE(log.find(std::string("  FTP removed ") + removed + "\r\n"), std::string::npos)
            << removed << " was not removed:\n"
            << log;
}

// A server that takes the connection and never says a word: the command waits out its
// budget with the window handling events and turning other commands away, then tells of
// the time-out; the stopped job has ended by then, and the window works on.
TEST_F(TransferFaults, silentServerEndsInATimeOutWhileTheWindowStaysResponsive)
{
    const std::string localConfig = uploads + kConfigName;
    ASSERT_TRUE(Write(localConfig, Pattern(5000, 4)));
    ASSERT_TRUE(Write(backups + kConfigName, "an earlier backup"));
    ASSERT_NO_FATAL_FAILURE(Open({localConfig}));
    ASSERT_TRUE(StartFakeFtp("NAS01", "silent"));

    struct Case
    {
        const char* what;
        int command;
        std::string timedOut;
    };
    const std::vector<Case> cases = {
        {"backup", kIdBackup,
         "VELDIX Organization info. downloadnig not completed successfully because of Time "
         "out.\r\nDownloading again recommended."},
        {"restore", kIdRestore,
         "VELDIX Organization info. uploading not completed successfully because of Time "
         "out.\r\nUploading again recommended."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        int busyTicks = 0;
        QTimer ticker;
        QObject::connect(&ticker, &QTimer::timeout, [&] {
            if (window->dialog->State().m_bBusy)
                ++busyTicks;
        });
        ticker.start(250);
        bool searchTurnedAway = false;
        ASSERT_TRUE(window->Press(c.command, kTransferLimitMs, 5000, [&] {
            const int searches = window->searchesDone;
            window->dialog->OnCommand(kIdSearch);
            searchTurnedAway = window->searchesDone == searches &&
                               window->dialog->State().m_bBusy == 1 &&
                               window->ListedNames() == std::vector<std::string>{"NAS01"};
        })) << "the command hung";
        ticker.stop();
        const Texts texts = NewTexts();
        ASSERT_FALSE(texts.empty());
        EXPECT_EQ(texts.back(), c.timedOut);
        // A quarter-second timer over a wait of a minute: far fewer ticks mean a window
        // that froze while it waited.
        EXPECT_GE(busyTicks, 40) << "the window stopped handling events while it waited";
        EXPECT_TRUE(searchTurnedAway);
        EXPECT_FALSE(window->wiring->Transfer().WorkerRunning()) << "the stopped job lives on";
        EXPECT_TRUE(window->Usable());
    }
    EXPECT_EQ(Names(backups), std::vector<std::string>{kConfigName});
    EXPECT_EQ(Read(backups + kConfigName), "an earlier backup");

    // The unit's own server back: the next backup goes through.
    KillInUnit("NAS01", "zelvo_fake_ftp_");
    ASSERT_TRUE(FtpPortFree("NAS01"));
    ASSERT_TRUE(StartUnitFtp("NAS01"));
    const std::string config = Pattern(7000, 5);
    ASSERT_TRUE(PutOnUnit("config", kConfigName, config));
    ASSERT_TRUE(window->Press(kIdBackup, kTransferLimitMs));
    EXPECT_EQ(NewTexts(),
              (Texts{BackupSavedAt(backups + kConfigName), BackupDone(backups + kConfigName)}));
    EXPECT_EQ(Read(backups + kConfigName), config);
}

// A server that refuses the login: every command tells its error and nothing moves. The
// code shown is the last failing step's (no connection), not the login's, which the log
// keeps.
TEST_F(TransferFaults, refusedLoginTellsTheErrorAndWritesNothing)
{
    const std::string earlier = Pattern(4000, 6);
    const std::string config = Pattern(6000, 7);
    const std::string firmware = Pattern(3000, 8);
    const std::string localConfig = uploads + kConfigName;
    const std::string localFirmware = uploads + "wxyz0001.fup";
    ASSERT_TRUE(Write(backups + kConfigName, earlier));
    ASSERT_TRUE(Write(localConfig, Pattern(6000, 9)));
    ASSERT_TRUE(Write(localFirmware, Pattern(9000, 10)));
    ASSERT_TRUE(PutOnUnit("config", kConfigName, config));
    ASSERT_TRUE(PutOnUnit("firmware", "abcd1234.fup", firmware));
    ASSERT_NO_FATAL_FAILURE(Open({localConfig, localFirmware}));
    ASSERT_TRUE(StartFakeFtp("NAS01", "refuse"));

    const struct
    {
        const char* what;
        int command;
        Texts expected;
    } cases[] = {
        {"backup", kIdBackup, {BackupSavedAt(backups + kConfigName), kBackupError + "0006."}},
        {"restore", kIdRestore, {kRestoreError + "0006."}},
        {"firmware", kIdFwUpdate, {kFirmwareError + "0006."}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(window->Press(c.command, kTransferLimitMs)) << "the command hung";
        EXPECT_EQ(NewTexts(), c.expected);
        EXPECT_TRUE(window->Usable());
    }
    EXPECT_EQ(Names(backups), std::vector<std::string>{kConfigName});
    EXPECT_EQ(Read(backups + kConfigName), earlier);
    EXPECT_EQ(Read(remoteConfig), config);
    EXPECT_EQ(Names(root + "/firmware"), std::vector<std::string>{"abcd1234.fup"});
    EXPECT_EQ(Read(root + "/firmware/abcd1234.fup"), firmware);
    const std::string log = test::ManagerLog();
    EXPECT_NE(log.find("  FTP login failed 0x2eef: "), std::string::npos) << log;
    EXPECT_EQ(log.find("  FTP stored"), std::string::npos) << log;
}

// The PC's backup disk fills up during a backup: the user is told, no cut-off copy takes
// the backup's name, the earlier backups stay as they were, and the unit keeps its file.
// With room again the same backup goes through.
TEST_F(TransferFaults, fullDiskDuringABackupKeepsEveryEarlierBackup)
{
    ASSERT_EQ(std::system(("mount -t tmpfs -o size=64k zelvo-full '" + backups + "'").c_str()), 0);
    const std::string earlier = Pattern(4000, 11);
    const std::string otherUnit = Pattern(4000, 12);
    const std::string config = Pattern(48 << 10, 13); // more than is left, less than the disk
    ASSERT_TRUE(Write(backups + kConfigName, earlier));
    ASSERT_TRUE(Write(backups + "nas_400099.dat", otherUnit));
    ASSERT_TRUE(Write(backups + "filler", std::string(40 << 10, 'f')));
    ASSERT_TRUE(PutOnUnit("config", kConfigName, config));
    ASSERT_NO_FATAL_FAILURE(Open({}));

    ASSERT_TRUE(window->Press(kIdBackup, kTransferLimitMs)) << "the command hung";
    EXPECT_EQ(NewTexts(), (Texts{BackupSavedAt(backups + kConfigName), kBackupError + "0070."}));
    EXPECT_EQ(Names(backups), (std::vector<std::string>{"filler", kConfigName, "nas_400099.dat"}));
    EXPECT_EQ(Read(backups + kConfigName), earlier);
    EXPECT_EQ(Read(backups + "nas_400099.dat"), otherUnit);
    EXPECT_EQ(Read(remoteConfig), config) << "the unit's file went without a backup";
    EXPECT_TRUE(window->Usable());

    ASSERT_TRUE(fs::remove(backups + "filler"));
    ASSERT_TRUE(window->Press(kIdBackup, kTransferLimitMs));
    EXPECT_EQ(NewTexts(),
              (Texts{BackupSavedAt(backups + kConfigName), BackupDone(backups + kConfigName)}));
    EXPECT_EQ(Read(backups + kConfigName), config);
    EXPECT_EQ(Read(backups + "nas_400099.dat"), otherUnit);
    EXPECT_FALSE(fs::exists(remoteConfig));
}

// Exit, Esc and the close box while a backup, a restore of that backup and a firmware
// upload run: the window stays, each transfer completes with its bytes intact, and the
// window closes when asked afterwards.
TEST_F(TransferFaults, closingIsRefusedWhileATransferRunsAndTheTransferCompletes)
{
    const std::string config = Pattern(6 << 20, 14);
    const std::string firmware = Pattern(6 << 20, 15);
    const std::string localFirmware = uploads + "wxyz0001.fup";
    ASSERT_TRUE(PutOnUnit("config", kConfigName, config));
    ASSERT_TRUE(PutOnUnit("firmware", "abcd1234.fup", Pattern(3000, 16)));
    ASSERT_TRUE(Write(localFirmware, firmware));
    ASSERT_NO_FATAL_FAILURE(Open({backups + kConfigName, localFirmware}));

    const struct
    {
        const char* what;
        int command;
        Texts expected;
        std::string path; // where the bytes must arrive whole
        const std::string& bytes;
    } cases[] = {
        {"backup",
         kIdBackup,
         {BackupSavedAt(backups + kConfigName), BackupDone(backups + kConfigName)},
         backups + kConfigName,
         config},
        {"restore", kIdRestore, {kRestoreDone}, remoteConfig, config},
        {"firmware", kIdFwUpdate, {kFirmwareDone}, root + "/firmware/wxyz0001.fup", firmware},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        bool stayed = false;
        {
            SlowLink slow;
            ASSERT_TRUE(slow.Ok());
            ASSERT_TRUE(window->Press(c.command, kTransferLimitMs, 1000, [&] {
                window->dialog->OnCommand(kIdExit);
                QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
                QApplication::sendEvent(window->dialog.get(), &esc);
                window->dialog->close();
                stayed = window->dialog->isVisible() && window->dialog->State().m_bBusy == 1;
            })) << "the command hung";
        }
        EXPECT_TRUE(stayed) << "the window closed while the transfer ran";
        EXPECT_EQ(NewTexts(), c.expected);
        EXPECT_EQ(Read(c.path), c.bytes);
        EXPECT_TRUE(window->Usable());
    }
    EXPECT_EQ(Names(root + "/firmware"), std::vector<std::string>{"wxyz0001.fup"});
    window->dialog->OnCommand(kIdExit);
    EXPECT_FALSE(window->dialog->isVisible());
}

} // namespace
} // namespace zelvo::faults
