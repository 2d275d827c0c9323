#include "platform/DhcpClientParse.h"
#include "FakeHostPlatform.h"

#include <gtest/gtest.h>

namespace zelvo {
namespace {

using test::Nbo;

TEST(ParseNmcliDhcp4, readsBothOutputForms)
{
    const char* getValues =
        "broadcast_address = 10.231.7.255 | dhcp_lease_time = 3600 | ip_address = 10.231.7.150"
        " | routers = 10.231.7.1 10.231.7.2 | subnet_mask = 255.255.255.0\n";
    const char* terse = "DHCP4.OPTION[1]:broadcast_address = 10.231.7.255\n"
                        "DHCP4.OPTION[2]:routers = 10.231.7.1 10.231.7.2\n"
                        "DHCP4.OPTION[3]:subnet_mask = 255.255.255.0\n";
    for (const char* output : {getValues, terse}) {
        const DhcpClientReport r = ParseNmcliDhcp4(output);
        EXPECT_EQ(r.source, DhcpClientSource::NetworkManager) << output;
        EXPECT_TRUE(r.optionsKnown);
        EXPECT_EQ(r.maskText.value_or(""), "255.255.255.0") << output;
        EXPECT_EQ(r.routersNbo, (std::vector<uint32_t>{Nbo("10.231.7.1"), Nbo("10.231.7.2")}))
            << output;
    }
}

TEST(ParseNmcliDhcp4, optionsWithoutRouterOrWithoutAnythingAtAll)
{
    const DhcpClientReport noRouter =
        ParseNmcliDhcp4("ip_address = 10.0.0.9 | subnet_mask = 255.0.0.0\n");
    EXPECT_EQ(noRouter.source, DhcpClientSource::NetworkManager);
    EXPECT_TRUE(noRouter.routersNbo.empty());
    EXPECT_EQ(noRouter.maskText.value_or(""), "255.0.0.0");

    for (const char* output : {"", "\n", "Error: Device 'eth9' not found.\n", "no options here"}) {
        const DhcpClientReport r = ParseNmcliDhcp4(output);
        EXPECT_EQ(r.source, DhcpClientSource::None) << output;
        EXPECT_FALSE(r.optionsKnown) << output;
        EXPECT_FALSE(r.maskText.has_value()) << output;
    }
}

TEST(ParseNmcliDhcp4, ignoresRouterWordsThatAreNoAddresses)
{
    const DhcpClientReport r = ParseNmcliDhcp4("routers = 10.0.0.1 bogus 300.1.1.1 10.0.0.2");
    EXPECT_EQ(r.routersNbo, (std::vector<uint32_t>{Nbo("10.0.0.1"), Nbo("10.0.0.2")}));
}

TEST(ParseNetworkdLease, readsMaskAndRouters)
{
    const DhcpClientReport r = ParseNetworkdLease("# This is private data. Do not parse.\n"
                                                  "ADDRESS=10.231.7.150\n"
                                                  "NETMASK=255.255.255.0\n"
                                                  "ROUTER=10.231.7.1\n"
                                                  "SERVER_ADDRESS=10.231.7.1\n");
    EXPECT_EQ(r.source, DhcpClientSource::Networkd);
    EXPECT_TRUE(r.optionsKnown);
    EXPECT_EQ(r.maskText.value_or(""), "255.255.255.0");
    EXPECT_EQ(r.routersNbo, (std::vector<uint32_t>{Nbo("10.231.7.1")}));

    const DhcpClientReport noRouter = ParseNetworkdLease("ADDRESS=10.0.0.2\nNETMASK=255.0.0.0\n");
    EXPECT_EQ(noRouter.source, DhcpClientSource::Networkd);
    EXPECT_TRUE(noRouter.routersNbo.empty());
    EXPECT_FALSE(ParseNetworkdLease("ADDRESS=10.0.0.2\n").maskText.has_value());
}

TEST(SplitCommandLine, splitsAtNulBytes)
{
    using namespace std::string_literals;
    EXPECT_EQ(SplitCommandLine("udhcpc\0-i\0eth0\0"s),
              (std::vector<std::string>{"udhcpc", "-i", "eth0"}));
    EXPECT_EQ(SplitCommandLine("a\0\0b"s), (std::vector<std::string>{"a", "", "b"}));
    EXPECT_TRUE(SplitCommandLine("").empty());
}

TEST(IsDhcpClientFor, recognisesTheClientsAndTheInterfaceTheyServe)
{
    using Args = std::vector<std::string>;
    const std::tuple<Args, const char*, bool> cases[] = {
        {{"udhcpc", "-i", "eth0", "-s", "/run/lab/dhcp-event.sh"}, "eth0", true},
        {{"/sbin/udhcpc", "-ieth1"}, "eth1", true},
        {{"busybox", "udhcpc", "--interface=eth0", "-f"}, "eth0", true},
        {{"busybox", "udhcpc", "--interface", "wlan0"}, "wlan0", true},
        {{"udhcpc", "-fqi", "eth2"}, "eth2", true},
        {{"udhcpc", "-f"}, "eth0", true}, // busybox's default interface
        {{"udhcpc", "-f"}, "eth1", false},
        {{"udhcpc", "-i", "eth1"}, "eth0", false},
        {{"dhclient", "-4", "-pf", "/run/dhclient.eth0.pid", "eth0"}, "eth0", true},
        {{"dhclient", "-pf", "/run/dhclient.eth0.pid", "eth1"}, "eth0", false},
        {{"/usr/sbin/dhcpcd", "-q", "enp3s0"}, "enp3s0", true},
        {{"dnsmasq", "--interface=eth0", "--dhcp-range=10.0.0.2,10.0.0.9"}, "eth0", false},
        {{"vi", "udhcpc", "eth0"}, "eth0", false},
        {{}, "eth0", false},
        {{"udhcpc", "-i", "eth0"}, "", false},
    };
    for (const auto& [args, interfaceName, expected] : cases) {
        std::string shown;
        for (const auto& a : args)
            shown += a + " ";
        EXPECT_EQ(IsDhcpClientFor(args, interfaceName), expected) << shown << "/ " << interfaceName;
    }
}

} // namespace
} // namespace zelvo
