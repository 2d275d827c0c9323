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

std::array<Ipv4Address, UsedAddressTable::kCapacity>
UsedAddressTable::InUseList(Ipv4Address cardAddress, const SubnetMask& cardMask) const
{
    const uint32_t mask = (uint32_t{cardMask[0]} << 24) | (uint32_t{cardMask[1]} << 16) |
                          (uint32_t{cardMask[2]} << 8) | cardMask[3];
    const auto subnet = [mask](Ipv4Address a) { return a.HostOrder() & mask; };
    std::array<Ipv4Address, kCapacity> list = {};
    list[0] = cardAddress;
    std::size_t next = 1;
    for (const Ipv4Address& a : addresses) {
        if (next == list.size())
            break;
        if (!a.IsZero() && subnet(a) == subnet(cardAddress))
            list[next++] = a;
    }
    return list;
}

UsedAddressTable& ProcessUsedAddresses()
{
    static UsedAddressTable table;
    return table;
}

} // namespace zelvo
