#include "platform/NeighbourTable.h"

#include <linux/neighbour.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <sys/socket.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <set>

namespace zelvo {
namespace {

constexpr uint32_t kSeq = 77;
const std::vector<uint8_t> kMac = {0x02, 0x5a, 0xe1, 0x40, 0x00, 0x21};

Ipv4Address Ip(uint8_t a, uint8_t b, uint8_t c, uint8_t d)
{
    return Ipv4Address::FromOctets(a, b, c, d);
}

// Netlink messages as the kernel lays them out, and where each ends.
struct Dump
{
    std::vector<uint8_t> bytes;
    std::set<std::size_t> boundaries{0};

    Dump& Neighbour(Ipv4Address address, std::vector<uint8_t> lladdr, uint16_t state,
                    uint8_t family = AF_INET, uint32_t seq = kSeq)
    {
        std::vector<uint8_t> payload(NLMSG_ALIGN(sizeof(ndmsg)), 0);
        const ndmsg nd{family, 0, 0, 2, state, 0, 0};
        std::memcpy(payload.data(), &nd, sizeof nd);
        Attribute(payload, NDA_DST, &address.nbo, 4);
        if (!lladdr.empty())
            Attribute(payload, NDA_LLADDR, lladdr.data(), lladdr.size());
        return Message(RTM_NEWNEIGH, seq, payload);
    }
    Dump& Message(uint16_t type, uint32_t seq, const std::vector<uint8_t>& payload)
    {
        const nlmsghdr h{static_cast<uint32_t>(NLMSG_HDRLEN + payload.size()), type, NLM_F_MULTI,
                         seq, 0};
        const std::size_t start = bytes.size();
        bytes.resize(start + NLMSG_ALIGN(h.nlmsg_len), 0);
        std::memcpy(bytes.data() + start, &h, sizeof h);
        std::memcpy(bytes.data() + start + NLMSG_HDRLEN, payload.data(), payload.size());
        boundaries.insert(bytes.size());
        return *this;
    }
    Dump& Done() { return Message(NLMSG_DONE, kSeq, std::vector<uint8_t>(4, 0)); }
    static void Attribute(std::vector<uint8_t>& payload, uint16_t type, const void* data,
                          std::size_t length)
    {
        const rtattr a{static_cast<unsigned short>(RTA_LENGTH(length)), type};
        const std::size_t start = payload.size();
        payload.resize(start + RTA_ALIGN(a.rta_len), 0);
        std::memcpy(payload.data() + start, &a, sizeof a);
        std::memcpy(payload.data() + start + RTA_LENGTH(0), data, length);
    }
};

TEST(NeighbourDump, keepsNeighboursAndBlanksThoseWithoutAddress)
{
    const MacAddress mac = {0x02, 0x5a, 0xe1, 0x40, 0x00, 0x21};
    const MacAddress zero{};
    const Ipv4Address unit = Ip(10, 0, 0, 21);
    struct Case
    {
        const char* what;
        Dump dump;
        std::optional<MacAddress> kept;
    };
    const std::vector<Case> cases = {
        {"reachable", Dump().Neighbour(unit, kMac, NUD_REACHABLE), mac},
        {"stale", Dump().Neighbour(unit, kMac, NUD_STALE), mac},
        {"permanent (ip neigh add)", Dump().Neighbour(unit, kMac, NUD_PERMANENT), mac},
        {"incomplete", Dump().Neighbour(unit, {}, NUD_INCOMPLETE), zero},
        {"failed, old address still given", Dump().Neighbour(unit, kMac, NUD_FAILED), zero},
        {"address shorter than a MAC", Dump().Neighbour(unit, {1, 2, 3}, NUD_REACHABLE), zero},
        {"noarp broadcast", Dump().Neighbour(unit, kMac, NUD_NOARP), std::nullopt},
        {"IPv6", Dump().Neighbour(unit, kMac, NUD_REACHABLE, AF_INET6), std::nullopt},
        {"another request's", Dump().Neighbour(unit, kMac, NUD_REACHABLE, AF_INET, kSeq + 1),
         std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<NeighbourEntry> entries;
        const NeighbourDumpChunk chunk = ParseNeighbourDump(c.dump.bytes, kSeq, entries);
        EXPECT_EQ(chunk.errorCode, 0);
        EXPECT_FALSE(chunk.finished);
        ASSERT_EQ(entries.size(), c.kept ? 1u : 0u);
        if (c.kept) {
            EXPECT_EQ(entries[0].address, unit);
            EXPECT_EQ(entries[0].mac, *c.kept);
        }
    }
}

TEST(NeighbourDump, endsAtDoneOrAnError)
{
    std::vector<NeighbourEntry> entries;
    EXPECT_FALSE(ParseNeighbourDump(Dump().Neighbour(Ip(10, 0, 0, 30), kMac, NUD_REACHABLE).bytes,
                                    kSeq, entries)
                     .finished);
    const NeighbourDumpChunk last = ParseNeighbourDump(
        Dump().Neighbour(Ip(10, 0, 0, 31), kMac, NUD_STALE).Done().bytes, kSeq, entries);
    EXPECT_TRUE(last.finished);
    EXPECT_EQ(last.errorCode, 0);
    EXPECT_EQ(entries.size(), 2u) << "a dump spread over two buffers";

    nlmsgerr error{};
    error.error = -EPERM;
    std::vector<uint8_t> payload(sizeof error);
    std::memcpy(payload.data(), &error, sizeof error);
    const NeighbourDumpChunk refused =
        ParseNeighbourDump(Dump().Message(NLMSG_ERROR, kSeq, payload).bytes, kSeq, entries);
    EXPECT_TRUE(refused.finished);
    EXPECT_EQ(refused.errorCode, EPERM);

    Dump badAttribute = Dump().Neighbour(Ip(10, 0, 0, 30), kMac, NUD_REACHABLE);
    const unsigned short huge = 0xFFF0; // the first attribute's rta_len, past the message
    std::memcpy(&badAttribute.bytes[NLMSG_HDRLEN + NLMSG_ALIGN(sizeof(ndmsg))], &huge, 2);
    entries.clear();
    EXPECT_EQ(ParseNeighbourDump(badAttribute.bytes, kSeq, entries).errorCode, EBADMSG);
    EXPECT_TRUE(entries.empty());
}

TEST(NeighbourDump, cutBuffersAreRefusedExceptAtMessageBoundaries)
{
    const Dump full = Dump()
                          .Neighbour(Ip(10, 0, 0, 30), kMac, NUD_REACHABLE)
                          .Neighbour(Ip(10, 0, 0, 31), {}, NUD_INCOMPLETE)
                          .Done();
    for (std::size_t length = 0; length < full.bytes.size(); ++length) {
        const std::vector<uint8_t> cut(full.bytes.begin(),
                                       full.bytes.begin() + static_cast<long>(length));
        std::vector<NeighbourEntry> entries;
        const int error = ParseNeighbourDump(cut, kSeq, entries).errorCode;
        EXPECT_EQ(error, full.boundaries.count(length) ? 0 : EBADMSG) << "cut at " << length;
    }
}

TEST(NeighbourDump, sortsByAddressAsNumbers)
{
    std::vector<NeighbourEntry> entries = {{Ip(192, 168, 0, 1), {}},
                                           {Ip(10, 0, 0, 10), {}},
                                           {Ip(10, 0, 0, 9), {}},
                                           {Ip(9, 255, 255, 255), {}}};
    SortByAddress(entries);
    EXPECT_EQ(entries[0].address, Ip(9, 255, 255, 255));
    EXPECT_EQ(entries[1].address, Ip(10, 0, 0, 9));
    EXPECT_EQ(entries[2].address, Ip(10, 0, 0, 10));
    EXPECT_EQ(entries[3].address, Ip(192, 168, 0, 1));
}

} // namespace
} // namespace zelvo
