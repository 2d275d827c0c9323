// Back up, Restore, FW Update and the web pages with scripted dialogs and boxes over an
// FTP world in memory: which questions come, which steps run, and that every path
// ends with the buttons restored.
#include "transfer/TransferCommands.h"
#include "core/CommandButtonRules.h"
#include "core/LogWriter.h"
#include "core/MessageCatalogue.h"
#include "core/ScriptedMessageBoxes.h"
#include "core/ScriptedUnitDialogs.h"
#include "support/FakeUrlOpener.h"
#include "transfer/FakeFtp.h"
#include "transfer/UnitPages.h"

#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <thread>
#include <unistd.h>

namespace zelvo {
namespace {

using test::FakeFtp;
using Answers = std::vector<MessageAnswer>;
constexpr auto Yes = MessageAnswer::Yes;
constexpr auto No = MessageAnswer::No;

struct FakeControls final : DialogControls
{
    std::map<int, bool> enabled;
    int selected = -1;
    void EnableControl(int id, bool on) override { enabled[id] = on; }
    bool IsControlEnabled(int id) const override { return enabled.count(id) && enabled.at(id); }
    bool IsChecked(int) const override { return false; }
    void SetChecked(int, bool) override {}
    void ClearList() override {}
    void ShowRow(int, const DeviceRecord&) override {}
    void SetSelectionMark(int) override {}
    int FirstSelectedListRow() const override { return selected; }
};

struct FakePasses final : ProgressPasses
{
    std::vector<int> kinds;
    int passMs = 2;
    void RunProgressPass(int, int kind) override
    {
        kinds.push_back(kind);
        std::this_thread::sleep_for(std::chrono::milliseconds(passMs));
    }
    void RunTimedPass(int, int) override {}
    void RunSearchPass(int, int) override {}
    void RunRetrievePass(int) override {}
};

void AddUnit(DialogState& state, int row, const char* ip, const char* name, const char* mac)
{
    state.devices.rows[row].SetIpText(ip);
    state.devices.rows[row].SetName(name);
    state.devices.rows[row].SetMacText(mac);
    state.devices.UnitRows[state.devices.UnitCount++] = row;
    state.devices.RowCount = std::max(state.devices.RowCount, row + 1);
    state.UnitsFound = 1;
}

class TransferCommandsTest : public ::testing::Test
{
protected:
    TransferCommandsTest()
    {
        LogWriter::SetLogPath(log);
        LogWriter::CreateEmpty();
        settings.SetSlot(1, "/index.html");
        settings.SetSlot(2, "/config/create.html");
        settings.SetSlot(3, "/config/restore.html");
        settings.SetSlot(4, "/firmware/update.html");
        settings.SetSlot(5, "/config");
        settings.SetSlot(6, "/firmware");
        AddUnit(state, 1, "10.231.7.21", "nas01", "02-5a-e1-ab-cd-ef");
        AddUnit(state, 2, "10.231.7.22", "nas02", "02-5a-e1-40-00-02");
        state.host.NetInfoAvailable = 1;
        ftp->directories["/config"] = {};
        ftp->directories["/firmware"] = {};
    }
    ~TransferCommandsTest() override { ::unlink(log.c_str()); }

    // Runs one command with these answers and dialog choices.
    void Run(void (TransferCommands::*command)(), Answers answers,
             std::vector<std::optional<int>> picks = {0},
             std::vector<std::optional<std::string>> files = {})
    {
        boxes = std::make_unique<ScriptedMessageBoxes>(answers);
        pick = std::make_unique<ScriptedUnitPickDialog>(picks);
        file = std::make_unique<ScriptedUnitFileDialog>(files);
        TransferServices services{state,   controls, passes,
                                  *boxes,  *pick,    *file,
                                  urls,    ftp,      "/home/user/.local/share/zelvo-setup/",
                                  settings};
        services.storageOf = [this](const std::string&) { return storage; };
        services.budgetSeconds = budget;
        TransferCommands commands(services);
        (commands.*command)();
        EXPECT_FALSE(commands.WorkerRunning());
        finishedWorker = !commands.WorkerRunning();
    }

    std::vector<std::string> Texts() const
    {
        std::vector<std::string> texts;
        for (const auto& shown : boxes->ShownBoxes())
            texts.push_back(shown.text);
        return texts;
    }
    int Logins() const
    {
        int count = 0;
        for (const auto& step : ftp->Steps())
            count += step.rfind("login", 0) == 0;
        return count;
    }
    void ExpectRestored() const
    {
        EXPECT_EQ(state.m_bBusy, 0);
        EXPECT_TRUE(controls.IsControlEnabled(kIdBackup));
        EXPECT_TRUE(controls.IsControlEnabled(kIdRestore));
        EXPECT_TRUE(controls.IsControlEnabled(kIdSearch));
        EXPECT_TRUE(controls.IsControlEnabled(kIdExit));
        EXPECT_FALSE(controls.IsControlEnabled(kIdSetIp));
        EXPECT_TRUE(controls.IsControlEnabled(kIdEnableSetIp)); // open network
    }

    const std::string log = "/tmp/zelvo-transfer-" + std::to_string(::getpid()) + ".log";
    IniValues settings;
    DialogState state;
    FakeControls controls;
    FakePasses passes;
    FakeUrlOpener urls;
    std::shared_ptr<FakeFtp> ftp = std::make_shared<FakeFtp>();
    std::unique_ptr<ScriptedMessageBoxes> boxes;
    std::unique_ptr<ScriptedUnitPickDialog> pick;
    std::unique_ptr<ScriptedUnitFileDialog> file;
    StorageOfPath storage;
    int budget = kTransferBudgetSeconds;
    bool finishedWorker = false;
};

const std::string kFolder = "/home/user/.local/share/zelvo-setup/";

TEST_F(TransferCommandsTest, backupFetchesAnExistingFileAndSaysWhere)
{
    ftp->directories["/config"] = {"nas_ABCDEF.dat"};
    Run(&TransferCommands::Backup, {});
    EXPECT_EQ(
        Texts(),
        (std::vector<std::string>{
            "Organization File will be saved at follow.\r\n" + kFolder + "nas_ABCDEF.dat\n",
            "VELDIX Organization info. Downloading completed successfully. \r\nSave on file : " +
                kFolder + "nas_ABCDEF.dat"}));
    EXPECT_EQ(Logins(), 2); // the check, then the fetch
    EXPECT_EQ(ftp->Steps().back(), "dele nas_ABCDEF.dat");
    EXPECT_EQ(state.devices.SelectedRow, 1);
    EXPECT_EQ(passes.kinds.front(), kProgressConfigDownload);
    ASSERT_EQ(pick->Shown().size(), 1u);
    EXPECT_EQ(pick->Shown()[0].message, "Download Organization. Number of VELDIX : 02");
    ExpectRestored();
}

TEST_F(TransferCommandsTest, backupWithoutAFileOffersTheCreatePage)
{
    for (const MessageAnswer answer : {Yes, No}) {
        Run(&TransferCommands::Backup, {answer}, {1});
        ASSERT_EQ(Texts().size(), 2u);
        EXPECT_EQ(Texts()[1], MessageCatalogue::Choose(0, 145, 146));
        ExpectRestored();
    }
    EXPECT_EQ(urls.Opened(), std::vector<std::string>{"http://10.231.7.22/config/create.html"});
    EXPECT_EQ(Logins(), 2); // one check per backup, no fetch
}

TEST_F(TransferCommandsTest, backupAsksAboutFloppyAndRemovableFolders)
{
    struct Case
    {
        StorageKind kind;
        std::string question;
    };
    const std::vector<Case> cases{
        {StorageKind::Floppy,
         "Organization File will be saved to a floppy drive. Do you want to do it anyway?"},
        {StorageKind::Removable,
         "Organization File will be saved to \r\ndrive : /media/stick Do you want to do it anyway?"},
        {StorageKind::Optical,
         "Organization File will be saved to \r\ndrive : /media/stick Do you want to do it anyway?"},
    };
    storage.mountPoint = "/media/stick";
    for (const Case& c : cases) {
        storage.kind = c.kind;
        Run(&TransferCommands::Backup, {No});
        EXPECT_EQ(Texts(), std::vector<std::string>{c.question});
        EXPECT_TRUE(pick->Shown().empty());
        ExpectRestored();
    }
    EXPECT_TRUE(ftp->Steps().empty());
}

TEST_F(TransferCommandsTest, aCancelledDialogOrABusyWindowStartsNoJob)
{
    Run(&TransferCommands::Backup, {}, {std::nullopt});
    ExpectRestored();
    Run(&TransferCommands::Restore, {}, {0}, {std::nullopt});
    ExpectRestored();
    Run(&TransferCommands::FirmwareUpdate, {}, {std::nullopt});
    ExpectRestored();
    state.m_bBusy = 1;
    controls.enabled.clear();
    Run(&TransferCommands::Backup, {});
    EXPECT_TRUE(pick->Shown().empty());
    EXPECT_TRUE(controls.enabled.empty());
    EXPECT_TRUE(ftp->Steps().empty());
}

TEST_F(TransferCommandsTest, restoreTakesOnlyTheUnitsExactName)
{
    for (const char* name : {"NAS_ABCDEF.DAT", "nas_abcdef.dat", "nas_400002.dat"}) {
        Run(&TransferCommands::Restore, {}, {0}, {std::string("/backups/") + name});
        EXPECT_EQ(Texts(), std::vector<std::string>{
                               std::string("File selected can't be used for saving target VELDIX. "
                                           "\r\n\r\nSelected file:") +
                               name + "\r\nFile shoule be used. : nas_ABCDEF.dat\r\n"});
        ExpectRestored();
    }
    EXPECT_TRUE(ftp->Steps().empty());

    Run(&TransferCommands::Restore, {Yes}, {0}, {"/backups/nas_ABCDEF.dat"});
    EXPECT_TRUE(ftp->Has("/config", "nas_ABCDEF.dat"));
    EXPECT_EQ(Texts(), std::vector<std::string>{MessageCatalogue::Choose(0, 143, 144)});
    EXPECT_EQ(urls.Opened(), std::vector<std::string>{"http://10.231.7.21/config/restore.html"});
    EXPECT_EQ(file->Shown()[0].title, "Select Organization File");
    EXPECT_EQ(file->Shown()[0].okCaption, "Select");
    EXPECT_EQ(passes.kinds.back(), kProgressConfigUpload);
}

TEST_F(TransferCommandsTest, restoreAsksBeforeReplacingTheUnitsFile)
{
    ftp->directories["/config"] = {"nas_ABCDEF.dat"};
    Run(&TransferCommands::Restore, {No}, {0}, {"/b/nas_ABCDEF.dat"});
    EXPECT_EQ(Texts(), std::vector<std::string>{MessageCatalogue::Choose(0, 128, 129)});
    EXPECT_EQ(Logins(), 1);
    ExpectRestored();

    Run(&TransferCommands::Restore, {Yes, No}, {0}, {"/b/nas_ABCDEF.dat"});
    EXPECT_EQ(Texts(), (std::vector<std::string>{MessageCatalogue::Choose(0, 128, 129),
                                                 MessageCatalogue::Choose(0, 143, 144)}));
    EXPECT_EQ(Logins(), 3);
    EXPECT_EQ(ftp->Steps().back(), "rename nas_ABCDEF.dat.part nas_ABCDEF.dat");
    EXPECT_TRUE(urls.Opened().empty());
}

TEST_F(TransferCommandsTest, firmwareNameRuleAndOutcomes)
{
    Run(&TransferCommands::FirmwareUpdate, {}, {0}, {"/fw/abcd1234.FUP"});
    EXPECT_EQ(Texts(), std::vector<std::string>{
                           "File selected can't be used for saving target VELDIX. \r\n\r\nSelected "
                           "file:abcd1234.FUP\r\nFile shoule be used. : xxxxyyyy.fup\r\n"});
    EXPECT_TRUE(ftp->Steps().empty());

    ftp->directories["/firmware"] = {"old00001.fup"};
    Run(&TransferCommands::FirmwareUpdate, {Yes}, {1}, {"/fw/abcd1234.fupx"});
    EXPECT_EQ(ftp->directories["/firmware"], std::vector<std::string>{"abcd1234.fupx"});
    EXPECT_EQ(urls.Opened(), std::vector<std::string>{"http://10.231.7.22/firmware/update.html"});
    EXPECT_EQ(passes.kinds.back(), kProgressFirmwareUpload);

    ftp->failures["stor"] = kFtpConnectionAborted;
    Run(&TransferCommands::FirmwareUpdate, {}, {0}, {"/fw/abcd1234.fup"});
    EXPECT_EQ(Texts(), std::vector<std::string>{
                           "Error occurred on VELDIX Firmware Uploading. Error code : 0x2efe."});
    ExpectRestored();
}

TEST_F(TransferCommandsTest, tooLongPathsAreRefusedBeforeAnyNetworkWork)
{
    const std::string longPath = "/" + std::string(300, 'd') + "/nas_ABCDEF.dat";
    Run(&TransferCommands::Restore, {}, {0}, {longPath});
    EXPECT_EQ(Texts(), std::vector<std::string>{MessageCatalogue::Choose(0, 942, 943) + longPath});
    EXPECT_TRUE(ftp->Steps().empty());
    ExpectRestored();
}

TEST_F(TransferCommandsTest, aJobPastItsBudgetIsStoppedAndReportedAsTimeOut)
{
    // Budgets count whole seconds of the clock: 2 s give a quick job at least one.
    budget = 2;
    ftp->directories["/config"] = {"nas_ABCDEF.dat"};
    FakeFtp* world = ftp.get();
    ftp->duringTransfer = [world] {
        while (!world->lastStop.load()->load())
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    };
    Run(&TransferCommands::Backup, {});
    ASSERT_EQ(Texts().size(), 2u);
    EXPECT_EQ(Texts()[1], "VELDIX Organization info. downloadnig not completed successfully "
                          "because of Time out.\r\nDownloading again recommended.");
    EXPECT_TRUE(finishedWorker);
    ExpectRestored();

    // The stopped fetch still ended its steps in this world: the unit's file is gone,
    // so the restore's store runs into the budget too.
    EXPECT_FALSE(ftp->Has("/config", "nas_ABCDEF.dat"));
    Run(&TransferCommands::Restore, {}, {0}, {"/b/nas_ABCDEF.dat"});
    EXPECT_EQ(Texts(), std::vector<std::string>{
                           "VELDIX Organization info. uploading not completed successfully because "
                           "of Time out.\r\nUploading again recommended."});
    EXPECT_TRUE(finishedWorker);
    ExpectRestored();
}

// A server that never answers is the command's time-out, told as such, never the FTP
// client's own silence limit running out first (a job that then ends at once on its
// failed login and shows an error code of a later step instead). The passes last as long
// as the window's, so the budget is seen only at the end of a pass.
TEST_F(TransferCommandsTest, aSilentServerIsTheCommandsTimeOutNotAnErrorCode)
{
    budget = 2;
    passes.passMs = 1000;
    ftp->silentServer = true;
    ftp->directories["/config"] = {"nas_ABCDEF.dat"};
    const struct
    {
        const char* what;
        void (TransferCommands::*command)();
        std::vector<std::optional<std::string>> files;
        std::string timedOut;
    } cases[] = {
        {"backup",
         &TransferCommands::Backup,
         {},
         "VELDIX Organization info. downloadnig not completed successfully because of Time "
         "out.\r\nDownloading again recommended."},
        {"restore",
         &TransferCommands::Restore,
         {"/b/nas_ABCDEF.dat"},
         "VELDIX Organization info. uploading not completed successfully because of Time "
         "out.\r\nUploading again recommended."},
        {"firmware",
         &TransferCommands::FirmwareUpdate,
         {"/b/abcd1234.fup"},
         "VELDIX Firmware file uploading not completed successfully because of Time "
         "out.\r\nUploading again recommended."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Run(c.command, {}, {0}, c.files);
        ASSERT_FALSE(Texts().empty());
        EXPECT_EQ(Texts().back(), c.timedOut);
        // The budget is seen at the end of the pass that passes it: the client's own
        // limit must lie beyond that pass.
        EXPECT_GT(ftp->lastSilenceLimitSeconds.load(), budget + 1);
        EXPECT_TRUE(finishedWorker);
        ExpectRestored();
    }
}

TEST_F(TransferCommandsTest, webToolAndDoubleClickFollowTheSelection)
{
    auto services = [this] { return UnitPageServices{state, controls, *boxes, urls, settings}; };
    boxes = std::make_unique<ScriptedMessageBoxes>();
    controls.selected = -1;
    UnitPageCommands(services()).WebTool();
    controls.selected = 0;
    UnitPageCommands(services()).WebTool();
    controls.selected = 2;
    UnitPageCommands(services()).WebTool();
    EXPECT_EQ(Texts(), (std::vector<std::string>{MessageCatalogue::Choose(0, 155, 156),
                                                 MessageCatalogue::Choose(0, 106, 107)}));
    controls.selected = 0;
    UnitPageCommands(services()).ListDoubleClick();
    controls.selected = 1;
    UnitPageCommands(services()).ListDoubleClick();
    state.m_bBusy = 1;
    UnitPageCommands(services()).ListDoubleClick();
    UnitPageCommands(services()).WebTool();
    EXPECT_EQ(urls.Opened(), (std::vector<std::string>{"http://10.231.7.22/index.html",
                                                       "http://10.231.7.21/index.html"}));

    // One unit, listed in row 2: the button looks at row 1 whatever is selected.
    state.m_bBusy = 0;
    state.devices.UnitCount = 1;
    state.devices.UnitRows[0] = 2;
    UnitPageCommands(services()).WebTool();
    EXPECT_EQ(Texts().back(), MessageCatalogue::Choose(0, 106, 107));
}

} // namespace
} // namespace zelvo
