#include "search/SearchWorker.h"

#include "core/LogWriter.h"
#include "search/NeighbourTableWalk.h"

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

namespace zelvo {
namespace {

constexpr int kReprobeTimeoutMs = 2000;
constexpr int kArpSettleMs = 5000;
constexpr int kStopCheckMs = 100;

bool StopRequested(const SearchJob& job)
{
    return job.stopRequested.load(std::memory_order_acquire);
}

// Sleeps ms in short steps; false when a stop was requested meanwhile.
bool SleepUnlessStopped(const SearchJob& job, int ms)
{
    for (int slept = 0; slept < ms; slept += kStopCheckMs) {
        if (StopRequested(job))
            return false;
        job.clock->SleepMs(std::min(kStopCheckMs, ms - slept));
    }
    return !StopRequested(job);
}

// Looks up the names of the unit slots, several at a time: a name that does not
// resolve costs each source its whole time-out, and the units should not pay for each
// other. Each name is published as soon as it is known, so a search cut short by its
// deadline still lists the units named so far.
void LookUpNames(SearchJob& job, const SearchTable& table)
{
    const int count = table.unitCount;
    std::atomic<int> next{0};
    auto lookUp = [&job, &table, &next, count] {
        for (;;) {
            if (StopRequested(job))
                return;
            const int k = next.fetch_add(1);
            if (k >= count)
                return;
            const int slot = table.unitSlots[k];
            // Nothing may leave a helper thread (that would end the program): a lookup
            // that fails in any way, out of memory or out of threads, is a missing name.
            try {
                const std::optional<std::string> name =
                    job.network->ReverseName(table.addresses[slot]);
                job.PublishName(slot, name ? std::string_view(*name) : std::string_view());
            } catch (...) {
                try {
                    job.PublishName(slot, std::string_view());
                } catch (...) {
                }
            }
        }
    };

    const int threads = std::clamp(std::min(job.lookupThreads, count), 1, SearchTable::kSlots);
    std::vector<std::thread> helpers;
    try {
        helpers.reserve(static_cast<std::size_t>(threads - 1));
        for (int i = 1; i < threads; ++i)
            helpers.emplace_back(lookUp);
    } catch (...) {
        // No more threads (or memory) to be had: the ones running share the work.
    }
    lookUp();
    for (std::thread& helper : helpers)
        helper.join();
}

void Finish(SearchJob& job)
{
    job.MarkDone();
}

} // namespace

void SearchWorker(SearchJob& job)
{
    SearchNetwork& network = *job.network;
    LogWriter::Appendf("Last count = %d \r\n", job.lastFound.count);

    // The units of the previous search may have aged out of the neighbour table.
    for (int i = 0; i < job.lastFound.count; ++i) {
        if (StopRequested(job))
            return Finish(job);
        const Ipv4Address address = job.lastFound.addresses[i];
        if (!address.IsZero())
            network.EchoProbeUnlessStopped(address, kReprobeTimeoutMs, job.stopRequested);
    }

    auto table = std::make_unique<SearchTable>();
    job.Snapshot(*table);
    table->slotCount = 1;
    table->arpCount = 0;
    job.Publish(*table);

    network.BroadcastEchoUnlessStopped(job.stopRequested);
    // The units answer the broadcast; their neighbour entries appear meanwhile.
    if (!SleepUnlessStopped(job, kArpSettleMs))
        return Finish(job);

    LogWriter::Append(">>> Start to retrieve network table\r\n");
    const NeighbourRead read = network.ReadNeighbours();
    // A worker asked to stop has been given up on: its command may have ended and the
    // next one begun its own block in the log, so it writes nothing more.
    if (StopRequested(job))
        return Finish(job);
    const NeighbourWalkResult walk = WalkNeighbourTable(read, *table, job.cards);
    for (const std::string& line : walk.logLines) {
        if (StopRequested(job))
            return Finish(job);
        LogWriter::Append(line.c_str());
    }
    job.Publish(*table);

    LookUpNames(job, *table);
    if (StopRequested(job))
        return Finish(job);
    LogWriter::Append("<<< Close to retrieve network table\r\n");
    Finish(job);
}

} // namespace zelvo
