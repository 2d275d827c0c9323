#include "search/LinuxSearchNetwork.h"

#include "core/HostInfo.h"
#include "core/LogWriter.h"
#include "core/PcCards.h"
#include "search/EchoProbe.h"

#include <algorithm>
#include <thread>

namespace zelvo {

// Passes every open on, and logs which way the probes send ICMP whenever that changes:
// a ping socket, a raw socket of our own or from the helper, or none (and why).
class LinuxSearchNetwork::ReportingSockets final : public IcmpSocketFactory
{
public:
    explicit ReportingSockets(IcmpSocketFactory& inner) : m_inner(inner) {}

    IcmpSocketOpen Open(const IcmpSocketOptions& options) override
    {
        IcmpSocketOpen open = m_inner.Open(options);
        const IcmpPath now = open.socket ? open.path : IcmpPath::None;
        m_problem.store(open.socket ? SocketProblem::None : open.problem);
        if (m_path.exchange(static_cast<int>(now)) != static_cast<int>(now)) {
            // Whole, not cut to a formatted line's 260 bytes: the advice comes last.
            std::string line;
            switch (now) {
            case IcmpPath::Ping:
                line = " ICMP echo through a ping socket: no privilege needed";
                break;
            case IcmpPath::OwnRaw:
                line =
                    " ICMP echo through a raw socket of this process (CAP_NET_RAW): " + open.detail;
                break;
            case IcmpPath::HelperRaw:
                line = " ICMP echo through zelvo-sockhelper, which keeps its raw socket: " +
                       open.detail;
                break;
            case IcmpPath::None:
                line = " ICMP echo cannot be sent: " + open.detail;
                break;
            }
            LogWriter::Append((line + "\r\n").c_str());
        }
        return open;
    }

    SocketProblem Problem() const { return m_problem.load(); }

private:
    IcmpSocketFactory& m_inner;
    // Unknown before the first open: None is a state worth logging.
    std::atomic<int> m_path{-1};
    std::atomic<SocketProblem> m_problem{SocketProblem::None};
};

LinuxSearchNetwork::LinuxSearchNetwork(IcmpSocketFactory& sockets, NameLookups& lookups,
                                       AddressSource pcAddress, NameLookupTimeouts timeouts)
    : m_sockets(std::make_unique<ReportingSockets>(sockets)), m_lookups(lookups),
      m_pcAddress(std::move(pcAddress)), m_timeouts(timeouts)
{
}

LinuxSearchNetwork::~LinuxSearchNetwork() = default;

int LinuxSearchNetwork::EchoProbe(Ipv4Address address, int timeoutMs)
{
    const EchoServices services{*m_sockets, SystemClock(), EchoIdentifier()};
    return zelvo::EchoProbe(services, address, timeoutMs);
}

namespace {

// The broadcast through each card at once: each waits up to 14 s for its answers, and
// the cards should not wait for each other. 1 when every card's broadcast completed.
int BroadcastThroughEach(const EchoServices& services, const std::vector<Ipv4Address>& outgoing,
                         const std::atomic<bool>* stop)
{
    if (outgoing.size() <= 1)
        return zelvo::BroadcastEcho(services, outgoing.empty() ? Ipv4Address() : outgoing[0], stop);
    std::vector<int> results(outgoing.size(), 0);
    std::vector<std::thread> senders;
    try {
        for (std::size_t i = 1; i < outgoing.size(); ++i)
            senders.emplace_back([&services, &outgoing, &results, stop, i] {
                results[i] = zelvo::BroadcastEcho(services, outgoing[i], stop);
            });
    } catch (...) {
        // No thread to be had: the cards left over send one after the other below.
    }
    results[0] = zelvo::BroadcastEcho(services, outgoing[0], stop);
    for (std::size_t i = senders.size() + 1; i < outgoing.size(); ++i)
        results[i] = zelvo::BroadcastEcho(services, outgoing[i], stop);
    for (std::thread& sender : senders)
        sender.join();
    return std::all_of(results.begin(), results.end(), [](int r) { return r == 1; }) ? 1 : 0;
}

} // namespace

int LinuxSearchNetwork::BroadcastEcho()
{
    const EchoServices services{*m_sockets, SystemClock(), EchoIdentifier()};
    return BroadcastThroughEach(services, m_pcAddress(), nullptr);
}

int LinuxSearchNetwork::EchoProbeUnlessStopped(Ipv4Address address, int timeoutMs,
                                               const std::atomic<bool>& stop)
{
    const EchoServices services{*m_sockets, SystemClock(), EchoIdentifier()};
    return zelvo::EchoProbe(services, address, timeoutMs, &stop);
}

int LinuxSearchNetwork::BroadcastEchoUnlessStopped(const std::atomic<bool>& stop)
{
    const EchoServices services{*m_sockets, SystemClock(), EchoIdentifier()};
    return BroadcastThroughEach(services, m_pcAddress(), &stop);
}

NeighbourRead LinuxSearchNetwork::ReadNeighbours()
{
    return ReadNeighbourTable();
}

std::optional<std::string> LinuxSearchNetwork::ReverseName(Ipv4Address address)
{
    return LookUpComputerName(m_lookups, address, m_timeouts);
}

SocketProblem LinuxSearchNetwork::IcmpProblem() const
{
    return m_sockets->Problem();
}

std::shared_ptr<SearchNetwork> SystemSearchNetwork()
{
    // Never destroyed: a worker left running at exit may still use it.
    static LinuxNameLookups* lookups = new LinuxNameLookups();
    static std::shared_ptr<SearchNetwork>* network = new std::shared_ptr<SearchNetwork>(
        std::make_shared<LinuxSearchNetwork>(SystemIcmpSockets(), *lookups, [] {
            std::vector<Ipv4Address> outgoing;
            for (const PcCard& card : SystemPcCards().usable)
                outgoing.push_back(card.address);
            if (outgoing.empty())
                outgoing.push_back(ProcessPcSubnet().pcAddress);
            return outgoing;
        }));
    return *network;
}

int EchoProbe(Ipv4Address address, int timeoutMs)
{
    return SystemSearchNetwork()->EchoProbe(address, timeoutMs);
}

int BroadcastEcho()
{
    return SystemSearchNetwork()->BroadcastEcho();
}

} // namespace zelvo
