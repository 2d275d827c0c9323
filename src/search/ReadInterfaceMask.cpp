#include "search/ReadInterfaceMask.h"

namespace zelvo {

SubnetMask MaskForAddress(const std::vector<InterfaceEntry>& entries, Ipv4Address pcAddress,
                          SubnetMask currentMask)
{
    if (pcAddress.IsZero())
        return currentMask;
    for (const InterfaceEntry& entry : entries) {
        if (entry.address == pcAddress)
            currentMask = entry.netmask;
    }
    return currentMask;
}

int ReadInterfaceMask(const NetworkInterfaceList& interfaces, Ipv4Address pcAddress,
                      SubnetMask& mask)
{
    const InterfaceListRead read = interfaces.ReadIpv4Interfaces();
    if (!read.Ok())
        return 0;
    mask = MaskForAddress(read.Value(), pcAddress, mask);
    return 1;
}

} // namespace zelvo
