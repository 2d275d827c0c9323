// The start-up survey on this machine for host_lab_test.sh, its files in the given folder.
#include "core/DialogState.h"
#include "core/HostInfo.h"
#include "host/StartupSurvey.h"
#include "support/ScriptedMessageBoxes.h"

#include <cstdio>
#include <fstream>
#include <string>

int main(int argc, char** argv)
{
    using namespace zelvo;
    if (argc != 2)
        return 2;
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

    const auto mask = ProcessPcSubnet().subnetMask;
    const DeviceRecord& row0 = state.devices.rows[0];
    std::printf("%d %d %u.%u.%u.%u %s %s|%s|%s|%s %zu\n", result, state.host.DhcpServerPresent,
                mask[0], mask[1], mask[2], mask[3], state.host.pcAddress.Dotted().c_str(),
                row0.name, row0.ipText, row0.macText, row0.typeText, boxes.ShownBoxes().size());
    return 0;
}
