#include "core/LogWriter.h"

#include "platform/Files.h"

#include <cerrno>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <thread>
#include <unistd.h>

namespace zelvo {
namespace {

std::mutex g_pathMutex;
std::string g_logPath;

// How long an append waits for the range it appends. The tool's own writers hold the
// lock for one write() and are waited for; another program (an editor, a backup tool)
// may hold a lock on the log for as long as it likes, and the tool must not hang on its
// log for that: after this long the line is lost, as a line is lost while the log is gone.
constexpr auto kLockPatience = std::chrono::milliseconds(250);
constexpr auto kLockRetryPause = std::chrono::microseconds(500);

// Locks the byte range that the next append will cover. Open-file-description locks
// belong to this open() and not to the process, so two threads of the tool exclude
// each other as two processes do. O_APPEND already makes the single write() land at
// the end as a whole; the lock keeps cooperating readers and writers out of the line.
// False when the range stayed locked by someone else for kLockPatience.
bool LockRange(int fd, short type, off_t length)
{
    struct flock fl = {};
    fl.l_type = type;
    fl.l_whence = SEEK_END;
    fl.l_start = 0;
    fl.l_len = length;
    const auto giveUp = std::chrono::steady_clock::now() + kLockPatience;
    while (::fcntl(fd, F_OFD_SETLK, &fl) < 0) {
        if (errno == EINTR)
            continue;
        if ((errno != EAGAIN && errno != EACCES) || std::chrono::steady_clock::now() >= giveUp)
            return false;
        std::this_thread::sleep_for(kLockRetryPause);
    }
    return true;
}

} // namespace

void LogWriter::SetLogPath(const std::string& path)
{
    std::lock_guard lock(g_pathMutex);
    g_logPath = path;
}

std::string LogWriter::LogPath()
{
    std::lock_guard lock(g_pathMutex);
    return g_logPath;
}

bool LogWriter::CreateEmpty()
{
    const std::string path = LogPath();
    return !path.empty() && CreateEmptyFile(path);
}

int LogWriter::Append(const char* text)
{
    const std::string path = LogPath();
    if (path.empty() || text == nullptr)
        return 0;
    // No O_CREAT: a log deleted while the tool runs is not recreated. O_NOFOLLOW: a log
    // replaced by a link is not written through it.
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0)
        return 0;
    const std::size_t n = std::strlen(text);
    if (!LockRange(fd, F_WRLCK, static_cast<off_t>(n))) {
        ::close(fd);
        return 1; // opened, but the line is lost
    }
    std::size_t done = 0;
    while (done < n) {
        const ssize_t w = ::write(fd, text + done, n - done);
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0)
            break;
        done += static_cast<std::size_t>(w);
    }
    LockRange(fd, F_UNLCK, 0);
    ::close(fd);
    return 1;
}

int LogWriter::Appendf(const char* format, ...)
{
    char line[kLineBuffer];
    va_list args;
    va_start(args, format);
    const int wanted = std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    if (wanted < 0)
        return 0;
    if (static_cast<std::size_t>(wanted) >= sizeof line) {
        // Cut. Keep the line a line when the caller ended it in CR LF.
        const std::size_t flen = std::strlen(format);
        if (flen >= 2 && format[flen - 2] == '\r' && format[flen - 1] == '\n') {
            line[sizeof line - 3] = '\r';
            line[sizeof line - 2] = '\n';
        }
    }
    return Append(line);
}

} // namespace zelvo
