#include "search/LinuxSearchNetwork.h"

#include "core/LogWriter.h"
#include "core/HostInfo.h"
#include "search/EchoProbe.h"

namespace zelvo {

// Passes every open on, and logs the state of the raw ICMP socket when it changes:
// unavailable (and why), or only a ping socket to be had.
class LinuxSearchNetwork::ReportingSockets final : public IcmpSocketFactory
{
public:
    explicit ReportingSockets(IcmpSocketFactory& inner) : m_inner(inner) {}

    IcmpSocketOpen Open(const IcmpSocketOptions& options) override
    {
        IcmpSocketOpen open = m_inner.Open(options);
        const State now = !open.socket        ? State::Unavailable
                          : open.pingFallback ? State::PingOnly
                                              : State::Raw;
        m_problem.store(open.socket ? SocketProblem::None : open.problem);
        if (m_state.exchange(now) != now) {
            if (now == State::Unavailable)
                LogWriter::Appendf(" ICMP echo cannot be sent: %s\r\n", open.detail.c_str());
            else if (now == State::PingOnly)
                LogWriter::Appendf(" ICMP echo through a ping socket: %s\r\n", open.detail.c_str());
        }
        return open;
    }

    SocketProblem Problem() const { return m_problem.load(); }

private:
    enum class State
    {
        Unknown,
        Raw,
        PingOnly,
        Unavailable
    };
    IcmpSocketFactory& m_inner;
    std::atomic<State> m_state{State::Unknown};
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

int LinuxSearchNetwork::BroadcastEcho()
{
    const EchoServices services{*m_sockets, SystemClock(), EchoIdentifier()};
    return zelvo::BroadcastEcho(services, m_pcAddress());
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
    return zelvo::BroadcastEcho(services, m_pcAddress(), &stop);
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
    static std::shared_ptr<SearchNetwork>* network =
        new std::shared_ptr<SearchNetwork>(std::make_shared<LinuxSearchNetwork>(
            SystemIcmpSockets(), *lookups, [] { return ProcessPcSubnet().pcAddress; }));
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
