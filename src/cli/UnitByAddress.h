#pragma once
#include "core/DeviceList.h"
#include "core/PcCards.h"
#include "search/SearchNetwork.h"
#include "search/SearchTable.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace zelvo {

// What the neighbour table says about one address, walked as a search walks the whole
// table: the table holds one unit slot when the entry's MAC is a unit's and the entry is
// on a card the run works on, none otherwise. An entry without a link-layer address
// (INCOMPLETE, FAILED) is no answer and is left out.
struct AddressEntry
{
    std::unique_ptr<SearchTable> table;
    std::vector<std::string> logLines; // as the search logs its table read
    bool IsUnit() const { return table->unitCount > 0; }
};
AddressEntry WalkAddressEntry(const NeighbourRead& read, Ipv4Address address, const PcCards& cards);

// Lists the unit of entry with name as the search lists it: devices keeps its PC row and
// gets the unit as row 1, typed "VELDIX [0]". Returns the row, or -1 when the search would
// not list it (no unit slot, or no name). Touches no process-wide table.
int ListAddressEntry(const AddressEntry& entry, std::string_view name, DeviceList& devices);

// The unit at address without a whole search: one echo request to it; when it answers,
// its MAC from the neighbour table and, when that is a unit's, its name from the lookups
// a search uses. Returns the unit's row in devices, or -1 when address holds no unit that
// a search would list (no answer, another device's MAC, no name). Logs what it did.
int FindUnitByAddress(SearchNetwork& network, Ipv4Address address, const PcCards& cards,
                      DeviceList& devices);

} // namespace zelvo
