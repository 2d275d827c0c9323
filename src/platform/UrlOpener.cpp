#include "platform/UrlOpener.h"

#include <cerrno>
#include <csignal>
#include <spawn.h>
#include <sys/wait.h>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace zelvo {

SpawnUrlOpener::SpawnUrlOpener(std::string program) : m_program(std::move(program)) {}

namespace {

// The child must not inherit the tool's blocked signals or ignored SIGPIPE, and it
// gets a session of its own so that closing the tool's terminal leaves the browser be.
bool PrepareAttributes(posix_spawnattr_t& attr)
{
    if (posix_spawnattr_init(&attr) != 0)
        return false;
    sigset_t none;
    sigset_t all;
    sigemptyset(&none);
    sigfillset(&all);
    sigdelset(&all, SIGKILL);
    sigdelset(&all, SIGSTOP);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &all);
    posix_spawnattr_setflags(&attr,
                             POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSID);
    return true;
}

void ReapWhenDone(pid_t pid)
{
    try {
        std::thread([pid] {
            int status = 0;
            while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
            }
        }).detach();
    } catch (const std::system_error&) {
        // No thread to spare: the finished child stays a zombie until the tool ends,
        // which costs one process-table slot and nothing else.
    }
}

} // namespace

bool SpawnUrlOpener::Open(const std::string& url)
{
    posix_spawnattr_t attr;
    if (!PrepareAttributes(attr))
        return false;
    std::vector<char> program(m_program.begin(), m_program.end());
    program.push_back('\0');
    std::vector<char> argument(url.begin(), url.end());
    argument.push_back('\0');
    char* argv[] = {program.data(), argument.data(), nullptr};

    pid_t pid = 0;
    const int rc = posix_spawnp(&pid, program.data(), nullptr, &attr, argv, environ);
    posix_spawnattr_destroy(&attr);
    if (rc != 0)
        return false;
    ReapWhenDone(pid);
    return true;
}

UrlOpener& SystemUrlOpener()
{
    static SpawnUrlOpener opener("xdg-open");
    return opener;
}

bool RunningAsRoot()
{
    return ::geteuid() == 0;
}

} // namespace zelvo
