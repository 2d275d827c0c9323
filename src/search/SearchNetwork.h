#pragma once
#include "app/NetTypes.h"

#include <optional>
#include <string>
#include <vector>

namespace zelvo {

// One entry of the PC's neighbour (ARP) table. Entries without a link-layer address
// (INCOMPLETE, FAILED) carry an all-zero MAC.
struct NeighbourEntry
{
    Ipv4Address address;
    MacAddress mac = {};
};

// The result of one read of the neighbour table.
struct NeighbourRead
{
    int errorCode = 0;       // 0: read; otherwise an errno-style code
    std::string errorText;   // the system's text for errorCode
    std::vector<NeighbourEntry> entries; // sorted by address (host order)
};

// The network operations the search worker needs. The Linux implementation uses raw
// ICMP sockets, rtnetlink and the name lookups; tests substitute a fake.
// Thread safety: every operation may be called from any thread, also concurrently.
class SearchNetwork
{
public:
    virtual ~SearchNetwork() = default;
    // One echo request to address; 1 when any ICMP message arrives within timeoutMs.
    virtual int EchoProbe(Ipv4Address address, int timeoutMs) = 0;
    // Two echo requests to 255.255.255.255 through the PC's interface; 1 when both
    // attempts completed, 0 on a socket error.
    virtual int BroadcastEcho() = 0;
    virtual NeighbourRead ReadNeighbours() = 0;
    // The computer name of address (NetBIOS node status, then the system resolver,
    // then unicast mDNS, each with a short time-out); nullopt when none answers.
    virtual std::optional<std::string> ReverseName(Ipv4Address address) = 0;
};

} // namespace zelvo
