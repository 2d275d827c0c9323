#pragma once
#include "platform/NetAddress.h"

#include <cstdint>

namespace zelvo {

// The addresses of the units that the previous search listed; the next search echoes
// them first so that their neighbour entries are fresh. Empty at start.
// Written by the search commands on the UI thread after their worker has finished;
// each worker is started with its own copy.
struct LastFoundList
{
    static constexpr int kCapacity = 64;
    Ipv4Address addresses[kCapacity] = {};
    uint8_t count = 0;

    void Clear() { *this = LastFoundList{}; }
    // False (and nothing written) when the list is full.
    bool Append(Ipv4Address address);
};

// The process's list.
LastFoundList& ProcessLastFound();

} // namespace zelvo
