#include "core/SubnetMask.h"

#include "core/UiLanguage.h"

#include <cstdio>

namespace zelvo {

SubnetMask MaskTextToBytes(std::string_view text)
{
    const auto digit = [text](std::size_t i) -> unsigned {
        return i < text.size() && text[i] >= '0' && text[i] <= '9'
                   ? static_cast<unsigned>(text[i] - '0')
                   : 0u;
    };
    SubnetMask mask = {};
    for (std::size_t k = 0; k < mask.size(); ++k)
        mask[k] =
            static_cast<uint8_t>(100 * digit(4 * k) + 10 * digit(4 * k + 1) + digit(4 * k + 2));
    return mask;
}

SubnetMask MaskFromPrefixLength(int prefixLength)
{
    SubnetMask mask = {};
    int bits = prefixLength < 0 ? 0 : (prefixLength > 32 ? 32 : prefixLength);
    for (auto& byte : mask) {
        const int take = bits > 8 ? 8 : bits;
        byte = static_cast<uint8_t>(0xFF00u >> take);
        bits -= take;
    }
    return mask;
}

std::string NoSubnetMaskBoxText(int language)
{
    return IsJapanese(language)
               ? "現在のネットワーク環境からはサブネットマスク情報を取得できません。"
               : "On your PC Subnet mask information can't be acquired.";
}

std::string SubnetMaskBoxText(const SubnetMask& mask)
{
    char text[40];
    std::snprintf(text, sizeof text, "SubnetMask : %3x.%3x.%3x.%3x", mask[0], mask[1], mask[2],
                  mask[3]);
    return text;
}

} // namespace zelvo
