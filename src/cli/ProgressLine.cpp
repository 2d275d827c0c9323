#include "cli/ProgressLine.h"

namespace zelvo {

ProgressLine::ProgressLine(Console& console, bool enabled) : m_console(console), m_enabled(enabled)
{
}

ProgressLine::~ProgressLine()
{
    Clear();
}

void ProgressLine::Show(const std::string& text)
{
    if (!m_enabled)
        return;
    std::string line = "\r";
    for (char c : text)
        if (c != '\r' && c != '\n')
            line += c;
    line += "\x1b[K"; // erase what a longer earlier text left behind
    m_console.Err(line);
    m_shown = true;
}

void ProgressLine::Clear()
{
    if (!m_shown)
        return;
    m_console.Err("\r\x1b[K");
    m_shown = false;
}

} // namespace zelvo
