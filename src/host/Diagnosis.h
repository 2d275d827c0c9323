#pragma once
#include "core/FirewallVerdict.h"
#include "platform/IcmpSocket.h"
#include "platform/NetAddress.h"

#include <optional>
#include <string>
#include <vector>

namespace zelvo {

// A neighbour table entry with the units' MAC prefix, on one card.
struct UnitNeighbour
{
    Ipv4Address address;
    MacAddress mac = {};
    // The entry's address lies in the card's block and is no link-local one (169.254/16):
    // the search can list the unit and its pages can be reached from this card.
    bool usable = false;
};

enum class DhcpSeen
{
    No,
    Yes,
    NotChecked,
};

// What the PC shows of one card: a snapshot of links, addresses, routes and tables.
struct CardFindings
{
    std::string name;
    int index = 0;
    bool up = false;
    std::optional<bool> carrier; // nullopt: the kernel did not say
    bool hasMac = false;
    std::optional<Ipv4Address> address; // the first IPv4 address that is no link-local one
    int prefixLength = 0;
    bool linkLocalOnly = false; // its only IPv4 addresses are link-local ones
    bool defaultRoute = false;
    Ipv4Address gateway; // of the default route through the card; zero without one
    std::vector<UnitNeighbour> units;
    DhcpSeen dhcpServer = DhcpSeen::NotChecked;
    FirewallJudgement firewall;
};

// How the PC may reach the ports the search and Set IP need.
struct PrivilegeFindings
{
    IcmpPath icmpPath = IcmpPath::None;
    std::string icmpDetail;    // why no ICMP socket could be had; empty when one could
    bool port67Usable = false; // root, or a helper this account may run
    std::string port67How;     // "root", "helper", or why not
};

struct DiagnosisFindings
{
    std::vector<CardFindings> cards;
    PrivilegeFindings privileges;
    std::string neighbourError; // the neighbour table could not be read
};

// The one-line answer for a card.
struct CardVerdict
{
    int unitsFound = 0; // unit entries the search can list from this card
    bool setIpPossible = false;
    std::string why;  // why not, when Set IP is not possible; empty otherwise
    std::string line; // "units on eth0: 2; Set IP possible: yes"
};

CardVerdict JudgeCardFindings(const CardFindings& card, const PrivilegeFindings& privileges);

// The report for a terminal, card by card, then the PC's privileges.
std::string DiagnosisText(const DiagnosisFindings& findings);
// The same as one JSON object.
std::string DiagnosisJson(const DiagnosisFindings& findings);
// The same for manager.log: ASCII lines, each ending in "\r\n", none longer than 259
// characters, opened by a line of its own.
std::vector<std::string> DiagnosisLogLines(const DiagnosisFindings& findings);

// "ping socket", "raw socket", "raw socket kept by the helper", "none".
const char* IcmpPathName(IcmpPath path);

} // namespace zelvo
