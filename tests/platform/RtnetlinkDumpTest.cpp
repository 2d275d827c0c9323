// The rtnetlink dumps' reader, the host's links, addresses and routes, the neighbours, on
// hand-built bytes of exact size (a sanitizer sees a read past the end); one kernel dump.
#include "platform/RtnetlinkDump.h"
#include "platform/HostNetlinkParse.h"
#include "platform/NeighbourTable.h"

#include <arpa/inet.h>
#include <linux/neighbour.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <net/if.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>

namespace zelvo {
namespace {

using Bytes = std::vector<uint8_t>;
using Lines = std::vector<std::string>;
constexpr uint32_t kSeq = 41;

Bytes operator+(Bytes a, const Bytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}
template <typename T> Bytes Raw(const T& value) // padded to four bytes, as netlink lays out
{
    Bytes b(sizeof value);
    std::memcpy(b.data(), &value, sizeof value);
    b.resize((b.size() + 3) & ~std::size_t{3});
    return b;
}
Bytes AttrLen(uint16_t type, uint16_t length, Bytes payload) // length as the field says
{
    payload.resize((payload.size() + 3) & ~std::size_t{3});
    return Raw(rtattr{length, type}) + payload;
}
Bytes Attr(uint16_t type, const Bytes& payload)
{
    return AttrLen(type, static_cast<uint16_t>(RTA_LENGTH(payload.size())), payload);
}
Bytes U32(uint16_t type, uint32_t value)
{
    return Attr(type, Raw(value));
}
Bytes Ip(uint16_t type, const char* dotted)
{
    in_addr a{};
    ::inet_pton(AF_INET, dotted, &a);
    return U32(type, a.s_addr);
}
Bytes Message(uint16_t type, const Bytes& body, uint32_t seq = kSeq, uint16_t flags = NLM_F_MULTI)
{
    return Raw(nlmsghdr{uint32_t(NLMSG_HDRLEN + body.size()), type, flags, seq, 0}) + body;
}
Bytes Done(uint32_t seq = kSeq)
{
    return Message(NLMSG_DONE, Raw(0), seq);
}
Bytes Error(int error)
{
    nlmsgerr e{};
    e.error = error;
    return Message(NLMSG_ERROR, Raw(e));
}

// What WalkDumpChunk did with a datagram whose RTM_NEWLINK bodies are bare attribute
// lists: how it ended (nullopt: it failed) and its failure's number, the attribute types
// and sizes it saw, in order, and whether it was marked interrupted.
std::tuple<std::optional<DumpProgress>, int, std::string, bool> Walk(const Bytes& datagram)
{
    std::string seen;
    const Outcome<DumpChunk> result =
        WalkDumpChunk(datagram, kSeq, [&](uint16_t type, std::span<const uint8_t> body) {
            seen += "m" + std::to_string(type) + "(";
            const bool ok = ForEachAttribute(body, [&](const RtAttribute& a) {
                seen += std::to_string(a.type) + ":" + std::to_string(a.payload.size()) + " ";
            });
            seen += ")";
            return ok;
        });
    if (!result.Ok())
        return {std::nullopt, result.Code(), seen, false};
    return {result.Value().progress, 0, seen, result.Value().interrupted};
}

TEST(RtnetlinkDump, walksMessagesAndAttributesAndRefusesWhatDoesNotAddUp)
{
    const Bytes two = Message(RTM_NEWLINK, Attr(3, {'e', 't', 'h', '0', 0}) + Attr(1, Bytes(6, 2)));
    Bytes pastDatagram = two, shortMessage = two;
    pastDatagram[0] = static_cast<uint8_t>(two.size() + 4);
    shortMessage[0] = 8; // shorter than its own header
    const auto Listed = [](const Bytes& attributes) { return Message(RTM_NEWLINK, attributes); };
    const std::optional<DumpProgress> more = DumpProgress::More, done = DumpProgress::Done, failed;
    const std::string twoSeen = "m16(3:5 1:6 )";
    const struct
    {
        const char* what;
        Bytes datagram;
        std::optional<DumpProgress> progress;
        int error;
        std::string seen;
    } cases[] = {
        {"two attributes", two, more, 0, twoSeen},
        {"then done", two + Done(), done, 0, twoSeen},
        {"nothing after done is read", Done() + two, done, 0, ""},
        {"an empty attribute is one", Listed(AttrLen(7, 4, {})), more, 0, "m16(7:0 )"},
        {"a nested flag is masked off", Listed(Attr(NLA_F_NESTED | 9, {})), more, 0, "m16(9:0 )"},
        {"padding after the last attribute", Listed(Attr(3, {1})), more, 0, "m16(3:1 )"},
        {"an empty datagram", {}, more, 0, ""},
        {"another request's messages and done",
         Message(RTM_NEWLINK, Attr(3, {}), kSeq + 1) + Done(kSeq + 1) + two, more, 0, twoSeen},
        {"a zero-length attribute", Listed(AttrLen(3, 0, {1, 2, 3, 4})), failed, EBADMSG, "m16()"},
        {"an attribute shorter than its header", Listed(AttrLen(3, 3, {})), failed, EBADMSG,
         "m16()"},
        {"an attribute past its message", Listed(AttrLen(3, 200, {1, 2, 3, 4})), failed, EBADMSG,
         "m16()"},
        {"attributes before the bad one are seen", Listed(Attr(5, {1}) + AttrLen(6, 0, {})), failed,
         EBADMSG, "m16(5:1 )"},
        {"a message past its datagram", pastDatagram, failed, EBADMSG, ""},
        {"a message shorter than its header", shortMessage, failed, EBADMSG, ""},
        {"a header cut short", two + Bytes(two.begin(), two.begin() + 10), failed, EBADMSG,
         twoSeen},
        {"an error mid-dump", two + Error(-EPERM) + two, failed, EPERM, twoSeen},
        {"an acknowledgement ends it", two + Error(0) + two, done, 0, twoSeen},
        {"an error no kernel sends", Error(EPERM), failed, EBADMSG, ""},
        {"an error without an errno", Error(-5000), failed, EBADMSG, ""},
        {"an error with no room for its value", Message(NLMSG_ERROR, {}), failed, EBADMSG, ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Walk(c.datagram), std::tuple(c.progress, c.error, c.seen, false)) << c.what;
    // A dump the tables changed under says so, on any message of ours.
    EXPECT_TRUE(
        std::get<3>(Walk(two + Message(RTM_NEWLINK, {}, kSeq, NLM_F_MULTI | NLM_F_DUMP_INTR))));
    EXPECT_FALSE(std::get<3>(Walk(Message(RTM_NEWLINK, {}, kSeq + 1, NLM_F_DUMP_INTR))));
}

TEST(RtnetlinkDump, bothTablesRefuseAMalformedBodyAlike)
{
    ndmsg neighbour{};
    neighbour.ndm_family = AF_INET;
    neighbour.ndm_state = NUD_REACHABLE;
    const Bytes link = Raw(ifinfomsg{AF_UNSPEC, 0, 0, 2, IFF_UP, 0});
    for (const auto& [neighbourBody, hostBody] :
         {std::pair{Raw(neighbour) + AttrLen(NDA_DST, 200, {10, 0, 0, 1}),
                    link + AttrLen(IFLA_IFNAME, 200, {10, 0, 0, 1})},
          {Bytes(4), Bytes(4)}}) { // too short for the table's header
        std::vector<NeighbourEntry> entries;
        HostDumpAccumulator hosts;
        EXPECT_EQ(ParseNeighbourDump(Message(RTM_NEWNEIGH, neighbourBody), kSeq, entries).Code(),
                  EBADMSG);
        EXPECT_EQ(ParseRtnetlinkChunk(Message(RTM_NEWLINK, hostBody), kSeq, hosts).Code(), EBADMSG);
        EXPECT_TRUE(entries.empty() && hosts.links.empty());
    }
}

Bytes Link(uint32_t seq, int index, const char* name, unsigned flags, Bytes more = {})
{
    return Message(RTM_NEWLINK,
                   Raw(ifinfomsg{AF_UNSPEC, 0, 0, index, flags, 0}) +
                       Attr(IFLA_IFNAME, Bytes(name, name + std::strlen(name) + 1)) + more,
                   seq);
}
// IFA_ADDRESS may be the peer's; IFA_LOCAL is the PC's own.
Bytes Address(int index, const char* local, uint8_t flags, Bytes more = {},
              uint8_t family = AF_INET)
{
    return Message(RTM_NEWADDR,
                   Raw(ifaddrmsg{family, 24, flags, 0, uint32_t(index)}) +
                       Ip(IFA_ADDRESS, "10.0.0.99") + Ip(IFA_LOCAL, local) + more,
                   2);
}
Bytes Route(uint8_t dstLen, uint8_t table, uint8_t protocol, Bytes attributes)
{
    return Message(
        RTM_NEWROUTE,
        Raw(rtmsg{AF_INET, dstLen, 0, 0, table, protocol, 0, RTN_UNICAST, 0}) + attributes, 3);
}

TEST(HostNetlinkParse, joinsLinksAddressesAndDefaultRoutes)
{
    HostDumpAccumulator acc;
    const auto done = [&](const Bytes& bytes, uint32_t seq) {
        const Outcome<DumpChunk> chunk = ParseRtnetlinkChunk(bytes, seq, acc);
        return chunk.Ok() && chunk.Value().progress == DumpProgress::Done;
    };
    // Carrier: IFF_LOWER_UP, and an operational state of up or unknown (tunnels and
    // loopback report none); a bridge without ports is up without it.
    constexpr unsigned kLowerUp = 1u << 16;
    const auto oper = [](uint8_t state) { return Attr(IFLA_OPERSTATE, {state}); };
    EXPECT_TRUE(done(
        Link(1, 3, "eth1", IFF_BROADCAST) + Link(1, 1, "lo", IFF_UP | IFF_LOOPBACK | kLowerUp) +
            Link(1, 2, "eth0", IFF_UP, Attr(IFLA_ADDRESS, {2, 0, 0, 0, 0, 16}) + oper(2)) +
            Link(1, 4, "wlan0", IFF_UP | kLowerUp, oper(5)) +
            Link(1, 5, "eth3", IFF_UP | kLowerUp, oper(6)) + Done(1),
        1));
    // The 32-bit flags win over the 8-bit ones; addresses of no link or of IPv6 are left.
    EXPECT_TRUE(done(Address(2, "10.231.7.151", 0, U32(IFA_FLAGS, IFA_F_PERMANENT)) +
                         Address(2, "10.231.7.152", IFA_F_PERMANENT, U32(IFA_FLAGS, 0)) +
                         Address(2, "10.231.7.153", IFA_F_PERMANENT) + Address(9, "10.9.9.9", 0) +
                         Address(2, "10.8.8.8", 0, {}, AF_INET6) + Done(2),
                     2));
    // Only unicast default routes of the main table count; each next hop of a multipath
    // route is a route of its own.
    Bytes hops;
    for (const auto& [ifindex, gateway] : {std::pair(2, "10.0.0.1"), {3, "10.0.1.1"}})
        hops = hops + Raw(rtnexthop{uint16_t(sizeof(rtnexthop) + 8), 0, 0, ifindex}) +
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
    EXPECT_EQ(seen, (Lines{"lo up carrier lo", "eth0 up mac16", "10.231.7.151/24 permanent",
                           "10.231.7.152/24", "10.231.7.153/24 permanent", "eth1", "wlan0 up",
                           "eth3 up carrier", "route 2 10.231.7.1 100 16", "route 3 0.0.0.0 0 4",
                           "route 2 10.0.0.1 50 4", "route 3 10.0.1.1 50 4"}));
}

TEST(NeighbourDump, keepsNeighboursAndBlanksThoseWithoutAddress)
{
    const MacAddress mac = {0x02, 0x5a, 0xe1, 0x40, 0x00, 0x21}, zero{};
    const Bytes lladdr(mac.begin(), mac.end());
    const auto neighbour = [](const Bytes& ll, uint16_t state, uint8_t family = AF_INET,
                              uint32_t seq = kSeq) {
        const Bytes body = Raw(ndmsg{family, 0, 0, 2, state, 0, 0}) +
                           Attr(NDA_DST, {10, 0, 0, 21}) +
                           (ll.empty() ? Bytes{} : Attr(NDA_LLADDR, ll));
        return Message(RTM_NEWNEIGH, body, seq);
    };
    const std::pair<Bytes, std::optional<MacAddress>> cases[] = {
        {neighbour(lladdr, NUD_REACHABLE), mac},
        {neighbour(lladdr, NUD_STALE), mac},
        {neighbour(lladdr, NUD_PERMANENT), mac}, // ip neigh add
        {neighbour({}, NUD_INCOMPLETE), zero},
        {neighbour(lladdr, NUD_FAILED), zero}, // the old address still given
        {neighbour({1, 2, 3}, NUD_REACHABLE), zero},
        {neighbour(lladdr, NUD_NOARP), {}}, // broadcast and the like
        {neighbour(lladdr, NUD_REACHABLE, AF_INET6), {}}};
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        std::vector<NeighbourEntry> entries;
        const Outcome<DumpChunk> chunk = ParseNeighbourDump(cases[i].first, kSeq, entries);
        EXPECT_TRUE(chunk.Ok() && chunk.Value().progress == DumpProgress::More) << i;
        ASSERT_EQ(entries.size(), cases[i].second ? 1u : 0u) << i;
        if (cases[i].second) {
            EXPECT_EQ(std::pair(entries[0].address, entries[0].mac),
                      std::pair(Ipv4Address::FromOctets(10, 0, 0, 21), *cases[i].second))
                << i;
        }
    }
    // Asked for, NOARP entries are kept as given and marked: a static "nud noarp" host.
    std::vector<NeighbourEntry> entries;
    (void)ParseNeighbourDump(neighbour(lladdr, NUD_NOARP) + neighbour(lladdr, NUD_REACHABLE) +
                                 Done(),
                             kSeq, entries, true);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_TRUE(entries[0].noArp && entries[0].mac == mac && !entries[1].noArp);
}

// The kernel's own dump, read whole, is the host platform's test; a reader that never
// hears the end waits for the next datagram until the reply time.
TEST(RtnetlinkDump, givesUpWhenNoMoreComes)
{
    const Outcome<UniqueFd> socket = OpenRouteSocket();
    ASSERT_TRUE(socket.Ok()) << socket.Code();
    ifinfomsg request{};
    request.ifi_family = AF_UNSPEC;
    int datagrams = 0;
    const Outcome<DumpRead> endless = RunDump(
        socket.Value().Get(), BuildDumpRequest(RTM_GETLINK, 6, request),
        [&](std::span<const uint8_t>) { return ++datagrams, Outcome<DumpChunk>(DumpChunk{}); },
        SystemClock(), 200);
    EXPECT_EQ(std::pair(endless.Code(), datagrams > 0), std::pair(ETIMEDOUT, true));
}

} // namespace
} // namespace zelvo
