#include "core/LogWriter.h"

#include "core/OutsideText.h"
#include "platform/Files.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <optional>
#include <unistd.h>

namespace zelvo {
namespace {

std::mutex g_pathMutex;
std::string g_logPath;

// The tool's own writers take turns here, each for one open, write and close, so they
// never meet at the file lock below: a lock that cannot be had at once is then always
// another program's (an editor, a backup tool), which may keep it for as long as it
// likes. Such a lock is never waited for, or the window would hang on its log.
std::mutex g_appendMutex;

// Tries once to lock the byte range the next append will cover, [end, end + length).
// Open-file-description locks belong to this open() and not to the process. O_APPEND
// already makes the single write() land at the end as a whole; the lock keeps
// cooperating readers and writers out of the line. The range comes back so that the
// unlock covers exactly what was locked; nullopt when another program holds it.
std::optional<struct flock> TryLockAppendRange(int fd, off_t length)
{
    struct flock range = {};
    range.l_type = F_WRLCK;
    range.l_whence = SEEK_SET;
    range.l_start = ::lseek(fd, 0, SEEK_END);
    range.l_len = length;
    if (range.l_start < 0)
        return std::nullopt;
    int result;
    do {
        result = ::fcntl(fd, F_OFD_SETLK, &range);
    } while (result < 0 && errno == EINTR);
    if (result < 0)
        return std::nullopt;
    return range;
}

void UnlockRange(int fd, struct flock range)
{
    range.l_type = F_UNLCK;
    while (::fcntl(fd, F_OFD_SETLK, &range) < 0 && errno == EINTR) {
    }
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
    // Never created here: a log deleted while the tool runs is not recreated. A log
    // replaced by a link, a FIFO or a device is not written (nor waited for).
    const int fd = OpenRegularFileToAppend(path);
    if (fd < 0)
        return 0;
    // Lines carry texts from outside the tool (a server's reply): their control
    // characters must not reach whoever reads the log in a terminal.
    const std::string line = EscapedOutsideText(text, OutsideTextUse::LogLine);
    const std::size_t n = line.size();
    std::lock_guard turn(g_appendMutex);
    const std::optional<struct flock> locked = TryLockAppendRange(fd, static_cast<off_t>(n));
    if (!locked) {
        ::close(fd);
        return 1; // opened, but the line is lost, as while the log is deleted
    }
    std::size_t done = 0;
    while (done < n) {
        const ssize_t w = ::write(fd, line.data() + done, n - done);
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0)
            break;
        done += static_cast<std::size_t>(w);
    }
    UnlockRange(fd, *locked);
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
