#pragma once
#include "core/MessageBoxes.h"

#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace zelvo {

// Message boxes answered from a script instead of a person: widget tests use it in
// process, end-to-end tests switch the real tool to it with two environment variables
//   ZELVO_MESSAGE_TRANSCRIPT=<file>   every box shown is appended to this file
//   ZELVO_MESSAGE_ANSWERS=yes,no,ok   answers, used in order
// When the answers run out, a box gets its safe answer: OK, No, or Cancel.
//
// Transcript record, one per box (text is written with its exact bytes):
//   "box icon=<Stop|Question|Exclamation|Information> buttons=<Ok|OkCancel|YesNo|YesNoCancel>
//    answer=<Ok|Cancel|Yes|No> length=<bytes of text>\n" <text> "\n"
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

    // What the two environment variables ask for.
    struct Script
    {
        bool scripted = false;      // ZELVO_MESSAGE_TRANSCRIPT names a file
        std::string transcriptPath; // that file
        std::vector<MessageAnswer> answers;
        std::string error; // not empty: the answers could not be read
    };

    explicit ScriptedMessageBoxes(std::vector<MessageAnswer> answers = {},
                                  std::string transcriptPath = {});
    // A comma-separated answer list ("yes,no,ok", any case, empty items skipped);
    // nullopt when an item is not an answer's name.
    static std::optional<std::vector<MessageAnswer>> AnswersFromText(const std::string& text);
    // The script that the two variables' values (null when unset) describe. Answers that
    // cannot be read are an error, never "no answers": a run that silently took the safe
    // answer to every question would test something else than its script says.
    static Script ScriptFromEnvironment(const char* transcriptPath, const char* answers);

    MessageAnswer Show(const std::string& text, MessageIcon icon, MessageButtons buttons) override;
    void AddAnswer(MessageAnswer answer);
    // Runs with each box's text while the box stands open, before its answer is given:
    // an end-to-end test looks at the system at the moment the question waits.
    void WhileShown(std::function<void(const std::string& text)> look);

    // Everything shown so far. UI thread only, like Show.
    const std::vector<Shown>& ShownBoxes() const { return m_shown; }

    // Reads a transcript file back; an unreadable or malformed file gives what was read.
    static std::vector<Shown> ReadTranscript(const std::string& path);

    static const char* IconName(MessageIcon icon);
    static const char* ButtonsName(MessageButtons buttons);
    static const char* AnswerName(MessageAnswer answer);

private:
    std::deque<MessageAnswer> m_answers;
    std::string m_transcriptPath;
    std::vector<Shown> m_shown;
    std::function<void(const std::string&)> m_whileShown;
};

} // namespace zelvo
