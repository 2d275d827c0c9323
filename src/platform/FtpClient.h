#pragma once
#include "platform/Outcome.h"
#include "platform/UniqueFd.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace zelvo {

// Result numbers of FTP steps, in the style of the classic Internet client error values,
// so that the "0x%04x" a user sees can be looked up (README: "FTP result codes").
enum FtpResultCode : int
{
    kFtpOk = 0,
    kFtpFileNotFound = 2,      // a local file to upload does not exist
    kFtpPathNotFound = 3,      // the local folder does not exist
    kFtpAccessDenied = 5,      // a local file or folder may not be read or written
    kFtpInvalidHandle = 6,     // a step on a connection that was never made
    kFtpNoMemory = 8,          // out of memory
    kFtpNoMoreFiles = 18,      // nothing in the remote directory matched
    kFtpWriteFault = 29,       // writing the local file failed
    kFtpReadFault = 30,        // reading the local file failed
    kFtpFileExists = 80,       // the named file is already on the unit
    kFtpDiskFull = 112,        // the local disk is full
    kFtpFileTooLarge = 223,    // a download passed kFtpDownloadLimitBytes
    kFtpListingTooLong = 234,  // a name listing passed kFtpListingLimitNames or ...Bytes
    kFtpTimeout = 12002,       // the server stopped answering
    kFtpExtendedError = 12003, // the server refused the command (a 4xx/5xx reply)
    kFtpInternalError = 12004, // the FTP library failed in an unexpected way
    kFtpNameNotResolved = 12007,
    kFtpLoginFailure = 12015, // the server refused the user name or password
    kFtpCancelled = 12017,    // the job was asked to stop
    kFtpCannotConnect = 12029,
    kFtpConnectionAborted = 12030, // the connection broke during a step
    kFtpTransferCutOff = 12111,    // a download ended before the whole file arrived
    kFtpInvalidReply = 12152,      // the server's reply could not be understood
};

// What a unit may send before the tool stops listening. Its folders hold a configuration
// file of a few kilobytes and a handful of firmware files: the limits lie far beyond
// that, and keep a broken or hostile server from filling the PC's memory or disk.
constexpr std::size_t kFtpListingLimitNames = 10000;
constexpr std::size_t kFtpListingLimitBytes = 1 << 20;
constexpr std::int64_t kFtpDownloadLimitBytes = std::int64_t{64} << 20;

// A step that failed gives its result number (kFtp*) and, for the log, the library's own
// reason.
using FtpOutcome = Outcome<void>;

struct FtpLogin
{
    std::string host; // dotted address or name
    int port = 21;
    std::string user;
    std::string password;
    std::string agent;
    // A step whose server stays silent this long fails with kFtpTimeout: connect and
    // login, every reply, and a data connection that moves no byte.
    int silenceLimitSeconds = 60;
};

// One logged-in FTP connection to one server: passive data connections, binary
// transfers. It keeps its own idea of the current directory (the login directory at
// first). A connection belongs to one thread; only the stop flag given to Connect is
// read across threads: once it is set, the step that runs ends within a fraction of a
// second with kFtpCancelled, and every later step fails the same way at once.
// A local file opened for an upload and read through once, so that a file that cannot be
// read fails before anything happens on the unit, and what is stored is the file that was
// read: its size is the number of bytes read then. Move-only; one thread at a time.
class UploadFile
{
public:
    UploadFile(std::string path, UniqueFd fd, std::uint64_t size)
        : m_path(std::move(path)), m_fd(std::move(fd)), m_size(size)
    {
    }
    const std::string& Path() const { return m_path; }
    std::uint64_t Size() const { return m_size; }
    int Fd() const { return m_fd.Get(); }

private:
    std::string m_path;
    UniqueFd m_fd;
    std::uint64_t m_size;
};

// Opens localPath and reads it to its end, a piece at a time. Fails with kFtpFileNotFound
// (missing), kFtpPathNotFound (a part of the path is not a folder), kFtpAccessDenied (may
// not be read), kFtpReadFault (not a plain file, or a read failed), kFtpCancelled (stop was
// set while reading). stop may be null.
Outcome<std::unique_ptr<UploadFile>> OpenUploadFile(const std::string& localPath,
                                                    const std::atomic<bool>* stop);

// Whether downloads can be saved in folder; it fails with kFtpPathNotFound (missing or not
// a folder) or kFtpAccessDenied (no files may be created there), its reason says why.
FtpOutcome CheckDownloadFolder(const std::string& folder);

class FtpConnection
{
public:
    virtual ~FtpConnection() = default;
    // The server's current directory (PWD).
    virtual Outcome<std::string> CurrentDirectory() = 0;
    // CWD, relative to the current directory unless directory starts with '/'.
    virtual FtpOutcome ChangeDirectory(const std::string& directory) = 0;
    // The file names in the current directory (NLST), without folders. A listing of more
    // than kFtpListingLimitNames lines or kFtpListingLimitBytes bytes is cut off there and
    // fails with kFtpListingTooLong.
    virtual Outcome<std::vector<std::string>> ListNames() = 0;
    // Downloads remoteName of the current directory. localPath is replaced only by a
    // complete copy: the bytes go to a temporary file in the same folder, which is
    // flushed to disk and renamed over localPath once the server confirmed the whole
    // transfer (and, where it told the size, every byte arrived). On failure localPath
    // and the folder are as they were. A file of more than kFtpDownloadLimitBytes fails
    // with kFtpFileTooLarge.
    virtual FtpOutcome Retrieve(const std::string& remoteName, const std::string& localPath) = 0;
    // Uploads file's bytes as remoteName into the current directory, replacing a file
    // there. began tells whether the server took the command and so may hold part of the
    // file under remoteName after a failure.
    virtual FtpOutcome Store(const UploadFile& file, const std::string& remoteName,
                             bool& began) = 0;
    // RNFR from, RNTO to in the current directory.
    virtual FtpOutcome Rename(const std::string& from, const std::string& to) = 0;
    // DELE remoteName in the current directory.
    virtual FtpOutcome Delete(const std::string& remoteName) = 0;
};

class FtpClient
{
public:
    virtual ~FtpClient() = default;
    // Connects and logs in, or takes over a kept session (KeepNextSession). stop may be
    // null; it must outlive the connection.
    virtual Outcome<std::unique_ptr<FtpConnection>> Connect(const FtpLogin& login,
                                                            const std::atomic<bool>* stop) = 0;
    // OpenUploadFile, for the jobs.
    virtual Outcome<std::unique_ptr<UploadFile>> OpenUpload(const std::string& localPath,
                                                            const std::atomic<bool>* stop) = 0;
    // The next connection to end keeps its session, if every step on it worked, for the
    // next Connect with the same login: that connection starts in the login directory as
    // a fresh one does, without a second login. One session, taken once; for a command
    // whose second job follows its first at once. DropKeptSession ends the keeping and
    // logs out a session nobody took, on the caller's thread.
    virtual void KeepNextSession() {}
    virtual void DropKeptSession() {}
};

// Keeps the next session (FtpClient::KeepNextSession) while it lives, or until Drop.
class FtpSessionKeeper
{
public:
    explicit FtpSessionKeeper(FtpClient* client) : m_client(client)
    {
        if (m_client)
            m_client->KeepNextSession();
    }
    ~FtpSessionKeeper() { Drop(); }
    FtpSessionKeeper(const FtpSessionKeeper&) = delete;
    FtpSessionKeeper& operator=(const FtpSessionKeeper&) = delete;
    void Drop()
    {
        if (m_client)
            m_client->DropKeptSession();
        m_client = nullptr;
    }

private:
    FtpClient* m_client;
};

// The libcurl client. Call InitFtpLibrary once in main before any thread starts.
std::shared_ptr<FtpClient> MakeCurlFtpClient();
void InitFtpLibrary();

} // namespace zelvo
