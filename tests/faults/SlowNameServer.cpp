// A unit's NetBIOS name server that answers late, for the fault tests (in place of nmbd):
//   zelvo_slow_name_server DELAY_MS NAME READY_FILE
// Binds UDP 137, creates READY_FILE, then answers every node status question DELAY_MS after
// it came with one unique <00> name, NAME, until killed (as the lab's tear-down does).
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr std::size_t kQuestionEnd = 12 + 34; // header, encoded name with its length and root

// The answer as nmbd lays it out: the question's name as the record's owner, type NBSTAT,
// class IN, one unique active <00> name entry and the 46 bytes of statistics.
std::vector<uint8_t> Reply(const uint8_t* question, const std::string& name)
{
    std::vector<uint8_t> out(question, question + 2);           // transaction id
    const uint8_t header[] = {0x84, 0, 0, 0, 0, 1, 0, 0, 0, 0}; // response, one answer
    out.insert(out.end(), std::begin(header), std::end(header));
    out.insert(out.end(), question + 12, question + kQuestionEnd);
    const uint8_t record[] = {0, 0x21, 0, 1, 0, 0, 0, 0, 0, 1 + 18 + 46, 1};
    out.insert(out.end(), std::begin(record), std::end(record));
    const std::string padded = (name + std::string(15, ' ')).substr(0, 15);
    out.insert(out.end(), padded.begin(), padded.end());
    out.insert(out.end(), {0x00, 0x04, 0x00});
    out.insert(out.end(), 46, 0);
    return out;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s DELAY_MS NAME READY_FILE\n", argv[0]);
        return 2;
    }
    const int delayMs = std::atoi(argv[1]);
    const std::string name = argv[2];
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in self{AF_INET, htons(137), {}, {}};
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&self), sizeof self) != 0) {
        std::perror("slow name server: bind UDP 137");
        return 1;
    }
    if (FILE* ready = std::fopen(argv[3], "w"))
        std::fclose(ready);
    uint8_t question[576];
    while (true) {
        sockaddr_in from{};
        socklen_t fromLength = sizeof from;
        const ssize_t n = ::recvfrom(fd, question, sizeof question, 0,
                                     reinterpret_cast<sockaddr*>(&from), &fromLength);
        if (n < static_cast<ssize_t>(kQuestionEnd + 4))
            continue;
        const std::vector<uint8_t> reply = Reply(question, name);
        // Late, and one answer per question: a question resent meanwhile gets its own.
        std::thread([fd, from, reply, delayMs] {
            std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
            ::sendto(fd, reply.data(), reply.size(), 0, reinterpret_cast<const sockaddr*>(&from),
                     sizeof from);
        }).detach();
    }
}
