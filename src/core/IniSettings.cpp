#include "core/IniSettings.h"

#include "platform/Files.h"

#include <algorithm>
#include <cstring>

namespace zelvo {

void IniValues::Clear()
{
    std::memset(m_table, 0, sizeof m_table);
}

const char* IniValues::Slot(int slot) const
{
    if (slot < 1 || slot > kSlots)
        return "";
    return m_table + static_cast<std::size_t>(slot - 1) * kSlotBytes;
}

void IniValues::SetSlot(int slot, std::string_view value)
{
    if (slot < 1 || slot > kSlots)
        return;
    char* dst = m_table + static_cast<std::size_t>(slot - 1) * kSlotBytes;
    const std::size_t n = std::min(value.size(), kSlotBytes - 1);
    std::memset(dst, 0, kSlotBytes);
    std::memcpy(dst, value.data(), n);
}

IniReadResult ParseIniValues(std::string_view data, IniValues& values)
{
    values.Clear();
    data = data.substr(0, std::min(data.size(), kIniReadBytes));
    // A zero byte ends the examined text, as it ends a C string read into a zeroed buffer.
    if (const auto nul = data.find('\0'); nul != std::string_view::npos)
        data = data.substr(0, nul);
    std::size_t pos = 0;
    for (int slot = 1; slot <= IniValues::kSlots; ++slot) {
        const auto open = data.find('"', pos);
        if (open == std::string_view::npos)
            return IniReadResult::Broken;
        const auto close = data.find('"', open + 1);
        if (close == std::string_view::npos)
            return IniReadResult::Broken;
        values.SetSlot(slot, data.substr(open + 1, close - open - 1));
        pos = close + 1;
    }
    return IniReadResult::Ok;
}

IniReadResult ReadIniFile(const std::string& path, IniValues& values)
{
    values.Clear();
    const auto data = ReadSmallFile(path, kIniReadBytes);
    if (!data)
        return IniReadResult::Missing;
    return ParseIniValues(*data, values);
}

IniValues& Settings()
{
    static IniValues values;
    return values;
}

} // namespace zelvo
