#pragma once
// A UDP responder on 127.0.0.1 for the lookup tests: answers each question it gets with
// what the test's function returns for it (nothing: stay silent).
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace zelvo::test {

class LoopbackResponder
{
public:
    using Answer = std::function<std::vector<std::vector<uint8_t>>(
        const std::vector<uint8_t>& question, int index)>;

    explicit LoopbackResponder(Answer answer) : m_answer(std::move(answer))
    {
        m_fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in at{};
        at.sin_family = AF_INET;
        at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(m_fd, reinterpret_cast<sockaddr*>(&at), sizeof at);
        socklen_t length = sizeof at;
        ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&at), &length);
        m_port = ntohs(at.sin_port);
        m_thread = std::thread([this] { Serve(); });
    }
    ~LoopbackResponder()
    {
        m_stop = true;
        m_thread.join();
        ::close(m_fd);
    }
    uint16_t Port() const { return m_port; }
    std::vector<std::vector<uint8_t>> Questions()
    {
        std::lock_guard lock(m_mutex);
        return m_questions;
    }

private:
    void Serve()
    {
        while (!m_stop) {
            pollfd p{m_fd, POLLIN, 0};
            if (::poll(&p, 1, 20) <= 0)
                continue;
            uint8_t buffer[2048];
            sockaddr_in from{};
            socklen_t length = sizeof from;
            const ssize_t n = ::recvfrom(m_fd, buffer, sizeof buffer, 0,
                                         reinterpret_cast<sockaddr*>(&from), &length);
            if (n < 0)
                continue;
            std::vector<uint8_t> question(buffer, buffer + n);
            int index;
            {
                std::lock_guard lock(m_mutex);
                m_questions.push_back(question);
                index = static_cast<int>(m_questions.size()) - 1;
            }
            for (const auto& reply : m_answer(question, index))
                ::sendto(m_fd, reply.data(), reply.size(), 0, reinterpret_cast<sockaddr*>(&from),
                         length);
        }
    }

    Answer m_answer;
    int m_fd = -1;
    uint16_t m_port = 0;
    std::atomic<bool> m_stop{false};
    std::mutex m_mutex;
    std::vector<std::vector<uint8_t>> m_questions;
    std::thread m_thread;
};

} // namespace zelvo::test
