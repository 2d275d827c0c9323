#pragma once
#include "platform/HostPlatform.h"
#include "platform/NetAddress.h"

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace zelvo {

// The PC as its links show it: the addresses the survey logs, the PC's own address and
// interface, and the hardware addresses of the PC's adapters.
struct PcNetworkView
{
    // IPv4 addresses of the up, non-loopback interfaces, never 127.x or 0.0.0.0: those
    // of the PC's interface first, then the others in ifindex order. The first is the
    // PC's address. The PC's interface is a card with a hardware address, preferably
    // one with carrier and an address that is not link-local: among those, the one of
    // the lowest-metric default route, else the first; only without any such card
    // another link (a tunnel) with an address.
    std::vector<Ipv4Address> addresses;
    // Hardware addresses of the same interfaces in the same order (all-zero ones left
    // out): the adapters whose MAC the survey logs.
    std::vector<MacAddress> adapterMacs;
    // The interface that carries the PC's address; nullopt when the PC has none.
    std::optional<std::size_t> pcInterface; // index into HostNetworkState::interfaces
    int pcPrefixLength = 0;                 // of the PC's address
    MacAddress pcMac = {};                  // all zero when the interface has none
};

// Lowest-metric default route, optionally only among those through interfaceIndex;
// ties go to the first in dump order.
std::optional<HostDefaultRoute> BestDefaultRoute(const HostNetworkState& state,
                                                 std::optional<int> interfaceIndex = {});

PcNetworkView ViewPcNetwork(const HostNetworkState& state);

} // namespace zelvo
