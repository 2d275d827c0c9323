#pragma once
#include "core/JsonValue.h"
#include "platform/FirewallRuleset.h"
#include "platform/NetAddress.h"

#include <string>
#include <string_view>

namespace zelvo {

// Which program wrote the host firewall's rules, as the ruleset shows it: firewalld keeps
// its rules in the table "inet firewalld", ufw (through iptables-nft) in chains named
// "ufw-...", anything else is plain nftables (iptables-nft included).
enum class FirewallFrontEnd
{
    None, // no rule at all
    Nftables,
    Firewalld,
    Ufw,
};

enum class Port67Verdict
{
    Open,    // every input hook chain lets the datagram through
    Dropped, // a hook chain drops or rejects it whatever the unknown parts say
    Unknown, // the ruleset could not be read, or a rule on the way cannot be judged
};

// A unit's DHCP datagram as it reaches the PC: UDP from port 68 to port 67, a new
// connection for conntrack, on the card named interfaceName. A DISCOVER is broadcast
// from 0.0.0.0 to 255.255.255.255; a renewing unit sends to the card's own address.
struct Port67Arrival
{
    std::string interfaceName;
    Ipv4Address destination = Ipv4Address::FromOctets(255, 255, 255, 255);
};

struct FirewallJudgement
{
    Port67Verdict verdict = Port67Verdict::Unknown;
    FirewallFrontEnd frontEnd = FirewallFrontEnd::None;
    // Dropped: the base chain that drops it ("inet", "filter", "input").
    std::string family, table, chain;
    // firewalld: the zone the card is bound to by name; empty for the default zone.
    std::string zone;
    // One ASCII phrase for the log: where it is dropped, or why it cannot be judged.
    std::string reason;
};

// Judges the output of "nft -j list ruleset" for one arrival. The hook chains of the ip
// and inet families at prerouting and input (filter type), and the ingress chains bound
// to the card, are walked rule by rule with their jumps, gotos, verdict maps and sets;
// matches on the input interface, protocol, ports, addresses, conntrack state and packet
// type are decided; anything else the walk meets makes its rule "may match", and a
// decision that hangs on such a rule is Unknown, never Open. Within ufw's own packaged
// chains (ufw-... but not ufw-user-...), whose rules iptables-nft shows as opaque xt
// matches, a conntrack match is taken as false (those rules test established, related or
// invalid traffic) and an addrtype match as true (a broadcast or local destination).
FirewallJudgement JudgePort67(const JsonValue& ruleset, const Port67Arrival& arrival);
FirewallJudgement JudgePort67(std::string_view rulesetJson, const Port67Arrival& arrival);

// The card's verdict: the broadcast DISCOVER and, when the card has an address, a
// request sent to that address; the worse of the two counts (Dropped, then Unknown).
FirewallJudgement JudgePort67OnCard(std::string_view rulesetJson, const std::string& interfaceName,
                                    Ipv4Address cardAddress);

// The card's verdict from what this account could read of the firewall. When the ruleset
// could not be read (nft missing, or no root), the verdict is Unknown and the front end
// is firewalld or ufw when one of them is seen running or enabled.
FirewallJudgement JudgeCardFirewall(const FirewallRuleset& firewall,
                                    const std::string& interfaceName, Ipv4Address cardAddress);

// The command that lets the card's DHCP requests in, for the front end that wrote the
// rules: "firewall-cmd [--zone=ZONE] --add-service=dhcp", "ufw allow in on eth0 to any port 67
// proto udp", or an nft rule put first in the base chain that drops. Empty unless the verdict is
// Dropped, or Unknown with firewalld or ufw seen (both drop it by default).
std::string OpenPort67Command(const FirewallJudgement& judgement, const std::string& interfaceName);

// "nftables", "firewalld", "ufw", "none".
const char* FrontEndName(FirewallFrontEnd frontEnd);
// "open", "dropped", "unknown".
const char* VerdictName(Port67Verdict verdict);

} // namespace zelvo
