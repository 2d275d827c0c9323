// The transfers' faults that only a real network shows: the real window, search and FTP
// client in a lab against a unit whose vsftpd is killed mid-transfer, or that never greets. Each
// ends with a clear message, no copy lost or replaced by a cut-off one, no hang, and a window that
// takes commands again.
#include "support/FakeUrlOpener.h"
#include "support/LabWindow.h"
#include "support/ScriptedUnitDialogs.h"
#include "support/WaitUntil.h"

#include <QTimer>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <thread>

namespace zelvo::faults {
namespace {

namespace fs = std::filesystem;
using test::Lab;
using Texts = std::vector<std::string>;

const std::string kConfigName = "nas_400001.dat"; // NAS01's MAC ends in 40:00:01
constexpr int kTransferLimitMs = 90000;           // hang guard only: the budget is a minute

Texts Names(const std::string& folder)
{
    Texts names;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder, error))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// The bytes of the files in folder whose names start with prefix (a transfer's part file).
uintmax_t BytesOf(const std::string& folder, const std::string& prefix)
{
    uintmax_t bytes = 0;
    std::error_code error;
    for (const std::string& name : Names(folder))
        bytes += name.starts_with(prefix) ? fs::file_size(folder + "/" + name, error) : 0;
    return bytes;
}

// Signals the unit's vsftpd processes, all chosen before any is signalled.
void SignalUnitFtp(const std::string& signal)
{
    std::system(("victims=; for p in $(ip netns pids " + test::LabOutput("ns NAS01") +
                 "); do [ \"$(cat /proc/$p/comm 2>/dev/null)\" = vsftpd ] && "
                 "victims=\"$victims $p\"; done; [ -z \"$victims\" ] || kill -" +
                 signal + " $victims; true")
                    .c_str());
}

// The unit's own vsftpd started again as the lab starts it, until it answers: the lab does
// not start a server whose recorded process still exists, as a killed one's zombie does.
bool StartUnitFtp()
{
    const std::string services =
        fs::path(std::getenv("ZELVO_LAB")).parent_path().string() + "/node-services.sh";
    const std::string prefix = std::getenv("ZELVO_LAB_PREFIX");
    return test::WaitUntil(std::chrono::seconds(30), [&] {
        return Lab("unit-exec NAS01 -- " + services + " start " + prefix + " NAS01") == 0 &&
               Lab("unit-exec NAS01 -- " + services + " ready " + prefix +
                   " NAS01 2 2>/dev/null") == 0;
    });
}

class TransferFaults : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ZELVO_REQUIRE_LAB();
        char name[] = "/tmp/zelvo-transfer-faults-XXXXXX";
        ASSERT_TRUE(::mkdtemp(name));
        scratch = name, backups = scratch + "/backups/", local = backups + kConfigName;
        fs::create_directories(backups);
        root = test::LabOutput("unit-ftp-root NAS01");
        ASSERT_FALSE(root.empty());
        remoteConfig = root + "/config/" + kConfigName;
        // Whatever an earlier case left: the unit's own server, running, no file of ours.
        SignalUnitFtp("KILL");
        ASSERT_TRUE(StartUnitFtp());
        for (const std::string& folder : {root + "/config", root + "/firmware"})
            for (const std::string& file : Names(folder))
                fs::remove(folder + "/" + file);

        test::ToolWindowOptions options;
        options.urls = &urls;
        options.parts.unitPick = std::make_shared<ScriptedUnitPickDialog>(
            std::vector<std::optional<int>>(20, std::optional<int>(0)));
        options.parts.backupFolder = backups;
        window = std::make_unique<test::LabWindow>(std::move(options));
        ASSERT_TRUE(window->Start());
        ASSERT_EQ(window->ListedNames(), Texts{"NAS01"});
    }
    void TearDown() override
    {
        window.reset();
        if (!scratch.empty())
            fs::remove_all(scratch);
    }

    static auto Read(const std::string& path) { return ReadSmallFile(path, 64 << 20); }
    static bool Write(const std::string& path, const std::string& bytes)
    {
        return static_cast<bool>(std::ofstream(path, std::ios::binary) << bytes << std::flush);
    }
    // Presses command and kills the unit's vsftpd once moving() holds; true when the command
    // ended after the kill. Both ends send at 16 Mbit/s meanwhile, so that the transfer lasts
    // seconds and the kill strikes in its middle.
    bool PressAndKill(int command, std::function<bool()> moving)
    {
        const std::string tbf = "tc qdisc replace dev eth0 root tbf rate 16mbit burst 32kb "
                                "latency 200ms";
        const bool slow = std::system(tbf.c_str()) == 0 && Lab("unit-exec NAS01 -- " + tbf) == 0;
        std::atomic<bool> ended = false, killed = false;
        std::jthread killer([&] {
            if (test::WaitUntil(std::chrono::seconds(60), [&] { return ended || moving(); }) &&
                !ended) {
                SignalUnitFtp("KILL");
                killed = true;
            }
        });
        const bool done = window->Press(command, kTransferLimitMs);
        ended = true;
        killer.join();
        std::system("tc qdisc del dev eth0 root");
        Lab("unit-exec NAS01 -- tc qdisc del dev eth0 root");
        return slow && done && killed;
    }

    std::string scratch, backups, local, root, remoteConfig;
    FakeUrlOpener urls;
    std::unique_ptr<test::LabWindow> window;
};

// The unit's FTP server dies while a backup moves a large file: the error is told, the good
// copies stay good, and the backup succeeds once the server is back. A restore cut off the
// same way is the FTP client's cut-off store (it began) and the jobs' table (its passing copy
// removed), its message the command's test.
TEST_F(TransferFaults, serverKilledMidTransferLosesNothingAndTheCommandWorksAfterwards)
{
    std::string big(8 << 20, '\0'); // CR, LF, NUL and 0xff among its bytes
    for (std::size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<char>((i * 7919) >> 3);
    ASSERT_TRUE(Write(local, "an earlier backup"));
    ASSERT_TRUE(Write(scratch + "/staged", big));
    ASSERT_EQ(Lab("unit-put NAS01 config " + scratch + "/staged " + kConfigName), 0);
    ASSERT_TRUE(PressAndKill(
        kIdBackup, [&] { return BytesOf(backups, "." + kConfigName + ".part") >= (1u << 20); }));
    EXPECT_EQ(
        window->Texts(),
        (Texts{
            "Organization File will be saved at follow.\r\n" + local + "\n",
            "Error occurred on VELDIX Organization info. Downloading. \r\n Error code : 0x2f4f."}));
    EXPECT_EQ(Read(local), "an earlier backup");
    EXPECT_EQ(Names(backups), Texts{kConfigName}) << "a part file is left";
    EXPECT_EQ(Read(remoteConfig), big) << "the unit's file went without a backup";
    ASSERT_TRUE(StartUnitFtp());
    ASSERT_TRUE(window->Press(kIdBackup, kTransferLimitMs));
    EXPECT_EQ(window->Texts().back(),
              "VELDIX Organization info. Downloading completed successfully. \r\nSave on file : " +
                  local);
    EXPECT_EQ(Read(local), big);
    EXPECT_TRUE(window->Usable());
}

// A server that takes connections and never says a word (its listener stopped): the backup
// waits out its budget with the window handling events. The time-out's message and the
// stopped job's end show in the command's and the FTP client's tests, the earlier backup
// kept in the killed server's case.
TEST_F(TransferFaults, silentServerEndsInATimeOutWhileTheWindowStaysResponsive)
{
    SignalUnitFtp("STOP");

    int busyTicks = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        if (window->dialog->State().m_bBusy)
            ++busyTicks;
    });
    ticker.start(250);
    ASSERT_TRUE(window->Press(kIdBackup, kTransferLimitMs)) << "the command hung";
    ticker.stop();
    // A quarter-second timer over a wait of a minute: 240 ticks. A window that froze, or
    // that handled its events only between passes of a second, gets a quarter of them.
    EXPECT_GE(busyTicks, 120);
    EXPECT_TRUE(window->Usable());
}

} // namespace
} // namespace zelvo::faults
