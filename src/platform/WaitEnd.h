#pragma once
#include "platform/Outcome.h"

namespace zelvo {

// How a wait on a socket ended when nothing failed.
enum class WaitEnd
{
    Ready,
    TimedOut,
    Stopped, // the caller's stop flag was set while waiting
};

inline bool IsReady(const Outcome<WaitEnd>& wait)
{
    return wait.Ok() && wait.Value() == WaitEnd::Ready;
}

} // namespace zelvo
