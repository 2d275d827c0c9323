#include "platform/NetworkInterfaceList.h"

#include "platform/UniqueFd.h"

#include <cerrno>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace zelvo {
namespace {

class LinuxNetworkInterfaceList final : public NetworkInterfaceList
{
public:
    InterfaceListRead ReadIpv4Interfaces() const override
    {
        ifaddrs* list = nullptr;
        if (::getifaddrs(&list) != 0)
            return Failure{errno};
        std::vector<InterfaceEntry> entries;
        for (const ifaddrs* it = list; it != nullptr; it = it->ifa_next) {
            // Interfaces without an address (a link that has no IPv4 configured) and
            // the other families are listed too; only IPv4 addresses matter here.
            if (it->ifa_addr == nullptr || it->ifa_addr->sa_family != AF_INET)
                continue;
            InterfaceEntry entry;
            entry.name = it->ifa_name ? it->ifa_name : "";
            entry.address =
                Ipv4Address{reinterpret_cast<const sockaddr_in*>(it->ifa_addr)->sin_addr.s_addr};
            if (it->ifa_netmask != nullptr && it->ifa_netmask->sa_family == AF_INET)
                entry.netmask =
                    Ipv4Address{
                        reinterpret_cast<const sockaddr_in*>(it->ifa_netmask)->sin_addr.s_addr}
                        .Octets();
            entry.up = (it->ifa_flags & IFF_UP) != 0;
            entry.loopback = (it->ifa_flags & IFF_LOOPBACK) != 0;
            entries.push_back(std::move(entry));
        }
        ::freeifaddrs(list);
        return entries;
    }

    Outcome<void> ProbeUdpSocket() const override
    {
        const UniqueFd fd(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP));
        if (!fd.Valid())
            return Failure{errno};
        return {};
    }
};

} // namespace

const NetworkInterfaceList& SystemNetworkInterfaceList()
{
    static const LinuxNetworkInterfaceList list;
    return list;
}

} // namespace zelvo
