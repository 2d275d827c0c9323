#include "cli/UnitSelector.h"

#include "cli/CliArguments.h"

#include <algorithm>
#include <cstring>

namespace zelvo {
namespace {

char LowerAscii(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameName(const char* listed, const std::string& wanted)
{
    const std::size_t length = strnlen(listed, DeviceRecord::kTextBytes);
    if (length != wanted.size() || length == 0)
        return false;
    for (std::size_t i = 0; i < length; ++i)
        if (LowerAscii(listed[i]) != LowerAscii(wanted[i]))
            return false;
    return true;
}

} // namespace

std::optional<Ipv4Address> ParseDottedAddress(const std::string& text)
{
    uint8_t octets[4] = {};
    std::size_t at = 0;
    for (int part = 0; part < 4; ++part) {
        if (part > 0) {
            if (at >= text.size() || text[at] != '.')
                return std::nullopt;
            ++at;
        }
        const std::size_t start = at;
        unsigned value = 0;
        while (at < text.size() && text[at] >= '0' && text[at] <= '9' && at - start < 3)
            value = value * 10 + static_cast<unsigned>(text[at++] - '0');
        const std::size_t digits = at - start;
        if (digits == 0 || value > 255 || (digits > 1 && text[start] == '0'))
            return std::nullopt;
        octets[part] = static_cast<uint8_t>(value);
    }
    if (at != text.size())
        return std::nullopt;
    return Ipv4Address::FromOctets(octets[0], octets[1], octets[2], octets[3]);
}

UnitChoice SelectUnit(const DeviceList& devices, const std::string& unit)
{
    const std::optional<Ipv4Address> address = ParseDottedAddress(unit);
    MacAddress mac{};
    const bool isMac = !address && ParseMacText(unit, mac);

    UnitChoice choice;
    const int listed = std::min(devices.UnitCount, DeviceList::kUnitRows);
    for (int k = 0; k < listed; ++k) {
        const int row = devices.UnitRows[k];
        if (row <= 0 || row >= DeviceList::kRows)
            continue;
        const DeviceRecord& record = devices.rows[row];
        bool hit = false;
        if (address)
            hit = record.address == *address;
        else if (isMac)
            hit = record.mac == mac;
        else
            hit = SameName(record.name, unit);
        if (!hit)
            continue;
        if (choice.match == UnitMatch::Found && choice.row != row)
            return UnitChoice{UnitMatch::Ambiguous, -1};
        choice = UnitChoice{UnitMatch::Found, row};
    }
    return choice;
}

} // namespace zelvo
