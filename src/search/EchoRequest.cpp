#include "search/EchoRequest.h"

#include "search/InternetChecksum.h"

#include <algorithm>
#include <cstring>

namespace zelvo {

namespace {
constexpr std::size_t kChecksumAt = 2;
constexpr std::size_t kIdentifierAt = kEchoIdentifierAt;
constexpr std::size_t kSequenceAt = 6;
constexpr std::size_t kTimestampAt = 8;

void PutLe16(uint8_t* at, uint16_t value)
{
    at[0] = static_cast<uint8_t>(value);
    at[1] = static_cast<uint8_t>(value >> 8);
}

void PutLe32(uint8_t* at, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        at[i] = static_cast<uint8_t>(value >> (8 * i));
}
} // namespace

EchoRequest BuildEchoRequest(uint16_t identifier)
{
    EchoRequest request{};
    request[0] = kEchoRequestType;
    request[1] = 0;
    PutLe16(&request[kIdentifierAt], identifier);
    std::fill(request.begin() + kEchoHeaderSize, request.end(), kEchoPayloadByte);
    return request;
}

void StampEchoRequest(EchoRequest& request, uint16_t sequence, uint32_t tickMs)
{
    request[kChecksumAt] = 0;
    request[kChecksumAt + 1] = 0;
    PutLe32(&request[kTimestampAt], tickMs);
    PutLe16(&request[kSequenceAt], sequence);
    const uint16_t checksum = InternetChecksum(request.data(), request.size());
    std::memcpy(&request[kChecksumAt], &checksum, sizeof checksum); // host order, see there
}

bool IsOwnEchoRequest(std::span<const uint8_t> icmp, uint16_t identifier)
{
    if (icmp.size() != kEchoRequestSize || icmp[0] != kEchoRequestType || icmp[1] != 0)
        return false;
    if (icmp[kIdentifierAt] != static_cast<uint8_t>(identifier) ||
        icmp[kIdentifierAt + 1] != static_cast<uint8_t>(identifier >> 8))
        return false;
    return std::all_of(icmp.begin() + kEchoHeaderSize, icmp.end(),
                       [](uint8_t b) { return b == kEchoPayloadByte; });
}

} // namespace zelvo
