#pragma once
#include <cstddef>
#include <string>
#include <string_view>

namespace zelvo {

// The six quoted values of manager.ini, each in a 64-byte slot (63 characters and a
// terminating zero) of a 1024-byte table.
class IniValues
{
public:
    static constexpr std::size_t kTableBytes = 1024;
    static constexpr std::size_t kSlotBytes = 64;
    static constexpr int kSlots = 6;

    IniValues() { Clear(); }
    void Clear();
    // slot 1 ... 6; an out-of-range slot reads as an empty text.
    const char* Slot(int slot) const;
    // Stores at most 63 bytes of value: a longer value is cut.
    void SetSlot(int slot, std::string_view value);

    const char* WebToolPath() const { return Slot(1); }
    const char* NoConfigPage() const { return Slot(2); }
    const char* RestorePage() const { return Slot(3); }
    const char* FirmwarePage() const { return Slot(4); }
    const char* ConfigDirectory() const { return Slot(5); }
    const char* FirmwareDirectory() const { return Slot(6); }

private:
    char m_table[kTableBytes];
};

enum class IniReadResult
{
    Ok,
    Missing,
    Broken
};

// Only the first kIniReadBytes of the file are examined.
constexpr std::size_t kIniReadBytes = 4096;

// The six values are the texts between the first twelve double quotes of data, taken
// exactly as written (line breaks included); everything outside them is ignored.
// Broken when fewer than twelve quotes are found. Values is cleared first.
IniReadResult ParseIniValues(std::string_view data, IniValues& values);

// Reads the first kIniReadBytes of the file at path and parses them.
IniReadResult ReadIniFile(const std::string& path, IniValues& values);

// The process-wide values, read once by the start-up survey and unchanged after it.
IniValues& Settings();

} // namespace zelvo
