#include "platform/NeighbourTable.h"

#include <linux/neighbour.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <sys/socket.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <random>
#include <set>

namespace zelvo {
namespace {

constexpr uint32_t kSeq = 77;

// One netlink message as the kernel lays it out: header, payload, padding to 4 bytes.
class Dump
{
public:
    Dump& Neighbour(Ipv4Address address, std::vector<uint8_t> lladdr, uint16_t state,
                    uint8_t family = AF_INET, uint32_t seq = kSeq)
    {
        std::vector<uint8_t> payload(NLMSG_ALIGN(sizeof(ndmsg)), 0);
        ndmsg nd{};
        nd.ndm_family = family;
        nd.ndm_ifindex = 2;
        nd.ndm_state = state;
        std::memcpy(payload.data(), &nd, sizeof nd);
        Attribute(payload, NDA_DST, &address.nbo, 4);
        if (!lladdr.empty())
            Attribute(payload, NDA_LLADDR, lladdr.data(), lladdr.size());
        return Message(RTM_NEWNEIGH, seq, payload);
    }
    Dump& Done(uint32_t seq = kSeq) { return Message(NLMSG_DONE, seq, std::vector<uint8_t>(4, 0)); }
    Dump& Error(int negativeErrno)
    {
        nlmsgerr e{};
        e.error = negativeErrno;
        std::vector<uint8_t> payload(sizeof e);
        std::memcpy(payload.data(), &e, sizeof e);
        return Message(NLMSG_ERROR, kSeq, payload);
    }
    Dump& Message(uint16_t type, uint32_t seq, const std::vector<uint8_t>& payload)
    {
        nlmsghdr h{};
        h.nlmsg_len = static_cast<uint32_t>(NLMSG_HDRLEN + payload.size());
        h.nlmsg_type = type;
        h.nlmsg_flags = NLM_F_MULTI;
        h.nlmsg_seq = seq;
        const std::size_t start = bytes.size();
        bytes.resize(start + NLMSG_ALIGN(h.nlmsg_len), 0);
        std::memcpy(bytes.data() + start, &h, sizeof h);
        std::memcpy(bytes.data() + start + NLMSG_HDRLEN, payload.data(), payload.size());
        boundaries.insert(bytes.size());
        return *this;
    }

    std::vector<uint8_t> bytes;
    std::set<std::size_t> boundaries{0};

private:
    static void Attribute(std::vector<uint8_t>& payload, uint16_t type, const void* data,
                          std::size_t length)
    {
        rtattr a{};
        a.rta_len = static_cast<unsigned short>(RTA_LENGTH(length));
        a.rta_type = type;
        const std::size_t start = payload.size();
        payload.resize(start + RTA_ALIGN(a.rta_len), 0);
        std::memcpy(payload.data() + start, &a, sizeof a);
        std::memcpy(payload.data() + start + RTA_LENGTH(0), data, length);
    }
};

Ipv4Address Ip(uint8_t a, uint8_t b, uint8_t c, uint8_t d)
{
    return Ipv4Address::FromOctets(a, b, c, d);
}

const std::vector<uint8_t> kUnitMac = {0x02, 0x5a, 0xe1, 0x40, 0x00, 0x21};
const MacAddress kUnitMacArray = {0x02, 0x5a, 0xe1, 0x40, 0x00, 0x21};

TEST(NeighbourDump, requestAsksForAnIpv4Dump)
{
    const std::vector<uint8_t> request = BuildNeighbourDumpRequest(kSeq);
    ASSERT_EQ(request.size(), NLMSG_LENGTH(sizeof(ndmsg)));
    nlmsghdr h;
    std::memcpy(&h, request.data(), sizeof h);
    EXPECT_EQ(h.nlmsg_len, request.size());
    EXPECT_EQ(h.nlmsg_type, RTM_GETNEIGH);
    EXPECT_EQ(h.nlmsg_flags, NLM_F_REQUEST | NLM_F_DUMP);
    EXPECT_EQ(h.nlmsg_seq, kSeq);
    ndmsg nd;
    std::memcpy(&nd, request.data() + NLMSG_HDRLEN, sizeof nd);
    EXPECT_EQ(nd.ndm_family, AF_INET);
}

struct EntryCase
{
    const char* what;
    Dump dump;
    bool kept;
    MacAddress mac;
};

TEST(NeighbourDump, keepsNeighboursAndBlanksThoseWithoutAddress)
{
    const MacAddress zero{};
    const std::vector<EntryCase> cases = {
        {"reachable", Dump().Neighbour(Ip(10, 0, 0, 21), kUnitMac, NUD_REACHABLE), true,
         kUnitMacArray},
        {"stale", Dump().Neighbour(Ip(10, 0, 0, 21), kUnitMac, NUD_STALE), true, kUnitMacArray},
        {"permanent (ip neigh add)", Dump().Neighbour(Ip(10, 0, 0, 21), kUnitMac, NUD_PERMANENT),
         true, kUnitMacArray},
        {"incomplete, no address", Dump().Neighbour(Ip(10, 0, 0, 21), {}, NUD_INCOMPLETE), true,
         zero},
        {"failed, old address still reported",
         Dump().Neighbour(Ip(10, 0, 0, 21), kUnitMac, NUD_FAILED), true, zero},
        {"address shorter than a MAC", Dump().Neighbour(Ip(10, 0, 0, 21), {1, 2, 3}, NUD_REACHABLE),
         true, zero},
        {"noarp broadcast pseudo-entry",
         Dump().Neighbour(Ip(255, 255, 255, 255), {0xff, 0xff, 0xff, 0xff, 0xff, 0xff}, NUD_NOARP),
         false, zero},
        {"noarp multicast pseudo-entry",
         Dump().Neighbour(Ip(224, 0, 0, 251), {0x01, 0x00, 0x5e, 0x00, 0x00, 0xfb}, NUD_NOARP),
         false, zero},
        {"IPv6 entry", Dump().Neighbour(Ip(10, 0, 0, 21), kUnitMac, NUD_REACHABLE, AF_INET6), false,
         zero},
        {"entry of another request",
         Dump().Neighbour(Ip(10, 0, 0, 21), kUnitMac, NUD_REACHABLE, AF_INET, kSeq + 1), false,
         zero},
    };
    for (const EntryCase& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<NeighbourEntry> entries;
        const NeighbourDumpChunk chunk = ParseNeighbourDump(c.dump.bytes, kSeq, entries);
        EXPECT_EQ(chunk.errorCode, 0);
        EXPECT_FALSE(chunk.finished);
        ASSERT_EQ(entries.size(), c.kept ? 1u : 0u);
        if (c.kept) {
            EXPECT_EQ(entries[0].address, Ip(10, 0, 0, 21));
            EXPECT_EQ(entries[0].mac, c.mac);
        }
    }
}

TEST(NeighbourDump, aDumpSpreadOverBuffersEndsAtDone)
{
    std::vector<NeighbourEntry> entries;
    const Dump first = Dump()
                           .Neighbour(Ip(10, 0, 0, 30), kUnitMac, NUD_REACHABLE)
                           .Neighbour(Ip(10, 0, 0, 31), kUnitMac, NUD_REACHABLE);
    const Dump second = Dump().Neighbour(Ip(10, 0, 0, 32), kUnitMac, NUD_STALE).Done();
    NeighbourDumpChunk chunk = ParseNeighbourDump(first.bytes, kSeq, entries);
    EXPECT_FALSE(chunk.finished);
    chunk = ParseNeighbourDump(second.bytes, kSeq, entries);
    EXPECT_TRUE(chunk.finished);
    EXPECT_EQ(chunk.errorCode, 0);
    EXPECT_EQ(entries.size(), 3u);
}

TEST(NeighbourDump, errorsEndTheDump)
{
    std::vector<NeighbourEntry> entries;
    NeighbourDumpChunk chunk = ParseNeighbourDump(Dump().Error(-EPERM).bytes, kSeq, entries);
    EXPECT_TRUE(chunk.finished);
    EXPECT_EQ(chunk.errorCode, EPERM);

    Dump lying = Dump().Neighbour(Ip(10, 0, 0, 30), kUnitMac, NUD_REACHABLE);
    const uint32_t tooLong = static_cast<uint32_t>(lying.bytes.size() + 8);
    std::memcpy(lying.bytes.data(), &tooLong, sizeof tooLong); // nlmsg_len past the buffer
    chunk = ParseNeighbourDump(lying.bytes, kSeq, entries);
    EXPECT_EQ(chunk.errorCode, EBADMSG);

    Dump badAttribute = Dump().Neighbour(Ip(10, 0, 0, 30), kUnitMac, NUD_REACHABLE);
    const unsigned short hugeAttribute = 0xFFF0;
    std::memcpy(badAttribute.bytes.data() + NLMSG_HDRLEN + NLMSG_ALIGN(sizeof(ndmsg)),
                &hugeAttribute, sizeof hugeAttribute); // rta_len past the message
    chunk = ParseNeighbourDump(badAttribute.bytes, kSeq, entries);
    EXPECT_EQ(chunk.errorCode, EBADMSG);
    EXPECT_TRUE(entries.empty());
}

TEST(NeighbourDump, cutBuffersAreRefusedExceptAtMessageBoundaries)
{
    const Dump full = Dump()
                          .Neighbour(Ip(10, 0, 0, 30), kUnitMac, NUD_REACHABLE)
                          .Neighbour(Ip(10, 0, 0, 31), {}, NUD_INCOMPLETE)
                          .Done();
    for (std::size_t length = 0; length < full.bytes.size(); ++length) {
        SCOPED_TRACE(length);
        const std::vector<uint8_t> cut(full.bytes.begin(),
                                       full.bytes.begin() + static_cast<long>(length));
        std::vector<NeighbourEntry> entries;
        const NeighbourDumpChunk chunk = ParseNeighbourDump(cut, kSeq, entries);
        if (full.boundaries.count(length) != 0) {
            EXPECT_EQ(chunk.errorCode, 0);
            EXPECT_FALSE(chunk.finished);
        } else {
            EXPECT_EQ(chunk.errorCode, EBADMSG);
        }
        EXPECT_LE(entries.size(), 2u);
    }
}

TEST(NeighbourDump, sortsByAddressAsNumbers)
{
    std::vector<NeighbourEntry> entries = {{Ip(192, 168, 0, 1), {}},
                                           {Ip(10, 0, 0, 10), {}},
                                           {Ip(10, 0, 0, 9), {}},
                                           {Ip(10, 0, 1, 2), {}},
                                           {Ip(9, 255, 255, 255), {}}};
    SortByAddress(entries);
    const std::vector<Ipv4Address> expected = {Ip(9, 255, 255, 255), Ip(10, 0, 0, 9),
                                               Ip(10, 0, 0, 10), Ip(10, 0, 1, 2),
                                               Ip(192, 168, 0, 1)};
    ASSERT_EQ(entries.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(entries[i].address, expected[i]) << i;
}

TEST(NeighbourDump, mangledBuffersAreReadWithinBounds)
{
    const Dump full = Dump()
                          .Neighbour(Ip(10, 0, 0, 30), kUnitMac, NUD_REACHABLE)
                          .Neighbour(Ip(10, 0, 0, 31), {}, NUD_INCOMPLETE)
                          .Neighbour(Ip(224, 0, 0, 1), kUnitMac, NUD_NOARP)
                          .Done();
    std::mt19937 random(4242);
    for (int round = 0; round < 20000; ++round) {
        std::vector<uint8_t> mangled = full.bytes;
        const int flips = 1 + static_cast<int>(random() % 4);
        for (int f = 0; f < flips; ++f)
            mangled[random() % mangled.size()] = static_cast<uint8_t>(random());
        if (random() % 3 == 0)
            mangled.resize(random() % mangled.size());
        std::vector<NeighbourEntry> entries;
        const NeighbourDumpChunk chunk = ParseNeighbourDump(mangled, kSeq, entries);
        // An entry needs a message of its own with a header, an ndmsg and an address.
        const std::size_t smallestEntry = NLMSG_HDRLEN + NLMSG_ALIGN(sizeof(ndmsg)) + RTA_LENGTH(4);
        ASSERT_LE(entries.size() * smallestEntry, mangled.size()) << "round " << round;
        ASSERT_TRUE(chunk.errorCode != EBADMSG || chunk.finished) << "round " << round;
    }
}

} // namespace
} // namespace zelvo
