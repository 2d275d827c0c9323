#include "platform/Files.h"

#include "platform/UniqueFd.h"

#include <cerrno>
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zelvo {

std::optional<std::string> ReadSmallFile(const std::string& path, std::size_t maxBytes)
{
    const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd.Valid())
        return std::nullopt;
    std::string data(maxBytes, '\0');
    std::size_t got = 0;
    while (got < maxBytes) {
        const ssize_t n = ::read(fd.Get(), data.data() + got, maxBytes - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return std::nullopt;
        if (n == 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    data.resize(got);
    return data;
}

std::string ModulePath()
{
    char buf[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0)
        return {};
    return std::string(buf, static_cast<std::size_t>(n));
}

namespace {

// Opens path without following a link and without waiting (a FIFO without its other end,
// a device), and keeps the descriptor only for a regular file. O_NOCTTY: a terminal in
// the file's place must not become the tool's.
int OpenRegular(const std::string& path, int flags, mode_t mode = 0)
{
    UniqueFd fd(::open(path.c_str(), flags | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY, mode));
    struct stat st = {};
    if (!fd.Valid() || ::fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode))
        return -1;
    return fd.Release();
}

} // namespace

bool CreateEmptyFile(const std::string& path)
{
    // O_NOFOLLOW: a link planted in the tool's folder must not make us truncate, or
    // create, a file somewhere else with our rights. The length is cut only once the
    // file is known to be a regular one.
    const UniqueFd fd(OpenRegular(path, O_RDWR | O_CREAT, 0644));
    return fd.Valid() && ::ftruncate(fd.Get(), 0) == 0;
}

int OpenRegularFileToAppend(const std::string& path)
{
    return OpenRegular(path, O_WRONLY | O_APPEND);
}

} // namespace zelvo

namespace zelvo {

std::string CurrentDirectory()
{
    char path[PATH_MAX];
    return ::getcwd(path, sizeof path) ? std::string(path) : std::string();
}

} // namespace zelvo
