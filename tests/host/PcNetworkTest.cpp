#include "host/PcNetwork.h"
#include "FakeHostPlatform.h"

#include <gtest/gtest.h>

namespace zelvo {
namespace {

using test::FakeHostPlatform;
using test::Nbo;

std::vector<std::string> Dotted(const std::vector<Ipv4Address>& addresses)
{
    std::vector<std::string> out;
    for (Ipv4Address a : addresses)
        out.push_back(a.Dotted());
    return out;
}

constexpr MacAddress kMacA = {0x02, 0x00, 0x00, 0x00, 0x00, 0x10};
constexpr MacAddress kMacB = {0x02, 0x00, 0x00, 0x00, 0x00, 0x20};
constexpr MacAddress kMacC = {0x02, 0x00, 0x00, 0x00, 0x00, 0x30};

TEST(ViewPcNetwork, defaultRouteInterfaceComesFirstThenIfindexOrder)
{
    FakeHostPlatform pc;
    pc.AddLoopback();
    pc.AddInterface(4, "eth2", kMacC, {{"172.16.0.9", 16}});
    pc.AddInterface(2, "eth0", kMacA, {{"10.0.0.5", 8}});
    pc.AddInterface(3, "eth1", kMacB, {{"192.168.1.20", 24}, {"192.168.1.21", 24}});
    pc.AddDefaultRoute(2, "10.0.0.1", 600);
    pc.AddDefaultRoute(3, "192.168.1.1", 100); // the better route

    const PcNetworkView view = ViewPcNetwork(pc.network);
    EXPECT_EQ(Dotted(view.addresses),
              (std::vector<std::string>{"192.168.1.20", "192.168.1.21", "10.0.0.5", "172.16.0.9"}));
    ASSERT_TRUE(view.pcInterface.has_value());
    EXPECT_EQ(pc.network.interfaces[*view.pcInterface].name, "eth1");
    EXPECT_EQ(view.pcPrefixLength, 24);
    EXPECT_EQ(view.pcMac, kMacB);
    EXPECT_EQ(view.adapterMacs, (std::vector<MacAddress>{kMacB, kMacA, kMacC}));
}

TEST(ViewPcNetwork, neverTakesLoopbackDownOrUnusableAddresses)
{
    FakeHostPlatform pc;
    pc.AddLoopback();
    pc.AddInterface(2, "eth0", kMacA, {{"127.0.1.1", 8}, {"0.0.0.0", 0}, {"10.1.2.3", 24}});
    HostInterface& down = pc.AddInterface(3, "eth1", kMacB, {{"10.9.9.9", 24}});
    down.up = false;

    const PcNetworkView view = ViewPcNetwork(pc.network);
    EXPECT_EQ(Dotted(view.addresses), (std::vector<std::string>{"10.1.2.3"}));
    EXPECT_EQ(view.pcMac, kMacA);
    EXPECT_EQ(view.adapterMacs, (std::vector<MacAddress>{kMacA}));
}

TEST(ViewPcNetwork, pcWithoutAddressHasNoInterfaceAndZeroMacButLogsItsCards)
{
    FakeHostPlatform pc;
    pc.AddLoopback();
    pc.AddInterface(2, "eth0", kMacA, {});
    const PcNetworkView view = ViewPcNetwork(pc.network);
    EXPECT_TRUE(view.addresses.empty());
    EXPECT_FALSE(view.pcInterface.has_value());
    EXPECT_EQ(view.pcMac, MacAddress{});
    EXPECT_EQ(view.adapterMacs, (std::vector<MacAddress>{kMacA}));
}

TEST(ViewPcNetwork, interfaceWithoutHardwareAddressGivesZeroMac)
{
    FakeHostPlatform pc;
    HostInterface& tunnel = pc.AddInterface(5, "tun0", {}, {{"10.8.0.2", 24}});
    tunnel.hasMac = false;
    pc.AddDefaultRoute(5, "0.0.0.0", 0);
    const PcNetworkView view = ViewPcNetwork(pc.network);
    EXPECT_EQ(Dotted(view.addresses), (std::vector<std::string>{"10.8.0.2"}));
    EXPECT_EQ(view.pcMac, MacAddress{});
    EXPECT_TRUE(view.adapterMacs.empty());
}

TEST(BestDefaultRoute, picksLowestMetricFirstOnTies)
{
    FakeHostPlatform pc;
    pc.AddDefaultRoute(2, "10.0.0.1", 100);
    pc.AddDefaultRoute(3, "10.0.0.2", 50);
    pc.AddDefaultRoute(4, "10.0.0.3", 50);
    pc.AddDefaultRoute(2, "10.0.0.4", 20);
    EXPECT_EQ(BestDefaultRoute(pc.network)->gatewayNbo, Nbo("10.0.0.4"));
    EXPECT_EQ(BestDefaultRoute(pc.network, 3)->gatewayNbo, Nbo("10.0.0.2"));
    EXPECT_EQ(BestDefaultRoute(pc.network, 4)->gatewayNbo, Nbo("10.0.0.3"));
    EXPECT_FALSE(BestDefaultRoute(pc.network, 9).has_value());
}

} // namespace
} // namespace zelvo
