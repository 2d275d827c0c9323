#pragma once
#include "platform/NameLookups.h"
#include "platform/NetAddress.h"

#include <optional>
#include <string>

namespace zelvo {

// How long each way of asking for a name may take. A unit answers NetBIOS and mDNS at
// once on the segment, so their waits are short; the resolver may have to ask a DNS
// server, which takes longer.
struct NameLookupTimeouts
{
    int netbiosMs = 1000;
    int resolverMs = 2000;
    int mdnsMs = 1000;
};

// The unit's computer name: NetBIOS node status first, then the system resolver, then
// unicast mDNS; the first non-empty answer wins, escaped as text from outside the tool
// (EscapedOutsideText) and cut to fit a list row. nullopt when none gives one.
// Thread safety: any thread, also concurrently, as far as lookups allows (the Linux
// lookups do).
std::optional<std::string> LookUpComputerName(NameLookups& lookups, Ipv4Address address,
                                              const NameLookupTimeouts& timeouts = {});

} // namespace zelvo
