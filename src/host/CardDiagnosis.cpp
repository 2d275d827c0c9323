#include "host/CardDiagnosis.h"

#include "core/IsUnitMac.h"
#include "core/LogWriter.h"
#include "host/DhcpDetection.h"
#include "host/PcNetwork.h"
#include "platform/IcmpSocket.h"
#include "platform/Port67Access.h"

namespace zelvo {
namespace {

bool IsLinkLocal(Ipv4Address a)
{
    const auto o = a.Octets();
    return o[0] == 169 && o[1] == 254;
}

bool SameBlock(Ipv4Address a, Ipv4Address b, int prefixLength)
{
    if (prefixLength <= 0)
        return true;
    const uint32_t mask = ~uint32_t{0} << (32 - std::min(prefixLength, 32));
    return (a.HostOrder() & mask) == (b.HostOrder() & mask);
}

DhcpSeen AskDhcpClients(HostPlatform& host, const HostInterface& card,
                        const HostNetworkState& network)
{
    return JudgeDhcpOptions(host.AskDhcpClients(card.name, card.index), network, card.index).leased
               ? DhcpSeen::Yes
               : DhcpSeen::No;
}

} // namespace

PrivilegeFindings DiagnosisSources::ReadPrivilegeFindings()
{
    PrivilegeFindings p;
    // Opened and closed at once: nothing is sent.
    const IcmpSocketOpen icmp = SystemIcmpSockets().Open({});
    p.icmpPath = icmp.socket ? icmp.path : IcmpPath::None;
    if (!icmp.socket)
        p.icmpDetail = icmp.detail;
    const Port67Access port = ReadPort67Access();
    p.port67Usable = port.usable || p.icmpPath == IcmpPath::HelperRaw;
    p.port67How = port.usable || p.icmpPath != IcmpPath::HelperRaw
                      ? port.how
                      : std::string("the helper zelvo-sockhelper");
    return p;
}

DiagnosisFindings SurveyCards(DiagnosisSources& sources, const std::string& onlyCard)
{
    DiagnosisFindings findings;
    const Outcome<HostNetworkState> read = sources.host.ReadNetworkState();
    const HostNetworkState network = read.ValueOr({});
    const NeighbourRead neighbours = sources.neighbours ? sources.neighbours() : NeighbourRead{};
    if (!neighbours.Ok())
        findings.neighbourError =
            "the neighbour table could not be read: " + neighbours.Error().reason;
    if (!read.Ok())
        findings.neighbourError += (findings.neighbourError.empty() ? "" : "; ") +
                                   std::string("the links could not be read");
    const FirewallRuleset firewall = sources.firewall ? sources.firewall() : FirewallRuleset{};
    findings.privileges = sources.privileges ? sources.privileges() : PrivilegeFindings{};

    for (const HostInterface& link : network.interfaces) {
        if (link.loopback || (!onlyCard.empty() && link.name != onlyCard))
            continue;
        CardFindings card;
        card.name = link.name;
        card.index = link.index;
        card.up = link.up;
        card.carrier = link.up && link.carrier;
        card.hasMac = link.hasMac && !IsZeroMac(link.mac);
        bool anyAddress = false;
        for (const HostIfAddress& a : link.addresses) {
            anyAddress = true;
            if (!card.address && !IsLinkLocal(a.address)) {
                card.address = a.address;
                card.prefixLength = a.prefixLength;
            }
        }
        card.linkLocalOnly = anyAddress && !card.address;
        if (const auto route = BestDefaultRoute(network, link.index)) {
            card.defaultRoute = true;
            card.gateway = route->gateway;
        }
        for (const NeighbourEntry& entry : neighbours.ValueOr({}))
            if (entry.interfaceIndex == link.index && IsUnitMac(entry.mac))
                card.units.push_back(
                    {entry.address, entry.mac,
                     card.address && !IsLinkLocal(entry.address) &&
                         SameBlock(entry.address, *card.address, card.prefixLength)});
        if (card.address)
            card.dhcpServer = sources.dhcp ? sources.dhcp(link, network)
                                           : AskDhcpClients(sources.host, link, network);
        card.firewall =
            JudgeCardFirewall(firewall, link.name, card.address ? *card.address : Ipv4Address());
        findings.cards.push_back(std::move(card));
    }
    return findings;
}

void LogCardDiagnosis(const RunState& state)
{
    DiagnosisSources sources;
    const int pcCard = state.host.adapterIndex;
    const bool pcDhcp = state.host.DhcpServerPresent != 0;
    sources.dhcp = [pcCard, pcDhcp](const HostInterface& card, const HostNetworkState&) {
        if (card.index != pcCard)
            return DhcpSeen::NotChecked;
        return pcDhcp ? DhcpSeen::Yes : DhcpSeen::No;
    };
    for (const std::string& line : DiagnosisLogLines(SurveyCards(sources)))
        LogWriter::Append(line.c_str());
}

} // namespace zelvo
