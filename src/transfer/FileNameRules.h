#pragma once
#include <string>
#include <string_view>

namespace zelvo {

// Paths and names the transfer commands build or take from a dialog must fit a
// 260-byte buffer with its terminating zero.
constexpr std::size_t kTransferPathBytes = 260;
inline bool FitsTransferBuffer(std::string_view text)
{
    return text.size() < kTransferPathBytes;
}

// "nas_" + the MAC text's characters 9, 10, 12, 13, 15 and 16 in upper case + ".dat":
// 00-11-22-ab-cd-ef gives nas_ABCDEF.dat. Empty for a text shorter than a MAC text.
std::string ConfigFileName(std::string_view macText);

// Four ASCII letters, four ASCII digits, ".fup" in lower case; what follows position 11
// is not examined. The pattern shown to the user when a name is refused:
bool IsFirmwareFileName(std::string_view name);
inline constexpr char kFirmwareNamePattern[] = "xxxxyyyy.fup";

// The part of path after its last '/'.
std::string_view FileNameOfPath(std::string_view path);

} // namespace zelvo
