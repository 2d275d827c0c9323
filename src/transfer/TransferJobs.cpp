#include "transfer/TransferJob.h"

#include "core/LogWriter.h"

#include <fnmatch.h>
#include <vector>

namespace zelvo {
namespace {

// An upload travels under its name with this ending and takes its own name only once the
// server has every byte: the unit, and the next Restore that looks for the name, never
// meet a cut-off copy under it. Neither "*.fup" nor a configuration file's name matches.
constexpr char kPartialSuffix[] = ".part";

// The login that removes what a failed store left when the store's connection is gone.
// It is short and no stop request ends it early: it also runs after the budget ran out,
// while the command waits for its worker.
constexpr int kCleanupSilenceSeconds = 5;

template <typename T> int Logged(const char* step, const Outcome<T>& outcome)
{
    if (!outcome.Ok())
        LogWriter::Appendf("  FTP %s failed 0x%04x: %s\r\n", step, outcome.Code(),
                           outcome.Error().reason.c_str());
    return outcome.Code();
}

FtpOutcome NoConnection()
{
    return Failure{kFtpInvalidHandle, "no connection (the login failed)"};
}

FtpLogin LoginOf(const TransferJob& job, int silenceLimitSeconds)
{
    FtpLogin login;
    login.host = job.server;
    login.port = job.port;
    login.user = kFtpUser;
    login.password = kFtpPassword;
    login.agent = kFtpAgent;
    login.silenceLimitSeconds = silenceLimitSeconds;
    return login;
}

// What opening gave: the object, or nullptr with the failure logged as the job's result.
template <typename T>
std::unique_ptr<T> Opened(TransferJob& job, const char* step, Outcome<std::unique_ptr<T>> got,
                          const char* missing)
{
    if (got.Ok() && !got.Value())
        got = Failure{kFtpInternalError, missing};
    if (!got.Ok()) {
        job.result = Logged(step, got);
        return nullptr;
    }
    return std::move(got.Value());
}

// The local file of an upload, opened and read through before anything happens on the
// unit; a failure is the job's result.
std::unique_ptr<UploadFile> OpenLocal(TransferJob& job)
{
    return Opened(job, "read local file",
                  job.ftp ? job.ftp->OpenUpload(job.localPath, &job.stopRequested)
                          : Failure{kFtpInternalError, "no FTP client"},
                  "no file");
}

// Opens the job's connection (frame steps 1 and 2).
std::unique_ptr<FtpConnection> Open(TransferJob& job)
{
    return Opened(job, "login",
                  job.ftp
                      ? job.ftp->Connect(LoginOf(job, job.silenceLimitSeconds), &job.stopRequested)
                      : Failure{kFtpInternalError, "no FTP client"},
                  "no connection");
}

// Reading the directory first and then changing to it, each return value stored.
void Enter(TransferJob& job, FtpConnection* connection, const std::string& directory)
{
    job.result = ReadRemoteDirectory(connection, directory);
    job.result = ChangeRemoteDirectory(connection, directory, job.noDirectoryGiven);
}

// The names of the current directory that match pattern, in the server's order.
// 0 with at least one name, kFtpNoMoreFiles with none, or the listing's failure.
int FindFiles(FtpConnection* connection, const std::string& pattern,
              std::vector<std::string>& matches)
{
    matches.clear();
    if (!connection)
        return Logged("find", NoConnection());
    const Outcome<std::vector<std::string>> names = connection->ListNames();
    const int code = Logged("find", names);
    if (code != kFtpOk)
        return code;
    for (const std::string& name : names.Value())
        if (::fnmatch(pattern.c_str(), name.c_str(), 0) == 0)
            matches.push_back(name);
    return matches.empty() ? kFtpNoMoreFiles : kFtpOk;
}

// Deletes name, which a failed store left on the unit, on the store's connection; when
// that one is gone (a broken link, a stopped job), on a short one of its own.
void RemoveLeftOver(TransferJob& job, FtpConnection& connection, const std::string& directory,
                    const std::string& name)
{
    FtpOutcome outcome = connection.Delete(name);
    if (!outcome.Ok() && outcome.Code() != kFtpExtendedError) {
        auto fresh = job.ftp->Connect(LoginOf(job, kCleanupSilenceSeconds), nullptr);
        if (!fresh.Ok()) {
            outcome = fresh.Error();
        } else {
            outcome = directory.empty() ? FtpOutcome{} : fresh.Value()->ChangeDirectory(directory);
            if (outcome.Ok())
                outcome = fresh.Value()->Delete(name);
        }
    }
    if (outcome.Ok())
        LogWriter::Appendf("  FTP removed %s\r\n", name.c_str());
    else
        Logged("remove", outcome);
}

// Stores the job's file under a passing name, then renames it to its own. A server that
// refuses the rename (no RNFR/RNTO, or none over an existing file) gets the file under its
// own name after all. Whatever a store that failed after it began left is removed.
int Store(TransferJob& job, FtpConnection* connection, const UploadFile& file,
          const std::string& directory)
{
    if (!connection)
        return Logged("store", NoConnection());
    const std::string passing = job.remoteName + kPartialSuffix;
    bool began = false;
    int code = Logged("store", connection->Store(file, passing, began));
    if (code != kFtpOk) {
        if (began)
            RemoveLeftOver(job, *connection, directory, passing);
        return code;
    }
    code = Logged("rename", connection->Rename(passing, job.remoteName));
    if (code != kFtpOk) {
        RemoveLeftOver(job, *connection, directory, passing);
        if (code != kFtpExtendedError)
            return code; // the connection broke or the job was stopped
        code = Logged("store", connection->Store(file, job.remoteName, began));
        if (code != kFtpOk) {
            if (began)
                RemoveLeftOver(job, *connection, directory, job.remoteName);
            return code;
        }
    }
    LogWriter::Appendf("  FTP stored %s\r\n", job.remoteName.c_str());
    return kFtpOk;
}

} // namespace

int ReadRemoteDirectory(FtpConnection* connection, const std::string& /*directory*/)
{
    if (!connection)
        return Logged("read directory", NoConnection());
    return Logged("read directory", connection->CurrentDirectory());
}

int ChangeRemoteDirectory(FtpConnection* connection, const std::string& directory,
                          bool& noDirectoryGiven)
{
    if (!connection)
        return Logged("read directory", NoConnection());
    int code = Logged("read directory", connection->CurrentDirectory());
    if (code != kFtpOk)
        return code;
    if (directory.empty()) {
        noDirectoryGiven = true;
        return kFtpOk;
    }
    code = Logged("change directory", connection->ChangeDirectory(directory));
    if (code != kFtpOk)
        return code;
    return Logged("read directory", connection->CurrentDirectory());
}

void CheckConfigJob(TransferJob& job)
{
    auto connection = Open(job);
    Enter(job, connection.get(), job.configDirectory);
    std::vector<std::string> matches;
    const int found = FindFiles(connection.get(), job.remoteName, matches);
    if (found == kFtpOk)
        job.result = kFtpFileExists;
    else
        job.result = found == kFtpNoMoreFiles ? 2 : found;
    // No fetch follows: a session kept for it is logged out here, where a unit that went
    // silent at this moment holds up only this worker, not the window.
    connection.reset();
    if (job.result != kFtpFileExists && job.ftp)
        job.ftp->DropKeptSession();
}

void FetchConfigJob(TransferJob& job)
{
    auto connection = Open(job);
    Enter(job, connection.get(), job.configDirectory);
    if (!connection) {
        job.result = Logged("retrieve", NoConnection());
        return;
    }
    const int code = Logged("retrieve", connection->Retrieve(job.remoteName, job.localPath));
    if (code != kFtpOk) {
        job.result = code;
        return;
    }
    // The copy on the PC is complete and on disk: only now may the unit's go. Whether
    // the delete worked is logged, not reported: the backup itself succeeded.
    LogWriter::Appendf("  FTP retrieved %s\r\n", job.remoteName.c_str());
    Logged("delete", connection->Delete(job.remoteName));
}

void CheckAndUploadJob(TransferJob& job)
{
    // The local file first: a file that cannot be read ends the job before anything on
    // the unit is touched, above all before its firmware files are deleted.
    const auto file = OpenLocal(job);
    if (!file)
        return;
    auto connection = Open(job);
    FtpConnection* ftp = connection.get();
    const bool config = job.kind == kTransferKindConfig;
    const std::string& directory = config ? job.configDirectory : job.firmwareDirectory;
    Enter(job, ftp, directory);
    std::vector<std::string> matches;
    const int found = FindFiles(ftp, config ? job.remoteName : "*.fup", matches);
    if (found == kFtpListingTooLong) {
        job.result = found; // the server's answer is not to be trusted
        return;
    }
    if (config && found == kFtpOk) {
        job.result = kFtpFileExists;
        return;
    }
    // Every old firmware file goes first; the first delete that fails ends the deleting,
    // and the upload is tried all the same.
    if (!config && found == kFtpOk) {
        for (const std::string& name : matches) {
            if (Logged("delete", ftp->Delete(name)) != kFtpOk)
                break;
            LogWriter::Appendf("  FTP deleted %s\r\n", name.c_str());
        }
    }
    const int code = Store(job, ftp, *file, directory);
    if (code != kFtpOk)
        job.result = code;
}

void UploadJob(TransferJob& job)
{
    const auto file = OpenLocal(job);
    if (!file)
        return;
    auto connection = Open(job);
    const std::string& directory =
        job.kind == kTransferKindConfig ? job.configDirectory : job.firmwareDirectory;
    Enter(job, connection.get(), directory);
    const int code = Store(job, connection.get(), *file, directory);
    if (code != kFtpOk)
        job.result = code;
}

} // namespace zelvo
