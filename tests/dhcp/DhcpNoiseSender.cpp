// A host on the segment that sends port 67 what no unit would: cut-off and oversized
// datagrams, broken options, a foreign client's DISCOVER and another server's reply,
// each with an xid of its own. It listens on port 68 meanwhile and counts the replies
// that carry one of its xids (ours: must stay 0) and the others (the replies to the
// real unit beside it, so the count shows that it heard the responder at all).
//
// With "requests" it sends instead what a unit sends on a LAN with a DHCP server: a
// REQUEST for another server's OFFER and the REQUEST of a reboot, neither of them after
// an OFFER of the responder.
//
// dhcp_noise_sender <seconds> <result file> [interface] [requests]
// Result file: "sent=<n> ours=<n> others=<n>\n", written when the time is up.
#include <arpa/inet.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr uint32_t kXidBase = 0x4e4f4900; // "NOI" and the kind
constexpr std::array<uint8_t, 6> kUnitMac = {0x02, 0x5a, 0xe1, 0x40, 0x00, 0x77};
constexpr std::array<uint8_t, 6> kForeignMac = {0x02, 0x11, 0x22, 0x33, 0x44, 0x66};

std::vector<uint8_t> Message(uint8_t op, uint32_t xid, const std::array<uint8_t, 6>& mac,
                             std::vector<uint8_t> options, std::size_t length = 300)
{
    std::vector<uint8_t> m(length, 0);
    m[0] = op, m[1] = 1, m[2] = 6;
    m[4] = uint8_t(xid >> 24), m[5] = uint8_t(xid >> 16), m[6] = uint8_t(xid >> 8),
    m[7] = uint8_t(xid);
    std::memcpy(&m[28], mac.data(), mac.size());
    const std::vector<uint8_t> cookie = {99, 130, 83, 99};
    options.insert(options.begin(), cookie.begin(), cookie.end());
    for (std::size_t i = 0; i < options.size() && 236 + i < m.size(); ++i)
        m[236 + i] = options[i];
    return m;
}

std::vector<std::vector<uint8_t>> Requests()
{
    // Another server at 10.231.7.1 offered .120; a reboot asks for the old .33.
    return {Message(1, kXidBase + 7, kUnitMac,
                    {53, 1, 3, 54, 4, 10, 231, 7, 1, 50, 4, 10, 231, 7, 120, 255}),
            Message(1, kXidBase + 8, kUnitMac, {53, 1, 3, 50, 4, 10, 231, 7, 33, 255})};
}

std::vector<std::vector<uint8_t>> Round()
{
    std::vector<std::vector<uint8_t>> round;
    // Cut off inside the fixed header.
    std::vector<uint8_t> cut = Message(1, kXidBase + 1, kUnitMac, {53, 1, 1, 255});
    cut.resize(100);
    round.push_back(cut);
    // A unit's well-formed DISCOVER, then padding far beyond the receive buffer.
    round.push_back(Message(1, kXidBase + 2, kUnitMac, {53, 1, 1, 255}, 2000));
    // A foreign client's DISCOVER.
    round.push_back(Message(1, kXidBase + 3, kForeignMac, {53, 1, 1, 255}));
    // Another server's OFFER (op 2) to a unit.
    round.push_back(Message(2, kXidBase + 4, kUnitMac, {53, 1, 2, 255}));
    // An option whose length runs past the end of the message, hiding a DISCOVER type.
    round.push_back(Message(1, kXidBase + 5, kUnitMac, {12, 250, 53, 1, 1}));
    // A message type that does not exist.
    round.push_back(Message(1, kXidBase + 6, kUnitMac, {53, 1, 9, 255}));
    return round;
}

bool Ours(const uint8_t* m, long length)
{
    if (length < 8)
        return false;
    const uint32_t xid = uint32_t(m[4]) << 24 | uint32_t(m[5]) << 16 | uint32_t(m[6]) << 8 | m[7];
    return (xid & 0xffffff00u) == kXidBase;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s <seconds> <result file> [interface] [requests]\n", argv[0]);
        return 2;
    }
    const int seconds = std::atoi(argv[1]);
    const char* card = argc > 3 ? argv[3] : "eth0";
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    const int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &one, sizeof one);
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    // Without a default route a limited broadcast needs its card named.
    if (::setsockopt(fd, SOL_SOCKET, SO_BINDTODEVICE, card, socklen_t(std::strlen(card))) != 0) {
        std::perror("SO_BINDTODEVICE");
        return 1;
    }
    sockaddr_in self{};
    self.sin_family = AF_INET;
    self.sin_port = htons(68);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&self), sizeof self) != 0) {
        std::perror("bind 68");
        return 1;
    }
    sockaddr_in server{};
    server.sin_family = AF_INET;
    server.sin_port = htons(67);
    server.sin_addr.s_addr = htonl(INADDR_BROADCAST);

    const auto round = argc > 4 && std::strcmp(argv[4], "requests") == 0 ? Requests() : Round();
    const auto start = std::chrono::steady_clock::now();
    auto nextRound = start;
    long sent = 0, ours = 0, others = 0;
    while (std::chrono::steady_clock::now() - start < std::chrono::seconds(seconds)) {
        if (std::chrono::steady_clock::now() >= nextRound) {
            for (const auto& m : round)
                if (::sendto(fd, m.data(), m.size(), 0, reinterpret_cast<sockaddr*>(&server),
                             sizeof server) == long(m.size()))
                    ++sent;
            nextRound += std::chrono::seconds(1);
        }
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 50) == 1) {
            uint8_t buffer[2048];
            const long n = ::recv(fd, buffer, sizeof buffer, 0);
            if (n > 0)
                ++(Ours(buffer, n) ? ours : others);
        }
    }
    const std::string result = argv[2];
    FILE* f = std::fopen((result + ".part").c_str(), "w");
    if (!f)
        return 1;
    std::fprintf(f, "sent=%ld ours=%ld others=%ld\n", sent, ours, others);
    std::fclose(f);
    return std::rename((result + ".part").c_str(), result.c_str()) == 0 ? 0 : 1;
}
