// The tool as the process tests start it: the application and wiring of ZelvoSetup, with
// every message box given its safe answer and unit-pick and file dialogs that are cancelled.
#include "app/SetupApp.h"
#include "platform/FtpClient.h"
#include "support/ScriptedMessageBoxes.h"
#include "support/ScriptedUnitDialogs.h"

namespace {

class ScriptedDialogs final : public zelvo::ToolDialogs
{
public:
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
    zelvo::InitFtpLibrary();
    zelvo::SetupApp app(argc, argv);
    ScriptedDialogs dialogs;
    return app.Start(dialogs);
}
