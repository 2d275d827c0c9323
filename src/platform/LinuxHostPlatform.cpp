#include "platform/CapturedCommand.h"
#include "platform/Files.h"
#include "platform/HostNetlinkParse.h"
#include "platform/HostPlatform.h"
#include "platform/NetworkNamespace.h"
#include "platform/PcDhcpClientState.h"
#include "platform/RtnetlinkDump.h"
#include "platform/UniqueFd.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <dirent.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <netinet/in.h>
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

// Reads the link, address and route dumps one after another on one socket. 0, EINTR when
// the kernel marked a dump inconsistent (the tables changed meanwhile; read again), or
// another errno value.
int ReadAllDumps(HostDumpAccumulator& into)
{
    const Outcome<UniqueFd> socket = OpenRouteSocket();
    if (!socket.Ok())
        return socket.Code();
    const auto dump = [&](uint32_t sequence, const std::vector<uint8_t>& request) {
        const Outcome<DumpRead> read = RunDump(
            socket.Value().Get(), request,
            [&](std::span<const uint8_t> datagram) {
                return ParseRtnetlinkChunk(datagram, sequence, into);
            },
            SystemClock(), kNetlinkReplyMs);
        return !read.Ok() ? read.Code() : read.Value().interrupted ? EINTR : 0;
    };
    ifinfomsg link{};
    link.ifi_family = AF_UNSPEC;
    if (int e = dump(1, BuildDumpRequest(RTM_GETLINK, 1, link)))
        return e;
    ifaddrmsg address{};
    address.ifa_family = AF_INET;
    if (int e = dump(2, BuildDumpRequest(RTM_GETADDR, 2, address)))
        return e;
    rtmsg route{};
    route.rtm_family = AF_INET;
    return dump(3, BuildDumpRequest(RTM_GETROUTE, 3, route));
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
        return UniqueFd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP)).Valid();
    }

    std::optional<std::string> HostName() override
    {
        char name[HOST_NAME_MAX + 1] = {};
        if (::gethostname(name, sizeof name - 1) != 0)
            return std::nullopt;
        return std::string(name);
    }

    bool NetworkInfoAvailable() override { return OpenRouteSocket().Ok(); }

    Outcome<HostNetworkState> ReadNetworkState() override
    {
        for (int attempt = 0;; ++attempt) {
            HostDumpAccumulator accumulator;
            const int error = ReadAllDumps(accumulator);
            if (error == 0)
                return accumulator.Finish();
            if (error != EINTR || attempt == 2)
                return Failure{error};
        }
    }

    Outcome<DhcpClientReport> AskDhcpClients(const std::string& interfaceName,
                                             int interfaceIndex) override
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
