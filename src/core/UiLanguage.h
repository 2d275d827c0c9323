#pragma once
#include <optional>
#include <string>
#include <string_view>

namespace zelvo {

// The language of the run: 411 means Japanese, any other value English.
constexpr int kLanguageJapanese = 411;
inline bool IsJapanese(int language)
{
    return language == kLanguageJapanese;
}

// The four hexadecimal digits of a Windows language identifier read as a decimal
// number: leading zeros skipped, stopping at the first non-digit. Only "0411" gives 411.
int LanguageFromLanguageId(std::string_view fourHexDigits);

// Maps a POSIX locale name ("ja_JP.UTF-8", "en_US", "zh_CN@x") to the four hexadecimal
// digits of the matching Windows language identifier ("0411", "0409", "0804").
// Unknown names give "0409"; "C" and "POSIX" are US English.
std::string LanguageIdForLocale(std::string_view localeName);

// Reads LANG= from the text of a locale file (/etc/locale.conf or /etc/default/locale).
// Quotes are removed; an absent or empty LANG gives nullopt.
std::optional<std::string> LangFromLocaleFile(std::string_view fileText);

// Where the system default locale comes from: the system's locale files first, the
// process's own LANG only when none of them names one.
struct LocaleSources
{
    std::optional<std::string> localeConf;    // text of /etc/locale.conf, when readable
    std::optional<std::string> defaultLocale; // text of /etc/default/locale, when readable
    std::optional<std::string> processLang;   // the process's LANG, when set
};

// The language rule: the system default locale's language identifier, as a number.
int UiLanguageFrom(const LocaleSources& sources);

// The language rule on this machine.
int SystemUiLanguage();

} // namespace zelvo
