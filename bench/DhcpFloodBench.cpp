// Foreign DHCP clients for bench/dhcp.row.sh: DISCOVERs with MACs that are no unit's,
// broadcast from one lab host at a steady rate, to see whether the tool still answers a
// waiting unit among them. Bounded in rate, count and time; it stops by itself.
//   zelvo_bench_dhcp_flood <interface> <per second, 1..1000> <seconds, 1..120>
// Prints "sent=<count> ms=<elapsed>", also when ended early by SIGTERM or SIGINT.
#include <arpa/inet.h>
#include <csignal>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace {

volatile std::sig_atomic_t g_stop = 0;
extern "C" void Stop(int)
{
    g_stop = 1;
}

// A minimal BOOTREQUEST DISCOVER from the client with this hardware address.
std::array<uint8_t, 300> Discover(uint32_t serial)
{
    std::array<uint8_t, 300> m{};
    m[0] = 1; // BOOTREQUEST
    m[1] = 1; // Ethernet
    m[2] = 6;
    const uint32_t xid = htonl(0x5a000000u | serial);
    std::memcpy(&m[4], &xid, 4);
    m[10] = 0x80; // answer by broadcast
    // 02:11:22 is a locally administered prefix that the units' test refuses.
    const uint8_t mac[6] = {0x02,           0x11, 0x22, uint8_t(serial >> 16), uint8_t(serial >> 8),
                            uint8_t(serial)};
    std::memcpy(&m[28], mac, 6);
    const uint8_t cookie[4] = {99, 130, 83, 99};
    std::memcpy(&m[236], cookie, 4);
    m[240] = 53; // message type
    m[241] = 1;
    m[242] = 1; // DISCOVER
    m[243] = 255;
    return m;
}

} // namespace

int main(int argc, char** argv)
{
    const int rate = argc == 4 ? std::atoi(argv[2]) : 0;
    const int seconds = argc == 4 ? std::atoi(argv[3]) : 0;
    if (argc != 4 || rate < 1 || rate > 1000 || seconds < 1 || seconds > 120) {
        std::fprintf(stderr, "usage: %s <interface> <per second, 1..1000> <seconds, 1..120>\n",
                     argv[0]);
        return 2;
    }
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(68);
    // Bound to the lab host's own card: the broadcasts go out there and nowhere else.
    if (fd < 0 || ::setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0 ||
        ::setsockopt(fd, SOL_SOCKET, SO_BINDTODEVICE, argv[1], std::strlen(argv[1])) != 0 ||
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
        ::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
        std::perror("dhcp flood: socket");
        return 1;
    }
    sockaddr_in server{};
    server.sin_family = AF_INET;
    server.sin_port = htons(67);
    server.sin_addr.s_addr = htonl(INADDR_BROADCAST);

    struct sigaction stop
    {
    };
    stop.sa_handler = &Stop;
    ::sigaction(SIGTERM, &stop, nullptr);
    ::sigaction(SIGINT, &stop, nullptr);

    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    const long total = long(rate) * seconds;
    long sent = 0;
    for (long i = 0; i < total && !g_stop; ++i) {
        std::this_thread::sleep_until(start + std::chrono::microseconds(i * 1000000L / rate));
        const auto message = Discover(static_cast<uint32_t>(i % 65536));
        if (::sendto(fd, message.data(), message.size(), 0, reinterpret_cast<sockaddr*>(&server),
                     sizeof server) == static_cast<ssize_t>(message.size()))
            ++sent;
    }
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
    std::printf("sent=%ld ms=%lld\n", sent, static_cast<long long>(ms));
    ::close(fd);
    return 0;
}
