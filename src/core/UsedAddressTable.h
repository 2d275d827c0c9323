#pragma once
#include "platform/NetAddress.h"

#include <array>
#include <cstddef>

namespace zelvo {

// The addresses that the last search saw in the neighbour table; the temporary-address
// reservation treats each of them (and the PC's own address) as taken. Positions that
// the last search did not reach keep what earlier searches wrote. Zero at start.
// UI thread only (the search's results step writes it, the responder reads it).
struct UsedAddressTable
{
    static constexpr int kCapacity = 255;
    std::array<Ipv4Address, kCapacity> addresses = {};

    // Writes addresses[0 ... count - 1] to positions 0 onward; what does not fit in
    // the table is dropped. Returns the number written.
    int Store(const Ipv4Address* source, int count);

    // The reservation's in-use list for the card with address cardAddress: that address,
    // then the first 254 positions (non-zero ones inside the card's subnet, when a mask
    // is given: the neighbours of the PC's other cards do not crowd them out).
    std::array<Ipv4Address, kCapacity> InUseList(Ipv4Address cardAddress) const;
    std::array<Ipv4Address, kCapacity> InUseList(Ipv4Address cardAddress,
                                                 const SubnetMask& cardMask) const;
};

// The process's table.
UsedAddressTable& ProcessUsedAddresses();

} // namespace zelvo
