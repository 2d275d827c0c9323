#include "host/CardDiagnosis.h"
#include "core/JsonValue.h"
#include "support/FakeHostPlatform.h"

#include <gtest/gtest.h>

namespace zelvo {
namespace {

using test::Nbo;

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
        sources.neighbours = [this] { return NeighbourRead{0, {}, neighbours}; };
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
    pc.host.dhcpReport = {DhcpClientSource::NetworkManager, "255.255.255.0", {}, true, 0};
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
        ASSERT_EQ(f.cards[0].units.size(), 1u);
        EXPECT_NE(DiagnosisText(f).find("02-5a-e1-40-00-09  169.254.9.4  (link-local address only: "
                                        "give eth1 a fixed address in the units' range)"),
                  std::string::npos)
            << DiagnosisText(f);
    }
}

DiagnosisFindings OneCardFindings()
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
    return f;
}

TEST(DiagnosisReport, textJsonAndLogLinesCarryTheFindings)
{
    DiagnosisFindings f = OneCardFindings();
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
    const JsonValue& card = json->Find("cards")->items.at(0);
    EXPECT_EQ(
        card.StringAt("name") + "|" + card.StringAt("block") + "|" +
            card.Find("units")->items.at(0).StringAt("mac") + "|" +
            card.Find("firewall")->StringAt("command"),
        "eth0|10.231.7.0 - 10.231.7.255|02-5a-e1-40-00-01|ufw allow in on eth0 to any port 67 proto udp");
    EXPECT_EQ(card.Find("unitsFound")->number, 1);
    EXPECT_FALSE(card.Find("setIpPossible")->boolean ||
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
