// The start-up survey and the sequence that both front ends run around it.
#include "core/DialogState.h"
#include "core/IniSettings.h"
#include "core/MessageCatalogue.h"
#include "platform/Files.h"
#include "start/StartupSequence.h"
#include "support/FakeHostPlatform.h"
#include "support/ScriptedMessageBoxes.h"

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <linux/rtnetlink.h>
#include <span>

namespace zelvo {
namespace {

using test::FakeHostPlatform;

const std::string kIni = "A=\"/index.html\" B=\"/c.html\" C=\"/r.html\" D=\"/f.html\" "
                         "E=\"/config\" F=\"/firmware\"\n";
const std::string kHead = VersionLogLine(ZELVO_VERSION_MAJOR, ZELVO_VERSION_MINOR,
                                         ZELVO_VERSION_PATCH, ZELVO_VERSION_TWEAK) +
                          "\r\n>>> Start to retrieve your PC and enviroment\r\n";
const std::string kOsLine = " OS\t\t: Linux 6.1 (Build 0 Debian GNU/Linux 12 (bookworm))\r\n";
const std::string kClose = "<<< Close to retrieve your PC and enviroment\r\n";
const std::string kShown = "0 create splash pause 1500"; // a survey that ran to its end

class StartupSurvey : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_NE(::mkdtemp(dir.data()), nullptr);
        ProcessPcSubnet() = PcSubnet{};
        std::ofstream(dir + "/manager.ini") << kIni;
        services.platform = &pc;
        services.modulePath = dir + "/ZelvoSetup";
        services.systemLanguage = [this] { return language; };
    }
    void TearDown() override { std::filesystem::remove_all(dir); }
    std::string Log() const { return ReadSmallFile(dir + "/manager.log", 1 << 20).value_or(""); }
    // The survey's result, the steps it took and every box it showed.
    std::string Run()
    {
        const std::size_t before = boxes.ShownBoxes().size();
        std::string shown;
        services.createWindow = [&] { return shown += " create", createWindow; };
        services.showSplash = [&] { shown += " splash"; };
        services.pause = [&](int ms) { shown += " pause " + std::to_string(ms); };
        shown = std::to_string(RunStartupSurvey(state, services)) + shown;
        for (const auto& box : std::span(boxes.ShownBoxes()).subspan(before))
            shown += std::string("\n") + ScriptedMessageBoxes::IconName(box.icon) + ": " + box.text;
        return shown;
    }
    std::string Row0() const
    {
        const DeviceRecord& r = state.devices.rows[0];
        return std::string(r.name) + "|" + r.ipText + "|" + r.macText + "|" + r.typeText;
    }
    // Out of ifindex order: the best default route's card (eth0, leased) leads row 0.
    void LabPc()
    {
        pc.AddInterface(2, "eth1", 0x5e, {{"192.168.9.2", 24}});
        pc.AddInterface(1, "lo", 0, {{"127.0.0.1", 8}});
        pc.AddInterface(3, "eth0", 0x10, {{"127.0.1.1", 8}, {"10.231.7.150", 24}}, false);
        pc.AddInterface(4, "eth2", 0x30, {{"172.16.0.9", 16}}).up = false;
        pc.AddDefaultRoute(2, "192.168.9.1", 600, RTPROT_BOOT);
        pc.AddDefaultRoute(3, "10.231.7.1", 100, RTPROT_DHCP);
    }

    std::string dir = (std::filesystem::temp_directory_path() / "zelvo-host-XXXXXX").string();
    FakeHostPlatform pc;
    ScriptedMessageBoxes boxes;
    SurveyServices services{boxes};
    DialogState state;
    int language = 409;
    bool createWindow = true;
};

TEST_F(StartupSurvey, logsEveryLineInOrderAndFillsThePcRow)
{
    LabPc();
    pc.hostName = "labpc" + std::string(70, 'x'); // cut to its field, upper-cased
    state.devices.rows[5].address = Ipv4Address::FromOctets(10, 0, 0, 5);
    state.devices.rows[5].mac = MacAddress{1, 2, 3, 4, 5, 6};
    state.m_bShowMask = 1; // /disip: the mask read is shown
    ASSERT_EQ(Run(), kShown + "\nExclamation: SubnetMask :  ff. ff. ff.  0");
    EXPECT_EQ(Log(), kHead + kOsLine +
                         " IP Addr[1]\t: 010.231.007.150\r\n"
                         " IP Addr[2]\t: 192.168.009.002\r\n"
                         " MAC Addr[1]\t: 02.00.00.00.00.10\r\n"
                         " MAC Addr[2]\t: 02.00.00.00.00.5e\r\n"
                         "   buffer size=256\r\n"
                         " Gateway Addr\t: 10.231.7.1.\r\n" +
                         kClose);
    EXPECT_EQ(VersionLogLine(2, 1, 3, 7), "ZelvoSetup.exe Ver : 2.13-7.\r\n");
    EXPECT_STREQ(Settings().ConfigDirectory(), "/config");
    EXPECT_EQ(pc.dhcpQuestions, std::vector<std::string>{"eth0"});

    EXPECT_EQ(Row0(), "LABPC" + std::string(58, 'X') +
                          "|10.231.7.150 (eth0)|02-00-00-00-00-10|Your Host PC");
    EXPECT_EQ(state.host.pcAddress, ProcessPcSubnet().pcAddress);
    EXPECT_EQ(state.host.adapterName, "eth0");
    EXPECT_EQ(state.host.DhcpServerPresent, 1);
    EXPECT_EQ(ProcessPcSubnet().subnetMask, (std::array<uint8_t, 4>{255, 255, 255, 0}));
    // The binary columns start empty, row 0 included: the PC's own values stay in host.
    for (const DeviceRecord* row : {&state.devices.rows[0], &state.devices.rows[5]})
        EXPECT_TRUE(row->address.IsZero() && row->mac == MacAddress{});
}

TEST_F(StartupSurvey, pcWithoutAddressHasAnEmptyRowZeroMaskAndAsksNoDhcpClient)
{
    pc.AddInterface(1, "lo", 0, {{"127.0.0.1", 8}});
    pc.AddInterface(2, "eth0", 0x10, {});
    state.m_bShowMask = 1;
    ASSERT_EQ(Run(), kShown + "\nExclamation: SubnetMask :   0.  0.  0.  0");
    EXPECT_EQ(Log(), kHead + kOsLine + " MAC Addr[1]\t: 02.00.00.00.00.10\r\n" + kClose);
    EXPECT_EQ(Row0(), "||00-00-00-00-00-00|Your Host PC");
    EXPECT_TRUE(pc.dhcpQuestions.empty());
}

// "No lease" is an answer; unreadable links clear NetInfoAvailable only without rtnetlink.
TEST_F(StartupSurvey, failedReadsAreShownOnlyWhenTheyAreFailures)
{
    LabPc();
    const char* eio = "\nExclamation: The DHCP client information could not be read.\r\n"
                      "Error 0x0005: Input/output error";
    for (const auto& [dhcpError, linkError, shown, netInfo] : {std::tuple(ENOENT, 0, "", 1),
                                                               {EIO, 0, eio, 1},
                                                               {0, ETIMEDOUT, "", 1},
                                                               {0, EAFNOSUPPORT, "", 0}}) {
        pc.dhcpError = dhcpError;
        pc.networkError = linkError;
        EXPECT_EQ(Run(), kShown + shown);
        EXPECT_EQ(state.host.DhcpServerPresent, 0);
        EXPECT_EQ(state.host.NetInfoAvailable, netInfo) << linkError;
    }
}

// A refusal returns -1 before the window is used, says why and ends the log where it stopped.
TEST_F(StartupSurvey, refusalsTellWhyAndKeepTheWindowFromBeingCreated)
{
    const auto text = [](int id) { return std::string(MessageCatalogue::Text(id)); };
    const std::string splash = "-1 create splash pause 1500\nStop: ";
    struct Row
    {
        void (*arrange)(FakeHostPlatform&, bool& createWindow, std::string& ini);
        int language;
        std::string shown, logTail;
    };
    const Row rows[] = {
        {[](auto& p, bool&, auto&) { p.osRelease.reset(); }, 409,
         "-1\nStop: MS : 0.0  (Build 0)\r\n\r\n" + text(105), " OS\t\t: Linux 0.0 (Build 0 )\r\n"},
        {[](auto& p, bool&, auto&) { p.tcp = false; }, 409, splash + text(118), kOsLine},
        {[](auto& p, bool&, auto&) { p.tcp = false; }, 411, splash + text(119), kOsLine},
        {[](auto& p, bool&, auto&) { p.netlink = false; }, 409,
         "-1 create splash pause 1500\nQuestion: MS : 6.1 Debian GNU/Linux 12 (bookworm) (Build "
         "0)\r\n\r\n" +
             text(105),
         " MAC Addr[2]\t: 02.00.00.00.00.5e\r\n Fail to load library(0x0000)\r\n"},
        {[](auto&, bool& create, auto&) { create = false; }, 409, "-1 create", kOsLine},
        {[](auto&, bool&, auto& ini) { ini = "\"two\" \"fields\""; }, 409, "-1\nStop: " + text(166),
         ""},
        {[](auto&, bool&, auto& ini) { ini.clear(); }, 409, "-1\nQuestion: " + text(165), ""},
    };
    for (const Row& r : rows) {
        pc = FakeHostPlatform{};
        LabPc();
        state = DialogState{};
        createWindow = true;
        language = r.language;
        std::string ini = kIni;
        r.arrange(pc, createWindow, ini);
        std::filesystem::remove(dir + "/manager.log");
        std::filesystem::remove(dir + "/manager.ini");
        if (!ini.empty())
            std::ofstream(dir + "/manager.ini") << ini;
        EXPECT_EQ(Run(), r.shown);
        const std::string log = Log();
        EXPECT_TRUE(log.ends_with(r.logTail) && log.find(kClose) == std::string::npos)
            << r.shown << "\n"
            << log;
    }
}

// After the survey: the network check, the mask when the survey had none, NoHostMac.
TEST_F(StartupSurvey, sequenceChecksTheNetworkThenTheMaskThenTheMac)
{
    using enum StartupResult;
    struct Row
    {
        const char* name;
        int language, linkError;
        uint8_t mac;
        bool tcp;
        int browse, mask;
        StartupResult result;
        std::string steps;
        int netInfo, noMac; // -1: not looked at
    };
    const Row rows[] = {
        {"ready", 409, 0, 0x10, true, 1, 1, Ready, " browse", 1, 0},
        {"mask read", 411, EAFNOSUPPORT, 0x10, true, 1, 1, Ready, " browse mask", 1, -1},
        {"mask unreadable", 409, EAFNOSUPPORT, 0x10, true, 1, 0, Ready, " browse mask", 0, -1},
        {"no MAC", 409, 0, 0, true, 1, 1, Ready, " browse", 1, 1},
        {"network unusable", 409, 0, 0, true, 0, 1, NetworkUnusable, " browse", 1, 0},
        {"survey refused", 409, 0, 0x10, false, 1, 1, Refused, "", -1, 0},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        pc = FakeHostPlatform{};
        pc.AddInterface(2, "eth0", r.mac, {{"10.0.0.2", 16}});
        pc.networkError = r.linkError;
        pc.tcp = r.tcp;
        state = DialogState{};
        language = r.language;
        std::string steps;
        StartupChecks checks;
        checks.networkBrowse = [&](MessageBoxes&, int lang) {
            EXPECT_EQ(lang, r.language);
            return steps += " browse", r.browse;
        };
        checks.interfaceMask = [&](Ipv4Address address, SubnetMask& mask) {
            EXPECT_EQ(address.Dotted(), "10.0.0.2");
            mask = {255, 255, 0, 0};
            return steps += " mask", r.mask;
        };
        EXPECT_EQ(RunStartupSequence(state, services, checks), r.result);
        EXPECT_EQ(steps, r.steps);
        EXPECT_TRUE(r.netInfo < 0 || state.host.NetInfoAvailable == r.netInfo);
        EXPECT_TRUE(r.noMac < 0 || state.NoHostMac == r.noMac);
        EXPECT_TRUE(r.steps.find("mask") == std::string::npos ||
                    ProcessPcSubnet().subnetMask == (SubnetMask{255, 255, 0, 0}));
    }
}

} // namespace
} // namespace zelvo
