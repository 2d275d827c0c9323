#include "platform/DhcpServerSocket.h"

#include "platform/DatagramIo.h"
#include "platform/DatagramReceive.h"
#include "platform/UdpPortHolder.h"
#include "platform/WaitReadable.h"

#include <cerrno>

namespace zelvo {

namespace {

constexpr uint16_t kDhcpServerPort = 67;
constexpr uint16_t kDhcpClientPort = 68;

class LinuxDhcpServerSocket final : public DhcpServerSocket
{
public:
    explicit LinuxDhcpServerSocket(UniqueFd fd) : m_fd(std::move(fd)) {}

    Outcome<DatagramReceipt> Receive(std::span<uint8_t> buffer,
                                     const std::atomic<bool>* stop) override
    {
        return ReceiveDatagram(m_fd.Get(), buffer, stop);
    }

    Outcome<std::size_t> Send(std::span<const uint8_t> bytes, Ipv4Address destination,
                              int interfaceIndex) override
    {
        // The interface picks the way out; the kernel picks its address as source.
        return SendDatagram(m_fd.Get(), bytes, {destination, kDhcpClientPort, interfaceIndex, {}});
    }

private:
    UniqueFd m_fd;
};

// Port 67 through the helper: it passes on what arrives and checks each reply.
class HelperDhcpServerSocket final : public DhcpServerSocket
{
public:
    explicit HelperDhcpServerSocket(std::unique_ptr<SockHelperSession> session)
        : m_session(std::move(session))
    {
    }

    Outcome<DatagramReceipt> Receive(std::span<uint8_t> buffer,
                                     const std::atomic<bool>* stop) override
    {
        return m_session->Receive(buffer, {SystemClock(), kNoDeadline, stop});
    }

    Outcome<std::size_t> Send(std::span<const uint8_t> bytes, Ipv4Address destination,
                              int interfaceIndex) override
    {
        return m_session->Send(bytes, {destination, kDhcpClientPort, interfaceIndex, {}});
    }

private:
    std::unique_ptr<SockHelperSession> m_session;
};

class SystemOpener final : public DhcpSocketOpener
{
public:
    DhcpSocketOpen Open() override
    {
        PrivilegedSocketRequest request;
        request.kind = PrivilegedSocketKind::DhcpServer;
        SocketAcquisition acquired = AcquirePrivilegedSocket(request);
        DhcpSocketOpen open;
        open.problem = acquired.problem;
        open.error = acquired.error;
        open.detail = std::move(acquired.detail);
        if (acquired.socket.Valid())
            open.socket = MakeDhcpServerSocket(std::move(acquired.socket));
        else if (acquired.session)
            open.socket = std::make_unique<HelperDhcpServerSocket>(std::move(acquired.session));
        else if (acquired.error == EADDRINUSE)
            open.portHolder = UdpPortHolder(kDhcpServerPort).value_or("");
        return open;
    }
};

} // namespace

std::unique_ptr<DhcpServerSocket> MakeDhcpServerSocket(UniqueFd fd)
{
    return std::make_unique<LinuxDhcpServerSocket>(std::move(fd));
}

DhcpSocketOpener& SystemDhcpSockets()
{
    static SystemOpener opener;
    return opener;
}

} // namespace zelvo
