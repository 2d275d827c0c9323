#include "search/SearchTable.h"

#include <cstring>

namespace zelvo {

void SearchTable::SetName(int slot, std::string_view name)
{
    if (slot < 0 || slot >= kSlots)
        return;
    const std::size_t n = name.size() < kNameBytes - 1 ? name.size() : kNameBytes - 1;
    if (n > 0) // an empty view may carry no pointer at all
        std::memcpy(names[slot], name.data(), n);
    names[slot][n] = '\0';
}

} // namespace zelvo
