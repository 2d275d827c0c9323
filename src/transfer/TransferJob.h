#pragma once
#include "core/WorkerJob.h"
#include "platform/FtpClient.h"

#include <memory>
#include <string>

namespace zelvo {

// What a job puts on the unit.
constexpr int kTransferKindConfig = 1;
constexpr int kTransferKindFirmware = 2;

// The result a waiting command stores when the 60 s budget ran out.
constexpr int TimedOut = 1053;
constexpr int kTransferBudgetSeconds = 60;

// The unit's FTP login, built into the tool.
inline constexpr char kFtpUser[] = "korblenx";
inline constexpr char kFtpPassword[] = "ferntide";
inline constexpr char kFtpAgent[] = "VELDIX Upload";

// The record of one FTP job. The command fills it, then the worker owns the texts
// until done; result is 0, 2 (no configuration file), 18 (nothing matched), 80 (the
// file is on the unit) or the FtpResultCode of the last step that failed.
struct TransferJob final : WorkerJob
{
    std::string server;            // the unit's dotted address
    std::string localPath;         // full path of the file on the PC
    std::string remoteName;        // file name in the job's remote directory
    int kind = 0;                  // kTransferKindConfig or kTransferKindFirmware (uploads only)
    std::string configDirectory;   // manager.ini's fifth value, passed on as written
    std::string firmwareDirectory; // its sixth value
    std::shared_ptr<FtpClient> ftp;
    int port = 21;
    int silenceLimitSeconds = kTransferBudgetSeconds;
    // Set by the job when a directory step found no directory name in the settings;
    // the command tells the user after the job (a worker shows no boxes).
    bool noDirectoryGiven = false;
};

// The four job routines, run on a worker thread. Each opens its own connection (which may
// take over a session the client kept from the command's job before, KeepNextSession), does
// its steps and closes the connection; a failing step does not end the job: the later
// steps fail in turn on the missing connection, so result is the last failing step's.
// Two failures do end it, since going on could cost the unit its files: the upload's
// local file that cannot be read to its end (checked before the login) and a name
// listing past its limit. Every failing step appends one line with the FTP library's
// reason to the log.
void CheckConfigJob(TransferJob& job);
void FetchConfigJob(TransferJob& job);
void CheckAndUploadJob(TransferJob& job);
void UploadJob(TransferJob& job);

// The two directory routines; connection may be null (a failed login). 0 or the code.
int ReadRemoteDirectory(FtpConnection* connection, const std::string& directory);
int ChangeRemoteDirectory(FtpConnection* connection, const std::string& directory,
                          bool& noDirectoryGiven);

} // namespace zelvo
