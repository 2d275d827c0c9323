#include "host/PcNetwork.h"

#include "core/PcCards.h"

#include <algorithm>

namespace zelvo {
namespace {

bool IsUsableAddress(Ipv4Address address)
{
    // A resolver answer of 127.0.1.1 or a stray loopback address on a real interface is
    // no address the units could reach.
    return !address.IsZero() && address.Octets()[0] != 127;
}

} // namespace

std::optional<HostDefaultRoute> BestDefaultRoute(const HostNetworkState& state,
                                                 std::optional<int> interfaceIndex)
{
    std::optional<HostDefaultRoute> best;
    for (const HostDefaultRoute& route : state.defaultRoutes) {
        if (interfaceIndex && route.interfaceIndex != *interfaceIndex)
            continue;
        if (!best || route.metric < best->metric)
            best = route;
    }
    return best;
}

namespace {

bool HasHardwareAddress(const HostInterface& link)
{
    return link.hasMac && !IsZeroMac(link.mac);
}

const HostIfAddress* FirstUsable(const HostInterface& link)
{
    for (const HostIfAddress& a : link.addresses)
        if (IsUsableAddress(a.address))
            return &a;
    return nullptr;
}

// Among the interfaces of order that pass the test and hold a usable address: the one
// of the lowest-metric default route, else the first. nullopt when none qualifies.
template <typename Test>
std::optional<std::size_t> ChooseInterface(const HostNetworkState& state,
                                           const std::vector<std::size_t>& order, Test test)
{
    std::optional<std::size_t> first;
    std::optional<std::size_t> routed;
    uint32_t routedMetric = 0;
    for (std::size_t i : order) {
        const HostInterface& link = state.interfaces[i];
        if (!test(link) || FirstUsable(link) == nullptr)
            continue;
        if (!first)
            first = i;
        for (const HostDefaultRoute& route : state.defaultRoutes) {
            if (route.interfaceIndex == link.index && (!routed || route.metric < routedMetric)) {
                routed = i;
                routedMetric = route.metric;
            }
        }
    }
    return routed ? routed : first;
}

} // namespace

PcNetworkView ViewPcNetwork(const HostNetworkState& state)
{
    std::vector<std::size_t> order;
    for (std::size_t i = 0; i < state.interfaces.size(); ++i)
        if (state.interfaces[i].up && !state.interfaces[i].loopback)
            order.push_back(i);
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return state.interfaces[a].index < state.interfaces[b].index;
    });

    // The units are on the PC's own segment, reached through a card with a hardware
    // address (Ethernet, Wi-Fi). A full-tunnel VPN (tun0, wg0) or another link without
    // one may carry the default route, but it is not that card: among the cards, the one
    // of the default route leads, else the first card with an address. Only a PC without
    // any such card falls back to its other links; its MAC then stays all zero.
    // A card without carrier (a bridge without ports, an unplugged cable) or with only
    // a link-local address reaches no unit: a card that can comes first.
    std::optional<std::size_t> pc = ChooseInterface(state, order, [](const HostInterface& link) {
        return HasHardwareAddress(link) && link.carrier &&
               std::any_of(link.addresses.begin(), link.addresses.end(),
                           [](const HostIfAddress& a) { return IsRoutableCardAddress(a.address); });
    });
    if (!pc)
        pc = ChooseInterface(state, order, HasHardwareAddress);
    if (!pc)
        pc = ChooseInterface(state, order, [](const HostInterface&) { return true; });
    if (pc) {
        const auto it = std::find(order.begin(), order.end(), *pc);
        std::rotate(order.begin(), it, it + 1);
    }

    PcNetworkView view;
    for (std::size_t i : order) {
        const HostInterface& link = state.interfaces[i];
        for (const HostIfAddress& a : link.addresses) {
            const Ipv4Address address = a.address;
            if (!IsUsableAddress(address))
                continue;
            if (!view.pcInterface) {
                view.pcInterface = i;
                view.pcPrefixLength = a.prefixLength;
                if (link.hasMac)
                    view.pcMac = link.mac;
            }
            view.addresses.push_back(address);
        }
        if (HasHardwareAddress(link))
            view.adapterMacs.push_back(link.mac);
    }
    return view;
}

} // namespace zelvo
