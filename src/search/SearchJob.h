#pragma once
#include "core/PcCards.h"
#include "core/WorkerJob.h"
#include "platform/Clock.h"
#include "search/LastFoundList.h"
#include "search/SearchNetwork.h"
#include "search/SearchTable.h"

#include <memory>
#include <mutex>
#include <string_view>

namespace zelvo {

// The record a search command and its SearchWorker share. Both own it (std::shared_ptr),
// so a worker that is still finishing after the command stopped waiting never writes
// freed memory.
//
// Threads: the constructor's arguments are fixed before the worker starts and only read
// afterwards. The table is written by the worker, and by its name lookups, only through
// Publish and PublishName, and read by the command only through Snapshot; all three hold
// the record's mutex, so a snapshot taken at the deadline, while the worker still runs,
// is a table the worker had published whole. done and stopRequested are WorkerJob's.
class SearchJob : public WorkerJob
{
public:
    SearchJob(std::shared_ptr<SearchNetwork> network, std::shared_ptr<const Clock> clock,
              const LastFoundList& lastFound, const SearchTable& prepared);

    const std::shared_ptr<SearchNetwork> network;
    const std::shared_ptr<const Clock> clock;
    const LastFoundList lastFound; // the worker's own copy of the previous search's units
    int lookupThreads = 16;        // reverse lookups that may run at once (at least 1)
    PcCards cards;                 // the cards this search works on; set before the start

    void Publish(const SearchTable& table);
    void PublishName(int slot, std::string_view name);
    void Snapshot(SearchTable& out) const;

private:
    mutable std::mutex m_mutex;
    std::unique_ptr<SearchTable> m_table; // guarded by m_mutex
};

// The process's clock as a shared pointer that owns nothing.
std::shared_ptr<const Clock> SharedSystemClock();

} // namespace zelvo
