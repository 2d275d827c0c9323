#include "support/ChildProcess.h"

#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace zelvo::test {

ChildProcess::~ChildProcess()
{
    if (m_pid > 0 && !m_status) {
        ::kill(m_pid, SIGKILL);
        int status = 0;
        ::waitpid(m_pid, &status, 0);
    }
}

bool ChildProcess::Start(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                         const std::string& outputPath)
{
    std::map<std::string, std::string> vars;
    for (char** e = environ; *e; ++e) {
        const std::string entry(*e);
        vars[entry.substr(0, entry.find('='))] = entry;
    }
    for (const std::string& entry : env)
        vars[entry.substr(0, entry.find('='))] = entry;
    std::vector<std::string> envStrings;
    for (auto& [name, entry] : vars)
        envStrings.push_back(entry);
    std::vector<char*> envp;
    for (auto& s : envStrings)
        envp.push_back(s.data());
    envp.push_back(nullptr);
    std::vector<std::string> args = argv;
    std::vector<char*> argp;
    for (auto& s : args)
        argp.push_back(s.data());
    argp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (!outputPath.empty()) {
        posix_spawn_file_actions_addopen(&actions, 1, outputPath.c_str(),
                                         O_WRONLY | O_CREAT | O_APPEND, 0644);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
    }
    const int rc = ::posix_spawnp(&m_pid, argp[0], &actions, nullptr, argp.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    m_status.reset();
    if (rc != 0)
        m_pid = -1;
    return rc == 0;
}

std::optional<int> ChildProcess::WaitFor(std::chrono::milliseconds timeout)
{
    if (m_status || m_pid <= 0)
        return m_status;
    WaitUntil(timeout, [this] {
        int status = 0;
        const pid_t r = ::waitpid(m_pid, &status, WNOHANG);
        if (r == m_pid)
            m_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        return m_status.has_value();
    });
    return m_status;
}

bool ChildProcess::Running()
{
    return m_pid > 0 && !WaitFor(std::chrono::milliseconds(0));
}

void ChildProcess::Kill(int signal)
{
    if (m_pid > 0 && !m_status)
        ::kill(m_pid, signal);
}

std::optional<std::vector<std::string>> IsolatedNetworkPrefix(std::string* why)
{
    const std::vector<std::vector<std::string>> candidates = {
        {"unshare", "--net", "--"},
        {"unshare", "-rn", "--"},
    };
    for (const auto& prefix : candidates) {
        std::vector<std::string> argv = prefix;
        argv.push_back("true");
        ChildProcess probe;
        if (probe.Start(argv, {}, "/dev/null") && probe.WaitFor(std::chrono::seconds(10)) == 0)
            return prefix;
    }
    if (why)
        *why = "cannot make a network namespace (needs root or user namespaces); the real tool "
               "is only started where it cannot reach a real network";
    return std::nullopt;
}

} // namespace zelvo::test
