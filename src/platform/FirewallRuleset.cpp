#include "platform/FirewallRuleset.h"

#include "platform/CapturedCommand.h"
#include "platform/Files.h"

#include <cctype>
#include <dirent.h>
#include <unistd.h>

namespace zelvo {
namespace {

constexpr int kNftTimeoutMs = 3000;
constexpr std::size_t kMaxRulesetBytes = 8 * 1024 * 1024;

std::string NftPath()
{
    for (const char* path : {"/usr/sbin/nft", "/sbin/nft"})
        if (::access(path, X_OK) == 0)
            return path;
    return "nft";
}

bool ProcessNamed(const std::string& name)
{
    DIR* proc = ::opendir("/proc");
    if (!proc)
        return false;
    bool found = false;
    while (const dirent* entry = ::readdir(proc)) {
        if (!std::isdigit(static_cast<unsigned char>(entry->d_name[0])))
            continue;
        const auto comm = ReadSmallFile(std::string("/proc/") + entry->d_name + "/comm", 64);
        if (comm && (*comm == name + "\n" || *comm == name)) {
            found = true;
            break;
        }
    }
    ::closedir(proc);
    return found;
}

bool UfwEnabled()
{
    const auto conf = ReadSmallFile("/etc/ufw/ufw.conf", 64 * 1024);
    if (!conf)
        return false;
    std::size_t pos = 0;
    while (pos < conf->size()) {
        const std::size_t end = conf->find('\n', pos);
        std::string line = conf->substr(pos, end == std::string::npos ? end : end - pos);
        pos = end == std::string::npos ? conf->size() : end + 1;
        line.erase(0, line.find_first_not_of(" \t"));
        if (line.rfind("ENABLED=", 0) == 0) {
            std::string value = line.substr(8);
            value.erase(value.find_last_not_of(" \t\r") + 1);
            if (value.size() >= 2 && (value.front() == '"' || value.front() == '\''))
                value = value.substr(1, value.size() - 2);
            return value == "yes";
        }
    }
    return false;
}

} // namespace

FirewallRuleset ReadFirewallRuleset()
{
    FirewallRuleset result;
    result.root = ::geteuid() == 0;
    result.firewalldRunning = ProcessNamed("firewalld");
    result.ufwEnabled = UfwEnabled();
    const auto output =
        RunAndCapture({NftPath(), "-j", "list", "ruleset"}, kNftTimeoutMs, kMaxRulesetBytes);
    if (!output) {
        result.status = RulesetRead::NftMissing;
        return result;
    }
    if (output->exitStatus != 0) {
        result.status = RulesetRead::Failed;
        result.exitStatus = output->exitStatus;
        return result;
    }
    result.status = RulesetRead::Read;
    result.json = output->standardOutput;
    return result;
}

} // namespace zelvo
