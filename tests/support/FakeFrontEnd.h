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

    void ShowButtons(const CommandButtons& b) override
    {
        for (auto [to, from] : {std::pair{&buttons.backup, &b.backup},
                                {&buttons.restore, &b.restore},
                                {&buttons.setIp, &b.setIp},
                                {&buttons.enableSetIpBox, &b.enableSetIpBox},
                                {&buttons.exit, &b.exit},
                                {&buttons.search, &b.search}})
            if (*from)
                *to = *from;
    }
    void ShowList(const UnitListView& shown) override { newLists += shown.newList, list = shown; }

    // Back up, Restore, Set IP, Enable Set IP, Exit, Search: '1' on, '0' off, '-' untold.
    std::string Buttons() const
    {
        std::string s;
        for (const auto& b : {buttons.backup, buttons.restore, buttons.setIp,
                              buttons.enableSetIpBox, buttons.exit, buttons.search})
            s += b ? (*b ? '1' : '0') : '-';
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
