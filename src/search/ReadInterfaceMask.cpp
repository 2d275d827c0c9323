#include "search/ReadInterfaceMask.h"

namespace zelvo {

std::array<uint8_t, 4> MaskForAddress(const std::vector<InterfaceEntry>& entries,
                                      Ipv4Address pcAddress, std::array<uint8_t, 4> currentMask)
{
    if (pcAddress.IsZero())
        return currentMask;
    for (const InterfaceEntry& entry : entries) {
        if (entry.addressNbo == pcAddress.nbo)
            currentMask = Ipv4Address{entry.netmaskNbo}.Octets();
    }
    return currentMask;
}

int ReadInterfaceMask(const NetworkInterfaceList& interfaces, Ipv4Address pcAddress,
                      std::array<uint8_t, 4>& mask)
{
    const InterfaceListRead read = interfaces.ReadIpv4Interfaces();
    if (read.errorCode != 0)
        return 0;
    mask = MaskForAddress(read.entries, pcAddress, mask);
    return 1;
}

} // namespace zelvo
