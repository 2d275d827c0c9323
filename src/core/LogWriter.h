#pragma once
#include <cstddef>
#include <string>

namespace zelvo {

// manager.log: plain 8-bit lines ending in "\r\n", appended whole.
//
// Thread safety: Append and Appendf may be called from any thread at any time. Each
// call opens the file, locks the range it appends, writes the line with one write()
// on the O_APPEND file and closes it again, so nothing is buffered between calls and
// writers of the same moment never interleave inside a line; the tool's own threads take
// turns, and a lock held by another program is never waited for. SetLogPath is called
// by the start-up survey before any worker exists.
class LogWriter
{
public:
    // One formatted line holds at most this many bytes, its terminating zero included.
    static constexpr std::size_t kLineBuffer = 260;

    static void SetLogPath(const std::string& path);
    static std::string LogPath();

    // Creates the log empty (the start of a run). False when it cannot be created; the
    // lines of the run are then lost without a message.
    static bool CreateEmpty();

    // Appends text (the caller includes "\r\n") with its control characters other than
    // tabs and CR LF line ends escaped as text from outside the tool (EscapedOutsideText,
    // LogLine). 1 when the file could be opened, 0 when not, or when the log is not a
    // regular file (a FIFO, a device): the line is lost silently. The log is never recreated here,
    // so a log deleted while the tool runs stays away until the next start. When another
    // program holds a lock on the end of the log, the line is lost at once (still 1):
    // no caller ever waits for the log.
    static int Append(const char* text);

    // Formats into a buffer of kLineBuffer bytes and appends. A line that does not fit
    // is cut; a cut line that was meant to end in "\r\n" still ends in it.
    static int Appendf(const char* format, ...) __attribute__((format(printf, 1, 2)));
};

} // namespace zelvo
