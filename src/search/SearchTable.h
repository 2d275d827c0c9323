#pragma once
#include "platform/NetAddress.h"

#include <cstdint>
#include <string_view>

namespace zelvo {

// The block one search fills: the unit slots (slot 0 is the PC itself, slots 1 and up
// the unit entries of the neighbour table, in address order) and the addresses of every
// neighbour entry read. Capacities are fixed: 63 unit slots and 256 neighbour
// addresses; entries beyond them are dropped, never written past the table.
// The table itself does no locking; SearchJob says who may touch it when.
struct SearchTable
{
    static constexpr int kSlots = 64;
    static constexpr int kArpAddresses = 256;
    static constexpr int kNameBytes = 260;

    char names[kSlots][kNameBytes] = {}; // host name of each slot; empty: no name found
    Ipv4Address addresses[kSlots] = {};  // slot 0: the PC's own address
    MacAddress macs[kSlots] = {};
    int32_t slotCount = 0;          // slots in use, slot 0 included
    int32_t unitCount = 0;          // entries in unitSlots
    int32_t unitSlots[kSlots] = {}; // slot number of each unit slot, in table order
    int32_t unitSeen = 0;           // 1 once any entry carried a unit MAC
    int32_t arpCount = 0;           // neighbour entries kept in arpAddresses
    Ipv4Address arpAddresses[kArpAddresses] = {};
    // The ifindex of a card without an IPv4 address on which a unit's MAC was seen (the
    // unit is cabled there but cannot be reached); 0 when none.
    int32_t unitOnCardWithoutAddress = 0;

    void Clear() { *this = SearchTable{}; }
    // Copies name into the slot, cut to 259 bytes; out-of-range slots are ignored.
    void SetName(int slot, std::string_view name);
};

} // namespace zelvo
