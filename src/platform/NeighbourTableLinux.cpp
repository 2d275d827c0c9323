#include "platform/NeighbourTable.h"

#include "platform/ErrnoText.h"

#include <atomic>
#include <cstring>

namespace zelvo {

namespace {
// The kernel answers a dump at once; the limit only guards against a stuck socket.
constexpr int kReplyTimeoutMs = 2000;

Failure Failed(int error)
{
    return Failure{error, ErrnoText(error)};
}

uint32_t NextSequence()
{
    static std::atomic<uint32_t> sequence{1};
    return sequence.fetch_add(1);
}
} // namespace

NeighbourRead ReadNeighbourTable(bool keepNoArp)
{
    const Outcome<UniqueFd> fd = OpenRouteSocket();
    if (!fd.Ok())
        return Failed(fd.Code());
    const uint32_t seq = NextSequence();
    std::vector<NeighbourEntry> entries;
    const Outcome<DumpRead> dump = RunDump(
        fd.Value().Get(), BuildNeighbourDumpRequest(seq),
        [&](std::span<const uint8_t> datagram) {
            return ParseNeighbourDump(datagram, seq, entries, keepNoArp);
        },
        SystemClock(), kReplyTimeoutMs);
    if (!dump.Ok())
        return Failed(dump.Code());
    SortByAddress(entries);
    return entries;
}

} // namespace zelvo
