#include "platform/CapturedCommand.h"
#include "platform/HostNetlinkParse.h"
#include "platform/PcDhcpClientState.h"
#include "support/FakeHostPlatform.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <linux/if_addr.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <net/if.h>

namespace zelvo {
namespace {

using test::Dotted;
using test::Nbo;
using Bytes = std::string;
using Lines = std::vector<std::string>;

// rtnetlink messages as the kernel lays them out, every part padded to four bytes.
class Rtnetlink : public ::testing::Test
{
protected:
    static Bytes Pad(Bytes b) { return b.resize((b.size() + 3) & ~std::size_t{3}), b; }
    template <typename T> static Bytes Raw(const T& v)
    {
        return Pad(Bytes(reinterpret_cast<const char*>(&v), sizeof v));
    }
    static Bytes Attr(uint16_t type, const Bytes& payload)
    {
        return Raw(rtattr{static_cast<uint16_t>(RTA_LENGTH(payload.size())), type}) + Pad(payload);
    }
    static Bytes U32(uint16_t type, uint32_t value) { return Attr(type, Raw(value)); }
    static Bytes Ip(uint16_t type, const char* dotted) { return U32(type, Nbo(dotted)); }
    template <typename T>
    static Bytes Message(uint16_t type, uint32_t seq, const T& body, Bytes attributes)
    {
        const Bytes rest = Raw(body) + attributes;
        const nlmsghdr header{uint32_t(NLMSG_HDRLEN + rest.size()), type, NLM_F_MULTI, seq, 0};
        return Raw(header) + rest;
    }
    static Bytes Done(uint32_t seq) { return Message(NLMSG_DONE, seq, 0, ""); }
    static Bytes Link(uint32_t seq, int index, const char* name, unsigned flags, Bytes mac = "",
                      Bytes more = "")
    {
        return Message(RTM_NEWLINK, seq, ifinfomsg{AF_UNSPEC, 0, 0, index, flags, 0},
                       Attr(IFLA_IFNAME, Bytes(name) + '\0') +
                           (mac.empty() ? "" : Attr(IFLA_ADDRESS, mac)) + more);
    }
    static Bytes OperState(uint8_t state) { return Attr(IFLA_OPERSTATE, Bytes(1, char(state))); }
    // IFA_ADDRESS may be the peer's; IFA_LOCAL is the PC's own.
    static Bytes Address(uint32_t seq, int index, const char* local, uint8_t flags, Bytes more = "",
                         uint8_t family = AF_INET)
    {
        return Message(RTM_NEWADDR, seq, ifaddrmsg{family, 24, flags, 0, uint32_t(index)},
                       Ip(IFA_ADDRESS, "10.0.0.99") + Ip(IFA_LOCAL, local) + more);
    }
    static Bytes Route(uint8_t dstLen, uint8_t table, uint8_t protocol, Bytes attributes)
    {
        return Message(RTM_NEWROUTE, 3,
                       rtmsg{AF_INET, dstLen, 0, 0, table, protocol, 0, RTN_UNICAST, 0},
                       attributes);
    }
    // Parses an exact-size copy, so that AddressSanitizer sees any read past its end.
    static DumpChunkResult Parse(const Bytes& bytes, uint32_t seq, HostDumpAccumulator& into)
    {
        return ParseRtnetlinkChunk(std::vector<uint8_t>(bytes.begin(), bytes.end()), seq, into);
    }
};

TEST_F(Rtnetlink, joinsLinksAddressesAndDefaultRoutes)
{
    HostDumpAccumulator acc;
    const auto done = [&](const Bytes& bytes, uint32_t seq) {
        return Parse(bytes, seq, acc).progress == DumpProgress::Done;
    };
    // Carrier: IFF_LOWER_UP, and an operational state of up or unknown (tunnels and
    // loopback report none); a bridge without ports is up without it.
    constexpr unsigned kLowerUp = 1u << 16;
    EXPECT_TRUE(done(Link(1, 3, "eth1", IFF_BROADCAST) +
                         Link(1, 1, "lo", IFF_UP | IFF_LOOPBACK | kLowerUp) +
                         Link(1, 2, "eth0", IFF_UP, Bytes("\2\0\0\0\0\x10", 6), OperState(2)) +
                         Link(1, 4, "wlan0", IFF_UP | kLowerUp, "", OperState(5)) +
                         Link(1, 5, "eth3", IFF_UP | kLowerUp, "", OperState(6)) + Done(1),
                     1));
    // The 32-bit flags win over the 8-bit ones; addresses of no link or of IPv6 are left.
    EXPECT_TRUE(done(Address(2, 2, "10.231.7.150", 0, U32(IFA_FLAGS, 0)) +
                         Address(2, 2, "10.231.7.151", 0, U32(IFA_FLAGS, IFA_F_PERMANENT)) +
                         Address(2, 2, "10.231.7.152", IFA_F_PERMANENT, U32(IFA_FLAGS, 0)) +
                         Address(2, 2, "10.231.7.153", IFA_F_PERMANENT) +
                         Address(2, 9, "10.9.9.9", 0) + Address(2, 2, "10.8.8.8", 0, "", AF_INET6) +
                         Done(2),
                     2));
    // Only unicast default routes of the main table count; each next hop of a multipath
    // route is a route of its own.
    Bytes hops;
    for (const auto& [ifindex, gateway] : {std::pair(2, "10.0.0.1"), {3, "10.0.1.1"}})
        hops += Raw(rtnexthop{uint16_t(sizeof(rtnexthop) + 8), 0, 0, ifindex}) +
                Ip(RTA_GATEWAY, gateway);
    EXPECT_TRUE(done(
        Route(0, RT_TABLE_MAIN, RTPROT_DHCP,
              U32(RTA_OIF, 2) + Ip(RTA_GATEWAY, "10.231.7.1") + U32(RTA_PRIORITY, 100)) +
            Route(8, RT_TABLE_MAIN, RTPROT_KERNEL, U32(RTA_OIF, 2) + Ip(RTA_DST, "10.0.0.0")) +
            Route(0, RT_TABLE_LOCAL, RTPROT_BOOT, U32(RTA_OIF, 2) + Ip(RTA_GATEWAY, "10.0.0.9")) +
            Route(0, RT_TABLE_UNSPEC, RTPROT_BOOT, U32(RTA_TABLE, 100) + U32(RTA_OIF, 2)) +
            Route(0, RT_TABLE_UNSPEC, RTPROT_STATIC,
                  U32(RTA_TABLE, RT_TABLE_MAIN) + U32(RTA_OIF, 3)) +
            Route(0, RT_TABLE_MAIN, RTPROT_STATIC,
                  U32(RTA_PRIORITY, 50) + Attr(RTA_MULTIPATH, hops)) +
            Done(3),
        3));

    const HostNetworkState state = acc.Finish();
    Lines seen;
    for (const HostInterface& l : state.interfaces) {
        seen.push_back(l.name + (l.up ? " up" : "") + (l.carrier ? " carrier" : "") +
                       (l.loopback ? " lo" : "") +
                       (l.hasMac ? " mac" + std::to_string(l.mac[5]) : ""));
        for (const HostIfAddress& a : l.addresses)
            seen.push_back(a.address.Dotted() + "/" + std::to_string(a.prefixLength) +
                           (a.permanent ? " permanent" : ""));
    }
    for (const HostDefaultRoute& r : state.defaultRoutes)
        seen.push_back("route " + std::to_string(r.interfaceIndex) + " " + r.gateway.Dotted() +
                       " " + std::to_string(r.metric) + " " + std::to_string(r.protocol));
    EXPECT_EQ(seen,
              (Lines{"lo up carrier lo", "eth0 up mac16", "10.231.7.150/24",
                     "10.231.7.151/24 permanent", "10.231.7.152/24", "10.231.7.153/24 permanent",
                     "eth1", "wlan0 up", "eth3 up carrier", "route 2 10.231.7.1 100 16",
                     "route 3 0.0.0.0 0 4", "route 2 10.0.0.1 50 4", "route 3 10.0.1.1 50 4"}));
}

TEST_F(Rtnetlink, errorsForeignSequencesAndMalformedBytes)
{
    HostDumpAccumulator acc;
    const DumpChunkResult failed = Parse(Message(NLMSG_ERROR, 4, nlmsgerr{-EPERM, {}}, ""), 4, acc);
    EXPECT_EQ(std::pair(failed.progress, failed.errorCode), std::pair(DumpProgress::Failed, EPERM));
    // Another request's messages and its DONE are skipped; an attribute running past its
    // message fails the dump, and its link is not taken.
    EXPECT_EQ(Parse(Link(9, 2, "eth0", IFF_UP) + Done(9), 4, acc).progress, DumpProgress::More);
    const ifinfomsg info{AF_UNSPEC, 0, 0, 5, 0, 0};
    const DumpChunkResult bad =
        Parse(Message(RTM_NEWLINK, 4, info, Raw(rtattr{200, IFLA_IFNAME})), 4, acc);
    EXPECT_EQ(std::pair(bad.progress, bad.errorCode), std::pair(DumpProgress::Failed, EBADMSG));
    EXPECT_TRUE(acc.links.empty());

    // Every cut of a valid dump keeps the messages that arrived whole, fails on a header
    // longer than what is left, and never reads past the cut.
    const Bytes link = Link(3, 2, "eth0", IFF_UP, Bytes(6, '\1'));
    const Bytes address = Address(3, 2, "10.0.0.2", 0);
    const Bytes all = link + address + Route(0, RT_TABLE_MAIN, RTPROT_DHCP, U32(RTA_OIF, 2));
    for (std::size_t n = 0; n <= all.size(); ++n) {
        HostDumpAccumulator part;
        const DumpChunkResult r = Parse(all.substr(0, n), 3, part);
        const std::size_t whole =
            (n >= link.size()) + (n >= link.size() + address.size()) + (n == all.size());
        EXPECT_EQ(part.links.size() + part.addresses.size() + part.defaultRoutes.size(), whole);
        EXPECT_NE(r.progress, DumpProgress::Done) << n;
        const bool cutInMessage = n + 1 == link.size() || n + 1 == link.size() + address.size();
        EXPECT_TRUE(!cutInMessage || r.errorCode == EBADMSG) << n;
    }
}

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
