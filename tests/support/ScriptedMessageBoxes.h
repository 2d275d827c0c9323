#pragma once
// Message boxes answered from a script instead of a person. Tests use them in process;
// the process tests' tool (tests/app/ScriptedTool.cpp) writes every box to a transcript.
// When the answers run out, a box gets its safe answer: OK, No, or Cancel. An OK box takes
// no scripted answer, so a script lists only the questions.
//
// Transcript record, one per box (text with its exact bytes):
//   "box icon=<Stop|...> buttons=<Ok|...> answer=<Ok|...> length=<bytes of text>\n" <text> "\n"
#include "core/MessageBoxes.h"
#include "platform/Files.h"

#include <cstdio>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <strings.h>
#include <vector>

namespace zelvo {

class ScriptedMessageBoxes final : public MessageBoxes
{
public:
    struct Shown
    {
        std::string text;
        MessageIcon icon;
        MessageButtons buttons;
        MessageAnswer answer;
    };

    explicit ScriptedMessageBoxes(std::vector<MessageAnswer> answers = {},
                                  std::string transcriptPath = {})
        : m_answers(answers.begin(), answers.end()), m_transcriptPath(std::move(transcriptPath))
    {
    }

    MessageAnswer Show(const std::string& text, MessageIcon icon, MessageButtons buttons) override
    {
        if (m_whileShown)
            m_whileShown(text);
        MessageAnswer answer = SafeAnswer(buttons);
        if (buttons != MessageButtons::Ok && !m_answers.empty()) {
            if (Allowed(buttons, m_answers.front()))
                answer = m_answers.front();
            m_answers.pop_front();
        }
        m_shown.push_back({text, icon, buttons, answer});
        if (FILE* f =
                m_transcriptPath.empty() ? nullptr : std::fopen(m_transcriptPath.c_str(), "ab")) {
            std::fprintf(f, "box icon=%s buttons=%s answer=%s length=%zu\n", IconName(icon),
                         kButtonsNames[int(buttons)], kAnswerNames[int(answer)], text.size());
            std::fwrite(text.data(), 1, text.size(), f);
            std::fputc('\n', f);
            std::fclose(f);
        }
        return answer;
    }

    void AddAnswer(MessageAnswer answer) { m_answers.push_back(answer); }
    // Runs with each box's text while the box stands open, before its answer is given.
    void WhileShown(std::function<void(const std::string& text)> look)
    {
        m_whileShown = std::move(look);
    }
    const std::vector<Shown>& ShownBoxes() const { return m_shown; }

    // A transcript file read back; a malformed file gives what was read before the fault.
    static std::vector<Shown> ReadTranscript(const std::string& path)
    {
        std::vector<Shown> boxes;
        const std::string data = ReadSmallFile(path, 16 * 1024 * 1024).value_or("");
        for (std::size_t pos = 0, eol; (eol = data.find('\n', pos)) != std::string::npos;) {
            char icon[16] = {}, buttons[16] = {}, answer[16] = {};
            std::size_t length = 0;
            if (std::sscanf(data.substr(pos, eol - pos).c_str(),
                            "box icon=%15s buttons=%15s answer=%15s length=%zu", icon, buttons,
                            answer, &length) != 4 ||
                eol + 1 + length > data.size())
                break;
            boxes.push_back(
                {data.substr(eol + 1, length),
                 FromName<MessageIcon>(icon, kIconNames).value_or(MessageIcon::Stop),
                 FromName<MessageButtons>(buttons, kButtonsNames).value_or(MessageButtons::Ok),
                 FromName<MessageAnswer>(answer, kAnswerNames).value_or(MessageAnswer::Ok)});
            pos = eol + 1 + length + 1;
        }
        return boxes;
    }

    static const char* IconName(MessageIcon icon) { return kIconNames[int(icon)]; }

private:
    // In the order of the enumerators.
    static constexpr const char* kIconNames[] = {"Stop", "Question", "Exclamation", "Information"};
    static constexpr const char* kButtonsNames[] = {"Ok", "OkCancel", "YesNo", "YesNoCancel"};
    static constexpr const char* kAnswerNames[] = {"Ok", "Cancel", "Yes", "No"};

    template <typename E, std::size_t N>
    static std::optional<E> FromName(const std::string& text, const char* const (&names)[N])
    {
        for (std::size_t i = 0; i < N; ++i)
            if (strcasecmp(text.c_str(), names[i]) == 0)
                return static_cast<E>(i);
        return std::nullopt;
    }
    static bool Allowed(MessageButtons b, MessageAnswer a)
    {
        using enum MessageAnswer;
        return b == MessageButtons::Ok         ? a == Ok
               : b == MessageButtons::OkCancel ? a == Ok || a == Cancel
               : b == MessageButtons::YesNo    ? a == Yes || a == No
                                               : a != Ok;
    }
    static MessageAnswer SafeAnswer(MessageButtons buttons)
    {
        return buttons == MessageButtons::Ok      ? MessageAnswer::Ok
               : buttons == MessageButtons::YesNo ? MessageAnswer::No
                                                  : MessageAnswer::Cancel;
    }

    std::deque<MessageAnswer> m_answers;
    std::string m_transcriptPath;
    std::vector<Shown> m_shown;
    std::function<void(const std::string&)> m_whileShown;
};

} // namespace zelvo
