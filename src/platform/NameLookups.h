#pragma once
#include "platform/NetAddress.h"

#include <optional>
#include <string>

namespace zelvo {

// The three ways the PC can learn a unit's computer name from its address. Each waits
// at most timeoutMs and gives nullopt when nothing usable came.
// Thread safety: every operation may be called from any thread, also concurrently.
class NameLookups
{
public:
    virtual ~NameLookups() = default;
    // NetBIOS node status to UDP 137 of address (nmbd, Windows).
    virtual std::optional<std::string> NetbiosName(Ipv4Address address, int timeoutMs) = 0;
    // The system resolver: getnameinfo with NI_NAMEREQD (hosts file, DNS).
    virtual std::optional<std::string> ResolverName(Ipv4Address address, int timeoutMs) = 0;
    // A unicast mDNS PTR question to UDP 5353 of address (avahi).
    virtual std::optional<std::string> MdnsName(Ipv4Address address, int timeoutMs) = 0;
};

// The Linux implementation. The ports can be moved for tests that run their own
// responders; the tool uses 137 and 5353.
class LinuxNameLookups final : public NameLookups
{
public:
    explicit LinuxNameLookups(uint16_t netbiosPort = 137, uint16_t mdnsPort = 5353)
        : m_netbiosPort(netbiosPort), m_mdnsPort(mdnsPort)
    {
    }
    std::optional<std::string> NetbiosName(Ipv4Address address, int timeoutMs) override;
    std::optional<std::string> ResolverName(Ipv4Address address, int timeoutMs) override;
    std::optional<std::string> MdnsName(Ipv4Address address, int timeoutMs) override;

private:
    uint16_t m_netbiosPort;
    uint16_t m_mdnsPort;
};

} // namespace zelvo
