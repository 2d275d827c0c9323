#include "core/UnitDialogs.h"

#include "core/MessageCatalogue.h"
#include "core/UiLanguage.h"

#include <algorithm>
#include <cstdio>

namespace zelvo {
namespace {

// The unit box converts what it shows to capitals.
std::string UpperAscii(std::string text)
{
    for (char& c : text)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return text;
}

} // namespace

UnitPickContent BuildUnitPickContent(UnitPickUse use, int language, const DeviceList& devices)
{
    const bool japanese = IsJapanese(language);
    UnitPickContent c;
    int japaneseText = 0;
    int englishText = 0;
    switch (use) {
    case UnitPickUse::Download:
    case UnitPickUse::Upload: {
        const bool download = use == UnitPickUse::Download;
        c.dialogId = download ? 138 : 137;
        c.fontFamily = "ＭＳ ゴシック";
        c.size = {0, 0, 290, 79};
        c.messageRect = {7, 7, 221, 38};
        c.unitBoxRect = {13, 49, 154, 101};
        const int buttonWidth = download ? 50 : 52;
        c.okRect = {229, 20, buttonWidth, 14};
        c.cancelRect = {229, 47, buttonWidth, 14};
        c.messageControlId = download ? 1015 : 1014;
        c.unitBoxId = 1009;
        if (download) {
            c.title = japanese ? "構成保存" : "Download";
            c.okCaption = japanese ? "ダウンロード" : "Download";
            japaneseText = 112;
            englishText = 114;
        } else {
            c.title = japanese ? "構成復元" : "Upload";
            c.okCaption = japanese ? "アップロード" : "Upload";
            japaneseText = 113;
            englishText = 115;
        }
        c.cancelCaption = japanese ? "キャンセル" : "Exit";
        break;
    }
    case UnitPickUse::Firmware:
        c.dialogId = 171;
        c.fontFamily = "ＭＳ Ｐゴシック";
        c.size = {0, 0, 239, 67};
        c.messageRect = {12, 3, 160, 33};
        c.unitBoxRect = {9, 43, 146, 100};
        c.okRect = {177, 16, 50, 14};
        c.cancelRect = {177, 39, 50, 14};
        c.messageControlId = 1044;
        c.unitBoxId = 1043;
        c.title = japanese ? "ﾌｧｰﾑ更新" : "Firmware Update";
        c.okCaption = japanese ? "ﾌｧｰﾑ更新" : "FW Update";
        // The resource's own caption stays in English.
        c.cancelCaption = japanese ? "キャンセル" : "ｷｬﾝｾﾙ";
        japaneseText = 157;
        englishText = 158;
        break;
    }

    char count[16];
    std::snprintf(count, sizeof count, " : %02d", devices.UnitCount);
    c.message = MessageCatalogue::Choose(language, japaneseText, englishText) + count;

    for (int k = 0; k < devices.UnitCount && k < DeviceList::kUnitRows; ++k) {
        const int row = devices.UnitRows[k];
        if (row < 0 || row >= DeviceList::kRows)
            continue;
        // An entry keeps to the 255 characters of the list's fixed entry buffer.
        std::string entry =
            std::string(" IP : ") + devices.rows[row].ipText + ",   " + devices.rows[row].name;
        entry.resize(std::min<std::size_t>(entry.size(), 255));
        c.entries.push_back(UpperAscii(entry));
    }
    return c;
}

int RowForUnitEntry(const DeviceList& devices, int entry)
{
    if (entry < 0 || entry >= devices.UnitCount || entry >= DeviceList::kUnitRows)
        return -1;
    return devices.UnitRows[entry];
}

UnitFileContent BuildUnitFileContent(UnitFileUse use, int language)
{
    const bool japanese = IsJapanese(language);
    UnitFileContent c;
    c.okCaption = japanese ? "ファイル選択" : "Select";
    if (use == UnitFileUse::Restore) {
        c.title = japanese ? "構成情報ファイル選択" : "Select Organization File";
        c.filterName = "VELDIX Configuration File (*.DAT)";
        c.defaultExtension = "DAT";
        c.initialName = "*.DAT";
    } else {
        c.title = japanese ? "ファームウェアファイル選択" : "Select Firmware File";
        c.filterName = "VELDIX Firmware File (*.FUP)";
        c.defaultExtension = "FUP";
        c.initialName = "*.FUP";
    }
    return c;
}

} // namespace zelvo
