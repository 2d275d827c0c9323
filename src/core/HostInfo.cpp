#include "core/HostInfo.h"

namespace zelvo {

PcSubnet& ProcessPcSubnet()
{
    static PcSubnet globals;
    return globals;
}

} // namespace zelvo
