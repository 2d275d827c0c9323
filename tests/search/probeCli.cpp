// The probe path for the privilege lab, "key=value" lines. probe_cli <log> COMMAND: echo <a>
// <ms>, broadcast <pc>, neigh, name <a>, dhcp-port; as root: capture <ms>.
#include "core/LogWriter.h"
#include "platform/DhcpServerSocket.h"
#include "platform/IcmpMessage.h"
#include "platform/NameLookups.h"
#include "platform/PrivilegedSockets.h"
#include "search/LinuxSearchNetwork.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

using namespace zelvo;

namespace {

const char* ProblemName(SocketProblem p)
{
    return std::array{"none",          "helper-missing", "not-in-group", "helper-unprivileged",
                      "helper-failed", "open-failed"}[int(p)];
}

void Capture(int ms)
{
    UniqueFd fd(::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP));
    uint8_t datagram[2048];
    std::string hex = "-";
    pollfd readable{fd.Get(), POLLIN, 0};
    while (fd.Valid() && hex == "-" && ::poll(&readable, 1, ms) > 0) {
        const ssize_t n = ::recv(fd.Get(), datagram, sizeof datagram, 0);
        const auto icmp = IcmpAfterIpv4Header({datagram, static_cast<std::size_t>(n > 0 ? n : 0)});
        if (icmp.empty() || icmp[0] != 8)
            continue;
        hex.clear();
        for (uint8_t b : icmp) {
            char two[3];
            std::snprintf(two, sizeof two, "%02x", b);
            hex += two;
        }
    }
    std::printf("request=%s\n", hex.c_str());
}

} // namespace

int main(int argc, char** argv)
{
    const std::string command = argc >= 3 ? argv[2] : "";
    Ipv4Address address;
    if (argc >= 4) // capture: no address
        ::inet_pton(AF_INET, argv[3], &address.nbo);
    LogWriter::SetLogPath(argc >= 2 ? argv[1] : "");
    LogWriter::CreateEmpty();
    LinuxNameLookups lookups;
    LinuxSearchNetwork network(SystemIcmpSockets(), lookups,
                               [&address] { return std::vector<Ipv4Address>{address}; });
    const int number = std::atoi(argv[argc - 1]);
    if (command == "echo" && argc == 5) {
        const auto start = std::chrono::steady_clock::now();
        const int echo = network.EchoProbe(address, number);
        std::printf("echo=%d ms=%lld\n", echo,
                    static_cast<long long>((std::chrono::steady_clock::now() - start) /
                                           std::chrono::milliseconds(1)));
    } else if (command == "broadcast" && argc == 4) {
        std::printf("broadcast=%d\n", network.BroadcastEcho());
    } else if (command == "neigh" && argc == 3) {
        const NeighbourRead read = network.ReadNeighbours();
        for (const NeighbourEntry& e : read.ValueOr({}))
            std::printf("%s %s\n", e.address.Dotted().c_str(), MacDashText(e.mac).c_str());
        std::printf("error=%d\n", read.Code());
    } else if (command == "name" && argc == 4) {
        std::printf("name=%s\n", network.ReverseName(address).value_or("-").c_str());
    } else if (command == "dhcp-port" && argc == 3) {
        const DhcpSocketOpen port = SystemDhcpSockets().Open();
        std::printf("dhcp=%s problem=%s\n", port.socket ? "open" : "none",
                    ProblemName(port.problem));
    } else if (command == "capture" && argc == 4) {
        Capture(number);
    } else {
        std::fprintf(stderr, "usage: probe_cli <log> COMMAND [arguments]\n");
        return 2;
    }
    return 0;
}
