#pragma once
#include "cli/ProgressLine.h"
#include "core/MessageBoxes.h"
#include "platform/Console.h"

namespace zelvo {

// The tool's message boxes on a command line. A message is written to standard error.
// A question (Yes/No, OK/Cancel) is answered yes by --yes; otherwise it is asked on
// the terminal; without a terminal it is refused: it gets its safe answer (No, or
// Cancel), the user is told how to answer it, and Refused() says so, so that the
// command ends with the status of a refusal rather than on a guess.
// Not thread safe: the command line's main thread only.
class ConsoleMessageBoxes final : public MessageBoxes
{
public:
    ConsoleMessageBoxes(Console& console, ProgressLine& line, int language, bool assumeYes);

    MessageAnswer Show(const std::string& text, MessageIcon icon, MessageButtons buttons) override;

    bool Refused() const { return m_refused; }
    void SetLanguage(int language) { m_language = language; }

    // The text of a box as one terminal paragraph: "\r\n", "\n\r" and lone "\r" become
    // "\n", trailing line ends go.
    static std::string PlainText(const std::string& text);

private:
    MessageAnswer Ask(MessageButtons buttons);

    Console& m_console;
    ProgressLine& m_line;
    int m_language;
    bool m_assumeYes;
    bool m_refused = false;
};

} // namespace zelvo
