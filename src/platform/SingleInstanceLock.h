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
// name, held open until the process ends (a killed process releases it with its
// descriptors). The file is in $XDG_RUNTIME_DIR, else in /tmp with the user id in its
// name; directory overrides that for tests.
InstanceCheck AcquireInstanceLock(const std::string& name, const std::string& directory = {});

// Where the lock file of name lives.
std::string InstanceLockPath(const std::string& name, const std::string& directory = {});

} // namespace zelvo
