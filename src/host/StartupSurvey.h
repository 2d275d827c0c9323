#pragma once
#include "core/MessageBoxes.h"
#include "core/RunState.h"

#include <functional>
#include <string>

namespace zelvo {

class HostPlatform;

// What the start-up survey reaches outside itself. Members left empty take the
// machine's own service.
struct SurveyServices
{
    MessageBoxes& boxes;
    // Shows the splash window (does nothing when the splash is off).
    std::function<void()> showSplash{};
    // The 1500 ms pause with the splash on screen.
    std::function<void(int ms)> pause{};
    // OS version, TCP/IP, host name, links, addresses, routes, DHCP clients; null: the
    // machine's own (SystemHostPlatform).
    HostPlatform* platform = nullptr;
    // The framework's own window creation, run after the OS check and before the
    // splash; false refuses the window without a message. Empty: nothing to create.
    std::function<bool()> createWindow{};
    // The executable's path, beside which manager.ini and manager.log live; empty: the
    // running executable.
    std::string modulePath{};
    // The language rule; empty: the system's (SystemUiLanguage).
    std::function<int()> systemLanguage{};
};

// The survey that runs while the main window is created: settings, log, version line,
// the PC and its network. 0 lets the window be created; -1 refuses it (the user has
// been told why). UI thread only.
int RunStartupSurvey(RunState& state, SurveyServices& services);

// "ZelvoSetup.exe Ver : 1.00-0.\r\n" for the four parts of the file version.
std::string VersionLogLine(int major, int minor, int patch, int tweak);

} // namespace zelvo
