#include "host/PcNetwork.h"

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

PcNetworkView ViewPcNetwork(const HostNetworkState& state)
{
    std::vector<std::size_t> order;
    for (std::size_t i = 0; i < state.interfaces.size(); ++i)
        if (state.interfaces[i].up && !state.interfaces[i].loopback)
            order.push_back(i);
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return state.interfaces[a].index < state.interfaces[b].index;
    });
    // The interface of the best default route leads, even when a lower-numbered one
    // exists: that is the card the PC talks to its network through.
    if (const auto route = BestDefaultRoute(state)) {
        const auto it = std::find_if(order.begin(), order.end(), [&](std::size_t i) {
            return state.interfaces[i].index == route->interfaceIndex;
        });
        if (it != order.end())
            std::rotate(order.begin(), it, it + 1);
    }

    PcNetworkView view;
    for (std::size_t i : order) {
        const HostInterface& link = state.interfaces[i];
        for (const HostIfAddress& a : link.addresses) {
            const Ipv4Address address{a.addressNbo};
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
        if (link.hasMac && !IsZeroMac(link.mac))
            view.adapterMacs.push_back(link.mac);
    }
    return view;
}

} // namespace zelvo
