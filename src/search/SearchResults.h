#pragma once
#include "core/DeviceList.h"
#include "core/UsedAddressTable.h"
#include "search/LastFoundList.h"
#include "search/SearchTable.h"

#include <cstdint>

namespace zelvo {

enum class SearchCommand
{
    First, // the automatic first search after start-up
    Again, // the Search button
};

// Seconds a search may take: (U * 45) / 20 + 34 in unsigned arithmetic, U being the
// used-address count that the previous search left (1 at start, giving 36).
uint32_t SearchTimeBudget(uint32_t usedAddressCount);

// The search's own part of the window's state.
struct SearchResultTarget
{
    DeviceList& devices;
    int& UnitsFound;
    UsedAddressTable& used;
    LastFoundList& lastFound;
};

// The results step: turns a finished (or cut-short) table into DeviceList records
// 1, 2, ... (units with an address and a name, in table order, typed "VELDIX [n]"),
// refills the LastFoundList with their addresses, stores the neighbour addresses in the
// UsedAddressTable and leaves the used-address count that sizes the next search.
// devices.UnitCount must be 0 on entry (the command has reset the list).
// The unit-found flag: after the first search it is 1 exactly when a unit was listed;
// after Search it is the table's unitSeen, so a unit seen without a name counts.
// Counts read from the table are clamped to its capacities, so a table in any state
// writes nothing past the tables it fills.
void StoreSearchResults(const SearchTable& table, SearchCommand command,
                        const SearchResultTarget& target);

} // namespace zelvo
