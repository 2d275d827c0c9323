#pragma once
#include "platform/NetAddress.h"
#include "platform/Outcome.h"

#include <cstdint>
#include <string>
#include <vector>

namespace zelvo {

// One IPv4 address of one interface, as the kernel lists it.
struct InterfaceEntry
{
    std::string name;      // "eth0"
    Ipv4Address address;   // the interface's address
    SubnetMask netmask{};  // its netmask
    bool up = false;       // IFF_UP
    bool loopback = false; // IFF_LOOPBACK
};

// One read of the interface list: its IPv4 entries, in the kernel's order.
using InterfaceListRead = Outcome<std::vector<InterfaceEntry>>;

// The PC's network interfaces. The Linux implementation reads them with getifaddrs;
// tests substitute a fake.
// Thread safety: both operations may be called from any thread.
class NetworkInterfaceList
{
public:
    virtual ~NetworkInterfaceList() = default;
    virtual InterfaceListRead ReadIpv4Interfaces() const = 0;
    // Opens a UDP socket and closes it again.
    virtual Outcome<void> ProbeUdpSocket() const = 0;
};

// The interface list of this machine.
const NetworkInterfaceList& SystemNetworkInterfaceList();

} // namespace zelvo
