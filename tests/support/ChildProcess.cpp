#include "support/ChildProcess.h"

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace zelvo::test {

ChildProcess::~ChildProcess()
{
    if (m_pid > 0 && !m_status) {
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, nullptr, 0);
    }
}

bool ChildProcess::Start(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                         const std::string& outputPath)
{
    std::vector<std::string> vars = env; // putenv keeps them: copies made before the fork
    std::vector<char*> args;
    for (const std::string& arg : argv)
        args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    m_status.reset();
    m_pid = ::fork();
    if (m_pid == 0) {
        for (std::string& var : vars)
            ::putenv(var.data());
        const int out =
            outputPath.empty()
                ? -1
                : ::open(outputPath.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        if (out >= 0 && (::dup2(out, 1) < 0 || ::dup2(out, 2) < 0))
            ::_exit(126);
        ::execvp(args[0], args.data());
        ::_exit(127);
    }
    return m_pid > 0;
}

std::optional<int> ChildProcess::WaitFor(std::chrono::milliseconds timeout)
{
    if (m_status || m_pid <= 0)
        return m_status;
    WaitUntil(timeout, [this] {
        int status = 0;
        if (::waitpid(m_pid, &status, WNOHANG) == m_pid)
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
    for (std::vector<std::string> prefix :
         {std::vector<std::string>{"unshare", "--net", "--"}, {"unshare", "-rn", "--"}}) {
        ChildProcess probe;
        prefix.push_back("true");
        if (probe.Start(prefix, {}, "/dev/null") && probe.WaitFor(std::chrono::seconds(10)) == 0) {
            prefix.pop_back();
            return prefix;
        }
    }
    if (why)
        *why = "cannot make a network namespace (needs root or user namespaces); the real tool "
               "is only started where it cannot reach a real network";
    return std::nullopt;
}

} // namespace zelvo::test
