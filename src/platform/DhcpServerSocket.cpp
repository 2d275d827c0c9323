#include "platform/DhcpServerSocket.h"

#include "platform/DatagramIo.h"
#include "platform/UdpPortHolder.h"

#include <cerrno>

namespace zelvo {

namespace {

constexpr uint16_t kDhcpServerPort = 67;
constexpr uint16_t kDhcpClientPort = 68;

class LinuxDhcpServerSocket final : public DhcpServerSocket
{
public:
    explicit LinuxDhcpServerSocket(UniqueFd fd) : m_fd(std::move(fd)) {}

    int Descriptor() const override { return m_fd.Get(); }

    long Send(std::span<const uint8_t> bytes, Ipv4Address destination, int interfaceIndex) override
    {
        // The interface picks the way out; the kernel picks its address as source.
        return SendDatagram(m_fd.Get(), bytes, {destination, kDhcpClientPort, interfaceIndex, {}});
    }

private:
    UniqueFd m_fd;
};

class SystemOpener final : public DhcpSocketOpener
{
public:
    DhcpSocketOpen Open() override
    {
        SocketAcquisition acquired = AcquirePrivilegedSocket(PrivilegedSocketKind::DhcpServer);
        DhcpSocketOpen open;
        open.problem = acquired.problem;
        open.error = acquired.error;
        open.detail = std::move(acquired.detail);
        if (acquired.socket.Valid())
            open.socket = MakeDhcpServerSocket(std::move(acquired.socket));
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
