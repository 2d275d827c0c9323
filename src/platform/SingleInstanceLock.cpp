#include "platform/SingleInstanceLock.h"

#include "platform/ErrnoText.h"
#include "platform/UniqueFd.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zelvo {
namespace {

std::string Owned(const char* what, const std::string& path, const struct stat& st)
{
    return std::string(what) + " " + path + " belongs to uid " + std::to_string(st.st_uid) +
           ", not to uid " + std::to_string(::geteuid());
}

std::string Failed(const char* step, const std::string& path, int error)
{
    return std::string(step) + " " + path + ": " + ErrnoText(error);
}

// /run/user/<uid>, the runtime directory a login session gets, also when the variable
// that names it was not passed on (su, sudo -u). Empty when it is not there or not ours.
std::string SessionRuntimeDirectory()
{
    const std::string path = "/run/user/" + std::to_string(::geteuid());
    struct stat st = {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid())
        return {};
    return path;
}

} // namespace

std::string PrivateLockDirectory(const std::string& base, const std::string& name, std::string* why)
{
    const std::string path = base + "/" + name + "-" + std::to_string(::geteuid());
    if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) {
        if (why)
            *why = Failed("cannot make", path, errno);
        return {};
    }
    // In a shared /tmp another account may have made this name first, or planted a link.
    struct stat st = {};
    if (::lstat(path.c_str(), &st) != 0) {
        if (why)
            *why = Failed("cannot examine", path, errno);
        return {};
    }
    if (!S_ISDIR(st.st_mode)) {
        if (why)
            *why = path + " is not a directory";
        return {};
    }
    if (st.st_uid != ::geteuid()) {
        if (why)
            *why = Owned("the directory", path, st);
        return {};
    }
    if ((st.st_mode & 0077) != 0) {
        if (why)
            *why = path + " is open to other accounts";
        return {};
    }
    return path;
}

std::string InstanceLockPath(const std::string& name, const std::string& directory,
                             std::string* why)
{
    if (!directory.empty())
        return directory + "/" + name + ".lock";
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime)
        return std::string(runtime) + "/" + name + ".lock";
    if (const std::string session = SessionRuntimeDirectory(); !session.empty())
        return session + "/" + name + ".lock";
    const std::string own = PrivateLockDirectory("/tmp", name, why);
    return own.empty() ? std::string() : own + "/" + name + ".lock";
}

InstanceCheck AcquireInstanceLock(const std::string& name, const std::string& directory,
                                  std::string* why)
{
    const std::string path = InstanceLockPath(name, directory, why);
    if (path.empty())
        return InstanceCheck::Unguarded;
    // O_NOFOLLOW: a link planted in the lock's place must not make us open another file.
    // O_NONBLOCK: a FIFO planted there must not hold the start.
    UniqueFd fd(::open(path.c_str(),
                       O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY, 0600));
    if (!fd.Valid()) {
        if (why)
            *why =
                Failed(errno == ELOOP ? "a symbolic link stands at" : "cannot open", path, errno);
        return InstanceCheck::Unguarded;
    }
    // A lock file that someone else made is theirs to hold for ever: not ours to trust.
    struct stat st = {};
    if (::fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid()) {
        if (why)
            *why = S_ISREG(st.st_mode) ? Owned("the lock file", path, st)
                                       : path + " is not a regular file";
        return InstanceCheck::Unguarded;
    }
    if (::flock(fd.Get(), LOCK_EX | LOCK_NB) == 0) {
        fd.Release(); // stays open on purpose: the lock lives with us
        return InstanceCheck::First;
    }
    const int err = errno;
    fd.Reset();
    if (err == EWOULDBLOCK)
        return InstanceCheck::AlreadyRunning;
    if (why)
        *why = Failed("cannot lock", path, err);
    return InstanceCheck::Unguarded;
}

} // namespace zelvo
