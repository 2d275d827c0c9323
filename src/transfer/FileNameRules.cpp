#include "transfer/FileNameRules.h"

namespace zelvo {
namespace {

bool IsAsciiLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool IsAsciiDigit(char c)
{
    return c >= '0' && c <= '9';
}

char UpperAscii(char c)
{
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

} // namespace

std::string ConfigFileName(std::string_view macText)
{
    constexpr std::size_t kMacTextLength = 17; // "00-11-22-ab-cd-ef"
    if (macText.size() < kMacTextLength)
        return {};
    std::string name = "nas_";
    for (const std::size_t at : {9, 10, 12, 13, 15, 16})
        name += UpperAscii(macText[at]);
    return name + ".dat";
}

bool IsFirmwareFileName(std::string_view name)
{
    if (name.size() < 12)
        return false;
    // Digits first, then letters, then the extension: the first failure refuses.
    for (std::size_t i = 4; i < 8; ++i)
        if (!IsAsciiDigit(name[i]))
            return false;
    for (std::size_t i = 0; i < 4; ++i)
        if (!IsAsciiLetter(name[i]))
            return false;
    return name.substr(8, 4) == ".fup";
}

std::string_view FileNameOfPath(std::string_view path)
{
    const auto slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

} // namespace zelvo
