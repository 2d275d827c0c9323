// Back up, Restore, FW Update and the web pages end to end: the real main window and
// start-up survey wired as the tool wires them, the real FTP client, in the lab's PC
// namespace against simulated units running vsftpd. Dialog choices and answers come
// from scripts; the unit list is filled from the lab's facts, so no search (and no
// ICMP privilege) is needed.
//
// Environment: ZELVO_TEST_UNITS="ip,mac,name;ip,mac,name" lists the units as rows 1..n;
// ZELVO_TEST_UNIT_ROOT is NAS01's FTP root on the host (for the full test).
#include "core/ScriptedUnitDialogs.h"
#include "core/ToolFolder.h"
#include "support/FakeUrlOpener.h"
#include "support/ToolWindow.h"

#include <QTest>
#include <QTreeWidget>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace zelvo {
namespace {

std::string Env(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}

std::optional<std::string> Read(const std::string& path)
{
    return ReadSmallFile(path, 64 << 20);
}

void Write(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

bool Exists(const std::string& path)
{
    struct stat info
    {
    };
    return ::stat(path.c_str(), &info) == 0;
}

// The opener is made before the window that is given it.
struct OpenerFirst
{
    FakeUrlOpener urls;
};

// The tool's window with the lab's units listed as a search would have listed them
// (ZELVO_TEST_UNITS: "ip,mac,name;..."), so every transfer starts from the same list.
struct LabWindow : OpenerFirst, test::ToolWindow
{
    LabWindow(std::vector<MessageAnswer> answers, std::vector<std::optional<int>> pickScript,
              std::vector<std::optional<std::string>> fileScript)
        : test::ToolWindow(Options(&urls, std::move(pickScript), std::move(fileScript)))
    {
        for (MessageAnswer answer : answers)
            boxes.AddAnswer(answer);
    }

    static test::ToolWindowOptions Options(UrlOpener* urls,
                                           std::vector<std::optional<int>> pickScript,
                                           std::vector<std::optional<std::string>> fileScript)
    {
        test::ToolWindowOptions options;
        options.urls = urls;
        options.firstSearch = false;
        options.parts.unitPick = std::make_shared<ScriptedUnitPickDialog>(std::move(pickScript));
        options.parts.unitFile = std::make_shared<ScriptedUnitFileDialog>(std::move(fileScript));
        return options;
    }

    bool Create()
    {
        if (!test::ToolWindow::Create()) {
            for (const auto& box : boxes.ShownBoxes())
                ADD_FAILURE() << "the survey said: " << box.text;
            return false;
        }
        std::stringstream units(Env("ZELVO_TEST_UNITS"));
        std::string unit;
        while (std::getline(units, unit, ';')) {
            std::stringstream fields(unit);
            std::string ip, mac, name;
            std::getline(fields, ip, ',');
            std::getline(fields, mac, ',');
            std::getline(fields, name, ',');
            if (!ListUnit(ip, mac, name))
                return false;
        }
        return dialog->State().UnitsFound == 1;
    }
};

class TransferLab : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (Env("ZELVO_TEST_UNITS").empty())
            GTEST_SKIP() << "runs in the lab's PC namespace (ctest -L lab, as root)";
        char name[] = "/tmp/zelvo-transfer-lab-XXXXXX";
        ASSERT_TRUE(::mkdtemp(name));
        scratch = name;
        ::chmod(name, 0755);
    }
    void TearDown() override
    {
        if (!scratch.empty())
            std::system(("rm -rf '" + scratch + "'").c_str());
    }
    std::string scratch;
};

TEST_F(TransferLab, backupRestoreFirmwareAndWebPagesThroughTheWindow)
{
    const std::string root = Env("ZELVO_TEST_UNIT_ROOT");
    ASSERT_FALSE(root.empty());
    const std::string remoteConfig = root + "/config/nas_400001.dat";
    const std::optional<std::string> original = Read(remoteConfig);
    ASSERT_TRUE(original) << remoteConfig;

    // Back up twice: the first moves the file, the second finds none and offers the
    // page that makes one. Restore: a wrongly named copy is refused; the right one is
    // stored and the restore page offered; a second restore asks before replacing and
    // is declined. Firmware: both old files go, the new one is stored; then a name
    // with characters after ".fup".
    const std::string wrong = scratch + "/NAS_400001.DAT";
    const std::string right = scratch + "/nas_400001.dat";
    const std::string firmware = scratch + "/wxyz0001.fup";
    const std::string firmwareX = scratch + "/wxyz0002.fupx";
    std::string firmwareBytes(300000, '\0');
    for (std::size_t i = 0; i < firmwareBytes.size(); ++i)
        firmwareBytes[i] = static_cast<char>((i * 7919) >> 3);
    Write(firmware, firmwareBytes);
    Write(firmwareX, "x\r\n\xff");

    LabWindow w({MessageAnswer::Yes, MessageAnswer::Yes, MessageAnswer::No, MessageAnswer::No,
                 MessageAnswer::No},
                {0, 0, 0, 0, 0, 0, 0}, {wrong, right, right, firmware, firmwareX});
    ASSERT_TRUE(w.Create());
    const std::string folder = RunToolFolders().dataFolder;
    const std::string local = folder + "nas_400001.dat";
    ::unlink(local.c_str());

    w.dialog->OnCommand(kIdBackup);
    EXPECT_EQ(Read(local), original) << "the backup's bytes";
    EXPECT_FALSE(Exists(remoteConfig)) << "the unit's file was moved";
    w.dialog->OnCommand(kIdBackup);
    EXPECT_EQ(Read(local), original) << "the backup stays";
    Write(wrong, *original);
    std::rename(local.c_str(), right.c_str());
    w.dialog->OnCommand(kIdRestore); // the wrong name
    EXPECT_FALSE(Exists(remoteConfig));
    w.dialog->OnCommand(kIdRestore);
    EXPECT_EQ(Read(remoteConfig), original) << "the restored bytes";
    Write(right, "a newer file");
    w.dialog->OnCommand(kIdRestore); // declined
    EXPECT_EQ(Read(remoteConfig), original);
    w.dialog->OnCommand(kIdFwUpdate);
    EXPECT_FALSE(Exists(root + "/firmware/abcd1234.fup"));
    EXPECT_FALSE(Exists(root + "/firmware/efgh5678.fup"));
    EXPECT_EQ(Read(root + "/firmware/wxyz0001.fup"), firmwareBytes);
    w.dialog->OnCommand(kIdFwUpdate);
    EXPECT_EQ(Read(root + "/firmware/wxyz0002.fupx"), "x\r\n\xff");
    EXPECT_FALSE(Exists(root + "/firmware/wxyz0001.fup")) << "every *.fup goes before a new file";

    const std::vector<std::string> expected{
        "Organization File will be saved at follow.\r\n" + local + "\n",
        "VELDIX Organization info. Downloading completed successfully. \r\nSave on file : " + local,
        "Organization File will be saved at follow.\r\n" + local + "\n",
        "Organization File not created on VELDIX. Create Organization File first. \r\nTo create "
        "Organization File it's necessary to start up Web tool. \r\nDo you want to start up Web tool?",
        "File selected can't be used for saving target VELDIX. \r\n\r\nSelected "
        "file:NAS_400001.DAT\r\nFile shoule be used. : nas_400001.dat\r\n",
        "Uploading of VELDIX Organization file performed successfully.\r\nTo make uploaded "
        "Organization File valid it's necessary to start up Web tool.\r\nDo you want to start up Web tool?\n",
        "Notice : Found VELDIX with new Organization file.\r\nIt will be overwrite if you upload a "
        "Organization file from local PC.\n\r\n\rDo you want to upload anyway?",
        "Uploading of VELDIX firmware file performed successfully.\r\nTo make uploaded firmware "
        "file valid it's necessary to start up Web tool.\r\nDo you want to start up Web tool?\n",
        "Uploading of VELDIX firmware file performed successfully.\r\nTo make uploaded firmware "
        "file valid it's necessary to start up Web tool.\r\nDo you want to start up Web tool?\n",
    };
    EXPECT_EQ(w.Texts(), expected);

    // The web tool: NAS02 selected in the list, then a double-click on NAS01's row.
    auto* list = w.dialog->findChild<QTreeWidget*>(QStringLiteral("list1001"));
    ASSERT_TRUE(list);
    list->setCurrentItem(list->topLevelItem(2));
    w.dialog->OnCommand(kIdWebTool);
    const QPoint nas01 = list->visualItemRect(list->topLevelItem(1)).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, nas01);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, nas01);
    EXPECT_EQ(w.urls.Opened(), (std::vector<std::string>{"http://10.231.7.21/config/create.html",
                                                         "http://10.231.7.21/config/restore.html",
                                                         "http://10.231.7.22/index.html",
                                                         "http://10.231.7.21/index.html"}));
    EXPECT_EQ(w.dialog->State().m_bBusy, 0);

    const std::string log = ReadSmallFile(folder + "manager.log", 1 << 20).value_or("");
    EXPECT_NE(log.find("  FTP retrieved nas_400001.dat\r\n"), std::string::npos) << log;
    EXPECT_NE(log.find("  FTP deleted efgh5678.fup\r\n"), std::string::npos) << log;
}

// One backup of the first unit, into the tool's folder of the run; the caller checks
// where that folder is (an installed copy run by an ordinary user).
TEST_F(TransferLab, backupLandsInTheToolFolder)
{
    LabWindow w({}, {0}, {});
    ASSERT_TRUE(w.Create());
    w.dialog->OnCommand(kIdBackup);
    const std::string local = RunToolFolders().dataFolder + "nas_400001.dat";
    ASSERT_EQ(w.Texts().size(), 2u);
    EXPECT_EQ(w.Texts()[1],
              "VELDIX Organization info. Downloading completed successfully. \r\nSave on file : " +
                  local);
    EXPECT_TRUE(Exists(local));
    std::printf("backup saved at %s\n", local.c_str());
}

} // namespace
} // namespace zelvo
