// The backup command with the real FTP client against a small FTP server on loopback
// that misbehaves: silence, a crash halfway through the file, a refused login.
#include "core/LogWriter.h"
#include "core/ScriptedMessageBoxes.h"
#include "core/ScriptedUnitDialogs.h"
#include "support/FakeUrlOpener.h"
#include "support/MiniFtpServer.h"
#include "transfer/TransferCommands.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>
#include <unistd.h>

namespace zelvo {
namespace {

using test::MiniFtpServer;

const std::string kOriginal = std::string(200000, '\xff') + std::string("\r\n\0x", 4);

struct NoControls final : DialogControls
{
    void EnableControl(int, bool) override {}
    bool IsControlEnabled(int) const override { return true; }
    bool IsChecked(int) const override { return false; }
    void SetChecked(int, bool) override {}
    void ClearList() override {}
    void ShowRow(int, const DeviceRecord&) override {}
    void SetSelectionMark(int) override {}
};

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

    // One backup; returns the last box's text.
    std::string Backup(int budget)
    {
        ScriptedMessageBoxes boxes;
        ScriptedUnitPickDialog pick({0});
        ScriptedUnitFileDialog file;
        TransferServices services{state,  controls, passes, boxes,
                                  pick,   file,     urls,   MakeCurlFtpClient(),
                                  folder, settings};
        services.storageOf = [](const std::string&) { return StorageOfPath{}; };
        services.budgetSeconds = budget;
        services.ftpPort = server.Port();
        {
            TransferCommands commands(services);
            commands.Backup();
            EXPECT_FALSE(commands.WorkerRunning());
        }
        EXPECT_EQ(state.m_bBusy, 0);
        return boxes.ShownBoxes().empty() ? "" : boxes.ShownBoxes().back().text;
    }

    std::string folder;
    IniValues settings;
    DialogState state;
    NoControls controls;
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

} // namespace
} // namespace zelvo
