#pragma once
#include "core/PcCards.h"
#include "search/SearchNetwork.h"
#include "search/SearchTable.h"

#include <string>
#include <vector>

namespace zelvo {

// What one read of the neighbour table does to the search: the table's unit slots and
// neighbour addresses, and the log lines that record the read.
//
// The log keeps the shape of the original two-call table read. On Linux the table comes
// from one rtnetlink dump, so the two phases are derived from it:
//   read failed:    " Phase1 : retcd=<errno> buf=0", then the system's text for it;
//   empty table:    " Phase1 : retcd=0 buf=0";
//   n > 0 entries:  " Phase1 : retcd=122 buf=<size>" and " Phase2 : retcd=0 buf=<size>",
//                   122 being "the buffer is too small, here is the size", and size the
//                   bytes the table takes in its published form (a 4-byte count and a
//                   24-byte row per entry, 4 + 24 n, all entries counted).
// Then " <k> entries are available" with every entry counted, the header and one line
// per entry. The
// closing line is the caller's.
//
// table must hold the state of a search after its re-probes: slotCount 1, arpCount 0.
// Every entry is logged and given the unit test; unit entries beyond the 63 unit slots
// still set unitSeen but get no slot. Only the first 256 entries (the lowest addresses)
// are kept in arpAddresses, and arpCount counts those.
//
// cards are those the search works on. With several, each entry's line ends in the name
// of its card. A unit's MAC on a card without an IPv4 address is noted in the table
// (unitOnCardWithoutAddress). Restricted to one card, entries of other links are left out
// as if the table did not hold them.
struct NeighbourWalkResult
{
    std::vector<std::string> logLines; // each ends in "\r\n"
};
NeighbourWalkResult WalkNeighbourTable(const NeighbourRead& read, SearchTable& table,
                                       const PcCards& cards = {});

// The size the table of n entries would take in its published form.
long PublishedTableBytes(std::size_t entries);

} // namespace zelvo
