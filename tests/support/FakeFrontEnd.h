#pragma once
#include "core/FrontEnd.h"

#include <string>

namespace zelvo::test {

// The front end as the commands last left it: each button's state and the list shown.
struct FakeFrontEnd final : FrontEnd
{
    CommandButtons buttons; // what each button was last told; empty: never told
    UnitListView list;      // the list as last shown
    int newLists = 0;       // the times a new list began

    // Back up, Restore, Set IP, Enable Set IP, Exit, Search.
    static constexpr std::optional<bool> CommandButtons::*kOrder[] = {
        &CommandButtons::backup,         &CommandButtons::restore, &CommandButtons::setIp,
        &CommandButtons::enableSetIpBox, &CommandButtons::exit,    &CommandButtons::search};

    void ShowButtons(const CommandButtons& b) override
    {
        for (auto button : kOrder)
            buttons.*button = (b.*button).has_value() ? b.*button : buttons.*button;
    }
    void ShowList(const UnitListView& shown) override { newLists += shown.newList, list = shown; }

    // In kOrder: '1' on, '0' off, '-' untold.
    std::string Buttons() const
    {
        std::string s;
        for (auto button : kOrder)
            s += (buttons.*button).has_value() ? (*(buttons.*button) ? '1' : '0') : '-';
        return s;
    }
    // Each row shown as "name|address|MAC|type".
    std::vector<std::string> Rows() const
    {
        std::vector<std::string> rows;
        for (const DeviceRecord& r : list.rows)
            rows.push_back(std::string(r.name) + "|" + r.ipText + "|" + r.macText + "|" +
                           r.typeText);
        return rows;
    }
};

} // namespace zelvo::test
