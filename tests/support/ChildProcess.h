#pragma once
#include "support/WaitUntil.h"

#include <chrono>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace zelvo::test {

// A child process started without a shell, for tests that run the real tool.
class ChildProcess
{
public:
    ChildProcess() = default;
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    ~ChildProcess(); // kills and reaps a child that still runs

    // argv[0] is looked up in PATH; env entries "NAME=value" are added to this process's
    // environment. Output and errors go to outputPath when given; 127: not started.
    bool Start(const std::vector<std::string>& argv, const std::vector<std::string>& env = {},
               const std::string& outputPath = {});
    // The exit status once the child has ended within timeout, else nullopt. A child
    // ended by a signal gives 128 + the signal number.
    std::optional<int> WaitFor(std::chrono::milliseconds timeout);
    bool Running();
    void Kill(int signal);
    pid_t Pid() const { return m_pid; }

private:
    pid_t m_pid = -1;
    std::optional<int> m_status;
};

// The command prefix that runs a program in a new, empty network namespace (only a
// loopback device that is down), so the real tool sends nothing to any real network:
// {"unshare", "--net", "--"} as root, {"unshare", "-rn", "--"} where user namespaces
// work, or an empty optional with the reason in *why.
std::optional<std::vector<std::string>> IsolatedNetworkPrefix(std::string* why);

} // namespace zelvo::test
