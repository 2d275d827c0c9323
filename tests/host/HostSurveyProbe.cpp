// Runs the start-up survey on the machine it is started on (in the lab: inside the PC's
// namespace) and prints what it found, one "key=value" a line. The survey's own
// manager.ini and manager.log live in the directory given as the only argument.
#include "app/DialogState.h"
#include "app/ScriptedMessageBoxes.h"
#include "host/HostInfo.h"
#include "host/StartupSurvey.h"

#include <cstdio>
#include <fstream>
#include <string>

int main(int argc, char** argv)
{
    using namespace zelvo;
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <directory for manager.ini and manager.log>\n", argv[0]);
        return 2;
    }
    const std::string directory = argv[1];
    std::ofstream(directory + "/manager.ini", std::ios::binary)
        << "\"/index.html\" \"/config/create.html\" \"/config/restore.html\" "
           "\"/firmware/update.html\" \"/config\" \"/firmware\"\n";

    ScriptedMessageBoxes boxes;
    SurveyServices services{boxes};
    services.modulePath = directory + "/ZelvoSetup";
    services.systemLanguage = [] { return 409; };
    DialogState state;
    const int result = RunStartupSurvey(state, services);

    const auto mask = ProcessHost().subnetMask;
    std::printf("result=%d\n", result);
    std::printf("DhcpServerPresent=%d\n", state.host.DhcpServerPresent);
    std::printf("NetInfoAvailable=%d\n", state.host.NetInfoAvailable);
    std::printf("OsClass=%d\n", state.host.OsClass);
    std::printf("mask=%u.%u.%u.%u\n", mask[0], mask[1], mask[2], mask[3]);
    std::printf("pcAddress=%s\n", state.host.pcAddress.Dotted().c_str());
    std::printf("pcName=%s\n", state.host.pcName);
    std::printf("row0=%s|%s|%s|%s\n", state.devices.rows[0].name, state.devices.rows[0].ipText,
                state.devices.rows[0].macText, state.devices.rows[0].typeText);
    std::printf("adapter=%s\n", state.host.adapterName.c_str());
    std::printf("boxes=%zu\n", boxes.ShownBoxes().size());
    return 0;
}
