#include "platform/Files.h"

#include <cerrno>
#include <fcntl.h>
#include <limits.h>
#include <unistd.h>

namespace zelvo {

std::optional<std::string> ReadSmallFile(const std::string& path, std::size_t maxBytes)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    std::string data(maxBytes, '\0');
    std::size_t got = 0;
    while (got < maxBytes) {
        const ssize_t n = ::read(fd, data.data() + got, maxBytes - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            ::close(fd);
            return std::nullopt;
        }
        if (n == 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    ::close(fd);
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

bool CreateEmptyFile(const std::string& path)
{
    // O_NOFOLLOW: a link planted in the tool's folder must not make us truncate, or
    // create, a file somewhere else with our rights.
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0)
        return false;
    ::close(fd);
    return true;
}

} // namespace zelvo

namespace zelvo {

std::string CurrentDirectory()
{
    char path[PATH_MAX];
    return ::getcwd(path, sizeof path) ? std::string(path) : std::string();
}

} // namespace zelvo
