#include "core/FrontEnd.h"

namespace zelvo {

UnitListView ListedRows(const DeviceList& devices)
{
    UnitListView view;
    view.rows.push_back(devices.rows[0]);
    for (int k = 0; k < devices.UnitCount && k < DeviceList::kUnitRows; ++k) {
        const int row = devices.UnitRows[k];
        if (row > 0 && row < DeviceList::kRows)
            view.rows.push_back(devices.rows[row]);
    }
    return view;
}

} // namespace zelvo
