#include "search/NetworkBrowseCheck.h"

#include "core/MessageCatalogue.h"

#include <cerrno>
#include <cstdio>

namespace zelvo {

std::string BrowseCheckFailureText(int language, int japaneseId, int englishId, long error)
{
    char suffix[32];
    std::snprintf(suffix, sizeof suffix, " : %ld\n", error);
    return MessageCatalogue::Choose(language, japaneseId, englishId) + suffix;
}

int NetworkBrowseCheck(const NetworkInterfaceList& interfaces, MessageBoxes& boxes, int language)
{
    // Opening: what the network needs first is a socket of its own.
    if (const int error = interfaces.ProbeUdpSocket().Code(); error != 0) {
        boxes.Show(BrowseCheckFailureText(language, 124, 125, error), MessageIcon::Question,
                   MessageButtons::Ok);
        return 0;
    }

    // Reading: an interface that can reach another host. Loopback is always up and
    // says nothing about the network.
    const InterfaceListRead read = interfaces.ReadIpv4Interfaces();
    int error = read.Code();
    if (error == 0) {
        error = ENETDOWN;
        for (const InterfaceEntry& entry : read.Value()) {
            if (entry.up && !entry.loopback) {
                error = 0;
                break;
            }
        }
    }
    if (error != 0) {
        boxes.Show(BrowseCheckFailureText(language, 122, 123, error), MessageIcon::Question,
                   MessageButtons::Ok);
        return 0;
    }
    return 1;
}

} // namespace zelvo
