#include "platform/HostNetlinkParse.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <linux/if_addr.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <sys/socket.h>

namespace zelvo {
namespace {

// From <linux/if.h>, which does not mix with <net/if.h>.
constexpr unsigned kLowerUp = 1u << 16; // IFF_LOWER_UP
constexpr uint8_t kOperUnknown = 0;     // IF_OPER_UNKNOWN
constexpr uint8_t kOperUp = 6;          // IF_OPER_UP

uint32_t U32(std::span<const uint8_t> payload)
{
    uint32_t value = 0;
    ReadAt(payload, 0, value);
    return value;
}

// Each Add... reads one message's body: false when it is malformed.
bool AddLink(std::span<const uint8_t> body, HostDumpAccumulator& into)
{
    ifinfomsg info{};
    if (!ReadAt(body, 0, info))
        return false;
    HostInterface link;
    link.index = info.ifi_index;
    link.up = (info.ifi_flags & IFF_UP) != 0;
    link.loopback = (info.ifi_flags & IFF_LOOPBACK) != 0;
    uint8_t operState = kOperUnknown;
    if (!ForEachAttribute(body.subspan(NLMSG_ALIGN(sizeof(ifinfomsg))), [&](const RtAttribute& a) {
            if (a.type == IFLA_IFNAME) {
                const auto* text = reinterpret_cast<const char*>(a.payload.data());
                link.name.assign(text, strnlen(text, a.payload.size()));
            } else if (a.type == IFLA_ADDRESS && a.payload.size() == link.mac.size()) {
                std::copy(a.payload.begin(), a.payload.end(), link.mac.begin());
                link.hasMac = true;
            } else if (a.type == IFLA_OPERSTATE && !a.payload.empty()) {
                operState = a.payload[0];
            }
        }))
        return false;
    link.carrier =
        (info.ifi_flags & kLowerUp) != 0 && (operState == kOperUp || operState == kOperUnknown);
    into.links.push_back(std::move(link));
    return true;
}

bool AddAddress(std::span<const uint8_t> body, HostDumpAccumulator& into)
{
    ifaddrmsg info{};
    if (!ReadAt(body, 0, info))
        return false;
    HostIfAddress address;
    address.prefixLength = std::min<uint8_t>(info.ifa_prefixlen, 32);
    uint32_t flags = info.ifa_flags;
    bool haveLocal = false;
    bool haveAddress = false;
    uint32_t local = 0;
    uint32_t peer = 0;
    if (!ForEachAttribute(body.subspan(NLMSG_ALIGN(sizeof(ifaddrmsg))), [&](const RtAttribute& a) {
            if (a.type == IFA_LOCAL && a.payload.size() >= 4) {
                local = U32(a.payload);
                haveLocal = true;
            } else if (a.type == IFA_ADDRESS && a.payload.size() >= 4) {
                peer = U32(a.payload);
                haveAddress = true;
            } else if (a.type == IFA_FLAGS && a.payload.size() >= 4) {
                flags = U32(a.payload); // supersedes the 8-bit ifa_flags
            }
        }))
        return false;
    if (info.ifa_family != AF_INET || (!haveLocal && !haveAddress))
        return true;
    // On a point-to-point link IFA_ADDRESS is the peer; IFA_LOCAL is always ours.
    address.address = Ipv4Address{haveLocal ? local : peer};
    address.permanent = (flags & IFA_F_PERMANENT) != 0;
    into.addresses.emplace_back(static_cast<int>(info.ifa_index), address);
    return true;
}

bool AddDefaultRoutes(std::span<const uint8_t> body, HostDumpAccumulator& into)
{
    rtmsg info{};
    if (!ReadAt(body, 0, info))
        return false;
    uint32_t table = info.rtm_table;
    HostDefaultRoute route;
    route.protocol = info.rtm_protocol;
    std::span<const uint8_t> multipath;
    if (!ForEachAttribute(body.subspan(NLMSG_ALIGN(sizeof(rtmsg))), [&](const RtAttribute& a) {
            if (a.type == RTA_TABLE && a.payload.size() >= 4)
                table = U32(a.payload);
            else if (a.type == RTA_OIF && a.payload.size() >= 4)
                route.interfaceIndex = static_cast<int>(U32(a.payload));
            else if (a.type == RTA_GATEWAY && a.payload.size() >= 4)
                route.gateway = Ipv4Address{U32(a.payload)};
            else if (a.type == RTA_PRIORITY && a.payload.size() >= 4)
                route.metric = U32(a.payload);
            else if (a.type == RTA_MULTIPATH)
                multipath = a.payload;
        }))
        return false;
    if (info.rtm_family != AF_INET || info.rtm_dst_len != 0 || info.rtm_type != RTN_UNICAST ||
        table != RT_TABLE_MAIN)
        return true;
    if (multipath.empty()) {
        into.defaultRoutes.push_back(route);
        return true;
    }
    // Each next hop of a multipath default route counts as a default route of its own.
    std::size_t offset = 0;
    while (offset + sizeof(rtnexthop) <= multipath.size()) {
        rtnexthop hop{};
        ReadAt(multipath, offset, hop);
        if (hop.rtnh_len < sizeof(rtnexthop) || hop.rtnh_len > multipath.size() - offset)
            return false;
        HostDefaultRoute nextHop = route;
        nextHop.interfaceIndex = hop.rtnh_ifindex;
        nextHop.gateway = Ipv4Address();
        if (!ForEachAttribute(multipath.subspan(offset + RTNH_ALIGN(sizeof(rtnexthop)),
                                                hop.rtnh_len - RTNH_ALIGN(sizeof(rtnexthop))),
                              [&](const RtAttribute& a) {
                                  if (a.type == RTA_GATEWAY && a.payload.size() >= 4)
                                      nextHop.gateway = Ipv4Address{U32(a.payload)};
                              }))
            return false;
        into.defaultRoutes.push_back(nextHop);
        offset = std::min(multipath.size(), offset + RTNH_ALIGN(hop.rtnh_len));
    }
    return true;
}

} // namespace

HostNetworkState HostDumpAccumulator::Finish() const
{
    HostNetworkState state;
    state.interfaces = links;
    std::stable_sort(
        state.interfaces.begin(), state.interfaces.end(),
        [](const HostInterface& a, const HostInterface& b) { return a.index < b.index; });
    for (const auto& [index, address] : addresses) {
        auto link =
            std::find_if(state.interfaces.begin(), state.interfaces.end(),
                         [index = index](const HostInterface& l) { return l.index == index; });
        if (link != state.interfaces.end())
            link->addresses.push_back(address);
    }
    state.defaultRoutes = defaultRoutes;
    return state;
}

Outcome<DumpChunk> ParseRtnetlinkChunk(std::span<const uint8_t> datagram, uint32_t sequence,
                                       HostDumpAccumulator& into)
{
    return WalkDumpChunk(datagram, sequence, [&](uint16_t type, std::span<const uint8_t> body) {
        switch (type) {
        case RTM_NEWLINK:
            return AddLink(body, into);
        case RTM_NEWADDR:
            return AddAddress(body, into);
        case RTM_NEWROUTE:
            return AddDefaultRoutes(body, into);
        default:
            return true;
        }
    });
}

} // namespace zelvo
