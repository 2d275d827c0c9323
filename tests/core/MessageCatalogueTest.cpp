#include "core/MessageCatalogue.h"
#include "core/UiLanguage.h"

#include <gtest/gtest.h>

#include <set>

namespace zelvo {
namespace {

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
    for (unsigned char c : s)
        if (c >= 0x80)
            return true;
    return false;
}

TEST(Catalogue, everyPairResolvesInBothLanguages)
{
    for (auto [ja, en] : kPairs) {
        const std::string jaText = MessageCatalogue::Choose(kLanguageJapanese, ja, en);
        const std::string enText = MessageCatalogue::Choose(409, ja, en);
        EXPECT_FALSE(jaText.empty()) << ja;
        EXPECT_FALSE(enText.empty()) << en;
        EXPECT_NE(jaText, enText) << ja << "/" << en;
        // Every Japanese text holds Japanese characters, no English one does.
        EXPECT_TRUE(HasNonAscii(jaText)) << ja;
        EXPECT_FALSE(HasNonAscii(enText)) << en;
    }
}

TEST(Catalogue, unusedNumbersHaveNoText)
{
    std::set<int> used = {101};
    for (auto [ja, en] : kPairs) {
        used.insert(ja);
        used.insert(en);
    }
    for (int id = 90; id <= 190; ++id)
        EXPECT_EQ(MessageCatalogue::Text(id) != nullptr, used.count(id) == 1) << id;
    EXPECT_EQ(MessageCatalogue::Choose(409, 110, 111), "");
}

TEST(Catalogue, pairOrderFollowsTheNumbersNotTheirSize)
{
    EXPECT_STREQ(MessageCatalogue::Text(118), "TCP IP service isn't supported.");
    EXPECT_TRUE(HasNonAscii(MessageCatalogue::Text(119)));
    EXPECT_EQ(MessageCatalogue::Choose(409, 119, 118), "TCP IP service isn't supported.");
    EXPECT_EQ(MessageCatalogue::Choose(411, 119, 118), MessageCatalogue::Text(119));
    // 0804 (Chinese) is English.
    EXPECT_EQ(MessageCatalogue::Choose(804, 163, 165), MessageCatalogue::Text(165));
}

TEST(Catalogue, textsKeepTheirExactBytes)
{
    // Unusual line-break orders and the typos stay as the tool has always shown them.
    EXPECT_STREQ(MessageCatalogue::Text(121), "Found a new VELDIX.\n\rTemporary IP Address");
    EXPECT_STREQ(
        MessageCatalogue::Text(137),
        "In the initial search VELDIX not found. Searchn is recommended.\r\n Click 'Search'.");
    EXPECT_STREQ(MessageCatalogue::Text(178), "Retrieve informaton");
    EXPECT_STREQ(MessageCatalogue::Text(165),
                 "Can't found Manager.ini file.\nYou should install Zelvo Setup Tool again.");
    EXPECT_STREQ(MessageCatalogue::Text(166),
                 "You have a wrong Manager.ini file.\nYou should install Zelvo Setup Tool again.");
    EXPECT_STREQ(
        MessageCatalogue::Text(163),
        "Ｍａｎａｇｅｒ．ｉｎｉファイルが見つかりません。\nZelvoセットアップツールを再インストールしてください。");
    EXPECT_STREQ(MessageCatalogue::Text(101), "ﾊﾞｰｼﾞｮﾝ情報(&A)...");
    EXPECT_STREQ(MessageCatalogue::Text(151), ": に保存されます。\n\r続行しますか？");
    // The missing-directory message has one text for both languages.
    for (const int language : {kLanguageJapanese, 409})
        EXPECT_EQ(MessageCatalogue::Choose(language, 940, 941),
                  "You need provide a directory name.\n");
    const std::string s108 = MessageCatalogue::Text(108);
    EXPECT_NE(s108.find("します。\n\r\n\rもし"), std::string::npos);
    EXPECT_EQ(s108.back(), '\n');
}

} // namespace
} // namespace zelvo
