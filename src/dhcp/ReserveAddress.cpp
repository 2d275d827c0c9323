#include "dhcp/ReserveAddress.h"

#include "core/HostBlockRange.h"
#include "core/LogWriter.h"

#include <algorithm>

namespace zelvo {

namespace {

bool InUse(const ReservationInputs& inputs, Ipv4Address candidate)
{
    return std::find(inputs.inUse.begin(), inputs.inUse.end(), candidate) != inputs.inUse.end();
}

Ipv4Address WithLastOctet(Ipv4Address address, int octet)
{
    std::array<uint8_t, 4> o = address.Octets();
    return Ipv4Address::FromOctets(o[0], o[1], o[2], static_cast<uint8_t>(octet));
}

void LogReserved(int phase, Ipv4Address reserved)
{
    const std::array<uint8_t, 4> o = reserved.Octets();
    LogWriter::Appendf("  [Phase %d] Reserved IP address : %03d.%03d.%03d.%03d\r\n", phase, o[0],
                       o[1], o[2], o[3]);
}

} // namespace

bool NeighbourHolds(std::span<const NeighbourEntry> entries, Ipv4Address candidate)
{
    for (const NeighbourEntry& e : entries) {
        // A NOARP entry with a group MAC (broadcast, multicast) is nobody's.
        const bool groupMac = (e.mac[0] & 0x01) != 0;
        if (e.address == candidate && !IsZeroMac(e.mac) && !(e.noArp && groupMac))
            return true;
    }
    return false;
}

bool ReserveAddress(int phase, Ipv4Address& reserved, const ReservationInputs& inputs,
                    const CandidateProbe& probe)
{
    if (phase == kReserveFound)
        LogWriter::Append("  VELDIX found with no IP address\r\n");
    const HostBlock block = HostBlockRange(inputs.subnetMask, inputs.pcAddress.Octets());

    if (reserved.IsZero()) {
        int first = block.first;
        while (true) {
            int candidate = first;
            while (candidate < block.limit &&
                   InUse(inputs, WithLastOctet(inputs.pcAddress, candidate)))
                ++candidate;
            if (candidate >= block.limit) {
                // Probing on would only repeat itself: the unit gets no answer this run.
                reserved = Ipv4Address();
                LogWriter::Appendf("  [Phase %d] No free IP address: host octets %03d up to %03d "
                                   "are taken or answer\r\n",
                                   phase, block.first, block.limit);
                return false;
            }
            const Ipv4Address address = WithLastOctet(inputs.pcAddress, candidate);
            if (!probe || probe(address) == 0) {
                reserved = address;
                break;
            }
            ++first;
        }
    }
    LogReserved(phase, reserved);
    return true;
}

} // namespace zelvo
