// The one wait of the Linux layer, on real pipes and sockets: what ends it, in which order
// the ends are looked at, and that a signal or a clock other than the system's does not
// fool it.
#include "platform/WaitReadable.h"
#include "platform/UniqueFd.h"
#include "support/FakeClock.h"
#include "support/OutcomeValue.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <csignal>
#include <thread>
#include <vector>

namespace zelvo {
namespace {

struct Pipe
{
    UniqueFd read, write;
    Pipe()
    {
        int fds[2];
        EXPECT_EQ(::pipe2(fds, O_CLOEXEC | O_NONBLOCK), 0);
        read.Reset(fds[0]);
        write.Reset(fds[1]);
    }
    void Put() { ASSERT_EQ(::write(write.Get(), "x", 1), 1); }
};

TEST(WaitReadable, theStopFlagThenTheDeadlineThenTheDescriptorDecide)
{
    const struct
    {
        const char* what;
        bool readable, stopped;
        int64_t deadlineFromNow; // on the fake clock
        WaitEnd expected;
    } cases[] = {
        {"data waits", true, false, 1000, WaitEnd::Ready},
        {"data waits, stop raised", true, true, 1000, WaitEnd::Stopped},
        {"data waits, deadline passed", true, false, 0, WaitEnd::TimedOut},
        {"data waits, deadline long passed", true, false, -500, WaitEnd::TimedOut},
        {"nothing, deadline passed", false, false, 0, WaitEnd::TimedOut},
        {"nothing, stop raised, deadline passed", false, true, 0, WaitEnd::Stopped},
    };
    for (const auto& c : cases) {
        test::FakeClock clock;
        clock.Advance(10'000);
        Pipe pipe;
        if (c.readable)
            pipe.Put();
        const std::atomic<bool> stop{c.stopped};
        const int64_t deadline = clock.MonotonicMs() + c.deadlineFromNow;
        EXPECT_EQ(test::ValueOf(WaitReadable(pipe.read.Get(), {clock, deadline, &stop})),
                  c.expected)
            << c.what;
    }
}

std::atomic<int> g_signals{0};
void CountSignal(int)
{
    ++g_signals;
}

// Another thread signals the waiter all along and, after several signals, writes, closes
// the write end or raises the stop flag: only that ends the wait.
TEST(WaitReadable, endsWhenAnotherThreadWritesHangsUpOrStopsNotOnASignal)
{
    struct sigaction action = {}, previous = {};
    action.sa_handler = CountSignal; // no SA_RESTART: poll fails with EINTR
    sigemptyset(&action.sa_mask);
    ASSERT_EQ(::sigaction(SIGUSR1, &action, &previous), 0);

    for (const char act : {'w', 'c', 's'}) { // write, close the write end, stop
        Pipe pipe;
        g_signals = 0;
        std::atomic<bool> waiting{true}, stop{false};
        const pthread_t waiter = ::pthread_self();
        std::thread pelter([&] {
            for (int i = 0; waiting; ++i) {
                ::pthread_kill(waiter, SIGUSR1);
                if (i == 20)
                    act == 'w' ? pipe.Put() : act == 'c' ? pipe.write.Reset() : stop.store(true);
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
        });
        const Outcome<WaitEnd> status =
            WaitReadable(pipe.read.Get(), {SystemClock(), kNoDeadline, &stop});
        waiting = false;
        pelter.join();
        EXPECT_EQ(test::ValueOf(status), act == 's' ? WaitEnd::Stopped : WaitEnd::Ready) << act;
        EXPECT_GE(g_signals.load(), 10) << act;
    }
    ::sigaction(SIGUSR1, &previous, nullptr);
}

TEST(WaitReadable, aClosedDescriptorFailsAndWritingRoomIsAnEventToo)
{
    const int fd = Pipe().read.Get(); // closed at once: the number is no descriptor now
    EXPECT_EQ(WaitReadable(fd, {SystemClock(), DeadlineAfter(SystemClock(), 1000)}).Code(), EBADF);

    int pair[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, pair), 0);
    const UniqueFd a(pair[0]), b(pair[1]);
    EXPECT_EQ(test::ValueOf(WaitForEvents(a.Get(), POLLOUT,
                                          {SystemClock(), DeadlineAfter(SystemClock(), 1000)})),
              WaitEnd::Ready);
    // Fill the peer's queue until a send would block; then there is no room until the
    // deadline.
    const std::vector<char> datagram(1024);
    while (::send(a.Get(), datagram.data(), datagram.size(), 0) > 0) {
    }
    ASSERT_EQ(errno, EAGAIN);
    EXPECT_EQ(test::ValueOf(WaitForEvents(a.Get(), POLLOUT,
                                          {SystemClock(), DeadlineAfter(SystemClock(), 100)})),
              WaitEnd::TimedOut);
}

} // namespace
} // namespace zelvo
