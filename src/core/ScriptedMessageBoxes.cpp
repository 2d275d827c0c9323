#include "core/ScriptedMessageBoxes.h"

#include "platform/Files.h"

#include <cstdio>
#include <cstring>
#include <strings.h>

namespace zelvo {

namespace {

// Names in the order of the enumerators.
constexpr const char* kIconNames[] = {"Stop", "Question", "Exclamation", "Information"};
constexpr const char* kButtonsNames[] = {"Ok", "OkCancel", "YesNo", "YesNoCancel"};
constexpr const char* kAnswerNames[] = {"Ok", "Cancel", "Yes", "No"};

template <typename E, std::size_t N> const char* NameOf(E value, const char* const (&names)[N])
{
    const auto i = static_cast<std::size_t>(value);
    return i < N ? names[i] : "?";
}

template <typename E, std::size_t N>
std::optional<E> FromName(const std::string& text, const char* const (&names)[N])
{
    for (std::size_t i = 0; i < N; ++i)
        if (strcasecmp(text.c_str(), names[i]) == 0)
            return static_cast<E>(i);
    return std::nullopt;
}

} // namespace

ScriptedMessageBoxes::ScriptedMessageBoxes(std::vector<MessageAnswer> answers,
                                           std::string transcriptPath)
    : m_answers(answers.begin(), answers.end()), m_transcriptPath(std::move(transcriptPath))
{
}

std::optional<std::vector<MessageAnswer>>
ScriptedMessageBoxes::AnswersFromText(const std::string& text)
{
    std::vector<MessageAnswer> answers;
    std::size_t pos = 0;
    while (pos <= text.size()) {
        const auto comma = text.find(',', pos);
        const std::string word =
            text.substr(pos, comma == std::string::npos ? std::string::npos : comma - pos);
        if (const auto answer = FromName<MessageAnswer>(word, kAnswerNames))
            answers.push_back(*answer);
        else if (!word.empty())
            return std::nullopt;
        if (comma == std::string::npos)
            break;
        pos = comma + 1;
    }
    return answers;
}

ScriptedMessageBoxes::Script ScriptedMessageBoxes::ScriptFromEnvironment(const char* transcriptPath,
                                                                         const char* answers)
{
    Script script;
    if (!transcriptPath || !*transcriptPath)
        return script;
    script.scripted = true;
    script.transcriptPath = transcriptPath;
    const std::string text = answers ? answers : "";
    if (auto parsed = AnswersFromText(text))
        script.answers = std::move(*parsed);
    else
        script.error = "ZELVO_MESSAGE_ANSWERS=\"" + text +
                       "\" is not a list of Yes, No, Ok and Cancel separated by commas";
    return script;
}

void ScriptedMessageBoxes::AddAnswer(MessageAnswer answer)
{
    m_answers.push_back(answer);
}

const char* ScriptedMessageBoxes::IconName(MessageIcon icon)
{
    return NameOf(icon, kIconNames);
}

const char* ScriptedMessageBoxes::ButtonsName(MessageButtons buttons)
{
    return NameOf(buttons, kButtonsNames);
}

const char* ScriptedMessageBoxes::AnswerName(MessageAnswer answer)
{
    return NameOf(answer, kAnswerNames);
}

namespace {

bool Allowed(MessageButtons buttons, MessageAnswer answer)
{
    switch (buttons) {
    case MessageButtons::Ok:
        return answer == MessageAnswer::Ok;
    case MessageButtons::OkCancel:
        return answer == MessageAnswer::Ok || answer == MessageAnswer::Cancel;
    case MessageButtons::YesNo:
        return answer == MessageAnswer::Yes || answer == MessageAnswer::No;
    case MessageButtons::YesNoCancel:
        return answer != MessageAnswer::Ok;
    }
    return false;
}

MessageAnswer SafeAnswer(MessageButtons buttons)
{
    switch (buttons) {
    case MessageButtons::Ok:
        return MessageAnswer::Ok;
    case MessageButtons::YesNo:
        return MessageAnswer::No;
    case MessageButtons::OkCancel:
    case MessageButtons::YesNoCancel:
        return MessageAnswer::Cancel;
    }
    return MessageAnswer::Ok;
}

} // namespace

MessageAnswer ScriptedMessageBoxes::Show(const std::string& text, MessageIcon icon,
                                         MessageButtons buttons)
{
    if (m_whileShown)
        m_whileShown(text);
    MessageAnswer answer = SafeAnswer(buttons);
    // An OK box takes no scripted answer, so a script lists only the questions.
    if (buttons != MessageButtons::Ok && !m_answers.empty()) {
        if (Allowed(buttons, m_answers.front()))
            answer = m_answers.front();
        m_answers.pop_front();
    }
    m_shown.push_back({text, icon, buttons, answer});
    if (!m_transcriptPath.empty()) {
        if (FILE* f = std::fopen(m_transcriptPath.c_str(), "ab")) {
            std::fprintf(f, "box icon=%s buttons=%s answer=%s length=%zu\n", IconName(icon),
                         ButtonsName(buttons), AnswerName(answer), text.size());
            std::fwrite(text.data(), 1, text.size(), f);
            std::fputc('\n', f);
            std::fclose(f);
        }
    }
    return answer;
}

void ScriptedMessageBoxes::WhileShown(std::function<void(const std::string& text)> look)
{
    m_whileShown = std::move(look);
}

std::vector<ScriptedMessageBoxes::Shown>
ScriptedMessageBoxes::ReadTranscript(const std::string& path)
{
    std::vector<Shown> boxes;
    const auto data = ReadSmallFile(path, 16 * 1024 * 1024);
    if (!data)
        return boxes;
    std::size_t pos = 0;
    while (pos < data->size()) {
        const auto eol = data->find('\n', pos);
        if (eol == std::string::npos)
            break;
        const std::string header = data->substr(pos, eol - pos);
        char icon[16] = {}, buttons[16] = {}, answer[16] = {};
        std::size_t length = 0;
        if (std::sscanf(header.c_str(), "box icon=%15s buttons=%15s answer=%15s length=%zu", icon,
                        buttons, answer, &length) != 4)
            break;
        if (eol + 1 + length > data->size())
            break;
        boxes.push_back(
            {data->substr(eol + 1, length),
             FromName<MessageIcon>(icon, kIconNames).value_or(MessageIcon::Exclamation),
             FromName<MessageButtons>(buttons, kButtonsNames).value_or(MessageButtons::Ok),
             FromName<MessageAnswer>(answer, kAnswerNames).value_or(MessageAnswer::Ok)});
        pos = eol + 1 + length + 1;
    }
    return boxes;
}

} // namespace zelvo
