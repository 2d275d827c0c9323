#include "platform/NeighbourTable.h"

#include <linux/neighbour.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <sys/socket.h>

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstring>

namespace zelvo {

namespace {
// Netlink messages and attributes are in the host's byte order and aligned to 4 bytes.
template <typename T> T ReadStruct(std::span<const uint8_t> b, std::size_t at)
{
    T value;
    std::memcpy(&value, b.data() + at, sizeof value);
    return value;
}

// Parses one RTM_NEWNEIGH payload. false when it is malformed.
bool ParseNeighbour(std::span<const uint8_t> payload, std::vector<NeighbourEntry>& entries)
{
    if (payload.size() < sizeof(ndmsg))
        return false;
    const auto nd = ReadStruct<ndmsg>(payload, 0);
    std::size_t at = NLMSG_ALIGN(sizeof(ndmsg));
    bool haveAddress = false;
    NeighbourEntry entry;
    while (at + sizeof(rtattr) <= payload.size()) {
        const auto attr = ReadStruct<rtattr>(payload, at);
        if (attr.rta_len < sizeof(rtattr) || at + attr.rta_len > payload.size())
            return false;
        const std::size_t dataLength = attr.rta_len - sizeof(rtattr);
        const std::size_t data = at + sizeof(rtattr);
        if (attr.rta_type == NDA_DST && dataLength == 4) {
            std::memcpy(&entry.address.nbo, payload.data() + data, 4);
            haveAddress = true;
        } else if (attr.rta_type == NDA_LLADDR && dataLength >= entry.mac.size()) {
            std::memcpy(entry.mac.data(), payload.data() + data, entry.mac.size());
        }
        at += RTA_ALIGN(attr.rta_len);
    }
    if (nd.ndm_family != AF_INET || !haveAddress || (nd.ndm_state & NUD_NOARP) != 0)
        return true; // not an IPv4 neighbour: skipped, not an error
    if ((nd.ndm_state & (NUD_INCOMPLETE | NUD_FAILED)) != 0)
        entry.mac = {};
    entries.push_back(entry);
    return true;
}
} // namespace

std::vector<uint8_t> BuildNeighbourDumpRequest(uint32_t seq)
{
    nlmsghdr header{};
    header.nlmsg_len = NLMSG_LENGTH(sizeof(ndmsg));
    header.nlmsg_type = RTM_GETNEIGH;
    header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
    header.nlmsg_seq = seq;
    ndmsg nd{};
    nd.ndm_family = AF_INET;
    std::vector<uint8_t> request(header.nlmsg_len, 0);
    std::memcpy(request.data(), &header, sizeof header);
    std::memcpy(request.data() + NLMSG_HDRLEN, &nd, sizeof nd);
    return request;
}

NeighbourDumpChunk ParseNeighbourDump(std::span<const uint8_t> buffer, uint32_t seq,
                                      std::vector<NeighbourEntry>& entries)
{
    NeighbourDumpChunk chunk;
    std::size_t at = 0;
    while (at + sizeof(nlmsghdr) <= buffer.size()) {
        const auto header = ReadStruct<nlmsghdr>(buffer, at);
        if (header.nlmsg_len < sizeof(nlmsghdr) || header.nlmsg_len > buffer.size() - at) {
            chunk.finished = true;
            chunk.errorCode = EBADMSG;
            return chunk;
        }
        const auto payload = buffer.subspan(at + NLMSG_HDRLEN, header.nlmsg_len - NLMSG_HDRLEN);
        at += std::min<std::size_t>(NLMSG_ALIGN(header.nlmsg_len), buffer.size() - at);
        if (header.nlmsg_seq != seq)
            continue;
        if (header.nlmsg_type == NLMSG_DONE) {
            chunk.finished = true;
            return chunk;
        }
        if (header.nlmsg_type == NLMSG_ERROR) {
            chunk.finished = true;
            if (payload.size() < sizeof(nlmsgerr)) {
                chunk.errorCode = EBADMSG;
            } else {
                // The kernel sends -errno, 0 for an acknowledgement; anything else is
                // malformed (and INT_MIN has no positive counterpart).
                const int error = ReadStruct<nlmsgerr>(payload, 0).error;
                chunk.errorCode = error == 0 ? 0 : error < 0 && error > -4096 ? -error : EBADMSG;
            }
            return chunk;
        }
        if (header.nlmsg_type != RTM_NEWNEIGH)
            continue;
        if (!ParseNeighbour(payload, entries)) {
            chunk.finished = true;
            chunk.errorCode = EBADMSG;
            return chunk;
        }
    }
    if (at != buffer.size()) { // a cut-off header at the end
        chunk.finished = true;
        chunk.errorCode = EBADMSG;
    }
    return chunk;
}

void SortByAddress(std::vector<NeighbourEntry>& entries)
{
    std::stable_sort(entries.begin(), entries.end(),
                     [](const NeighbourEntry& a, const NeighbourEntry& b) {
                         return ntohl(a.address.nbo) < ntohl(b.address.nbo);
                     });
}

} // namespace zelvo
