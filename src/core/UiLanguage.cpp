#include "core/UiLanguage.h"

#include "platform/Files.h"

#include <cstdlib>

namespace zelvo {

int LanguageFromLanguageId(std::string_view digits)
{
    int value = 0;
    for (char c : digits) {
        if (c < '0' || c > '9')
            break;
        value = value * 10 + (c - '0');
    }
    return value;
}

namespace {

struct LocaleMapping
{
    std::string_view prefix; // "ll" or "ll_CC"
    std::string_view languageId;
};

// Longer prefixes first so that a country-specific entry wins over the language alone.
constexpr LocaleMapping kMappings[] = {
    {"zh_CN", "0804"}, {"zh_SG", "1004"}, {"zh_TW", "0404"}, {"zh_HK", "0c04"}, {"zh_MO", "1404"},
    {"en_US", "0409"}, {"en_GB", "0809"}, {"en_AU", "0c09"}, {"en_CA", "1009"}, {"en_NZ", "1409"},
    {"en_IE", "1809"}, {"pt_BR", "0416"}, {"pt_PT", "0816"}, {"es_ES", "0c0a"}, {"es_MX", "080a"},
    {"fr_CA", "0c0c"}, {"fr_BE", "080c"}, {"fr_CH", "100c"}, {"de_AT", "0c07"}, {"de_CH", "0807"},
    {"ja", "0411"},    {"en", "0409"},    {"zh", "0804"},    {"ko", "0412"},    {"de", "0407"},
    {"fr", "040c"},    {"es", "0c0a"},    {"it", "0410"},    {"pt", "0816"},    {"nl", "0413"},
    {"ru", "0419"},    {"pl", "0415"},    {"sv", "041d"},    {"fi", "040b"},    {"da", "0406"},
    {"nb", "0414"},    {"cs", "0405"},    {"hu", "040e"},    {"tr", "041f"},    {"el", "0408"},
    {"he", "040d"},    {"ar", "0401"},    {"th", "041e"},    {"vi", "042a"},    {"uk", "0422"},
    {"ro", "0418"},    {"id", "0421"},
};

} // namespace

std::string LanguageIdForLocale(std::string_view name)
{
    // "ja_JP.UTF-8@variant": only language and country matter.
    const auto cut = name.find_first_of(".@");
    if (cut != std::string_view::npos)
        name = name.substr(0, cut);
    for (const LocaleMapping& m : kMappings) {
        if (name.size() < m.prefix.size() || name.substr(0, m.prefix.size()) != m.prefix)
            continue;
        // "ja" must not match "jav": the prefix ends the name or is followed by '_'.
        if (name.size() == m.prefix.size() || name[m.prefix.size()] == '_')
            return std::string(m.languageId);
    }
    return "0409";
}

std::optional<std::string> LangFromLocaleFile(std::string_view text)
{
    std::optional<std::string> found;
    while (!text.empty()) {
        const auto eol = text.find('\n');
        std::string_view line = text.substr(0, eol);
        text = eol == std::string_view::npos ? std::string_view() : text.substr(eol + 1);
        while (!line.empty() && (line.front() == ' ' || line.front() == '\t'))
            line.remove_prefix(1);
        if (line.substr(0, 5) == "LANG=") {
            line.remove_prefix(5);
            while (!line.empty() && (line.back() == '\r' || line.back() == ' '))
                line.remove_suffix(1);
            if (line.size() >= 2 && (line.front() == '"' || line.front() == '\'') &&
                line.back() == line.front())
                line = line.substr(1, line.size() - 2);
            // The last assignment wins, as when the file is sourced by a shell.
            found = line.empty() ? std::nullopt : std::optional<std::string>(line);
        }
    }
    return found;
}

int UiLanguageFrom(const LocaleSources& s)
{
    std::optional<std::string> lang;
    if (s.localeConf)
        lang = LangFromLocaleFile(*s.localeConf);
    if (!lang && s.defaultLocale)
        lang = LangFromLocaleFile(*s.defaultLocale);
    if (!lang && s.processLang && !s.processLang->empty())
        lang = s.processLang;
    return LanguageFromLanguageId(LanguageIdForLocale(lang ? *lang : std::string("C")));
}

int SystemUiLanguage()
{
    LocaleSources s;
    s.localeConf = ReadSmallFile("/etc/locale.conf", 4096);
    s.defaultLocale = ReadSmallFile("/etc/default/locale", 4096);
    if (const char* env = std::getenv("LANG"))
        s.processLang = env;
    return UiLanguageFrom(s);
}

} // namespace zelvo
