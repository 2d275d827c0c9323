#include "platform/CapturedCommand.h"
#include "platform/PcDhcpClientState.h"
#include "support/FakeHostPlatform.h"

#include <algorithm>
#include <chrono>

namespace zelvo {
namespace {

using test::Nbo;
using Lines = std::vector<std::string>;

TEST(PcDhcpClientState, readsTheOptionsNetworkManagerAndNetworkdKnow)
{
    const std::vector<Ipv4Address> routers = {Ipv4Address{Nbo("10.231.7.1")},
                                              Ipv4Address{Nbo("10.231.7.2")}};
    for (const char* output :
         {"ip_address = 10.231.7.150 | routers = 10.231.7.1 bogus 300.1.1.1 10.231.7.2"
          " | subnet_mask = 255.255.255.0\n",
          "DHCP4.OPTION[1]:routers = 10.231.7.1 10.231.7.2\n"
          "DHCP4.OPTION[2]:subnet_mask = 255.255.255.0\n"}) {
        const DhcpClientReport r = ParseNmcliDhcp4(output);
        EXPECT_EQ(r.source, DhcpClientSource::NetworkManager) << output;
        EXPECT_TRUE(r.optionsKnown && r.maskText == "255.255.255.0" && r.routers == routers)
            << output;
    }
    for (const char* output : {"", "Error: Device 'eth9' not found.\n"})
        EXPECT_FALSE(ParseNmcliDhcp4(output).optionsKnown) << output;

    const DhcpClientReport lease = ParseNetworkdLease(
        "# private\nADDRESS=10.231.7.150\nNETMASK=255.0.0.0\nROUTER=10.231.7.1\n");
    EXPECT_EQ(lease.source, DhcpClientSource::Networkd);
    EXPECT_TRUE(lease.optionsKnown && lease.maskText == "255.0.0.0");
    EXPECT_EQ(lease.routers, std::vector<Ipv4Address>{routers[0]});
    EXPECT_FALSE(ParseNetworkdLease("ADDRESS=10.0.0.2\n").maskText.has_value());
}

TEST(PcDhcpClientState, recognisesTheClientProcessesAndTheInterfaceTheyServe)
{
    using namespace std::string_literals;
    EXPECT_EQ(SplitCommandLine("udhcpc\0-i\0\0eth0\0"s), (Lines{"udhcpc", "-i", "", "eth0"}));
    const std::tuple<Lines, const char*, bool> cases[] = {
        {{"/sbin/udhcpc", "-i", "eth0", "-s", "/run/lab/dhcp-event.sh"}, "eth0", true},
        {{"busybox", "udhcpc", "--interface", "eth1"}, "eth1", true},
        {{"udhcpc", "-ieth1"}, "eth1", true},
        {{"udhcpc", "-fqi", "eth2"}, "eth2", true},
        {{"udhcpc", "-f"}, "eth0", true}, // busybox's default interface
        {{"udhcpc", "-f"}, "eth1", false},
        {{"dhclient", "-pf", "/run/dhclient.eth0.pid", "eth1"}, "eth0", false},
        {{"/usr/sbin/dhcpcd", "-q", "enp3s0"}, "enp3s0", true},
        {{"dnsmasq", "--interface=eth0"}, "eth0", false},
        {{}, "eth0", false},
    };
    for (const auto& [args, interfaceName, expected] : cases)
        EXPECT_EQ(IsDhcpClientFor(args, interfaceName), expected)
            << ::testing::PrintToString(args) << " / " << interfaceName;
}

// This machine's own answers, read without sending anything.
TEST(LinuxHostPlatform, readsThisMachine)
{
    HostPlatform& platform = SystemHostPlatform();
    EXPECT_EQ(platform.ReadOsRelease().value_or(OsRelease{}).systemName, "Linux");
    EXPECT_TRUE(platform.TcpAvailable() && platform.NetworkInfoAvailable() && platform.HostName());
    const HostNetworkState state = platform.ReadNetworkState();
    const auto lo = std::find_if(state.interfaces.begin(), state.interfaces.end(),
                                 [](const HostInterface& l) { return l.loopback; });
    ASSERT_TRUE(state.errorCode == 0 && lo != state.interfaces.end() && !lo->addresses.empty());
    EXPECT_EQ(lo->addresses[0].address.Dotted() + "/" +
                  std::to_string(lo->addresses[0].prefixLength),
              "127.0.0.1/8");
}

TEST(RunAndCapture, collectsCutsAndStopsCommands)
{
    const auto run = [](Lines argv, int timeoutMs, std::size_t maxBytes) {
        const auto out = RunAndCapture(argv, timeoutMs, maxBytes);
        return out ? out->standardOutput + std::to_string(out->exitStatus) : "not started";
    };
    EXPECT_EQ(run({"sh", "-c", "echo $LC_ALL; echo e >&2; exit 3"}, 5000, 100), "C\n3");
    EXPECT_EQ(run({"sh", "-c", "yes | head -c 100000"}, 5000, 10), "y\ny\ny\ny\ny\n0");
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(run({"sleep", "30"}, 200, 100), "-1");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_EQ(run({"zelvo-no-such-command"}, 1000, 100), "not started");
}

} // namespace
} // namespace zelvo
