#include "search/SearchResults.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

namespace zelvo {

uint32_t SearchTimeBudget(uint32_t usedAddressCount)
{
    return (usedAddressCount * 45u) / 20u + 34u;
}

void StoreSearchResults(const SearchTable& table, SearchCommand command,
                        const SearchResultTarget& target)
{
    DeviceList& devices = target.devices;

    // A table cut short before the worker reset arpCount still holds the previous
    // count there; never read or write past the address tables because of it.
    const int arpCount = std::clamp<int32_t>(table.arpCount, 0, SearchTable::kArpAddresses);
    target.used.Store(table.arpAddresses, arpCount);
    uint32_t used = static_cast<uint32_t>(arpCount) + 1; // the PC's own address is used too

    const int slotCount = std::clamp<int32_t>(table.slotCount, 1, SearchTable::kSlots);
    devices.RowCount = slotCount;
    target.lastFound.Clear();
    if (command == SearchCommand::Again)
        target.UnitsFound = table.unitSeen;

    for (int s = 1; s < slotCount; ++s) {
        if (table.addresses[s].IsZero()) {
            if (command == SearchCommand::Again)
                ++used;
            continue;
        }
        const std::size_t nameLength = strnlen(table.names[s], SearchTable::kNameBytes - 1);
        if (nameLength == 0) {
            ++used;
            continue;
        }
        if (devices.UnitCount >= DeviceList::kUnitRows ||
            devices.UnitCount + 1 >= DeviceList::kRows)
            break;

        const int row = devices.UnitCount + 1;
        DeviceRecord& record = devices.rows[row];
        record.SetName(std::string(table.names[s], nameLength).c_str());
        record.mac = table.macs[s];
        record.SetMacText(MacDashText(record.mac).c_str());
        record.address = table.addresses[s];
        target.lastFound.Append(record.address);
        record.SetIpText(record.address.Dotted().c_str());
        char type[DeviceRecord::kTextBytes];
        std::snprintf(type, sizeof type, "VELDIX [%d]", devices.UnitCount);
        record.SetTypeText(type);
        devices.UnitRows[devices.UnitCount] = row;
        if (command == SearchCommand::First)
            target.UnitsFound = table.unitSeen;
        ++devices.UnitCount;
        ++used;
    }
    devices.usedAddressCount = static_cast<int>(used);
}

} // namespace zelvo
