#include "platform/WaitReadable.h"

#include <poll.h>

#include <algorithm>
#include <cerrno>

namespace zelvo {

namespace {
// The longest single poll: the stop flag and the clock are looked at this often, so that a
// stop is seen soon and a clock other than the system's decides when the wait is over.
constexpr int64_t kSliceMs = 50;
} // namespace

int64_t DeadlineAfter(const Clock& clock, int timeoutMs)
{
    return clock.MonotonicMs() + std::max(timeoutMs, 0);
}

Outcome<WaitEnd> WaitForEvents(int fd, short events, const WaitLimit& limit)
{
    while (true) {
        if (limit.stop && limit.stop->load(std::memory_order_acquire))
            return WaitEnd::Stopped;
        const int64_t left = limit.deadlineMs == kNoDeadline
                                 ? kSliceMs
                                 : limit.deadlineMs - limit.clock.MonotonicMs();
        if (left <= 0)
            return WaitEnd::TimedOut;
        pollfd p{fd, events, 0};
        const int ready = ::poll(&p, 1, static_cast<int>(std::min(left, kSliceMs)));
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            return Failure{errno};
        }
        if (ready == 0)
            continue;
        if ((p.revents & POLLNVAL) != 0)
            return Failure{EBADF};
        return WaitEnd::Ready;
    }
}

Outcome<WaitEnd> WaitReadable(int fd, const WaitLimit& limit)
{
    return WaitForEvents(fd, POLLIN, limit);
}

} // namespace zelvo
