#pragma once
#include "core/MessageBoxes.h"
#include "platform/NetworkInterfaceList.h"

#include <string>

namespace zelvo {

// The text of a failed check: the catalogue's message followed by " : <error>\n".
std::string BrowseCheckFailureText(int language, int japaneseId, int englishId, long error);

// The start-up check that the network can be used at all: a UDP socket opens (else
// message 124/125 with the errno) and an IPv4 interface other than loopback is up (else
// message 122/123, with the errno of the failed read or ENETDOWN when the list holds no
// such interface). 1 when both hold; 0 after the user has been told. UI thread.
int NetworkBrowseCheck(const NetworkInterfaceList& interfaces, MessageBoxes& boxes, int language);

} // namespace zelvo
