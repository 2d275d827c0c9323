#include "platform/SingleInstanceLock.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace zelvo {

std::string InstanceLockPath(const std::string& name, const std::string& directory)
{
    if (!directory.empty())
        return directory + "/" + name + ".lock";
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime)
        return std::string(runtime) + "/" + name + ".lock";
    return "/tmp/" + name + "-" + std::to_string(::getuid()) + ".lock";
}

InstanceCheck AcquireInstanceLock(const std::string& name, const std::string& directory)
{
    const std::string path = InstanceLockPath(name, directory);
    // O_NOFOLLOW: /tmp is shared, a link planted there must not make us open another file.
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
        return InstanceCheck::Unguarded;
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
        return InstanceCheck::First; // fd stays open on purpose: the lock lives with us
    const int err = errno;
    ::close(fd);
    return err == EWOULDBLOCK ? InstanceCheck::AlreadyRunning : InstanceCheck::Unguarded;
}

} // namespace zelvo
