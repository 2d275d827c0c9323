#include "host/DhcpDetection.h"
#include "FakeHostPlatform.h"
#include "HostTestSupport.h"
#include "app/DialogState.h"
#include "app/ScriptedMessageBoxes.h"
#include "host/OsClass.h"
#include "host/SubnetMask.h"

#include <cerrno>
#include <gtest/gtest.h>
#include <linux/rtnetlink.h>

namespace zelvo {
namespace {

using test::FakeHostPlatform;
using test::Nbo;

constexpr MacAddress kMac = {0x02, 0x00, 0x00, 0x00, 0x00, 0x10};
constexpr uint8_t kBoot = RTPROT_BOOT;
constexpr uint8_t kDhcp = RTPROT_DHCP;

DhcpClientReport KnownOptions(DhcpClientSource source, std::optional<std::string> mask,
                              std::vector<uint32_t> routers)
{
    DhcpClientReport report;
    report.source = source;
    report.optionsKnown = true;
    report.maskText = std::move(mask);
    report.routersNbo = std::move(routers);
    return report;
}

DhcpClientReport NoClientAnswer(DhcpClientSource source = DhcpClientSource::None)
{
    DhcpClientReport report;
    report.source = source;
    return report;
}

struct JudgeCase
{
    const char* what;
    DhcpClientReport report;
    bool permanentAddress;
    std::vector<HostDefaultRoute> routes;
    bool leased;
    bool maskPresent;
    const char* router; // nullptr: none
    int bufferSize;
};

class JudgeDhcpOptionsTable : public ::testing::TestWithParam<JudgeCase>
{
};

TEST_P(JudgeDhcpOptionsTable, decidesFromTheBestSourceItHas)
{
    const JudgeCase& c = GetParam();
    FakeHostPlatform pc;
    pc.AddInterface(2, "eth0", kMac, {{"10.231.7.150", 24}}, c.permanentAddress);
    pc.AddInterface(3, "eth1", kMac, {{"192.168.9.2", 24}});
    pc.network.defaultRoutes = c.routes;

    const DhcpOptionsVerdict v = JudgeDhcpOptions(c.report, pc.network, 2);
    EXPECT_EQ(v.leased, c.leased) << c.what;
    EXPECT_EQ(v.maskPresent, c.maskPresent) << c.what;
    if (c.router == nullptr)
        EXPECT_FALSE(v.router.has_value()) << c.what;
    else
        EXPECT_EQ(v.router.value_or(Ipv4Address{}).Dotted(), c.router) << c.what;
    EXPECT_EQ(v.bufferSize, c.bufferSize) << c.what;
}

std::vector<uint32_t> ManyRouters(int n)
{
    std::vector<uint32_t> routers;
    for (int i = 1; i <= n; ++i)
        routers.push_back(Ipv4Address::FromOctets(10, 0, 0, static_cast<uint8_t>(i)).nbo);
    return routers;
}

const HostDefaultRoute kStaticRouteEth0{2, Nbo("10.231.7.1"), 0, kBoot};
const HostDefaultRoute kDhcpRouteEth0{2, Nbo("10.231.7.1"), 0, kDhcp};
const HostDefaultRoute kRouteEth1{3, Nbo("192.168.9.1"), 0, kDhcp};

INSTANTIATE_TEST_SUITE_P(
    Sources, JudgeDhcpOptionsTable,
    ::testing::Values(
        JudgeCase{
            "NetworkManager with mask and router",
            KnownOptions(DhcpClientSource::NetworkManager, "255.255.255.0", {Nbo("10.231.7.1")}),
            true,
            {},
            true,
            true,
            "10.231.7.1",
            256},
        JudgeCase{"the server's options win over a static route",
                  KnownOptions(DhcpClientSource::NetworkManager, "255.255.255.0", {}),
                  false,
                  {kStaticRouteEth0},
                  true,
                  true,
                  nullptr,
                  256},
        JudgeCase{"no mask option",
                  KnownOptions(DhcpClientSource::Networkd, std::nullopt, {Nbo("10.231.7.1")}),
                  true,
                  {},
                  true,
                  false,
                  "10.231.7.1",
                  256},
        JudgeCase{
            "a zero router is no router",
            KnownOptions(DhcpClientSource::Networkd, "255.255.255.0", {0, Nbo("10.231.7.254")}),
            true,
            {},
            true,
            true,
            "10.231.7.254",
            256},
        JudgeCase{"options beyond 256 bytes grow the buffer",
                  KnownOptions(DhcpClientSource::Networkd, "255.255.255.0", ManyRouters(70)),
                  true,
                  {},
                  true,
                  true,
                  "10.0.0.1",
                  512},
        JudgeCase{"expiring address with a router",
                  NoClientAnswer(),
                  false,
                  {kStaticRouteEth0},
                  true,
                  true,
                  "10.231.7.1",
                  256},
        JudgeCase{"permanent address and static route",
                  NoClientAnswer(),
                  true,
                  {kStaticRouteEth0},
                  false,
                  false,
                  nullptr,
                  256},
        JudgeCase{"permanent address, route made by DHCP",
                  NoClientAnswer(),
                  true,
                  {kDhcpRouteEth0},
                  true,
                  true,
                  "10.231.7.1",
                  256},
        JudgeCase{"client process with ifconfig-style settings",
                  NoClientAnswer(DhcpClientSource::ClientProcess),
                  true,
                  {kStaticRouteEth0},
                  true,
                  true,
                  "10.231.7.1",
                  256},
        JudgeCase{"leased without router", NoClientAnswer(), false, {}, true, true, nullptr, 256},
        JudgeCase{"the only router is on another card",
                  NoClientAnswer(),
                  false,
                  {kRouteEth1},
                  true,
                  true,
                  nullptr,
                  256},
        JudgeCase{"a DHCP route elsewhere does not make this card leased",
                  NoClientAnswer(),
                  true,
                  {kRouteEth1},
                  false,
                  false,
                  nullptr,
                  256}));

class DhcpDetection : public ::testing::Test
{
protected:
    void SetUp() override
    {
        test::FreshLogAndHost(dir);
        state.language = 409;
        state.host.OsClass = kOsWindows2000;
        state.host.NetInfoAvailable = 1;
    }
    std::string Log() const { return test::ReadWholeFile(dir.File("manager.log")); }

    test::TempDirectory dir;
    DialogState state;
    FakeHostPlatform pc;
    ScriptedMessageBoxes boxes;
};

TEST_F(DhcpDetection, leasedPcWithRouterIsServedByDhcp)
{
    pc.AddLoopback();
    pc.AddInterface(2, "eth0", kMac, {{"10.231.7.150", 24}}, false);
    pc.AddDefaultRoute(2, "10.231.7.1", 0, kDhcp);
    EXPECT_EQ(DetectDhcpServer(state, pc, boxes), 1);
    EXPECT_EQ(Log(), "   buffer size=256\r\n Gateway Addr\t: 10.231.7.1.\r\n");
    EXPECT_EQ(ProcessHost().subnetMask, (MaskBytes{255, 255, 255, 0}));
    EXPECT_EQ(pc.dhcpQuestions, (std::vector<std::string>{"eth0"}));
    EXPECT_TRUE(boxes.ShownBoxes().empty());
}

TEST_F(DhcpDetection, fixedAddressIsNotServedAndKeepsTheInterfacesMask)
{
    pc.AddInterface(2, "eth0", kMac, {{"10.231.7.10", 26}});
    pc.AddDefaultRoute(2, "10.231.7.1", 0, kBoot);
    EXPECT_EQ(DetectDhcpServer(state, pc, boxes), 0);
    EXPECT_EQ(Log(), "   buffer size=256\r\n");
    EXPECT_EQ(ProcessHost().subnetMask, (MaskBytes{255, 255, 255, 192}));
}

TEST_F(DhcpDetection, leaseWithoutRouterIsNotServed)
{
    pc.AddInterface(2, "eth0", kMac, {{"10.231.7.150", 24}}, false);
    EXPECT_EQ(DetectDhcpServer(state, pc, boxes), 0);
    EXPECT_EQ(Log(), "   buffer size=256\r\n");
}

TEST_F(DhcpDetection, failedQueryIsShownButNoLeaseIsNot)
{
    pc.AddInterface(2, "eth0", kMac, {{"10.231.7.150", 24}}, false);
    pc.AddDefaultRoute(2, "10.231.7.1", 0, kDhcp);

    pc.dhcpReport.errorCode = ENOENT;
    EXPECT_EQ(DetectDhcpServer(state, pc, boxes), 0);
    EXPECT_TRUE(boxes.ShownBoxes().empty());

    pc.dhcpReport.errorCode = EIO;
    EXPECT_EQ(DetectDhcpServer(state, pc, boxes), 0);
    ASSERT_EQ(boxes.ShownBoxes().size(), 1u);
    EXPECT_NE(boxes.ShownBoxes()[0].text.find("0x0005"), std::string::npos)
        << boxes.ShownBoxes()[0].text;
    EXPECT_EQ(boxes.ShownBoxes()[0].buttons, MessageButtons::Ok);
}

TEST_F(DhcpDetection, showMaskSwitchShowsEachMaskRead)
{
    state.m_bShowMask = 1;
    pc.AddInterface(2, "eth0", kMac, {{"10.231.7.10", 24}});
    DetectDhcpServer(state, pc, boxes);
    ASSERT_EQ(boxes.ShownBoxes().size(), 1u);
    EXPECT_EQ(boxes.ShownBoxes()[0].text, "SubnetMask :  ff. ff. ff.  0");
}

TEST_F(DhcpDetection, cardsWithoutAddressesGiveZeroMaskAndNoQuestion)
{
    state.m_bShowMask = 1;
    pc.AddInterface(2, "eth0", kMac, {});
    pc.AddInterface(3, "eth1", kMac, {});
    EXPECT_EQ(DetectDhcpServer(state, pc, boxes), 0);
    EXPECT_EQ(ProcessHost().subnetMask, (MaskBytes{0, 0, 0, 0}));
    EXPECT_EQ(boxes.ShownBoxes().size(), 2u);
    EXPECT_TRUE(pc.dhcpQuestions.empty());
    EXPECT_EQ(Log(), "");
}

TEST_F(DhcpDetection, noInterfacesLeaveTheMaskAlone)
{
    EXPECT_EQ(DetectDhcpServer(state, pc, boxes), 0);
    EXPECT_EQ(ProcessHost().subnetMask, (MaskBytes{255, 255, 255, 0}));
}

TEST_F(DhcpDetection, unreadableLinksClearNetInfoOnlyWhenUnsupported)
{
    pc.network.errorCode = ETIMEDOUT;
    EXPECT_EQ(DetectDhcpServer(state, pc, boxes), 0);
    EXPECT_EQ(state.host.NetInfoAvailable, 1);
    pc.network.errorCode = EAFNOSUPPORT;
    EXPECT_EQ(DetectDhcpServer(state, pc, boxes), 0);
    EXPECT_EQ(state.host.NetInfoAvailable, 0);
}

TEST_F(DhcpDetection, withoutRtnetlinkOnlyTheMaskIsRead)
{
    pc.netlink = false;
    pc.AddInterface(2, "eth0", kMac, {{"10.231.7.150", 16}}, false);
    pc.AddDefaultRoute(2, "10.231.7.1", 0, kDhcp);
    EXPECT_EQ(DetectDhcpServer(state, pc, boxes), 0);
    EXPECT_EQ(ProcessHost().subnetMask, (MaskBytes{255, 255, 0, 0}));
    EXPECT_TRUE(pc.dhcpQuestions.empty());
    EXPECT_EQ(Log(), "");
}

TEST_F(DhcpDetection, routeByOsClass)
{
    pc.AddInterface(2, "eth0", kMac, {{"10.231.7.150", 24}}, false);
    pc.AddDefaultRoute(2, "10.231.7.1", 0, kDhcp);
    const std::pair<int, int> cases[] = {{kOsWindows98, 1},
                                         {kOsWindowsMe, 1},
                                         {kOsWindows2000, 1},
                                         {kOsWindowsNt4, 0},
                                         {kOsUnsupported, 0}};
    for (const auto& [osClass, expected] : cases) {
        state.host.OsClass = osClass;
        EXPECT_EQ(DetectDhcpServer(state, pc, boxes), expected) << osClass;
    }
}

} // namespace
} // namespace zelvo
