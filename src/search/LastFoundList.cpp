#include "search/LastFoundList.h"

namespace zelvo {

bool LastFoundList::Append(Ipv4Address address)
{
    if (count >= kCapacity)
        return false;
    addresses[count++] = address;
    return true;
}

LastFoundList& ProcessLastFound()
{
    static LastFoundList list;
    return list;
}

} // namespace zelvo
