#pragma once
#include "app/ToolDialogs.h"
#include "core/InstanceGuard.h"

#include <string>
#include <vector>

namespace zelvo {

// The process's entry into the tool: the single-instance guard, the command line, and
// the main window run modally. There is no loop of its own; the process ends when the
// main window closes.
class SetupApp
{
public:
    // The guard's name; the lock file is named after it.
    static constexpr const char* kInstanceGuardName = zelvo::kInstanceGuardName;

    SetupApp(int argc, char** argv);
    // Runs the tool with the message boxes and dialogs that the caller gives. Returns 0 once
    // the window closed or a second instance ended at once, 1 without a display.
    int Start(ToolDialogs& dialogs);

    const std::string& CommandLine() const { return m_commandLine; }

private:
    int m_argc;
    char** m_argv;
    std::vector<std::string> m_args; // after the program name
    std::string m_commandLine;       // kept in an 80-byte buffer's worth
};

} // namespace zelvo
