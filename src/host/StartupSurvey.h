#pragma once
#include "app/DialogState.h"
#include "app/MessageBoxes.h"

#include <functional>

namespace zelvo {

// What the start-up survey reaches outside itself.
struct SurveyServices
{
    MessageBoxes& boxes;
    // Shows the splash window (does nothing when the splash is off).
    std::function<void()> showSplash;
    // The 1500 ms pause with the splash on screen.
    std::function<void(int ms)> pause;
};

// The survey that runs while the main window is created: settings, log, version line,
// the PC and its network. 0 lets the window be created; -1 refuses it (the user has
// been told why).
int RunStartupSurvey(DialogState& state, SurveyServices& services);

// "ZelvoSetup.exe Ver : 1.00-0.\r\n" for the four parts of the file version.
std::string VersionLogLine(int major, int minor, int patch, int tweak);

} // namespace zelvo
