// The responder: its rules, then its runs, where each progress pass moves the clock on by
// a second.
#include "core/MessageCatalogue.h"
#include "dhcp/DhcpCommands.h"
#include "dhcp/DhcpMessage.h"
#include "dhcp/PortProblemMessage.h"
#include "dhcp/RequestCard.h"
#include "dhcp/RequestRule.h"
#include "dhcp/ReserveAddress.h"
#include "platform/DatagramReceive.h"
#include "support/FakeClock.h"
#include "support/FakeFrontEnd.h"
#include "support/FakePasses.h"
#include "support/FakeUrlOpener.h"
#include "support/ScriptedMessageBoxes.h"
#include "support/TemporaryLog.h"
#include "support/WaitUntil.h"

#include <poll.h>
#include <sys/socket.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <deque>
#include <vector>

namespace zelvo {
namespace {

Ipv4Address Ip(uint8_t last)
{
    return Ipv4Address::FromOctets(192, 168, 1, last);
}
const MacAddress kUnit = {0x02, 0x5a, 0xe1, 0x42, 0x00, 0x07};
const MacAddress kForeign = {0x52, 0x54, 0x00, 0x12, 0x34, 0x56};

std::vector<uint8_t> FromHex(std::string hex) // spaces only for the reader
{
    std::erase(hex, ' ');
    std::vector<uint8_t> bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes.push_back(static_cast<uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return bytes;
}

// A DISCOVER of busybox udhcpc 1.35 (MAC 02:5a:e1:42:00:07), as it came off the wire.
const std::vector<uint8_t> kCapturedDiscover = FromHex(
    "010106001328ae0b0000000000000000000000000000000000000000025ae142000700000000000000000000" +
    std::string(2 * 192, '0') +
    "638253633501013902024037070103060c0f1c2a3c0c756468637020312e33352e303d0701025ae1420007ff"
    "0000000000000000000000000000000000000000");

std::vector<uint8_t> Message(std::vector<uint8_t> options, bool goodCookie = true)
{
    std::vector<uint8_t> m(240, 0);
    m[0] = 1;
    const uint8_t cookie[4] = {99, 130, goodCookie ? uint8_t(83) : uint8_t(84), 99};
    std::copy(cookie, cookie + 4, m.begin() + 236);
    for (uint8_t b : options)
        m.push_back(b);
    return m;
}

TEST(ParseMessageType, followsTheOptionWalk)
{
    const std::tuple<const char*, std::vector<uint8_t>, int> cases[] = {
        {"header only", Message({}), 0},
        {"wrong cookie", Message({53, 1, 1}, false), 0},
        {"pads before 53", Message({0, 0, 0, 53, 1, 3}), 3},
        {"end before 53", Message({0, 255, 53, 1, 1}), 0},
        {"53 as the last two bytes", Message({53, 1}), 255},
        {"type 9", Message({53, 1, 9}), 255},
        {"option runs one byte past", Message({12, 3, 'a', 'b'}), 255},
        {"option skipped, then 53", Message({12, 2, 'a', 'b', 61, 1, 7, 53, 1, 7}), 7},
        {"a real DISCOVER", kCapturedDiscover, 1},
    };
    for (const auto& [what, message, type] : cases)
        EXPECT_EQ(ParseMessageType(message), type) << what;
    // Shorter than the options: never a type, whatever the bytes.
    EXPECT_EQ(ParseMessageType(std::span<const uint8_t>(Message({53, 1, 1})).first(239)), 0);
}

const ReplyAddresses kAddresses{Ip(50), Ip(60), {255, 255, 255, 0}};

// Options 53, 54, 51, 58, 59, 1 and end, as every reply carries them (OFFER, .60, /24).
const std::string kOfferOptions =
    "350102 3604c0a8013c 330400001c20 3a0400000bb8 3b0400001482 0104ffffff00 ff";

TEST(BuildReply, answersByteForByteAndCopiesNothingPastTheHeader)
{
    const std::vector<uint8_t> expected =
        // op htype hlen hops, xid, secs, flags, ciaddr, yiaddr, siaddr, giaddr, chaddr
        FromHex("02010600 1328ae0b 0000 0000 00000000 c0a80132 c0a8013c 00000000 "
                "025ae142000700000000000000000000" +
                std::string(2 * 192, '0') + "63825363" + kOfferOptions + std::string(2 * 38, '0'));
    auto reply = BuildReply(kCapturedDiscover, kDhcpOffer, kAddresses);
    EXPECT_EQ(std::vector<uint8_t>(reply.begin(), reply.end()), expected);

    std::vector<uint8_t> request = Message({53, 1, 3, 50, 4, 10, 0, 0, 9, 255});
    request[3] = 3, request[8] = 0x12, request[9] = 0x34, request[10] = 0x80; // hops, secs, flags
    request.resize(700, 0xEE);
    reply = BuildReply(request, kDhcpAck, kAddresses);
    EXPECT_EQ(std::vector<uint8_t>(reply.begin(), reply.begin() + 12),
              FromHex("020000000000000000008000"));
    for (std::size_t i = 274; i < reply.size(); ++i)
        ASSERT_EQ(reply[i], 0) << i;
}

TEST(ReadRequestFields, findsTheServerTheAddressAskedForAndCiaddr)
{
    const std::tuple<const char*, std::vector<uint8_t>, std::optional<int>, std::optional<int>>
        cases[] = {
            {"selecting", Message({53, 1, 3, 54, 4, 192, 168, 1, 60, 50, 4, 192, 168, 1, 50, 255}),
             60, 50},
            {"rebooting", Message({53, 1, 3, 0, 50, 4, 192, 168, 1, 77, 255}), {}, 77},
            {"neither", Message({53, 1, 3, 255}), {}, {}},
            {"cut inside the option",
             Message({50, 4, 192, 168, 1, 77, 54, 4, 192, 168, 1}),
             {},
             77},
        };
    const auto octet = [](const std::optional<Ipv4Address>& a) {
        return a ? std::optional<int>(a->Octets()[3]) : std::nullopt;
    };
    for (const auto& [what, message, server, requested] : cases) {
        const RequestFields f = ReadRequestFields(message);
        EXPECT_EQ(octet(f.serverId), server) << what;
        EXPECT_EQ(octet(f.requested), requested) << what;
    }
    std::vector<uint8_t> renewing = Message({53, 1, 3, 255});
    renewing[12] = 192, renewing[13] = 168, renewing[14] = 1, renewing[15] = 50;
    EXPECT_EQ(ReadRequestFields(renewing).ciaddr, Ip(50));
}

TEST(JudgeRequest, answersOnlyWithinAnExchangeThisRunAgreedTo)
{
    const RequestFields toUs{{}, Ip(60), Ip(50)};
    const RequestFields toOther{{}, Ip(1), Ip(120)};
    const RequestFields rebooting{{}, std::nullopt, Ip(77)};
    const RequestFields renewing{Ip(50), std::nullopt, std::nullopt};
    const RequestFields bare{};
    const ExchangeAgreement none;
    const ExchangeAgreement offeredUnit{{{kUnit, Ip(60)}}, {kUnit}, false};
    const ExchangeAgreement offeredOther{{{kForeign, Ip(60)}}, {kForeign}, false};
    const ExchangeAgreement setIp{{}, {}, true};
    const std::tuple<const char*, const ExchangeAgreement&, RequestFields, RequestVerdict> cases[] =
        {
            {"no OFFER yet (a forged REQUEST during Search)", none, toUs,
             RequestVerdict::NoOfferToIt},
            {"OFFER to another MAC", offeredOther, toUs, RequestVerdict::NoOfferToIt},
            {"option 54 another server", offeredUnit, toOther, RequestVerdict::OtherServer},
            {"option 54 us after our OFFER", offeredUnit, toUs, RequestVerdict::Answer},
            {"rebooting, the user said Yes for it", offeredUnit, rebooting, RequestVerdict::Answer},
            {"rebooting during Search, no Yes", none, rebooting, RequestVerdict::RebootNotAgreed},
            {"rebooting during Set IP", setIp, rebooting, RequestVerdict::Answer},
            {"renewing", offeredUnit, renewing, RequestVerdict::NoLeaseOfThisRun},
            {"no address asked for", setIp, bare, RequestVerdict::NoLeaseOfThisRun},
        };
    for (const auto& [what, agreement, request, verdict] : cases) {
        EXPECT_EQ(JudgeRequest(agreement, kUnit, request), verdict) << what;
        EXPECT_EQ(RequestVerdictText(verdict, request).empty(), verdict == RequestVerdict::Answer)
            << what;
    }
    EXPECT_EQ(RequestVerdictText(RequestVerdict::OtherServer, toOther),
              "server 192.168.1.1, not ours");
}

TEST(NeighbourHolds, countsAnEntryWithAMacAsAHost)
{
    const Ipv4Address candidate = Ip(50);
    const MacAddress host = {0x00, 0x15, 0x5d, 0x01, 0x02, 0x03}, none{};
    const std::tuple<const char*, NeighbourEntry, bool> cases[] = {
        {"with a MAC (REACHABLE, STALE, DELAY, PROBE, PERMANENT)", {candidate, host, false}, true},
        {"NOARP with a MAC", {candidate, host, true}, true},
        {"without a MAC (INCOMPLETE, FAILED)", {candidate, none, false}, false},
        {"NOARP broadcast", {candidate, {0xff, 0xff, 0xff, 0xff, 0xff, 0xff}, true}, false},
        {"another address", {Ip(51), host, false}, false},
    };
    for (const auto& [what, entry, holds] : cases) {
        const std::vector<NeighbourEntry> table = {{Ip(1), host, false}, entry};
        EXPECT_EQ(NeighbourHolds(table, candidate), holds) << what;
    }
    EXPECT_FALSE(NeighbourHolds({}, candidate));
}

TEST(ReserveAddress, takesTheFirstFreeSilentHostOfThePcsBlock)
{
    const struct
    {
        const char* what;
        uint8_t mask, pc;
        int inUseFrom, inUseTo; // in-use last octets [from, to)
        std::vector<int> answering, probed;
        int chosen; // 0: none left
    } cases[] = {
        {"/24 starts at 50", 0, 60, 0, 0, {}, {50}, 50},
        {"an answer moves on by one", 0, 60, 0, 0, {50}, {50, 51}, 51},
        {"in-use entries and the PC are skipped", 0, 60, 50, 60, {}, {61}, 61},
        {"an answering address is probed again", 0, 60, 50, 53, {53}, {53, 53, 53, 53, 54}, 54},
        {"/25 upper block", 128, 200, 0, 0, {}, {129}, 129},
        {"/30: the PC is the first host", 252, 9, 0, 0, {}, {10}, 10},
        {"/30 with its one candidate answering", 252, 9, 0, 0, {10}, {10, 10}, 0},
        {"/24 all taken", 0, 60, 50, 250, {}, {}, 0},
        {"/31 has no candidate", 254, 200, 0, 0, {}, {}, 0},
    };
    for (const auto& c : cases) {
        test::TemporaryLog log;
        ReservationInputs in;
        in.pcAddress = Ip(c.pc);
        in.subnetMask = {255, 255, 255, c.mask};
        in.inUse[0] = in.pcAddress;
        for (int octet = c.inUseFrom; octet < c.inUseTo; ++octet)
            in.inUse[std::size_t(octet - c.inUseFrom + 1)] = Ip(uint8_t(octet));
        std::vector<int> probed;
        const auto probe = [&](Ipv4Address a) {
            probed.push_back(a.Octets()[3]);
            return std::count(c.answering.begin(), c.answering.end(), a.Octets()[3]) ? 1 : 0;
        };
        Ipv4Address reserved;
        EXPECT_EQ(ReserveAddress(kReserveOffer, reserved, in, probe), c.chosen != 0) << c.what;
        EXPECT_EQ(reserved.IsZero() ? 0 : reserved.Octets()[3], c.chosen) << c.what;
        EXPECT_EQ(probed, c.probed) << c.what;
        EXPECT_TRUE(log.Has(c.chosen ? "  [Phase 2] Reserved IP address : 192.168.001."
                                     : "  [Phase 2] No free IP address"))
            << c.what;
        if (c.chosen) {
            probed.clear();
            ASSERT_TRUE(ReserveAddress(kReserveAck, reserved, in, probe));
            EXPECT_EQ(reserved.Octets()[3], c.chosen) << c.what;
            EXPECT_TRUE(probed.empty()) << c.what;
        }
    }
}

TEST(RequestCard, isTheCardTheRequestCameInOn)
{
    using V = RequestCard::Verdict;
    PcCards several;
    several.usable = {
        {3, "wlan0", {}, Ipv4Address::FromOctets(10, 20, 0, 5), {255, 255, 0, 0}},
        {2, "eth0", {}, Ipv4Address::FromOctets(192, 168, 0, 10), {255, 255, 255, 0}}};
    several.withoutAddress = {{4, "eth1", {}, {}, {}}};
    PcCards pcOnly; // the survey's card, its interface not known
    pcOnly.usable = {{0, "", {}, Ip(60), {255, 255, 255, 0}}};
    PcCards known = pcOnly;
    known.usable[0].index = 2;
    // ..., the reply's interface and its address (its name without one).
    const std::tuple<const char*, const PcCards&, std::optional<int>, int, V, int, const char*>
        rows[] = {
            {"the units' cable", several, {}, 2, V::Answer, 2, "192.168.0.10"},
            {"the exchange's card", several, 2, 2, V::Answer, 2, "192.168.0.10"},
            {"another card than the exchange's", several, 2, 3, V::OtherCard, 0, ""},
            {"a card without an address", several, {}, 4, V::CardWithoutAddress, 4, "eth1"},
            {"no interface said: the first card", several, {}, 0, V::Answer, 3, "10.20.0.5"},
            {"the PC's card, interface not known", pcOnly, {}, 7, V::Answer, 7, "192.168.1.60"},
            {"not the PC's card", known, {}, 7, V::OtherCard, 0, ""},
        };
    for (const auto& [name, cards, exchangeCard, interfaceIndex, verdict, reply, server] : rows) {
        const RequestCard choice = ChooseRequestCard(cards, exchangeCard, interfaceIndex);
        EXPECT_EQ(choice.verdict, verdict) << name;
        EXPECT_EQ(choice.card.index, reply) << name;
        EXPECT_EQ(choice.card.address.IsZero() ? choice.card.name : choice.card.address.Dotted(),
                  server)
            << name;
    }
}

TEST(PortProblemMessage, saysWhetherThePortIsTakenOrNotPermitted)
{
    using P = SocketProblem;
    // ..., the English text's catalogue number.
    for (const auto& [problem, error, holder, english] :
         {std::tuple{P::OpenFailed, EADDRINUSE, std::string("dnsmasq (libvirt)"), 931},
          {P::OpenFailed, EADDRINUSE, "", 933},
          {P::HelperMissing, EACCES, "", 935},
          {P::OpenFailed, EACCES, "", 935},
          {P::HelperFailed, ETIMEDOUT, "", 937}}) {
        DhcpSocketOpen open;
        open.problem = problem, open.error = error, open.portHolder = holder;
        EXPECT_EQ(PortProblemMessage(409, open), MessageCatalogue::Text(english) + holder);
        EXPECT_EQ(PortProblemMessage(411, open), MessageCatalogue::Text(english - 1) + holder);
    }
}

// A client's message of the given type, padded to the 300 bytes clients send.
std::vector<uint8_t> Request(uint8_t type, const MacAddress& mac, std::vector<uint8_t> options = {})
{
    options.insert(options.begin(), {53, 1, type});
    options.push_back(255);
    std::vector<uint8_t> m = Message(options);
    m[1] = 1, m[2] = 6;
    std::copy(mac.begin(), mac.end(), m.begin() + 28);
    m.resize(300, 0);
    return m;
}
const std::vector<uint8_t> kSelecting =
    Request(kDhcpRequest, kUnit, {54, 4, 192, 168, 1, 60, 50, 4, 192, 168, 1, 50}); // .60's OFFER

// Port 67 as a socket pair; the test writes a queued request each progress pass.
struct FakePort final : DhcpSocketOpener
{
    struct End final : DhcpServerSocket
    {
        int fd;
        std::vector<std::vector<uint8_t>>& sent;
        End(int f, std::vector<std::vector<uint8_t>>& s) : fd(f), sent(s) {}
        Outcome<DatagramReceipt> Receive(std::span<uint8_t> buffer,
                                         const std::atomic<bool>* stop) override
        {
            return ReceiveDatagram(fd, buffer, stop);
        }
        Outcome<std::size_t> Send(std::span<const uint8_t> bytes, Ipv4Address to, int) override
        {
            EXPECT_EQ(to, Ipv4Address::FromOctets(255, 255, 255, 255));
            return sent.emplace_back(bytes.begin(), bytes.end()).size();
        }
    };
    int ends[2] = {-1, -1};
    std::vector<std::vector<uint8_t>> sent;
    std::deque<std::vector<uint8_t>> queued;
    FakePort() { ::socketpair(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0, ends); }
    ~FakePort() override { ::close(ends[0]), ::close(ends[1]); }
    DhcpSocketOpen Open() override
    {
        DhcpSocketOpen open;
        open.socket = std::make_unique<End>(ends[0], sent);
        return open;
    }
    void SendNext()
    {
        if (queued.empty())
            return;
        ASSERT_EQ(::send(ends[1], queued.front().data(), queued.front().size(), 0),
                  ssize_t(queued.front().size()));
        queued.pop_front();
        pollfd p{ends[0], POLLIN, 0};
        test::Eventually([&] { return ::poll(&p, 1, 0) == 0; }); // the run took it
    }
    std::vector<int> Offered(uint8_t type) const // the last octets of the replies' addresses
    {
        std::vector<int> octets;
        for (const auto& s : sent)
            if (ParseMessageType(s) == type)
                octets.push_back(s[dhcp::kYiaddr + 3]);
        return octets;
    }
};

struct FakeProbes final : UnitProbes // an address answers from its second probe on
{
    std::vector<int> echoed; // last octets, reservation and name probes alike
    std::optional<std::string> name = "NAS07";
    int EchoProbe(Ipv4Address a, int) override
    {
        echoed.push_back(a.Octets()[3]);
        return std::count(echoed.begin(), echoed.end(), a.Octets()[3]) > 1 ? 1 : 0;
    }
    int BroadcastEcho() override { return 1; }
    std::optional<std::string> ReverseName(Ipv4Address) override { return name; }
};

struct Responder
{
    test::TemporaryLog log;
    std::unique_ptr<RunState> state = std::make_unique<RunState>();
    test::FakeFrontEnd front;
    FakePort port;
    test::FakeClock clock;
    test::FakePasses passes;
    ScriptedMessageBoxes boxes;
    FakeUrlOpener urls;
    std::shared_ptr<FakeProbes> probes = std::make_shared<FakeProbes>();
    PcSubnet subnet{Ip(60), {255, 255, 255, 0}};
    UsedAddressTable used;
    IniValues settings;
    DhcpCommands dhcp{Services()};

    explicit Responder(std::vector<MessageAnswer> answers = {},
                       std::vector<std::vector<uint8_t>> in = {})
    {
        for (MessageAnswer a : answers)
            boxes.AddAnswer(a);
        port.queued.assign(in.begin(), in.end());
        passes.onPass = [this] { port.SendNext(), clock.Advance(1000); };
        state->language = 409;
        state->host.pcAddress = Ip(60);
        state->host.NetInfoAvailable = 1;
        settings.SetSlot(1, "/index.html");
    }
    DhcpServices Services()
    {
        DhcpServices s{*state, front, passes, boxes, urls,    probes,
                       port,   clock, subnet, used,  settings};
        s.readFirewall = nullptr;
        s.neighbours = nullptr;
        return s;
    }
    std::vector<std::string> Texts() const { return boxes.Texts(); }
};

TEST(ListenRun, servesTheUnitAfterTheUsersYesListsItByNameAndOpensItsPage)
{
    Responder r({MessageAnswer::Yes, MessageAnswer::Ok},
                {Request(kDhcpDiscover, kUnit), Request(kDhcpDiscover, kUnit),
                 Request(kDhcpDiscover, kForeign), Request(kDhcpRelease, kUnit), kSelecting});
    EXPECT_EQ(r.dhcp.ListenRun(), 1);
    EXPECT_EQ(r.Texts().at(0), std::string(MessageCatalogue::Text(131)) +
                                   " : 02-5a-e1-42-00-07\r\n\r\n" + MessageCatalogue::Text(109));
    EXPECT_EQ(r.port.Offered(kDhcpOffer), (std::vector<int>{50, 50}));
    EXPECT_EQ(r.port.Offered(kDhcpAck), std::vector<int>{50});
    EXPECT_EQ(r.port.sent.size(), 3u);                       // nothing for the PC
    EXPECT_EQ(r.probes->echoed, (std::vector<int>{50, 50})); // the reservation's, the name's
    for (
        const char* line :
        {" Rcv  : Dhcp_Discover [02-5a-e1-42-00-07] ... Accept.\r\n",
         " Rcv  : Dhcp_Discover [52-54-00-12-34-56] ... Reject.\r\n", "  Rcv : Dhcp_Release.\r\n",
         "  [Phase 2] Reserved IP address : 192.168.001.050\r\n Send reply\r\n  sendto (312:312)\r\n",
         " Rcv  : Dhcp_Request  [02-5a-e1-42-00-07] ... Accept.\r\n",
         "  [Phase 3] Reserved IP address : 192.168.001.050\r\n",
         " Close socket\r\n counter:1  \r\n\r\n Going to Get VELDIX Name.\r\n",
         "<<< Close DHCP function (1).\r\n"})
        EXPECT_TRUE(r.log.Has(line)) << line;
    // No name is asked for before 31 s.
    EXPECT_EQ(r.passes.timedPhases.front(), 0);
    EXPECT_EQ(r.passes.timedPhases.back(), 1);
    EXPECT_GE(r.passes.retrievePasses, 31);
    EXPECT_EQ(r.front.Rows(),
              (std::vector<std::string>{"|||", "NAS07|192.168.1.50|02-5a-e1-42-00-07|VELDIX [0]"}));
    EXPECT_EQ(r.state->devices.RowCount, 2);
    EXPECT_EQ(r.front.Buttons(), "111111");
    EXPECT_EQ(r.Texts().at(1), std::string(MessageCatalogue::Text(121)) +
                                   " : 192. 168. 001. 050.\n\n" + MessageCatalogue::Text(135));
    EXPECT_EQ(r.urls.Opened(), std::vector<std::string>{"http://192.168.1.50/index.html"});
}

TEST(SetIpRun, thatHeardNothingSaysSo)
{
    Responder r({MessageAnswer::Yes});
    DhcpServices shortWait = r.Services();
    shortWait.setIpWindowSeconds = 5;
    DhcpCommands(shortWait).SetIpRun();
    EXPECT_EQ(r.passes.timedPhases, std::vector<int>(5, 0));
    EXPECT_EQ(r.Texts(),
              (std::vector<std::string>{MessageCatalogue::Text(109), MessageCatalogue::Text(955)}));
    EXPECT_EQ(r.front.Buttons(), "--1111"); // open network: the address end
}

// At a pass a datagram, 300 foreign DISCOVERs would end the 80 s window before the unit's.
TEST(SetIpRun, aUnitIsServedAmongAFloodOfForeignRequests)
{
    Responder r({MessageAnswer::Yes, MessageAnswer::Ok});
    r.passes.onPass = [&r] { r.clock.Advance(1000); };
    std::atomic<bool> stop{false};
    std::thread foreign([&] {
        std::vector<std::vector<uint8_t>> flood;
        for (int i = 0; i < 300; ++i)
            flood.push_back(
                Request(kDhcpDiscover, {0x52, 0x54, 0, 0, uint8_t(i >> 8), uint8_t(i)}));
        flood.push_back(Request(kDhcpDiscover, kUnit));
        flood.push_back(kSelecting);
        for (const auto& d : flood) {
            while (::send(r.port.ends[1], d.data(), d.size(), MSG_DONTWAIT) < 0) {
                if (stop.load() || errno != EAGAIN)
                    return;
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
            r.clock.Advance(10);
        }
    });
    r.dhcp.SetIpRun();
    stop = true;
    foreign.join();
    EXPECT_EQ(r.port.Offered(kDhcpAck), std::vector<int>{50});
    EXPECT_EQ(r.state->devices.rows[1].mac, kUnit);
    EXPECT_GE(r.passes.timedPhases.size(), 2u);
    EXPECT_LE(r.passes.timedPhases.size(), 60u);
    const std::string log = r.log.Text();
    int receives = 0;
    for (std::size_t at = log.find(">>> Start receive"); at != log.npos;
         at = log.find(">>> Start receive", at + 1))
        ++receives;
    EXPECT_EQ(receives, 200);
    EXPECT_TRUE(r.log.Has("  Receive lines of 102 more datagrams on port 67 not logged\r\n"));
    EXPECT_TRUE(r.log.Has("Received Dhcp_Discover.\r\n"));
    EXPECT_FALSE(r.log.Has("Rcv  :")); // Set IP logs no client MAC lines
}

TEST(SetIpRun, aFullListGetsNoRowButTheUserStillGetsTheAddressAndThePage)
{
    for (const bool sameMac : {false, true}) {
        Responder r({MessageAnswer::Yes, MessageAnswer::Ok},
                    {Request(kDhcpRequest, kUnit, {50, 4, 192, 168, 1, 77})}); // rebooting
        DeviceList& d = r.state->devices;
        d.UnitCount = sameMac ? 3 : DeviceList::kUnitRows;
        d.RowCount = DeviceList::kRows; // the record count may run ahead of the list
        for (int k = 0; k < d.UnitCount; ++k) {
            d.UnitRows[k] = k + 1;
            d.rows[k + 1].mac = {0x02, 0x5a, 0xe1, 0x42, 0x01, uint8_t(k)};
        }
        if (sameMac)
            d.rows[2].mac = kUnit;
        r.dhcp.SetIpRun();
        EXPECT_EQ(r.urls.Opened().size(), 1u);
        EXPECT_EQ(r.Texts(), (std::vector<std::string>{MessageCatalogue::Text(109),
                                                       MessageCatalogue::Text(121) +
                                                           std::string(" : 192. 168. 001. 050.\n") +
                                                           MessageCatalogue::Text(135)}));
        EXPECT_EQ(d.UnitCount, sameMac ? 3 : DeviceList::kUnitRows); // its own row again
        const std::vector<std::string> rows = r.front.Rows();
        EXPECT_EQ(rows.size() > 2 ? rows[2] : "",
                  sameMac ? "NAS07|192.168.1.50|02-5a-e1-42-00-07|" : "");
        EXPECT_EQ(r.log.Has("the unit is not listed"), !sameMac);
    }
}

} // namespace
} // namespace zelvo
