#include "cli/CliRun.h"

#include "cli/CliArguments.h"
#include "cli/CliHelp.h"
#include "cli/CliProgressPasses.h"
#include "cli/CliReport.h"
#include "cli/CliUnitDialogs.h"
#include "cli/CliUrlOpener.h"
#include "cli/ConsoleMessageBoxes.h"
#include "cli/ProgressLine.h"
#include "cli/UnitByAddress.h"
#include "cli/UnitSelector.h"
#include "core/FrontEnd.h"
#include "core/IniSettings.h"
#include "core/InstanceGuard.h"
#include "core/LogWriter.h"
#include "core/MessageCatalogue.h"
#include "core/OperationFrame.h"
#include "core/PcCards.h"
#include "core/RunState.h"
#include "core/SubnetMask.h"
#include "core/ToolFolder.h"
#include "core/UiLanguage.h"
#include "core/UnitListTexts.h"
#include "dhcp/DhcpCommands.h"
#include "host/CardDiagnosis.h"
#include "platform/Files.h"
#include "platform/SingleInstanceLock.h"
#include "search/LinuxSearchNetwork.h"
#include "search/SearchCommands.h"
#include "start/StartupSequence.h"
#include "transfer/FileNameRules.h"
#include "transfer/RootUrlGuard.h"
#include "transfer/TransferCommands.h"
#include "transfer/TransferTexts.h"
#include "transfer/UnitPages.h"

#include <cstdio>
#include <cstring>
#include <vector>

namespace zelvo {
namespace {

UnitRow RowOf(const DeviceRecord& record)
{
    auto text = [](const char(&field)[DeviceRecord::kTextBytes]) {
        return std::string(field, strnlen(field, sizeof field));
    };
    return UnitRow{text(record.name), text(record.macText), text(record.ipText),
                   text(record.typeText)};
}

// The command line's front end: the buttons have no use here, and the rows are printed
// from the run's state when the command is over.
class CliFront final : public FrontEnd
{
public:
    void ShowButtons(const CommandButtons&) override {}
    void ShowList(const UnitListView&) override {}
};

// One command-line run after its arguments were read: the start-up the window makes
// (guard, survey, network checks), then the command, then its result.
class CliSession
{
public:
    CliSession(const CliRequest& request, const CliEnvironment& environment)
        : m_request(request), m_environment(environment),
          m_console(environment.console ? *environment.console : SystemConsole()),
          m_line(m_console, m_console.ErrorIsTerminal() && !request.quiet),
          m_boxes(m_console, m_line, 0, request.yes),
          m_browser(environment.urls ? *environment.urls : SystemUrlOpener(),
                    environment.runningAsRoot ? environment.runningAsRoot() : RunningAsRoot(),
                    [this](const std::string& url) {
                        m_boxes.Show(BrowserRefusedText(m_state.language, url),
                                     MessageIcon::Exclamation, MessageButtons::Ok);
                    }),
          m_urls(m_browser, request.open)
    {
    }

    int Run()
    {
        // The diagnosis reads tables only: it neither takes the guard nor recreates the
        // window's manager.log, so it can run beside the window.
        if (m_request.command == CliCommand::Diagnose)
            return RunDiagnose();
        if (const int status = Start(); status != kExitDone)
            return status;
        switch (m_request.command) {
        case CliCommand::Search:
            return RunSearch();
        case CliCommand::Web:
            return RunWeb();
        case CliCommand::Assign:
            return RunAssign();
        case CliCommand::Backup:
        case CliCommand::Restore:
        case CliCommand::Firmware:
            return RunTransfer(m_request.command);
        default:
            break;
        }
        m_line.Clear();
        m_console.Err(std::string(kCliProgramName) + ": this command is not available yet\n");
        return kExitUsage;
    }

private:
    // What the window does before its first search, as far as a command line needs it.
    int Start()
    {
        m_state.language = m_environment.language ? m_environment.language() : SystemUiLanguage();
        m_boxes.SetLanguage(m_state.language);

        if (AcquireInstanceLock(kInstanceGuardName, m_environment.instanceLockDirectory) ==
            InstanceCheck::AlreadyRunning) {
            m_console.Err(MessageCatalogue::Choose(m_state.language, 968, 969) + "\n");
            return kExitUsage;
        }

        // diagnose looks at the named card whatever its state; the other commands work
        // on it, and a card they cannot work on is refused.
        if (m_request.interfaceName && m_request.command != CliCommand::Diagnose) {
            const std::string why =
                CardRefusal(SystemHostPlatform().ReadNetworkState(), *m_request.interfaceName);
            if (!why.empty()) {
                m_console.Err(std::string(kCliProgramName) + ": --interface " +
                              *m_request.interfaceName + ": " + why + "\n");
                return kExitUsage;
            }
            ProcessCardRestriction() = *m_request.interfaceName;
        }

        SurveyServices survey{m_boxes};
        survey.modulePath = m_environment.modulePath;
        const int language = m_state.language;
        survey.systemLanguage = [language] { return language; };
        // The survey and the network check have said why when they refuse.
        if (RunStartupSequence(m_state, survey) != StartupResult::Ready)
            return kExitUsage;
        m_title = TitleText(IsJapanese(m_state.language));
        return kExitDone;
    }

    // The unit at address, asked without a whole search, with the search's word on an
    // ICMP socket that could not be had.
    UnitChoice FindByAddress(Ipv4Address address)
    {
        SearchNetwork& network = *Network();
        const int row = FindUnitByAddress(network, address,
                                          CardsForRun(Cards(), m_state.host, ProcessPcSubnet()),
                                          m_state.devices);
        if (network.IcmpProblem() != SocketProblem::None) {
            const bool notMember = network.IcmpProblem() == SocketProblem::HelperNotPermitted;
            m_boxes.Show(MessageCatalogue::Choose(m_state.language, notMember ? 920 : 901,
                                                  notMember ? 921 : 902),
                         MessageIcon::Stop, MessageButtons::Ok);
        }
        if (row < 0)
            return UnitChoice{};
        // The state a search that listed the unit leaves: a unit found, its buttons on.
        m_state.UnitsFound = 1;
        OperationFrame(m_state, m_front).End(RefreshVariant::Search, true);
        return UnitChoice{UnitMatch::Found, row};
    }

    // Whether the PC can search at all. Refused, as the window refuses a search, when the
    // PC's network card gave no MAC or no subnet mask could be had.
    int CanSearch()
    {
        if (m_state.host.NetInfoAvailable == 0) {
            m_boxes.Show(NoSubnetMaskBoxText(m_state.language), MessageIcon::Stop,
                         MessageButtons::Ok);
            return kExitUsage;
        }
        if (m_state.NoHostMac) {
            m_boxes.Show(MessageCatalogue::Choose(m_state.language, 132, 133),
                         MessageIcon::Question, MessageButtons::Ok);
            return kExitUsage;
        }
        return kExitDone;
    }

    // The search of the window's Search button.
    int Search()
    {
        if (const int status = CanSearch(); status != kExitDone)
            return status;
        CliProgressPasses passes(m_line, m_state.language, m_title);
        SearchServices services{m_state, m_front, passes, m_boxes, Network()};
        services.cards = Cards();
        // No listening step: a unit that waits for an address is served by assign alone,
        // which runs the responder after this search.
        services.listenStep = {};
        services.nothingFoundReport = [this] { LogCardDiagnosis(m_state); };
        SearchCommands search(std::move(services));
        search.SearchAgain();
        m_line.Clear();
        return kExitDone;
    }

    int RunSearch()
    {
        if (const int status = Search(); status != kExitDone)
            return status;
        CliReport report;
        report.pc = RowOf(m_state.devices.rows[0]);
        report.units.emplace();
        const DeviceList& devices = m_state.devices;
        for (int k = 0; k < devices.UnitCount && k < DeviceList::kUnitRows; ++k)
            report.units->push_back(RowOf(devices.rows[devices.UnitRows[k]]));
        Print(report);
        return report.units->empty() ? kExitNothing : kExitDone;
    }

    int RunDiagnose()
    {
        DiagnosisSources sources;
        const std::string only = m_request.interfaceName.value_or("");
        const DiagnosisFindings findings = SurveyCards(sources, only);
        if (!only.empty() && findings.cards.empty()) {
            m_console.Err(std::string(kCliProgramName) + ": no network card named '" + only +
                          "'\n");
            return kExitUsage;
        }
        m_console.Out(m_request.format == OutputFormat::Json ? DiagnosisJson(findings)
                                                             : DiagnosisText(findings));
        return kExitDone;
    }

    // Picks the UNIT operand's row: a unit given by its address is asked directly, one
    // given by name or MAC is searched for. -1 after telling the user why not.
    int SelectOperandUnit()
    {
        const std::string& unit = m_request.operands.at(0);
        const std::optional<Ipv4Address> address = ParseDottedAddress(unit);
        if (address ? CanSearch() != kExitDone : Search() != kExitDone)
            return -1;
        const UnitChoice choice =
            address ? FindByAddress(*address) : SelectUnit(m_state.devices, unit);
        if (choice.match == UnitMatch::Found) {
            m_state.devices.SelectedRow = choice.row;
            return choice.row;
        }
        const bool ambiguous = choice.match == UnitMatch::Ambiguous;
        m_console.Err(MessageCatalogue::Choose(m_state.language, ambiguous ? 962 : 960,
                                               ambiguous ? 963 : 961) +
                      unit + "\n");
        return -1;
    }

    // Every card of this PC, read at each search and run; a test's network knows none.
    CardSource Cards() const
    {
        return m_environment.searchNetwork ? CardSource{} : CardSource{SystemPcCards};
    }

    std::shared_ptr<SearchNetwork> Network()
    {
        if (!m_network)
            m_network =
                m_environment.searchNetwork ? m_environment.searchNetwork() : SystemSearchNetwork();
        return m_network;
    }

    // Set IP from the command line: as in the window, the search comes first (its
    // neighbour table tells the reservation which addresses are taken), and only a PC
    // that no DHCP server configured offers temporary addresses.
    int RunAssign()
    {
        if (const int status = Search(); status != kExitDone)
            return status;
        if (m_state.host.DhcpServerPresent) {
            m_console.Err(MessageCatalogue::Choose(m_state.language, 972, 973) + "\n");
            return kExitNothing;
        }
        CliProgressPasses passes(m_line, m_state.language, m_title);
        DhcpServices services{m_state, m_front, passes, m_boxes, m_urls, Network()};
        services.cards = Cards();
        if (m_request.waitSeconds)
            services.setIpWindowSeconds = *m_request.waitSeconds;
        if (m_request.mac) {
            MacAddress mac{};
            ParseMacText(*m_request.mac, mac);
            services.onlyUnit = mac;
        }
        const int rowsBefore = m_state.devices.UnitCount;
        DhcpCommands dhcp(std::move(services));
        dhcp.SetIpRun();
        m_line.Clear();

        const DeviceList& devices = m_state.devices;
        const bool listed = devices.UnitCount > rowsBefore;
        const Ipv4Address given = dhcp.ReservedAddress();
        if (!listed && given.IsZero())
            return kExitNothing; // no unit asked, or the question was refused; told already
        CliReport report;
        if (listed)
            report.unit = RowOf(devices.rows[devices.UnitRows[devices.UnitCount - 1]]);
        report.fields.push_back({"address", given.Dotted()});
        if (!m_urls.Urls().empty())
            report.fields.push_back({"url", m_urls.Urls().back()});
        Print(report);
        return listed ? kExitDone : kExitNothing;
    }

    // The window's Web tool button with the named unit selected.
    int RunWeb()
    {
        const int row = SelectOperandUnit();
        if (row < 0)
            return kExitNothing;
        UnitPageCommands pages(UnitPageServices{m_state, m_boxes, m_urls});
        pages.WebTool(row);
        if (m_urls.Urls().empty())
            return kExitNothing; // the command said why
        CliReport report;
        report.unit = RowOf(m_state.devices.rows[row]);
        report.fields.push_back({"url", m_urls.Urls().back()});
        Print(report);
        // --open as root: the address is printed, the browser was refused.
        return m_browser.Refused() ? kExitNothing : kExitDone;
    }

    // A local failure of a transfer command, told as the window tells a failed transfer
    // and reported with its code; the unit is not touched.
    int LocalFailure(CliCommand command, const FtpOutcome& outcome, const std::string& path)
    {
        const int failed = outcome.Code();
        LogWriter::Appendf("  FTP local check failed 0x%04x: %s\r\n", failed,
                           outcome.Error().reason.c_str());
        const int language = m_state.language;
        m_boxes.Show(command == CliCommand::Backup ? transfer_texts::BackupFailed(language, failed)
                     : command == CliCommand::Restore
                         ? transfer_texts::RestoreFailed(language, failed)
                         : transfer_texts::FirmwareFailed(language, failed),
                     MessageIcon::Question, MessageButtons::Ok);
        char code[16];
        std::snprintf(code, sizeof code, "0x%04x", static_cast<unsigned>(failed));
        CliReport report;
        report.fields.push_back({"result", std::to_string(failed), true});
        report.fields.push_back({"code", code});
        report.fields.push_back({"file", path});
        Print(report);
        return kExitNothing;
    }

    // FILE and the backup folder, checked before the search: the rules the window applies
    // to a chosen file that need no unit, and that the file can be read to its end (the
    // folder written to). The job checks the file again before it touches the unit.
    int CheckLocalOperands(CliCommand command, const std::string& backupFolder)
    {
        const int language = m_state.language;
        if (command == CliCommand::Backup) {
            const FtpOutcome folder = CheckDownloadFolder(backupFolder);
            return folder.Ok() ? kExitDone : LocalFailure(command, folder, backupFolder);
        }
        const ChosenFile chosen =
            CliUnitFileDialog::ChosenFromPath(m_request.operands.at(1), CurrentDirectory());
        if (!FitsTransferBuffer(chosen.path) || !FitsTransferBuffer(chosen.name)) {
            m_boxes.Show(transfer_texts::PathTooLong(language, chosen.path),
                         MessageIcon::Exclamation, MessageButtons::Ok);
            return kExitNothing;
        }
        if (command == CliCommand::Firmware && !IsFirmwareFileName(chosen.name)) {
            m_boxes.Show(transfer_texts::WrongFirmwareFile(language, chosen.name),
                         MessageIcon::Question, MessageButtons::Ok);
            return kExitNothing;
        }
        const Outcome<std::unique_ptr<UploadFile>> file = OpenUploadFile(chosen.path, nullptr);
        if (!file.Ok())
            return LocalFailure(command, file.Error(), chosen.path);
        return kExitDone;
    }

    // Back up, Restore and FW Update of the window: the unit-pick dialog answered by
    // UNIT, the file dialog by FILE, the questions by --yes or the terminal.
    int RunTransfer(CliCommand command)
    {
        std::string backupFolder = RunToolFolders().dataFolder;
        if (m_request.toDirectory) {
            backupFolder = *m_request.toDirectory;
            if (!backupFolder.empty() && backupFolder.back() != '/')
                backupFolder += '/';
        }
        if (const int status = CheckLocalOperands(command, backupFolder); status != kExitDone)
            return status;
        const int row = SelectOperandUnit();
        if (row < 0)
            return kExitNothing;
        CliProgressPasses passes(m_line, m_state.language, m_title);
        CliUnitPickDialog pick(m_state.devices, row);
        CliUnitFileDialog file(m_request.operands.size() > 1 ? m_request.operands[1] : "");
        TransferServices services{m_state,     m_front, passes, m_boxes,
                                  pick,        file,    m_urls, MakeCurlFtpClient(),
                                  backupFolder};
        TransferCommands transfer(std::move(services));
        if (command == CliCommand::Backup)
            transfer.Backup();
        else if (command == CliCommand::Restore)
            transfer.Restore();
        else
            transfer.FirmwareUpdate();
        m_line.Clear();

        const TransferCommands::Outcome& outcome = transfer.LastOutcome();
        if (outcome.result < 0)
            return kExitNothing; // ended before a transfer: refused or a rule said no
        char code[16];
        std::snprintf(code, sizeof code, "0x%04x", static_cast<unsigned>(outcome.result));
        CliReport report;
        report.unit = RowOf(m_state.devices.rows[row]);
        report.fields.push_back({"result", std::to_string(outcome.result), true});
        report.fields.push_back({"code", code});
        report.fields.push_back({"file", outcome.localPath});
        if (!m_urls.Urls().empty())
            report.fields.push_back({"url", m_urls.Urls().back()});
        Print(report);
        return outcome.result == 0 ? kExitDone : kExitNothing;
    }

    void Print(const CliReport& report)
    {
        m_line.Clear();
        m_console.Out(FormatReport(report, m_request.format, m_state.language));
    }

    const CliRequest& m_request;
    const CliEnvironment& m_environment;
    Console& m_console;
    ProgressLine m_line;
    ConsoleMessageBoxes m_boxes;
    RootUrlGuard m_browser;
    CliUrlOpener m_urls;
    RunState m_state;
    std::string m_title; // of the progress line
    CliFront m_front;
    std::shared_ptr<SearchNetwork> m_network;
};

} // namespace

std::string CliVersionText()
{
    return std::to_string(ZELVO_VERSION_MAJOR) + "." + std::to_string(ZELVO_VERSION_MINOR) + "." +
           std::to_string(ZELVO_VERSION_PATCH);
}

int RunCommandLine(std::span<const std::string> args, const CliEnvironment& environment)
{
    Console& console = environment.console ? *environment.console : SystemConsole();
    const ParsedArguments parsed = ParseCliArguments(args);
    if (!parsed.request) {
        console.Err(std::string(kCliProgramName) + ": " + parsed.error + "\nRun '" +
                    kCliProgramName + " --help' for the commands and their options.\n");
        return kExitUsage;
    }
    const CliRequest& request = *parsed.request;
    if (request.help) {
        console.Out(request.command == CliCommand::None ? CliUsageText()
                                                        : CliCommandHelpText(request.command));
        return kExitDone;
    }
    if (request.version) {
        console.Out(std::string(kCliProgramName) + " " + CliVersionText() + "\n");
        return kExitDone;
    }
    CliSession session(request, environment);
    return session.Run();
}

} // namespace zelvo
