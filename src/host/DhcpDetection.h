#pragma once
#include "core/MessageBoxes.h"
#include "core/RunState.h"
#include "platform/HostPlatform.h"
#include "platform/NetAddress.h"

#include <optional>
#include <string>

namespace zelvo {

// Whether the PC's DHCP client knowledge can be asked at all: the kernel's links,
// addresses and routes (rtnetlink) are what every other source is checked against.
enum class DhcpApiState
{
    Ready,
    EntryMissing,
    LibraryMissing
};

enum class DhcpQueryMode
{
    Full,
    MaskOnly
};

// The interface that carries the PC's address, with the network read it was found in.
struct PcAdapter
{
    std::string name; // "eth0", what the DHCP clients know it by
    int index = 0;    // ifindex
    HostNetworkState network;
};

// What the PC's DHCP situation comes to for one interface.
struct DhcpOptionsVerdict
{
    bool leased = false;               // a DHCP server configured the interface
    bool maskPresent = false;          // the server's answer holds a subnet mask
    std::optional<Ipv4Address> router; // the first router the server gave
    int errorCode = 0;                 // a failed query's errno value
    int bufferSize = 256;              // the option buffer that held the answer
};

// The initial option buffer of a DHCP client query, doubled while the answer does not
// fit in it.
constexpr int kDhcpOptionBufferBytes = 256;

// Judges one interface. When a DHCP client that knows the server's options answered
// (NetworkManager, networkd), its options decide. Otherwise the kernel decides: the
// interface is leased when its first address expires (not IFA_F_PERMANENT) or when a
// default route through it was made by a DHCP client; the router is then the gateway of
// the lowest-metric default route through it. A DHCP client process that merely runs
// for the interface is not enough: it may be retrying with no server in reach.
DhcpOptionsVerdict JudgeDhcpOptions(const Outcome<DhcpClientReport>& asked,
                                    const HostNetworkState& network, int interfaceIndex);

// Sets the process-wide subnet mask from the interface that carries the PC's address and,
// when no interface has a non-zero mask, walks the PC's other interfaces; each mask set
// is shown in a box when "/disip" is on. nullopt when the links cannot be read or no
// interface has a non-zero mask; a system without rtnetlink also clears
// NetInfoAvailable. UI thread only.
std::optional<PcAdapter> ReadAdapterMask(RunState& state, HostPlatform& platform,
                                         MessageBoxes& boxes);

// 0 when a DHCP server gave the PC's interface both a subnet mask and a router, -1
// otherwise. Logs "   buffer size=%d" and, on success, " Gateway Addr\t: %s.". A query
// that failed for another reason than "no lease" is shown in a box. UI thread only.
int QueryDhcpOptions(DhcpQueryMode mode, RunState& state, HostPlatform& platform,
                     MessageBoxes& boxes);

// 1 when a DHCP server configured the PC (DhcpServerPresent), else 0. May set the subnet
// mask, may show the "/disip" box, may clear NetInfoAvailable. UI thread only.
int DetectDhcpServer(RunState& state, HostPlatform& platform, MessageBoxes& boxes);

} // namespace zelvo
