#include "host/Diagnosis.h"

#include <algorithm>
#include <cstdio>

namespace zelvo {
namespace {

bool IsLinkLocal(Ipv4Address a)
{
    const auto o = a.Octets();
    return o[0] == 169 && o[1] == 254;
}

std::string Block(const CardFindings& card)
{
    if (!card.address)
        return {};
    const uint32_t mask =
        card.prefixLength <= 0 ? 0 : ~uint32_t{0} << (32 - std::min(card.prefixLength, 32));
    const uint32_t host = card.address->HostOrder();
    return Ipv4Address::FromHostOrder(host & mask).Dotted() + " - " +
           Ipv4Address::FromHostOrder(host | ~mask).Dotted();
}

const char* YesNo(bool b)
{
    return b ? "yes" : "no";
}

std::string CarrierText(const CardFindings& card)
{
    if (!card.up)
        return "no (the card is down)";
    return card.carrier ? YesNo(*card.carrier) : "unknown";
}

std::string AddressText(const CardFindings& card)
{
    if (!card.address)
        return card.linkLocalOnly ? "link-local only" : "none";
    return card.address->Dotted() + "/" + std::to_string(card.prefixLength) + ", block " +
           Block(card);
}

std::string RouteText(const CardFindings& card)
{
    if (!card.defaultRoute)
        return "none";
    return card.gateway.IsZero() ? "yes, no gateway" : "via " + card.gateway.Dotted();
}

const char* DhcpText(DhcpSeen seen)
{
    return seen == DhcpSeen::Yes ? "seen" : seen == DhcpSeen::No ? "not seen" : "not checked";
}

// Why the search cannot list a unit entry of this card; empty when it can.
std::string UnitNote(const CardFindings& card, const UnitNeighbour& unit)
{
    if (unit.usable)
        return {};
    const std::string fix = "give " + card.name + " a fixed address in the units' range";
    if (IsLinkLocal(unit.address))
        return "link-local address only: " + fix;
    if (!card.address)
        return card.name + " has no IPv4 address: " + fix;
    return "outside the card's block";
}

std::string FirewallText(const FirewallJudgement& j)
{
    return std::string(VerdictName(j.verdict)) + " (" + FrontEndName(j.frontEnd) + "; " + j.reason +
           ")";
}

std::string JsonText(const std::string& text)
{
    std::string out = "\"";
    for (const unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c >= 0x7f) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

std::string Pair(const char* key, const std::string& jsonValue)
{
    return JsonText(key) + ": " + jsonValue;
}

} // namespace

const char* IcmpPathName(IcmpPath path)
{
    switch (path) {
    case IcmpPath::Ping:
        return "ping socket";
    case IcmpPath::OwnRaw:
        return "raw socket";
    case IcmpPath::HelperRaw:
        return "raw socket kept by the helper";
    default:
        return "none";
    }
}

CardVerdict JudgeCardFindings(const CardFindings& card, const PrivilegeFindings& privileges)
{
    CardVerdict v;
    for (const UnitNeighbour& unit : card.units)
        v.unitsFound += unit.usable ? 1 : 0;
    const std::string fix = ": give the card a fixed address in the units' range";
    if (!card.up)
        v.why = "the card is down";
    else if (card.carrier == false)
        v.why = "no carrier";
    else if (!card.hasMac)
        v.why = "no hardware address";
    else if (!card.address)
        v.why = (card.linkLocalOnly ? "only a link-local address" : "no IPv4 address") + fix;
    else if (card.dhcpServer == DhcpSeen::Yes)
        v.why = "a DHCP server configured this card";
    else if (card.firewall.verdict == Port67Verdict::Dropped)
        v.why = "the firewall drops UDP port 67";
    else if (!privileges.port67Usable)
        v.why = "UDP port 67 cannot be opened";
    v.setIpPossible = v.why.empty();
    v.line = "units on " + card.name + ": " + std::to_string(v.unitsFound) +
             "; Set IP possible: " + (v.setIpPossible ? "yes" : "no (" + v.why + ")");
    return v;
}

std::string DiagnosisText(const DiagnosisFindings& findings)
{
    std::string out;
    auto row = [&out](const char* label, const std::string& value) {
        char head[32];
        std::snprintf(head, sizeof head, "  %-16s: ", label);
        out += head + value + "\n";
    };
    for (const CardFindings& card : findings.cards) {
        out += card.name + "\n";
        row("carrier", CarrierText(card));
        row("address", AddressText(card));
        row("default route", RouteText(card));
        row("units seen", std::to_string(card.units.size()));
        for (const UnitNeighbour& unit : card.units) {
            const std::string note = UnitNote(card, unit);
            out += "    " + MacDashText(unit.mac) + "  " + unit.address.Dotted() +
                   (note.empty() ? "" : "  (" + note + ")") + "\n";
        }
        row("DHCP server", DhcpText(card.dhcpServer));
        row("firewall UDP 67", FirewallText(card.firewall));
        if (const std::string command = OpenPort67Command(card.firewall, card.name);
            !command.empty())
            row("  to open (root)", command);
        row("verdict", JudgeCardFindings(card, findings.privileges).line);
        out += "\n";
    }
    if (findings.cards.empty())
        out += "no network card\n\n";
    const PrivilegeFindings& p = findings.privileges;
    out += std::string("ICMP path: ") + IcmpPathName(p.icmpPath) +
           (p.icmpPath != IcmpPath::None ? " (this account may use it)" : ": " + p.icmpDetail) +
           "\n";
    out += std::string("UDP port 67: ") + (p.port67Usable ? "usable, " : "not usable, ") +
           p.port67How + "\n";
    if (!findings.neighbourError.empty())
        out += "neighbour table: " + findings.neighbourError + "\n";
    return out;
}

std::string DiagnosisJson(const DiagnosisFindings& findings)
{
    std::string cards;
    for (const CardFindings& card : findings.cards) {
        const CardVerdict v = JudgeCardFindings(card, findings.privileges);
        std::string units;
        for (const UnitNeighbour& unit : card.units)
            units += std::string(units.empty() ? "" : ", ") + "{" +
                     Pair("mac", JsonText(MacDashText(unit.mac))) + ", " +
                     Pair("address", JsonText(unit.address.Dotted())) + ", " +
                     Pair("usable", unit.usable ? "true" : "false") + ", " +
                     Pair("note", JsonText(UnitNote(card, unit))) + "}";
        const std::string carrier = !card.up       ? "false"
                                    : card.carrier ? (*card.carrier ? "true" : "false")
                                                   : "null";
        cards +=
            std::string(cards.empty() ? "" : ", ") + "{" + Pair("name", JsonText(card.name)) +
            ", " + Pair("up", card.up ? "true" : "false") + ", " + Pair("carrier", carrier) + ", " +
            Pair("address", card.address ? JsonText(card.address->Dotted()) : "null") + ", " +
            Pair("prefixLength", std::to_string(card.address ? card.prefixLength : 0)) + ", " +
            Pair("block", JsonText(Block(card))) + ", " +
            Pair("linkLocalOnly", card.linkLocalOnly ? "true" : "false") + ", " +
            Pair("defaultRoute", card.defaultRoute ? "true" : "false") + ", " +
            Pair("gateway", card.gateway.IsZero() ? "null" : JsonText(card.gateway.Dotted())) +
            ", " + Pair("units", "[" + units + "]") + ", " +
            Pair("dhcpServer", JsonText(DhcpText(card.dhcpServer))) + ", " +
            Pair("firewall",
                 "{" + Pair("verdict", JsonText(VerdictName(card.firewall.verdict))) + ", " +
                     Pair("frontEnd", JsonText(FrontEndName(card.firewall.frontEnd))) + ", " +
                     Pair("reason", JsonText(card.firewall.reason)) + ", " +
                     Pair("command", JsonText(OpenPort67Command(card.firewall, card.name))) + "}") +
            ", " + Pair("unitsFound", std::to_string(v.unitsFound)) + ", " +
            Pair("setIpPossible", v.setIpPossible ? "true" : "false") + ", " +
            Pair("verdict", JsonText(v.line)) + "}";
    }
    const PrivilegeFindings& p = findings.privileges;
    return "{" + Pair("cards", "[" + cards + "]") + ", " +
           Pair("icmp", "{" + Pair("path", JsonText(IcmpPathName(p.icmpPath))) + ", " +
                            Pair("usable", p.icmpPath != IcmpPath::None ? "true" : "false") + ", " +
                            Pair("detail", JsonText(p.icmpDetail)) + "}") +
           ", " +
           Pair("port67", "{" + Pair("usable", p.port67Usable ? "true" : "false") + ", " +
                              Pair("how", JsonText(p.port67How)) + "}") +
           ", " + Pair("neighbourError", JsonText(findings.neighbourError)) + "}\n";
}

std::vector<std::string> DiagnosisLogLines(const DiagnosisFindings& findings)
{
    std::vector<std::string> lines;
    auto add = [&lines](std::string line) {
        for (char& c : line)
            if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7f)
                c = '?';
        if (line.size() > 257)
            line.resize(257);
        lines.push_back(line + "\r\n");
    };
    add(" Diagnosis of the PC's cards");
    for (const CardFindings& card : findings.cards) {
        const std::string tag = "  [" + card.name + "] ";
        add(tag + "carrier " + CarrierText(card) + "; address " + AddressText(card) +
            "; default route " + RouteText(card) + "; DHCP server " + DhcpText(card.dhcpServer));
        for (const UnitNeighbour& unit : card.units) {
            const std::string note = UnitNote(card, unit);
            add(tag + "unit " + MacLogText(unit.mac) + " at " + unit.address.LogForm() +
                (note.empty() ? "" : ": " + note));
        }
        add(tag + "firewall UDP 67 " + FirewallText(card.firewall));
        add(tag + JudgeCardFindings(card, findings.privileges).line);
    }
    const PrivilegeFindings& p = findings.privileges;
    add(std::string("  ICMP path: ") + IcmpPathName(p.icmpPath) +
        (p.icmpDetail.empty() ? "" : "; " + p.icmpDetail));
    add(std::string("  UDP port 67: ") + (p.port67Usable ? "usable, " : "not usable, ") +
        p.port67How);
    return lines;
}

} // namespace zelvo
