#pragma once
#include "core/UnitProbes.h"
#include "platform/NeighbourTable.h" // NeighbourEntry, NeighbourRead

namespace zelvo {

// The network operations the search worker needs: the probes and names of UnitProbes
// and the neighbour table. The Linux implementation uses ICMP sockets, rtnetlink and
// the name lookups; tests substitute a fake.
// Thread safety: every operation may be called from any thread, also concurrently.
class SearchNetwork : public UnitProbes
{
public:
    virtual NeighbourRead ReadNeighbours() = 0;
};

} // namespace zelvo
