#pragma once
#include "platform/HostPlatform.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace zelvo::test {

inline uint32_t Nbo(const char* dotted)
{
    in_addr a{};
    inet_pton(AF_INET, dotted, &a);
    return a.s_addr;
}

// A PC described by fields; the interfaces asked about are recorded.
class FakeHostPlatform final : public HostPlatform
{
public:
    std::optional<OsRelease> osRelease =
        OsRelease{"Linux", "6.1.0-18-amd64", "PRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\n"};
    bool tcp = true;
    std::optional<std::string> hostName = std::string("labpc");
    bool netlink = true;
    HostNetworkState network;
    int networkError = 0; // the read fails with it
    DhcpClientReport dhcpReport;
    int dhcpError = 0; // the question fails with it
    std::vector<std::string> dhcpQuestions;

    std::optional<OsRelease> ReadOsRelease() override { return osRelease; }
    bool TcpAvailable() override { return tcp; }
    std::optional<std::string> HostName() override { return hostName; }
    bool NetworkInfoAvailable() override { return netlink; }
    Outcome<HostNetworkState> ReadNetworkState() override
    {
        return networkError ? Outcome<HostNetworkState>(Failure{networkError}) : network;
    }
    Outcome<DhcpClientReport> AskDhcpClients(const std::string& interfaceName, int) override
    {
        dhcpQuestions.push_back(interfaceName);
        return dhcpError ? Outcome<DhcpClientReport>(Failure{dhcpError}) : dhcpReport;
    }

    // Up, with carrier, MAC 02:00:00:00:00:macLast (0: none), addresses {"10.0.0.5", 24}.
    HostInterface& AddInterface(int index, const std::string& name, uint8_t macLast,
                                std::vector<std::pair<const char*, int>> addresses,
                                bool permanent = true)
    {
        HostInterface& link = network.interfaces.emplace_back();
        link.index = index;
        link.name = name;
        link.up = true;
        link.carrier = true;
        link.loopback = name == "lo";
        link.hasMac = macLast != 0;
        link.mac = {2, 0, 0, 0, 0, macLast};
        for (const auto& [dotted, prefix] : addresses)
            link.addresses.push_back(
                {Ipv4Address{Nbo(dotted)}, static_cast<uint8_t>(prefix), permanent});
        return link;
    }
    void AddDefaultRoute(int index, const char* gateway, uint32_t metric, uint8_t protocol)
    {
        network.defaultRoutes.push_back({index, Ipv4Address{Nbo(gateway)}, metric, protocol});
    }
};

} // namespace zelvo::test
