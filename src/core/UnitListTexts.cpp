#include "core/UnitListTexts.h"

namespace zelvo {

const char* ColumnHeader(int column, bool japanese)
{
    static constexpr const char* kEnglish[] = {"Computer name", "MAC Address", "IP Address",
                                               "Type"};
    static constexpr const char* kJapanese[] = {"コンピュータ名", "MACアドレス", "IPアドレス",
                                                "タイプ"};
    if (column < 0 || column > 3)
        return nullptr;
    return japanese ? kJapanese[column] : kEnglish[column];
}

const char* TitleText(bool japanese)
{
    return japanese ? "Zelvoセットアップツール" : "Zelvo Setup Tool";
}

} // namespace zelvo
