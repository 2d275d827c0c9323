#pragma once
#include <array>
#include <cstdint>
#include <string>

namespace zelvo {

// An IPv4 address kept in network byte order, as the sockets and the tables of the
// tool store it. bytes()[0] is the first octet of the dotted form.
struct Ipv4Address
{
    uint32_t nbo = 0; // network byte order

    static Ipv4Address FromOctets(uint8_t a, uint8_t b, uint8_t c, uint8_t d);
    static Ipv4Address FromHostOrder(uint32_t host);
    uint32_t HostOrder() const;
    std::array<uint8_t, 4> Octets() const;
    bool IsZero() const { return nbo == 0; }
    // "192.168.0.5"
    std::string Dotted() const;
    // "192.168.000.005", the log's form.
    std::string LogForm() const;
    friend bool operator==(Ipv4Address a, Ipv4Address b) { return a.nbo == b.nbo; }
};

using MacAddress = std::array<uint8_t, 6>;

// A subnet mask as its four dotted numbers, the first number first.
using SubnetMask = std::array<uint8_t, 4>;

// "00-1a-2b-3c-4d-5e", the list's form.
std::string MacDashText(const MacAddress& mac);
// "00.1a.2b.3c.4d.5e", the log's form.
std::string MacLogText(const MacAddress& mac);
bool IsZeroMac(const MacAddress& mac);

} // namespace zelvo
