#pragma once
// Message boxes answered from a script instead of a person. When the answers run out, a
// box gets its safe answer: OK, No, or Cancel. An OK box takes no scripted answer, so a
// script lists only the questions.
#include "core/MessageBoxes.h"

#include <deque>
#include <functional>
#include <string>
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

    explicit ScriptedMessageBoxes(std::vector<MessageAnswer> answers = {})
        : m_answers(answers.begin(), answers.end())
    {
    }

    MessageAnswer Show(const std::string& text, MessageIcon icon, MessageButtons buttons) override
    {
        using enum MessageAnswer;
        if (m_whileShown)
            m_whileShown(text);
        MessageAnswer answer = buttons == MessageButtons::Ok      ? Ok
                               : buttons == MessageButtons::YesNo ? No
                                                                  : Cancel;
        if (buttons != MessageButtons::Ok && !m_answers.empty()) {
            const MessageAnswer a = m_answers.front();
            m_answers.pop_front();
            // An answer the box does not offer leaves the safe one.
            if (buttons == MessageButtons::OkCancel ? a == Ok || a == Cancel
                : buttons == MessageButtons::YesNo  ? a == Yes || a == No
                                                    : a != Ok)
                answer = a;
        }
        m_shown.push_back({text, icon, buttons, answer});
        return answer;
    }

    void AddAnswer(MessageAnswer answer) { m_answers.push_back(answer); }
    // Runs with each box's text while the box stands open, before its answer is given.
    void WhileShown(std::function<void(const std::string& text)> look)
    {
        m_whileShown = std::move(look);
    }
    const std::vector<Shown>& ShownBoxes() const { return m_shown; }
    std::vector<std::string> Texts() const
    {
        std::vector<std::string> texts;
        for (const Shown& shown : m_shown)
            texts.push_back(shown.text);
        return texts;
    }

    static const char* IconName(MessageIcon icon)
    {
        static constexpr const char* kNames[] = {"Stop", "Question", "Exclamation", "Information"};
        return kNames[int(icon)];
    }

private:
    std::deque<MessageAnswer> m_answers;
    std::vector<Shown> m_shown;
    std::function<void(const std::string&)> m_whileShown;
};

} // namespace zelvo
