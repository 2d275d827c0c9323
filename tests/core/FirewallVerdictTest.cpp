// The port-67 verdict over saved nftables rulesets (nft -j list ruleset) as firewalld,
// ufw and hand-written nftables setups leave them, and the JSON reader under it.
#include "core/FirewallVerdict.h"
#include "core/JsonValue.h"
#include "platform/Files.h"

#include <gtest/gtest.h>

namespace zelvo {
namespace {

std::string Fixture(const std::string& name)
{
    const auto text = ReadSmallFile(std::string(ZELVO_NFT_FIXTURES) + "/" + name, 1 << 20);
    EXPECT_TRUE(text) << name;
    return text.value_or("");
}

struct RulesetCase
{
    const char* fixture;
    const char* card;
    Port67Verdict verdict;
    FirewallFrontEnd frontEnd;
    const char* command; // "" when none is offered
};

class RulesetVerdict : public ::testing::TestWithParam<RulesetCase>
{
};

TEST_P(RulesetVerdict, judgesTheCardAndNamesTheCommandOfItsFrontEnd)
{
    const RulesetCase& c = GetParam();
    const FirewallJudgement j =
        JudgePort67OnCard(Fixture(c.fixture), c.card, Ipv4Address::FromOctets(192, 168, 0, 10));
    EXPECT_EQ(j.verdict, c.verdict) << j.reason;
    EXPECT_EQ(j.frontEnd, c.frontEnd);
    EXPECT_EQ(OpenPort67Command(j, c.card), c.command);
}

constexpr const char* kNftInsert =
    "nft insert rule inet filter input iifname \"eth1\" udp dport 67 accept";

INSTANTIATE_TEST_SUITE_P(
    SavedRulesets, RulesetVerdict,
    ::testing::Values(
        // eth0 is bound to the zone public by name
        RulesetCase{"firewalld-default.json", "eth0", Port67Verdict::Dropped,
                    FirewallFrontEnd::Firewalld, "firewall-cmd --zone=public --add-service=dhcp"},
        // a card of no named zone falls to the default zone
        RulesetCase{"firewalld-default.json", "enp3s0", Port67Verdict::Dropped,
                    FirewallFrontEnd::Firewalld, "firewall-cmd --add-service=dhcp"},
        RulesetCase{"firewalld-dhcp.json", "eth0", Port67Verdict::Open, FirewallFrontEnd::Firewalld,
                    ""},
        RulesetCase{"ufw-default.json", "eth0", Port67Verdict::Dropped, FirewallFrontEnd::Ufw,
                    "ufw allow in on eth0 to any port 67 proto udp"},
        RulesetCase{"ufw-allow-eth0.json", "eth0", Port67Verdict::Open, FirewallFrontEnd::Ufw, ""},
        RulesetCase{"ufw-allow-eth0.json", "eth1", Port67Verdict::Dropped, FirewallFrontEnd::Ufw,
                    "ufw allow in on eth1 to any port 67 proto udp"},
        RulesetCase{"plain-drop-67.json", "eth1", Port67Verdict::Dropped,
                    FirewallFrontEnd::Nftables, kNftInsert},
        RulesetCase{"policy-drop-accept-67.json", "eth0", Port67Verdict::Open,
                    FirewallFrontEnd::Nftables, ""},
        RulesetCase{"policy-drop-accept-67.json", "eth1", Port67Verdict::Dropped,
                    FirewallFrontEnd::Nftables, kNftInsert},
        RulesetCase{"accept-all.json", "eth0", Port67Verdict::Open, FirewallFrontEnd::Nftables,
                    ""}));

// Small rulesets, one base chain "inet t in" whose rules are given.
std::string Ruleset(const std::string& policy, const std::string& rules,
                    const std::string& extra = "")
{
    return R"({"nftables": [{"table": {"family": "inet", "name": "t"}},
        {"chain": {"family": "inet", "table": "t", "name": "in", "type": "filter",
                   "hook": "input", "prio": 0, "policy": ")" +
           policy + R"("}},
        {"chain": {"family": "inet", "table": "t", "name": "sub"}})" +
           extra + rules + "]}";
}

std::string Rule(const std::string& chain, const std::string& expr)
{
    return R"(, {"rule": {"family": "inet", "table": "t", "chain": ")" + chain + R"(", "expr": [)" +
           expr + "]}}";
}

const std::string kDport67 =
    R"({"match": {"op": "==", "left": {"payload": {"protocol": "udp", "field": "dport"}}, "right": 67}})";
const std::string kFib =
    R"({"match": {"op": "==", "left": {"fib": {"result": "type", "flags": ["daddr"]}}, "right": "local"}})";

struct InlineCase
{
    const char* name;
    std::string ruleset;
    Port67Verdict broadcast; // the DISCOVER to 255.255.255.255 on eth0
};

class InlineVerdict : public ::testing::TestWithParam<InlineCase>
{
};

TEST_P(InlineVerdict, decidesOrSaysUnknown)
{
    const FirewallJudgement j = JudgePort67(GetParam().ruleset, Port67Arrival{"eth0"});
    EXPECT_EQ(j.verdict, GetParam().broadcast) << j.reason;
}

INSTANTIATE_TEST_SUITE_P(
    Rules, InlineVerdict,
    ::testing::Values(
        InlineCase{"emptyRuleset", R"({"nftables": [{"metainfo": {"version": "1.0.6"}}]})",
                   Port67Verdict::Open},
        InlineCase{"notJson", "nft: Operation not permitted", Port67Verdict::Unknown},
        // an undecidable match in front of an accept under a drop policy: it may be open
        InlineCase{"fibBeforeAccept", Ruleset("drop", Rule("in", kFib + R"(, {"accept": null})")),
                   Port67Verdict::Unknown},
        // an undecidable match in front of a drop with a drop policy: dropped either way
        InlineCase{"fibBeforeDropUnderDrop",
                   Ruleset("drop", Rule("in", kFib + R"(, {"drop": null})")),
                   Port67Verdict::Dropped},
        InlineCase{"jumpThatDrops",
                   Ruleset("accept", Rule("in", R"({"jump": {"target": "sub"}})") +
                                         Rule("sub", kDport67 + R"(, {"drop": null})")),
                   Port67Verdict::Dropped},
        InlineCase{"jumpThatReturnsThenAccept",
                   Ruleset("drop", Rule("in", R"({"jump": {"target": "sub"}})") +
                                       Rule("in", kDport67 + R"(, {"accept": null})") +
                                       Rule("sub", R"({"return": null})") +
                                       Rule("sub", R"({"drop": null})")),
                   Port67Verdict::Open},
        InlineCase{"gotoReturnsToTheBasePolicy",
                   Ruleset("drop", Rule("in", R"({"goto": {"target": "sub"}})") +
                                       Rule("in", R"({"accept": null})")),
                   Port67Verdict::Dropped},
        InlineCase{
            "otherCardOnly",
            Ruleset(
                "accept",
                Rule(
                    "in",
                    R"({"match": {"op": "==", "left": {"meta": {"key": "iifname"}}, "right": "wlan*"}}, )" +
                        kDport67 + R"(, {"drop": null})")),
            Port67Verdict::Open},
        InlineCase{
            "wildcardCard",
            Ruleset(
                "accept",
                Rule(
                    "in",
                    R"({"match": {"op": "==", "left": {"meta": {"key": "iifname"}}, "right": "eth*"}}, )" +
                        kDport67 + R"(, {"drop": null})")),
            Port67Verdict::Dropped},
        InlineCase{
            "portRangeNotEqual",
            Ruleset(
                "accept",
                Rule(
                    "in",
                    R"({"match": {"op": "!=", "left": {"payload": {"protocol": "th", "field": "dport"}}, "right": {"range": [60, 70]}}}, {"drop": null})")),
            Port67Verdict::Open},
        InlineCase{
            "tcpRuleSkipped",
            Ruleset(
                "accept",
                Rule(
                    "in",
                    R"({"match": {"op": "==", "left": {"payload": {"protocol": "tcp", "field": "dport"}}, "right": 67}}, {"drop": null})")),
            Port67Verdict::Open},
        InlineCase{
            "newStateDropped",
            Ruleset(
                "accept",
                Rule(
                    "in",
                    R"({"match": {"op": "in", "left": {"ct": {"key": "state"}}, "right": ["new", "untracked"]}}, {"reject": null})")),
            Port67Verdict::Dropped},
        InlineCase{
            "broadcastAddressAccepted",
            Ruleset(
                "drop",
                Rule(
                    "in",
                    R"({"match": {"op": "==", "left": {"payload": {"protocol": "ip", "field": "daddr"}}, "right": {"prefix": {"addr": "255.255.255.0", "len": 24}}}}, {"accept": null})")),
            Port67Verdict::Open},
        InlineCase{
            "namedSetMissing",
            Ruleset(
                "drop",
                Rule(
                    "in",
                    R"({"match": {"op": "==", "left": {"payload": {"protocol": "udp", "field": "dport"}}, "right": "@gone"}}, {"accept": null})")),
            Port67Verdict::Unknown},
        InlineCase{
            "xtMatchOutsideUfw",
            Ruleset("drop",
                    Rule("in",
                         R"({"xt": {"type": "match", "name": "conntrack"}}, {"accept": null})")),
            Port67Verdict::Unknown},
        InlineCase{"unknownStatement", Ruleset("accept", Rule("in", R"({"queue": {"num": 1}})")),
                   Port67Verdict::Unknown},
        InlineCase{
            "verdictMapJump",
            Ruleset(
                "drop",
                Rule(
                    "in",
                    R"({"vmap": {"key": {"payload": {"protocol": "udp", "field": "dport"}}, "data": {"set": [[53, {"accept": null}], [67, {"jump": {"target": "sub"}}]]}}})") +
                    Rule("sub", R"({"accept": null})")),
            Port67Verdict::Open},
        InlineCase{
            "limitBeforeDrop",
            Ruleset("accept",
                    Rule("in", R"({"limit": {"rate": 3, "per": "minute"}}, {"drop": null})")),
            Port67Verdict::Unknown},
        InlineCase{"counterAndLogDecideNothing",
                   Ruleset("accept", Rule("in", R"({"counter": null}, {"log": {"prefix": "x"}})")),
                   Port67Verdict::Open}),
    [](const ::testing::TestParamInfo<InlineCase>& info) { return info.param.name; });

TEST(FirewallVerdict, unreadRulesetIsUnknownAndNamesASeenFrontEnd)
{
    FirewallRuleset read;
    read.status = RulesetRead::Failed;
    read.exitStatus = 1;
    read.firewalldRunning = true;
    const FirewallJudgement j = JudgeCardFirewall(read, "eth0", Ipv4Address());
    EXPECT_EQ(j.verdict, Port67Verdict::Unknown);
    EXPECT_EQ(j.reason, "reading the ruleset needs root");
    EXPECT_EQ(OpenPort67Command(j, "eth0"), "firewall-cmd --add-service=dhcp");

    read = {};
    const FirewallJudgement missing = JudgeCardFirewall(read, "eth0", Ipv4Address());
    EXPECT_EQ(missing.reason, "nft not available");
    EXPECT_EQ(OpenPort67Command(missing, "eth0"), "");
}

TEST(FirewallVerdict, unicastRequestCountsForTheCard)
{
    // Only the card's own address is dropped: the broadcast passes, a renewal does not.
    const std::string ruleset = Ruleset(
        "accept",
        Rule(
            "in",
            R"({"match": {"op": "==", "left": {"payload": {"protocol": "ip", "field": "daddr"}}, "right": "192.168.0.10"}}, )" +
                kDport67 + R"(, {"drop": null})"));
    EXPECT_EQ(JudgePort67(ruleset, Port67Arrival{"eth0"}).verdict, Port67Verdict::Open);
    EXPECT_EQ(JudgePort67OnCard(ruleset, "eth0", Ipv4Address::FromOctets(192, 168, 0, 10)).verdict,
              Port67Verdict::Dropped);
}

TEST(FirewallVerdict, aLongChainIsWalkedToItsEndAndAnEndlessOneGivesUp)
{
    // A container host's tens of thousands of rules; none of them is for this datagram.
    std::string rules;
    const std::string tcp =
        R"({"match": {"op": "==", "left": {"payload": {"protocol": "tcp", "field": "dport"}}, "right": 80}}, {"accept": null})";
    for (int k = 0; k < 60000; ++k)
        rules += Rule("in", tcp);
    const FirewallJudgement walked =
        JudgePort67(Ruleset("accept", rules + Rule("in", kDport67 + R"(, {"drop": null})")),
                    Port67Arrival{"eth0"});
    EXPECT_EQ(walked.verdict, Port67Verdict::Dropped) << walked.reason;

    for (int k = 0; k < 150000; ++k)
        rules += Rule("in", tcp);
    const FirewallJudgement tooMany = JudgePort67(Ruleset("drop", rules), Port67Arrival{"eth0"});
    EXPECT_EQ(tooMany.verdict, Port67Verdict::Unknown);
    EXPECT_NE(tooMany.reason.find("too many rules"), std::string::npos) << tooMany.reason;
}

struct JsonCase
{
    const char* text;
    bool valid;
};

class JsonReading : public ::testing::TestWithParam<JsonCase>
{
};

TEST_P(JsonReading, acceptsOnlyJson)
{
    EXPECT_EQ(ParseJson(GetParam().text).has_value(), GetParam().valid) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Documents, JsonReading,
    ::testing::Values(JsonCase{R"( {"a": [1, -2.5e3, true, false, null, "x\u00e9\ud83d\ude00"]} )",
                               true},
                      JsonCase{"[]", true}, JsonCase{"", false}, JsonCase{"[1,]", false},
                      JsonCase{R"({"a" 1})", false}, JsonCase{"01", false},
                      JsonCase{R"("\ud800")", false}, JsonCase{"\"a\tb\"", false},
                      JsonCase{"[1] [2]", false}, JsonCase{"+1", false}, JsonCase{"nul", false}));

TEST(JsonReading, resolvesEscapesAndLimitsDepth)
{
    const auto v = ParseJson(R"({"k": "a\"\\\/\n\u00e9\ud83d\ude00", "n": 67})");
    ASSERT_TRUE(v);
    EXPECT_EQ(v->StringAt("k"), "a\"\\/\n\xc3\xa9\xf0\x9f\x98\x80");
    EXPECT_EQ(v->Find("n")->number, 67);
    EXPECT_FALSE(ParseJson(std::string(100, '[') + std::string(100, ']')));
    EXPECT_TRUE(ParseJson(std::string(60, '[') + std::string(60, ']')));
}

} // namespace
} // namespace zelvo
