// The two search commands on the window's state, with fake controls, passes and
// network, and scripted message boxes.
#include "runFakes.h"
#include "search/SearchCommands.h"

#include "app/MessageCatalogue.h"
#include "app/ScriptedMessageBoxes.h"

#include <gtest/gtest.h>
#include <memory>

namespace zelvo {
namespace {

using testing::ForeignMac;
using testing::Ip;
using testing::UnitMac;

const char* const kRangeLines =
    " Mask Addr\t: 255.255.255.000\r\n Net Addr base.baseend: 050.250\r\n";

struct Window
{
    testing::TemporaryLog log; // first in, last out: a finishing worker may still log
    std::unique_ptr<DialogState> state = std::make_unique<DialogState>();
    testing::FakeControls controls;
    testing::FakePasses passes;
    ScriptedMessageBoxes boxes;
    std::shared_ptr<testing::FakeSearchNetwork> network =
        std::make_shared<testing::FakeSearchNetwork>();
    std::shared_ptr<testing::FakeClock> clock = std::make_shared<testing::FakeClock>();
    HostGlobals host;
    UsedAddressTable used;
    LastFoundList lastFound;
    std::unique_ptr<SearchCommands> commands;

    explicit Window(int language = 409)
    {
        state->language = language;
        state->host.pcAddress = host.pcAddress = Ip(192, 168, 1, 10);
        state->host.pcMac = {0x00, 0x16, 0x3e, 0x01, 0x02, 0x03};
        state->host.NetInfoAvailable = 1;
        state->host.DhcpServerPresent = 1;
        state->devices.rows[0].SetName("MYPC");
        commands = std::make_unique<SearchCommands>(
            SearchServices{*state, controls, passes, boxes, network, clock, host, used, lastFound});
    }
    // Units at .20, .21, .22 with names; a named foreign host at .1.
    void ThreeNamedUnits()
    {
        network->table.entries = {{Ip(192, 168, 1, 1), ForeignMac(1)}};
        network->names[Ip(192, 168, 1, 1).nbo] = "ROUTER";
        for (uint8_t i = 20; i <= 22; ++i) {
            network->table.entries.push_back({Ip(192, 168, 1, i), UnitMac(i)});
            network->names[Ip(192, 168, 1, i).nbo] = std::string("VELDIX-") + char('A' + i - 20);
        }
    }
    std::vector<std::string> Texts() const
    {
        std::vector<std::string> texts;
        for (const auto& box : boxes.ShownBoxes())
            texts.push_back(box.text);
        return texts;
    }
};

TEST(FirstSearch, listsTheNamedUnitsInAddressOrder)
{
    Window w;
    w.ThreeNamedUnits();
    w.commands->FirstSearch();

    EXPECT_TRUE(w.boxes.ShownBoxes().empty());
    EXPECT_GE(w.passes.searchPasses, 1);
    EXPECT_EQ(w.passes.progressPasses, 0);
    ASSERT_EQ(w.controls.rows.size(), 4u); // the PC and the three units
    EXPECT_STREQ(w.controls.rows[0].name, "MYPC");
    for (int k = 0; k < 3; ++k) {
        const DeviceRecord& shown = w.controls.rows[k + 1];
        EXPECT_EQ(std::string(shown.name), std::string("VELDIX-") + char('A' + k));
        EXPECT_EQ(std::string(shown.typeText), "VELDIX [" + std::to_string(k) + "]");
        EXPECT_EQ(std::string(shown.ipText), "192.168.1." + std::to_string(20 + k));
        EXPECT_EQ(std::string(shown.macText), MacDashText(UnitMac(static_cast<uint8_t>(20 + k))));
    }
    EXPECT_EQ(w.state->UnitsFound, 1);
    EXPECT_EQ(w.state->m_bBusy, 0);
    EXPECT_EQ(w.controls.selectionMark, 1);
    for (int id : {kIdBackup, kIdRestore, kIdSearch, kIdExit})
        EXPECT_TRUE(w.controls.IsControlEnabled(id)) << id;
    EXPECT_FALSE(w.controls.IsControlEnabled(kIdSetIp));
    EXPECT_EQ(w.state->devices.usedAddressCount, 4 + 1 + 3);
    EXPECT_EQ(w.lastFound.count, 3);
    EXPECT_EQ(w.used.addresses[0], Ip(192, 168, 1, 1));

    const std::string log = w.log.Text();
    EXPECT_EQ(log.rfind(std::string(kRangeLines) + "\r\nGoing to find VELDIX first.\r\n"
                                                   "Last count = 0 \r\n",
                        0),
              0u);
    EXPECT_NE(log.find(" 04 : 192.168.001.022 - 02.5a.e1.42.00.16\r\n"
                       "<<< Close to retrieve network table\r\n"),
              std::string::npos);
}

struct RefusalCase
{
    int language, netInfo;
    bool zeroMac;
    const char* text;
    MessageIcon icon;
};
class FirstSearchRefusal : public ::testing::TestWithParam<RefusalCase>
{
};
TEST_P(FirstSearchRefusal, tellsTheUserAndDoesNotSearch)
{
    const RefusalCase& c = GetParam();
    Window w(c.language);
    w.state->host.NetInfoAvailable = c.netInfo;
    if (c.zeroMac)
        w.state->host.pcMac = {};
    w.commands->FirstSearch();

    EXPECT_EQ(w.Texts(), std::vector<std::string>{c.text});
    EXPECT_EQ(w.boxes.ShownBoxes()[0].icon, c.icon);
    EXPECT_TRUE(w.network->Events().empty());
    EXPECT_EQ(w.controls.clears, 0);
    EXPECT_EQ(w.log.Text(), kRangeLines);
}
INSTANTIATE_TEST_SUITE_P(
    Table, FirstSearchRefusal,
    ::testing::Values(
        RefusalCase{409, 0, false, "On your PC Subnet mask information can't be acquired.",
                    MessageIcon::Stop},
        RefusalCase{411, 0, false,
                    "現在のネットワーク環境からはサブネットマスク情報を取得できません。",
                    MessageIcon::Stop},
        RefusalCase{409, 1, true, MessageCatalogue::Text(133), MessageIcon::Question},
        RefusalCase{411, 1, true, MessageCatalogue::Text(132), MessageIcon::Question}));

TEST(FirstSearch, showsTheMaskWhenAsked)
{
    Window w;
    w.state->m_bShowMask = 1;
    w.host.subnetMask = {255, 255, 255, 192};
    w.commands->FirstSearch();
    ASSERT_FALSE(w.boxes.ShownBoxes().empty());
    EXPECT_EQ(w.boxes.ShownBoxes()[0].text, "SubnetMask :  ff. ff. ff. c0");
}

struct NoUnitCase
{
    bool again;
    int dhcpServer;
    bool boxTicked;
    bool namelessUnit;
    int message;
    bool setIp;
    bool backup; // a unit seen without a name still counts after Search
};
class NoUnitListed : public ::testing::TestWithParam<NoUnitCase>
{
};
TEST_P(NoUnitListed, isToldAndOffersSetIpOnAnOpenNetwork)
{
    const NoUnitCase& c = GetParam();
    Window w;
    w.network->table.entries = {{Ip(192, 168, 1, 1), ForeignMac(1)}};
    if (c.namelessUnit)
        w.network->table.entries.push_back({Ip(192, 168, 1, 40), UnitMac(40)});
    w.state->host.DhcpServerPresent = c.dhcpServer;
    w.controls.checked[kIdEnableSetIp] = c.boxTicked;
    c.again ? w.commands->SearchAgain() : w.commands->FirstSearch();

    EXPECT_EQ(w.Texts(), std::vector<std::string>{MessageCatalogue::Text(c.message)});
    EXPECT_EQ(w.boxes.ShownBoxes()[0].icon,
              c.again ? MessageIcon::Information : MessageIcon::Question);
    EXPECT_EQ(w.controls.IsControlEnabled(kIdSetIp), c.setIp);
    EXPECT_EQ(w.controls.IsControlEnabled(kIdEnableSetIp), c.dhcpServer == 0);
    EXPECT_EQ(w.controls.IsControlEnabled(kIdBackup), c.backup);
    EXPECT_EQ(w.state->devices.UnitCount, 0);
    EXPECT_EQ(w.state->m_bBusy, 0);
    EXPECT_EQ(c.again ? w.passes.progressPasses : w.passes.searchPasses,
              w.passes.progressPasses + w.passes.searchPasses);
}
INSTANTIATE_TEST_SUITE_P(Table, NoUnitListed,
                         ::testing::Values(NoUnitCase{false, 1, true, false, 137, false, false},
                                           NoUnitCase{false, 0, false, false, 137, false, false},
                                           NoUnitCase{false, 0, true, false, 137, true, false},
                                           NoUnitCase{false, 1, false, true, 137, false, false},
                                           NoUnitCase{true, 1, false, false, 141, false, false},
                                           NoUnitCase{true, 0, false, false, 141, true, false},
                                           NoUnitCase{true, 1, false, true, 141, false, true}));

TEST(SearchAgain, isIgnoredWhileBusy)
{
    Window w;
    w.ThreeNamedUnits();
    w.state->m_bBusy = 1;
    w.commands->SearchAgain();
    w.commands->FirstSearch();
    EXPECT_TRUE(w.network->Events().empty());
    EXPECT_TRUE(w.boxes.ShownBoxes().empty());
    EXPECT_EQ(w.controls.clears, 0);
}

TEST(SearchAgain, startsWithTheResponderWhichMayEndIt)
{
    for (const int served : {0, 1}) {
        Window w;
        w.ThreeNamedUnits();
        int busyDuringListen = -1;
        w.commands->SetListenRun([&w, &busyDuringListen, served] {
            busyDuringListen = w.state->m_bBusy;
            if (served) { // the responder lists the unit it served itself
                w.state->devices.UnitCount = 1;
                w.state->UnitsFound = 1;
            }
            w.state->m_bBusy = 0;
            return served;
        });
        w.commands->SearchAgain();
        EXPECT_EQ(busyDuringListen, 1);
        EXPECT_EQ(w.network->Events().empty(), served == 1);
        EXPECT_EQ(w.state->devices.UnitCount, served ? 1 : 3);
        EXPECT_EQ(w.state->devices.usedAddressCount, served ? 1 : 8);
        EXPECT_TRUE(w.boxes.ShownBoxes().empty());
        EXPECT_EQ(w.state->m_bBusy, 0);
    }
}

TEST(Search, nextSearchEchoesTheUnitsAndListsWhatIsNamedByItsDeadline)
{
    Window w;
    w.ThreeNamedUnits();
    w.commands->FirstSearch();
    ASSERT_EQ(w.state->devices.usedAddressCount, 8); // the next budget: 52 s

    // Hold the last unit's lookup; from then on each pass takes a second.
    w.network->Block(Ip(192, 168, 1, 22));
    int passes = 0;
    w.passes.onPass = [&w, &passes] {
        if (w.network->WaitForLookup(Ip(192, 168, 1, 22)))
            ++passes, w.clock->Advance(1000);
    };
    w.commands->SetLookupThreads(1);
    w.commands->SearchAgain();

    const auto events = w.network->Events();
    ASSERT_GE(events.size(), 5u);
    EXPECT_EQ(std::vector<std::string>(events.begin() + 2, events.begin() + 5),
              (std::vector<std::string>{"echo 192.168.1.20 2000", "echo 192.168.1.21 2000",
                                        "echo 192.168.1.22 2000"}));
    EXPECT_EQ(passes, 52 - 5); // less the 5 s that the worker slept on the same clock
    EXPECT_TRUE(w.commands->WorkerRunning());
    EXPECT_EQ(w.state->devices.UnitCount, 2);
    EXPECT_STREQ(w.controls.rows[2].name, "VELDIX-B");
    EXPECT_EQ(w.controls.rows.count(3), 0u);
    EXPECT_EQ(w.state->devices.RowCount, 4);
    EXPECT_EQ(w.lastFound.count, 2);
    EXPECT_EQ(w.state->m_bBusy, 0);

    // Asked to stop, the worker ends without another log line once its lookup returns.
    const std::string logAtDeadline = w.log.Text();
    w.network->Release(Ip(192, 168, 1, 22));
    w.commands.reset();
    EXPECT_EQ(w.log.Text(), logAtDeadline);
}

} // namespace
} // namespace zelvo
