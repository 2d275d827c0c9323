#pragma once
#include "host/Diagnosis.h"
#include "core/RunState.h"
#include "platform/FirewallRuleset.h"
#include "platform/HostPlatform.h"
#include "platform/NeighbourTable.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace zelvo {

// Where the diagnosis reads the PC's state; each defaults to this PC's. Nothing of it
// sends on the network: links, addresses, routes, the neighbour table, the firewall's
// ruleset, the DHCP clients' knowledge, and an ICMP socket opened and closed unused.
struct DiagnosisSources
{
    HostPlatform& host = SystemHostPlatform();
    // The kernel's neighbour table: an entry that failed carries no MAC there, where
    // /proc/net/arp still shows the one it had.
    std::function<NeighbourRead()> neighbours = [] { return ReadNeighbourTable(); };
    std::function<FirewallRuleset()> firewall = ReadFirewallRuleset;
    std::function<PrivilegeFindings()> privileges = ReadPrivilegeFindings;
    // Whether a DHCP server configured a card with an address. The default asks the
    // PC's DHCP clients, as the start-up survey does for the PC's card.
    std::function<DhcpSeen(const HostInterface&, const HostNetworkState&)> dhcp = nullptr;

    static PrivilegeFindings ReadPrivilegeFindings();
};

// The findings of every card but loopback, in the kernel's order; only the card named
// onlyCard when it is not empty (none when no card has that name).
DiagnosisFindings SurveyCards(DiagnosisSources& sources, const std::string& onlyCard = {});

// Writes the findings to manager.log after a search that listed no unit. The PC's card
// takes the start-up survey's DHCP finding; the DHCP clients are not asked again.
// UI thread; blocks while nft runs (at most a few seconds).
void LogCardDiagnosis(const RunState& state);

} // namespace zelvo
