// The tool as the process tests start it: the application and wiring of ZelvoSetup, with
// message boxes answered from a script and every box written to a transcript file,
//   ZELVO_MESSAGE_TRANSCRIPT=<file>   where the boxes are written
//   ZELVO_MESSAGE_ANSWERS=yes,no,ok   the answers, used in order
// and unit-pick and file dialogs that are cancelled. Answers it cannot read end the run
// (status 1) before anything starts: a run that took the safe answer to every question
// would test something else than its script says.
#include "app/SetupApp.h"
#include "platform/FtpClient.h"
#include "support/ScriptedMessageBoxes.h"
#include "support/ScriptedUnitDialogs.h"

#include <cstdio>
#include <cstdlib>

namespace {

class ScriptedDialogs final : public zelvo::ToolDialogs
{
public:
    ScriptedDialogs(std::vector<zelvo::MessageAnswer> answers, std::string transcript)
        : m_boxes(std::move(answers), std::move(transcript))
    {
    }
    zelvo::MessageBoxes& Boxes() override { return m_boxes; }
    std::shared_ptr<zelvo::UnitPickDialog> UnitPick() override
    {
        return std::make_shared<zelvo::ScriptedUnitPickDialog>();
    }
    std::shared_ptr<zelvo::UnitFileDialog> UnitFile() override
    {
        return std::make_shared<zelvo::ScriptedUnitFileDialog>();
    }
    void OverWindow(QWidget*) override {}

private:
    zelvo::ScriptedMessageBoxes m_boxes;
};

} // namespace

int main(int argc, char** argv)
{
    const char* transcript = std::getenv("ZELVO_MESSAGE_TRANSCRIPT");
    const char* text = std::getenv("ZELVO_MESSAGE_ANSWERS");
    const auto answers = zelvo::ScriptedMessageBoxes::AnswersFromText(text ? text : "");
    if (!answers) {
        std::fprintf(
            stderr, "ZELVO_MESSAGE_ANSWERS=\"%s\" is not a list of Yes, No, Ok and Cancel\n", text);
        return 1;
    }
    zelvo::InitFtpLibrary();
    zelvo::SetupApp app(argc, argv);
    ScriptedDialogs dialogs(*answers, transcript ? transcript : "");
    return app.Start(dialogs);
}
