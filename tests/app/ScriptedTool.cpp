// ZelvoSetup for the process tests: every box gets its safe answer (they run no transfer).
#include "app/SetupApp.h"
#include "platform/FtpClient.h"
#include "support/ScriptedMessageBoxes.h"

namespace {

class ScriptedDialogs final : public zelvo::ToolDialogs
{
public:
    zelvo::MessageBoxes& Boxes() override { return m_boxes; }
    std::shared_ptr<zelvo::UnitPickDialog> UnitPick() override { return nullptr; }
    std::shared_ptr<zelvo::UnitFileDialog> UnitFile() override { return nullptr; }
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
