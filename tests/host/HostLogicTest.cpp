#include "core/JsonValue.h"
#include "core/PcCards.h"
#include "core/SubnetMask.h"
#include "host/CardDiagnosis.h"
#include "host/DhcpDetection.h"
#include "host/OsClass.h"
#include "host/PcNetwork.h"
#include "support/FakeHostPlatform.h"

#include <cstdio>
#include <linux/rtnetlink.h>
#include <sstream>

namespace zelvo {
namespace {

using test::FakeHostPlatform;
using test::Nbo;

// The service pack's digit sits at index 13 of its text; a shorter text never fails that test.
TEST(ClassifyOs, versionTable)
{
    constexpr uint32_t k9x = OsVersionRecord::kPlatformWindows;
    constexpr uint32_t kNt = OsVersionRecord::kPlatformWin32Nt;
    const struct
    {
        OsVersionRecord version;
        std::optional<uint32_t> csd;
        int lowest, expected;
    } rows[] = {
        {{k9x, 4, 10, 0x040A08AE, " A "}, {}, 4, kOsWindows98},
        {{k9x, 4, 90, 0x045A0BB8, " "}, {}, 4, kOsWindowsMe},
        {{k9x, 4, 0, 0x040003B6, ""}, {}, 4, kOsUnsupported},
        {{kNt, 4, 0, 1381, "Service Pack 3"}, 0x300u, 4, kOsUnsupported},
        {{kNt, 4, 0, 1381, "Service Pack 6"}, 0x600u, 4, kOsWindowsNt4},
        {{kNt, 4, 0, 1381, "Service Pack 6"}, {}, 4, kOsUnsupported},
        {{kNt, 4, 0, 1381, "Service Pack 4"}, 0x60000u, 4, kOsUnsupported},
        {{kNt, 4, 0, 1381, ""}, 0x400u, 4, kOsWindowsNt4},
        {{kNt, 4, 0, 1381, "Service Pack 5"}, 0x500u, 6, kOsUnsupported},
        {{kNt, 5, 1, 2600, ""}, {}, 4, kOsWindows2000},
        {{kNt, 6, 0, 6000, ""}, {}, 4, kOsUnsupported},
        {{OsVersionRecord::kPlatformLinux, 6, 1, 0, "Debian"}, {}, 4, kOsWindows2000},
    };
    for (const auto& [version, csd, lowest, expected] : rows)
        EXPECT_EQ(ClassifyOs(version, lowest, csd), expected) << OsLogLine(version);
    EXPECT_EQ(ClassifyOs(std::nullopt, kLowestNt4ServicePack, std::nullopt), kOsUnsupported);
}

TEST(OsVersionFromLinux, givesTheNumbersAndNameTheOsLineShows)
{
    const std::string x127(127, 'x');
    const std::tuple<const char*, std::string, std::string> rows[] = {
        {"6.18.44-fc-v1272", "NAME=\"Debian\"\nPRETTY_NAME=\"Debian GNU/Linux 12\"\n",
         "6.18 (Build 44 Debian GNU/Linux 12)"},
        {"6.1-rc2", "PRETTY_NAME='Fedora Linux 40'\r\nID=fedora\r\n",
         "6.1 (Build 0 Fedora Linux 40)"},
        {"", "PRETTY_NAME=\"Say \\\"hi\\\" OS\"", "0.0 (Build 0 Say \"hi\" OS)"},
        {"5.10", "NAME=Debian\nPRETTY_NAME=\"\"\n", "5.10 (Build 0 Linux)"},
        {"6", "PRETTY_NAME=" + x127 + "yyy", "6.0 (Build 0 " + x127 + ")"},
    };
    for (const auto& [release, osRelease, shown] : rows)
        EXPECT_EQ(OsLogLine(OsVersionFromLinux(OsRelease{"Linux", release, osRelease}).value()),
                  " OS\t\t: Linux " + shown + "\r\n");
}

TEST(MaskTextToBytes, isExactForEveryContiguousMask)
{
    for (int prefix = 0; prefix <= 32; ++prefix) {
        const uint32_t bits = prefix == 0 ? 0 : ~uint32_t{0} << (32 - prefix);
        const SubnetMask mask = {uint8_t(bits >> 24), uint8_t(bits >> 16), uint8_t(bits >> 8),
                                 uint8_t(bits)};
        char text[16];
        std::snprintf(text, sizeof text, "%u.%u.%u.%u", mask[0], mask[1], mask[2], mask[3]);
        EXPECT_EQ(MaskTextToBytes(text), mask) << text;
        EXPECT_EQ(MaskFromPrefixLength(prefix), mask) << prefix;
    }
    // Not a mask: digits are read by position, as the adapter text always was.
    EXPECT_EQ(MaskTextToBytes("10.0.0.1"), (SubnetMask{100, 0, 0, 0}));
}

TEST(JudgeDhcpOptions, decidesFromTheBestSourceItHas)
{
    using S = DhcpClientSource;
    const auto options = [](S source, std::optional<std::string> mask, std::vector<Ipv4Address> r) {
        return DhcpClientReport{source, std::move(mask), std::move(r), true};
    };
    const DhcpClientReport none{}, process{S::ClientProcess, {}, {}, false};
    const Ipv4Address r1{Nbo("10.231.7.1")}, r2{Nbo("10.231.7.2")};
    const std::vector<Ipv4Address> many(70, r1); // more options than 256 bytes hold
    const HostDefaultRoute boot{2, r1, 100, RTPROT_BOOT}, dhcp{2, r2, 50, RTPROT_DHCP},
        other{3, Ipv4Address{Nbo("192.168.9.1")}, 0, RTPROT_DHCP};
    const std::tuple<DhcpClientReport, bool, std::vector<HostDefaultRoute>, std::string> rows[] = {
        {options(S::NetworkManager, "255.0.0.0", {r1}), true, {}, "leased mask 10.231.7.1 256"},
        {options(S::NetworkManager, "255.0.0.0", {}), false, {boot}, "leased mask none 256"},
        {options(S::Networkd, {}, {Ipv4Address(), r2}), true, {}, "leased 10.231.7.2 256"},
        {options(S::Networkd, "255.0.0.0", many), true, {}, "leased mask 10.231.7.1 512"},
        {none, false, {boot}, "leased mask 10.231.7.1 256"},
        {none, true, {boot}, "none 256"},
        {none, true, {boot, dhcp}, "leased mask 10.231.7.2 256"},
        // A client process beside a fixed address may be retrying: no lease by itself.
        {process, true, {boot}, "none 256"},
        {process, false, {boot}, "leased mask 10.231.7.1 256"},
        {none, false, {other}, "leased mask none 256"},
        {none, true, {other}, "none 256"},
    };
    for (const auto& [report, permanent, routes, verdict] : rows) {
        FakeHostPlatform pc;
        pc.AddInterface(2, "eth0", 0x10, {{"10.231.7.150", 24}}, permanent);
        pc.AddInterface(3, "eth1", 0x20, {{"192.168.9.2", 24}});
        pc.network.defaultRoutes = routes;
        const DhcpOptionsVerdict v = JudgeDhcpOptions(report, pc.network, 2);
        EXPECT_EQ(std::string(v.leased ? "leased " : "") + (v.maskPresent ? "mask " : "") +
                      (v.router ? v.router->Dotted() : "none") + " " + std::to_string(v.bufferSize),
                  verdict);
    }
}

// Links as "NAME INDEX MAC-LAST-BYTE [ADDRESS/PREFIX]... [nocarrier]" and default routes as
// "route INDEX GATEWAY METRIC", separated by ';'.
void AddLinks(FakeHostPlatform& pc, const std::string& description)
{
    std::istringstream items(description);
    for (std::string item; std::getline(items, item, ';');) {
        std::istringstream words(item);
        std::string name, word;
        int index = 0, metric = 0;
        words >> name >> index >> word;
        if (name == "route") {
            words >> metric;
            pc.AddDefaultRoute(index, word.c_str(), uint32_t(metric), RTPROT_BOOT);
            continue;
        }
        HostInterface& link = pc.AddInterface(index, name, uint8_t(std::stoi(word)), {});
        while (words >> word) {
            const std::size_t slash = word.find('/');
            if (word == "nocarrier")
                link.carrier = false;
            else
                link.addresses.push_back({Ipv4Address{Nbo(word.substr(0, slash).c_str())},
                                          uint8_t(std::stoi(word.substr(slash + 1))), true});
        }
    }
}

TEST(PcCards, choiceOfThePcAndOfTheCardsToWorkOn)
{
    const std::tuple<const char*, const char*, const char*, const char*> rows[] = {
        {"Wi-Fi with the default route beside the units' cable",
         "eth0 2 16 192.168.0.10/24; wlan0 3 32 10.20.0.5/16; route 3 10.20.0.1 600",
         "wlan0 32 10.20.0.5 192.168.0.10",
         "wlan0 10.20.0.5/255.255.0.0 eth0 192.168.0.10/255.255.255.0 |"},
        {"docker0 without carrier numbered first, no default route",
         "docker0 2 48 172.17.0.1/16 nocarrier; eth0 3 16 10.231.7.150/24",
         "eth0 16 10.231.7.150 172.17.0.1", "eth0 10.231.7.150/255.255.255.0 |"},
        {"a card with only a link-local address, numbered first",
         "eth0 2 16 169.254.7.9/16; wlan0 3 32 10.20.0.5/16; eth1 4 64",
         "wlan0 32 10.20.0.5 169.254.7.9", "wlan0 10.20.0.5/255.255.0.0 | eth0 eth1"},
        {"the lowest metric leads among cards with carrier",
         "eth0 2 16 192.168.9.2/24; eth1 3 32 10.231.7.150/24; wlan0 4 64 10.20.0.5/16 "
         "nocarrier; route 4 10.20.0.1 50; route 2 192.168.9.1 200; route 3 10.231.7.1 100",
         "eth1 32 10.231.7.150 192.168.9.2 10.20.0.5",
         "eth1 10.231.7.150/255.255.255.0 eth0 192.168.9.2/255.255.255.0 |"},
        {"a tunnel with the default route and an all-zero hardware address are no cards",
         "tun0 2 0 10.8.0.6/24; eth0 3 16 10.231.7.150/24; dummy0 4 0 10.9.0.2/24; route 2 "
         "10.8.0.1 0",
         "eth0 16 10.231.7.150 10.8.0.6 10.9.0.2", "eth0 10.231.7.150/255.255.255.0 |"},
        {"no card with an address: the tunnel is the PC's, nothing to search on",
         "eth0 2 16; tun0 5 0 10.8.0.6/24; route 5 10.8.0.1 0", "tun0 0 10.8.0.6", "| eth0"},
    };
    for (const auto& [name, links, view, cards] : rows) {
        FakeHostPlatform pc;
        AddLinks(pc, std::string("lo 1 0 127.0.0.1/8;") + links);
        const PcNetworkView v = ViewPcNetwork(pc.network);
        std::string text = v.pcInterface ? pc.network.interfaces[*v.pcInterface].name : "-";
        text += " " + std::to_string(v.pcMac[5]);
        for (const Ipv4Address& a : v.addresses)
            text += " " + a.Dotted();
        EXPECT_EQ(text, view) << name;
        const PcCards chosen = ChooseCards(pc.network);
        std::string listed;
        for (const PcCard& c : chosen.usable)
            listed += c.name + " " + c.address.Dotted() + "/" +
                      Ipv4Address::FromOctets(c.mask[0], c.mask[1], c.mask[2], c.mask[3]).Dotted() +
                      " ";
        listed += "|";
        for (const PcCard& c : chosen.withoutAddress)
            listed += " " + c.name;
        EXPECT_EQ(listed, cards) << name;
    }
}

TEST(PcCards, oneCardByName)
{
    FakeHostPlatform pc;
    AddLinks(pc, "lo 1 0 127.0.0.1/8; docker0 2 48 172.17.0.1/16 nocarrier; eth0 3 16 "
                 "10.231.7.150/24; wlan0 4 32 10.20.0.5/16; eth1 5 64 169.254.1.2/16; tun0 6 0 "
                 "10.8.0.6/24; eth2 7 80 10.9.0.1/24; route 4 10.20.0.1 600");
    pc.network.interfaces.back().up = false; // eth2
    const std::pair<const char*, std::string> rows[] = {
        {"eth0", ""},
        {"docker0", "docker0 has no carrier"},
        {"eth1", "eth1 has no IPv4 address"},
        {"tun0", "tun0 is not a network card"},
        {"eth2", "eth2 is down"},
        {"eth9", "there is no network card eth9"},
    };
    for (const auto& [name, why] : rows) {
        const std::string refusal = CardRefusal(pc.network, name);
        EXPECT_EQ(refusal.substr(0, why.size()), why) << name;
        EXPECT_EQ(refusal.find("cards that can be used: wlan0, eth0") != std::string::npos,
                  !why.empty())
            << refusal;
    }

    ProcessCardRestriction() = "eth0";
    HostNetworkState restricted = pc.network;
    ApplyCardRestriction(restricted);
    PcCards cards = ChooseCards(pc.network);
    RestrictCards(cards, ProcessCardRestriction());
    ProcessCardRestriction().clear();
    EXPECT_EQ(ViewPcNetwork(restricted).addresses,
              std::vector<Ipv4Address>{Ipv4Address{Nbo("10.231.7.150")}});
    ASSERT_EQ(cards.usable.size(), 1u);
    EXPECT_EQ(cards.usable[0].name, "eth0");
    EXPECT_TRUE(cards.restricted);
}

NeighbourEntry Neighbour(const char* dotted, MacAddress mac, int card)
{
    return {Ipv4Address{Nbo(dotted)}, mac, false, card};
}
MacAddress Unit(uint8_t b3, uint8_t last)
{
    return {0x02, 0x5a, 0xe1, b3, 0x00, last};
}

struct Pc
{
    test::FakeHostPlatform host;
    std::vector<NeighbourEntry> neighbours;
    std::string rulesetJson = R"({"nftables": []})";

    DiagnosisFindings Survey(const std::string& only = {})
    {
        DiagnosisSources sources{host};
        sources.neighbours = [this] { return NeighbourRead(neighbours); };
        sources.firewall = [this] { return FirewallRuleset{RulesetRead::Read, rulesetJson}; };
        sources.privileges = [] { return PrivilegeFindings{IcmpPath::Ping, {}, true, "helper"}; };
        return SurveyCards(sources, only);
    }
    std::vector<std::string> Verdicts(const std::string& only = {})
    {
        const DiagnosisFindings f = Survey(only);
        std::vector<std::string> lines;
        for (const CardFindings& card : f.cards)
            lines.push_back(JudgeCardFindings(card, f.privileges).line);
        return lines;
    }
};

TEST(CardDiagnosis, wifiWithTheDefaultRouteAndTheCableWithTheUnits)
{
    Pc pc;
    pc.host.AddInterface(1, "lo", 0, {{"127.0.0.1", 8}});
    pc.host.AddInterface(2, "eth0", 1, {{"10.231.7.1", 24}});
    pc.host.AddInterface(3, "wlan0", 2, {{"192.168.1.20", 24}}, false);
    pc.host.network.defaultRoutes.push_back({3, Ipv4Address{Nbo("192.168.1.1")}, 600, 16});
    pc.neighbours = {Neighbour("10.231.7.21", Unit(0x40, 1), 2),
                     Neighbour("10.231.7.22", Unit(0x40, 2), 2),
                     Neighbour("10.231.7.30", {0x52, 0x54, 0, 1, 2, 3}, 2),
                     Neighbour("192.168.1.5", Unit(0x41, 3), 3), Neighbour("10.231.7.23", {}, 2)};
    // A DHCP server leased the Wi-Fi card (with a router): no temporary address there.
    pc.host.dhcpReport = {DhcpClientSource::NetworkManager, "255.255.255.0", {}, true};
    pc.host.dhcpReport.routers = {Ipv4Address{Nbo("192.168.1.1")}};
    const DiagnosisFindings f = pc.Survey();
    ASSERT_EQ(f.cards.size(), 2u);
    EXPECT_TRUE(!f.cards[0].defaultRoute && f.cards[1].defaultRoute);
    EXPECT_EQ(f.cards[1].gateway.Dotted(), "192.168.1.1");
    EXPECT_EQ(pc.Verdicts(),
              (std::vector<std::string>{
                  "units on eth0: 2; Set IP possible: no (a DHCP server configured this card)",
                  "units on wlan0: 1; Set IP possible: no (a DHCP server configured this card)"}));
    pc.host.dhcpReport = {};
    EXPECT_EQ(pc.Verdicts("eth0"),
              std::vector<std::string>{"units on eth0: 2; Set IP possible: yes"});
}

// Why Set IP cannot run on a card; a unit there with a link-local address counts for none.
TEST(CardDiagnosis, tellsWhySetIpCannotRunOnACard)
{
    const char* drop67 = R"({"nftables": [
        {"chain": {"family": "ip", "table": "f", "name": "in", "type": "filter", "hook": "input",
                   "prio": 0, "policy": "accept"}},
        {"rule": {"family": "ip", "table": "f", "chain": "in", "expr": [{"match": {"op": "==",
          "left": {"payload": {"protocol": "udp", "field": "dport"}}, "right": 67}}, {"drop": null}]}}]})";
    const std::string fix = ": give the card a fixed address in the units' range)";
    const std::tuple<std::vector<std::pair<const char*, int>>, bool, bool, const char*, std::string>
        rows[] = {
            {{{"172.17.0.1", 16}}, true, false, nullptr, "no (no carrier)"},
            {{{"10.0.0.1", 24}}, false, false, nullptr, "no (the card is down)"},
            {{{"169.254.1.1", 16}}, true, true, nullptr, "no (only a link-local address" + fix},
            {{}, true, true, nullptr, "no (no IPv4 address" + fix},
            {{{"10.0.0.1", 24}}, true, true, drop67, "no (the firewall drops UDP port 67)"},
            {{{"10.0.0.1", 24}}, true, true, nullptr, "yes"},
        };
    for (const auto& [addresses, up, carrier, ruleset, verdict] : rows) {
        Pc pc;
        HostInterface& card = pc.host.AddInterface(4, "eth1", 7, addresses);
        card.up = up;
        card.carrier = carrier;
        if (ruleset)
            pc.rulesetJson = ruleset;
        pc.neighbours = {Neighbour("169.254.9.4", Unit(0x40, 9), 4)};
        const DiagnosisFindings f = pc.Survey();
        ASSERT_EQ(f.cards.size(), 1u);
        EXPECT_EQ(JudgeCardFindings(f.cards[0], f.privileges).line,
                  "units on eth1: 0; Set IP possible: " + verdict);
        EXPECT_NE(DiagnosisText(f).find("02-5a-e1-40-00-09  169.254.9.4  (link-local address only: "
                                        "give eth1 a fixed address in the units' range)"),
                  std::string::npos)
            << DiagnosisText(f);
    }
}

TEST(DiagnosisReport, textJsonAndLogLinesCarryTheFindings)
{
    DiagnosisFindings f;
    CardFindings& card = f.cards.emplace_back();
    card.name = "eth0";
    card.up = card.hasMac = true;
    card.carrier = true;
    card.address = Ipv4Address::FromOctets(10, 231, 7, 1);
    card.prefixLength = 24;
    card.units.push_back({Ipv4Address::FromOctets(10, 231, 7, 21), Unit(0x40, 1), true});
    card.dhcpServer = DhcpSeen::No;
    card.firewall.verdict = Port67Verdict::Dropped;
    card.firewall.frontEnd = FirewallFrontEnd::Ufw;
    card.firewall.reason = "dropped by ip filter INPUT";
    f.privileges.icmpPath = IcmpPath::None;
    f.privileges.icmpDetail = "not in the group zelvo-setup";
    f.privileges.port67How = "no root and no zelvo-sockhelper beside the tool";
    EXPECT_EQ(
        DiagnosisText(f),
        "eth0\n"
        "  carrier         : yes\n"
        "  address         : 10.231.7.1/24, block 10.231.7.0 - 10.231.7.255\n"
        "  default route   : none\n"
        "  units seen      : 1\n"
        "    02-5a-e1-40-00-01  10.231.7.21\n"
        "  DHCP server     : not seen\n"
        "  firewall UDP 67 : dropped (ufw; dropped by ip filter INPUT)\n"
        "    to open (root): ufw allow in on eth0 to any port 67 proto udp\n"
        "  verdict         : units on eth0: 1; Set IP possible: no (the firewall drops UDP port 67)\n"
        "\n"
        "ICMP path: none: not in the group zelvo-setup\n"
        "UDP port 67: not usable, no root and no zelvo-sockhelper beside the tool\n");

    const auto json = ParseJson(DiagnosisJson(f));
    ASSERT_TRUE(json);
    const JsonValue& shown = json->Find("cards")->items.at(0);
    EXPECT_EQ(
        shown.StringAt("name") + "|" + shown.StringAt("block") + "|" +
            shown.Find("units")->items.at(0).StringAt("mac") + "|" +
            shown.Find("firewall")->StringAt("command"),
        "eth0|10.231.7.0 - 10.231.7.255|02-5a-e1-40-00-01|ufw allow in on eth0 to any port 67 proto udp");
    EXPECT_EQ(shown.Find("unitsFound")->number, 1);
    EXPECT_FALSE(shown.Find("setIpPossible")->boolean ||
                 json->Find("icmp")->Find("usable")->boolean);

    EXPECT_EQ(DiagnosisLogLines(f).at(2), "  [eth0] unit 02.5a.e1.40.00.01 at 010.231.007.021\r\n");
    // Log lines are ASCII and fit the log's line buffer, whatever the card is called.
    f.cards[0].name = std::string(300, 'x') + "\xe3\x81\x82";
    const std::vector<std::string> lines = DiagnosisLogLines(f);
    ASSERT_GE(lines.size(), 5u);
    EXPECT_EQ(lines[0], " Diagnosis of the PC's cards\r\n");
    for (const std::string& line : lines) {
        EXPECT_LE(line.size(), 259u);
        EXPECT_EQ(line.substr(line.size() - 2), "\r\n");
        for (const char c : line.substr(0, line.size() - 2))
            EXPECT_TRUE(c >= 0x20 && c < 0x7f) << line;
    }
}

} // namespace
} // namespace zelvo
