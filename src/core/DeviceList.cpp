#include "core/DeviceList.h"

#include <cstdio>

namespace zelvo {

namespace {
void CopyText(char (&dst)[DeviceRecord::kTextBytes], const char* text)
{
    std::snprintf(dst, sizeof dst, "%s", text ? text : "");
}
} // namespace

void DeviceRecord::SetName(const char* text)
{
    CopyText(name, text);
}
void DeviceRecord::SetIpText(const char* text)
{
    CopyText(ipText, text);
}
void DeviceRecord::SetMacText(const char* text)
{
    CopyText(macText, text);
}
void DeviceRecord::SetTypeText(const char* text)
{
    CopyText(typeText, text);
}

void DeviceRecord::Clear()
{
    *this = DeviceRecord{};
}

void DeviceList::ResetToPcRow()
{
    for (int i = 1; i < kRows; ++i)
        rows[i].Clear();
    RowCount = 1;
    UnitCount = 0;
    for (int& r : UnitRows)
        r = 0;
}

bool DeviceList::IsUnitRow(int row) const
{
    for (int i = 0; i < UnitCount && i < kUnitRows; ++i)
        if (UnitRows[i] == row)
            return true;
    return false;
}

} // namespace zelvo
