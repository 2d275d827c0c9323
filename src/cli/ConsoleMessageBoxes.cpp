#include "cli/ConsoleMessageBoxes.h"

#include "core/MessageCatalogue.h"

namespace zelvo {
namespace {

// Attempts at a question before an unreadable answer counts as No.
constexpr int kAskAttempts = 3;

bool IsQuestion(MessageButtons buttons)
{
    return buttons != MessageButtons::Ok;
}

MessageAnswer Affirmative(MessageButtons buttons)
{
    return buttons == MessageButtons::OkCancel ? MessageAnswer::Ok : MessageAnswer::Yes;
}

// What the window's safe button would be: No, or Cancel where there is no No.
MessageAnswer Safe(MessageButtons buttons)
{
    switch (buttons) {
    case MessageButtons::OkCancel:
    case MessageButtons::YesNoCancel:
        return MessageAnswer::Cancel;
    case MessageButtons::YesNo:
        return MessageAnswer::No;
    case MessageButtons::Ok:
        break;
    }
    return MessageAnswer::Ok;
}

std::string Trimmed(const std::string& text)
{
    std::size_t first = text.find_first_not_of(" \t");
    std::size_t last = text.find_last_not_of(" \t");
    return first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
}

} // namespace

ConsoleMessageBoxes::ConsoleMessageBoxes(Console& console, ProgressLine& line, int language,
                                         bool assumeYes)
    : m_console(console), m_line(line), m_language(language), m_assumeYes(assumeYes)
{
}

std::string ConsoleMessageBoxes::PlainText(const std::string& text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            // One break for "\r\n" and for "\n\r"; two of the same are two breaks.
            const char next = i + 1 < text.size() ? text[i + 1] : '\0';
            if ((next == '\r' || next == '\n') && next != c)
                ++i;
            out += '\n';
        } else {
            out += c;
        }
    }
    while (!out.empty() && out.back() == '\n')
        out.pop_back();
    return out;
}

MessageAnswer ConsoleMessageBoxes::Show(const std::string& text, MessageIcon,
                                        MessageButtons buttons)
{
    m_line.Clear();
    m_console.Err(PlainText(text) + "\n");
    if (!IsQuestion(buttons))
        return MessageAnswer::Ok;
    if (m_assumeYes) {
        m_console.Err(MessageCatalogue::Choose(m_language, 970, 971) + "\n");
        return Affirmative(buttons);
    }
    if (!m_console.InputIsTerminal()) {
        m_refused = true;
        m_console.Err(MessageCatalogue::Choose(m_language, 964, 965) + "\n");
        return Safe(buttons);
    }
    return Ask(buttons);
}

MessageAnswer ConsoleMessageBoxes::Ask(MessageButtons buttons)
{
    for (int attempt = 0; attempt < kAskAttempts; ++attempt) {
        m_console.Err(MessageCatalogue::Choose(m_language, 966, 967));
        const std::optional<std::string> line = m_console.ReadLine();
        if (!line) {
            // The terminal closed its input: nobody can answer any more.
            m_console.Err("\n");
            m_refused = true;
            return Safe(buttons);
        }
        const std::string answer = Trimmed(*line);
        if (answer == "y" || answer == "Y" || answer == "yes" || answer == "Yes" ||
            answer == "YES" || answer == "はい")
            return Affirmative(buttons);
        if (answer == "n" || answer == "N" || answer == "no" || answer == "No" || answer == "NO" ||
            answer == "いいえ")
            return Safe(buttons) == MessageAnswer::Cancel && buttons == MessageButtons::YesNoCancel
                       ? MessageAnswer::No
                       : Safe(buttons);
    }
    m_refused = true;
    return Safe(buttons);
}

} // namespace zelvo
