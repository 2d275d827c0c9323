#pragma once
// The unit-pick and file dialogs answered from a script: an answer is OK, nullopt Cancel,
// and so is a script that ran out.
#include "core/UnitDialogs.h"

#include <deque>
#include <optional>
#include <string>
#include <vector>

namespace zelvo {

template <typename T> std::optional<T> NextAnswer(std::deque<std::optional<T>>& answers)
{
    if (answers.empty())
        return std::nullopt;
    const std::optional<T> answer = answers.front();
    answers.pop_front();
    return answer;
}

class ScriptedUnitPickDialog final : public UnitPickDialog
{
public:
    explicit ScriptedUnitPickDialog(std::vector<std::optional<int>> answers = {})
        : m_answers(answers.begin(), answers.end())
    {
    }
    bool Run(const UnitPickContent& content, int& entry) override
    {
        m_shown.push_back(content);
        const std::optional<int> answer = NextAnswer(m_answers);
        entry = answer.value_or(entry);
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
    explicit ScriptedUnitFileDialog(std::vector<std::optional<std::string>> answers = {})
        : m_answers(answers.begin(), answers.end())
    {
    }
    std::optional<ChosenFile> Run(const UnitFileContent&) override
    {
        const std::optional<std::string> path = NextAnswer(m_answers);
        return path ? std::optional(ChosenFile{path->substr(path->rfind('/') + 1), *path})
                    : std::nullopt;
    }

private:
    std::deque<std::optional<std::string>> m_answers;
};

} // namespace zelvo
