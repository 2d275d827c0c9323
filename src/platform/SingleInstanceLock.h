#pragma once
#include <string>

namespace zelvo {

enum class InstanceCheck
{
    First,          // this process holds the guard for its whole life
    AlreadyRunning, // another process holds it
    Unguarded,      // the guard could not be made; start as the first instance anyway
};

// The single-instance guard: an exclusive flock on a lock file named after the guard's
// name, mode 0600, held open until the process ends (a killed process releases it with
// its descriptors). The file lives in a place of this account's own: $XDG_RUNTIME_DIR,
// else /run/user/<uid>, else a folder of its own in /tmp (see PrivateLockDirectory);
// directory overrides that for tests. A lock file that is a link, not a regular file or
// owned by another account is not used: another account could otherwise keep every
// start from running. Unguarded then says why in *why (when given).
InstanceCheck AcquireInstanceLock(const std::string& name, const std::string& directory = {},
                                  std::string* why = nullptr);

// Where the lock file of name lives; empty (and *why says why) when no place of this
// account's own could be had.
std::string InstanceLockPath(const std::string& name, const std::string& directory = {},
                             std::string* why = nullptr);

// base/<name>-<uid>, made with mode 0700 when missing. Empty (and *why says why) when it
// is not a directory, belongs to another account or is open to others: in a shared
// base such as /tmp, anyone may have made the name first.
std::string PrivateLockDirectory(const std::string& base, const std::string& name,
                                 std::string* why = nullptr);

} // namespace zelvo
