#pragma once
// The unit-pick and file dialogs answered from a script; when a script runs out, the
// dialog is cancelled.
#include "core/UnitDialogs.h"

#include <deque>
#include <optional>
#include <string>
#include <vector>

namespace zelvo {

class ScriptedUnitPickDialog final : public UnitPickDialog
{
public:
    // An entry for OK, nullopt for Cancel.
    explicit ScriptedUnitPickDialog(std::vector<std::optional<int>> answers = {})
        : m_answers(answers.begin(), answers.end())
    {
    }

    bool Run(const UnitPickContent& content, int& entry) override
    {
        m_shown.push_back(content);
        const std::optional<int> answer = m_answers.empty() ? std::nullopt : m_answers.front();
        if (!m_answers.empty())
            m_answers.pop_front();
        if (answer)
            entry = *answer;
        return answer.has_value();
    }
    const std::vector<UnitPickContent>& Shown() const { return m_shown; }

private:
    std::deque<std::optional<int>> m_answers;
    std::vector<UnitPickContent> m_shown;
};

class ScriptedUnitFileDialog final : public UnitFileDialog
{
public:
    // A full path for OK, nullopt for Cancel.
    explicit ScriptedUnitFileDialog(std::vector<std::optional<std::string>> answers = {})
        : m_answers(answers.begin(), answers.end())
    {
    }

    std::optional<ChosenFile> Run(const UnitFileContent&) override
    {
        const std::optional<std::string> answer =
            m_answers.empty() ? std::nullopt : m_answers.front();
        if (!m_answers.empty())
            m_answers.pop_front();
        if (!answer)
            return std::nullopt;
        return ChosenFile{answer->substr(answer->rfind('/') + 1), *answer};
    }

private:
    std::deque<std::optional<std::string>> m_answers;
};

} // namespace zelvo
