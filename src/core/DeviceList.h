#pragma once
#include "platform/NetAddress.h"

#include <cstdint>

namespace zelvo {

// One row of the unit list. Texts are zero-terminated in fixed 260-byte fields; the
// setters cut what does not fit.
struct DeviceRecord
{
    static constexpr int kTextBytes = 260;
    char name[kTextBytes] = {};     // computer name (row 0: the PC's host name, upper case)
    char ipText[kTextBytes] = {};   // dotted address
    char macText[kTextBytes] = {};  // "00-1a-2b-3c-4d-5e"
    char typeText[kTextBytes] = {}; // "Your Host PC" or "VELDIX [n]"
    Ipv4Address address;            // network order
    MacAddress mac = {};

    void SetName(const char* text);
    void SetIpText(const char* text);
    void SetMacText(const char* text);
    void SetTypeText(const char* text);
    void Clear();
};

// The table behind the unit list: row 0 is the PC, rows 1 and up the units listed by
// the last search and by temporary assignments. UI thread only.
struct DeviceList
{
    static constexpr int kRows = 256;
    static constexpr int kUnitRows = 64;

    DeviceRecord rows[kRows];
    int RowCount = 1;             // rows in use, row 0 included
    int usedAddressCount = 1;     // the search's used-address counter
    int UnitCount = 0;            // units listed, 0 ... kUnitRows
    int UnitRows[kUnitRows] = {}; // row numbers of the listed units, in list order
    int SelectedRow = 0;          // last selected list row; -1 when nothing is selected

    // Back to row 0 only; row 0 itself is kept.
    void ResetToPcRow();
    // True when row is a listed unit's row.
    bool IsUnitRow(int row) const;
};

} // namespace zelvo
