#pragma once
#include "platform/NetAddress.h"
#include "platform/NetworkInterfaceList.h"

#include <array>
#include <cstdint>
#include <vector>

namespace zelvo {

// The netmask of the interface that carries pcAddress, or currentMask when none does
// (or when pcAddress is 0.0.0.0). When several interfaces carry the address, the last
// one listed wins.
SubnetMask MaskForAddress(const std::vector<InterfaceEntry>& entries, Ipv4Address pcAddress,
                          SubnetMask currentMask);

// The fallback source of the subnet mask at the main window's initialisation: reads the
// interface list and takes the netmask of the interface with the PC's address into
// mask. 1 when the list was read (whether or not the address was in it), 0 when it
// could not be read. UI thread, before any worker that reads the mask starts.
int ReadInterfaceMask(const NetworkInterfaceList& interfaces, Ipv4Address pcAddress,
                      SubnetMask& mask);

} // namespace zelvo
