#include "search/ComputerName.h"

#include "core/DeviceList.h"
#include "core/OutsideText.h"

namespace zelvo {

std::optional<std::string> LookUpComputerName(NameLookups& lookups, Ipv4Address address,
                                              const NameLookupTimeouts& timeouts)
{
    // The name is escaped here, once, so that the list, the log and the command line all
    // show the same printable text, and it fits a list row whole.
    auto shown = [](const std::string& name) {
        return EscapedOutsideText(name, OutsideTextUse::Name, DeviceRecord::kTextBytes - 1);
    };
    if (auto name = lookups.NetbiosName(address, timeouts.netbiosMs); name && !name->empty())
        return shown(*name);
    if (auto name = lookups.ResolverName(address, timeouts.resolverMs); name && !name->empty())
        return shown(*name);
    if (auto name = lookups.MdnsName(address, timeouts.mdnsMs); name && !name->empty())
        return shown(*name);
    return std::nullopt;
}

} // namespace zelvo
