#include "app/ScriptedMessageBoxes.h"

#include "platform/Files.h"

#include <cstdio>
#include <cstring>

namespace zelvo {

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
        if (word == "ok")
            answers.push_back(MessageAnswer::Ok);
        else if (word == "cancel")
            answers.push_back(MessageAnswer::Cancel);
        else if (word == "yes")
            answers.push_back(MessageAnswer::Yes);
        else if (word == "no")
            answers.push_back(MessageAnswer::No);
        else if (!word.empty())
            return std::nullopt;
        if (comma == std::string::npos)
            break;
        pos = comma + 1;
    }
    return answers;
}

void ScriptedMessageBoxes::AddAnswer(MessageAnswer answer)
{
    m_answers.push_back(answer);
}

const char* ScriptedMessageBoxes::IconName(MessageIcon icon)
{
    switch (icon) {
    case MessageIcon::Stop:
        return "Stop";
    case MessageIcon::Question:
        return "Question";
    case MessageIcon::Exclamation:
        return "Exclamation";
    case MessageIcon::Information:
        return "Information";
    }
    return "?";
}

const char* ScriptedMessageBoxes::ButtonsName(MessageButtons buttons)
{
    switch (buttons) {
    case MessageButtons::Ok:
        return "Ok";
    case MessageButtons::OkCancel:
        return "OkCancel";
    case MessageButtons::YesNo:
        return "YesNo";
    case MessageButtons::YesNoCancel:
        return "YesNoCancel";
    }
    return "?";
}

const char* ScriptedMessageBoxes::AnswerName(MessageAnswer answer)
{
    switch (answer) {
    case MessageAnswer::Ok:
        return "Ok";
    case MessageAnswer::Cancel:
        return "Cancel";
    case MessageAnswer::Yes:
        return "Yes";
    case MessageAnswer::No:
        return "No";
    }
    return "?";
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
        Shown s{data->substr(eol + 1, length), MessageIcon::Exclamation, MessageButtons::Ok,
                MessageAnswer::Ok};
        for (MessageIcon i : {MessageIcon::Stop, MessageIcon::Question, MessageIcon::Exclamation,
                              MessageIcon::Information})
            if (std::strcmp(icon, IconName(i)) == 0)
                s.icon = i;
        for (MessageButtons b : {MessageButtons::Ok, MessageButtons::OkCancel,
                                 MessageButtons::YesNo, MessageButtons::YesNoCancel})
            if (std::strcmp(buttons, ButtonsName(b)) == 0)
                s.buttons = b;
        for (MessageAnswer a :
             {MessageAnswer::Ok, MessageAnswer::Cancel, MessageAnswer::Yes, MessageAnswer::No})
            if (std::strcmp(answer, AnswerName(a)) == 0)
                s.answer = a;
        boxes.push_back(std::move(s));
        pos = eol + 1 + length + 1;
    }
    return boxes;
}

} // namespace zelvo
