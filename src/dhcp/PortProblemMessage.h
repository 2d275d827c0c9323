#pragma once
#include "platform/DhcpServerSocket.h"

#include <string>

namespace zelvo {

// What the user is told when the responder could not have UDP port 67: the port is taken
// (by the named program when it is known), the privilege is missing, or the socket failed
// otherwise. Empty when the socket is open.
std::string PortProblemMessage(int language, const DhcpSocketOpen& open);

} // namespace zelvo
