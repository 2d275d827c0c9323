#include "search/EchoAnswer.h"

#include "search/EchoRequest.h"

#include <cstring>

namespace zelvo {
namespace {

constexpr uint8_t kEchoReplyType = 0;
constexpr uint8_t kIcmpProtocol = 1;
constexpr std::size_t kIcmpErrorHeader = 8; // type, code, checksum, 4 unused bytes
constexpr std::size_t kQuotedIcmpBytes = 8; // what every router quotes of our request

bool IsErrorType(uint8_t type)
{
    return type == 3 /* destination unreachable */ || type == 4 /* source quench */ ||
           type == 11 /* time exceeded */ || type == 12 /* parameter problem */;
}

// The IPv4 header at the start of bytes: its length, or 0 when it is not one.
std::size_t Ipv4HeaderLength(std::span<const uint8_t> bytes)
{
    if (bytes.size() < 20 || (bytes[0] >> 4) != 4)
        return 0;
    const std::size_t length = std::size_t{bytes[0] & 0x0Fu} * 4;
    return length >= 20 && length <= bytes.size() ? length : 0;
}

Ipv4Address AddressAt(std::span<const uint8_t> bytes, std::size_t at)
{
    Ipv4Address address;
    std::memcpy(&address.nbo, bytes.data() + at, sizeof address.nbo);
    return address;
}

// An ICMP error that quotes an echo request with our identifier to probed.
bool QuotesOurRequestTo(std::span<const uint8_t> icmp, Ipv4Address probed, uint16_t identifier)
{
    if (icmp.size() < kIcmpErrorHeader)
        return false;
    const std::span<const uint8_t> quote = icmp.subspan(kIcmpErrorHeader);
    const std::size_t header = Ipv4HeaderLength(quote);
    if (header == 0 || quote[9] != kIcmpProtocol || AddressAt(quote, 16) != probed)
        return false;
    if (quote.size() < header + kQuotedIcmpBytes)
        return false;
    const std::span<const uint8_t> request = quote.subspan(header);
    if (request[0] != kEchoRequestType || request[1] != 0)
        return false;
    // The identifier is stored little-endian at offset 4, as the request was built.
    return request[4] == static_cast<uint8_t>(identifier) &&
           request[5] == static_cast<uint8_t>(identifier >> 8);
}

} // namespace

EchoArrival JudgeEchoArrival(std::span<const uint8_t> icmp, Ipv4Address source,
                             std::optional<Ipv4Address> probed, uint16_t identifier)
{
    if (IsOwnEchoRequest(icmp, identifier))
        return EchoArrival::OwnRequest;
    if (!probed)
        return EchoArrival::Answer; // the broadcast: anyone's answer will do
    if (icmp.empty())
        return EchoArrival::Unrelated;
    if (icmp[0] == kEchoReplyType)
        return source == *probed ? EchoArrival::Answer : EchoArrival::Unrelated;
    if (IsErrorType(icmp[0]) && QuotesOurRequestTo(icmp, *probed, identifier))
        return EchoArrival::Answer;
    return EchoArrival::Unrelated;
}

} // namespace zelvo
