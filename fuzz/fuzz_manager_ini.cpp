// manager.ini as anyone may have edited it: the six values are the texts between the
// first twelve double quotes of the first 4096 bytes, each cut to 63 bytes.
#include "FuzzCheck.h"
#include "core/IniSettings.h"

#include <cstring>
#include <string>
#include <string_view>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    using namespace zelvo;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    IniValues values;
    const IniReadResult result = ParseIniValues(text, values);

    // The same rule read another way: split the examined text at every quote; the odd
    // pieces are the values.
    std::string_view examined = text.substr(0, kIniReadBytes);
    examined = examined.substr(0, examined.find('\0'));
    std::vector<std::string_view> pieces;
    for (std::size_t start = 0;;) {
        const auto quote = examined.find('"', start);
        pieces.push_back(examined.substr(start, quote - start));
        if (quote == std::string_view::npos)
            break;
        start = quote + 1;
    }
    const bool enoughQuotes = pieces.size() >= 13;
    ZELVO_FUZZ_CHECK((result == IniReadResult::Ok) == enoughQuotes);
    for (int slot = 1; slot <= IniValues::kSlots; ++slot) {
        const std::string_view stored = values.Slot(slot);
        ZELVO_FUZZ_CHECK(stored.size() < IniValues::kSlotBytes);
        if (enoughQuotes)
            ZELVO_FUZZ_CHECK(stored == pieces[2 * slot - 1].substr(0, IniValues::kSlotBytes - 1));
    }
    ZELVO_FUZZ_CHECK(*values.Slot(0) == '\0' && *values.Slot(7) == '\0');
    return 0;
}
