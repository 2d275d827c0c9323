// Buffers of an rtnetlink neighbour dump. The kernel is trusted, but a parser that reads
// past a buffer on a cut datagram is a crash waiting for a busy segment: every entry must
// come from bytes of the buffer, and sorting keeps them all.
#include "FuzzCheck.h"
#include "platform/NeighbourTable.h"

#include <algorithm>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    using namespace zelvo;
    constexpr uint32_t kSequence = 1;
    std::vector<NeighbourEntry> entries;
    const Outcome<DumpChunk> chunk = ParseNeighbourDump({data, size}, kSequence, entries);
    // An entry needs a message header (16), its ndmsg (12) and an address attribute (8).
    ZELVO_FUZZ_CHECK(entries.size() * 36 <= size);
    ZELVO_FUZZ_CHECK(chunk.Ok() || (chunk.Code() > 0 && chunk.Code() < 4096));
    const std::size_t count = entries.size();
    SortByAddress(entries);
    ZELVO_FUZZ_CHECK(entries.size() == count);
    ZELVO_FUZZ_CHECK(std::is_sorted(entries.begin(), entries.end(),
                                    [](const NeighbourEntry& a, const NeighbourEntry& b) {
                                        return a.address.HostOrder() < b.address.HostOrder();
                                    }));
    return 0;
}
