// The search: its rules without threads, then its commands and worker.
#include "core/MessageCatalogue.h"
#include "search/ComputerName.h"
#include "search/EchoAnswer.h"
#include "search/EchoRequest.h"
#include "search/NeighbourTableWalk.h"
#include "search/SearchCommands.h"
#include "search/SearchResults.h"
#include "search/SearchWorker.h"
#include "support/FakeClock.h"
#include "support/FakeFrontEnd.h"
#include "support/FakePasses.h"
#include "support/FakeSearchNetwork.h"
#include "support/InternetChecksum.h"
#include "support/ScriptedMessageBoxes.h"
#include "support/TemporaryLog.h"
#include "support/WaitUntil.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <vector>

namespace zelvo {
namespace {

Ipv4Address Ip(uint8_t a, uint8_t b, uint8_t c, uint8_t d)
{
    return Ipv4Address::FromOctets(a, b, c, d);
}
MacAddress UnitMac(uint8_t serial)
{
    return {0x02, 0x5a, 0xe1, 0x42, 0x00, serial};
}

struct Said // what the three ways of asking answer; nullopt: no answer
{
    std::optional<std::string> netbios = {}, resolver = {}, mdns = {};
};
struct Answers final : NameLookups
{
    explicit Answers(Said said) : m_said(std::move(said)) {}
    std::optional<std::string> NetbiosName(Ipv4Address, int) override { return m_said.netbios; }
    std::optional<std::string> ResolverName(Ipv4Address, int) override { return m_said.resolver; }
    std::optional<std::string> MdnsName(Ipv4Address, int) override { return m_said.mdns; }
    Said m_said;
};

// Whatever a host answers, the name shown is printable ASCII that fits a list row.
TEST(ComputerName, theFirstAnswerWinsAndIsShownAsPrintableAscii)
{
    std::string longShown; // 64 whole escapes fit 259 bytes, a 65th would not
    while (longShown.size() < 64 * 4)
        longShown += "\\x01";
    const std::pair<Said, std::optional<std::string>> cases[] = {
        {{.netbios = "NAS01", .resolver = "nas01.lan"}, "NAS01"},
        {{.netbios = "", .resolver = "nas01.lan", .mdns = "nas01.local"}, "nas01.lan"},
        {{.mdns = "nas01.local"}, "nas01.local"},
        {{.netbios = "\x1b[2JNAS\r\n\x7f"}, "\\x1b[2JNAS\\x0d\\x0a\\x7f"},
        {{.netbios = "NAS\xe9\xff"}, "NAS\\xe9\\xff"},
        {{.resolver = std::string("a\0b\\c", 5)}, "a\\x00b\\\\c"},
        // Printable: a leading '=' is the CSV output's business.
        {{.netbios = "=HYPERLINK(\"x\")"}, "=HYPERLINK(\"x\")"},
        {{.mdns = std::string(300, '\x01')}, longShown},
        {{.netbios = "", .resolver = ""}, std::nullopt},
    };
    for (const auto& [said, shown] : cases) {
        Answers answers(said);
        EXPECT_EQ(LookUpComputerName(answers, Ip(10, 0, 0, 21)), shown)
            << said.netbios.value_or("-") << " " << said.resolver.value_or("-");
    }
}

TEST(EchoRequest, isLaidOutByteForByteAndChecksumsToZero)
{
    EchoRequest request = BuildEchoRequest(0x1234);
    StampEchoRequest(request, 7, 8123456); // the checksum is redone below
    StampEchoRequest(request, 0x0201, 0xA1B2C3D4);
    std::vector<uint8_t> expected = {8,    0,    request[2], request[3], 0x34, 0x12,
                                     0x01, 0x02, 0xD4,       0xC3,       0xB2, 0xA1};
    expected.resize(44, 0x45);
    EXPECT_EQ(std::vector<uint8_t>(request.begin(), request.end()), expected);
    expected[2] = expected[3] = 0;
    EXPECT_EQ(request[2] << 8 | request[3], test::InternetChecksum(expected));
}

// Starts non-empty, so that what a search leaves alone shows.
struct Target
{
    std::unique_ptr<DeviceList> devices = std::make_unique<DeviceList>();
    int unitsFound = 7;
    UsedAddressTable used;
    LastFoundList lastFound;

    Target()
    {
        used.addresses.fill(Ip(9, 9, 9, 9));
        lastFound.Append(Ip(8, 8, 8, 8));
    }
    void Store(const SearchTable& table, SearchCommand command)
    {
        StoreSearchResults(table, command, {*devices, unitsFound, used, lastFound});
    }
};

// arpCount neighbour addresses 10.0.0.1 ... and one unit slot per (address, name).
std::unique_ptr<SearchTable> Table(int arpCount,
                                   const std::vector<std::pair<Ipv4Address, std::string>>& slots)
{
    auto table = std::make_unique<SearchTable>();
    table->arpCount = arpCount;
    for (int i = 0; i < arpCount; ++i)
        table->arpAddresses[i] = Ipv4Address::FromHostOrder(0x0a000001u + uint32_t(i));
    table->slotCount = 1 + int(slots.size());
    table->unitCount = int(slots.size());
    table->unitSeen = slots.empty() ? 0 : 1;
    for (int s = 1; s < table->slotCount; ++s) {
        table->addresses[s] = slots[std::size_t(s - 1)].first;
        table->macs[s] = UnitMac(uint8_t(s));
        table->SetName(s, slots[std::size_t(s - 1)].second);
        table->unitSlots[s - 1] = s;
    }
    return table;
}

TEST(Results, twoNamedUnitsAreListedInOrderAndSizeTheNextSearch)
{
    Target t;
    t.Store(*Table(10, {{Ip(10, 0, 0, 3), "VELDIX-A"}, {Ip(10, 0, 0, 7), "VELDIX-B"}}),
            SearchCommand::Again);

    const DeviceList& d = *t.devices;
    EXPECT_EQ(d.usedAddressCount, 13);
    EXPECT_EQ(SearchTimeBudget(uint32_t(d.usedAddressCount)), 63u);
    EXPECT_EQ(d.RowCount, 3);
    ASSERT_EQ(d.UnitCount, 2);
    for (int row : {1, 2}) {
        const DeviceRecord& r = d.rows[row];
        EXPECT_EQ(d.UnitRows[row - 1], row);
        EXPECT_EQ(std::string(r.name) + "|" + r.ipText + "|" + r.macText + "|" + r.typeText,
                  row == 1 ? "VELDIX-A|10.0.0.3|02-5a-e1-42-00-01|VELDIX [0]"
                           : "VELDIX-B|10.0.0.7|02-5a-e1-42-00-02|VELDIX [1]");
        EXPECT_EQ(r.address, Ip(10, 0, 0, row == 1 ? 3 : 7));
        EXPECT_EQ(t.lastFound.addresses[row - 1], r.address);
    }
    EXPECT_EQ(t.lastFound.count, 2);
    EXPECT_EQ(t.used.addresses[9], Ip(10, 0, 0, 10));
    EXPECT_EQ(t.used.addresses[10], Ip(9, 9, 9, 9)); // beyond this read: kept
}

TEST(Results, unitsWithoutNameOrAddressAreCountedButNotListed)
{
    // Only Search takes unitSeen, and only Search counts the slot without an address.
    for (const auto& [command, unitsFound, used] :
         {std::tuple{SearchCommand::First, 0, 4 + 1 + 1}, {SearchCommand::Again, 1, 4 + 1 + 2}}) {
        Target t;
        t.unitsFound = 0; // as the command leaves it
        t.Store(*Table(4, {{Ip(10, 0, 0, 2), ""}, {Ipv4Address{}, "ghost"}}), command);
        EXPECT_EQ(t.devices->UnitCount, 0);
        EXPECT_EQ(t.devices->RowCount, 3);
        EXPECT_EQ(t.lastFound.count, 0);
        EXPECT_EQ(t.unitsFound, unitsFound);
        EXPECT_EQ(t.devices->usedAddressCount, used);

        t.Store(*Table(4, {{Ip(10, 0, 0, 2), ""}, {Ip(10, 0, 0, 3), "B"}}), command);
        EXPECT_EQ(t.unitsFound, 1);
        EXPECT_STREQ(t.devices->rows[1].name, "B");
        EXPECT_STREQ(t.devices->rows[1].typeText, "VELDIX [0]");
    }
}

// A busy card fills the tables, writes nothing past them and does not crowd the other cards
// out of the used addresses.
TEST(Search, aCrowdedCardFillsTheTablesButLeavesTheOthersTheirUsedAddresses)
{
    PcCards cards;
    cards.usable = {{2, "eth0", {}, Ip(192, 168, 0, 10), {255, 255, 255, 0}},
                    {3, "wlan0", {}, Ip(10, 20, 0, 5), {255, 255, 0, 0}}};
    cards.withoutAddress = {{4, "eth1", {}, {}, {}}};
    NeighbourRead read;
    for (uint32_t i = 1; i <= 300; ++i) // a crowd of units behind wlan0
        read.Value().push_back(
            {Ip(10, 20, uint8_t(i >> 8), uint8_t(i)), UnitMac(uint8_t(i)), false, 3});
    read.Value().push_back({Ip(169, 254, 9, 9), UnitMac(9), false, 4});
    read.Value().push_back({Ip(172, 17, 0, 2), {0x52, 0, 0, 0, 0, 2}, false, 9});
    read.Value().push_back({Ip(192, 168, 0, 21), UnitMac(1), false, 2});
    read.Value().push_back({Ip(192, 168, 0, 30), {0x52, 0, 0, 0, 0, 3}, false, 2});

    for (const bool restricted : {false, true}) {
        PcCards used = cards;
        if (restricted)
            RestrictCards(used, "eth0");
        auto table = std::make_unique<SearchTable>(); // on the heap: ASan sees a write past it
        table->slotCount = 1;
        const std::vector<std::string> log = WalkNeighbourTable(read, *table, used).logLines;
        ASSERT_EQ(log.size(), restricted ? 4u + 2u : 4u + 304u);
        EXPECT_EQ(log[0] + log[2],
                  restricted ? " Phase1 : retcd=122 buf=52\r\n 2 entries are available\r\n"
                             : " Phase1 : retcd=122 buf=7300\r\n 304 entries are available\r\n");
        const std::vector<std::string> last =
            restricted
                ? std::vector<std::string>{" 01 : 192.168.000.021 - 02.5a.e1.42.00.01\r\n",
                                           " 02 : 192.168.000.030 - 52.00.00.00.00.03\r\n"}
                : std::vector<std::string>{" 301 : 169.254.009.009 - 02.5a.e1.42.00.09 (eth1)\r\n",
                                           " 302 : 172.017.000.002 - 52.00.00.00.00.02 (-)\r\n",
                                           " 303 : 192.168.000.021 - 02.5a.e1.42.00.01 (eth0)\r\n",
                                           " 304 : 192.168.000.030 - 52.00.00.00.00.03 (eth0)\r\n"};
        EXPECT_EQ(std::vector<std::string>(log.end() - long(last.size()), log.end()), last);
        EXPECT_EQ(table->unitOnCardWithoutAddress, restricted ? 0 : 4);
        EXPECT_EQ(table->unitCount, restricted ? 1 : 63);
        EXPECT_EQ(table->slotCount, restricted ? 2 : 64);
        EXPECT_EQ(table->addresses[63], restricted ? Ipv4Address{} : Ip(10, 20, 0, 63));
        EXPECT_EQ(table->arpCount, restricted ? 2 : 256);

        Target t;
        t.Store(*table, SearchCommand::Again);
        const auto eth0 = t.used.InUseList(cards.usable[0].address, cards.usable[0].mask);
        const auto wlan0 = t.used.InUseList(cards.usable[1].address, cards.usable[1].mask);
        EXPECT_EQ(std::vector<Ipv4Address>(eth0.begin(), eth0.begin() + 4),
                  (std::vector<Ipv4Address>{
                      Ip(192, 168, 0, 10), Ip(192, 168, 0, 21), Ip(192, 168, 0, 30), {}}));
        EXPECT_EQ(std::vector<Ipv4Address>(wlan0.begin(), wlan0.begin() + 3),
                  (std::vector<Ipv4Address>{Ip(10, 20, 0, 5),
                                            restricted ? Ipv4Address{} : Ip(10, 20, 0, 1),
                                            restricted ? Ipv4Address{} : Ip(10, 20, 0, 2)}));
        if (restricted)
            continue;

        for (int s = 1; s < 64; ++s)
            table->SetName(s, "U" + std::to_string(s));
        // A table cut short before the worker reset arpCount still carries the command's count.
        for (const auto& [arpCount, slotCount] : {std::pair{256, 64}, {320, 1000}}) {
            table->arpCount = arpCount;
            table->slotCount = slotCount;
            Target full;
            full.Store(*table, SearchCommand::Again);
            EXPECT_EQ(full.devices->RowCount, 64);
            EXPECT_EQ(full.devices->UnitCount, 63);
            EXPECT_STREQ(full.devices->rows[63].typeText, "VELDIX [62]");
            EXPECT_EQ(full.lastFound.count, 63);
            EXPECT_EQ(full.devices->usedAddressCount, 256 + 1 + 63);
            EXPECT_EQ(full.used.addresses[254], Ip(10, 20, 0, 251)); // the cards took turns
        }
        Target negative;
        table->arpCount = -5;
        table->slotCount = -1;
        negative.Store(*table, SearchCommand::First);
        EXPECT_EQ(negative.devices->RowCount, 1);
        EXPECT_EQ(negative.devices->usedAddressCount, 1);
        EXPECT_EQ(negative.used.addresses[0], Ip(9, 9, 9, 9));
    }
}

// The quoted IPv4 header has 24 bytes, so that its length is read and not assumed.
namespace icmp {
Ipv4Address Dotted(const char* dotted)
{
    return Ipv4Address{::inet_addr(dotted)};
}
std::vector<uint8_t> Ip(const char* from, const char* to, uint8_t protocol,
                        std::vector<uint8_t> payload)
{
    std::vector<uint8_t> ip = {0x46, 0, 0, 0, 0, 0, 0, 0, 64, protocol, 0, 0};
    for (const char* dotted : {from, to}) {
        const auto o = Dotted(dotted).Octets();
        ip.insert(ip.end(), o.begin(), o.end());
    }
    ip.insert(ip.end(), {1, 1, 1, 1}); // a padding option
    return ip.insert(ip.end(), payload.begin(), payload.end()), ip;
}
std::vector<uint8_t> Request(uint16_t identifier, uint8_t type = 8)
{
    EchoRequest r = BuildEchoRequest(identifier);
    StampEchoRequest(r, 0, 1234);
    r[0] = type;
    return {r.begin(), r.end()};
}
std::vector<uint8_t> Error(uint8_t type, uint8_t code, std::vector<uint8_t> sent,
                           std::size_t quoted)
{
    std::vector<uint8_t> e = {type, code, 0, 0, 0, 0, 0, 0};
    sent.resize(std::min(sent.size(), quoted));
    return e.insert(e.end(), sent.begin(), sent.end()), e;
}
} // namespace icmp

TEST(EchoProbe, countsOnlyAnswersAboutItsOwnDestination)
{
    namespace I = icmp;
    using A = EchoArrival;
    constexpr uint16_t kId = 0x1234;
    const char *pc = "10.231.40.10", *probed = "10.231.40.99", *other = "10.231.40.41",
               *router = "10.231.40.1", *empty = "10.231.40.98";
    const auto error = [&](uint8_t type, uint8_t code, const char* to = nullptr,
                           uint16_t id = 0x1234, std::size_t quoted = 24 + 8) {
        return I::Error(type, code, I::Ip(pc, to ? to : probed, 1, I::Request(id)), quoted);
    };
    const std::tuple<const char*, std::vector<uint8_t>, const char*, bool, A> rows[] = {
        {"reply from the destination", I::Request(kId, 0), probed, false, A::Answer},
        {"reply from another host", I::Request(kId, 0), other, false, A::Unrelated},
        {"our request looped back", I::Request(kId), pc, false, A::OwnRequest},
        {"host unreachable about it", error(3, 1), pc, false, A::Answer},
        {"time exceeded from a router", error(11, 0), router, false, A::Answer},
        {"late error about the probe before", error(3, 1, empty), pc, false, A::Unrelated},
        {"error about another's ping", error(3, 1, probed, 0x4321), pc, false, A::Unrelated},
        {"error about a UDP datagram",
         I::Error(3, 3, I::Ip(pc, probed, 17, std::vector<uint8_t>(16, 0)), 32), pc, false,
         A::Unrelated},
        {"error quoting too little", error(3, 1, probed, kId, 24 + 6), pc, false, A::Unrelated},
        {"error cut in the quoted header", error(3, 1, probed, kId, 12), pc, false, A::Unrelated},
        {"redirect", error(5, 1), router, false, A::Unrelated},
        {"empty", {}, probed, false, A::Unrelated},
        // The broadcast counts whoever answers, and any message at all.
        {"broadcast reply", I::Request(kId, 0), other, true, A::Answer},
        {"broadcast error", error(3, 1, empty), pc, true, A::Answer},
        {"broadcast looped back", I::Request(kId), pc, true, A::OwnRequest},
    };
    for (const auto& [name, icmp, source, broadcast, expected] : rows) {
        const std::optional<Ipv4Address> target =
            broadcast ? std::nullopt : std::optional(I::Dotted(probed));
        // An exact-size copy, so that AddressSanitizer sees a read past the end.
        const std::vector<uint8_t> bytes(icmp);
        EXPECT_EQ(JudgeEchoArrival(bytes, I::Dotted(source), target, kId), expected) << name;
    }
}

Ipv4Address Ip(uint8_t last)
{
    return Ip(192, 168, 1, last);
}

struct Searcher
{
    test::TemporaryLog log; // first in, last out: a finishing worker may still log
    std::unique_ptr<RunState> state = std::make_unique<RunState>();
    test::FakeFrontEnd front;
    test::FakePasses passes;
    ScriptedMessageBoxes boxes;
    std::shared_ptr<test::FakeSearchNetwork> network = std::make_shared<test::FakeSearchNetwork>();
    std::shared_ptr<test::FakeClock> clock = std::make_shared<test::FakeClock>();
    PcSubnet pcSubnet;
    UsedAddressTable used;
    LastFoundList lastFound;
    std::unique_ptr<SearchCommands> commands = Commands();

    explicit Searcher(bool units = false) // a router at .1; units VELDIX-A to -C at .20 to .22
    {
        state->host.pcAddress = pcSubnet.pcAddress = Ip(10);
        state->host.pcMac = {0x00, 0x16, 0x3e, 0x01, 0x02, 0x03};
        state->host.NetInfoAvailable = 1;
        state->devices.rows[0].SetName("MYPC");
        network->neighbours.Value() = {{Ip(1), {0x52, 0x54, 0x00, 0x12, 0x34, 0x01}}};
        network->names[Ip(1).nbo] = "ROUTER";
        for (uint8_t i = 20; units && i <= 22; ++i) {
            network->neighbours.Value().push_back({Ip(i), UnitMac(i)});
            network->names[Ip(i).nbo] = std::string("VELDIX-") + char('A' + i - 20);
            network->answering.insert(Ip(i).nbo);
        }
    }
    std::unique_ptr<SearchCommands> Commands(CardSource cards = {})
    {
        return std::make_unique<SearchCommands>(SearchServices{*state, front, passes, boxes,
                                                               network, clock, pcSubnet, used,
                                                               lastFound, std::move(cards)});
    }
    std::vector<std::string> Events()
    {
        return network->Locked([&] { return network->events; });
    }
    std::vector<std::string> Texts() const { return boxes.Texts(); }
};

TEST(FirstSearch, refusesWithoutMaskOrMacAndSaysWhy)
{
    for (const bool noMask : {true, false}) {
        Searcher r;
        r.state->host.NetInfoAvailable = !noMask;
        r.state->host.pcMac = {};
        r.commands->FirstSearch(true);
        EXPECT_EQ(r.Texts().at(0), noMask ? "On your PC Subnet mask information can't be acquired."
                                          : MessageCatalogue::Text(133));
        EXPECT_TRUE(r.Events().empty());
        EXPECT_EQ(r.front.newLists, 0);
    }
    Searcher busy(true);
    busy.state->m_bBusy = 1;
    busy.commands->SearchAgain();
    busy.commands->FirstSearch(true);
    EXPECT_TRUE(busy.Events().empty());
    EXPECT_EQ(busy.front.newLists, 0);
}

TEST(Search, withNoUnitListedSaysSoAndOffersSetIpOnAnOpenNetwork)
{
    // After Search a unit seen without a name still offers Backup.
    for (const auto& [again, ticked, namelessUnit, buttons] :
         {std::tuple{false, false, false, "--0111"},
          {false, true, false, "--1111"},
          {true, false, false, "--1111"},
          {true, false, true, "111111"}}) {
        Searcher r;
        if (namelessUnit)
            r.network->neighbours.Value().push_back({Ip(40), UnitMac(0x40)});
        again ? r.commands->SearchAgain() : r.commands->FirstSearch(ticked);
        EXPECT_EQ(r.Texts(), std::vector<std::string>{MessageCatalogue::Text(again ? 141 : 137)});
        EXPECT_EQ(r.boxes.ShownBoxes()[0].icon,
                  again ? MessageIcon::Information : MessageIcon::Question);
        EXPECT_EQ(r.front.Buttons(), buttons);
        EXPECT_EQ(r.front.Rows(), std::vector<std::string>{"MYPC|||"});
        EXPECT_EQ(r.state->m_bBusy, 0);
        EXPECT_EQ(r.passes.searchPasses > 0, !again);
    }
}

// A unit on a card without an address, or a missing ICMP socket, is told once a run.
TEST(Search, readsTheCardsAtEverySearchAndTellsWhatHidesAUnitOnce)
{
    Searcher r(true);
    PcCards now;
    now.usable = {{2, "eth0", {}, Ip(10), {255, 255, 255, 0}}};
    r.commands = r.Commands([&now] { return now; });
    r.network->neighbours.Value().push_back({Ip(169, 254, 3, 3), UnitMac(0x33), false, 4});
    r.network->problem = SocketProblem::HelperNotPermitted;
    r.commands->SearchAgain();
    EXPECT_FALSE(r.log.Has(" Card["));
    now.usable.push_back({3, "eth1", {}, Ip(10, 1, 0, 200), {255, 255, 255, 128}});
    now.withoutAddress = {{4, "usb0", {}, {}, {}}};
    r.commands->SearchAgain();
    r.commands->SearchAgain();
    const std::string cards =
        " Card[1]\t: eth0 192.168.001.010 Mask 255.255.255.000 Net Addr base.baseend: 050.250\r\n"
        " Card[2]\t: eth1 010.001.000.200 Mask 255.255.255.128 Net Addr base.baseend: 129.255\r\n";
    const std::string log = r.log.Text();
    EXPECT_NE(log.find(cards), log.rfind(cards));
    EXPECT_EQ(r.Texts(), (std::vector<std::string>{MessageCatalogue::Text(921),
                                                   CardWithoutAddressText(409, "usb0")}));
    Searcher missing;
    missing.network->problem = SocketProblem::HelperMissing;
    missing.commands->FirstSearch(false);
    EXPECT_EQ(missing.Texts(),
              (std::vector<std::string>{MessageCatalogue::Text(902), MessageCatalogue::Text(137)}));
}

TEST(Search, listsTheNamedUnitsAndAtItsDeadlineWhatIsNamedByThen)
{
    Searcher r(true);
    r.commands->FirstSearch(false);
    EXPECT_EQ(r.front.Rows(), (std::vector<std::string>{
                                  "MYPC|||", "VELDIX-A|192.168.1.20|02-5a-e1-42-00-14|VELDIX [0]",
                                  "VELDIX-B|192.168.1.21|02-5a-e1-42-00-15|VELDIX [1]",
                                  "VELDIX-C|192.168.1.22|02-5a-e1-42-00-16|VELDIX [2]"}));
    EXPECT_EQ(r.front.list.currentRow, 1);
    EXPECT_TRUE(r.boxes.ShownBoxes().empty());
    EXPECT_EQ(r.front.Buttons(), "110111");
    EXPECT_EQ(r.clock->MonotonicMs(), 5000) << "the settling wait, on the clock";
    EXPECT_EQ(r.Events(), (std::vector<std::string>{"broadcast", "read"}));
    ASSERT_EQ(r.state->devices.usedAddressCount, 8); // the next budget: 52 s

    // The last unit's lookup hangs past the deadline; the first one's throws.
    r.network->Locked([&r] {
        r.network->looked.clear();
        r.network->throwing = {Ip(20).nbo};
        return r.network->blocked.insert(Ip(22).nbo);
    });
    int passes = 0;
    r.passes.onPass = [&r, &passes] {
        if (r.network->WaitForLookup(Ip(22)))
            ++passes, r.clock->Advance(1000);
    };
    r.commands->SetLookupThreads(1);
    r.commands->SearchAgain();
    EXPECT_EQ(r.Events(),
              (std::vector<std::string>{"broadcast", "read", "echo 192.168.1.20 2000",
                                        "echo 192.168.1.21 2000", "echo 192.168.1.22 2000",
                                        "broadcast", "read"}));
    EXPECT_EQ(passes, 52 - 5); // less the 5 s that the worker slept on the same clock
    EXPECT_TRUE(r.commands->WorkerRunning());
    EXPECT_EQ(r.front.Rows(),
              (std::vector<std::string>{"MYPC|||",
                                        "VELDIX-B|192.168.1.21|02-5a-e1-42-00-15|VELDIX [0]"}));
    EXPECT_EQ(r.state->devices.RowCount, 4); // the nameless slots still count
    EXPECT_EQ(r.lastFound.count, 1);
    EXPECT_EQ(r.state->m_bBusy, 0);

    const std::string logAtDeadline = r.log.Text();
    r.network->Locked([&r] { return r.network->blocked.clear(); });
    EXPECT_TRUE(test::Eventually([&r] { return !r.commands->WorkerRunning(); }));
    EXPECT_EQ(r.log.Text(), logAtDeadline);
}

// Table lines logged after a stop would land inside the next command's block.
TEST(SearchWorker, writesNothingMoreOnceAskedToStopDuringTheTableRead)
{
    test::TemporaryLog log;
    auto network = std::make_shared<test::FakeSearchNetwork>();
    network->neighbours.Value() = {{Ip(20), UnitMac(20)}};
    SearchTable prepared;
    auto job = std::make_shared<SearchJob>(network, std::make_shared<test::FakeClock>(),
                                           LastFoundList{}, prepared);
    network->onRead = [&job] { job->stopRequested.store(true, std::memory_order_release); };
    SearchWorker(*job);
    EXPECT_TRUE(job->done.load());
    EXPECT_EQ(log.Text(), "Last count = 0 \r\n>>> Start to retrieve network table\r\n");
    EXPECT_TRUE(network->looked.empty());
}

} // namespace
} // namespace zelvo
