#include "search/InternetChecksum.h"

#include <cstring>

namespace zelvo {

uint16_t InternetChecksum(const uint8_t* data, std::size_t length)
{
    uint32_t sum = 0;
    std::size_t at = 0;
    for (; length - at >= 2; at += 2) {
        uint16_t word;
        std::memcpy(&word, data + at, 2);
        sum += word;
    }
    if (at < length)
        sum += data[at];
    sum = (sum >> 16) + (sum & 0xFFFF);
    sum += sum >> 16;
    return static_cast<uint16_t>(~sum);
}

} // namespace zelvo
