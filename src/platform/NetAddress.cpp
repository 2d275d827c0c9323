#include "platform/NetAddress.h"

#include <arpa/inet.h>
#include <cstdio>

namespace zelvo {

Ipv4Address Ipv4Address::FromOctets(uint8_t a, uint8_t b, uint8_t c, uint8_t d)
{
    return FromHostOrder((uint32_t{a} << 24) | (uint32_t{b} << 16) | (uint32_t{c} << 8) | d);
}

Ipv4Address Ipv4Address::FromHostOrder(uint32_t host)
{
    return Ipv4Address{htonl(host)};
}

uint32_t Ipv4Address::HostOrder() const
{
    return ntohl(nbo);
}

std::array<uint8_t, 4> Ipv4Address::Octets() const
{
    const uint32_t h = HostOrder();
    return {static_cast<uint8_t>(h >> 24), static_cast<uint8_t>(h >> 16),
            static_cast<uint8_t>(h >> 8), static_cast<uint8_t>(h)};
}

std::string Ipv4Address::Dotted() const
{
    const auto o = Octets();
    char buf[16];
    std::snprintf(buf, sizeof buf, "%u.%u.%u.%u", o[0], o[1], o[2], o[3]);
    return buf;
}

std::string Ipv4Address::LogForm() const
{
    const auto o = Octets();
    char buf[16];
    std::snprintf(buf, sizeof buf, "%03u.%03u.%03u.%03u", o[0], o[1], o[2], o[3]);
    return buf;
}

static std::string MacText(const MacAddress& m, char sep)
{
    char buf[18];
    std::snprintf(buf, sizeof buf, "%02x%c%02x%c%02x%c%02x%c%02x%c%02x", m[0], sep, m[1], sep, m[2],
                  sep, m[3], sep, m[4], sep, m[5]);
    return buf;
}

std::string MacDashText(const MacAddress& mac)
{
    return MacText(mac, '-');
}

std::string MacLogText(const MacAddress& mac)
{
    return MacText(mac, '.');
}

bool IsZeroMac(const MacAddress& mac)
{
    for (uint8_t b : mac)
        if (b != 0)
            return false;
    return true;
}

} // namespace zelvo
