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

// The datagram comes from recv() into a byte buffer, or from a test's array: copy every
// header out instead of casting, so alignment never matters.
template <typename T> bool ReadAt(std::span<const uint8_t> bytes, std::size_t offset, T& out)
{
    if (offset > bytes.size() || bytes.size() - offset < sizeof(T))
        return false;
    std::memcpy(&out, bytes.data() + offset, sizeof(T));
    return true;
}

constexpr std::size_t Align4(std::size_t n)
{
    return (n + 3u) & ~std::size_t{3};
}

struct Attribute
{
    uint16_t type = 0;
    std::span<const uint8_t> payload;
};

// Walks the rtattr list in area; stops at the first attribute that does not fit.
template <typename Visit> void ForEachAttribute(std::span<const uint8_t> area, Visit visit)
{
    std::size_t offset = 0;
    while (offset + sizeof(rtattr) <= area.size()) {
        rtattr header{};
        ReadAt(area, offset, header);
        if (header.rta_len < sizeof(rtattr) || header.rta_len > area.size() - offset)
            return;
        const std::size_t payloadLength = header.rta_len - sizeof(rtattr);
        visit(Attribute{static_cast<uint16_t>(header.rta_type & NLA_TYPE_MASK),
                        area.subspan(offset + sizeof(rtattr), payloadLength)});
        offset += Align4(header.rta_len);
    }
}

uint32_t U32(std::span<const uint8_t> payload)
{
    uint32_t value = 0;
    ReadAt(payload, 0, value);
    return value;
}

void AddLink(std::span<const uint8_t> body, HostDumpAccumulator& into)
{
    ifinfomsg info{};
    if (!ReadAt(body, 0, info))
        return;
    HostInterface link;
    link.index = info.ifi_index;
    link.up = (info.ifi_flags & IFF_UP) != 0;
    link.loopback = (info.ifi_flags & IFF_LOOPBACK) != 0;
    ForEachAttribute(body.subspan(NLMSG_ALIGN(sizeof(ifinfomsg))), [&](const Attribute& a) {
        if (a.type == IFLA_IFNAME) {
            const auto* text = reinterpret_cast<const char*>(a.payload.data());
            link.name.assign(text, strnlen(text, a.payload.size()));
        } else if (a.type == IFLA_ADDRESS && a.payload.size() == link.mac.size()) {
            std::copy(a.payload.begin(), a.payload.end(), link.mac.begin());
            link.hasMac = true;
        }
    });
    into.links.push_back(std::move(link));
}

void AddAddress(std::span<const uint8_t> body, HostDumpAccumulator& into)
{
    ifaddrmsg info{};
    if (!ReadAt(body, 0, info) || info.ifa_family != AF_INET)
        return;
    HostIfAddress address;
    address.prefixLength = std::min<uint8_t>(info.ifa_prefixlen, 32);
    uint32_t flags = info.ifa_flags;
    bool haveLocal = false;
    bool haveAddress = false;
    uint32_t local = 0;
    uint32_t peer = 0;
    ForEachAttribute(body.subspan(NLMSG_ALIGN(sizeof(ifaddrmsg))), [&](const Attribute& a) {
        if (a.type == IFA_LOCAL && a.payload.size() >= 4) {
            local = U32(a.payload);
            haveLocal = true;
        } else if (a.type == IFA_ADDRESS && a.payload.size() >= 4) {
            peer = U32(a.payload);
            haveAddress = true;
        } else if (a.type == IFA_FLAGS && a.payload.size() >= 4) {
            flags = U32(a.payload); // supersedes the 8-bit ifa_flags
        }
    });
    if (!haveLocal && !haveAddress)
        return;
    // On a point-to-point link IFA_ADDRESS is the peer; IFA_LOCAL is always ours.
    address.addressNbo = haveLocal ? local : peer;
    address.permanent = (flags & IFA_F_PERMANENT) != 0;
    into.addresses.emplace_back(static_cast<int>(info.ifa_index), address);
}

void AddDefaultRoutes(std::span<const uint8_t> body, HostDumpAccumulator& into)
{
    rtmsg info{};
    if (!ReadAt(body, 0, info) || info.rtm_family != AF_INET || info.rtm_dst_len != 0 ||
        info.rtm_type != RTN_UNICAST)
        return;
    uint32_t table = info.rtm_table;
    HostDefaultRoute route;
    route.protocol = info.rtm_protocol;
    std::span<const uint8_t> multipath;
    ForEachAttribute(body.subspan(NLMSG_ALIGN(sizeof(rtmsg))), [&](const Attribute& a) {
        if (a.type == RTA_TABLE && a.payload.size() >= 4)
            table = U32(a.payload);
        else if (a.type == RTA_OIF && a.payload.size() >= 4)
            route.interfaceIndex = static_cast<int>(U32(a.payload));
        else if (a.type == RTA_GATEWAY && a.payload.size() >= 4)
            route.gatewayNbo = U32(a.payload);
        else if (a.type == RTA_PRIORITY && a.payload.size() >= 4)
            route.metric = U32(a.payload);
        else if (a.type == RTA_MULTIPATH)
            multipath = a.payload;
    });
    if (table != RT_TABLE_MAIN)
        return;
    if (multipath.empty()) {
        into.defaultRoutes.push_back(route);
        return;
    }
    // Each next hop of a multipath default route counts as a default route of its own.
    std::size_t offset = 0;
    while (offset + sizeof(rtnexthop) <= multipath.size()) {
        rtnexthop hop{};
        ReadAt(multipath, offset, hop);
        if (hop.rtnh_len < sizeof(rtnexthop) || hop.rtnh_len > multipath.size() - offset)
            break;
        HostDefaultRoute nextHop = route;
        nextHop.interfaceIndex = hop.rtnh_ifindex;
        nextHop.gatewayNbo = 0;
        ForEachAttribute(multipath.subspan(offset + RTNH_ALIGN(sizeof(rtnexthop)),
                                           hop.rtnh_len - RTNH_ALIGN(sizeof(rtnexthop))),
                         [&](const Attribute& a) {
                             if (a.type == RTA_GATEWAY && a.payload.size() >= 4)
                                 nextHop.gatewayNbo = U32(a.payload);
                         });
        into.defaultRoutes.push_back(nextHop);
        offset += RTNH_ALIGN(hop.rtnh_len);
    }
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

DumpChunkResult ParseRtnetlinkChunk(std::span<const uint8_t> datagram, uint32_t sequence,
                                    HostDumpAccumulator& into)
{
    std::size_t offset = 0;
    while (offset + sizeof(nlmsghdr) <= datagram.size()) {
        nlmsghdr header{};
        ReadAt(datagram, offset, header);
        if (header.nlmsg_len < sizeof(nlmsghdr) || header.nlmsg_len > datagram.size() - offset)
            return {DumpProgress::Failed, EBADMSG};
        const auto body = datagram.subspan(offset + NLMSG_HDRLEN, header.nlmsg_len - NLMSG_HDRLEN);
        offset += NLMSG_ALIGN(header.nlmsg_len);
        if (header.nlmsg_seq != sequence)
            continue;
        switch (header.nlmsg_type) {
        case NLMSG_DONE:
            return {DumpProgress::Done, 0};
        case NLMSG_ERROR: {
            nlmsgerr error{};
            if (!ReadAt(body, 0, error))
                return {DumpProgress::Failed, EBADMSG};
            if (error.error != 0) // the kernel sends -errno; anything else is malformed
                return {DumpProgress::Failed,
                        error.error < 0 && error.error > -4096 ? -error.error : EBADMSG};
            break; // an acknowledgement
        }
        case RTM_NEWLINK:
            AddLink(body, into);
            break;
        case RTM_NEWADDR:
            AddAddress(body, into);
            break;
        case RTM_NEWROUTE:
            AddDefaultRoutes(body, into);
            break;
        default:
            break;
        }
    }
    return {DumpProgress::More, 0};
}

} // namespace zelvo
