#include "platform/DhcpServerSocket.h"

#include "platform/UdpPortHolder.h"

#include <netinet/in.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>

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
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(kDhcpClientPort);
        to.sin_addr.s_addr = destination.nbo;
        iovec iov{const_cast<uint8_t*>(bytes.data()), bytes.size()};
        alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))] = {};
        msghdr msg{};
        msg.msg_name = &to;
        msg.msg_namelen = sizeof to;
        msg.msg_iov = &iov;
        msg.msg_iovlen = 1;
        if (interfaceIndex > 0) {
            // The interface picks the way out; the kernel picks its address as source.
            msg.msg_control = control;
            msg.msg_controllen = sizeof control;
            cmsghdr* c = CMSG_FIRSTHDR(&msg);
            c->cmsg_level = IPPROTO_IP;
            c->cmsg_type = IP_PKTINFO;
            c->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
            in_pktinfo info{};
            info.ipi_ifindex = interfaceIndex;
            std::memcpy(CMSG_DATA(c), &info, sizeof info);
        }
        ssize_t sent;
        do
            sent = ::sendmsg(m_fd.Get(), &msg, MSG_NOSIGNAL);
        while (sent < 0 && errno == EINTR);
        return static_cast<long>(sent);
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
