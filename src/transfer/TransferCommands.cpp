#include "transfer/TransferCommands.h"

#include "core/LogWriter.h"
#include "core/MessageCatalogue.h"
#include "core/OperationFrame.h"
#include "core/WaitWithProgress.h"
#include "transfer/FileNameRules.h"
#include "transfer/TransferTexts.h"
#include "transfer/UnitPages.h"

namespace zelvo {
namespace {

// A stopped job ends within a tenth of a second unless the disk holds it up.
constexpr auto kFinishingWorkerWait = std::chrono::seconds(10);

// How much longer than the command's budget the FTP client waits for a silent server.
// The budget is looked at only between progress passes of about a second each; a client
// that gave up at the budget itself would often end the job first, on a failed login,
// and the user would see the error code of a later step instead of the time-out.
constexpr int kClientSilenceBeyondBudgetSeconds = 10;

} // namespace

TransferCommands::TransferCommands(TransferServices services) : m_services(std::move(services)) {}

TransferCommands::~TransferCommands()
{
    WaitForFinishingWorker();
}

bool TransferCommands::WorkerRunning() const
{
    return m_lastJob && !m_lastJob->done.load(std::memory_order_acquire);
}

void TransferCommands::WaitForFinishingWorker()
{
    if (!m_lastJob)
        return;
    m_lastJob->stopRequested.store(true, std::memory_order_release);
    if (!WaitForDone(*m_lastJob, kFinishingWorkerWait))
        LogWriter::Append("  FTP job did not end after it was asked to stop\r\n");
    else
        m_lastJob.reset();
}

bool TransferCommands::AskDriveQuestion()
{
    const int language = m_services.state.language;
    const StorageOfPath storage = m_services.storageOf(m_services.backupFolder);
    std::string question;
    if (storage.kind == StorageKind::Floppy)
        question = transfer_texts::FloppyQuestion(language);
    else if (storage.kind == StorageKind::Removable || storage.kind == StorageKind::Optical)
        question = transfer_texts::RemovableQuestion(language, storage.mountPoint);
    else
        return true;
    return m_services.boxes.Show(question, MessageIcon::Question, MessageButtons::YesNo) ==
           MessageAnswer::Yes;
}

bool TransferCommands::PickUnit(UnitPickUse use)
{
    DeviceList& devices = m_services.state.devices;
    if (devices.UnitCount > 0 && devices.UnitCount <= DeviceList::kUnitRows)
        devices.SelectedRow = devices.UnitRows[devices.UnitCount - 1];
    const UnitPickContent content = BuildUnitPickContent(use, m_services.state.language, devices);
    int entry = 0;
    const bool ok = m_services.unitPick.Run(content, entry);
    const int row = RowForUnitEntry(devices, entry);
    if (row >= 0)
        devices.SelectedRow = row;
    return ok && row >= 0;
}

int TransferCommands::RunJob(const JobRequest& request)
{
    // The previous job's thread and connection are gone before the next one starts.
    WaitForFinishingWorker();

    const RunState& state = m_services.state;
    auto job = std::make_shared<TransferJob>();
    job->server = state.devices.rows[request.row].ipText;
    job->localPath = request.localPath;
    job->remoteName = request.remoteName;
    job->kind = request.kind;
    job->configDirectory = m_services.settings.ConfigDirectory();
    job->firmwareDirectory = m_services.settings.FirmwareDirectory();
    job->ftp = m_services.ftp;
    job->port = m_services.ftpPort;
    job->silenceLimitSeconds = m_services.budgetSeconds + kClientSilenceBeyondBudgetSeconds;
    m_lastJob = job;

    ProgressPasses& passes = m_services.passes;
    const int passKind = request.passKind;
    const JobRoutine routine = request.routine;
    const FollowedWorker followed(passes, *job);
    const WaitOutcome outcome = WaitWithProgress(
        job, [routine](WorkerJob& worker) { routine(static_cast<TransferJob&>(worker)); },
        m_services.budgetSeconds,
        [&passes, passKind](int secondsLeft) { passes.RunProgressPass(secondsLeft, passKind); },
        m_services.clock);
    if (outcome == WaitOutcome::TimedOut) {
        LogWriter::Appendf("  FTP job with %s timed out after %d s\r\n", job->server.c_str(),
                           m_services.budgetSeconds);
        WaitForFinishingWorker();
        return TimedOut;
    }
    m_lastJob.reset();
    if (job->noDirectoryGiven)
        m_services.boxes.Show(transfer_texts::NoDirectoryName(state.language),
                              MessageIcon::Exclamation, MessageButtons::Ok);
    return job->result;
}

void TransferCommands::Framed(const std::function<void()>& steps)
{
    OperationFrame frame(m_services.state, m_services.front);
    if (frame.Busy() || !m_services.state.UnitsFound)
        return;
    // Every path out of steps ends with the transfer variant of the enabling rule.
    OperationScope scope(frame, RefreshVariant::Transfer);
    m_outcome = Outcome{};
    steps();
}

void TransferCommands::Backup()
{
    Framed([this] { BackupSteps(); });
}

void TransferCommands::BackupSteps()
{
    RunState& state = m_services.state;
    const int language = state.language;
    if (!AskDriveQuestion() || !PickUnit(UnitPickUse::Download)) {
        return;
    }
    // The unit stays the one picked, whatever the list's selection does meanwhile: the
    // window's list may set SelectedRow again when it gets the focus back during a pass.
    DeviceList& devices = state.devices;
    const int row = devices.SelectedRow;
    const std::string remoteName = ConfigFileName(devices.rows[row].macText);
    const std::string localPath = m_services.backupFolder + remoteName;
    if (!FitsTransferBuffer(localPath)) {
        m_services.boxes.Show(transfer_texts::PathTooLong(language, localPath),
                              MessageIcon::Exclamation, MessageButtons::Ok);
        return;
    }
    m_services.boxes.Show(transfer_texts::BackupSavedAt(language, localPath), MessageIcon::Question,
                          MessageButtons::Ok);

    LogWriter::Appendf("\r\n>>> Start backup of %s from %s\r\n", remoteName.c_str(),
                       devices.rows[row].ipText);
    // The fetch follows the check at once and takes over its login.
    FtpSessionKeeper keeper(m_services.ftp.get());
    int result = RunJob({&CheckConfigJob, row, localPath, remoteName, 0, kProgressConfigDownload});
    // No fetch follows: nothing may stay logged in. A check that finds no file logs out
    // on its worker; one still running past its time does so when it ends.
    if (result != kFtpFileExists)
        keeper.Drop();
    m_outcome = Outcome{result, localPath};
    if (result == 2 || result == kFtpNoMoreFiles) {
        if (m_services.boxes.Show(MessageCatalogue::Choose(language, 145, 146),
                                  MessageIcon::Question,
                                  MessageButtons::YesNo) == MessageAnswer::Yes)
            OpenUnitPage(m_services.urls, devices, row, m_services.settings.NoConfigPage());
        LogWriter::Append("<<< Close backup: no configuration file on the unit\r\n");
        return;
    }
    if (result == kFtpFileExists)
        result = RunJob({&FetchConfigJob, row, localPath, remoteName, 0, kProgressConfigDownload});
    m_outcome.result = result;
    LogWriter::Appendf("<<< Close backup: result %d\r\n", result);

    std::string report;
    if (result == 0)
        report = transfer_texts::BackupDone(language, localPath);
    else if (result == TimedOut)
        report = transfer_texts::BackupTimedOut(language);
    else
        report = transfer_texts::BackupFailed(language, result);
    m_services.boxes.Show(report, MessageIcon::Question, MessageButtons::Ok);
}

void TransferCommands::Restore()
{
    Framed([this] { UploadSteps(false); });
}

void TransferCommands::FirmwareUpdate()
{
    Framed([this] { UploadSteps(true); });
}

void TransferCommands::UploadSteps(bool firmware)
{
    RunState& state = m_services.state;
    const int language = state.language;
    if (!PickUnit(firmware ? UnitPickUse::Firmware : UnitPickUse::Upload)) {
        return;
    }
    UnitFileContent fileContent =
        BuildUnitFileContent(firmware ? UnitFileUse::Firmware : UnitFileUse::Restore, language);
    if (!firmware)
        fileContent.startFolder = m_services.backupFolder; // where backups are saved
    const std::optional<ChosenFile> chosen = m_services.unitFile.Run(fileContent);
    if (!chosen) {
        return;
    }
    if (!FitsTransferBuffer(chosen->path) || !FitsTransferBuffer(chosen->name)) {
        m_services.boxes.Show(transfer_texts::PathTooLong(language, chosen->path),
                              MessageIcon::Exclamation, MessageButtons::Ok);
        return;
    }
    DeviceList& devices = state.devices;
    const int row = devices.SelectedRow; // kept for the whole command, as in Backup
    if (firmware) {
        if (!IsFirmwareFileName(chosen->name)) {
            m_services.boxes.Show(transfer_texts::WrongFirmwareFile(language, chosen->name),
                                  MessageIcon::Question, MessageButtons::Ok);
            return;
        }
    } else {
        const std::string expected = ConfigFileName(devices.rows[row].macText);
        if (chosen->name != expected) {
            m_services.boxes.Show(transfer_texts::WrongConfigFile(language, chosen->name, expected),
                                  MessageIcon::Question, MessageButtons::Ok);
            return;
        }
    }

    const int kind = firmware ? kTransferKindFirmware : kTransferKindConfig;
    const int passKind = firmware ? kProgressFirmwareUpload : kProgressConfigUpload;
    LogWriter::Appendf("\r\n>>> Start %s upload of %s to %s\r\n",
                       firmware ? "firmware" : "configuration", chosen->name.c_str(),
                       devices.rows[row].ipText);
    int result = RunJob({&CheckAndUploadJob, row, chosen->path, chosen->name, kind, passKind});
    m_outcome = Outcome{result, chosen->path};
    if (result == kFtpFileExists) {
        const MessageAnswer answer =
            m_services.boxes.Show(firmware ? MessageCatalogue::Choose(language, 159, 160)
                                           : MessageCatalogue::Choose(language, 128, 129),
                                  MessageIcon::Question, MessageButtons::YesNo);
        if (answer != MessageAnswer::Yes) {
            LogWriter::Append("<<< Close upload: the user kept the unit's file\r\n");
            return;
        }
        result = RunJob({&UploadJob, row, chosen->path, chosen->name, kind, passKind});
    }
    m_outcome.result = result;
    LogWriter::Appendf("<<< Close upload: result %d\r\n", result);

    if (result == 0) {
        const std::string question = firmware ? MessageCatalogue::Choose(language, 161, 162)
                                              : MessageCatalogue::Choose(language, 143, 144);
        if (m_services.boxes.Show(question, MessageIcon::Question, MessageButtons::YesNo) ==
            MessageAnswer::Yes)
            OpenUnitPage(m_services.urls, devices, row,
                         firmware ? m_services.settings.FirmwarePage()
                                  : m_services.settings.RestorePage());
    } else {
        std::string report;
        if (result == TimedOut)
            report = firmware ? transfer_texts::FirmwareTimedOut(language)
                              : transfer_texts::RestoreTimedOut(language);
        else
            report = firmware ? transfer_texts::FirmwareFailed(language, result)
                              : transfer_texts::RestoreFailed(language, result);
        m_services.boxes.Show(report, MessageIcon::Question, MessageButtons::Ok);
    }
}

} // namespace zelvo
