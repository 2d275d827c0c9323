#include "core/UiLanguage.h"

#include <gtest/gtest.h>

namespace zelvo {
namespace {

TEST(LanguageId, onlyTheText0411IsJapanese)
{
    struct Case
    {
        const char* digits;
        int value;
    } cases[] = {{"0411", 411}, {"0409", 409}, {"0804", 804}, {"0c04", 0},
                 {"040c", 40},  {"", 0},       {"411", 411},  {"0412", 412}};
    for (const Case& c : cases) {
        EXPECT_EQ(LanguageFromLanguageId(c.digits), c.value) << c.digits;
        EXPECT_EQ(IsJapanese(LanguageFromLanguageId(c.digits)), c.value == 411) << c.digits;
    }
}

TEST(LanguageId, localeNamesMapToWindowsLanguageIds)
{
    struct Case
    {
        const char* locale;
        const char* id;
    } cases[] = {
        {"ja_JP.UTF-8", "0411"}, {"ja", "0411"},
        {"ja_JP.eucJP", "0411"}, {"ja_JP.UTF-8@x", "0411"},
        {"en_GB.UTF-8", "0809"}, {"zh_CN", "0804"},
        {"zh_TW.UTF-8", "0404"}, {"de_DE.UTF-8", "0407"},
        {"C", "0409"},           {"", "0409"},
        {"jav_ID", "0409"},      {"ko_KR.UTF-8", "0412"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(LanguageIdForLocale(c.locale), c.id) << c.locale;
}

TEST(LocaleFile, readsTheLangAssignment)
{
    EXPECT_EQ(LangFromLocaleFile("LANG=ja_JP.UTF-8\n"), "ja_JP.UTF-8");
    EXPECT_EQ(LangFromLocaleFile("# comment\nLC_ALL=C\nLANG=\"en_US.UTF-8\"\n"), "en_US.UTF-8");
    EXPECT_EQ(LangFromLocaleFile("LANG='ja_JP.UTF-8'\r\n"), "ja_JP.UTF-8");
    EXPECT_EQ(LangFromLocaleFile("  LANG=ja_JP.UTF-8"), "ja_JP.UTF-8");
    EXPECT_EQ(LangFromLocaleFile("LANG=en_US.UTF-8\nLANG=ja_JP.UTF-8\n"), "ja_JP.UTF-8");
    EXPECT_FALSE(LangFromLocaleFile("LANGUAGE=ja\n"));
    EXPECT_FALSE(LangFromLocaleFile("LANG=\n"));
    EXPECT_FALSE(LangFromLocaleFile(""));
    // Binary junk does not crash and names nothing.
    EXPECT_FALSE(LangFromLocaleFile(std::string("\x01\xff\0LANX=", 8)));
}

TEST(LanguageRule, systemDefaultWinsOverTheUsersLocale)
{
    struct Case
    {
        const char* name;
        LocaleSources sources;
        int language;
    } cases[] = {
        {"systemJapaneseUserEnglish",
         {std::string("LANG=ja_JP.UTF-8\n"), std::nullopt, std::string("en_US.UTF-8")},
         411},
        {"systemEnglishUserJapanese",
         {std::nullopt, std::string("LANG=en_US.UTF-8\n"), std::string("ja_JP.UTF-8")},
         409},
        {"chineseIsEnglish", {std::string("LANG=zh_CN.UTF-8\n"), std::nullopt, std::nullopt}, 804},
        {"localeConfBeforeDefaultLocale",
         {std::string("LANG=ja_JP.UTF-8\n"), std::string("LANG=en_US.UTF-8\n"), std::nullopt},
         411},
        {"brokenLocaleConfFallsBackToDefaultLocale",
         {std::string("garbage without assignment"), std::string("LANG=ja_JP.UTF-8"), std::nullopt},
         411},
        {"noSystemFileUsesProcessLang",
         {std::nullopt, std::nullopt, std::string("ja_JP.UTF-8")},
         411},
        {"nothingAtAllIsEnglish", {std::nullopt, std::nullopt, std::nullopt}, 409},
    };
    for (const Case& c : cases) {
        const int language = UiLanguageFrom(c.sources);
        EXPECT_EQ(language, c.language) << c.name;
        EXPECT_EQ(IsJapanese(language), c.language == 411) << c.name;
    }
}

} // namespace
} // namespace zelvo
