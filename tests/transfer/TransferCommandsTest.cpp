// Back up, Restore, FW Update and the web pages with scripted dialogs and boxes over an FTP
// world in memory: which questions come, which steps run, and that every path ends idle.
#include "transfer/TransferCommands.h"
#include "core/IniSettings.h"
#include "core/MessageCatalogue.h"
#include "support/FakeFrontEnd.h"
#include "support/FakePasses.h"
#include "support/FakeUrlOpener.h"
#include "support/ScriptedMessageBoxes.h"
#include "support/ScriptedUnitDialogs.h"
#include "support/TemporaryLog.h"
#include "transfer/FakeFtp.h"
#include "transfer/TransferTexts.h"
#include "transfer/UnitPages.h"

#include <gtest/gtest.h>

namespace zelvo {
namespace {

using Answers = std::vector<MessageAnswer>;
using Strings = std::vector<std::string>;
using Files = std::vector<std::optional<std::string>>;
constexpr auto Yes = MessageAnswer::Yes;
constexpr auto No = MessageAnswer::No;
const std::string kFolder = "/home/user/.local/share/zelvo-setup/";

class TransferCommandsTest : public ::testing::Test
{
protected:
    TransferCommandsTest()
    {
        ParseIniValues(R"("/index.html" "/config/create.html" "/config/restore.html")"
                       R"("/firmware/update.html" "/config" "/firmware")",
                       settings);
        for (const auto& [row, ip, mac] : {std::tuple{1, "10.231.7.21", "02-5a-e1-ab-cd-ef"},
                                           {2, "10.231.7.22", "02-5a-e1-40-00-02"}}) {
            state.devices.rows[row].SetIpText(ip);
            state.devices.rows[row].SetMacText(mac);
            state.devices.UnitRows[state.devices.UnitCount++] = row;
        }
        state.devices.RowCount = 3;
        state.UnitsFound = state.host.NetInfoAvailable = 1;
    }

    // Runs one command with these answers and choices; it ends idle, with no worker left.
    void Run(void (TransferCommands::*command)(), Answers answers,
             std::vector<std::optional<int>> picks = {0}, Files files = {})
    {
        boxes = std::make_unique<ScriptedMessageBoxes>(answers);
        pick = std::make_unique<ScriptedUnitPickDialog>(picks);
        file = std::make_unique<ScriptedUnitFileDialog>(files);
        front.buttons = {};
        const int busy = state.m_bBusy;
        TransferServices services{state, front, passes, *boxes,  *pick,
                                  *file, urls,  ftp,    kFolder, settings};
        services.storageOf = [this](const std::string&) { return storage; };
        services.budgetSeconds = budget;
        TransferCommands commands(services);
        (commands.*command)();
        EXPECT_FALSE(commands.WorkerRunning());
        EXPECT_EQ(state.m_bBusy, busy);
        EXPECT_EQ(front.Buttons(), busy ? "------" : "110111"); // open network
    }
    Strings Texts() const { return boxes->Texts(); }
    long Logins() const
    {
        return std::ranges::count_if(
            ftp->Steps(), [](const std::string& step) { return step.starts_with("login"); });
    }

    test::TemporaryLog log;
    IniValues settings;
    RunState state;
    test::FakeFrontEnd front;
    test::FakePasses passes;
    FakeUrlOpener urls;
    std::shared_ptr<test::FakeFtp> ftp = std::make_shared<test::FakeFtp>();
    std::unique_ptr<ScriptedMessageBoxes> boxes;
    std::unique_ptr<ScriptedUnitPickDialog> pick;
    std::unique_ptr<ScriptedUnitFileDialog> file;
    StorageOfPath storage;
    int budget = kTransferBudgetSeconds;
};

TEST_F(TransferCommandsTest, backupFetchesTheUnitsFileOrOffersTheCreatePage)
{
    ftp->directories["/config"] = {"nas_ABCDEF.dat"};
    Run(&TransferCommands::Backup, {});
    EXPECT_EQ(Texts(), (Strings{"Organization File will be saved at follow.\r\n" + kFolder +
                                    "nas_ABCDEF.dat\n",
                                "VELDIX Organization info. Downloading completed successfully. "
                                "\r\nSave on file : " +
                                    kFolder + "nas_ABCDEF.dat"}));
    EXPECT_EQ(passes.progressKinds.front(), kProgressConfigDownload);
    EXPECT_EQ(pick->Shown().at(0).message, "Download Organization. Number of VELDIX : 02");

    for (const MessageAnswer answer : {Yes, No}) { // the second unit has no file
        Run(&TransferCommands::Backup, {answer}, {1});
        EXPECT_EQ(Texts().at(1), MessageCatalogue::Choose(0, 145, 146));
    }
    EXPECT_EQ(urls.Opened(), Strings{"http://10.231.7.22/config/create.html"});
    EXPECT_EQ(Logins(), 3); // one per backup: the first one's fetch took over its check's
}

// A backup onto a floppy or removable drive is asked about; No, a cancel or a busy window
// start no job.
TEST_F(TransferCommandsTest, aNoACancelOrABusyWindowStartsNoJob)
{
    storage.mountPoint = "/media/stick";
    for (const StorageKind kind : {StorageKind::Floppy, StorageKind::Optical}) {
        storage.kind = kind;
        Run(&TransferCommands::Backup, {No});
        EXPECT_EQ(Texts(), Strings{kind == StorageKind::Floppy
                                       ? transfer_texts::FloppyQuestion(0)
                                       : transfer_texts::RemovableQuestion(0, "/media/stick")});
    }
    Run(&TransferCommands::Backup, {}, {std::nullopt});
    Run(&TransferCommands::Restore, {}, {0}, {std::nullopt});
    Run(&TransferCommands::FirmwareUpdate, {}, {std::nullopt});
    EXPECT_TRUE(ftp->Steps().empty());
    state.m_bBusy = 1;
    Run(&TransferCommands::Backup, {});
    EXPECT_TRUE(pick->Shown().empty());
}

TEST_F(TransferCommandsTest, uploadsTakeOnlyTheRightFileAndAskBeforeReplacing)
{
    const std::string wrong = "File selected can't be used for saving target VELDIX. "
                              "\r\n\r\nSelected file:";
    const std::string tooLong = "/" + std::string(300, 'd') + "/nas_ABCDEF.dat";
    for (const auto& [command, path, shouldBe] :
         {std::tuple{&TransferCommands::Restore, std::string("/b/nas_abcdef.dat"),
                     "nas_ABCDEF.dat"},
          {&TransferCommands::Restore, "/b/nas_400002.dat", "nas_ABCDEF.dat"},
          {&TransferCommands::FirmwareUpdate, "/fw/abcd1234.FUP", "xxxxyyyy.fup"},
          {&TransferCommands::Restore, tooLong, ""}}) {
        Run(command, {}, {0}, {path});
        EXPECT_EQ(Texts().at(0), *shouldBe ? wrong + path.substr(path.rfind('/') + 1) +
                                                 "\r\nFile shoule be used. : " + shouldBe + "\r\n"
                                           : MessageCatalogue::Choose(0, 942, 943) + path);
    }
    EXPECT_TRUE(ftp->Steps().empty());

    ftp->directories["/config"] = {"nas_ABCDEF.dat"};
    Run(&TransferCommands::Restore, {No}, {0}, {"/b/nas_ABCDEF.dat"});
    EXPECT_EQ(Texts(), Strings{MessageCatalogue::Choose(0, 128, 129)});
    Run(&TransferCommands::Restore, {Yes, Yes}, {0}, {"/b/nas_ABCDEF.dat"});
    EXPECT_EQ(Texts().back(), MessageCatalogue::Choose(0, 143, 144));
    EXPECT_EQ(Logins(), 3);
    EXPECT_EQ(passes.progressKinds.back(), kProgressConfigUpload);
    EXPECT_EQ(urls.Opened(), Strings{"http://10.231.7.21/config/restore.html"});

    Run(&TransferCommands::FirmwareUpdate, {No}, {1}, {"/fw/abcd1234.fup"});
    EXPECT_EQ(Texts(), Strings{MessageCatalogue::Choose(0, 161, 162)});
    ftp->failures["stor"] = kFtpConnectionAborted;
    Run(&TransferCommands::FirmwareUpdate, {}, {1}, {"/fw/abcd1234.fup"});
    EXPECT_EQ(Texts(),
              Strings{"Error occurred on VELDIX Firmware Uploading. Error code : 0x2efe."});
    EXPECT_EQ(passes.progressKinds.back(), kProgressFirmwareUpload);
    Run(&TransferCommands::Restore, {Yes}, {0}, {"/b/nas_ABCDEF.dat"});
    EXPECT_EQ(Texts().back(),
              "Error occurred on VELDIX Organization info. Uploading. Error code : 0x2efe.");
}

// A silent server is the command's time-out: the client's own silence limit lies beyond the
// budget, which is seen only at the end of a pass.
TEST_F(TransferCommandsTest, aSilentServerIsTheCommandsTimeOut)
{
    budget = 2;
    ftp->directories["/config"] = {"nas_ABCDEF.dat"};
    ftp->silentServer = true;
    passes.passMs = 1000;
    Run(&TransferCommands::Backup, {});
    EXPECT_EQ(Texts().back(), transfer_texts::BackupTimedOut(0));
    EXPECT_GT(ftp->lastSilenceLimitSeconds.load(), budget + 1);
}

TEST_F(TransferCommandsTest, webToolAndDoubleClickFollowTheSelection)
{
    boxes = std::make_unique<ScriptedMessageBoxes>();
    UnitPageCommands pages(UnitPageServices{state, *boxes, urls, settings});
    pages.WebTool(-1);
    pages.WebTool(0);
    pages.WebTool(2);
    pages.ListDoubleClick(0);
    pages.ListDoubleClick(1);
    state.m_bBusy = 1;
    pages.ListDoubleClick(1);
    pages.WebTool(1);
    EXPECT_EQ(urls.Opened(),
              (Strings{"http://10.231.7.22/index.html", "http://10.231.7.21/index.html"}));
    // One unit, listed in row 2: the button looks at row 1 whatever is selected.
    state.m_bBusy = 0;
    state.devices.UnitCount = 1;
    state.devices.UnitRows[0] = 2;
    pages.WebTool(2);
    EXPECT_EQ(Texts(),
              (Strings{MessageCatalogue::Choose(0, 155, 156), MessageCatalogue::Choose(0, 106, 107),
                       MessageCatalogue::Choose(0, 106, 107)}));
}

} // namespace
} // namespace zelvo
