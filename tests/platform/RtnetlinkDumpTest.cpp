// The rtnetlink dump reader on hand-built datagrams, the same bytes through both tables'
// parsers (they must agree on what is malformed), and one dump of the kernel's own.
#include "platform/RtnetlinkDump.h"
#include "platform/HostNetlinkParse.h"
#include "platform/NeighbourTable.h"

#include <linux/neighbour.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <net/if.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <string>

namespace zelvo {
namespace {

using Bytes = std::vector<uint8_t>;
constexpr uint32_t kSeq = 41;

Bytes operator+(Bytes a, const Bytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}
template <typename T> Bytes Raw(const T& value)
{
    Bytes b(reinterpret_cast<const uint8_t*>(&value),
            reinterpret_cast<const uint8_t*>(&value) + sizeof value);
    b.resize((b.size() + 3) & ~std::size_t{3});
    return b;
}
// An attribute whose length field says length (the payload as given).
Bytes AttrLen(uint16_t type, uint16_t length, Bytes payload)
{
    payload.resize((payload.size() + 3) & ~std::size_t{3});
    return Raw(rtattr{length, type}) + payload;
}
Bytes Attr(uint16_t type, const Bytes& payload)
{
    return AttrLen(type, static_cast<uint16_t>(RTA_LENGTH(payload.size())), payload);
}
Bytes Message(uint16_t type, const Bytes& body, uint32_t seq = kSeq, uint16_t flags = NLM_F_MULTI)
{
    return Raw(nlmsghdr{uint32_t(NLMSG_HDRLEN + body.size()), type, flags, seq, 0}) + body;
}
Bytes Done(uint32_t seq = kSeq)
{
    return Message(NLMSG_DONE, Raw(0), seq);
}
Bytes Error(int error)
{
    nlmsgerr e{};
    e.error = error;
    return Message(NLMSG_ERROR, Raw(e));
}
// A message of the given type whose body is one attribute list, as the visitor sees it.
Bytes Listed(const Bytes& attributes)
{
    return Message(RTM_NEWLINK, attributes);
}

// What WalkDumpChunk did with a datagram: the attribute types it saw, in order, and how it
// ended. Each RTM_NEWLINK body here is a bare attribute list.
struct Walk
{
    DumpChunkResult result;
    std::string seen;
};
Walk WalkOf(const Bytes& datagram)
{
    Walk walk;
    const Bytes exact(datagram); // an exact-size copy: a read past it is a sanitizer error
    walk.result = WalkDumpChunk(exact, kSeq, [&](uint16_t type, std::span<const uint8_t> body) {
        walk.seen += "m" + std::to_string(type) + "(";
        const bool ok = ForEachAttribute(body, [&](const RtAttribute& a) {
            walk.seen += std::to_string(a.type) + ":" + std::to_string(a.payload.size()) + " ";
        });
        walk.seen += ")";
        return ok;
    });
    return walk;
}

TEST(RtnetlinkDump, walksMessagesAndAttributesAndRefusesWhatDoesNotAddUp)
{
    const Bytes two = Listed(Attr(3, {'e', 't', 'h', '0', 0}) + Attr(1, Bytes(6, 2)));
    const Bytes goodThenCut = two + Bytes(two.begin(), two.begin() + 10);
    Bytes pastMessage = Listed(Attr(3, {1, 2, 3, 4}));
    pastMessage[NLMSG_HDRLEN] = 200; // the attribute says 200 bytes; the message holds 8
    Bytes messagePastDatagram = two;
    messagePastDatagram[0] = static_cast<uint8_t>(two.size() + 4);
    Bytes shortMessage = two;
    shortMessage[0] = 8; // shorter than its own header
    const struct
    {
        const char* what;
        Bytes datagram;
        DumpProgress progress;
        int error;
        std::string seen;
    } cases[] = {
        {"two attributes", two, DumpProgress::More, 0, "m16(3:5 1:6 )"},
        {"then done", two + Done(), DumpProgress::Done, 0, "m16(3:5 1:6 )"},
        {"nothing after done is read", Done() + two, DumpProgress::Done, 0, ""},
        {"an empty attribute is one", Listed(AttrLen(7, 4, {})), DumpProgress::More, 0,
         "m16(7:0 )"},
        {"a nested flag is masked off", Listed(Attr(NLA_F_NESTED | 9, {})), DumpProgress::More, 0,
         "m16(9:0 )"},
        {"padding after the last attribute", Listed(Attr(3, {1})), DumpProgress::More, 0,
         "m16(3:1 )"},
        {"an empty datagram", {}, DumpProgress::More, 0, ""},
        {"another request's messages and done",
         Message(RTM_NEWLINK, Attr(3, {}), kSeq + 1) + Done(kSeq + 1) + two, DumpProgress::More, 0,
         "m16(3:5 1:6 )"},
        {"a zero-length attribute", Listed(AttrLen(3, 0, {1, 2, 3, 4})), DumpProgress::Failed,
         EBADMSG, "m16()"},
        {"an attribute shorter than its header", Listed(AttrLen(3, 3, {})), DumpProgress::Failed,
         EBADMSG, "m16()"},
        {"an attribute past its message", pastMessage, DumpProgress::Failed, EBADMSG, "m16()"},
        {"attributes before the bad one are seen", Listed(Attr(5, {1}) + AttrLen(6, 0, {})),
         DumpProgress::Failed, EBADMSG, "m16(5:1 )"},
        {"a message past its datagram", messagePastDatagram, DumpProgress::Failed, EBADMSG, ""},
        {"a message shorter than its header", shortMessage, DumpProgress::Failed, EBADMSG, ""},
        {"a header cut short", goodThenCut, DumpProgress::Failed, EBADMSG, "m16(3:5 1:6 )"},
        {"an error mid-dump", two + Error(-EPERM) + two, DumpProgress::Failed, EPERM,
         "m16(3:5 1:6 )"},
        {"an acknowledgement ends it", two + Error(0) + two, DumpProgress::Done, 0,
         "m16(3:5 1:6 )"},
        {"an error no kernel sends", Error(EPERM), DumpProgress::Failed, EBADMSG, ""},
        {"an error with no room for its value", Message(NLMSG_ERROR, {}), DumpProgress::Failed,
         EBADMSG, ""},
    };
    for (const auto& c : cases) {
        const Walk walk = WalkOf(c.datagram);
        EXPECT_EQ(walk.result.progress, c.progress) << c.what;
        EXPECT_EQ(walk.result.errorCode, c.error) << c.what;
        EXPECT_EQ(walk.seen, c.seen) << c.what;
        EXPECT_FALSE(walk.result.interrupted) << c.what;
    }

    // A dump the tables changed under says so, on any message of ours.
    const Walk changed =
        WalkOf(two + Message(RTM_NEWLINK, {}, kSeq, NLM_F_MULTI | NLM_F_DUMP_INTR));
    EXPECT_TRUE(changed.result.interrupted);
    EXPECT_EQ(changed.result.progress, DumpProgress::More);
    EXPECT_FALSE(WalkOf(Message(RTM_NEWLINK, {}, kSeq + 1, NLM_F_DUMP_INTR)).result.interrupted);
}

TEST(RtnetlinkDump, bothTablesRefuseAMalformedAttributeAlike)
{
    // The same broken attribute list behind each table's own message header.
    ndmsg neighbour{};
    neighbour.ndm_family = AF_INET;
    neighbour.ndm_state = NUD_REACHABLE;
    const ifinfomsg link{AF_UNSPEC, 0, 0, 2, IFF_UP, 0};
    for (const Bytes& attributes :
         {AttrLen(NDA_DST, 0, {10, 0, 0, 1}), AttrLen(NDA_DST, 200, {10, 0, 0, 1}),
          Attr(NDA_DST, {10, 0, 0, 1}) + AttrLen(NDA_LLADDR, 2, {})}) {
        std::vector<NeighbourEntry> entries;
        const DumpChunkResult n =
            ParseNeighbourDump(Message(RTM_NEWNEIGH, Raw(neighbour) + attributes), kSeq, entries);
        HostDumpAccumulator hosts;
        const DumpChunkResult h =
            ParseRtnetlinkChunk(Message(RTM_NEWLINK, Raw(link) + attributes), kSeq, hosts);
        EXPECT_EQ(std::pair(n.progress, n.errorCode), std::pair(DumpProgress::Failed, EBADMSG));
        EXPECT_EQ(std::pair(h.progress, h.errorCode), std::pair(DumpProgress::Failed, EBADMSG));
        EXPECT_TRUE(entries.empty());
        EXPECT_TRUE(hosts.links.empty());
    }
    // A body too short for its table's header is malformed too.
    std::vector<NeighbourEntry> entries;
    HostDumpAccumulator hosts;
    EXPECT_EQ(ParseNeighbourDump(Message(RTM_NEWNEIGH, Bytes(4)), kSeq, entries).errorCode,
              EBADMSG);
    EXPECT_EQ(ParseRtnetlinkChunk(Message(RTM_NEWADDR, Bytes(4)), kSeq, hosts).errorCode, EBADMSG);
}

TEST(RtnetlinkDump, readsTheKernelsLinksAndGivesUpWhenNoMoreComes)
{
    int error = 0;
    const UniqueFd socket = OpenRouteSocket(error);
    ASSERT_TRUE(socket.Valid()) << error;
    ifinfomsg request{};
    request.ifi_family = AF_UNSPEC;
    HostDumpAccumulator links;
    const DumpRead read = RunDump(
        socket.Get(), BuildDumpRequest(RTM_GETLINK, 5, request),
        [&](std::span<const uint8_t> datagram) { return ParseRtnetlinkChunk(datagram, 5, links); },
        SystemClock(), 2000);
    EXPECT_EQ(read.errorCode, 0);
    bool loopback = false;
    for (const HostInterface& link : links.links)
        loopback = loopback || (link.name == "lo" && link.loopback);
    EXPECT_TRUE(loopback);

    // A reader that never hears the end waits for the next datagram until the reply time.
    int datagrams = 0;
    const DumpRead endless = RunDump(
        socket.Get(), BuildDumpRequest(RTM_GETLINK, 6, request),
        [&](std::span<const uint8_t>) {
            ++datagrams;
            return DumpChunkResult{};
        },
        SystemClock(), 200);
    EXPECT_EQ(endless.errorCode, ETIMEDOUT);
    EXPECT_GE(datagrams, 1);
}

} // namespace
} // namespace zelvo
