#pragma once
#include "platform/Console.h"

#include <string>

namespace zelvo {

// The one line on standard error that a waiting command redraws in place. It is drawn
// only on a terminal and only when not asked to be quiet; elsewhere (a pipe, a log
// file, -q) nothing at all is written, so scripts read clean output.
// Not thread safe: the command line's main thread only.
class ProgressLine
{
public:
    ProgressLine(Console& console, bool enabled);
    ~ProgressLine();
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

    bool Enabled() const { return m_enabled; }
    // Replaces the line's text (one line; line ends are dropped).
    void Show(const std::string& text);
    // Removes the line, so that a message or a result starts on a clean line.
    void Clear();

private:
    Console& m_console;
    bool m_enabled;
    bool m_shown = false;
};

} // namespace zelvo
