// The address rules below the search and the responder (the PC's host block, the unit MAC
// test), and the port-67 verdict over saved nftables rulesets (nft -j list ruleset) as
// firewalld, ufw and hand-written nftables setups leave them, with the JSON reader under it.
#include "core/FirewallVerdict.h"
#include "core/HostBlockRange.h"
#include "core/IsUnitMac.h"
#include "core/JsonValue.h"
#include "platform/Files.h"

#include <gtest/gtest.h>

namespace zelvo {
namespace {

// The last octets of mask and host, and the first and the limit of the block: a boundary
// (128 of /26) falls into the block below; of a tiny block only 64 addresses are looked at,
// and its range can be foreign or empty.
TEST(HostBlockRange, givesFirstAndLimitOctet)
{
    const std::array<int, 4> rows[] = {
        {0, 1, 50, 250},      {0, 254, 50, 250},    {128, 5, 1, 127},    {128, 200, 129, 255},
        {192, 100, 65, 127},  {192, 10, 1, 63},     {192, 128, 65, 127}, {252, 6, 5, 7},
        {252, 255, 253, 255}, {254, 200, 129, 129}, {255, 65, 65, 64}};
    for (const auto& [mask, host, first, limit] : rows)
        EXPECT_EQ(HostBlockRange({255, 255, 255, uint8_t(mask)}, {10, 1, 2, uint8_t(host)}),
                  (HostBlock{first, limit}))
            << mask << " " << host;
}

TEST(IsUnitMac, needsThePrefixAndTheNibble)
{
    EXPECT_TRUE(IsUnitMac({0x02, 0x5a, 0xe1, 0x40, 0, 0}));
    EXPECT_TRUE(IsUnitMac({0x02, 0x5a, 0xe1, 0x4f, 0xff, 0xff}));
    const MacAddress others[] = {{0x02, 0x5a, 0xe1, 0x50, 0, 1},
                                 {0x02, 0x5a, 0xe1, 0x3f, 0, 1},
                                 {0x03, 0x5a, 0xe1, 0x41, 0, 1},
                                 {0x02, 0x5b, 0xe1, 0x41, 0, 1},
                                 {0x02, 0x5a, 0xe0, 0x41, 0, 1}};
    for (const MacAddress& other : others)
        EXPECT_FALSE(IsUnitMac(other)) << MacDashText(other);
}

const Ipv4Address kCardAddress = Ipv4Address::FromOctets(192, 168, 0, 10);

TEST(FirewallVerdict, savedRulesetsJudgeTheCardAndNameTheCommandOfTheirFrontEnd)
{
    using V = Port67Verdict;
    using F = FirewallFrontEnd;
    const std::string nftInsert =
        "nft insert rule inet filter input iifname \"eth1\" udp dport 67 accept";
    const std::tuple<const char*, const char*, V, F, std::string> rows[] = {
        // eth0 is bound to the zone public by name; a card of no named zone falls to the default
        {"firewalld-default.json", "eth0", V::Dropped, F::Firewalld,
         "firewall-cmd --zone=public --add-service=dhcp"},
        {"firewalld-default.json", "enp3s0", V::Dropped, F::Firewalld,
         "firewall-cmd --add-service=dhcp"},
        {"firewalld-dhcp.json", "eth0", V::Open, F::Firewalld, ""},
        {"ufw-default.json", "eth0", V::Dropped, F::Ufw,
         "ufw allow in on eth0 to any port 67 proto udp"},
        {"ufw-allow-eth0.json", "eth0", V::Open, F::Ufw, ""},
        {"ufw-allow-eth0.json", "eth1", V::Dropped, F::Ufw,
         "ufw allow in on eth1 to any port 67 proto udp"},
        {"plain-drop-67.json", "eth1", V::Dropped, F::Nftables, nftInsert},
        {"policy-drop-accept-67.json", "eth0", V::Open, F::Nftables, ""},
        {"policy-drop-accept-67.json", "eth1", V::Dropped, F::Nftables, nftInsert},
        {"accept-all.json", "eth0", V::Open, F::Nftables, ""},
    };
    for (const auto& [fixture, card, verdict, frontEnd, command] : rows) {
        const auto text = ReadSmallFile(std::string(ZELVO_NFT_FIXTURES) + "/" + fixture, 1 << 20);
        ASSERT_TRUE(text) << fixture;
        const FirewallJudgement j = JudgePort67OnCard(*text, card, kCardAddress);
        EXPECT_EQ(j.verdict, verdict) << fixture << " " << card << ": " << j.reason;
        EXPECT_EQ(j.frontEnd, frontEnd) << fixture;
        EXPECT_EQ(OpenPort67Command(j, card), command) << fixture;
    }
}

// Small rulesets: one base chain "inet t in" with the given policy, a chain "sub", rules.
std::string Ruleset(const std::string& policy, const std::string& rules)
{
    return R"({"nftables": [{"table": {"family": "inet", "name": "t"}},
        {"chain": {"family": "inet", "table": "t", "name": "in", "type": "filter",
                   "hook": "input", "prio": 0, "policy": ")" +
           policy + R"("}}, {"chain": {"family": "inet", "table": "t", "name": "sub"}})" + rules +
           "]}";
}
std::string Rule(const std::string& chain, const std::string& expr)
{
    return R"(, {"rule": {"family": "inet", "table": "t", "chain": ")" + chain + R"(", "expr": [)" +
           expr + "]}}";
}
std::string Match(const std::string& left, const std::string& right, const std::string& op = "==")
{
    return R"({"match": {"op": ")" + op + R"(", "left": )" + left + R"(, "right": )" + right +
           "}}, ";
}
std::string Payload(const std::string& protocol, const std::string& field)
{
    return R"({"payload": {"protocol": ")" + protocol + R"(", "field": ")" + field + R"("}})";
}
const std::string kUdp67 = Match(Payload("udp", "dport"), "67");
const std::string kFib = Match(R"({"fib": {"result": "type", "flags": ["daddr"]}})", R"("local")");
const std::string kIif = R"({"meta": {"key": "iifname"}})";
const std::string kAccept = R"({"accept": null})", kDrop = R"({"drop": null})";
const std::string kJumpSub = R"({"jump": {"target": "sub"}})";

// The DISCOVER to 255.255.255.255 on eth0: decided, or unknown where it cannot be.
TEST(FirewallVerdict, rulesDecideOrSayUnknown)
{
    using V = Port67Verdict;
    const std::tuple<const char*, std::string, V> rows[] = {
        {"empty ruleset", R"({"nftables": [{"metainfo": {"version": "1.0.6"}}]})", V::Open},
        {"not JSON", "nft: Operation not permitted", V::Unknown},
        // an undecidable match before an accept under a drop policy may be open; before a
        // drop under a drop policy it is dropped either way
        {"fib before accept", Ruleset("drop", Rule("in", kFib + kAccept)), V::Unknown},
        {"fib before drop", Ruleset("drop", Rule("in", kFib + kDrop)), V::Dropped},
        {"jump that drops", Ruleset("accept", Rule("in", kJumpSub) + Rule("sub", kUdp67 + kDrop)),
         V::Dropped},
        {"jump that returns, then accept",
         Ruleset("drop", Rule("in", kJumpSub) + Rule("in", kUdp67 + kAccept) +
                             Rule("sub", R"({"return": null})") + Rule("sub", kDrop)),
         V::Open},
        {"goto returns to the base policy",
         Ruleset("drop", Rule("in", R"({"goto": {"target": "sub"}})") + Rule("in", kAccept)),
         V::Dropped},
        {"another card only",
         Ruleset("accept", Rule("in", Match(kIif, R"("wlan*")") + kUdp67 + kDrop)), V::Open},
        {"wildcard card", Ruleset("accept", Rule("in", Match(kIif, R"("eth*")") + kUdp67 + kDrop)),
         V::Dropped},
        {"port range not equal",
         Ruleset("accept",
                 Rule("in", Match(Payload("th", "dport"), R"({"range": [60, 70]})", "!=") + kDrop)),
         V::Open},
        {"tcp rule", Ruleset("accept", Rule("in", Match(Payload("tcp", "dport"), "67") + kDrop)),
         V::Open},
        {"new state rejected",
         Ruleset("accept",
                 Rule("in", Match(R"({"ct": {"key": "state"}})", R"(["new", "untracked"])", "in") +
                                R"({"reject": null})")),
         V::Dropped},
        {"broadcast address accepted",
         Ruleset("drop", Rule("in", Match(Payload("ip", "daddr"),
                                          R"({"prefix": {"addr": "255.255.255.0", "len": 24}})") +
                                        kAccept)),
         V::Open},
        {"named set missing",
         Ruleset("drop", Rule("in", Match(Payload("udp", "dport"), R"("@gone")") + kAccept)),
         V::Unknown},
        {"xt match outside ufw",
         Ruleset("drop",
                 Rule("in", R"({"xt": {"type": "match", "name": "conntrack"}}, )" + kAccept)),
         V::Unknown},
        {"unknown statement", Ruleset("accept", Rule("in", R"({"queue": {"num": 1}})")),
         V::Unknown},
        {"verdict map jump",
         Ruleset("drop", Rule("in", R"({"vmap": {"key": )" + Payload("udp", "dport") +
                                        R"(, "data": {"set": [[53, {"accept": null}], [67, )" +
                                        kJumpSub + "]]}}}") +
                             Rule("sub", kAccept)),
         V::Open},
        {"limit before drop",
         Ruleset("accept", Rule("in", R"({"limit": {"rate": 3, "per": "minute"}}, )" + kDrop)),
         V::Unknown},
        {"counter and log decide nothing",
         Ruleset("accept", Rule("in", R"({"counter": null}, {"log": {"prefix": "x"}})")), V::Open},
    };
    for (const auto& [what, ruleset, verdict] : rows) {
        const FirewallJudgement j = JudgePort67(ruleset, Port67Arrival{"eth0"});
        EXPECT_EQ(j.verdict, verdict) << what << ": " << j.reason;
    }
    // Only the card's own address dropped: the broadcast passes, a renewal to it does not.
    const std::string own = Ruleset(
        "accept", Rule("in", Match(Payload("ip", "daddr"), R"("192.168.0.10")") + kUdp67 + kDrop));
    EXPECT_EQ(JudgePort67(own, Port67Arrival{"eth0"}).verdict, V::Open);
    EXPECT_EQ(JudgePort67OnCard(own, "eth0", kCardAddress).verdict, V::Dropped);
}

TEST(FirewallVerdict, unreadRulesetIsUnknownAndNamesASeenFrontEnd)
{
    FirewallRuleset read;
    read.status = RulesetRead::Failed;
    read.firewalldRunning = true;
    const FirewallJudgement j = JudgeCardFirewall(read, "eth0", Ipv4Address());
    EXPECT_EQ(j.verdict, Port67Verdict::Unknown);
    EXPECT_EQ(j.reason, "reading the ruleset needs root");
    EXPECT_EQ(OpenPort67Command(j, "eth0"), "firewall-cmd --add-service=dhcp");
    const FirewallJudgement missing = JudgeCardFirewall(FirewallRuleset{}, "eth0", Ipv4Address());
    EXPECT_EQ(missing.reason + OpenPort67Command(missing, "eth0"), "nft not available");
}

TEST(FirewallVerdict, aLongChainIsWalkedToItsEndAndAnEndlessOneGivesUp)
{
    // A container host's tens of thousands of rules; none of them is for this datagram.
    std::string rules;
    const std::string tcp = Rule("in", Match(Payload("tcp", "dport"), "80") + kAccept);
    for (int k = 0; k < 60000; ++k)
        rules += tcp;
    const FirewallJudgement walked =
        JudgePort67(Ruleset("accept", rules + Rule("in", kUdp67 + kDrop)), Port67Arrival{"eth0"});
    EXPECT_EQ(walked.verdict, Port67Verdict::Dropped) << walked.reason;
    for (int k = 0; k < 150000; ++k)
        rules += tcp;
    const FirewallJudgement tooMany = JudgePort67(Ruleset("drop", rules), Port67Arrival{"eth0"});
    EXPECT_EQ(tooMany.verdict, Port67Verdict::Unknown);
    EXPECT_NE(tooMany.reason.find("too many rules"), std::string::npos) << tooMany.reason;
}

TEST(JsonReading, acceptsOnlyJsonResolvesEscapesAndLimitsDepth)
{
    for (const char* bad :
         {"", "[1,]", R"({"a" 1})", "01", R"("\ud800")", "\"a\tb\"", "[1] [2]", "+1", "nul"})
        EXPECT_FALSE(ParseJson(bad)) << bad;
    EXPECT_TRUE(ParseJson(R"( {"a": [1, -2.5e3, true, false, null, "x"]} )"));
    const auto v = ParseJson(R"({"k": "a\"\\\/\n\u00e9\ud83d\ude00", "n": 67})");
    ASSERT_TRUE(v);
    EXPECT_EQ(v->StringAt("k"), "a\"\\/\n\xc3\xa9\xf0\x9f\x98\x80");
    EXPECT_EQ(v->Find("n")->number, 67);
    EXPECT_FALSE(ParseJson(std::string(100, '[') + std::string(100, ']')));
    EXPECT_TRUE(ParseJson(std::string(60, '[') + std::string(60, ']')));
}

} // namespace
} // namespace zelvo
