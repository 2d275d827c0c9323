#include "platform/NetworkNamespace.h"

#include "platform/Files.h"
#include "platform/UniqueFd.h"

#include <charconv>
#include <linux/netlink.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zelvo {
namespace {

constexpr std::size_t kNetlinkTableBytes = 1 << 20;

} // namespace

std::string NetworkNamespaceOf(const std::string& procDirectory)
{
    char target[128];
    const ssize_t n = ::readlink((procDirectory + "/ns/net").c_str(), target, sizeof target - 1);
    return n > 0 ? std::string(target, static_cast<std::size_t>(n)) : std::string();
}

bool NetlinkTableListsInode(std::string_view netlinkTable, unsigned long inode)
{
    // "sk Eth Pid Groups Rmem Wmem Dump Locks Drops Inode": the inode is the last column.
    std::size_t start = netlinkTable.find('\n'); // past the header
    while (start != std::string_view::npos && start < netlinkTable.size()) {
        const std::size_t end = netlinkTable.find('\n', start + 1);
        std::string_view line = netlinkTable.substr(
            start + 1, end == std::string_view::npos ? std::string_view::npos : end - start - 1);
        while (!line.empty() && (line.back() == ' ' || line.back() == '\r'))
            line.remove_suffix(1);
        const std::size_t space = line.find_last_of(' ');
        if (space != std::string_view::npos) {
            unsigned long value = 0;
            const char* first = line.data() + space + 1;
            const char* last = line.data() + line.size();
            const auto parsed = std::from_chars(first, last, value);
            if (parsed.ec == std::errc() && parsed.ptr == last && first != last && value == inode)
                return true;
        }
        start = end;
    }
    return false;
}

std::optional<bool> InInitialNetworkNamespace()
{
    const std::string own = NetworkNamespaceOf("/proc/self");
    const std::string first = NetworkNamespaceOf("/proc/1");
    if (!own.empty() && !first.empty())
        return own == first;

    // Not allowed to read process 1's link: look for a socket of ours in its table.
    UniqueFd probe(::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE));
    if (!probe.Valid())
        return std::nullopt;
    sockaddr_nl local{};
    local.nl_family = AF_NETLINK; // port 0: the kernel picks one, and the socket is listed
    struct stat st = {};
    if (::bind(probe.Get(), reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 ||
        ::fstat(probe.Get(), &st) != 0)
        return std::nullopt;
    const auto table = ReadSmallFile("/proc/1/net/netlink", kNetlinkTableBytes);
    if (!table)
        return std::nullopt;
    return NetlinkTableListsInode(*table, static_cast<unsigned long>(st.st_ino));
}

} // namespace zelvo
