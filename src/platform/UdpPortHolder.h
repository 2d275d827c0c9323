#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zelvo {

// Which program holds a UDP port on this PC, for a message that says why the port cannot
// be had. Only processes whose descriptors this process may look at are found (all of
// them as root, one's own otherwise).
// Thread safety: any thread.
std::optional<std::string> UdpPortHolder(uint16_t port);

// The inodes of the sockets bound to local port `port` in a /proc/net/udp or udp6 text.
std::vector<uint64_t> UdpSocketInodes(std::string_view procNetUdp, uint16_t port);

// A short name for the program: its command name, and for a dnsmasq that libvirt or
// NetworkManager started (their DHCP servers for virtual and shared networks), which.
// cmdline is /proc/<pid>/cmdline with its NUL separators.
std::string DescribePortHolder(std::string_view comm, std::string_view cmdline);

} // namespace zelvo
