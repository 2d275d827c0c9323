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
        {178, "Retrieve informaton"},
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

} // namespace
} // namespace zelvo
