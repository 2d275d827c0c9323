#pragma once
#include <string>

namespace zelvo {

// Whether this account could open UDP port 67, told without opening it (the window may
// hold it): root opens it itself; anyone else needs the socket helper beside the tool,
// which only members of its group may run.
struct Port67Access
{
    bool usable = false;
    std::string how; // "root", "the helper zelvo-sockhelper", or why not
};

Port67Access ReadPort67Access();

} // namespace zelvo
