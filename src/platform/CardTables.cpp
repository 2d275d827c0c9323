#include "platform/CardTables.h"

#include "platform/Files.h"

#include <arpa/inet.h>
#include <cstdio>
#include <sstream>

namespace zelvo {
namespace {

constexpr unsigned kArpComplete = 0x2; // ATF_COM

bool ParseMac(const std::string& text, MacAddress& mac)
{
    unsigned b[6];
    char tail = 0;
    if (std::sscanf(text.c_str(), "%2x:%2x:%2x:%2x:%2x:%2x%c", &b[0], &b[1], &b[2], &b[3], &b[4],
                    &b[5], &tail) != 6)
        return false;
    for (int k = 0; k < 6; ++k)
        mac[k] = static_cast<uint8_t>(b[k]);
    return true;
}

} // namespace

std::vector<ArpRow> ParseArpTable(std::string_view text)
{
    std::vector<ArpRow> rows;
    std::istringstream lines{std::string(text)};
    std::string line;
    std::getline(lines, line); // the header
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string ip, type, flags, hw, mask, device, extra;
        if (!(fields >> ip >> type >> flags >> hw >> mask >> device) || (fields >> extra))
            continue;
        ArpRow row;
        in_addr a{};
        unsigned flagBits = 0;
        if (::inet_pton(AF_INET, ip.c_str(), &a) != 1 || !ParseMac(hw, row.mac) ||
            std::sscanf(flags.c_str(), "%x", &flagBits) != 1)
            continue;
        row.address = Ipv4Address{a.s_addr};
        row.complete = (flagBits & kArpComplete) != 0;
        row.device = device;
        rows.push_back(std::move(row));
    }
    return rows;
}

std::optional<std::vector<ArpRow>> ReadArpTable()
{
    const auto text = ReadSmallFile("/proc/net/arp", 4 * 1024 * 1024);
    if (!text)
        return std::nullopt;
    return ParseArpTable(*text);
}

std::optional<bool> ReadCarrier(const std::string& interfaceName)
{
    if (interfaceName.empty() || interfaceName.find('/') != std::string::npos ||
        interfaceName == "." || interfaceName == "..")
        return std::nullopt;
    const auto text = ReadSmallFile("/sys/class/net/" + interfaceName + "/carrier", 16);
    if (!text || text->empty())
        return std::nullopt;
    return (*text)[0] == '1';
}

} // namespace zelvo
