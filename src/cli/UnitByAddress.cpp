#include "cli/UnitByAddress.h"

#include "core/LogWriter.h"
#include "core/UsedAddressTable.h"
#include "search/LastFoundList.h"
#include "search/NeighbourTableWalk.h"
#include "search/SearchResults.h"

namespace zelvo {
namespace {

// As long as a search's re-probe of a unit it listed before may take.
constexpr int kEchoTimeoutMs = 2000;

} // namespace

AddressEntry WalkAddressEntry(const NeighbourRead& read, Ipv4Address address, const PcCards& cards)
{
    NeighbourRead one = read;
    if (read.Ok()) {
        one.Value().clear();
        for (const NeighbourEntry& entry : read.Value())
            if (entry.address == address && !IsZeroMac(entry.mac))
                one.Value().push_back(entry);
    }
    AddressEntry result{std::make_unique<SearchTable>(), {}};
    result.table->slotCount = 1;
    result.logLines = WalkNeighbourTable(one, *result.table, cards).logLines;
    return result;
}

int ListAddressEntry(const AddressEntry& entry, std::string_view name, DeviceList& devices)
{
    if (!entry.IsUnit())
        return -1;
    SearchTable table = *entry.table;
    table.SetName(table.unitSlots[0], name);
    devices.UnitCount = 0;
    int unitsFound = 0;
    UsedAddressTable used;
    LastFoundList lastFound;
    StoreSearchResults(table, SearchCommand::Again,
                       SearchResultTarget{devices, unitsFound, used, lastFound});
    return devices.UnitCount > 0 ? devices.UnitRows[0] : -1;
}

int FindUnitByAddress(SearchNetwork& network, Ipv4Address address, const PcCards& cards,
                      DeviceList& devices)
{
    const std::string dotted = address.Dotted();
    LogWriter::Appendf("\r\nLooking for VELDIX at %s.\r\n", dotted.c_str());
    if (network.EchoProbe(address, kEchoTimeoutMs) == 0) {
        LogWriter::Appendf(" No answer from %s\r\n", dotted.c_str());
        return -1;
    }
    const AddressEntry entry = WalkAddressEntry(network.ReadNeighbours(), address, cards);
    for (const std::string& line : entry.logLines)
        LogWriter::Append(line.c_str());
    if (!entry.IsUnit())
        return -1;
    const std::optional<std::string> name = network.ReverseName(address);
    return ListAddressEntry(entry, name.value_or(""), devices);
}

} // namespace zelvo
