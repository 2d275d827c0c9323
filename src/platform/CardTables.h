#pragma once
#include "platform/NetAddress.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zelvo {

// One row of /proc/net/arp: the kernel's IPv4 neighbour table with the card each entry
// belongs to, readable by any account.
struct ArpRow
{
    Ipv4Address address;
    MacAddress mac = {};   // all zero for an entry without a hardware address yet
    bool complete = false; // ATF_COM: the neighbour answered
    std::string device;
};

// Parses the text of /proc/net/arp (a header line, then "IP HWtype Flags HWaddress Mask
// Device" per line). Lines that do not have that shape are left out.
std::vector<ArpRow> ParseArpTable(std::string_view text);

// Reads /proc/net/arp of this process's network namespace; nullopt when it cannot be read.
std::optional<std::vector<ArpRow>> ReadArpTable();

// Whether the card has carrier (/sys/class/net/NAME/carrier): nullopt when it cannot be
// told (the file is missing, or the kernel refuses to answer for a link that is down).
std::optional<bool> ReadCarrier(const std::string& interfaceName);

} // namespace zelvo
