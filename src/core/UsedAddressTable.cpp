#include "core/UsedAddressTable.h"

namespace zelvo {

int UsedAddressTable::Store(const Ipv4Address* source, int count)
{
    if (source == nullptr || count <= 0)
        return 0;
    const int n = count < kCapacity ? count : kCapacity;
    for (int i = 0; i < n; ++i)
        addresses[static_cast<std::size_t>(i)] = source[i];
    return n;
}

std::array<Ipv4Address, UsedAddressTable::kCapacity>
UsedAddressTable::InUseList(Ipv4Address pcAddress) const
{
    std::array<Ipv4Address, kCapacity> list = {};
    list[0] = pcAddress;
    for (std::size_t i = 1; i < list.size(); ++i)
        list[i] = addresses[i - 1];
    return list;
}

UsedAddressTable& ProcessUsedAddresses()
{
    static UsedAddressTable table;
    return table;
}

} // namespace zelvo
