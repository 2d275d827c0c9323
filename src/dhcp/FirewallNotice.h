#pragma once
#include "platform/FirewallRuleset.h"
#include "platform/NetAddress.h"

#include <string>

namespace zelvo {

// What the responder says about the host firewall for the card it serves.
struct FirewallNotice
{
    std::string logLine; // "  Firewall\t: ...\r\n", ASCII
    // For the user, once per program run: empty when the firewall lets the card's DHCP
    // requests in, or when nothing is known of it.
    std::string message;
};

// Judges the card from what could be read of the firewall: a ruleset that drops UDP 67
// in on the card, or firewalld or ufw seen active while the ruleset could not be read
// (both drop it by default), gives a message naming the command that opens the port.
// The firewall itself is never changed.
FirewallNotice FirewallNoticeFor(int language, const FirewallRuleset& firewall,
                                 const std::string& card, Ipv4Address cardAddress);

} // namespace zelvo
