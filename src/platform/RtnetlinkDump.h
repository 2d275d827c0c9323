#pragma once
#include "platform/Clock.h"
#include "platform/Outcome.h"
#include "platform/UniqueFd.h"

#include <cstdint>
#include <cstring>
#include <functional>
#include <span>
#include <vector>

namespace zelvo {

// Reading an rtnetlink dump (NLM_F_DUMP): the request, the datagrams of the reply and the
// messages and attributes in them. The kernel lays every part out in its own byte order,
// padded to four bytes.
//
// Bytes that do not add up are never read past and never skipped: a message whose length
// runs past its datagram, a header cut short, or an attribute whose length is shorter than
// its own header (zero included) or runs past its message fail the whole dump with
// EBADMSG. A table read from such bytes could lack the one entry that matters (the unit's
// neighbour entry, the PC's default route), and a read that says so is better than a table
// that looks complete and is not.

enum class DumpProgress
{
    More, // the dump goes on in the next datagram
    Done, // NLMSG_DONE (or an acknowledgement) was read
};

// One datagram of a dump that was read; a kernel's error or malformed bytes fail instead.
struct DumpChunk
{
    DumpProgress progress = DumpProgress::More;
    bool interrupted = false; // NLM_F_DUMP_INTR: the tables changed while they were dumped
};

// One attribute: its type without the nesting and byte-order flags, and its payload.
struct RtAttribute
{
    uint16_t type = 0;
    std::span<const uint8_t> payload;
};

// Visits every attribute of area in order. false when an attribute is malformed (see
// above); the attributes before it have been visited. Fewer than four bytes after the last
// attribute are its padding.
bool ForEachAttribute(std::span<const uint8_t> area,
                      const std::function<void(const RtAttribute&)>& visit);

// Copies a T from offset of bytes; false when it does not fit. Copying keeps alignment out of
// it: the bytes come from a receive buffer or a test's array.
template <typename T> bool ReadAt(std::span<const uint8_t> bytes, std::size_t offset, T& out)
{
    if (offset > bytes.size() || bytes.size() - offset < sizeof(T))
        return false;
    std::memcpy(&out, bytes.data() + offset, sizeof(T));
    return true;
}

// The body of a message of our sequence: false when it is malformed.
using DumpMessageVisitor = std::function<bool(uint16_t type, std::span<const uint8_t> body)>;

// Walks one datagram of the reply to the dump with the given sequence number. Messages of
// another sequence are skipped; NLMSG_DONE ends the dump, so does an NLMSG_ERROR (0, an
// acknowledgement: Done; -errno: fails with errno; any other value: fails with EBADMSG);
// every other message goes to visit.
Outcome<DumpChunk> WalkDumpChunk(std::span<const uint8_t> datagram, uint32_t sequence,
                                 const DumpMessageVisitor& visit);

// The request for a dump of type (RTM_GETLINK ...) with the family's request structure.
std::vector<uint8_t> BuildDumpRequest(uint16_t type, uint32_t sequence,
                                      std::span<const uint8_t> familyHeader);
template <typename Body>
std::vector<uint8_t> BuildDumpRequest(uint16_t type, uint32_t sequence, const Body& body)
{
    return BuildDumpRequest(
        type, sequence,
        std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(&body), sizeof body));
}

// A bound NETLINK_ROUTE socket.
Outcome<UniqueFd> OpenRouteSocket();

// One whole dump that was read. It fails with the errno of a step, the chunk's failure,
// ETIMEDOUT when no datagram came within the reply time, or EMSGSIZE when a datagram did
// not fit the buffer.
struct DumpRead
{
    bool interrupted = false; // some message carried NLM_F_DUMP_INTR
};

// Sends request to the kernel and hands each datagram of the reply to chunk (which knows
// the request's sequence number) until it says Done or fails. Datagrams from anyone but
// the kernel are dropped. Each wait for the next datagram ends after replyTimeoutMs on clock.
Outcome<DumpRead> RunDump(int fd, std::span<const uint8_t> request,
                          const std::function<Outcome<DumpChunk>(std::span<const uint8_t>)>& chunk,
                          const Clock& clock, int replyTimeoutMs);

} // namespace zelvo
