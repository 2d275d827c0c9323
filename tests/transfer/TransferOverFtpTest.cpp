// The transfer commands with the real FTP client against a small FTP server on loopback
// that misbehaves: silence, a crash halfway through a file, a refused login; and firmware
// files on this PC that cannot be read.
#include "core/LogWriter.h"
#include "core/MessageCatalogue.h"
#include "core/ScriptedMessageBoxes.h"
#include "core/ScriptedUnitDialogs.h"
#include "support/FakeFrontEnd.h"
#include "support/FakeUrlOpener.h"
#include "support/MiniFtpServer.h"
#include "transfer/TransferCommands.h"
#include "transfer/TransferTexts.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <linux/capability.h>
#include <sstream>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>

namespace zelvo {
namespace {

using test::MiniFtpServer;

const std::string kOriginal = std::string(200000, '\xff') + std::string("\r\n\0x", 4);

struct QuickPasses final : ProgressPasses
{
    void RunProgressPass(int, int) override
    {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    void RunTimedPass(int, int) override {}
    void RunSearchPass(int, int) override {}
    void RunRetrievePass(int) override {}
};

std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Root reads any file. For its lifetime this thread, and the workers it starts, give up
// the two capabilities that allow it, so that a file of mode 000 cannot be read.
class WithoutReadingEverything
{
public:
    WithoutReadingEverything()
    {
        __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
        ::syscall(SYS_capget, &header, m_saved);
        __user_cap_data_struct reduced[2] = {m_saved[0], m_saved[1]};
        reduced[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
        ::syscall(SYS_capset, &header, reduced);
    }
    ~WithoutReadingEverything()
    {
        __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
        ::syscall(SYS_capset, &header, m_saved);
    }

private:
    __user_cap_data_struct m_saved[2] = {};
};

class TransferOverFtp : public ::testing::Test
{
protected:
    static void SetUpTestSuite() { InitFtpLibrary(); }
    TransferOverFtp()
    {
        char name[] = "/tmp/zelvo-backup-XXXXXX";
        folder = std::string(::mkdtemp(name)) + "/";
        LogWriter::SetLogPath(folder + "manager.log");
        LogWriter::CreateEmpty();
        settings.SetSlot(5, "/config");
        settings.SetSlot(6, "/firmware");
        state.devices.rows[1].SetIpText("127.0.0.1");
        state.devices.rows[1].SetMacText("02-5a-e1-ab-cd-ef");
        state.devices.UnitRows[0] = 1;
        state.devices.UnitCount = 1;
        state.devices.RowCount = 2;
        state.UnitsFound = 1;
        server.AddDirectory("/config");
        server.PutFile("/config/nas_ABCDEF.dat", kOriginal);
    }
    ~TransferOverFtp() override { std::system(("rm -rf '" + folder + "'").c_str()); }

    // One command, the file dialog answered with file; returns the boxes' texts.
    std::vector<std::string> Run(void (TransferCommands::*command)(), int budget,
                                 std::optional<std::string> file = std::nullopt,
                                 std::vector<MessageAnswer> answers = {})
    {
        ScriptedMessageBoxes boxes(answers);
        ScriptedUnitPickDialog pick({0});
        ScriptedUnitFileDialog files({file});
        TransferServices services{state,  controls, passes, boxes,
                                  pick,   files,    urls,   MakeCurlFtpClient(),
                                  folder, settings};
        services.storageOf = [](const std::string&) { return StorageOfPath{}; };
        services.budgetSeconds = budget;
        services.ftpPort = server.Port();
        {
            TransferCommands commands(services);
            (commands.*command)();
            EXPECT_FALSE(commands.WorkerRunning());
        }
        EXPECT_EQ(state.m_bBusy, 0);
        std::vector<std::string> texts;
        for (const auto& shown : boxes.ShownBoxes())
            texts.push_back(shown.text);
        return texts;
    }
    // One backup; returns the last box's text.
    std::string Backup(int budget)
    {
        const auto texts = Run(&TransferCommands::Backup, budget);
        return texts.empty() ? "" : texts.back();
    }

    std::string folder;
    IniValues settings;
    RunState state;
    test::FakeFrontEnd controls;
    QuickPasses passes;
    FakeUrlOpener urls;
    MiniFtpServer server;
};

TEST_F(TransferOverFtp, aSilentServerEndsAsTimeOutWithinTheBudgetAndLeavesNoConnection)
{
    server.SetFault(MiniFtpServer::Fault::SilentGreeting);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Backup(2), "VELDIX Organization info. downloadnig not completed successfully because "
                         "of Time out.\r\nDownloading again recommended.");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10)); // hang guard
    // The job's connection is closed by the time the command has ended.
    for (int i = 0; i < 100 && server.OpenSessions() != 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(server.OpenSessions(), 0);
}

TEST_F(TransferOverFtp, aServerThatDiesHalfwayLosesNothing)
{
    const std::string local = folder + "nas_ABCDEF.dat";
    std::ofstream(local, std::ios::binary) << "last week's backup";
    server.SetFault(MiniFtpServer::Fault::CutRetrieve);
    const std::string report = Backup(60);
    EXPECT_EQ(
        report.rfind(
            "Error occurred on VELDIX Organization info. Downloading. \r\n Error code : 0x", 0),
        0u)
        << report;
    EXPECT_EQ(ReadAll(local), "last week's backup");
    EXPECT_TRUE(server.HasFile("/config/nas_ABCDEF.dat"));
    const std::string log = ReadAll(folder + "manager.log");
    EXPECT_NE(log.find("  FTP retrieve failed 0x"), std::string::npos) << log;

    server.SetFault(MiniFtpServer::Fault::None);
    EXPECT_EQ(Backup(60),
              "VELDIX Organization info. Downloading completed successfully. \r\nSave on file : " +
                  local);
    EXPECT_EQ(ReadAll(local), kOriginal);
    EXPECT_FALSE(server.HasFile("/config/nas_ABCDEF.dat"));
}

TEST_F(TransferOverFtp, aRefusedLoginShowsTheLastStepsCodeAndLogsTheFirst)
{
    server.SetFault(MiniFtpServer::Fault::RefuseLogin);
    EXPECT_EQ(Backup(60),
              "Error occurred on VELDIX Organization info. Downloading. \r\n Error code : 0x0006.");
    const std::string log = ReadAll(folder + "manager.log");
    EXPECT_NE(log.find("  FTP login failed 0x2eef"), std::string::npos) << log;
}

// A firmware file that cannot be read, whatever the reason, ends the command with its code
// before the unit is reached: the unit keeps its firmware.
TEST_F(TransferOverFtp, anUnreadableFirmwareFileLeavesTheUnitsFirmwareInPlace)
{
    server.AddDirectory("/firmware");
    server.PutFile("/firmware/aaaa0001.fup", "the unit's firmware");
    const std::string fup = folder + "abcd1234.fup";
    const std::string tooLong = folder + std::string(250, 'd') + "/abcd1234.fup";
    const std::string failed = "Error occurred on VELDIX Firmware Uploading. Error code : ";
    const struct
    {
        const char* what;
        std::function<void()> prepare;
        std::string path;
        std::string text;
    } cases[] = {
        {"missing", [] {}, fup, failed + "0x0002."},
        {"a folder", [&] { ASSERT_EQ(::mkdir(fup.c_str(), 0700), 0); }, fup, failed + "0x001e."},
        {"unreadable",
         [&] {
             std::ofstream(fup) << "firmware";
             ASSERT_EQ(::chmod(fup.c_str(), 0), 0);
         },
         fup, failed + "0x0005."},
        // Reading this process's memory from its start fails with EIO.
        {"a read error", [&] { ASSERT_EQ(::symlink("/proc/self/mem", fup.c_str()), 0); }, fup,
         failed + "0x001e."},
        {"too long a name", [] {}, tooLong, transfer_texts::PathTooLong(0, tooLong)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::system(("rm -rf '" + fup + "'").c_str());
        c.prepare();
        WithoutReadingEverything notRoot;
        EXPECT_EQ(Run(&TransferCommands::FirmwareUpdate, 60, c.path),
                  std::vector<std::string>{c.text});
    }
    EXPECT_EQ(server.Sessions(), 0);
    EXPECT_EQ(server.FileBytes("/firmware/aaaa0001.fup"), "the unit's firmware");
}

// The unit's server dies halfway through a restore: what it kept is deleted over a new
// connection, and the next restore finds no file of that name to ask about.
TEST_F(TransferOverFtp, aRestoreCutOffLeavesNoFileOnTheUnit)
{
    // The backup brings the unit's file here and takes it off the unit.
    const std::string local = folder + "nas_ABCDEF.dat";
    server.PutFile("/config/other.dat", "another file");
    server.SetFault(MiniFtpServer::Fault::CutStore);
    ASSERT_EQ(Backup(60),
              "VELDIX Organization info. Downloading completed successfully. \r\nSave on file : " +
                  local);

    const auto failed = Run(&TransferCommands::Restore, 60, local);
    ASSERT_EQ(failed.size(), 1u);
    EXPECT_EQ(failed[0].rfind(
                  "Error occurred on VELDIX Organization info. Uploading. Error code : 0x", 0),
              0u)
        << failed[0];
    EXPECT_FALSE(server.HasFile("/config/nas_ABCDEF.dat"));
    EXPECT_FALSE(server.HasFile("/config/nas_ABCDEF.dat.part"));
    EXPECT_EQ(server.FileBytes("/config/other.dat"), "another file");
    EXPECT_NE(ReadAll(folder + "manager.log").find("  FTP removed nas_ABCDEF.dat.part\r\n"),
              std::string::npos);

    server.SetFault(MiniFtpServer::Fault::None);
    EXPECT_EQ(Run(&TransferCommands::Restore, 60, local, {MessageAnswer::No}),
              std::vector<std::string>{MessageCatalogue::Choose(0, 143, 144)});
    EXPECT_EQ(server.FileBytes("/config/nas_ABCDEF.dat"), kOriginal);
}

} // namespace
} // namespace zelvo
