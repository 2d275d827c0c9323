#include "platform/ErrnoText.h"
#include "platform/FtpClient.h"
#include "platform/FtpReplies.h"

#include <curl/curl.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <new>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace zelvo {
namespace {

// How long one wait for the server may last before the stop flag is looked at again.
constexpr int kStopPollMs = 100;
// A large receive buffer keeps a fast local link busy with few system calls; uploads
// keep libcurl's own buffer, which measured faster than a larger one.
constexpr long kBufferBytes = 512 * 1024;
// A download reaches the disk in blocks of this size rather than in libcurl's 16 KiB
// pieces, and each block's writeback starts as soon as it is written: the flush before the
// rename then finds most of the file on disk already instead of writing all of it after
// the last byte arrived.
constexpr std::size_t kWriteBlockBytes = 1 << 20;
// A step's replies are kept for the messages and the PWD reply; a server that sends reply
// lines without end leaves only the last ones.
constexpr std::size_t kReplyKeepBytes = 64 * 1024;
// The read of a file before its upload goes in pieces of this size, the stop flag looked
// at between them.
constexpr std::size_t kReadPieceBytes = 64 * 1024;

struct EasyDeleter
{
    void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};
struct MultiDeleter
{
    void operator()(CURLM* multi) const { curl_multi_cleanup(multi); }
};
struct SlistDeleter
{
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using SlistPtr = std::unique_ptr<curl_slist, SlistDeleter>;

int CodeForLocalErrno(int error, bool writing)
{
    switch (error) {
    case ENOENT:
        return writing ? kFtpPathNotFound : kFtpFileNotFound;
    case ENOTDIR:
        return kFtpPathNotFound;
    case EACCES:
    case EPERM:
    case EROFS:
        return kFtpAccessDenied;
    case ENOSPC:
    case EDQUOT:
        return kFtpDiskFull;
    case ENOMEM:
        return kFtpNoMemory;
    default:
        return writing ? kFtpWriteFault : kFtpReadFault;
    }
}

int CodeForCurl(CURLcode code)
{
    switch (code) {
    case CURLE_OK:
        return kFtpOk;
    case CURLE_COULDNT_RESOLVE_HOST:
        return kFtpNameNotResolved;
    case CURLE_COULDNT_CONNECT:
        return kFtpCannotConnect;
    case CURLE_OPERATION_TIMEDOUT:
        return kFtpTimeout;
    case CURLE_LOGIN_DENIED:
        return kFtpLoginFailure;
    case CURLE_ABORTED_BY_CALLBACK:
        return kFtpCancelled;
    case CURLE_REMOTE_ACCESS_DENIED:
    case CURLE_REMOTE_FILE_NOT_FOUND:
    case CURLE_QUOTE_ERROR:
    case CURLE_UPLOAD_FAILED:
    case CURLE_FTP_COULDNT_RETR_FILE:
    case CURLE_FTP_COULDNT_SET_TYPE:
    case CURLE_REMOTE_DISK_FULL:
    case CURLE_REMOTE_FILE_EXISTS:
    case CURLE_FTP_PORT_FAILED:
    case CURLE_FTP_COULDNT_USE_REST:
        return kFtpExtendedError;
    case CURLE_WEIRD_SERVER_REPLY:
    case CURLE_FTP_WEIRD_PASS_REPLY:
    case CURLE_FTP_WEIRD_PASV_REPLY:
    case CURLE_FTP_WEIRD_227_FORMAT:
    case CURLE_FTP_CANT_GET_HOST:
    case CURLE_FTP_ACCEPT_FAILED:
    case CURLE_FTP_ACCEPT_TIMEOUT:
        return kFtpInvalidReply;
    case CURLE_PARTIAL_FILE:
        return kFtpTransferCutOff;
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
    case CURLE_GOT_NOTHING:
        return kFtpConnectionAborted;
    case CURLE_OUT_OF_MEMORY:
        return kFtpNoMemory;
    case CURLE_FILESIZE_EXCEEDED:
        return kFtpFileTooLarge;
    default:
        return kFtpInternalError;
    }
}

// A logged-in session that a connection left for its client's next Connect.
struct KeptSession
{
    std::string key; // SessionKey of its login
    std::string loginDirectory;
    std::unique_ptr<CURL, EasyDeleter> easy;
    std::unique_ptr<CURLM, MultiDeleter> multi; // holds the logged-in control connection
};

std::string SessionKey(const FtpLogin& login)
{
    return login.host + '\n' + std::to_string(login.port) + '\n' + login.user + '\n' +
           login.password;
}

// The client's one kept session, shared with its connections: a connection may end on a
// worker thread after its client is gone.
class SessionShelf
{
public:
    void Arm()
    {
        std::lock_guard lock(m_mutex);
        m_armed = true;
    }
    // A connection ends: its session is kept if the shelf is armed and empty and the
    // session healthy. Either way the arming is used up, so that no later connection
    // stays logged in unasked.
    bool Offer(KeptSession& session, bool healthy)
    {
        std::lock_guard lock(m_mutex);
        const bool keep = m_armed && healthy && !m_kept;
        m_armed = false;
        if (keep)
            m_kept = std::move(session);
        return keep;
    }
    std::optional<KeptSession> Take(const std::string& key)
    {
        std::lock_guard lock(m_mutex);
        if (!m_kept || m_kept->key != key)
            return std::nullopt;
        return std::exchange(m_kept, std::nullopt);
    }
    // Disarms, and hands over the session nobody took, to be logged out outside the lock.
    std::optional<KeptSession> Drop()
    {
        std::lock_guard lock(m_mutex);
        m_armed = false;
        return std::exchange(m_kept, std::nullopt);
    }

private:
    std::mutex m_mutex;
    bool m_armed = false;
    std::optional<KeptSession> m_kept;
};

// The multi handle logs out the connection it holds (QUIT) as it goes: the easy handle
// left it after its last step, so both can go in this order.
void LogOut(KeptSession& session)
{
    session.easy.reset();
    session.multi.reset();
}

std::string FolderOf(const std::string& path)
{
    const auto slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string BaseOf(const std::string& path)
{
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

class CurlFtpConnection final : public FtpConnection
{
public:
    // A kept session's handles carry its logged-in control connection: libcurl uses it
    // for the steps unless it finds it closed, and then logs in anew by itself.
    CurlFtpConnection(FtpLogin login, const std::atomic<bool>* stop,
                      std::shared_ptr<SessionShelf> shelf, std::optional<KeptSession> kept)
        : m_login(std::move(login)), m_stop(stop), m_shelf(std::move(shelf))
    {
        if (kept) {
            m_easy = std::move(kept->easy);
            m_multi = std::move(kept->multi);
            m_loginDirectory = std::move(kept->loginDirectory);
        } else {
            m_easy.reset(curl_easy_init());
            m_multi.reset(curl_multi_init());
        }
    }

    ~CurlFtpConnection() override
    {
        KeptSession session{SessionKey(m_login), m_loginDirectory, std::move(m_easy),
                            std::move(m_multi)};
        const bool healthy = session.easy && session.multi && !m_failed && !m_stopped;
        if (!m_shelf || !m_shelf->Offer(session, healthy))
            LogOut(session);
    }

    FtpOutcome Login()
    {
        if (!m_easy || !m_multi)
            return Failure{kFtpNoMemory, "the FTP library could not start"};
        Prepare(RootUrl());
        curl_easy_setopt(m_easy.get(), CURLOPT_NOBODY, 1L);
        FtpOutcome outcome = Perform();
        if (outcome.Ok()) {
            // A kept session's control connection tells its login directory only once.
            char* entry = nullptr;
            if (curl_easy_getinfo(m_easy.get(), CURLINFO_FTP_ENTRY_PATH, &entry) == CURLE_OK &&
                entry)
                m_loginDirectory = entry;
            if (m_loginDirectory.empty() || m_loginDirectory[0] != '/')
                m_loginDirectory = "/";
            m_cwd = m_loginDirectory;
        }
        return outcome;
    }

    Outcome<std::string> CurrentDirectory() override
    {
        FtpOutcome outcome = RunQuote(m_cwd, {"PWD"});
        if (!outcome.Ok())
            return outcome.Error();
        const auto path = ParsePwdReply(m_replies);
        if (!path)
            return Failure{kFtpInvalidReply, "no directory in the reply to PWD: " + LastReply()};
        m_cwd = *path;
        return *path;
    }

    FtpOutcome ChangeDirectory(const std::string& directory) override
    {
        if (HasLineBreak(directory))
            return Failure{kFtpExtendedError, "a directory name may not hold a line break"};
        std::string target = directory;
        if (target.empty() || target[0] != '/')
            target = (m_cwd == "/" ? std::string("/") : m_cwd + "/") + target;
        FtpOutcome outcome = RunQuote(target, {"PWD"});
        if (!outcome.Ok())
            return outcome;
        m_cwd = ParsePwdReply(m_replies).value_or(target);
        return outcome;
    }

    Outcome<std::vector<std::string>> ListNames() override
    {
        Listing listing;
        Prepare(DirectoryUrl(m_cwd));
        curl_easy_setopt(m_easy.get(), CURLOPT_DIRLISTONLY, 1L);
        curl_easy_setopt(m_easy.get(), CURLOPT_WRITEFUNCTION, &AppendToListing);
        curl_easy_setopt(m_easy.get(), CURLOPT_WRITEDATA, &listing);
        FtpOutcome outcome = Perform();
        if (listing.tooLong)
            return Failure{kFtpListingTooLong,
                           "the name listing passed " + std::to_string(kFtpListingLimitNames) +
                               " names or " + std::to_string(kFtpListingLimitBytes) + " bytes"};
        if (listing.noMemory)
            return Failure{kFtpNoMemory, "out of memory while reading the name listing"};
        if (!outcome.Ok())
            return outcome.Error();
        try {
            return ParseNameListing(listing.text);
        } catch (const std::bad_alloc&) {
            return Failure{kFtpNoMemory, "out of memory while reading the name listing"};
        }
    }

    FtpOutcome Retrieve(const std::string& remoteName, const std::string& localPath) override
    {
        if (HasLineBreak(remoteName))
            return Failure{kFtpExtendedError, "a file name may not hold a line break"};
        std::string temp = FolderOf(localPath) + "/." + BaseOf(localPath) + ".partXXXXXX";
        UniqueFd fd(::mkstemp(temp.data()));
        if (fd.Get() < 0) {
            const int error = errno;
            return Failure{CodeForLocalErrno(error, true), "cannot create a file in " +
                                                               FolderOf(localPath) + ": " +
                                                               ErrnoText(error)};
        }
        ::fcntl(fd.Get(), F_SETFD, FD_CLOEXEC);
        FtpOutcome outcome = RetrieveInto(remoteName, fd.Get());
        if (outcome.Ok() && ::fsync(fd.Get()) != 0)
            outcome = LocalFailure(errno, "cannot flush " + temp);
        if (outcome.Ok() && ::close(fd.Release()) != 0)
            outcome = LocalFailure(errno, "cannot close " + temp);
        if (outcome.Ok() && ::rename(temp.c_str(), localPath.c_str()) != 0)
            outcome = LocalFailure(errno, "cannot replace " + localPath);
        if (!outcome.Ok()) {
            fd.Reset();
            ::unlink(temp.c_str());
            return outcome;
        }
        // The rename itself must reach the disk before the caller deletes the original.
        UniqueFd folder(::open(FolderOf(localPath).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (folder.Get() >= 0)
            ::fsync(folder.Get());
        return outcome;
    }

    FtpOutcome Store(const UploadFile& file, const std::string& remoteName, bool& began) override
    {
        began = false;
        if (HasLineBreak(remoteName))
            return Failure{kFtpExtendedError, "a file name may not hold a line break"};
        LocalSource source{file.Fd(), file.Size(), 0, 0, false};
        Prepare(FileUrl(remoteName));
        curl_easy_setopt(m_easy.get(), CURLOPT_UPLOAD, 1L);
        curl_easy_setopt(m_easy.get(), CURLOPT_INFILESIZE_LARGE,
                         static_cast<curl_off_t>(file.Size()));
        curl_easy_setopt(m_easy.get(), CURLOPT_READFUNCTION, &ReadFromFile);
        curl_easy_setopt(m_easy.get(), CURLOPT_READDATA, &source);
        FtpOutcome outcome = Perform();
        began = source.offset > 0 || HasPreliminaryReply(m_replies);
        if (!outcome.Ok() && source.shrank)
            return Failure{kFtpReadFault, file.Path() + " became shorter while it was sent"};
        if (!outcome.Ok() && source.error != 0)
            return Failure{CodeForLocalErrno(source.error, false),
                           "cannot read " + file.Path() + ": " + ErrnoText(source.error)};
        return outcome;
    }

    FtpOutcome Rename(const std::string& from, const std::string& to) override
    {
        if (HasLineBreak(from) || HasLineBreak(to))
            return Failure{kFtpExtendedError, "a file name may not hold a line break"};
        return RunQuote(m_cwd, {"RNFR " + from, "RNTO " + to});
    }

    FtpOutcome Delete(const std::string& remoteName) override
    {
        if (HasLineBreak(remoteName))
            return Failure{kFtpExtendedError, "a file name may not hold a line break"};
        return RunQuote(m_cwd, {"DELE " + remoteName});
    }

private:
    struct LocalFile
    {
        int fd;
        char* block; // kWriteBlockBytes
        std::size_t filled;
        off_t written; // what the kernel has of the file
        int error;
        curl_off_t bytes;
        bool tooLarge;
    };

    // The file of an upload, read from its start whatever was read before.
    struct LocalSource
    {
        int fd;
        std::uint64_t size; // what was read when the file was opened; no byte beyond
        std::uint64_t offset;
        int error;
        bool shrank;
    };

    struct Listing
    {
        std::string text;
        std::size_t lines = 0;
        bool tooLong = false;
        bool noMemory = false;
    };

    static bool HasLineBreak(const std::string& text)
    {
        return text.find_first_of("\r\n") != std::string::npos;
    }

    // A 1xx reply among a step's replies: the server took a STOR and opened its file.
    static bool HasPreliminaryReply(const std::string& replies)
    {
        for (std::size_t start = 0; start < replies.size();) {
            if (replies[start] == '1')
                return true;
            const std::size_t end = replies.find('\n', start);
            if (end == std::string::npos)
                break;
            start = end + 1;
        }
        return false;
    }

    static FtpOutcome LocalFailure(int error, const std::string& what)
    {
        return Failure{CodeForLocalErrno(error, true), what + ": " + ErrnoText(error)};
    }

    // libcurl's callbacks are called from C: none may throw. Each returns a short count
    // (which ends the transfer) instead, and says why in its record.
    static size_t AppendToListing(char* data, size_t size, size_t count, void* user) noexcept
    {
        auto* listing = static_cast<Listing*>(user);
        const size_t total = size * count;
        listing->lines += static_cast<std::size_t>(std::count(data, data + total, '\n'));
        if (listing->lines > kFtpListingLimitNames ||
            listing->text.size() + total > kFtpListingLimitBytes) {
            listing->tooLong = true;
            return 0;
        }
        try {
            listing->text.append(data, total);
        } catch (...) {
            listing->noMemory = true;
            return 0;
        }
        return total;
    }

    // Hands the block's bytes to the kernel and starts their writeback; false (the reason
    // in file.error) when a write failed.
    static bool WriteBlock(LocalFile& file) noexcept
    {
        std::size_t done = 0;
        while (done < file.filled) {
            const ssize_t n = ::write(file.fd, file.block + done, file.filled - done);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                file.error = n < 0 ? errno : ENOSPC;
                return false;
            }
            done += static_cast<std::size_t>(n);
        }
        // Only a start: whether the bytes reached the disk is the flush's to say.
        ::sync_file_range(file.fd, file.written, static_cast<off_t>(file.filled),
                          SYNC_FILE_RANGE_WRITE);
        file.written += static_cast<off_t>(file.filled);
        file.filled = 0;
        return true;
    }

    static size_t WriteToFile(char* data, size_t size, size_t count, void* user) noexcept
    {
        auto* file = static_cast<LocalFile*>(user);
        const size_t total = size * count;
        if (file->bytes + static_cast<curl_off_t>(total) > kFtpDownloadLimitBytes) {
            file->tooLarge = true;
            return 0;
        }
        for (size_t done = 0; done < total;) {
            const size_t piece = std::min(total - done, kWriteBlockBytes - file->filled);
            std::memcpy(file->block + file->filled, data + done, piece);
            file->filled += piece;
            done += piece;
            if (file->filled == kWriteBlockBytes && !WriteBlock(*file))
                return 0; // CURLE_WRITE_ERROR
        }
        file->bytes += static_cast<curl_off_t>(total);
        return total;
    }

    static size_t ReadFromFile(char* data, size_t size, size_t count, void* user) noexcept
    {
        auto* source = static_cast<LocalSource*>(user);
        const std::uint64_t left = source->size - source->offset;
        const size_t wanted = static_cast<size_t>(std::min<std::uint64_t>(size * count, left));
        if (wanted == 0)
            return 0;
        for (;;) {
            const ssize_t n = ::pread(source->fd, data, wanted, static_cast<off_t>(source->offset));
            if (n > 0) {
                source->offset += static_cast<std::uint64_t>(n);
                return static_cast<size_t>(n);
            }
            if (n == 0) {
                // The file is shorter than when it was read through: the size given to
                // the server can no longer be kept.
                source->shrank = true;
                return CURL_READFUNC_ABORT;
            }
            if (errno != EINTR) {
                source->error = errno;
                return CURL_READFUNC_ABORT;
            }
        }
    }

    static size_t CollectReply(char* data, size_t size, size_t count, void* user) noexcept
    {
        auto* replies = static_cast<std::string*>(user);
        const size_t total = size * count;
        try {
            if (replies->size() + total > kReplyKeepBytes)
                replies->erase(
                    0, std::min(replies->size(), replies->size() + total - kReplyKeepBytes / 2));
            replies->append(data, std::min(total, kReplyKeepBytes / 2));
        } catch (...) {
            replies->clear(); // the replies serve messages only; the step goes on
        }
        return total;
    }

    static int CheckStop(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) noexcept
    {
        auto* stop = static_cast<const std::atomic<bool>*>(user);
        return stop && stop->load(std::memory_order_acquire) ? 1 : 0;
    }

    FtpOutcome RetrieveInto(const std::string& remoteName, int fd)
    {
        const std::unique_ptr<char[]> block(new (std::nothrow) char[kWriteBlockBytes]);
        if (!block)
            return Failure{kFtpNoMemory, "out of memory for the download's buffer"};
        LocalFile file{fd, block.get(), 0, 0, 0, 0, false};
        Prepare(FileUrl(remoteName));
        curl_easy_setopt(m_easy.get(), CURLOPT_WRITEFUNCTION, &WriteToFile);
        curl_easy_setopt(m_easy.get(), CURLOPT_WRITEDATA, &file);
        // A size the server announces beyond the limit ends the step before any byte.
        curl_easy_setopt(m_easy.get(), CURLOPT_MAXFILESIZE_LARGE,
                         static_cast<curl_off_t>(kFtpDownloadLimitBytes));
        FtpOutcome outcome = Perform();
        if (file.tooLarge || outcome.Code() == kFtpFileTooLarge)
            return Failure{kFtpFileTooLarge,
                           "the file passed " + std::to_string(kFtpDownloadLimitBytes) + " bytes"};
        if (outcome.Ok() && !WriteBlock(file))
            return LocalFailure(file.error, "cannot write the download");
        if (!outcome.Ok())
            return file.error != 0 ? LocalFailure(file.error, "cannot write the download")
                                   : outcome;
        curl_off_t announced = -1;
        curl_easy_getinfo(m_easy.get(), CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &announced);
        if (announced >= 0 && announced != file.bytes)
            return Failure{kFtpTransferCutOff, "the server announced " + std::to_string(announced) +
                                                   " bytes and sent " + std::to_string(file.bytes)};
        return outcome;
    }

    // Commands on the control connection after changing to directory (absolute).
    FtpOutcome RunQuote(const std::string& directory, std::initializer_list<std::string> commands)
    {
        SlistPtr quote;
        for (const std::string& command : commands) {
            curl_slist* longer = curl_slist_append(quote.get(), command.c_str());
            if (!longer)
                return Failure{kFtpNoMemory, "out of memory"};
            quote.release();
            quote.reset(longer);
        }
        Prepare(DirectoryUrl(directory));
        curl_easy_setopt(m_easy.get(), CURLOPT_NOBODY, 1L);
        curl_easy_setopt(m_easy.get(), CURLOPT_POSTQUOTE, quote.get());
        return Perform();
    }

    std::string HostPart() const
    {
        std::string host = m_login.host;
        if (host.find(':') != std::string::npos)
            host = "[" + host + "]";
        return "ftp://" + host + ":" + std::to_string(m_login.port);
    }

    std::string RootUrl() const { return HostPart() + "/"; }

    std::string Escape(const std::string& text) const
    {
        char* escaped = curl_easy_escape(m_easy.get(), text.c_str(), static_cast<int>(text.size()));
        std::string out = escaped ? escaped : "";
        curl_free(escaped);
        return out;
    }

    // "%2F" makes the path absolute (RFC 1738 paths are relative to the login
    // directory); with one CWD per step the server gets the directory as written.
    std::string DirectoryUrl(const std::string& directory) const
    {
        std::string url = HostPart() + "/%2F";
        std::size_t start = directory.find_first_not_of('/');
        while (start != std::string::npos && start < directory.size()) {
            std::size_t end = directory.find('/', start);
            if (end == std::string::npos)
                end = directory.size();
            if (end > start)
                url += Escape(directory.substr(start, end - start)) + "/";
            start = end + 1;
        }
        if (url.back() != '/')
            url += "/";
        return url;
    }

    std::string FileUrl(const std::string& name) const
    {
        return DirectoryUrl(m_cwd) + Escape(name);
    }

    std::string LastReply() const { return LastReplyLine(m_replies); }

    // The same options for every step: libcurl remembers EPSV and the like per
    // connection, and a step that set them differently would change the next one.
    void Prepare(const std::string& url)
    {
        CURL* easy = m_easy.get();
        curl_easy_reset(easy);
        m_replies.clear();
        m_error[0] = '\0';
        const long silence = m_login.silenceLimitSeconds > 0 ? m_login.silenceLimitSeconds : 60;
        curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
        curl_easy_setopt(easy, CURLOPT_USERNAME, m_login.user.c_str());
        curl_easy_setopt(easy, CURLOPT_PASSWORD, m_login.password.c_str());
        curl_easy_setopt(easy, CURLOPT_USERAGENT, m_login.agent.c_str());
        curl_easy_setopt(easy, CURLOPT_PROXY, ""); // direct, whatever the environment says
        curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "ftp");
        curl_easy_setopt(easy, CURLOPT_FTP_FILEMETHOD, static_cast<long>(CURLFTPMETHOD_SINGLECWD));
        curl_easy_setopt(easy, CURLOPT_FTP_USE_EPSV, 1L);
        curl_easy_setopt(easy, CURLOPT_TRANSFERTEXT, 0L);
        curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT, silence);
        curl_easy_setopt(easy, CURLOPT_SERVER_RESPONSE_TIMEOUT, silence);
        curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, 1L);
        curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME, silence);
        curl_easy_setopt(easy, CURLOPT_BUFFERSIZE, kBufferBytes);
        curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, m_error);
        curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &CollectReply);
        curl_easy_setopt(easy, CURLOPT_HEADERDATA, &m_replies);
        curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
        curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, &CheckStop);
        curl_easy_setopt(easy, CURLOPT_XFERINFODATA, m_stop);
    }

    bool StopRequested() const { return m_stop && m_stop->load(std::memory_order_acquire); }

    // Runs the prepared step. The loop, not only the progress callback, watches the
    // stop flag: libcurl does not call the callback while it waits for a greeting or a
    // reply, and a silent server must not keep a stopped job alive.
    FtpOutcome Perform()
    {
        if (m_stopped || StopRequested()) {
            m_stopped = true;
            return Failure{kFtpCancelled, "the job was asked to stop"};
        }
        CURLM* multi = m_multi.get();
        if (curl_multi_add_handle(multi, m_easy.get()) != CURLM_OK)
            return Failure{kFtpInternalError, "the FTP library refused the step"};
        CURLcode result = CURLE_OK;
        bool finished = false;
        for (;;) {
            int running = 0;
            if (curl_multi_perform(multi, &running) != CURLM_OK) {
                result = CURLE_FAILED_INIT;
                break;
            }
            int queued = 0;
            while (CURLMsg* message = curl_multi_info_read(multi, &queued)) {
                if (message->msg == CURLMSG_DONE) {
                    result = message->data.result;
                    finished = true;
                }
            }
            if (finished || running == 0)
                break;
            if (StopRequested()) {
                result = CURLE_ABORTED_BY_CALLBACK;
                break;
            }
            curl_multi_poll(multi, nullptr, 0, kStopPollMs, nullptr);
        }
        curl_multi_remove_handle(multi, m_easy.get());
        if (result == CURLE_ABORTED_BY_CALLBACK)
            m_stopped = true;
        if (result == CURLE_OK)
            return {};
        m_failed = true;
        std::string reason = m_error[0] ? m_error : curl_easy_strerror(result);
        const std::string reply = LastReply();
        if (!reply.empty() && reply[0] >= '4' && reply[0] <= '5')
            reason += " (server: " + reply + ")";
        return Failure{CodeForCurl(result), reason};
    }

    FtpLogin m_login;
    const std::atomic<bool>* m_stop;
    std::shared_ptr<SessionShelf> m_shelf;
    std::unique_ptr<CURL, EasyDeleter> m_easy;
    std::unique_ptr<CURLM, MultiDeleter> m_multi;
    std::string m_loginDirectory;
    std::string m_cwd = "/";
    std::string m_replies;
    char m_error[CURL_ERROR_SIZE] = {};
    bool m_stopped = false;
    bool m_failed = false; // a step failed: the session is not kept
};

class CurlFtpClient final : public FtpClient
{
public:
    Outcome<std::unique_ptr<FtpConnection>> Connect(const FtpLogin& login,
                                                    const std::atomic<bool>* stop) override
    {
        auto connection = std::make_unique<CurlFtpConnection>(login, stop, m_shelf,
                                                              m_shelf->Take(SessionKey(login)));
        const FtpOutcome outcome = connection->Login();
        if (!outcome.Ok())
            return outcome.Error();
        return std::unique_ptr<FtpConnection>(std::move(connection));
    }

    void KeepNextSession() override { m_shelf->Arm(); }

    void DropKeptSession() override
    {
        if (std::optional<KeptSession> kept = m_shelf->Drop())
            LogOut(*kept);
    }

    Outcome<std::unique_ptr<UploadFile>> OpenUpload(const std::string& localPath,
                                                    const std::atomic<bool>* stop) override
    {
        return OpenUploadFile(localPath, stop);
    }

private:
    std::shared_ptr<SessionShelf> m_shelf = std::make_shared<SessionShelf>();
};

} // namespace

Outcome<std::unique_ptr<UploadFile>> OpenUploadFile(const std::string& localPath,
                                                    const std::atomic<bool>* stop)
{
    // O_NONBLOCK: a FIFO under the file's name must not hold the open up; it is refused
    // below as not a plain file.
    UniqueFd fd(::open(localPath.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    struct stat info
    {
    };
    if (!fd.Valid() || ::fstat(fd.Get(), &info) != 0) {
        const int error = errno;
        return Failure{CodeForLocalErrno(error, false),
                       "cannot read " + localPath + ": " + ErrnoText(error)};
    }
    if (!S_ISREG(info.st_mode)) {
        return Failure{kFtpReadFault, localPath + " is not a plain file"};
    }
    char piece[kReadPieceBytes];
    std::uint64_t size = 0;
    for (;;) {
        if (stop && stop->load(std::memory_order_acquire)) {
            return Failure{kFtpCancelled, "the job was asked to stop"};
        }
        const ssize_t n = ::read(fd.Get(), piece, sizeof piece);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            const int error = errno;
            return Failure{CodeForLocalErrno(error, false),
                           "cannot read " + localPath + ": " + ErrnoText(error)};
        }
        if (n == 0)
            break;
        size += static_cast<std::uint64_t>(n);
    }
    return std::make_unique<UploadFile>(localPath, std::move(fd), size);
}

FtpOutcome CheckDownloadFolder(const std::string& folder)
{
    struct stat info
    {
    };
    if (::stat(folder.c_str(), &info) != 0) {
        const int error = errno;
        return Failure{CodeForLocalErrno(error, true), folder + ": " + ErrnoText(error)};
    }
    if (!S_ISDIR(info.st_mode))
        return Failure{kFtpPathNotFound, folder + " is not a folder"};
    if (::access(folder.c_str(), W_OK | X_OK) != 0) {
        const int error = errno;
        return Failure{CodeForLocalErrno(error, true), folder + ": " + ErrnoText(error)};
    }
    return {};
}

std::shared_ptr<FtpClient> MakeCurlFtpClient()
{
    return std::make_shared<CurlFtpClient>();
}

void InitFtpLibrary()
{
    curl_global_init(CURL_GLOBAL_DEFAULT);
}

} // namespace zelvo
