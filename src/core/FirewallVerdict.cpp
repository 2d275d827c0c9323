#include "core/FirewallVerdict.h"

#include <arpa/inet.h>
#include <cstdint>
#include <map>
#include <optional>
#include <tuple>
#include <vector>

namespace zelvo {
namespace {

// A match's value: decided, not decided, or "may be either".
enum class Tri
{
    False,
    True,
    Maybe,
};

Tri Not(Tri t)
{
    return t == Tri::Maybe ? Tri::Maybe : (t == Tri::True ? Tri::False : Tri::True);
}

// What a chain may end in, as a set: several bits when it hangs on an undecided match.
using Outcomes = unsigned;
constexpr Outcomes kAccept = 1;
constexpr Outcomes kDrop = 2;
constexpr Outcomes kReturn = 4;
constexpr Outcomes kUnknown = 8; // a statement whose effect is not known

// The kernel's own limit of nested jumps.
constexpr int kMaxJumpDepth = 16;
// Rule positions evaluated in one judgement before it gives up as Unknown.
constexpr int kWorkBudget = 200000;

// The datagram's value for one left-hand expression.
struct Field
{
    enum class Kind
    {
        Unknown, // not known to the judgement (a mark, a route lookup)
        Absent,  // the datagram has no such header (tcp, ip6): every comparison fails
        Number,
        Text,
        Address,
        Flags, // a flag set; text holds its one set flag, empty for none
    };
    Kind kind = Kind::Unknown;
    uint64_t number = 0;
    std::string text;
    Ipv4Address address;
};

Field Number(uint64_t n)
{
    Field f;
    f.kind = Field::Kind::Number;
    f.number = n;
    return f;
}

Field Text(std::string t, Field::Kind kind = Field::Kind::Text)
{
    Field f;
    f.kind = kind;
    f.text = std::move(t);
    return f;
}

Field Kind(Field::Kind kind)
{
    Field f;
    f.kind = kind;
    return f;
}

// Names nft prints for protocol numbers and the two DHCP ports.
std::optional<uint64_t> NamedNumber(const std::string& name)
{
    static const std::map<std::string, uint64_t> kNames = {
        {"icmp", 1},      {"igmp", 2},  {"tcp", 6},     {"udp", 17},       {"gre", 47},
        {"esp", 50},      {"ah", 51},   {"icmpv6", 58}, {"ipv6-icmp", 58}, {"sctp", 132},
        {"udplite", 136}, {"dccp", 33}, {"bootps", 67}, {"bootpc", 68},
    };
    const auto it = kNames.find(name);
    if (it != kNames.end())
        return it->second;
    if (!name.empty() && name.find_first_not_of("0123456789") == std::string::npos &&
        name.size() < 10)
        return std::stoull(name);
    return std::nullopt;
}

std::optional<uint64_t> NumberOf(const JsonValue& v)
{
    if (v.IsNumber() && v.number >= 0)
        return static_cast<uint64_t>(v.number);
    if (v.IsString())
        return NamedNumber(v.text);
    return std::nullopt;
}

std::optional<Ipv4Address> AddressOf(const JsonValue& v)
{
    in_addr a{};
    if (!v.IsString() || ::inet_pton(AF_INET, v.text.c_str(), &a) != 1)
        return std::nullopt;
    return Ipv4Address{a.s_addr};
}

struct ChainKey
{
    std::string family, table, name;
    auto operator<=>(const ChainKey&) const = default;
};

struct Chain
{
    ChainKey key;
    std::string hook, type, policy;
    std::vector<std::string> devices;
    std::vector<const JsonValue*> rules; // each rule's "expr" array
};

class Judge
{
public:
    Judge(const JsonValue& ruleset, const Port67Arrival& arrival)
        : m_arrival(arrival),
          m_broadcast(arrival.destination == Ipv4Address::FromOctets(255, 255, 255, 255))
    {
        Index(ruleset);
    }

    FirewallJudgement Run()
    {
        FirewallJudgement result;
        result.frontEnd = m_frontEnd;
        if (m_firewalld)
            result.zone = FirewalldZone();
        if (!m_wellFormed) {
            result.reason = "the ruleset is not the JSON nft writes";
            return result;
        }
        bool unknown = false;
        for (const Chain* chain : m_baseChains) {
            m_budget = kWorkBudget;
            m_memo.clear();
            Outcomes out = RunChain(*chain, 0);
            if (out & kReturn)
                out = (out & ~kReturn) | (chain->policy == "drop" ? kDrop : kAccept);
            if (out == kDrop) {
                result.verdict = Port67Verdict::Dropped;
                result.family = chain->key.family;
                result.table = chain->key.table;
                result.chain = chain->key.name;
                result.reason = "dropped by " + chain->key.family + " " + chain->key.table + " " +
                                chain->key.name;
                return result;
            }
            if (out != kAccept && !unknown) {
                unknown = true;
                result.reason = "in " + chain->key.family + " " + chain->key.table + " " +
                                chain->key.name + ": " +
                                (m_firstUnknown.empty() ? "undecided" : m_firstUnknown);
            }
        }
        result.verdict = unknown ? Port67Verdict::Unknown : Port67Verdict::Open;
        if (!unknown)
            result.reason = m_baseChains.empty() ? "no input chain" : "accepted";
        return result;
    }

private:
    void Index(const JsonValue& ruleset)
    {
        const JsonValue* list = ruleset.Find("nftables");
        if (!list || !list->IsArray()) {
            m_wellFormed = false;
            return;
        }
        bool anyRule = false;
        for (const JsonValue& object : list->items) {
            if (const JsonValue* t = object.Find("table")) {
                if (t->StringAt("name") == "firewalld")
                    m_firewalld = true;
            } else if (const JsonValue* c = object.Find("chain")) {
                Chain chain;
                chain.key = {c->StringAt("family"), c->StringAt("table"), c->StringAt("name")};
                chain.hook = c->StringAt("hook");
                chain.type = c->StringAt("type");
                chain.policy = c->StringAt("policy");
                if (const JsonValue* dev = c->Find("dev")) {
                    if (dev->IsString())
                        chain.devices.push_back(dev->text);
                    for (const JsonValue& d : dev->items)
                        if (d.IsString())
                            chain.devices.push_back(d.text);
                }
                if (chain.key.name.rfind("ufw-", 0) == 0)
                    m_ufw = true;
                m_chains[chain.key] = std::move(chain);
            } else if (const JsonValue* r = object.Find("rule")) {
                const ChainKey key{r->StringAt("family"), r->StringAt("table"),
                                   r->StringAt("chain")};
                const JsonValue* expr = r->Find("expr");
                const auto it = m_chains.find(key);
                if (it != m_chains.end() && expr && expr->IsArray()) {
                    it->second.rules.push_back(expr);
                    anyRule = true;
                    for (const JsonValue& s : expr->items)
                        if (s.Find("notrack"))
                            m_notrack = true;
                }
            } else if (const JsonValue* s = object.Find("set")) {
                m_sets[{s->StringAt("family"), s->StringAt("table"), s->StringAt("name")}] = s;
            } else if (const JsonValue* m = object.Find("map")) {
                m_sets[{m->StringAt("family"), m->StringAt("table"), m->StringAt("name")}] = m;
            }
        }
        for (const auto& [key, chain] : m_chains) {
            const bool ipFamily = key.family == "ip" || key.family == "inet";
            const bool filterHook = (chain.hook == "input" || chain.hook == "prerouting") &&
                                    chain.type == "filter" && ipFamily;
            bool onCard = false;
            for (const std::string& d : chain.devices)
                onCard = onCard || d == m_arrival.interfaceName;
            const bool ingress = chain.hook == "ingress" &&
                                 (key.family == "netdev" || key.family == "inet") && onCard;
            if (filterHook || ingress)
                m_baseChains.push_back(&chain);
        }
        m_frontEnd = m_firewalld                        ? FirewallFrontEnd::Firewalld
                     : m_ufw                            ? FirewallFrontEnd::Ufw
                     : anyRule || !m_baseChains.empty() ? FirewallFrontEnd::Nftables
                                                        : FirewallFrontEnd::None;
    }

    // firewalld sends each card to its zone's chain from filter_INPUT_ZONES: a rule
    // "iifname CARD goto filter_IN_ZONE" per card bound by name, then one goto without a
    // match into the default zone.
    std::string FirewalldZone()
    {
        const auto it = m_chains.find({"inet", "firewalld", "filter_INPUT_ZONES"});
        if (it == m_chains.end())
            return {};
        const std::string prefix = "filter_IN_";
        for (const JsonValue* rule : it->second.rules) {
            bool card = false;
            bool other = false;
            std::string target;
            for (const JsonValue& s : rule->items) {
                if (const JsonValue* m = s.Find("match")) {
                    const JsonValue* left = m->Find("left");
                    const JsonValue* right = m->Find("right");
                    const JsonValue* meta = left ? left->Find("meta") : nullptr;
                    if (meta && meta->StringAt("key") == "iifname" && right &&
                        m->StringAt("op") == "==" &&
                        Equal(Text(m_arrival.interfaceName), *right) == Tri::True)
                        card = true;
                    else
                        other = true;
                } else if (const JsonValue* g = s.Find("goto")) {
                    target = g->StringAt("target");
                }
            }
            if (target.rfind(prefix, 0) != 0 || other)
                continue;
            if (!card)
                return {}; // the default zone's goto comes first for this card
            return target.substr(prefix.size());
        }
        return {};
    }

    void NoteUnknown(const std::string& what)
    {
        if (m_firstUnknown.empty())
            m_firstUnknown = what;
    }

    Field Meta(const std::string& key)
    {
        if (key == "iifname" || key == "iif")
            return Text(m_arrival.interfaceName);
        if (key == "l4proto")
            return Number(17);
        if (key == "nfproto")
            return Text("ipv4");
        if (key == "protocol")
            return Text("ip");
        if (key == "pkttype")
            return Text(m_broadcast ? "broadcast" : "host");
        if (key == "iiftype")
            return Text("ether");
        NoteUnknown("meta " + key);
        return {};
    }

    Field Payload(const JsonValue& p)
    {
        const std::string protocol = p.StringAt("protocol");
        const std::string field = p.StringAt("field");
        if (protocol.empty()) {
            // A raw payload expression: the transport header's ports by offset.
            const JsonValue* offset = p.Find("offset");
            const JsonValue* length = p.Find("len");
            if (p.StringAt("base") == "th" && offset && length && offset->IsNumber() &&
                length->IsNumber() && length->number == 16) {
                if (offset->number == 0)
                    return Number(68);
                if (offset->number == 16)
                    return Number(67);
            }
            NoteUnknown("raw payload");
            return {};
        }
        if (protocol == "udp" || protocol == "th") {
            if (field == "sport")
                return Number(68);
            if (field == "dport")
                return Number(67);
        } else if (protocol == "ip") {
            if (field == "daddr") {
                Field f;
                f.kind = Field::Kind::Address;
                f.address = m_arrival.destination;
                return f;
            }
            if (field == "saddr" && m_broadcast) {
                Field f;
                f.kind = Field::Kind::Address; // a DISCOVER comes from 0.0.0.0
                return f;
            }
            if (field == "protocol")
                return Number(17);
            if (field == "version")
                return Number(4);
        } else if (protocol == "tcp" || protocol == "ip6" || protocol == "icmp" ||
                   protocol == "icmpv6" || protocol == "sctp" || protocol == "dccp" ||
                   protocol == "udplite" || protocol == "arp" || protocol == "ah" ||
                   protocol == "esp" || protocol == "comp" || protocol == "igmp" ||
                   protocol == "gre") {
            return Kind(Field::Kind::Absent);
        }
        NoteUnknown(protocol + " " + field);
        return {};
    }

    Field Ct(const std::string& key)
    {
        if (key == "state")
            return m_notrack ? Field{} : Text("new", Field::Kind::Flags);
        if (key == "status")
            return Text("", Field::Kind::Flags);
        if (key == "direction")
            return Text("original");
        NoteUnknown("ct " + key);
        return {};
    }

    Field Left(const JsonValue& left)
    {
        if (const JsonValue* m = left.Find("meta"))
            return Meta(m->StringAt("key"));
        if (const JsonValue* p = left.Find("payload"))
            return Payload(*p);
        if (const JsonValue* c = left.Find("ct"))
            return Ct(c->StringAt("key"));
        NoteUnknown(left.IsObject() && !left.members.empty() ? left.members[0].key : "expression");
        return {};
    }

    // One element of the right-hand side against the datagram's value.
    Tri Equal(const Field& f, const JsonValue& v)
    {
        if (const JsonValue* elem = v.Find("elem")) // a set element with its timeout
            if (const JsonValue* val = elem->Find("val"))
                return Equal(f, *val);
        if (const JsonValue* range = v.Find("range")) {
            if (!range->IsArray() || range->items.size() != 2)
                return Tri::Maybe;
            if (f.kind == Field::Kind::Number) {
                const auto lo = NumberOf(range->items[0]), hi = NumberOf(range->items[1]);
                if (!lo || !hi)
                    return Tri::Maybe;
                return f.number >= *lo && f.number <= *hi ? Tri::True : Tri::False;
            }
            if (f.kind == Field::Kind::Address) {
                const auto lo = AddressOf(range->items[0]), hi = AddressOf(range->items[1]);
                if (!lo || !hi)
                    return Tri::Maybe;
                const uint32_t a = f.address.HostOrder();
                return a >= lo->HostOrder() && a <= hi->HostOrder() ? Tri::True : Tri::False;
            }
            return Tri::Maybe;
        }
        if (const JsonValue* prefix = v.Find("prefix")) {
            const JsonValue* addr = prefix->Find("addr");
            const JsonValue* len = prefix->Find("len");
            if (f.kind != Field::Kind::Address || !addr || !len || !len->IsNumber())
                return Tri::Maybe;
            const auto base = AddressOf(*addr);
            if (!base || len->number < 0 || len->number > 32)
                return Tri::Maybe;
            const int bits = static_cast<int>(len->number);
            const uint32_t mask = bits == 0 ? 0 : ~uint32_t{0} << (32 - bits);
            return (f.address.HostOrder() & mask) == (base->HostOrder() & mask) ? Tri::True
                                                                                : Tri::False;
        }
        switch (f.kind) {
        case Field::Kind::Number: {
            const auto n = NumberOf(v);
            return n ? (*n == f.number ? Tri::True : Tri::False) : Tri::Maybe;
        }
        case Field::Kind::Address: {
            const auto a = AddressOf(v);
            return a ? (*a == f.address ? Tri::True : Tri::False) : Tri::Maybe;
        }
        case Field::Kind::Text:
        case Field::Kind::Flags: {
            if (!v.IsString())
                return Tri::Maybe; // an interface index, say
            const std::string& t = v.text;
            // "eth*" matches every name that starts with "eth"; "eth\*" is a plain star.
            if (f.kind == Field::Kind::Text && !t.empty() && t.back() == '*' &&
                (t.size() < 2 || t[t.size() - 2] != '\\'))
                return f.text.compare(0, t.size() - 1, t, 0, t.size() - 1) == 0 ? Tri::True
                                                                                : Tri::False;
            return t == f.text ? Tri::True : Tri::False;
        }
        default:
            return Tri::Maybe;
        }
    }

    // Whether the datagram's value is one of a list of elements.
    Tri AnyOf(const Field& f, const std::vector<JsonValue>& elements)
    {
        Tri result = Tri::False;
        for (const JsonValue& e : elements) {
            const Tri t = Equal(f, e);
            if (t == Tri::True)
                return Tri::True;
            if (t == Tri::Maybe)
                result = Tri::Maybe;
        }
        return result;
    }

    const JsonValue* NamedSet(const ChainKey& where, const std::string& reference)
    {
        const auto it = m_sets.find({where.family, where.table, reference.substr(1)});
        return it == m_sets.end() ? nullptr : it->second;
    }

    Tri Contains(const Field& f, const JsonValue& right, const ChainKey& where)
    {
        if (right.IsString() && !right.text.empty() && right.text[0] == '@') {
            const JsonValue* set = NamedSet(where, right.text);
            const JsonValue* elem = set ? set->Find("elem") : nullptr;
            if (!set) {
                NoteUnknown("set " + right.text);
                return Tri::Maybe;
            }
            return elem && elem->IsArray() ? AnyOf(f, elem->items) : Tri::False;
        }
        if (const JsonValue* set = right.Find("set"))
            return set->IsArray() ? AnyOf(f, set->items) : Equal(f, *set);
        if (right.IsArray())
            return AnyOf(f, right.items);
        return Equal(f, right);
    }

    Tri Match(const JsonValue& m, const ChainKey& where)
    {
        const JsonValue* left = m.Find("left");
        const JsonValue* right = m.Find("right");
        const std::string op = m.StringAt("op");
        if (!left || !right)
            return Tri::Maybe;
        const Field f = Left(*left);
        if (f.kind == Field::Kind::Absent)
            return Tri::False;
        if (f.kind == Field::Kind::Unknown)
            return Tri::Maybe;
        if (op == "==" || op == "in")
            return Contains(f, *right, where);
        if (op == "!=")
            return Not(Contains(f, *right, where));
        if (f.kind == Field::Kind::Number && (op == "<" || op == ">" || op == "<=" || op == ">=")) {
            const auto n = NumberOf(*right);
            if (!n)
                return Tri::Maybe;
            const bool t = op == "<"    ? f.number < *n
                           : op == ">"  ? f.number > *n
                           : op == "<=" ? f.number <= *n
                                        : f.number >= *n;
            return t ? Tri::True : Tri::False;
        }
        NoteUnknown("operator " + op);
        return Tri::Maybe;
    }

    // An xt match of iptables-nft, whose arguments the JSON does not show.
    Tri XtMatch(const JsonValue& xt, const Chain& chain)
    {
        const std::string name = xt.StringAt("name");
        const std::string& c = chain.key.name;
        const bool ufwPackaged = c.rfind("ufw-", 0) == 0 && c.rfind("ufw-user-", 0) != 0;
        if (ufwPackaged && (name == "conntrack" || name == "state"))
            return Tri::False;
        if (ufwPackaged && name == "addrtype")
            return Tri::True;
        NoteUnknown("xt match " + (name.empty() ? std::string("(unnamed)") : name));
        return Tri::Maybe;
    }

    const Chain* Target(const Chain& from, const JsonValue& verdict)
    {
        const std::string name = verdict.StringAt("target");
        const auto it = m_chains.find({from.key.family, from.key.table, name});
        return it == m_chains.end() ? nullptr : &it->second;
    }

    // What a statement or a rule comes to: the verdicts it may end the chain with, and
    // whether the walk may go on with the next rule.
    struct Step
    {
        Outcomes out = 0;
        bool next = false;
    };

    Step Join(Step a, Step b) { return {a.out | b.out, a.next || b.next}; }

    // A verdict statement; std::nullopt for a statement that is no verdict.
    std::optional<Step> Verdict(const JsonValue& s, const Chain& chain, int depth)
    {
        if (s.Find("accept"))
            return Step{kAccept};
        if (s.Find("drop") || s.Find("reject"))
            return Step{kDrop};
        if (s.Find("return"))
            return Step{kReturn};
        if (s.Find("continue"))
            return Step{0, true};
        const JsonValue* j = s.Find("jump");
        const JsonValue* g = s.Find("goto");
        if (!j && !g)
            return std::nullopt;
        const JsonValue& verdict = j ? *j : *g;
        const Chain* target = Target(chain, verdict);
        if (!target || depth >= kMaxJumpDepth) {
            NoteUnknown((j ? "jump to " : "goto ") + verdict.StringAt("target"));
            return Step{kUnknown};
        }
        const Outcomes out = RunChain(*target, depth + 1);
        // A jump comes back to the next rule; after a goto the chain itself returns.
        if (j)
            return Step{out & ~kReturn, (out & kReturn) != 0};
        return Step{out};
    }

    // A verdict map: the element whose key matches gives the verdict; no match ends the
    // rule.
    Step VerdictMap(const JsonValue& vmap, const Chain& chain, int depth)
    {
        const JsonValue* key = vmap.Find("key");
        const JsonValue* data = vmap.Find("data");
        if (!key || !data)
            return {kUnknown};
        const Field f = Left(*key);
        if (f.kind == Field::Kind::Absent)
            return {0, true};
        const JsonValue* elements = data->Find("set");
        if (data->IsString() && !data->text.empty() && data->text[0] == '@') {
            const JsonValue* map = NamedSet(chain.key, data->text);
            elements = map ? map->Find("elem") : nullptr;
        }
        if (!elements || !elements->IsArray() || f.kind == Field::Kind::Unknown) {
            NoteUnknown("verdict map");
            return {kUnknown};
        }
        Step step;
        for (const JsonValue& pair : elements->items) {
            if (!pair.IsArray() || pair.items.size() != 2)
                return {kUnknown};
            const Tri t = Equal(f, pair.items[0]);
            if (t == Tri::False)
                continue;
            const std::optional<Step> v = Verdict(pair.items[1], chain, depth);
            step = Join(step, v ? *v : Step{kUnknown});
            if (t == Tri::True)
                return step;
        }
        step.next = true; // no element matched, or none surely did
        return step;
    }

    // Walks a chain from its first rule, one rule after the other; jumps and gotos recurse
    // (16 deep at most), so a long chain costs no stack.
    Outcomes RunChain(const Chain& chain, int depth)
    {
        if (const auto it = m_memo.find(&chain); it != m_memo.end())
            return it->second;
        Outcomes out = 0;
        bool next = true;
        for (std::size_t index = 0; next && index < chain.rules.size(); ++index) {
            if (--m_budget < 0) {
                NoteUnknown("too many rules");
                return out | kUnknown;
            }
            const Step step = RunRule(chain, index, depth);
            out |= step.out;
            next = step.next;
        }
        if (next)
            out |= kReturn; // the end of the chain
        m_memo[&chain] = out;
        return out;
    }

    Step RunRule(const Chain& chain, std::size_t index, int depth)
    {
        Tri matched = Tri::True;
        for (const JsonValue& s : chain.rules[index]->items) {
            std::optional<Step> verdict;
            if (const JsonValue* m = s.Find("match")) {
                const Tri t = Match(*m, chain.key);
                if (t == Tri::False)
                    return {0, true};
                if (t == Tri::Maybe)
                    matched = Tri::Maybe;
                continue;
            }
            if (const JsonValue* xt = s.Find("xt")) {
                if (xt->StringAt("type") == "target") {
                    NoteUnknown("xt target " + xt->StringAt("name"));
                    verdict = Step{kUnknown};
                } else {
                    const Tri t = XtMatch(*xt, chain);
                    if (t == Tri::False)
                        return {0, true};
                    if (t == Tri::Maybe)
                        matched = Tri::Maybe;
                    continue;
                }
            } else if (s.Find("counter") || s.Find("log") || s.Find("mangle") || s.Find("set") ||
                       s.Find("map") || s.Find("notrack") || s.Find("ct helper") ||
                       s.Find("ct timeout") || s.Find("ct expectation")) {
                continue; // counts, logs or marks; decides nothing
            } else if (s.Find("limit") || s.Find("quota") || s.Find("connlimit")) {
                matched = Tri::Maybe; // depends on the traffic before this datagram
                continue;
            } else if (const JsonValue* vmap = s.Find("vmap")) {
                verdict = VerdictMap(*vmap, chain, depth);
            } else {
                verdict = Verdict(s, chain, depth);
                if (!verdict) {
                    NoteUnknown("statement " + (s.IsObject() && !s.members.empty()
                                                    ? s.members[0].key
                                                    : std::string("?")));
                    verdict = Step{kUnknown};
                }
            }
            if (matched == Tri::True)
                return *verdict;
            return {verdict->out, true}; // it may not have matched at all
        }
        return {0, true};
    }

    const Port67Arrival& m_arrival;
    const bool m_broadcast;
    bool m_wellFormed = true;
    bool m_firewalld = false;
    bool m_ufw = false;
    bool m_notrack = false;
    FirewallFrontEnd m_frontEnd = FirewallFrontEnd::None;
    std::map<ChainKey, Chain> m_chains;
    std::map<ChainKey, const JsonValue*> m_sets;
    std::vector<const Chain*> m_baseChains;
    std::map<const Chain*, Outcomes> m_memo;
    int m_budget = kWorkBudget;
    std::string m_firstUnknown;
};

int Severity(Port67Verdict v)
{
    return v == Port67Verdict::Dropped ? 2 : v == Port67Verdict::Unknown ? 1 : 0;
}

} // namespace

FirewallJudgement JudgePort67(const JsonValue& ruleset, const Port67Arrival& arrival)
{
    return Judge(ruleset, arrival).Run();
}

FirewallJudgement JudgePort67(std::string_view rulesetJson, const Port67Arrival& arrival)
{
    const std::optional<JsonValue> ruleset = ParseJson(rulesetJson);
    if (!ruleset) {
        FirewallJudgement j;
        j.reason = "the ruleset is not JSON";
        return j;
    }
    return JudgePort67(*ruleset, arrival);
}

FirewallJudgement JudgePort67OnCard(std::string_view rulesetJson, const std::string& interfaceName,
                                    Ipv4Address cardAddress)
{
    // nft prints nothing at all for an empty ruleset in some versions.
    if (rulesetJson.find_first_not_of(" \t\r\n") == std::string_view::npos) {
        FirewallJudgement j;
        j.verdict = Port67Verdict::Open;
        j.reason = "no rules";
        return j;
    }
    const std::optional<JsonValue> ruleset = ParseJson(rulesetJson);
    if (!ruleset) {
        FirewallJudgement j;
        j.reason = "the ruleset is not JSON";
        return j;
    }
    FirewallJudgement worst = JudgePort67(*ruleset, Port67Arrival{interfaceName});
    if (!cardAddress.IsZero()) {
        const FirewallJudgement unicast =
            JudgePort67(*ruleset, Port67Arrival{interfaceName, cardAddress});
        if (Severity(unicast.verdict) > Severity(worst.verdict))
            worst = unicast;
    }
    return worst;
}

FirewallJudgement JudgeCardFirewall(const FirewallRuleset& firewall,
                                    const std::string& interfaceName, Ipv4Address cardAddress)
{
    if (firewall.status == RulesetRead::Read)
        return JudgePort67OnCard(firewall.json, interfaceName, cardAddress);
    FirewallJudgement j;
    j.frontEnd = firewall.firewalldRunning ? FirewallFrontEnd::Firewalld
                 : firewall.ufwEnabled     ? FirewallFrontEnd::Ufw
                                           : FirewallFrontEnd::None;
    if (firewall.status == RulesetRead::NftMissing)
        j.reason = "nft not available";
    else if (firewall.root)
        j.reason = "nft failed (exit " + std::to_string(firewall.exitStatus) + ")";
    else
        j.reason = "reading the ruleset needs root";
    return j;
}

std::string OpenPort67Command(const FirewallJudgement& judgement, const std::string& interfaceName)
{
    const bool frontEndSeen = judgement.frontEnd == FirewallFrontEnd::Firewalld ||
                              judgement.frontEnd == FirewallFrontEnd::Ufw;
    if (judgement.verdict == Port67Verdict::Open ||
        (judgement.verdict == Port67Verdict::Unknown && !frontEndSeen))
        return {};
    switch (judgement.frontEnd) {
    case FirewallFrontEnd::Firewalld:
        return judgement.zone.empty()
                   ? "firewall-cmd --add-service=dhcp"
                   : "firewall-cmd --zone=" + judgement.zone + " --add-service=dhcp";
    case FirewallFrontEnd::Ufw:
        return "ufw allow in on " + interfaceName + " to any port 67 proto udp";
    default:
        // First in the chain that drops, so that no earlier rule of it drops the request.
        return "nft insert rule " + judgement.family + " " + judgement.table + " " +
               judgement.chain + " iifname \"" + interfaceName + "\" udp dport 67 accept";
    }
}

const char* FrontEndName(FirewallFrontEnd frontEnd)
{
    switch (frontEnd) {
    case FirewallFrontEnd::Nftables:
        return "nftables";
    case FirewallFrontEnd::Firewalld:
        return "firewalld";
    case FirewallFrontEnd::Ufw:
        return "ufw";
    default:
        return "none";
    }
}

const char* VerdictName(Port67Verdict verdict)
{
    switch (verdict) {
    case Port67Verdict::Open:
        return "open";
    case Port67Verdict::Dropped:
        return "dropped";
    default:
        return "unknown";
    }
}

} // namespace zelvo
