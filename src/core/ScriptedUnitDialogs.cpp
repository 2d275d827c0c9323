#include "core/ScriptedUnitDialogs.h"

#include <charconv>

namespace zelvo {
namespace {

std::vector<std::string> Split(const std::string& text, char separator)
{
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = text.find(separator, start);
        parts.push_back(text.substr(start, end == std::string::npos ? end : end - start));
        if (end == std::string::npos)
            return parts;
        start = end + 1;
    }
}

} // namespace

ScriptedUnitPickDialog::ScriptedUnitPickDialog(std::vector<std::optional<int>> answers)
    : m_answers(answers.begin(), answers.end())
{
}

std::optional<std::vector<std::optional<int>>>
ScriptedUnitPickDialog::AnswersFromText(const std::string& text)
{
    std::vector<std::optional<int>> answers;
    if (text.empty())
        return answers;
    for (const std::string& part : Split(text, ',')) {
        if (part == "cancel") {
            answers.push_back(std::nullopt);
            continue;
        }
        int entry = -1;
        const auto [end, error] = std::from_chars(part.data(), part.data() + part.size(), entry);
        if (error != std::errc() || end != part.data() + part.size() || entry < 0)
            return std::nullopt;
        answers.push_back(entry);
    }
    return answers;
}

bool ScriptedUnitPickDialog::Run(const UnitPickContent& content, int& entry)
{
    m_shown.push_back(content);
    std::optional<int> answer;
    if (!m_answers.empty()) {
        answer = m_answers.front();
        m_answers.pop_front();
    }
    if (!answer)
        return false;
    entry = *answer;
    return true;
}

ScriptedUnitFileDialog::ScriptedUnitFileDialog(std::vector<std::optional<std::string>> answers)
    : m_answers(answers.begin(), answers.end())
{
}

std::vector<std::optional<std::string>>
ScriptedUnitFileDialog::AnswersFromText(const std::string& text)
{
    std::vector<std::optional<std::string>> answers;
    if (text.empty())
        return answers;
    for (const std::string& part : Split(text, ':'))
        answers.push_back(part == "cancel" || part.empty() ? std::nullopt
                                                           : std::optional<std::string>(part));
    return answers;
}

std::optional<ChosenFile> ScriptedUnitFileDialog::Run(const UnitFileContent& content)
{
    m_shown.push_back(content);
    std::optional<std::string> answer;
    if (!m_answers.empty()) {
        answer = m_answers.front();
        m_answers.pop_front();
    }
    if (!answer)
        return std::nullopt;
    const auto slash = answer->rfind('/');
    return ChosenFile{slash == std::string::npos ? *answer : answer->substr(slash + 1), *answer};
}

} // namespace zelvo
