#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace zelvo {

// Where a text from outside the tool (an FTP server's reply, a file name it listed, a
// computer name a unit gave) is shown, which decides the bytes it may keep.
enum class OutsideTextUse
{
    // A computer name, as the unit list, the log and the command line all show it:
    // printable ASCII only. A backslash is doubled, so that the text reads back
    // unambiguously.
    Name,
    // A line of manager.log: every byte but the control characters. A tab and a CR LF
    // line end are the log's own and stay; the system's texts (UTF-8) stay as they are.
    LogLine,
};

// The text with every byte it may not keep written as \xhh (two lower-case hexadecimal
// digits), so that no terminal or viewer takes it for a command and no reader sees a line
// or a character that was not sent. At most maxBytes long: an escape that would not fit
// whole is left out, with everything after it.
std::string EscapedOutsideText(std::string_view text, OutsideTextUse use,
                               std::size_t maxBytes = SIZE_MAX);

} // namespace zelvo
