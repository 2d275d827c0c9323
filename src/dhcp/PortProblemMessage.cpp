#include "dhcp/PortProblemMessage.h"

#include "core/MessageCatalogue.h"

#include <cerrno>

namespace zelvo {

std::string PortProblemMessage(int language, const DhcpSocketOpen& open)
{
    if (open.socket)
        return {};
    const bool privilegeError = open.error == EACCES || open.error == EPERM;
    if (open.problem == SocketProblem::OpenFailed || open.problem == SocketProblem::HelperFailed ||
        open.problem == SocketProblem::None) {
        if (open.error == EADDRINUSE)
            return open.portHolder.empty()
                       ? MessageCatalogue::Choose(language, 932, 933)
                       : MessageCatalogue::Choose(language, 930, 931) + open.portHolder;
        if (!privilegeError || open.problem == SocketProblem::HelperFailed)
            return MessageCatalogue::Choose(language, 936, 937);
    }
    // No capability of our own, and the helper is missing, not privileged or not ours
    // to use.
    return MessageCatalogue::Choose(language, 934, 935);
}

} // namespace zelvo
