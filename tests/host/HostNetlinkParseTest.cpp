#include "platform/HostNetlinkParse.h"
#include "FakeHostPlatform.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <linux/if_addr.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <sys/socket.h>

namespace zelvo {
namespace {

using test::Nbo;

// Writes rtnetlink messages byte by byte, as the kernel lays them out.
class MessageWriter
{
public:
    std::size_t Begin(uint16_t type, uint32_t sequence, uint16_t flags = NLM_F_MULTI)
    {
        const std::size_t at = m_bytes.size();
        nlmsghdr header{};
        header.nlmsg_type = type;
        header.nlmsg_flags = flags;
        header.nlmsg_seq = sequence;
        Put(header);
        return at;
    }
    template <typename T> void Put(const T& value)
    {
        const auto* p = reinterpret_cast<const uint8_t*>(&value);
        m_bytes.insert(m_bytes.end(), p, p + sizeof(T));
        Pad();
    }
    void Attribute(uint16_t type, const void* data, std::size_t length)
    {
        rtattr header{};
        header.rta_len = static_cast<unsigned short>(RTA_LENGTH(length));
        header.rta_type = type;
        const auto* h = reinterpret_cast<const uint8_t*>(&header);
        m_bytes.insert(m_bytes.end(), h, h + sizeof header);
        const auto* p = static_cast<const uint8_t*>(data);
        m_bytes.insert(m_bytes.end(), p, p + length);
        Pad();
    }
    void U32(uint16_t type, uint32_t value) { Attribute(type, &value, sizeof value); }
    void Text(uint16_t type, const char* text) { Attribute(type, text, std::strlen(text) + 1); }
    // Opens a nested area (RTA_MULTIPATH, a next hop); Close writes its length.
    std::size_t Open(uint16_t type)
    {
        const std::size_t at = m_bytes.size();
        Attribute(type, nullptr, 0);
        return at;
    }
    std::size_t OpenHop(int ifindex)
    {
        const std::size_t at = m_bytes.size();
        rtnexthop hop{};
        hop.rtnh_ifindex = ifindex;
        Put(hop);
        return at;
    }
    void Close(std::size_t at)
    {
        const auto length = static_cast<unsigned short>(m_bytes.size() - at);
        std::memcpy(m_bytes.data() + at, &length, sizeof length);
    }
    void End(std::size_t at)
    {
        const auto length = static_cast<uint32_t>(m_bytes.size() - at);
        std::memcpy(m_bytes.data() + at, &length, sizeof length);
    }
    void Done(uint32_t sequence) { End(Begin(NLMSG_DONE, sequence)); }
    std::vector<uint8_t>& bytes() { return m_bytes; }

private:
    void Pad()
    {
        while (m_bytes.size() % 4 != 0)
            m_bytes.push_back(0);
    }
    std::vector<uint8_t> m_bytes;
};

void Link(MessageWriter& w, uint32_t seq, int index, const char* name, unsigned flags,
          const std::vector<uint8_t>& mac)
{
    const auto at = w.Begin(RTM_NEWLINK, seq);
    ifinfomsg info{};
    info.ifi_index = index;
    info.ifi_flags = flags;
    w.Put(info);
    w.Text(IFLA_IFNAME, name);
    if (!mac.empty())
        w.Attribute(IFLA_ADDRESS, mac.data(), mac.size());
    w.End(at);
}

void Address(MessageWriter& w, uint32_t seq, int index, const char* local, uint8_t prefix,
             uint8_t shortFlags, std::optional<uint32_t> longFlags, uint8_t family = AF_INET)
{
    const auto at = w.Begin(RTM_NEWADDR, seq);
    ifaddrmsg info{};
    info.ifa_family = family;
    info.ifa_prefixlen = prefix;
    info.ifa_flags = shortFlags;
    info.ifa_index = static_cast<uint32_t>(index);
    w.Put(info);
    w.U32(IFA_ADDRESS, Nbo(local));
    w.U32(IFA_LOCAL, Nbo(local));
    if (longFlags)
        w.U32(IFA_FLAGS, *longFlags);
    w.End(at);
}

void Route(MessageWriter& w, uint32_t seq, uint8_t dstLen, uint8_t table, uint8_t protocol,
           std::optional<int> oif, const char* gateway, std::optional<uint32_t> metric,
           std::optional<uint32_t> tableAttribute = {})
{
    const auto at = w.Begin(RTM_NEWROUTE, seq);
    rtmsg info{};
    info.rtm_family = AF_INET;
    info.rtm_dst_len = dstLen;
    info.rtm_table = table;
    info.rtm_protocol = protocol;
    info.rtm_type = RTN_UNICAST;
    w.Put(info);
    if (tableAttribute)
        w.U32(RTA_TABLE, *tableAttribute);
    if (dstLen != 0)
        w.U32(RTA_DST, Nbo("10.0.0.0"));
    if (gateway)
        w.U32(RTA_GATEWAY, Nbo(gateway));
    if (oif)
        w.U32(RTA_OIF, static_cast<uint32_t>(*oif));
    if (metric)
        w.U32(RTA_PRIORITY, *metric);
    w.End(at);
}

TEST(ParseRtnetlinkChunk, joinsLinksAddressesAndRoutes)
{
    HostDumpAccumulator acc;
    MessageWriter links;
    Link(links, 1, 2, "eth0", IFF_UP | IFF_BROADCAST, {2, 0, 0, 0, 0, 0x10});
    Link(links, 1, 1, "lo", IFF_UP | IFF_LOOPBACK, {0, 0, 0, 0, 0, 0});
    Link(links, 1, 3, "tun0", IFF_UP | IFF_POINTOPOINT, {});
    Link(links, 1, 4, "eth1", IFF_BROADCAST, {2, 0, 0, 0, 0, 0x20});
    links.Done(1);
    EXPECT_EQ(ParseRtnetlinkChunk(links.bytes(), 1, acc).progress, DumpProgress::Done);

    MessageWriter addresses;
    Address(addresses, 2, 1, "127.0.0.1", 8, IFA_F_PERMANENT, {});
    Address(addresses, 2, 2, "10.231.7.150", 24, 0, 0u);               // leased
    Address(addresses, 2, 2, "10.231.7.151", 24, 0, IFA_F_PERMANENT);  // long flags win
    Address(addresses, 2, 2, "10.231.7.152", 24, IFA_F_PERMANENT, 0u); // ... both ways
    Address(addresses, 2, 9, "10.9.9.9", 24, IFA_F_PERMANENT, {});     // no such link
    Address(addresses, 2, 2, "10.0.0.0", 99, IFA_F_PERMANENT, {}, AF_INET6);
    const auto split = addresses.bytes().size();
    addresses.Done(2);
    // A dump goes on over several datagrams until NLMSG_DONE.
    const std::span<const uint8_t> all(addresses.bytes());
    EXPECT_EQ(ParseRtnetlinkChunk(all.first(split), 2, acc).progress, DumpProgress::More);
    EXPECT_EQ(ParseRtnetlinkChunk(all.subspan(split), 2, acc).progress, DumpProgress::Done);

    MessageWriter routes;
    Route(routes, 3, 0, RT_TABLE_MAIN, RTPROT_DHCP, 2, "10.231.7.1", 100u);
    Route(routes, 3, 8, RT_TABLE_MAIN, RTPROT_KERNEL, 2, nullptr, {}); // not a default route
    Route(routes, 3, 0, RT_TABLE_LOCAL, RTPROT_BOOT, 2, "10.231.7.9", {});
    Route(routes, 3, 0, RT_TABLE_UNSPEC, RTPROT_BOOT, 4, "10.5.5.1", {}, 100u); // table 100
    Route(routes, 3, 0, RT_TABLE_UNSPEC, RTPROT_STATIC, 3, nullptr, {}, RT_TABLE_MAIN);
    routes.Done(3);
    EXPECT_EQ(ParseRtnetlinkChunk(routes.bytes(), 3, acc).progress, DumpProgress::Done);

    const HostNetworkState state = acc.Finish();
    ASSERT_EQ(state.interfaces.size(), 4u);
    EXPECT_EQ(state.interfaces[0].name, "lo");
    EXPECT_TRUE(state.interfaces[0].loopback);
    const HostInterface& eth0 = state.interfaces[1];
    EXPECT_EQ(eth0.name, "eth0");
    EXPECT_TRUE(eth0.up);
    EXPECT_FALSE(eth0.loopback);
    EXPECT_TRUE(eth0.hasMac);
    EXPECT_EQ(eth0.mac, (std::array<uint8_t, 6>{2, 0, 0, 0, 0, 0x10}));
    ASSERT_EQ(eth0.addresses.size(), 3u);
    EXPECT_EQ(eth0.addresses[0].addressNbo, Nbo("10.231.7.150"));
    EXPECT_EQ(eth0.addresses[0].prefixLength, 24);
    EXPECT_FALSE(eth0.addresses[0].permanent);
    EXPECT_TRUE(eth0.addresses[1].permanent);
    EXPECT_FALSE(eth0.addresses[2].permanent);
    EXPECT_FALSE(state.interfaces[2].hasMac);
    EXPECT_FALSE(state.interfaces[3].up);

    ASSERT_EQ(state.defaultRoutes.size(), 2u);
    EXPECT_EQ(state.defaultRoutes[0].interfaceIndex, 2);
    EXPECT_EQ(state.defaultRoutes[0].gatewayNbo, Nbo("10.231.7.1"));
    EXPECT_EQ(state.defaultRoutes[0].metric, 100u);
    EXPECT_EQ(state.defaultRoutes[0].protocol, RTPROT_DHCP);
    EXPECT_EQ(state.defaultRoutes[1].interfaceIndex, 3);
    EXPECT_EQ(state.defaultRoutes[1].gatewayNbo, 0u);
}

TEST(ParseRtnetlinkChunk, multipathNextHopsAreRoutesOfTheirOwn)
{
    HostDumpAccumulator acc;
    MessageWriter w;
    const auto at = w.Begin(RTM_NEWROUTE, 7);
    rtmsg info{};
    info.rtm_family = AF_INET;
    info.rtm_table = RT_TABLE_MAIN;
    info.rtm_protocol = RTPROT_STATIC;
    info.rtm_type = RTN_UNICAST;
    w.Put(info);
    w.U32(RTA_PRIORITY, 50);
    const auto multipath = w.Open(RTA_MULTIPATH);
    const auto hop1 = w.OpenHop(2);
    w.U32(RTA_GATEWAY, Nbo("10.0.0.1"));
    w.Close(hop1);
    const auto hop2 = w.OpenHop(3);
    w.U32(RTA_GATEWAY, Nbo("10.0.1.1"));
    w.Close(hop2);
    w.Close(multipath);
    w.End(at);
    w.Done(7);
    ASSERT_EQ(ParseRtnetlinkChunk(w.bytes(), 7, acc).progress, DumpProgress::Done);
    ASSERT_EQ(acc.defaultRoutes.size(), 2u);
    EXPECT_EQ(acc.defaultRoutes[0].interfaceIndex, 2);
    EXPECT_EQ(acc.defaultRoutes[0].gatewayNbo, Nbo("10.0.0.1"));
    EXPECT_EQ(acc.defaultRoutes[1].interfaceIndex, 3);
    EXPECT_EQ(acc.defaultRoutes[1].gatewayNbo, Nbo("10.0.1.1"));
    EXPECT_EQ(acc.defaultRoutes[1].metric, 50u);
}

TEST(ParseRtnetlinkChunk, errorsAndForeignSequencesAndMalformedBytes)
{
    {
        HostDumpAccumulator acc;
        MessageWriter w;
        const auto at = w.Begin(NLMSG_ERROR, 4, 0);
        nlmsgerr error{};
        error.error = -EPERM;
        w.Put(error);
        w.End(at);
        const DumpChunkResult r = ParseRtnetlinkChunk(w.bytes(), 4, acc);
        EXPECT_EQ(r.progress, DumpProgress::Failed);
        EXPECT_EQ(r.errorCode, EPERM);
    }
    {
        // Another request's messages and its DONE are skipped.
        HostDumpAccumulator acc;
        MessageWriter w;
        Link(w, 9, 2, "eth0", IFF_UP, {});
        w.Done(9);
        EXPECT_EQ(ParseRtnetlinkChunk(w.bytes(), 4, acc).progress, DumpProgress::More);
        EXPECT_TRUE(acc.links.empty());
    }
    {
        // A message longer than its datagram: the read ends, nothing past the bytes.
        HostDumpAccumulator acc;
        MessageWriter w;
        Link(w, 1, 2, "eth0", IFF_UP, {});
        std::vector<uint8_t> bytes = w.bytes();
        const uint32_t tooLong = static_cast<uint32_t>(bytes.size() + 64);
        std::memcpy(bytes.data(), &tooLong, sizeof tooLong);
        const DumpChunkResult r = ParseRtnetlinkChunk(bytes, 1, acc);
        EXPECT_EQ(r.progress, DumpProgress::Failed);
        EXPECT_EQ(r.errorCode, EBADMSG);
    }
    {
        // An attribute running past its message is dropped, the link is kept.
        HostDumpAccumulator acc;
        MessageWriter w;
        const auto at = w.Begin(RTM_NEWLINK, 1);
        ifinfomsg info{};
        info.ifi_index = 5;
        w.Put(info);
        rtattr broken{};
        broken.rta_len = 200;
        broken.rta_type = IFLA_IFNAME;
        w.Put(broken);
        w.End(at);
        EXPECT_EQ(ParseRtnetlinkChunk(w.bytes(), 1, acc).progress, DumpProgress::More);
        ASSERT_EQ(acc.links.size(), 1u);
        EXPECT_EQ(acc.links[0].index, 5);
        EXPECT_TRUE(acc.links[0].name.empty());
    }
    {
        // Every cut of a valid dump keeps exactly the messages that arrived whole and
        // never reads past the cut (AddressSanitizer watches the copy's end).
        MessageWriter w;
        Link(w, 1, 2, "eth0", IFF_UP, {2, 0, 0, 0, 0, 1});
        const std::size_t linkEnd = w.bytes().size();
        Address(w, 1, 2, "10.0.0.2", 24, 0, 0u);
        const std::size_t addressEnd = w.bytes().size();
        Route(w, 1, 0, RT_TABLE_MAIN, RTPROT_DHCP, 2, "10.0.0.1", 5u);
        const std::size_t routeEnd = w.bytes().size();
        for (std::size_t n = 0; n <= routeEnd; ++n) {
            const std::vector<uint8_t> cut(w.bytes().begin(), w.bytes().begin() + n);
            HostDumpAccumulator acc;
            const DumpChunkResult r = ParseRtnetlinkChunk(cut, 1, acc);
            const std::size_t whole = (n >= linkEnd) + (n >= addressEnd) + (n >= routeEnd);
            EXPECT_EQ(acc.links.size() + acc.addresses.size() + acc.defaultRoutes.size(), whole)
                << n;
            EXPECT_NE(r.progress, DumpProgress::Done) << n;
        }
    }
}

} // namespace
} // namespace zelvo
