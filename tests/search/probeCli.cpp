// The tool's probe path as a small command, for the lab tests that run it as an
// unprivileged user inside a network namespace:
//   probe_cli <log> access                  how a raw ICMP socket is had: own, helper or none
//   probe_cli <log> echo <address> <ms>     EchoProbe
//   probe_cli <log> broadcast <pc-address>  BroadcastEcho through the PC's address (0.0.0.0:
//                                           let the routing table choose, as a plain send would)
//   probe_cli <log> neigh                   the neighbour table, sorted
//   probe_cli <log> netbios <address> <ms>  NetBIOS node status only
//   probe_cli <log> name <address>          the whole name chain
// Prints one "key=value" line per result; exits 0 unless the arguments are wrong.
#include "core/LogWriter.h"
#include "platform/NameLookups.h"
#include "platform/PrivilegedSockets.h"
#include "search/LinuxSearchNetwork.h"

#include <arpa/inet.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

using namespace zelvo;

int main(int argc, char** argv)
{
    const std::string command = argc >= 3 ? argv[2] : "";
    Ipv4Address address;
    if (argc < 3 || (argc >= 4 && ::inet_pton(AF_INET, argv[3], &address.nbo) != 1)) {
        std::fprintf(stderr, "usage: probe_cli <log> access|echo <a> <ms>|broadcast <pc>|neigh|"
                             "netbios <a> <ms>|name <a>\n");
        return 2;
    }
    LogWriter::SetLogPath(argv[1]);
    LogWriter::CreateEmpty();
    LinuxNameLookups lookups;
    LinuxSearchNetwork network(SystemIcmpSockets(), lookups, [&address] { return address; });
    using namespace std::chrono;
    const auto start = steady_clock::now();
    const auto ms = [start] {
        return static_cast<long long>(
            duration_cast<milliseconds>(steady_clock::now() - start).count());
    };
    const auto text = [](const std::optional<std::string>& name) { return name.value_or("-"); };

    if (command == "access" && argc == 3) {
        const SocketAcquisition raw = AcquirePrivilegedSocket(PrivilegedSocketKind::RawIcmp);
        std::printf("raw=%s problem=%d detail=%s\n",
                    raw.socket.Valid() ? (raw.viaHelper ? "helper" : "own") : "none",
                    static_cast<int>(raw.problem), raw.detail.c_str());
    } else if (command == "echo" && argc == 5) {
        const int result = network.EchoProbe(address, std::atoi(argv[4]));
        std::printf("echo=%d ms=%lld\n", result, ms());
    } else if (command == "broadcast" && argc == 4) {
        const int result = network.BroadcastEcho();
        std::printf("broadcast=%d ms=%lld\n", result, ms());
    } else if (command == "neigh" && argc == 3) {
        const NeighbourRead read = network.ReadNeighbours();
        for (const NeighbourEntry& e : read.entries)
            std::printf("%s %s\n", e.address.Dotted().c_str(), MacDashText(e.mac).c_str());
        std::printf("error=%d\n", read.errorCode);
    } else if (command == "netbios" && argc == 5) {
        const auto name = text(lookups.NetbiosName(address, std::atoi(argv[4])));
        std::printf("netbios=%s ms=%lld\n", name.c_str(), ms());
    } else if (command == "name" && argc == 4) {
        const auto name = text(network.ReverseName(address));
        std::printf("name=%s ms=%lld\n", name.c_str(), ms());
    } else {
        std::fprintf(stderr, "unknown command or wrong arguments: %s\n", command.c_str());
        return 2;
    }
    return 0;
}
