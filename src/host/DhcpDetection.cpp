#include "host/DhcpDetection.h"

#include "core/PcCards.h"

#include "core/HostInfo.h"
#include "core/LogWriter.h"
#include "core/MessageCatalogue.h"
#include "core/SubnetMask.h"
#include "host/OsClass.h"
#include "host/PcNetwork.h"
#include "platform/ErrnoText.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <linux/rtnetlink.h>

namespace zelvo {
namespace {

const HostInterface* FindInterface(const HostNetworkState& network, int index)
{
    const auto it = std::find_if(network.interfaces.begin(), network.interfaces.end(),
                                 [index](const HostInterface& l) { return l.index == index; });
    return it == network.interfaces.end() ? nullptr : &*it;
}

const HostIfAddress* FirstUsableAddress(const HostInterface& link)
{
    for (const HostIfAddress& a : link.addresses) {
        const Ipv4Address address = a.address;
        if (!address.IsZero() && address.Octets()[0] != 127)
            return &a;
    }
    return nullptr;
}

// The text of the box for a DHCP client query that failed with errorCode.
std::string DhcpQueryErrorText(int language, int errorCode)
{
    char detail[LogWriter::kLineBuffer];
    std::snprintf(detail, sizeof detail, "0x%04x: %s", errorCode, ErrnoText(errorCode).c_str());
    return MessageCatalogue::Choose(language, 903, 904) + detail;
}

bool MeansUnsupported(int errorCode)
{
    return errorCode == EAFNOSUPPORT || errorCode == EPROTONOSUPPORT || errorCode == EOPNOTSUPP;
}

} // namespace

DhcpOptionsVerdict JudgeDhcpOptions(const Outcome<DhcpClientReport>& asked,
                                    const HostNetworkState& network, int interfaceIndex)
{
    DhcpOptionsVerdict verdict;
    verdict.errorCode = asked.Code();
    const DhcpClientReport report = asked.ValueOr({});
    int optionBytes = 0;
    if (report.optionsKnown) {
        verdict.leased = true;
        verdict.maskPresent = report.maskText.has_value();
        for (Ipv4Address router : report.routers) {
            if (!router.IsZero() && !verdict.router)
                verdict.router = router;
        }
        optionBytes = (verdict.maskPresent ? 4 : 0) + 4 * static_cast<int>(report.routers.size());
    } else if (const HostInterface* link = FindInterface(network, interfaceIndex)) {
        const HostIfAddress* address = FirstUsableAddress(*link);
        const bool dhcpRoute =
            std::any_of(network.defaultRoutes.begin(), network.defaultRoutes.end(),
                        [interfaceIndex](const HostDefaultRoute& r) {
                            return r.interfaceIndex == interfaceIndex && r.protocol == RTPROT_DHCP;
                        });
        // A client process that runs tells only that it asks: one that keeps retrying
        // with no server in reach runs just the same beside an address and a gateway set
        // by hand. It is no lease without the kernel's own sign of one: an address that
        // expires or a route that a DHCP client made.
        verdict.leased = address != nullptr && (!address->permanent || dhcpRoute);
        // The mask the server gave is the prefix the client put on the address.
        verdict.maskPresent = verdict.leased;
        if (verdict.leased) {
            const auto route = BestDefaultRoute(network, interfaceIndex);
            if (route && !route->gateway.IsZero())
                verdict.router = route->gateway;
        }
        optionBytes = (verdict.maskPresent ? 4 : 0) + (verdict.router ? 4 : 0);
    }
    while (verdict.bufferSize < optionBytes)
        verdict.bufferSize *= 2;
    return verdict;
}

std::optional<PcAdapter> ReadAdapterMask(RunState& state, HostPlatform& platform,
                                         MessageBoxes& boxes)
{
    const Outcome<HostNetworkState> read = platform.ReadNetworkState();
    if (!read.Ok()) {
        if (MeansUnsupported(read.Code()))
            state.host.NetInfoAvailable = 0;
        return std::nullopt;
    }
    HostNetworkState network = read.Value();
    ApplyCardRestriction(network);
    const PcNetworkView view = ViewPcNetwork(network);

    // The PC's own interface first; the others only matter when it has no mask.
    std::vector<std::pair<std::size_t, SubnetMask>> walk;
    if (view.pcInterface)
        walk.emplace_back(*view.pcInterface, MaskFromPrefixLength(view.pcPrefixLength));
    for (std::size_t i = 0; i < network.interfaces.size(); ++i) {
        const HostInterface& link = network.interfaces[i];
        if (!link.up || link.loopback || (view.pcInterface && i == *view.pcInterface))
            continue;
        const HostIfAddress* address = FirstUsableAddress(link);
        walk.emplace_back(i, address ? MaskFromPrefixLength(address->prefixLength) : SubnetMask{});
    }

    constexpr SubnetMask kNoMask = {0, 0, 0, 0};
    for (const auto& [i, mask] : walk) {
        ProcessPcSubnet().subnetMask = mask;
        if (state.m_bShowMask)
            boxes.Show(SubnetMaskBoxText(mask), MessageIcon::Exclamation, MessageButtons::Ok);
        if (mask != kNoMask) {
            PcAdapter adapter;
            adapter.name = network.interfaces[i].name;
            adapter.index = network.interfaces[i].index;
            adapter.network = std::move(network);
            return adapter;
        }
    }
    return std::nullopt;
}

int QueryDhcpOptions(DhcpQueryMode mode, RunState& state, HostPlatform& platform,
                     MessageBoxes& boxes)
{
    const std::optional<PcAdapter> adapter = ReadAdapterMask(state, platform, boxes);
    if (!adapter)
        return -1;
    if (mode == DhcpQueryMode::MaskOnly)
        return -1;

    const DhcpOptionsVerdict verdict = JudgeDhcpOptions(
        platform.AskDhcpClients(adapter->name, adapter->index), adapter->network, adapter->index);
    LogWriter::Appendf("   buffer size=%d\r\n", verdict.bufferSize);

    if (verdict.errorCode != 0) {
        // "No lease for this interface" is an answer, not a failure.
        if (verdict.errorCode != ENOENT)
            boxes.Show(DhcpQueryErrorText(state.language, verdict.errorCode),
                       MessageIcon::Exclamation, MessageButtons::Ok);
        return -1;
    }
    if (!verdict.leased || !verdict.maskPresent || !verdict.router)
        return -1;
    LogWriter::Appendf(" Gateway Addr\t: %s.\r\n", verdict.router->Dotted().c_str());
    return 0;
}

int DetectDhcpServer(RunState& state, HostPlatform& platform, MessageBoxes& boxes)
{
    const DhcpApiState api =
        platform.NetworkInfoAvailable() ? DhcpApiState::Ready : DhcpApiState::LibraryMissing;
    int result = -1;
    switch (state.host.OsClass) {
    case kOsWindows98:
    case kOsWindows2000:
    case kOsWindowsMe:
        result = QueryDhcpOptions(api == DhcpApiState::Ready ? DhcpQueryMode::Full
                                                             : DhcpQueryMode::MaskOnly,
                                  state, platform, boxes);
        break;
    default:
        // NT 4.0 kept its DHCP values in a registry this system does not have; an
        // unsupported system never gets here.
        result = -1;
        break;
    }
    return result == -1 ? 0 : 1;
}

} // namespace zelvo
