#include "core/HostInfo.h"

namespace zelvo {

HostGlobals& ProcessHost()
{
    static HostGlobals globals;
    return globals;
}

} // namespace zelvo
