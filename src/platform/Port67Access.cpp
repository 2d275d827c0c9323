#include "platform/Port67Access.h"

#include "platform/PrivilegedSockets.h"

#include <unistd.h>

namespace zelvo {

Port67Access ReadPort67Access()
{
    if (::geteuid() == 0)
        return {true, "root"};
    const std::string helper = DefaultSockHelperPath();
    // The helper is installed root:zelvo-setup, mode 0750: X_OK tells whether this
    // account is in its group. Whether it was given its capabilities shows only when it
    // runs.
    if (::access(helper.c_str(), X_OK) == 0)
        return {true, "the helper zelvo-sockhelper"};
    if (::access(helper.c_str(), F_OK) == 0)
        return {false, std::string("this account may not run zelvo-sockhelper (not in the group ") +
                           kHelperGroup + ")"};
    return {false, "no root and no zelvo-sockhelper beside the tool"};
}

} // namespace zelvo
