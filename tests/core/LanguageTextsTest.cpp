// The language of the texts, and the texts in each language: the messages, the progress
// passes' captions and the unit dialogs' content.
#include "core/MessageCatalogue.h"
#include "core/PassTexts.h"
#include "core/UiLanguage.h"
#include "core/UnitDialogs.h"

#include <gtest/gtest.h>

#include <set>

namespace zelvo {
namespace {

TEST(LanguageId, localesMapToLanguageIds)
{
    const std::pair<const char*, int> ids[] = {{"0411", 411}, {"0409", 409}, {"0804", 804},
                                               {"0c04", 0},   {"040c", 40},  {"", 0},
                                               {"411", 411},  {"0412", 412}};
    for (const auto& [digits, value] : ids)
        EXPECT_EQ(LanguageFromLanguageId(digits), value) << digits;
    const std::pair<const char*, const char*> locales[] = {
        {"ja_JP.UTF-8", "0411"}, {"ja", "0411"},
        {"ja_JP.eucJP", "0411"}, {"ja_JP.UTF-8@x", "0411"},
        {"en_GB.UTF-8", "0809"}, {"zh_CN", "0804"},
        {"zh_TW.UTF-8", "0404"}, {"de_DE.UTF-8", "0407"},
        {"C", "0409"},           {"", "0409"},
        {"jav_ID", "0409"},      {"ko_KR.UTF-8", "0412"}};
    for (const auto& [locale, id] : locales)
        EXPECT_EQ(LanguageIdForLocale(locale), id) << locale;
}

TEST(LocaleFile, readsTheLastLangAssignment)
{
    const std::pair<std::string, std::optional<std::string>> files[] = {
        {"LANG=ja_JP.UTF-8\n", "ja_JP.UTF-8"},
        {"# comment\nLC_ALL=C\nLANG=\"en_US.UTF-8\"\n", "en_US.UTF-8"},
        {"LANG='ja_JP.UTF-8'\r\n", "ja_JP.UTF-8"},
        {"  LANG=ja_JP.UTF-8", "ja_JP.UTF-8"},
        {"LANG=en_US.UTF-8\nLANG=ja_JP.UTF-8\n", "ja_JP.UTF-8"},
        {"LANGUAGE=ja\n", std::nullopt},
        {"LANG=\n", std::nullopt},
        {"", std::nullopt},
        {std::string("\x01\xff\0LANX=", 8), std::nullopt}};
    for (const auto& [file, lang] : files)
        EXPECT_EQ(LangFromLocaleFile(file), lang) << file;
}

// /etc/locale.conf, then /etc/default/locale, then the process's LANG.
TEST(LanguageRule, systemDefaultWinsOverTheUsersLocale)
{
    const std::optional<std::string> none, ja = "LANG=ja_JP.UTF-8\n", en = "LANG=en_US.UTF-8\n";
    const std::pair<LocaleSources, int> cases[] = {{{ja, none, "en_US.UTF-8"}, 411},
                                                   {{none, en, "ja_JP.UTF-8"}, 409},
                                                   {{"LANG=zh_CN.UTF-8\n", none, none}, 804},
                                                   {{ja, en, none}, 411},
                                                   {{"garbage without assignment", ja, none}, 411},
                                                   {{none, none, "ja_JP.UTF-8"}, 411},
                                                   {{none, none, none}, 409}};
    for (const auto& [sources, language] : cases)
        EXPECT_EQ(UiLanguageFrom(sources), language) << sources.processLang.value_or("-");
}

// (Japanese, English) pairs that the tool shows.
constexpr std::pair<int, int> kPairs[] = {
    {104, 105}, {106, 107}, {108, 109}, {112, 114}, {113, 115}, {119, 118}, {120, 121}, {122, 123},
    {124, 125}, {126, 127}, {128, 129}, {130, 131}, {132, 133}, {134, 135}, {136, 137}, {140, 141},
    {143, 144}, {145, 146}, {147, 148}, {149, 150}, {151, 152}, {155, 156}, {157, 158}, {159, 160},
    {161, 162}, {163, 165}, {164, 166}, {167, 168}, {169, 170}, {171, 172}, {173, 174}, {175, 176},
    {177, 178}, {901, 902}, {903, 904}, {920, 921}, {930, 931}, {932, 933}, {934, 935}, {936, 937},
    {950, 951}, {952, 953}, {954, 955}, {956, 957}, {990, 991}, {992, 993},
};

bool HasNonAscii(const std::string& s)
{
    return std::any_of(s.begin(), s.end(), [](unsigned char c) { return c >= 0x80; });
}

// Each pair gives a Japanese text to Japanese (0411) and an English one to every other
// language (0409, 0804); numbers of no pair have no text.
TEST(Catalogue, everyPairResolvesInBothLanguagesAndNothingElseHasText)
{
    std::set<int> used = {101};
    for (auto [ja, en] : kPairs) {
        const std::string jaText = MessageCatalogue::Choose(kLanguageJapanese, ja, en);
        EXPECT_TRUE(HasNonAscii(jaText)) << ja;
        for (const int language : {409, 804})
            EXPECT_EQ(MessageCatalogue::Choose(language, ja, en), MessageCatalogue::Text(en)) << en;
        EXPECT_FALSE(HasNonAscii(MessageCatalogue::Text(en))) << en;
        used.insert({ja, en});
    }
    for (int id = 90; id <= 190; ++id)
        EXPECT_EQ(MessageCatalogue::Text(id) != nullptr, used.count(id) == 1) << id;
}

// Unusual line-break orders and the typos stay as the tool has always shown them.
TEST(Catalogue, textsKeepTheirExactBytes)
{
    const std::pair<int, const char*> rows[] = {
        {121, "Found a new VELDIX.\n\rTemporary IP Address"},
        {137,
         "In the initial search VELDIX not found. Searchn is recommended.\r\n Click 'Search'."},
        {118, "TCP IP service isn't supported."},
        {165, "Can't found Manager.ini file.\nYou should install Zelvo Setup Tool again."},
        {163,
         "Ｍａｎａｇｅｒ．ｉｎｉファイルが見つかりません。\nZelvoセットアップツールを再インストールしてください。"},
        {101, "ﾊﾞｰｼﾞｮﾝ情報(&A)..."},
        {151, ": に保存されます。\n\r続行しますか？"},
    };
    for (const auto& [id, text] : rows)
        EXPECT_STREQ(MessageCatalogue::Text(id), text) << id;
    // The missing-directory message has one text for both languages.
    for (const int language : {kLanguageJapanese, 409})
        EXPECT_EQ(MessageCatalogue::Choose(language, 940, 941),
                  "You need provide a directory name.\n");
}

TEST(PassTexts, ByLanguageAndKind)
{
    using Texts = PassTexts (*)(int language, int kind);
    const Texts progress = ProgressPassTexts, timed = TimedPassTexts;
    const Texts search = [](int language, int) { return SearchPassTexts(language, "T"); };
    const Texts retrieve = [](int language, int) { return RetrievePassTexts(language); };
    const char* wait = "Wait a Moment...";
    using T = const char*; // Japanese message and caption, English message and caption
    const std::tuple<Texts, int, T, T, T, T> cases[] = {
        {progress, 0, "構成情報をPCにダウンロード中．．．\n", "構成情報のダウンロード",
         "VELDIX Organization info. downloading...\n", wait},
        {progress, -1, "しばらくお待ちください。\n", "VELDIXシリーズ検索",
         "Wait a moment please...\n", wait},
        {timed, 1, "VELDIXシリーズに仮IPアドレスを設定中...\n", "仮IPアドレスを設定",
         "Setting temporal IP address for VELDIX...\n", "Setting temporal IP address for VELDIX"},
        {search, 0, "ネットワーク環境の調査中．．．", "T", "VELDIX searching...", "T"},
        {retrieve, 0, "VELDIXシリーズに仮IPアドレス設定中．．．\n", "仮IPアドレス設定",
         "Retrieving information of VELDIX...\n", "Retrieve informaton"}};
    for (const auto& [texts, kind, jaMessage, jaCaption, enMessage, enCaption] : cases) {
        const PassTexts ja = texts(kLanguageJapanese, kind);
        EXPECT_EQ(ja.message, jaMessage) << kind;
        EXPECT_EQ(ja.caption, jaCaption) << kind;
        for (const int language : {409, 0, 804}) { // every other language is English
            const PassTexts en = texts(language, kind);
            EXPECT_EQ(en.message, enMessage) << language << "/" << kind;
            EXPECT_EQ(en.caption, enCaption) << language << "/" << kind;
        }
    }
}

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
