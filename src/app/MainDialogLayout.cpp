#include "app/MainDialogLayout.h"

#include "app/ControlIds.h"

namespace zelvo {

namespace {

struct ControlEntry
{
    int id;
    DialogRect rect;
    const char* creationText;
    const char* english; // set at initialisation; nullptr keeps the creation text
    const char* japanese;
};

// The window's controls. Set IP sits two units right of where Web tool stands: the
// /set layout shows it in Web tool's place.
constexpr ControlEntry kControls[] = {
    {kIdList, {7, 49, 352, 100}, nullptr, nullptr, nullptr},
    {kIdSearch, {7, 158, 50, 14}, "Again", "Search", "検  索"},
    {kIdWebTool, {67, 158, 50, 14}, "Version", "Web tool", "Webツール"},
    {kIdSetIp, {69, 158, 43, 14}, "Set IP", nullptr, nullptr},
    {kIdBackup, {127, 158, 50, 14}, "BACKUP", "Back up", "構成保存"},
    {kIdRestore, {187, 158, 50, 14}, "RESTORE", "Restore", "構成復元"},
    {kIdFwUpdate, {248, 158, 50, 14}, "Update", "FW Update", "ﾌｧｰﾑ更新"},
    {kIdExit, {309, 158, 50, 14}, "Exit", "Exit", "終  了"},
    {kIdEnableSetIp, {11, 157, 8, 10}, nullptr, nullptr, nullptr},
    {kIdEnableSetIpLabel, {24, 157, 55, 11}, "Enable Set IP", "Enable Set IP", "IP設定 許可"},
    {kIdEnableSetIpGroup, {7, 151, 113, 21}, nullptr, nullptr, nullptr},
};

const ControlEntry* Find(int id)
{
    for (const ControlEntry& entry : kControls)
        if (entry.id == id)
            return &entry;
    return nullptr;
}

// a * b / c rounded to the nearest integer, halves away from zero.
int ScaleRounded(int a, int b, int c)
{
    if (c == 0)
        return 0;
    const long long product = static_cast<long long>(a) * b;
    const long long half = c / 2;
    return static_cast<int>(product >= 0 ? (product + half) / c : (product - half) / c);
}

} // namespace

DialogRect MainControlRect(int id)
{
    const ControlEntry* entry = Find(id);
    return entry ? entry->rect : DialogRect{};
}

int BaseUnitXFromAlphabetWidth(int alphabetWidth)
{
    return (alphabetWidth / 26 + 1) / 2;
}

DialogRect DialogUnitsToPixels(const DialogRect& dlu, DialogBaseUnits base)
{
    return {ScaleRounded(dlu.x, base.x, 4), ScaleRounded(dlu.y, base.y, 8),
            ScaleRounded(dlu.w, base.x, 4), ScaleRounded(dlu.h, base.y, 8)};
}

int ListFontPixelHeight(bool japanese, int iconTitleFontHeight)
{
    const int h = iconTitleFontHeight < 0 ? -iconTitleFontHeight : iconTitleFontHeight;
    if (japanese)
        return h > 12 ? 14 : 12;
    return h > 9 ? 11 : 9;
}

std::array<int, 4> ListColumnWidths(int w)
{
    const int quarter = w / 4;
    return {quarter + 40, quarter, quarter - 16, w - 3 * quarter - 24};
}

BannerOrigin BannerPosition(int clientWidth, int clientHeight, int bannerWidth)
{
    return {clientWidth / 2 - bannerWidth / 2, clientHeight / 30};
}

const char* ControlCaption(int id, bool japanese)
{
    const ControlEntry* entry = Find(id);
    if (!entry)
        return nullptr;
    return japanese ? entry->japanese : entry->english;
}

const char* ControlCreationText(int id)
{
    const ControlEntry* entry = Find(id);
    return entry ? entry->creationText : nullptr;
}

const char* MainWindowCaption()
{
    return "Zelvoセットアップツール";
}

const char* HelpFileName(bool japanese)
{
    return japanese ? "quixhlpj.html" : "quixhlpe.html";
}

} // namespace zelvo
