#include "start/StartupSequence.h"

#include "core/HostInfo.h"
#include "platform/NetworkInterfaceList.h"
#include "search/NetworkBrowseCheck.h"
#include "search/ReadInterfaceMask.h"

namespace zelvo {

StartupResult RunStartupSequence(RunState& state, SurveyServices& survey,
                                 const StartupChecks& checks)
{
    PcSubnet& subnet = ProcessPcSubnet();
    subnet.subnetMask = {255, 255, 255, 0};
    if (RunStartupSurvey(state, survey) != 0)
        return StartupResult::Refused;

    const int browsed = checks.networkBrowse ? checks.networkBrowse(survey.boxes, state.language)
                                             : NetworkBrowseCheck(SystemNetworkInterfaceList(),
                                                                  survey.boxes, state.language);
    if (browsed == 0)
        return StartupResult::NetworkUnusable;
    if (state.host.NetInfoAvailable == 0)
        state.host.NetInfoAvailable =
            checks.interfaceMask ? checks.interfaceMask(subnet.pcAddress, subnet.subnetMask)
                                 : ReadInterfaceMask(SystemNetworkInterfaceList(), subnet.pcAddress,
                                                     subnet.subnetMask);
    state.NoHostMac = IsZeroMac(state.host.pcMac) ? 1 : 0;
    return StartupResult::Ready;
}

} // namespace zelvo
