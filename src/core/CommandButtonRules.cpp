#include "core/CommandButtonRules.h"

namespace zelvo {

CommandButtons RefreshCommandButtons(RefreshVariant variant, const ButtonRuleInput& in)
{
    CommandButtons s;
    const bool open = in.DhcpServerPresent == 0 && in.NetInfoAvailable == 1;
    s.setIp = false;
    s.exit = true;
    s.search = true;

    if (variant == RefreshVariant::Transfer) {
        s.backup = true;
        s.restore = true;
        s.enableSetIpBox = open;
        return s;
    }

    if (in.UnitsFound) {
        s.backup = true;
        s.restore = true;
    }
    if (open && in.NoHostMac == 0) {
        s.enableSetIpBox = true;
        if (variant == RefreshVariant::Address)
            s.setIp = true;
        else if (in.UnitCount == 0 && in.setIpOffered)
            s.setIp = true;
    } else if (in.DhcpServerPresent == 1) {
        s.enableSetIpBox = false;
    }
    return s;
}

} // namespace zelvo
