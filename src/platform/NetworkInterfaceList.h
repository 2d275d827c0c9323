#pragma once
#include "platform/NetAddress.h"

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

// The result of one read of the interface list.
struct InterfaceListRead
{
    int errorCode = 0;                   // 0: read; otherwise the errno of the failure
    std::vector<InterfaceEntry> entries; // IPv4 entries, in the kernel's order
};

// The PC's network interfaces. The Linux implementation reads them with getifaddrs;
// tests substitute a fake.
// Thread safety: both operations may be called from any thread.
class NetworkInterfaceList
{
public:
    virtual ~NetworkInterfaceList() = default;
    virtual InterfaceListRead ReadIpv4Interfaces() const = 0;
    // Opens a UDP socket and closes it again: 0 when that works, else the errno.
    virtual int ProbeUdpSocket() const = 0;
};

// The interface list of this machine.
const NetworkInterfaceList& SystemNetworkInterfaceList();

} // namespace zelvo
