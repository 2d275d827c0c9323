#include "host/StartupSurvey.h"

#include "app/ExePath.h"
#include "app/IniSettings.h"
#include "app/LogWriter.h"
#include "app/MessageCatalogue.h"
#include "app/UiLanguage.h"

#include <cstdio>

namespace zelvo {

std::string VersionLogLine(int major, int minor, int patch, int tweak)
{
    char line[LogWriter::kLineBuffer];
    std::snprintf(line, sizeof line, "ZelvoSetup.exe Ver : %d.%d%d-%d.\r\n", major, minor, patch,
                  tweak);
    return line;
}

int RunStartupSurvey(DialogState& state, SurveyServices& services)
{
    state.UnitsFound = 0;
    state.host.language = SystemUiLanguage();
    state.language = state.host.language;

    switch (ReadIniFile(PathBesideExecutable("manager.ini"), Settings())) {
    case IniReadResult::Missing:
        services.boxes.Show(MessageCatalogue::Choose(state.language, 163, 165),
                            MessageIcon::Question, MessageButtons::Ok);
        return -1;
    case IniReadResult::Broken:
        services.boxes.Show(MessageCatalogue::Choose(state.language, 164, 166), MessageIcon::Stop,
                            MessageButtons::Ok);
        return -1;
    case IniReadResult::Ok:
        break;
    }

    LogWriter::SetLogPath(PathBesideExecutable("manager.log"));
    LogWriter::CreateEmpty();
    LogWriter::Append(VersionLogLine(ZELVO_VERSION_MAJOR, ZELVO_VERSION_MINOR, ZELVO_VERSION_PATCH,
                                     ZELVO_VERSION_TWEAK)
                          .c_str());
    LogWriter::Append("\r\n>>> Start to retrieve your PC and enviroment\r\n");
    if (services.showSplash)
        services.showSplash();
    if (services.pause)
        services.pause(1500);
    LogWriter::Append("<<< Close to retrieve your PC and enviroment\r\n");
    return 0;
}

} // namespace zelvo
