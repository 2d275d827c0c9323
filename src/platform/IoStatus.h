#pragma once

namespace zelvo {

// How a wait on a socket ended.
enum class IoStatus
{
    Ok,
    TimedOut,
    Stopped, // the caller's stop flag was set while waiting
    Failed,
};

} // namespace zelvo
