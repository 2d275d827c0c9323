#include "app/ToolWiring.h"

#include "core/HostInfo.h"
#include "platform/NetworkInterfaceList.h"
#include "search/NetworkBrowseCheck.h"
#include "search/ReadInterfaceMask.h"

namespace zelvo {

MainDialogServices ToolWiring::WindowServices(MessageBoxes& boxes)
{
    MainDialogServices services{.boxes = boxes};
    services.networkBrowseCheck = [](MainDialog& d) {
        return NetworkBrowseCheck(SystemNetworkInterfaceList(), d.Boxes(), d.State().language);
    };
    services.readInterfaceMask = [](MainDialog&) {
        return ReadInterfaceMask(SystemNetworkInterfaceList(), ProcessPcSubnet().pcAddress,
                                 ProcessPcSubnet().subnetMask);
    };
    return services;
}

ToolWiring::ToolWiring(MainDialog& dialog, MessageBoxes& boxes, ToolParts parts)
    : m_dialog(dialog),
      m_passes(&dialog, dialog.State().language, dialog.State().host.OsClass, dialog.State().title),
      m_search(SearchServices{dialog.State(), dialog.Controls(), m_passes, boxes,
                              std::move(parts.searchNetwork), std::move(parts.clock)})
{
    m_dialog.SetProgressPasses(&m_passes);
}

ToolWiring::~ToolWiring()
{
    // The window may outlive the wiring: it must not call into commands that are gone.
    m_dialog.SetCommands({});
    m_dialog.SetProgressPasses(nullptr);
}

MainDialogCommands ToolWiring::Commands()
{
    MainDialogCommands commands;
    commands.firstSearch = [this](MainDialog&) { m_search.FirstSearch(); };
    commands.searchAgain = [this](MainDialog&) { m_search.SearchAgain(); };
    return commands;
}

void ToolWiring::Attach()
{
    m_dialog.SetCommands(Commands());
}

} // namespace zelvo
