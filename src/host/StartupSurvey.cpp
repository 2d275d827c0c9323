#include "host/StartupSurvey.h"

#include "core/ExePath.h"
#include "core/IniSettings.h"
#include "core/LogWriter.h"
#include "core/MessageCatalogue.h"
#include "core/PcCards.h"
#include "core/ToolFolder.h"
#include "core/UiLanguage.h"
#include "host/DhcpDetection.h"
#include "host/OsClass.h"
#include "host/PcNetwork.h"
#include "platform/Files.h"
#include "platform/HostPlatform.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace zelvo {

std::string VersionLogLine(int major, int minor, int patch, int tweak)
{
    char line[LogWriter::kLineBuffer];
    std::snprintf(line, sizeof line, "ZelvoSetup.exe Ver : %d.%d%d-%d.\r\n", major, minor, patch,
                  tweak);
    return line;
}

namespace {

// Host name and addresses: every usable address is logged, the first becomes the PC's
// and fills row 0 with the upper-case host name. Returns the view for the MAC step.
PcNetworkView SurveyNameAndAddresses(RunState& state, HostPlatform& platform)
{
    HostInfo& host = state.host;
    std::memset(host.pcName, 0, sizeof host.pcName);
    if (const auto name = platform.HostName())
        std::memcpy(host.pcName, name->data(), std::min(name->size(), sizeof host.pcName - 1));

    HostNetworkState network = platform.ReadNetworkState().ValueOr({});
    ApplyCardRestriction(network);
    PcNetworkView view = ViewPcNetwork(network);
    if (view.addresses.empty())
        return view; // row 0 keeps its empty name and address
    for (std::size_t j = 0; j < view.addresses.size(); ++j)
        LogWriter::Appendf(" IP Addr[%d]\t: %s\r\n", static_cast<int>(j + 1),
                           view.addresses[j].LogForm().c_str());
    host.pcAddress = view.addresses.front();
    ProcessPcSubnet().pcAddress = host.pcAddress;
    const HostInterface& link = network.interfaces[*view.pcInterface];
    host.adapterName = link.name;
    host.adapterIndex = link.index;

    DeviceRecord& row0 = state.devices.rows[0];
    // With several cards, row 0 says which one is the PC's; the search and the
    // responder work on each of them.
    const PcCards cards = ChooseCards(network);
    if (cards.usable.size() > 1)
        row0.SetIpText((host.pcAddress.Dotted() + " (" + link.name + ")").c_str());
    else
        row0.SetIpText(host.pcAddress.Dotted().c_str());
    // ASCII only: a host name is letters, digits and hyphens, and the C locale's
    // toupper would leave other bytes alone anyway.
    for (char& c : host.pcName)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    row0.SetName(host.pcName);
    return view;
}

} // namespace

int RunStartupSurvey(RunState& state, SurveyServices& services)
{
    HostPlatform& platform = services.platform ? *services.platform : SystemHostPlatform();
    HostInfo& host = state.host;

    state.UnitsFound = 0;
    state.language = services.systemLanguage ? services.systemLanguage() : SystemUiLanguage();

    const std::string modulePath = services.modulePath.empty() ? ModulePath() : services.modulePath;
    // An installed tool's folder is not the user's to write: the log and backups then
    // go to the user's own folder.
    const ToolFolders folders = ResolveToolFolders(DeriveSiblingPath(modulePath, ""));
    SetRunToolFolders(folders);
    switch (ReadIniFile(folders.iniPath, Settings())) {
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

    LogWriter::SetLogPath(folders.dataFolder + "manager.log");
    LogWriter::CreateEmpty();
    LogWriter::Append(VersionLogLine(ZELVO_VERSION_MAJOR, ZELVO_VERSION_MINOR, ZELVO_VERSION_PATCH,
                                     ZELVO_VERSION_TWEAK)
                          .c_str());
    LogWriter::Append("\r\n>>> Start to retrieve your PC and enviroment\r\n");

    // This system keeps no Windows registry, so there is no CSDVersion value.
    const std::optional<OsVersionRecord> version = OsVersionFromLinux(platform.ReadOsRelease());
    host.osVersion = version.value_or(UnansweredLinuxRecord());
    host.OsClass = ClassifyOs(version, kLowestNt4ServicePack, std::nullopt);
    LogWriter::Append(OsLogLine(host.osVersion).c_str());
    if (host.OsClass == kOsUnsupported) {
        services.boxes.Show(RequirementsMessage(host.osVersion, state.language), MessageIcon::Stop,
                            MessageButtons::Ok);
        return -1;
    }

    if (services.createWindow && !services.createWindow())
        return -1;
    if (services.showSplash)
        services.showSplash();
    if (services.pause)
        services.pause(1500);

    host.tcpPresent = platform.TcpAvailable() ? 1 : 0;
    if (!host.tcpPresent) {
        services.boxes.Show(MessageCatalogue::Choose(state.language, 119, 118), MessageIcon::Stop,
                            MessageButtons::Ok);
        return -1;
    }

    const PcNetworkView view = SurveyNameAndAddresses(state, platform);

    // Every adapter's MAC is logged; the PC's is that of the card carrying its address.
    for (std::size_t i = 0; i < view.adapterMacs.size(); ++i)
        LogWriter::Appendf(" MAC Addr[%d]\t: %s\r\n", static_cast<int>(i + 1),
                           MacLogText(view.adapterMacs[i]).c_str());
    host.pcMac = view.pcMac;

    DeviceRecord& row0 = state.devices.rows[0];
    row0.SetMacText(MacDashText(host.pcMac).c_str());
    row0.mac = host.pcMac;
    row0.SetTypeText("Your Host PC");

    host.NetInfoAvailable = 1;
    if (!platform.NetworkInfoAvailable()) {
        host.NetInfoAvailable = 0;
        LogWriter::Append(" Fail to load library(0x0000)\r\n");
    }
    if (!host.NetInfoAvailable) {
        services.boxes.Show(RequirementsMessage(host.osVersion, state.language),
                            MessageIcon::Question, MessageButtons::Ok);
        return -1;
    }

    // The list's binary columns start empty; the PC's own address and MAC stay in host.
    for (DeviceRecord& row : state.devices.rows) {
        row.address = Ipv4Address{};
        row.mac = MacAddress{};
    }

    host.DhcpServerPresent = 0;
    host.DhcpServerPresent = DetectDhcpServer(state, platform, services.boxes);

    LogWriter::Append("<<< Close to retrieve your PC and enviroment\r\n");
    return 0;
}

} // namespace zelvo
