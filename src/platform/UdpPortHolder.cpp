#include "platform/UdpPortHolder.h"

#include "platform/Files.h"

#include <dirent.h>
#include <unistd.h>

#include <charconv>
#include <sstream>

namespace zelvo {

namespace {

constexpr std::size_t kProcTableBytes = 1 << 20;

std::optional<std::string> HolderOfInode(uint64_t inode)
{
    const std::string wanted = "socket:[" + std::to_string(inode) + "]";
    DIR* proc = ::opendir("/proc");
    if (!proc)
        return std::nullopt;
    std::optional<std::string> found;
    while (!found) {
        const dirent* entry = ::readdir(proc);
        if (!entry)
            break;
        const std::string pid = entry->d_name;
        if (pid.empty() || pid.find_first_not_of("0123456789") != std::string::npos)
            continue;
        const std::string fdDir = "/proc/" + pid + "/fd";
        DIR* fds = ::opendir(fdDir.c_str());
        if (!fds)
            continue; // another user's process, or gone
        while (const dirent* fd = ::readdir(fds)) {
            char target[64];
            const std::string link = fdDir + "/" + fd->d_name;
            const ssize_t n = ::readlink(link.c_str(), target, sizeof target);
            if (n > 0 && std::string_view(target, static_cast<std::size_t>(n)) == wanted) {
                const std::string comm = ReadSmallFile("/proc/" + pid + "/comm", 64).value_or("");
                const std::string cmdline =
                    ReadSmallFile("/proc/" + pid + "/cmdline", 4096).value_or("");
                found = DescribePortHolder(comm, cmdline);
                break;
            }
        }
        ::closedir(fds);
    }
    ::closedir(proc);
    return found;
}

} // namespace

std::vector<uint64_t> UdpSocketInodes(std::string_view procNetUdp, uint16_t port)
{
    std::vector<uint64_t> inodes;
    std::istringstream lines{std::string(procNetUdp)};
    std::string line;
    std::getline(lines, line); // the header
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string slot, local, remote, state, queues, timer, retransmits, uid, timeout, inode;
        if (!(fields >> slot >> local >> remote >> state >> queues >> timer >> retransmits >> uid >>
              timeout >> inode))
            continue;
        const std::size_t colon = local.rfind(':');
        if (colon == std::string::npos)
            continue;
        unsigned localPort = 0;
        const char* first = local.data() + colon + 1;
        const char* last = local.data() + local.size();
        if (std::from_chars(first, last, localPort, 16).ec != std::errc() || localPort != port)
            continue;
        uint64_t number = 0;
        if (std::from_chars(inode.data(), inode.data() + inode.size(), number).ec == std::errc() &&
            number != 0)
            inodes.push_back(number);
    }
    return inodes;
}

std::string DescribePortHolder(std::string_view comm, std::string_view cmdline)
{
    while (!comm.empty() && (comm.back() == '\n' || comm.back() == ' '))
        comm.remove_suffix(1);
    std::string name(comm.empty() ? std::string_view("?") : comm);
    if (cmdline.find("libvirt") != std::string_view::npos)
        name += " (libvirt)";
    else if (cmdline.find("NetworkManager") != std::string_view::npos)
        name += " (NetworkManager)";
    return name;
}

std::optional<std::string> UdpPortHolder(uint16_t port)
{
    for (const char* table : {"/proc/net/udp", "/proc/net/udp6"}) {
        const std::string text = ReadSmallFile(table, kProcTableBytes).value_or("");
        for (uint64_t inode : UdpSocketInodes(text, port))
            if (std::optional<std::string> holder = HolderOfInode(inode))
                return holder;
    }
    return std::nullopt;
}

} // namespace zelvo
