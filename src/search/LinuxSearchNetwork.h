#pragma once
#include "platform/IcmpSocket.h"
#include "platform/NameLookups.h"
#include "search/ComputerName.h"
#include "search/SearchNetwork.h"

#include <atomic>
#include <functional>
#include <memory>
#include <vector>

namespace zelvo {

// The search's network on Linux: echo probes on the system's ICMP sockets (a ping socket
// where the system allows one, else a raw socket of our own or from the helper), the
// neighbour table through rtnetlink, names through NetBIOS, the resolver and mDNS. The log
// says in one line which kind of socket the probes use, and again when that changes; when
// none can be had, it says why, so that a search that finds nothing is explained.
// Thread safety: all operations from any thread, also concurrently.
class LinuxSearchNetwork final : public SearchNetwork
{
public:
    // The addresses of the cards the broadcast leaves through, asked for at every
    // broadcast; one socket per card sends it.
    using AddressSource = std::function<std::vector<Ipv4Address>()>;

    LinuxSearchNetwork(IcmpSocketFactory& sockets, NameLookups& lookups, AddressSource pcAddress,
                       NameLookupTimeouts timeouts = {});
    ~LinuxSearchNetwork() override;

    int EchoProbe(Ipv4Address address, int timeoutMs) override;
    int BroadcastEcho() override;
    int EchoProbeUnlessStopped(Ipv4Address address, int timeoutMs,
                               const std::atomic<bool>& stop) override;
    int BroadcastEchoUnlessStopped(const std::atomic<bool>& stop) override;
    NeighbourRead ReadNeighbours() override;
    std::optional<std::string> ReverseName(Ipv4Address address) override;
    SocketProblem IcmpProblem() const override;

private:
    class ReportingSockets;
    std::unique_ptr<ReportingSockets> m_sockets;
    NameLookups& m_lookups;
    AddressSource m_pcAddress;
    NameLookupTimeouts m_timeouts;
};

// The tool's network: system sockets, lookups and clock; the broadcast leaves through
// every card of the PC as it is at that moment (SystemPcCards), or through the PC's
// address from the start-up survey when no card has an address. Lives as long as the
// process.
std::shared_ptr<SearchNetwork> SystemSearchNetwork();

} // namespace zelvo
