#include "platform/NeighbourTable.h"

#include <linux/neighbour.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <sys/socket.h>

#include <algorithm>
#include <arpa/inet.h>

namespace zelvo {

namespace {
// Parses one RTM_NEWNEIGH body. false when it is malformed.
bool ParseNeighbour(std::span<const uint8_t> body, std::vector<NeighbourEntry>& entries,
                    bool keepNoArp)
{
    ndmsg nd{};
    if (!ReadAt(body, 0, nd))
        return false;
    bool haveAddress = false;
    NeighbourEntry entry;
    const bool wellFormed =
        ForEachAttribute(body.subspan(NLMSG_ALIGN(sizeof(ndmsg))), [&](const RtAttribute& a) {
            if (a.type == NDA_DST && a.payload.size() == 4) {
                std::memcpy(&entry.address.nbo, a.payload.data(), 4);
                haveAddress = true;
            } else if (a.type == NDA_LLADDR && a.payload.size() >= entry.mac.size()) {
                std::copy_n(a.payload.begin(), entry.mac.size(), entry.mac.begin());
            }
        });
    if (!wellFormed)
        return false;
    entry.noArp = (nd.ndm_state & NUD_NOARP) != 0;
    if (nd.ndm_family != AF_INET || !haveAddress || (entry.noArp && !keepNoArp))
        return true; // not an IPv4 neighbour: skipped, not an error
    if ((nd.ndm_state & (NUD_INCOMPLETE | NUD_FAILED)) != 0)
        entry.mac = {};
    entry.interfaceIndex = nd.ndm_ifindex;
    entries.push_back(entry);
    return true;
}
} // namespace

std::vector<uint8_t> BuildNeighbourDumpRequest(uint32_t seq)
{
    ndmsg nd{};
    nd.ndm_family = AF_INET;
    return BuildDumpRequest(RTM_GETNEIGH, seq, nd);
}

Outcome<DumpChunk> ParseNeighbourDump(std::span<const uint8_t> buffer, uint32_t seq,
                                      std::vector<NeighbourEntry>& entries, bool keepNoArp)
{
    return WalkDumpChunk(buffer, seq, [&](uint16_t type, std::span<const uint8_t> body) {
        return type != RTM_NEWNEIGH || ParseNeighbour(body, entries, keepNoArp);
    });
}

void SortByAddress(std::vector<NeighbourEntry>& entries)
{
    std::stable_sort(entries.begin(), entries.end(),
                     [](const NeighbourEntry& a, const NeighbourEntry& b) {
                         return ntohl(a.address.nbo) < ntohl(b.address.nbo);
                     });
}

} // namespace zelvo
