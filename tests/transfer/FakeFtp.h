#pragma once
#include "platform/FtpClient.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace zelvo::test {

// An FTP world in memory: directories of names, failures by step, and a transcript of
// the steps the jobs took ("cwd /config", "dele a.fup", ...). Steps may be failed by
// kind ("stor") or by kind and argument ("dele a.fup").
class FakeFtp final : public FtpClient
{
public:
    int loginCode = kFtpOk;
    std::map<std::string, std::vector<std::string>> directories{{"/", {}}};
    std::map<std::string, int> failures;
    // Called on the job's thread inside Retrieve and Store (to hold a job up).
    std::function<void()> duringTransfer;
    // The stop flag of the last connection made.
    std::atomic<const std::atomic<bool>*> lastStop{nullptr};
    // A server that takes the connection and never greets: Connect waits, in real time,
    // for the stop flag or the login's silence limit, as the real client does.
    bool silentServer = false;
    std::atomic<int> lastSilenceLimitSeconds{0};

    std::vector<std::string> Steps() const
    {
        std::lock_guard lock(m_mutex);
        return m_steps;
    }
    bool Has(const std::string& directory, const std::string& name) const
    {
        std::lock_guard lock(m_mutex);
        const auto it = directories.find(directory);
        if (it == directories.end())
            return false;
        for (const auto& n : it->second)
            if (n == name)
                return true;
        return false;
    }

    std::unique_ptr<FtpConnection> Connect(const FtpLogin& login, const std::atomic<bool>* stop,
                                           FtpOutcome& outcome) override
    {
        lastStop = stop;
        lastSilenceLimitSeconds = login.silenceLimitSeconds;
        Record("login " + login.user + " " + login.password + " " + login.agent);
        if (silentServer) {
            const auto until =
                std::chrono::steady_clock::now() + std::chrono::seconds(login.silenceLimitSeconds);
            while (!(stop && stop->load()) && std::chrono::steady_clock::now() < until)
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            outcome = stop && stop->load() ? FtpOutcome{kFtpCancelled, "stopped"}
                                           : FtpOutcome{kFtpTimeout, "server response timeout"};
            return nullptr;
        }
        if (loginCode != kFtpOk) {
            outcome = {loginCode, "530 Login incorrect."};
            return nullptr;
        }
        outcome = {};
        return std::make_unique<Connection>(*this);
    }

private:
    class Connection final : public FtpConnection
    {
    public:
        explicit Connection(FakeFtp& world) : m_world(world) {}
        FtpOutcome CurrentDirectory(std::string& directory) override
        {
            if (int code = m_world.Step("pwd", ""))
                return {code, "pwd failed"};
            directory = m_cwd;
            return {};
        }
        FtpOutcome ChangeDirectory(const std::string& directory) override
        {
            if (int code = m_world.Step("cwd", directory))
                return {code, "550 Failed to change directory."};
            std::lock_guard lock(m_world.m_mutex);
            if (!m_world.directories.count(directory))
                return {kFtpExtendedError, "550 Failed to change directory."};
            m_cwd = directory;
            return {};
        }
        FtpOutcome ListNames(std::vector<std::string>& names) override
        {
            if (int code = m_world.Step("list", m_cwd))
                return {code, "list failed"};
            std::lock_guard lock(m_world.m_mutex);
            names = m_world.directories[m_cwd];
            return {};
        }
        FtpOutcome Retrieve(const std::string& remoteName, const std::string& localPath) override
        {
            if (m_world.duringTransfer)
                m_world.duringTransfer();
            if (int code = m_world.Step("retr", remoteName + " " + localPath))
                return {code, "retr failed"};
            return {};
        }
        FtpOutcome Store(const std::string& localPath, const std::string& remoteName) override
        {
            if (m_world.duringTransfer)
                m_world.duringTransfer();
            if (int code = m_world.Step("stor", localPath + " " + remoteName))
                return {code, "stor failed"};
            std::lock_guard lock(m_world.m_mutex);
            m_world.directories[m_cwd].push_back(remoteName);
            return {};
        }
        FtpOutcome Delete(const std::string& remoteName) override
        {
            if (int code = m_world.Step("dele", remoteName))
                return {code, "550 Delete operation failed."};
            std::lock_guard lock(m_world.m_mutex);
            auto& names = m_world.directories[m_cwd];
            std::erase(names, remoteName);
            return {};
        }

    private:
        FakeFtp& m_world;
        std::string m_cwd = "/";
    };

    void Record(const std::string& step)
    {
        std::lock_guard lock(m_mutex);
        m_steps.push_back(step);
    }
    // Records the step and returns its failure, 0 for none.
    int Step(const std::string& kind, const std::string& argument)
    {
        const std::string step = argument.empty() ? kind : kind + " " + argument;
        std::lock_guard lock(m_mutex);
        m_steps.push_back(step);
        const auto exact = failures.find(step);
        if (exact != failures.end())
            return exact->second;
        const auto byKind = failures.find(kind);
        return byKind == failures.end() ? 0 : byKind->second;
    }

    mutable std::mutex m_mutex;
    std::vector<std::string> m_steps;
};

} // namespace zelvo::test
