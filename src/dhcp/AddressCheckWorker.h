#pragma once
#include "core/UnitProbes.h"
#include "core/WorkerJob.h"
#include "platform/NetAddress.h"

#include <cstddef>

namespace zelvo {

// The record of one AddressCheckWorker: does the unit answer at its new address, and
// what is its name? Owned jointly by the waiting side and the worker (std::shared_ptr).
// The waiting side fills address and elapsedSeconds (and result, which the worker leaves
// alone at 60 s or more) before the worker starts; the worker writes name, then result,
// then done; the waiting side reads result and name only after done.
struct AddressCheckJob : WorkerJob
{
    static constexpr std::size_t kNameBuffer = 260;
    char name[kNameBuffer] = {}; // the host name when result is 1; else left as it was
    Ipv4Address address;         // the address to check
    int elapsedSeconds = 0;      // seconds since the waiting side began its wait
    // WorkerJob::result: 1 = the address answered and has a name, 0 = not
};

// Up to 30 s: result 0 at once (the unit is still coming up). From 60 s on: nothing is
// sent and result stays as it was. In between: the broadcast echo, an echo to the address
// (2000 ms) and, when it answers, its name. A stop request ends the worker early with
// result 0. Sets done as its last action. Runs on a worker thread.
void AddressCheckWorker(AddressCheckJob& job, UnitProbes& network);

} // namespace zelvo
