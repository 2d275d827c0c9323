#include "host/StartupSurvey.h"
#include "FakeHostPlatform.h"
#include "HostTestSupport.h"
#include "app/DialogState.h"
#include "app/IniSettings.h"
#include "app/MessageCatalogue.h"
#include "app/ScriptedMessageBoxes.h"

#include <gtest/gtest.h>
#include <linux/rtnetlink.h>

namespace zelvo {
namespace {

using test::FakeHostPlatform;

constexpr const char* kIni = "A=\"/index.html\" B=\"/c.html\" C=\"/r.html\" D=\"/f.html\" "
                             "E=\"/config\" F=\"/firmware\"\n";
constexpr MacAddress kPcMac = {0x02, 0x00, 0x00, 0x00, 0x00, 0x10};
constexpr MacAddress kOtherMac = {0x00, 0x1a, 0x2b, 0x3c, 0x4d, 0x5e};

class StartupSurvey : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_FALSE(dir.path().empty());
        ProcessHost() = HostGlobals{};
        test::WriteWholeFile(dir.File("manager.ini"), kIni);
        services.platform = &pc;
        services.modulePath = dir.File("ZelvoSetup");
        services.systemLanguage = [this] { return language; };
        services.showSplash = [this] {
            events.push_back("splash");
            logAtSplash = Log();
        };
        services.pause = [this](int ms) { events.push_back("pause " + std::to_string(ms)); };
        services.createWindow = [this] {
            events.push_back("create");
            return createWindowResult;
        };
    }

    std::string Log() const { return test::ReadWholeFile(dir.File("manager.log")); }

    // A lab-like PC: eth0 with a leased address and a router, a second card without one.
    void LabPc()
    {
        pc.AddLoopback();
        pc.AddInterface(2, "eth0", kPcMac, {{"10.231.7.150", 24}}, false);
        pc.AddInterface(3, "eth1", kOtherMac, {{"192.168.9.2", 24}});
        pc.AddDefaultRoute(2, "10.231.7.1", 0, RTPROT_DHCP);
    }

    test::TempDirectory dir;
    FakeHostPlatform pc;
    ScriptedMessageBoxes boxes;
    SurveyServices services{boxes};
    DialogState state;
    int language = 409;
    bool createWindowResult = true;
    std::vector<std::string> events;
    std::string logAtSplash;
};

const std::string kHead = "\r\n>>> Start to retrieve your PC and enviroment\r\n";
const std::string kOsLine = " OS\t\t: Linux 6.1 (Build 0 Debian GNU/Linux 12 (bookworm))\r\n";

TEST(VersionLogLine, printsTheFileVersionInItsOwnShape)
{
    EXPECT_EQ(VersionLogLine(1, 0, 0, 0), "ZelvoSetup.exe Ver : 1.00-0.\r\n");
    EXPECT_EQ(VersionLogLine(2, 1, 3, 7), "ZelvoSetup.exe Ver : 2.13-7.\r\n");
}

TEST_F(StartupSurvey, logsEveryLineInOrderAndFillsThePcRow)
{
    LabPc();
    state.devices.rows[5].address = Ipv4Address::FromOctets(10, 0, 0, 5);
    state.devices.rows[5].mac = kOtherMac;

    ASSERT_EQ(RunStartupSurvey(state, services), 0);

    const std::string version = VersionLogLine(ZELVO_VERSION_MAJOR, ZELVO_VERSION_MINOR,
                                               ZELVO_VERSION_PATCH, ZELVO_VERSION_TWEAK);
    EXPECT_EQ(Log(), version + kHead + kOsLine +
                         " IP Addr[1]\t: 010.231.007.150\r\n"
                         " IP Addr[2]\t: 192.168.009.002\r\n"
                         " MAC Addr[1]\t: 02.00.00.00.00.10\r\n"
                         " MAC Addr[2]\t: 00.1a.2b.3c.4d.5e\r\n"
                         "   buffer size=256\r\n"
                         " Gateway Addr\t: 10.231.7.1.\r\n"
                         "<<< Close to retrieve your PC and enviroment\r\n");
    EXPECT_EQ(events, (std::vector<std::string>{"create", "splash", "pause 1500"}));
    EXPECT_EQ(logAtSplash, version + kHead + kOsLine);
    EXPECT_TRUE(boxes.ShownBoxes().empty());

    const HostInfo& host = state.host;
    EXPECT_STREQ(host.pcName, "LABPC");
    EXPECT_EQ(host.pcAddress.Dotted(), "10.231.7.150");
    EXPECT_EQ(ProcessHost().pcAddress, host.pcAddress);
    EXPECT_EQ(host.pcMac, kPcMac);
    EXPECT_EQ(host.adapterName, "eth0");
    EXPECT_EQ(host.OsClass, 2);
    EXPECT_EQ(host.tcpPresent, 1);
    EXPECT_EQ(host.NetInfoAvailable, 1);
    EXPECT_EQ(host.DhcpServerPresent, 1);
    EXPECT_EQ(ProcessHost().subnetMask, (std::array<uint8_t, 4>{255, 255, 255, 0}));
    EXPECT_EQ(state.language, 409);
    EXPECT_STREQ(Settings().ConfigDirectory(), "/config");

    const DeviceRecord& row0 = state.devices.rows[0];
    EXPECT_STREQ(row0.name, "LABPC");
    EXPECT_STREQ(row0.ipText, "10.231.7.150");
    EXPECT_STREQ(row0.macText, "02-00-00-00-00-10");
    EXPECT_STREQ(row0.typeText, "Your Host PC");
    // The binary columns start empty, row 0 included: the PC's own values stay in host.
    EXPECT_TRUE(row0.address.IsZero());
    EXPECT_EQ(row0.mac, MacAddress{});
    EXPECT_TRUE(state.devices.rows[5].address.IsZero());
    EXPECT_EQ(state.devices.rows[5].mac, MacAddress{});
}

TEST_F(StartupSurvey, fixedAddressPcHasNoDhcpServer)
{
    pc.AddInterface(2, "eth0", kPcMac, {{"10.231.7.10", 24}});
    pc.AddDefaultRoute(2, "10.231.7.1", 0, RTPROT_BOOT);
    ASSERT_EQ(RunStartupSurvey(state, services), 0);
    EXPECT_EQ(state.host.DhcpServerPresent, 0);
    const std::string log = Log();
    EXPECT_NE(log.find(" IP Addr[1]\t: 010.231.007.010\r\n"
                       " MAC Addr[1]\t: 02.00.00.00.00.10\r\n"
                       "   buffer size=256\r\n"
                       "<<< Close to retrieve your PC and enviroment\r\n"),
              std::string::npos)
        << log;
}

TEST_F(StartupSurvey, pcWithoutUsableInterfaceStartsWithEmptyRowAndZeroMac)
{
    pc.AddLoopback();
    ASSERT_EQ(RunStartupSurvey(state, services), 0);
    const DeviceRecord& row0 = state.devices.rows[0];
    EXPECT_STREQ(row0.name, "");
    EXPECT_STREQ(row0.ipText, "");
    EXPECT_STREQ(row0.macText, "00-00-00-00-00-00");
    EXPECT_STREQ(row0.typeText, "Your Host PC");
    EXPECT_TRUE(state.host.pcAddress.IsZero());
    EXPECT_TRUE(ProcessHost().pcAddress.IsZero());
    EXPECT_EQ(state.host.pcMac, MacAddress{});
    EXPECT_EQ(state.host.DhcpServerPresent, 0);
    const std::string log = Log();
    EXPECT_EQ(log.find("IP Addr"), std::string::npos) << log;
    EXPECT_EQ(log.find("MAC Addr"), std::string::npos) << log;
    EXPECT_NE(log.find(kOsLine + "<<< Close to retrieve your PC and enviroment\r\n"),
              std::string::npos)
        << log;
}

TEST_F(StartupSurvey, hostNameIsCutToItsFieldAndUpperCased)
{
    pc.AddInterface(2, "eth0", kPcMac, {{"10.0.0.2", 24}});
    pc.hostName = std::string(70, 'a') + "-x";
    ASSERT_EQ(RunStartupSurvey(state, services), 0);
    EXPECT_EQ(std::string(state.host.pcName), std::string(63, 'A'));
    EXPECT_STREQ(state.devices.rows[0].name, state.host.pcName);
}

struct RefusalCase
{
    const char* what;
    std::function<void(FakeHostPlatform&, std::string& ini, bool& createWindow)> arrange;
    int language;
    std::function<std::string()> message; // empty: no box at all
    MessageIcon icon;
    std::vector<std::string> events;
    std::string logTail; // the log ends with this
};

class SurveyRefusals : public StartupSurvey, public ::testing::WithParamInterface<RefusalCase>
{
};

TEST_P(SurveyRefusals, tellWhyAndKeepTheWindowFromBeingCreated)
{
    const RefusalCase& c = GetParam();
    LabPc();
    std::string ini = kIni;
    c.arrange(pc, ini, createWindowResult);
    test::WriteWholeFile(dir.File("manager.ini"), ini);
    language = c.language;

    EXPECT_EQ(RunStartupSurvey(state, services), -1) << c.what;
    if (c.message) {
        ASSERT_EQ(boxes.ShownBoxes().size(), 1u) << c.what;
        EXPECT_EQ(boxes.ShownBoxes()[0].text, c.message()) << c.what;
        EXPECT_EQ(boxes.ShownBoxes()[0].icon, c.icon) << c.what;
        EXPECT_EQ(boxes.ShownBoxes()[0].buttons, MessageButtons::Ok) << c.what;
    } else {
        EXPECT_TRUE(boxes.ShownBoxes().empty()) << c.what;
    }
    EXPECT_EQ(events, c.events) << c.what;
    const std::string log = Log();
    ASSERT_GE(log.size(), c.logTail.size()) << c.what;
    EXPECT_EQ(log.substr(log.size() - c.logTail.size()), c.logTail) << c.what << "\n" << log;
    EXPECT_EQ(log.find("<<< Close"), std::string::npos) << c.what;
}

const std::vector<std::string> kAfterSplash = {"create", "splash", "pause 1500"};

INSTANTIATE_TEST_SUITE_P(
    Paths, SurveyRefusals,
    ::testing::Values(
        RefusalCase{
            "unsupported system",
            [](FakeHostPlatform& p, std::string&, bool&) { p.osRelease.reset(); },
            409,
            [] { return std::string("MS : 0.0  (Build 0)\r\n\r\n") + MessageCatalogue::Text(105); },
            MessageIcon::Stop,
            {},
            " OS\t\t: Linux 0.0 (Build 0 )\r\n"},
        RefusalCase{"no TCP", [](FakeHostPlatform& p, std::string&, bool&) { p.tcp = false; }, 409,
                    [] { return std::string(MessageCatalogue::Text(118)); }, MessageIcon::Stop,
                    kAfterSplash, kOsLine},
        RefusalCase{"no TCP, Japanese",
                    [](FakeHostPlatform& p, std::string&, bool&) { p.tcp = false; }, 411,
                    [] { return std::string(MessageCatalogue::Text(119)); }, MessageIcon::Stop,
                    kAfterSplash, kOsLine},
        RefusalCase{"no network information",
                    [](FakeHostPlatform& p, std::string&, bool&) { p.netlink = false; }, 409,
                    [] {
                        return std::string("MS : 6.1 Debian GNU/Linux 12 (bookworm) (Build 0)"
                                           "\r\n\r\n") +
                               MessageCatalogue::Text(105);
                    },
                    MessageIcon::Question, kAfterSplash,
                    " MAC Addr[2]\t: 00.1a.2b.3c.4d.5e\r\n Fail to load library(0x0000)\r\n"},
        RefusalCase{"window creation fails",
                    [](FakeHostPlatform&, std::string&, bool& create) { create = false; },
                    409,
                    nullptr,
                    MessageIcon::Stop,
                    {"create"},
                    kOsLine},
        RefusalCase{"settings file broken",
                    [](FakeHostPlatform&, std::string& ini, bool&) { ini = "\"only\" \"two\""; },
                    409,
                    [] { return std::string(MessageCatalogue::Text(166)); },
                    MessageIcon::Stop,
                    {},
                    ""}));

TEST_F(StartupSurvey, missingSettingsFileRefusesBeforeTheLogIsMade)
{
    std::remove(dir.File("manager.ini").c_str());
    EXPECT_EQ(RunStartupSurvey(state, services), -1);
    ASSERT_EQ(boxes.ShownBoxes().size(), 1u);
    EXPECT_EQ(boxes.ShownBoxes()[0].text, MessageCatalogue::Text(165));
    EXPECT_EQ(boxes.ShownBoxes()[0].icon, MessageIcon::Question);
    EXPECT_TRUE(events.empty());
    EXPECT_EQ(pc.networkReads, 0);
}

} // namespace
} // namespace zelvo
