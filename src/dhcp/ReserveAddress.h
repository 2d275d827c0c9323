#pragma once
#include "core/UsedAddressTable.h"
#include "platform/NeighbourTable.h"
#include "platform/NetAddress.h"

#include <array>
#include <cstdint>
#include <functional>
#include <span>

namespace zelvo {

// What the choice of a temporary address reads: the PC's address, its subnet mask and
// the in-use list (the PC's address, then what the last search saw in the neighbour
// table; zero entries are unused).
struct ReservationInputs
{
    Ipv4Address pcAddress;
    SubnetMask subnetMask{255, 255, 255, 0};
    std::array<Ipv4Address, UsedAddressTable::kCapacity> inUse{};
};

// One echo to the candidate: 1 when anything answered within the time-out (2000 ms),
// 0 when nothing did or the probe could not be sent.
using CandidateProbe = std::function<int(Ipv4Address candidate)>;

// The phase that asks, for the log line: 1 = the unit was just found and the user said
// Yes, 2 = building an OFFER, 3 = building an ACK.
enum ReservePhase
{
    kReserveFound = 1,
    kReserveOffer = 2,
    kReserveAck = 3,
};

// True when the neighbour table shows a host at candidate: an entry with its MAC
// (REACHABLE, STALE, DELAY, PROBE, PERMANENT, or a NOARP entry with a unicast MAC), not
// one that is still being resolved or failed (INCOMPLETE, FAILED: no MAC). Read after
// the echo probe, it catches a host that drops echo requests but answered the ARP
// request the probe caused.
bool NeighbourHolds(std::span<const NeighbourEntry> entries, Ipv4Address candidate);

// Chooses the run's temporary address into reserved: the first host octet of the PC's
// block that is not in the in-use list and does not answer an echo. An address already
// in reserved (a choice earlier in the same run) stays and is not probed again. Logs the
// choice with the phase. A candidate that answers raises the scan's start by one, and
// the scan begins again. False, with reserved zero and a log line that says why, when no
// candidate is left: every one in use or answering, or a block without hosts (/31, /32).
// Blocks the calling thread for each probe.
bool ReserveAddress(int phase, Ipv4Address& reserved, const ReservationInputs& inputs,
                    const CandidateProbe& probe);

} // namespace zelvo
