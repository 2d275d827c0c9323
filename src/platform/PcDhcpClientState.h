#pragma once
#include "platform/HostPlatform.h"

#include <string>
#include <string_view>
#include <vector>

namespace zelvo {

// This PC's own DHCP client, as its network managers and client processes show it: who
// configured the PC's interface, with which mask and routers. (The DHCP messages the
// tool itself answers are another matter, in dhcp/.)

// The output of `nmcli -g DHCP4 device show IF` (values joined by " | ") or of the terse
// form `nmcli -t -f DHCP4 device show IF` (one "DHCP4.OPTION[n]:key = value" a line).
// A device with any DHCP4 option is reported with source NetworkManager, its
// "subnet_mask" as maskText and its "routers" (space-separated) as routers; an
// output without options reports source None.
DhcpClientReport ParseNmcliDhcp4(std::string_view output);

// A systemd-networkd lease file (/run/systemd/netif/leases/<ifindex>): KEY=value lines;
// NETMASK= and ROUTER= (space-separated) are read. Any lease file means a lease.
DhcpClientReport ParseNetworkdLease(std::string_view fileText);

// The NUL-separated words of /proc/<pid>/cmdline.
std::vector<std::string> SplitCommandLine(std::string_view raw);

// True when argv is a DHCP client (udhcpc, also as "busybox udhcpc"; dhclient; dhcpcd)
// that serves interfaceName: udhcpc names it with -i/--interface, dhclient and dhcpcd as
// a plain argument.
bool IsDhcpClientFor(const std::vector<std::string>& argv, std::string_view interfaceName);

} // namespace zelvo
