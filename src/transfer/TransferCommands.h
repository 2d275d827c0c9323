#pragma once
#include "core/FrontEnd.h"
#include "core/IniSettings.h"
#include "core/MessageBoxes.h"
#include "core/ProgressPasses.h"
#include "core/RunState.h"
#include "core/UnitDialogs.h"
#include "platform/Clock.h"
#include "platform/FtpClient.h"
#include "platform/StorageDevice.h"
#include "platform/UrlOpener.h"
#include "transfer/TransferJob.h"

#include <functional>
#include <memory>
#include <string>

namespace zelvo {

// What the transfer commands work on: the run's state, the front end that shows the
// buttons, its progress passes, message boxes and dialogs (the window's, or the command
// line's that answer from its operands).
struct TransferServices
{
    RunState& state;
    FrontEnd& front;
    ProgressPasses& passes;
    MessageBoxes& boxes;
    UnitPickDialog& unitPick;
    UnitFileDialog& unitFile;
    UrlOpener& urls;
    std::shared_ptr<FtpClient> ftp;
    // Where backups are saved, ending in '/': the tool's folder of the run.
    std::string backupFolder;
    const IniValues& settings = Settings();
    // The device under the backup folder, for the floppy and removable-drive questions.
    std::function<StorageOfPath(const std::string&)> storageOf = ProbeStorageOfPath;
    const Clock& clock = SystemClock();
    int budgetSeconds = kTransferBudgetSeconds;
    int ftpPort = 21;
};

// Back up, Restore and FW Update. Each command sets the busy flag,
// asks for the unit (and the file), runs its FTP jobs on a worker while progress passes
// keep the window responsive, tells the outcome, and ends with the transfer variant of
// the enabling rule on every path.
//
// At the budget the worker is asked to stop; its connection ends within a fraction of
// a second, and the command waits for that before it reports the time-out, so no job
// of a command outlives it. UI thread only.
class TransferCommands
{
public:
    explicit TransferCommands(TransferServices services);
    ~TransferCommands();
    TransferCommands(const TransferCommands&) = delete;
    TransferCommands& operator=(const TransferCommands&) = delete;

    void Backup();
    void Restore();
    void FirmwareUpdate();

    // True while a worker that ran out of time is still finishing.
    bool WorkerRunning() const;

    // What the last command came to, for a front end that reports it as data: the
    // transfer's result code (0 done, TimedOut, an FTP error; -1 when the command ended
    // before a transfer ran) and the file on this PC.
    struct Outcome
    {
        int result = -1;
        std::string localPath;
    };
    const Outcome& LastOutcome() const { return m_outcome; }

private:
    using JobRoutine = void (*)(TransferJob&);
    struct JobRequest
    {
        JobRoutine routine;
        int row; // the unit's DeviceList row
        std::string localPath;
        std::string remoteName;
        int kind;
        int passKind;
    };

    bool AskDriveQuestion();
    // The unit-pick dialog; false on Cancel. SelectedRow follows the unit box.
    bool PickUnit(UnitPickUse use);
    int RunJob(const JobRequest& request);
    void WaitForFinishingWorker();
    // The start every command shares: nothing while another operation runs or before a
    // unit is listed; otherwise steps run busy, and the buttons come back on every path.
    void Framed(const std::function<void()>& steps);
    void BackupSteps();
    // Restore and FW Update share every step but the rules and the texts.
    void UploadSteps(bool firmware);

    TransferServices m_services;
    std::shared_ptr<TransferJob> m_lastJob;
    Outcome m_outcome;
};

} // namespace zelvo
