#include "transfer/TransferJob.h"

#include "core/LogWriter.h"

#include <fnmatch.h>
#include <vector>

namespace zelvo {
namespace {

int Logged(const char* step, const FtpOutcome& outcome)
{
    if (!outcome.Ok())
        LogWriter::Appendf("  FTP %s failed 0x%04x: %s\r\n", step, outcome.code,
                           outcome.reason.c_str());
    return outcome.code;
}

FtpOutcome NoConnection()
{
    return {kFtpInvalidHandle, "no connection (the login failed)"};
}

// Opens the job's connection (frame steps 1 and 2).
std::unique_ptr<FtpConnection> Open(TransferJob& job)
{
    FtpLogin login;
    login.host = job.server;
    login.port = job.port;
    login.user = kFtpUser;
    login.password = kFtpPassword;
    login.agent = kFtpAgent;
    login.silenceLimitSeconds = job.silenceLimitSeconds;
    FtpOutcome outcome;
    std::unique_ptr<FtpConnection> connection;
    if (job.ftp)
        connection = job.ftp->Connect(login, &job.stopRequested, outcome);
    else
        outcome = {kFtpInternalError, "no FTP client"};
    if (!connection)
        job.result = Logged("login", outcome.Ok() ? FtpOutcome{kFtpInternalError, "no connection"}
                                                  : outcome);
    return connection;
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
    std::vector<std::string> names;
    const int code = Logged("find", connection->ListNames(names));
    if (code != kFtpOk)
        return code;
    for (const std::string& name : names)
        if (::fnmatch(pattern.c_str(), name.c_str(), 0) == 0)
            matches.push_back(name);
    return matches.empty() ? kFtpNoMoreFiles : kFtpOk;
}

int Store(TransferJob& job, FtpConnection* connection)
{
    if (!connection)
        return Logged("store", NoConnection());
    const int code = Logged("store", connection->Store(job.localPath, job.remoteName));
    if (code == kFtpOk)
        LogWriter::Appendf("  FTP stored %s\r\n", job.remoteName.c_str());
    return code;
}

} // namespace

int ReadRemoteDirectory(FtpConnection* connection, const std::string& /*directory*/)
{
    if (!connection)
        return Logged("read directory", NoConnection());
    std::string current;
    return Logged("read directory", connection->CurrentDirectory(current));
}

int ChangeRemoteDirectory(FtpConnection* connection, const std::string& directory,
                          bool& noDirectoryGiven)
{
    if (!connection)
        return Logged("read directory", NoConnection());
    std::string current;
    int code = Logged("read directory", connection->CurrentDirectory(current));
    if (code != kFtpOk)
        return code;
    if (directory.empty()) {
        noDirectoryGiven = true;
        return kFtpOk;
    }
    code = Logged("change directory", connection->ChangeDirectory(directory));
    if (code != kFtpOk)
        return code;
    return Logged("read directory", connection->CurrentDirectory(current));
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
    auto connection = Open(job);
    FtpConnection* ftp = connection.get();
    std::vector<std::string> matches;
    if (job.kind == kTransferKindConfig) {
        Enter(job, ftp, job.configDirectory);
        if (FindFiles(ftp, job.remoteName, matches) == kFtpOk) {
            job.result = kFtpFileExists;
            return;
        }
    } else {
        Enter(job, ftp, job.firmwareDirectory);
        // Every old firmware file goes first; the first delete that fails ends the
        // deleting, and the upload is tried all the same.
        if (FindFiles(ftp, "*.fup", matches) == kFtpOk) {
            for (const std::string& name : matches) {
                if (Logged("delete", ftp->Delete(name)) != kFtpOk)
                    break;
                LogWriter::Appendf("  FTP deleted %s\r\n", name.c_str());
            }
        }
    }
    const int code = Store(job, ftp);
    if (code != kFtpOk)
        job.result = code;
}

void UploadJob(TransferJob& job)
{
    auto connection = Open(job);
    Enter(job, connection.get(),
          job.kind == kTransferKindConfig ? job.configDirectory : job.firmwareDirectory);
    const int code = Store(job, connection.get());
    if (code != kFtpOk)
        job.result = code;
}

} // namespace zelvo
