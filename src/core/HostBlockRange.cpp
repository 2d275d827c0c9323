#include "core/HostBlockRange.h"

#include "core/LogWriter.h"

namespace zelvo {

HostBlock HostBlockRange(const std::array<uint8_t, 4>& mask, const std::array<uint8_t, 4>& address)
{
    const int m = mask[3];
    const int h = address[3];
    HostBlock block;
    if (m == 0)
        return block;
    const int blockSize = 256 - m;
    block.first = 0;
    block.limit = blockSize;
    for (int i = 0; i < 64; ++i) {
        if (h - (i + 1) * blockSize > 0) {
            block.first = (i + 1) * blockSize;
            block.limit = (i + 2) * blockSize;
        }
    }
    block.first += 1;
    block.limit -= 1;
    return block;
}

void LogHostBlockRange(const std::array<uint8_t, 4>& mask, const std::array<uint8_t, 4>& address)
{
    const HostBlock block = HostBlockRange(mask, address);
    LogWriter::Appendf(" Mask Addr\t: %03d.%03d.%03d.%03d\r\n", mask[0], mask[1], mask[2], mask[3]);
    LogWriter::Appendf(" Net Addr base.baseend: %03d.%03d\r\n", block.first, block.limit);
}

} // namespace zelvo
