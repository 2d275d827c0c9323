#pragma once
#include "platform/NetAddress.h"
#include "platform/RtnetlinkDump.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace zelvo {

// One entry of the PC's neighbour (ARP) table. Entries without a link-layer address
// (INCOMPLETE, FAILED) carry an all-zero MAC.
struct NeighbourEntry
{
    Ipv4Address address;
    MacAddress mac = {};
    bool noArp = false;     // NUD_NOARP: kept only when asked for (see ParseNeighbourDump)
    int interfaceIndex = 0; // the card the neighbour was seen on
};

// One read of the neighbour table: its entries sorted by address (host order). A failure
// carries the system's text for its errno as its reason.
using NeighbourRead = Outcome<std::vector<NeighbourEntry>>;

// The request for a dump of the IPv4 neighbour table, sequence number seq.
std::vector<uint8_t> BuildNeighbourDumpRequest(uint32_t seq);

// Parses one buffer of the dump's replies and appends its IPv4 entries to entries.
// Messages of another sequence number are skipped. NUD_NOARP entries are left out
// unless keepNoArp: most are pseudo-entries that are no neighbours (broadcast, multicast,
// 0.0.0.0 and loopback), but a static entry made with "nud noarp" is a host; kept, they
// carry noArp and their link-layer address as given. An entry without a link-layer
// address (INCOMPLETE, FAILED) gets an all-zero MAC.
// Reads nothing outside the buffer; a malformed message ends the dump with EBADMSG.
Outcome<DumpChunk> ParseNeighbourDump(std::span<const uint8_t> buffer, uint32_t seq,
                                      std::vector<NeighbourEntry>& entries, bool keepNoArp = false);

// Sorts entries by address in host order, as the search lists them.
void SortByAddress(std::vector<NeighbourEntry>& entries);

// Reads the kernel's IPv4 neighbour table through rtnetlink, NOARP entries too when
// keepNoArp. Callable from any thread.
NeighbourRead ReadNeighbourTable(bool keepNoArp = false);

} // namespace zelvo
