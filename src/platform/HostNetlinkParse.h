#pragma once
#include "platform/HostPlatform.h"
#include "platform/RtnetlinkDump.h"

#include <cstdint>
#include <span>
#include <utility>
#include <vector>

namespace zelvo {

// Collects the replies of the three rtnetlink dumps (links, IPv4 addresses, IPv4
// routes) and joins them into one HostNetworkState. The dumps answer in any order
// relative to each other, so addresses are attached to their links only at the end.
struct HostDumpAccumulator
{
    std::vector<HostInterface> links;
    std::vector<std::pair<int, HostIfAddress>> addresses; // (ifindex, address)
    std::vector<HostDefaultRoute> defaultRoutes;

    // Links sorted by ifindex, each with its addresses in dump order; addresses of
    // links that were not reported are dropped.
    HostNetworkState Finish() const;
};

// Reads one datagram of a dump reply. Messages of another sequence number are skipped;
// RTM_NEWLINK, RTM_NEWADDR (AF_INET) and RTM_NEWROUTE (AF_INET default routes of the
// main table, multipath next hops included) are added to the accumulator. Malformed bytes
// (a message or attribute that runs past where it must end, a next hop list that does
// not add up) end the read with EBADMSG.
Outcome<DumpChunk> ParseRtnetlinkChunk(std::span<const uint8_t> datagram, uint32_t sequence,
                                       HostDumpAccumulator& into);

} // namespace zelvo
