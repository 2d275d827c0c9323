#include "search/ComputerName.h"

namespace zelvo {

std::optional<std::string> LookUpComputerName(NameLookups& lookups, Ipv4Address address,
                                              const NameLookupTimeouts& timeouts)
{
    if (auto name = lookups.NetbiosName(address, timeouts.netbiosMs); name && !name->empty())
        return name;
    if (auto name = lookups.ResolverName(address, timeouts.resolverMs); name && !name->empty())
        return name;
    if (auto name = lookups.MdnsName(address, timeouts.mdnsMs); name && !name->empty())
        return name;
    return std::nullopt;
}

} // namespace zelvo
