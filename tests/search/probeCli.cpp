// The tool's probe path as a small command, for the lab tests that run it as an
// unprivileged user inside a network namespace. probe_cli <log> COMMAND:
//   echo <address> <ms>, broadcast <pc-address>, neigh (sorted), netbios <address> <ms>,
//   name <address> (the whole name chain): the search's probes
//   path: which ICMP socket the probes get (ping, own raw, helper raw or none) and why
//   listen <address> <ms>: one echo request to address through the probes' ICMP socket,
//       then one line per ICMP message that socket gives within ms
//   dhcp-port <ms>: the DHCP server socket, waiting ms for a datagram
//   send-icmp <address> <type> (root): one bare ICMP message of that type
//   capture <ms> (root): the first echo request seen, in hex
// listen and dhcp-port also print how many raw or port-67 sockets this process holds.
// Prints one "key=value" line per result; exits 0 unless the arguments are wrong.
#include "core/LogWriter.h"
#include "platform/DhcpServerSocket.h"
#include "platform/IcmpMessage.h"
#include "platform/NameLookups.h"
#include "platform/PrivilegedSockets.h"
#include "search/EchoRequest.h"
#include "search/InternetChecksum.h"
#include "search/LinuxSearchNetwork.h"
#include "support/PrivilegedDescriptors.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

using namespace zelvo;

namespace {

// The names the lab tests read, in the order of the enumerations.
const char* ProblemName(SocketProblem p)
{
    constexpr const char* kNames[] = {"none",          "helper-missing",
                                      "not-in-group",  "helper-unprivileged",
                                      "helper-failed", "open-failed"};
    return kNames[static_cast<int>(p)];
}

const char* PathName(IcmpPath p)
{
    constexpr const char* kNames[] = {"none", "ping", "own", "helper"};
    return kNames[static_cast<int>(p)];
}

void Listen(Ipv4Address address, int ms)
{
    EchoRequest request = BuildEchoRequest(EchoIdentifier());
    IcmpSocketOptions options;
    options.identifierBytes = {request[kEchoIdentifierAt], request[kEchoIdentifierAt + 1]};
    IcmpSocketOpen open = SystemIcmpSockets().Open(options);
    std::printf("path=%s problem=%s held=%d\n", PathName(open.path), ProblemName(open.problem),
                test::PrivilegedDescriptors());
    if (!open.socket)
        return;
    StampEchoRequest(request, 0, 0);
    int error = 0;
    open.socket->Send(address, kEchoDestinationPort, request, 1000, error);
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    uint8_t icmp[2048];
    while (true) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              end - std::chrono::steady_clock::now())
                              .count();
        IcmpArrival arrival;
        if (left <= 0 || open.socket->Receive(icmp, arrival, static_cast<int>(left), nullptr,
                                              error) != IoStatus::Ok)
            break;
        if (arrival.length == 0)
            continue;
        int quoted = -1;
        if (icmp[0] != 0 && arrival.length > kIcmpErrorHeaderSize + 9)
            quoted = icmp[kIcmpErrorHeaderSize + 9];
        std::printf("got type=%d quoted=%d from=%s\n", icmp[0], quoted,
                    arrival.source.Dotted().c_str());
    }
}

void DhcpPort(int ms)
{
    DhcpSocketOpen port = SystemDhcpSockets().Open();
    std::printf("dhcp=%s problem=%s held=%d\n", port.socket ? "open" : "none",
                ProblemName(port.problem), test::PrivilegedDescriptors());
    std::fflush(stdout);
    if (!port.socket)
        return;
    std::atomic<bool> stop{false};
    std::thread timer([&stop, ms] {
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        stop.store(true);
    });
    uint8_t buffer[1536];
    const DatagramReceipt got = port.socket->Receive(buffer, &stop);
    stop.store(true);
    timer.join();
    std::printf("received=%zd interface=%d\n",
                got.status == IoStatus::Ok ? static_cast<ssize_t>(got.length) : -1,
                got.interfaceIndex);
}

void SendIcmp(Ipv4Address address, int type)
{
    UniqueFd fd(::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP));
    uint8_t message[20] = {static_cast<uint8_t>(type), 0, 0, 0, 0x5A, 0x5A, 0, 1};
    const uint16_t checksum = InternetChecksum(message, sizeof message);
    std::memcpy(message + 2, &checksum, sizeof checksum);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = address.nbo;
    const ssize_t sent = fd.Valid() ? ::sendto(fd.Get(), message, sizeof message, 0,
                                               reinterpret_cast<const sockaddr*>(&to), sizeof to)
                                    : -1;
    std::printf("sent=%zd\n", sent);
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
    const bool msFirst = command == "dhcp-port" || command == "capture";
    if (argc < 3 || (argc >= 4 && !msFirst && ::inet_pton(AF_INET, argv[3], &address.nbo) != 1)) {
        std::fprintf(stderr, "usage: probe_cli <log> echo <a> <ms>|broadcast <pc>|neigh|"
                             "netbios <a> <ms>|name <a>\n");
        return 2;
    }
    LogWriter::SetLogPath(argv[1]);
    LogWriter::CreateEmpty();
    LinuxNameLookups lookups;
    LinuxSearchNetwork network(SystemIcmpSockets(), lookups,
                               [&address] { return std::vector<Ipv4Address>{address}; });
    using namespace std::chrono;
    const auto start = steady_clock::now();
    const auto ms = [start] {
        return static_cast<long long>(
            duration_cast<milliseconds>(steady_clock::now() - start).count());
    };
    const auto text = [](const std::optional<std::string>& name) { return name.value_or("-"); };

    if (command == "echo" && argc == 5) {
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
    } else if (command == "path" && argc == 3) {
        IcmpSocketOpen open = SystemIcmpSockets().Open(IcmpSocketOptions{});
        std::printf("path=%s problem=%s detail=%s\n", PathName(open.path),
                    ProblemName(open.problem), open.detail.c_str());
    } else if (command == "listen" && argc == 5) {
        Listen(address, std::atoi(argv[4]));
    } else if (command == "dhcp-port" && argc == 4) {
        DhcpPort(std::atoi(argv[3]));
    } else if (command == "send-icmp" && argc == 5) {
        SendIcmp(address, std::atoi(argv[4]));
    } else if (command == "capture" && argc == 4) {
        Capture(std::atoi(argv[3]));
    } else {
        std::fprintf(stderr, "unknown command or wrong arguments: %s\n", command.c_str());
        return 2;
    }
    return 0;
}
