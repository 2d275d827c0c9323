#include "platform/CapturedCommand.h"
#include "platform/PcDhcpClientState.h"
#include "platform/Files.h"
#include "platform/HostNetlinkParse.h"
#include "platform/HostPlatform.h"
#include "platform/NetworkNamespace.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <dirent.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/utsname.h>
#include <unistd.h>
#include <vector>

namespace zelvo {
namespace {

constexpr std::size_t kOsReleaseBytes = 16384;
constexpr std::size_t kLeaseFileBytes = 65536;
constexpr std::size_t kCommandLineBytes = 4096;
constexpr int kNetlinkReplyMs = 2000;
constexpr int kNmcliMs = 3000;

// An rtnetlink socket, closed with its owner.
class RouteSocket
{
public:
    RouteSocket() : m_fd(::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE))
    {
        if (m_fd < 0) {
            m_error = errno;
            return;
        }
        sockaddr_nl local{};
        local.nl_family = AF_NETLINK;
        if (::bind(m_fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
            m_error = errno;
            ::close(m_fd);
            m_fd = -1;
        }
    }
    ~RouteSocket()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    RouteSocket(const RouteSocket&) = delete;
    RouteSocket& operator=(const RouteSocket&) = delete;

    int fd() const { return m_fd; }
    int error() const { return m_error; }

private:
    int m_fd = -1;
    int m_error = 0;
};

// One dump request: the netlink header followed by the family's request structure.
template <typename Body>
int SendDumpRequest(int fd, uint16_t type, uint32_t sequence, const Body& body)
{
    struct
    {
        nlmsghdr header;
        Body body;
    } request{};
    request.header.nlmsg_len = NLMSG_LENGTH(sizeof(Body));
    request.header.nlmsg_type = type;
    request.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
    request.header.nlmsg_seq = sequence;
    request.body = body;
    sockaddr_nl kernel{};
    kernel.nl_family = AF_NETLINK;
    for (;;) {
        const ssize_t sent = ::sendto(fd, &request, request.header.nlmsg_len, 0,
                                      reinterpret_cast<sockaddr*>(&kernel), sizeof kernel);
        if (sent >= 0)
            return 0;
        if (errno != EINTR)
            return errno;
    }
}

// Reads the replies of one dump into the accumulator. 0, EINTR when the kernel marked
// the dump inconsistent (NLM_F_DUMP_INTR: the tables changed meanwhile; read again), or
// another errno value.
int ReadDump(int fd, uint32_t sequence, HostDumpAccumulator& into)
{
    std::vector<uint8_t> buffer(65536);
    for (;;) {
        pollfd pfd{fd, POLLIN, 0};
        const int ready = ::poll(&pfd, 1, kNetlinkReplyMs);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready == 0)
            return ETIMEDOUT;
        if (ready < 0)
            return errno;
        sockaddr_nl from{};
        iovec iov{buffer.data(), buffer.size()};
        msghdr message{};
        message.msg_name = &from;
        message.msg_namelen = sizeof from;
        message.msg_iov = &iov;
        message.msg_iovlen = 1;
        const ssize_t n = ::recvmsg(fd, &message, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return errno;
        if (message.msg_flags & MSG_TRUNC)
            return EMSGSIZE;
        if (from.nl_pid != 0)
            continue; // only the kernel answers a dump
        const std::span<const uint8_t> datagram(buffer.data(), static_cast<std::size_t>(n));
        bool interrupted = false;
        if (datagram.size() >= sizeof(nlmsghdr)) {
            nlmsghdr first{};
            std::memcpy(&first, datagram.data(), sizeof first);
            interrupted = (first.nlmsg_flags & NLM_F_DUMP_INTR) != 0;
        }
        const DumpChunkResult result = ParseRtnetlinkChunk(datagram, sequence, into);
        if (result.progress == DumpProgress::Failed)
            return result.errorCode;
        if (result.progress == DumpProgress::Done)
            return interrupted ? EINTR : 0;
    }
}

int ReadAllDumps(HostDumpAccumulator& into)
{
    RouteSocket socket;
    if (socket.fd() < 0)
        return socket.error();
    uint32_t sequence = 1;

    ifinfomsg link{};
    link.ifi_family = AF_UNSPEC;
    if (int e = SendDumpRequest(socket.fd(), RTM_GETLINK, sequence, link))
        return e;
    if (int e = ReadDump(socket.fd(), sequence, into))
        return e;

    ifaddrmsg address{};
    address.ifa_family = AF_INET;
    if (int e = SendDumpRequest(socket.fd(), RTM_GETADDR, ++sequence, address))
        return e;
    if (int e = ReadDump(socket.fd(), sequence, into))
        return e;

    rtmsg route{};
    route.rtm_family = AF_INET;
    if (int e = SendDumpRequest(socket.fd(), RTM_GETROUTE, ++sequence, route))
        return e;
    return ReadDump(socket.fd(), sequence, into);
}

std::string NetNamespaceOf(const std::string& procDirectory)
{
    char target[128];
    const ssize_t n = ::readlink((procDirectory + "/ns/net").c_str(), target, sizeof target - 1);
    return n > 0 ? std::string(target, static_cast<std::size_t>(n)) : std::string();
}

// A DHCP client process that serves interfaceName in this network namespace. Clients
// of other namespaces (the same process list shows them) configure other links.
bool DhcpClientProcessRuns(const std::string& interfaceName)
{
    const std::string ownNamespace = NetNamespaceOf("/proc/self");
    DIR* proc = ::opendir("/proc");
    if (proc == nullptr)
        return false;
    bool found = false;
    while (!found) {
        const dirent* entry = ::readdir(proc);
        if (entry == nullptr)
            break;
        if (entry->d_name[0] < '0' || entry->d_name[0] > '9')
            continue;
        const std::string directory = std::string("/proc/") + entry->d_name;
        const auto raw = ReadSmallFile(directory + "/cmdline", kCommandLineBytes);
        if (!raw || !IsDhcpClientFor(SplitCommandLine(*raw), interfaceName))
            continue;
        found = !ownNamespace.empty() && NetNamespaceOf(directory) == ownNamespace;
    }
    ::closedir(proc);
    return found;
}

class LinuxHostPlatform final : public HostPlatform
{
public:
    std::optional<OsRelease> ReadOsRelease() override
    {
        utsname names{};
        if (::uname(&names) != 0)
            return std::nullopt;
        OsRelease release;
        release.systemName = names.sysname;
        release.release = names.release;
        auto text = ReadSmallFile("/etc/os-release", kOsReleaseBytes);
        if (!text)
            text = ReadSmallFile("/usr/lib/os-release", kOsReleaseBytes);
        release.osReleaseText = text.value_or(std::string());
        return release;
    }

    bool TcpAvailable() override
    {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
        if (fd < 0)
            return false;
        ::close(fd);
        return true;
    }

    std::optional<std::string> HostName() override
    {
        char name[HOST_NAME_MAX + 1] = {};
        if (::gethostname(name, sizeof name - 1) != 0)
            return std::nullopt;
        return std::string(name);
    }

    bool NetworkInfoAvailable() override { return RouteSocket().fd() >= 0; }

    HostNetworkState ReadNetworkState() override
    {
        for (int attempt = 0;; ++attempt) {
            HostDumpAccumulator accumulator;
            const int error = ReadAllDumps(accumulator);
            if (error == 0)
                return accumulator.Finish();
            if (error != EINTR || attempt == 2) {
                HostNetworkState failed;
                failed.errorCode = error;
                return failed;
            }
        }
    }

    DhcpClientReport AskDhcpClients(const std::string& interfaceName, int interfaceIndex) override
    {
        // NetworkManager and networkd serve the machine's first network namespace and
        // know its links by name and index. In another namespace (a container, a lab)
        // the same name or index is another link, so only the client processes of this
        // namespace are asked there.
        if (InInitialNetworkNamespace() != true) {
            DhcpClientReport report;
            if (DhcpClientProcessRuns(interfaceName))
                report.source = DhcpClientSource::ClientProcess;
            return report;
        }
        // NetworkManager knows the options of the devices it manages; it is not running
        // (or not installed) on many machines, which simply gives no answer.
        if (const auto nm = RunAndCapture({"nmcli", "-g", "DHCP4", "device", "show", interfaceName},
                                          kNmcliMs, kLeaseFileBytes);
            nm && nm->exitStatus == 0) {
            DhcpClientReport report = ParseNmcliDhcp4(nm->standardOutput);
            if (report.source != DhcpClientSource::None)
                return report;
        }
        if (const auto lease = ReadSmallFile(
                "/run/systemd/netif/leases/" + std::to_string(interfaceIndex), kLeaseFileBytes))
            return ParseNetworkdLease(*lease);
        DhcpClientReport report;
        if (DhcpClientProcessRuns(interfaceName))
            report.source = DhcpClientSource::ClientProcess;
        return report;
    }
};

} // namespace

HostPlatform& SystemHostPlatform()
{
    static LinuxHostPlatform platform;
    return platform;
}

} // namespace zelvo
