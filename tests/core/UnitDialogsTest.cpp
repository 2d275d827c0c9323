// The unit-pick and file dialogs' texts and entries.
#include "core/UnitDialogs.h"

#include <gtest/gtest.h>

namespace zelvo {
namespace {

DeviceList ThreeUnits()
{
    DeviceList devices;
    const char* names[] = {"nas01", "Nas-02", "x"};
    const int rows[] = {3, 1, 2};
    for (int k = 0; k < 3; ++k) {
        const std::string ip = "10.231.7.2" + std::to_string(rows[k]);
        devices.rows[rows[k]].SetIpText(ip.c_str());
        devices.rows[rows[k]].SetName(names[k]);
        devices.UnitRows[k] = rows[k];
    }
    devices.UnitCount = 3;
    devices.RowCount = 4;
    return devices;
}

// Title, OK and Cancel captions, the message and the dialog's number, by use and language.
TEST(UnitPickContent, textsPerUseAndLanguage)
{
    const std::tuple<UnitPickUse, int, std::string> cases[] = {
        {UnitPickUse::Download, 409,
         "Download|Download|Exit|Download Organization. Number of VELDIX : 03|138"},
        {UnitPickUse::Download, 411,
         "構成保存|ダウンロード|キャンセル|構成情報をPC側にダウンロード・保存します。\r\n\r\n"
         "VELDIXシリーズを選択して下さい\n : 03|138"},
        {UnitPickUse::Upload, 409,
         "Upload|Upload|Exit|Upload Organization. Number of VELDIX : 03|137"},
        {UnitPickUse::Upload, 411,
         "構成復元|アップロード|キャンセル|復元したい構成情報をPCからアップロードします。\r\n\r\n"
         "VELDIXシリーズを選択して下さい\n : 03|137"},
        {UnitPickUse::Firmware, 409,
         "Firmware Update|FW Update|ｷｬﾝｾﾙ|Upload New Firmware. Number of VELDIX : 03|171"},
        {UnitPickUse::Firmware, 411,
         "ﾌｧｰﾑ更新|ﾌｧｰﾑ更新|キャンセル|新ファームウェアをアープロードします。\r\n\r\n"
         "VELDIXシリーズを選択して下さい\n : 03|171"},
    };
    const DeviceList devices = ThreeUnits();
    for (const auto& [use, language, texts] : cases) {
        const UnitPickContent c = BuildUnitPickContent(use, language, devices);
        EXPECT_EQ(c.title + "|" + c.okCaption + "|" + c.cancelCaption + "|" + c.message + "|" +
                      std::to_string(c.dialogId),
                  texts);
        // In UnitRows order, in capitals.
        EXPECT_EQ(c.entries, (std::vector<std::string>{" IP : 10.231.7.23,   NAS01",
                                                       " IP : 10.231.7.21,   NAS-02",
                                                       " IP : 10.231.7.22,   X"}));
    }
}

TEST(UnitPickContent, entriesStayInsideTheirBufferAndTheRuleMapsPositionsToRows)
{
    DeviceList devices = ThreeUnits();
    devices.rows[3].SetName(std::string(300, 'n').c_str());
    const UnitPickContent content = BuildUnitPickContent(UnitPickUse::Download, 409, devices);
    EXPECT_EQ(content.entries[0].size(), 255u);
    EXPECT_EQ(RowForUnitEntry(devices, 0), 3);
    EXPECT_EQ(RowForUnitEntry(devices, 2), 2);
    EXPECT_EQ(RowForUnitEntry(devices, 3), -1);
    EXPECT_EQ(RowForUnitEntry(devices, -1), -1);
}

TEST(UnitFileContent, titlesFiltersAndCaptions)
{
    for (const auto& [use, language, texts] :
         {std::tuple{
              UnitFileUse::Restore, 411,
              "構成情報ファイル選択|ファイル選択|VELDIX Configuration File (*.DAT)|*.DAT|DAT"},
          {UnitFileUse::Firmware, 409,
           "Select Firmware File|Select|VELDIX Firmware File (*.FUP)|*.FUP|FUP"}}) {
        const UnitFileContent c = BuildUnitFileContent(use, language);
        EXPECT_EQ(c.title + "|" + c.okCaption + "|" + c.filterName + "|" + c.initialName + "|" +
                      c.defaultExtension,
                  texts);
    }
}

} // namespace
} // namespace zelvo
