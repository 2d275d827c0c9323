#pragma once
#include "platform/HostPlatform.h"

#include <arpa/inet.h>
#include <string>
#include <vector>

namespace zelvo::test {

// Network-order value of a dotted address, for building fake network states.
inline uint32_t Nbo(const char* dotted)
{
    in_addr a{};
    inet_pton(AF_INET, dotted, &a);
    return a.s_addr;
}

// A PC described by fields; every call is counted so tests can see which steps ran.
class FakeHostPlatform final : public HostPlatform
{
public:
    std::optional<OsRelease> osRelease =
        OsRelease{"Linux", "6.1.0-18-amd64",
                  "NAME=\"Debian GNU/Linux\"\n"
                  "PRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\n"};
    bool tcp = true;
    std::optional<std::string> hostName = std::string("labpc");
    bool netlink = true;
    HostNetworkState network;
    DhcpClientReport dhcpReport;

    int networkReads = 0;
    std::vector<std::string> dhcpQuestions; // interface names asked about

    std::optional<OsRelease> ReadOsRelease() override { return osRelease; }
    bool TcpAvailable() override { return tcp; }
    std::optional<std::string> HostName() override { return hostName; }
    bool NetworkInfoAvailable() override { return netlink; }
    HostNetworkState ReadNetworkState() override
    {
        ++networkReads;
        return network;
    }
    DhcpClientReport AskDhcpClients(const std::string& interfaceName, int) override
    {
        dhcpQuestions.push_back(interfaceName);
        return dhcpReport;
    }

    // Adds an up interface with one address per entry of addresses ("10.0.0.5/24").
    HostInterface& AddInterface(int index, const std::string& name, std::array<uint8_t, 6> mac,
                                std::vector<std::pair<const char*, int>> addresses,
                                bool permanent = true)
    {
        HostInterface link;
        link.index = index;
        link.name = name;
        link.up = true;
        link.hasMac = true;
        link.mac = mac;
        for (const auto& [dotted, prefix] : addresses)
            link.addresses.push_back(
                HostIfAddress{Nbo(dotted), static_cast<uint8_t>(prefix), permanent});
        network.interfaces.push_back(link);
        return network.interfaces.back();
    }

    void AddLoopback()
    {
        HostInterface lo;
        lo.index = 1;
        lo.name = "lo";
        lo.up = true;
        lo.loopback = true;
        lo.hasMac = true;
        lo.addresses.push_back(HostIfAddress{Nbo("127.0.0.1"), 8, true});
        network.interfaces.insert(network.interfaces.begin(), lo);
    }

    void AddDefaultRoute(int index, const char* gateway, uint32_t metric, uint8_t protocol = 3)
    {
        network.defaultRoutes.push_back(HostDefaultRoute{index, Nbo(gateway), metric, protocol});
    }
};

} // namespace zelvo::test
