#pragma once
#include "platform/FtpClient.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace zelvo::test {

// An FTP world in memory: directories of names, failures by step kind ("stor") or kind and
// argument ("dele a.fup"), and a transcript of the steps ("cwd /config"; "open PATH" reads
// an upload's local file). A store that fails but not as a refusal (kFtpExtendedError) leaves
// its name, as a cut-off one does; an aborted, timed-out or cancelled step ends its connection.
// A kept session (KeepNextSession) is taken over by the next Connect without a login step.
class FakeFtp final : public FtpClient
{
public:
    std::map<std::string, std::vector<std::string>> directories;
    std::map<std::string, int> failures;
    // Takes the connection, never greets: Connect waits for the stop or the silence limit.
    bool silentServer = false;
    std::atomic<int> lastSilenceLimitSeconds{0};

    std::vector<std::string> Steps() const
    {
        std::lock_guard lock(m_mutex);
        return m_steps;
    }

    Outcome<std::unique_ptr<FtpConnection>> Connect(const FtpLogin& login,
                                                    const std::atomic<bool>* stop) override
    {
        lastSilenceLimitSeconds = login.silenceLimitSeconds;
        if (m_sessionKept.exchange(false))
            return std::unique_ptr<FtpConnection>(std::make_unique<Connection>(*this));
        const int code = Step("login", login.user + " " + login.password + " " + login.agent);
        if (silentServer) {
            const auto until =
                std::chrono::steady_clock::now() + std::chrono::seconds(login.silenceLimitSeconds);
            while (!(stop && stop->load()) && std::chrono::steady_clock::now() < until)
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            return stop && stop->load() ? Failure{kFtpCancelled, "stopped"}
                                        : Failure{kFtpTimeout, "server response timeout"};
        }
        if (code)
            return Failure{code, "530 Login incorrect."};
        return std::unique_ptr<FtpConnection>(std::make_unique<Connection>(*this));
    }

    Outcome<std::unique_ptr<UploadFile>> OpenUpload(const std::string& localPath,
                                                    const std::atomic<bool>*) override
    {
        if (const int code = Step("open", localPath))
            return Failure{code, "cannot read " + localPath};
        return std::make_unique<UploadFile>(localPath, UniqueFd(), 0);
    }

    void KeepNextSession() override { m_keepArmed = true; }
    void DropKeptSession() override { m_keepArmed = m_sessionKept = false; }
    // Asked to keep the next session, or holding one.
    bool Keeping() const { return m_keepArmed || m_sessionKept; }

private:
    class Connection final : public FtpConnection
    {
    public:
        explicit Connection(FakeFtp& world) : m_world(world) {}
        ~Connection() override
        {
            if (m_world.m_keepArmed.exchange(false))
                m_world.m_sessionKept = !m_failed;
        }
        Outcome<std::string> CurrentDirectory() override
        {
            if (const int code = Run("pwd", ""))
                return Failure{code, "pwd failed"};
            return m_cwd;
        }
        FtpOutcome ChangeDirectory(const std::string& directory) override
        {
            const int code = Run("cwd", directory);
            m_cwd = code ? m_cwd : directory;
            return Said(code, "550 Failed to change directory.");
        }
        Outcome<std::vector<std::string>> ListNames() override
        {
            if (const int code = Run("list", m_cwd))
                return Failure{code, "list failed"};
            std::lock_guard lock(m_world.m_mutex);
            return m_world.directories[m_cwd];
        }
        FtpOutcome Retrieve(const std::string& remoteName, const std::string& localPath) override
        {
            return Said(Run("retr", remoteName + " " + localPath), "retr failed");
        }
        FtpOutcome Store(const UploadFile& file, const std::string& remoteName,
                         bool& began) override
        {
            const bool reached = m_broken == kFtpOk;
            const int code = Run("stor", file.Path() + " " + remoteName);
            began = reached && code != kFtpExtendedError;
            std::lock_guard lock(m_world.m_mutex);
            auto& names = m_world.directories[m_cwd];
            if (began && std::ranges::count(names, remoteName) == 0)
                names.push_back(remoteName);
            return Said(code, "stor failed");
        }
        FtpOutcome Rename(const std::string& from, const std::string& to) override
        {
            const int code = Run("rename", from + " " + to);
            std::lock_guard lock(m_world.m_mutex);
            auto& names = m_world.directories[m_cwd];
            if (!code) {
                std::erase(names, to);
                std::ranges::replace(names, from, to);
            }
            return Said(code, "502 RNFR not implemented.");
        }
        FtpOutcome Delete(const std::string& remoteName) override
        {
            int code = Run("dele", remoteName);
            std::lock_guard lock(m_world.m_mutex);
            if (!code && std::erase(m_world.directories[m_cwd], remoteName) == 0)
                code = kFtpExtendedError;
            return Said(code, "550 Delete operation failed.");
        }

    private:
        static FtpOutcome Said(int code, const char* reason)
        {
            return code ? FtpOutcome(Failure{code, reason}) : FtpOutcome();
        }
        int Run(const std::string& kind, const std::string& argument)
        {
            if (m_broken != kFtpOk)
                return m_broken;
            const int code = m_world.Step(kind, argument);
            m_failed = m_failed || code != kFtpOk;
            if (code == kFtpConnectionAborted || code == kFtpTimeout || code == kFtpCancelled)
                m_broken = code;
            return code;
        }

        FakeFtp& m_world;
        std::string m_cwd = "/";
        int m_broken = kFtpOk;
        bool m_failed = false;
    };

    int Step(const std::string& kind, const std::string& argument)
    {
        const std::string step = argument.empty() ? kind : kind + " " + argument;
        std::lock_guard lock(m_mutex);
        m_steps.push_back(step);
        const auto failure = failures.count(step) ? failures.find(step) : failures.find(kind);
        return failure == failures.end() ? 0 : failure->second;
    }

    mutable std::mutex m_mutex;
    std::vector<std::string> m_steps;
    std::atomic<bool> m_keepArmed{false};
    std::atomic<bool> m_sessionKept{false};
};

} // namespace zelvo::test
