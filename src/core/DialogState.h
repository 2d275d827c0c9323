#pragma once
#include "core/RunState.h"

#include <string>

namespace zelvo {

// The main window's state: the run's state that the commands work on, and what only the
// window reads (its layout, its first tick, its title). UI thread only.
struct DialogState : RunState
{
    int m_bSetIpLayout = 0; // "/set"
    int firstTick = 1;      // the first timer tick has not posted the first search yet
    std::string title;      // "Zelvo Setup Tool" or its Japanese form
};

} // namespace zelvo
