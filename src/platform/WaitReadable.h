#pragma once
#include "platform/Clock.h"
#include "platform/WaitEnd.h"

#include <atomic>
#include <cstdint>
#include <limits>

namespace zelvo {

// A deadline that never comes: the wait ends on the descriptor or the stop flag only.
constexpr int64_t kNoDeadline = std::numeric_limits<int64_t>::max();

// The monotonic time of clock timeoutMs from now (a negative timeout counts as none).
int64_t DeadlineAfter(const Clock& clock, int timeoutMs);

// When a wait gives up: at deadlineMs of clock's monotonic time, or as soon as *stop
// turns true (stop may be null).
struct WaitLimit
{
    const Clock& clock;
    int64_t deadlineMs = kNoDeadline;
    const std::atomic<bool>* stop = nullptr;
};

// Waits until fd shows one of events (poll's POLLIN, POLLOUT), the deadline passes or the
// stop flag is raised; the flag and the deadline are looked at before the descriptor.
// Ready also when poll reports an error or hang-up on fd: the next read or write says which.
// Fails with the errno when poll fails (EBADF for a descriptor that is not open).
// A signal that interrupts the wait does not end it.
Outcome<WaitEnd> WaitForEvents(int fd, short events, const WaitLimit& limit);

// WaitForEvents for data to read.
Outcome<WaitEnd> WaitReadable(int fd, const WaitLimit& limit);

} // namespace zelvo
