#include "platform/CapturedCommand.h"

#include "platform/WaitReadable.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace zelvo {
namespace {

// Waits for the child until the deadline, then kills it; returns its exit code or -1.
int Reap(pid_t pid, const Clock& clock, int64_t deadline)
{
    int status = 0;
    for (;;) {
        const pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid)
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        if (done < 0 && errno != EINTR)
            return -1;
        if (clock.MonotonicMs() >= deadline) {
            ::kill(pid, SIGKILL);
            while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
            }
            return -1;
        }
        clock.SleepMs(10);
    }
}

} // namespace

std::optional<CommandOutput> RunAndCapture(const std::vector<std::string>& argv, int timeoutMs,
                                           std::size_t maxBytes)
{
    if (argv.empty())
        return std::nullopt;
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0)
        return std::nullopt;

    std::vector<char*> args;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    std::vector<std::string> envText;
    for (char** e = environ; e && *e; ++e)
        if (std::strncmp(*e, "LC_ALL=", 7) != 0 && std::strncmp(*e, "LANG=", 5) != 0)
            envText.emplace_back(*e);
    envText.emplace_back("LC_ALL=C");
    std::vector<char*> env;
    for (std::string& e : envText)
        env.push_back(e.data());
    env.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int spawned = ::posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), env.data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeFds[1]);
    if (spawned != 0) {
        ::close(pipeFds[0]);
        return std::nullopt;
    }

    const Clock& clock = SystemClock();
    const int64_t deadline = DeadlineAfter(clock, timeoutMs);
    CommandOutput result;
    char buffer[4096];
    for (;;) {
        if (!IsReady(WaitReadable(pipeFds[0], {clock, deadline})))
            break;
        const ssize_t n = ::read(pipeFds[0], buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        const std::size_t room = maxBytes - result.standardOutput.size();
        result.standardOutput.append(buffer, std::min(room, static_cast<std::size_t>(n)));
    }
    ::close(pipeFds[0]);
    result.exitStatus = Reap(pid, clock, deadline);
    return result;
}

} // namespace zelvo
