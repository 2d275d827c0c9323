#include "core/UiLanguage.h"

#include <gtest/gtest.h>

namespace zelvo {
namespace {

TEST(LanguageId, localesMapToLanguageIdsAndOnly0411IsJapanese)
{
    const std::pair<const char*, int> ids[] = {{"0411", 411}, {"0409", 409}, {"0804", 804},
                                               {"0c04", 0},   {"040c", 40},  {"", 0},
                                               {"411", 411},  {"0412", 412}};
    for (const auto& [digits, value] : ids) {
        EXPECT_EQ(LanguageFromLanguageId(digits), value) << digits;
        EXPECT_EQ(IsJapanese(LanguageFromLanguageId(digits)), value == 411) << digits;
    }
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
    const std::pair<LocaleSources, int> cases[] = {
        {{ja, none, "en_US.UTF-8"}, 411},
        {{none, en, "ja_JP.UTF-8"}, 409},
        {{"LANG=zh_CN.UTF-8\n", none, none}, 804},
        {{ja, en, none}, 411},
        {{"garbage without assignment", ja, none}, 411},
        {{none, none, "ja_JP.UTF-8"}, 411},
        {{none, none, none}, 409},
    };
    for (const auto& [sources, language] : cases)
        EXPECT_EQ(UiLanguageFrom(sources), language) << sources.processLang.value_or("-");
}

} // namespace
} // namespace zelvo
