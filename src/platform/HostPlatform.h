#pragma once
#include "platform/NetAddress.h"
#include "platform/Outcome.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zelvo {

// What the kernel and the distribution say about the running system, unparsed.
struct OsRelease
{
    std::string systemName;    // uname sysname ("Linux")
    std::string release;       // uname release ("6.1.0-18-amd64")
    std::string osReleaseText; // text of /etc/os-release (else /usr/lib/os-release); may be empty
};

// One IPv4 address of an interface, as rtnetlink reports it.
struct HostIfAddress
{
    Ipv4Address address;      // IFA_LOCAL, else IFA_ADDRESS
    uint8_t prefixLength = 0; // 0 ... 32
    // IFA_F_PERMANENT: the address has no expiry. An address that a DHCP client added
    // with its lease time is not permanent.
    bool permanent = true;
};

// One network interface (link) and its IPv4 addresses, in the kernel's order.
struct HostInterface
{
    int index = 0;    // ifindex
    std::string name; // "eth0"
    bool up = false;  // IFF_UP
    // The link has carrier: IFF_LOWER_UP, and an operational state of up (or unknown,
    // as drivers that do not track it report). A bridge without ports, an unplugged
    // cable or a Wi-Fi card without an access point has none.
    bool carrier = false;
    bool loopback = false; // IFF_LOOPBACK
    bool hasMac = false;   // a six-byte hardware address was reported
    MacAddress mac = {};
    std::vector<HostIfAddress> addresses;
};

// An IPv4 default route (destination 0.0.0.0/0) of the main routing table.
struct HostDefaultRoute
{
    int interfaceIndex = 0; // RTA_OIF
    Ipv4Address gateway;    // RTA_GATEWAY, zero when the route has none
    uint32_t metric = 0;    // RTA_PRIORITY
    uint8_t protocol = 0;   // rtm_protocol; 16 (RTPROT_DHCP) when a DHCP client made it
};

// One read of the PC's links, IPv4 addresses and default routes.
struct HostNetworkState
{
    std::vector<HostInterface> interfaces;       // by ifindex
    std::vector<HostDefaultRoute> defaultRoutes; // in the kernel's dump order
};

// Which local DHCP client knowledge answered for an interface.
enum class DhcpClientSource
{
    None,           // nobody on this PC claims a lease for the interface
    NetworkManager, // NetworkManager's DHCP4 options of the device
    Networkd,       // systemd-networkd's lease file of the link
    ClientProcess,  // a DHCP client (udhcpc, dhclient, dhcpcd) runs for the interface
                    // in this network namespace
};

// What a DHCP client on this PC says about one interface. NetworkManager and networkd
// know the options the server sent; a bare client process tells only that it runs.
struct DhcpClientReport
{
    DhcpClientSource source = DhcpClientSource::None;
    std::optional<std::string> maskText; // option 1 as dotted text, when known
    std::vector<Ipv4Address> routers;    // option 3, when known
    bool optionsKnown = false;           // maskText and routers are the server's own
};

// The host services of the start-up survey: OS version, TCP/IP, host name, links,
// addresses, routes and the PC's DHCP clients. Implementations keep no state between
// calls; the system's ReadNetworkState may be called from any thread (the search reads
// the cards it broadcasts through on its worker), the rest on the UI thread.
class HostPlatform
{
public:
    virtual ~HostPlatform() = default;
    // nullopt when the kernel cannot be asked (uname fails).
    virtual std::optional<OsRelease> ReadOsRelease() = 0;
    // A TCP socket can be created.
    virtual bool TcpAvailable() = 0;
    // gethostname(); nullopt when it fails.
    virtual std::optional<std::string> HostName() = 0;
    // An rtnetlink socket can be opened: links, addresses and routes can be read.
    virtual bool NetworkInfoAvailable() = 0;
    virtual Outcome<HostNetworkState> ReadNetworkState() = 0;
    // Asks NetworkManager, then systemd-networkd, then the running DHCP clients about
    // the interface; stops at the first that knows it. Blocks for at most a few seconds.
    virtual Outcome<DhcpClientReport> AskDhcpClients(const std::string& interfaceName,
                                                     int interfaceIndex) = 0;
};

// The machine's own host services.
HostPlatform& SystemHostPlatform();

} // namespace zelvo
