#pragma once
#include <string>

namespace zelvo {

enum class RulesetRead
{
    Read,       // json holds the ruleset
    NftMissing, // no nft command on this PC: nftables is not installed
    Failed,     // nft ran and failed; reading the ruleset needs CAP_NET_ADMIN (root)
};

// The host firewall as far as this account can see it.
struct FirewallRuleset
{
    RulesetRead status = RulesetRead::NftMissing;
    std::string json;   // the output of "nft -j list ruleset" when Read
    int exitStatus = 0; // nft's exit status when Failed (-1: killed by the time-out)
    bool root = false;  // this process runs as root (effective user 0)
    // What an account without root can still see of the front ends: firewalld runs (a
    // process of that name), ufw is enabled (ENABLED=yes in /etc/ufw/ufw.conf).
    bool firewalldRunning = false;
    bool ufwEnabled = false;
};

// Runs "nft -j list ruleset" (looked for in PATH, then /usr/sbin and /sbin, which an
// ordinary account's PATH often lacks), never through a shell, for at most 3 s.
// Changes nothing. Callable from any thread; blocks for as long as nft runs.
FirewallRuleset ReadFirewallRuleset();

} // namespace zelvo
