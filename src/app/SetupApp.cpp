#include "app/SetupApp.h"

#include "app/ToolWiring.h"
#include "app/CommandLine.h"
#include "core/LogWriter.h"
#include "core/UiLanguage.h"
#include "platform/SingleInstanceLock.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QTranslator>
#include <cstdio>
#include <cstdlib>

namespace zelvo {

SetupApp::SetupApp(int argc, char** argv) : m_argc(argc), m_argv(argv)
{
    for (int i = 1; i < argc; ++i)
        m_args.emplace_back(argv[i]);
}

namespace {

bool HaveDisplay()
{
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    if (platform && *platform)
        return true; // offscreen, xcb with an explicit display ... Qt will tell
    const char* x = std::getenv("DISPLAY");
    const char* wl = std::getenv("WAYLAND_DISPLAY");
    return (x && *x) || (wl && *wl);
}

} // namespace

int SetupApp::Start(ToolDialogs& dialogs)
{
    const StartSwitches switches = ParseSwitches(m_args);

    // A second instance ends without a word and leaves the first alone. When the guard
    // cannot be made, or its lock file is not this account's own, the tool starts
    // unguarded and says why in the log once the log exists.
    std::string unguardedWhy;
    const InstanceCheck guard = AcquireInstanceLock(kInstanceGuardName, {}, &unguardedWhy);
    if (guard == InstanceCheck::AlreadyRunning)
        return 0;

    m_commandLine = CommandLineText(m_args);

    if (!HaveDisplay()) {
        std::fprintf(stderr, "ZelvoSetup: no display found (DISPLAY is not set).\n"
                             "Run it on a desktop, or under a virtual one: xvfb-run ./run.sh\n");
        return 1;
    }

    QApplication application(m_argc, m_argv);
    QApplication::setApplicationName(QStringLiteral("ZelvoSetup"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/images/icon.png")));

    // Standard buttons (Yes, No, OK) in the language of the run.
    QTranslator qtTranslator;
    if (IsJapanese(SystemUiLanguage()) &&
        qtTranslator.load(QStringLiteral("qtbase_ja"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtTranslator);

    MessageBoxes& boxes = dialogs.Boxes();
    DialogState state;
    state.m_bShowMask = switches.showMask ? 1 : 0;
    state.m_bSetIpLayout = switches.setIpLayout ? 1 : 0;
    const StartupResult startup = ToolWiring::RunStartup(state, boxes, switches.splashEnabled);
    if (startup == StartupResult::Refused)
        return 0;
    if (guard == InstanceCheck::Unguarded)
        LogWriter::Appendf(" Single instance guard off : %s\r\n", unguardedWhy.c_str());

    ToolRun run(std::move(state), startup, boxes,
                ToolParts{.unitPick = dialogs.UnitPick(), .unitFile = dialogs.UnitFile()});
    dialogs.OverWindow(&run.Dialog());
    run.Dialog().exec();
    return 0;
}

} // namespace zelvo
