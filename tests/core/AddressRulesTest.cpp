// The address rules below the search and the responder: the PC's host block and the
// unit MAC test.
#include "core/HostBlockRange.h"
#include "core/IsUnitMac.h"

#include <gtest/gtest.h>

namespace zelvo {
namespace {

TEST(HostBlockRange, givesFirstAndLimitOctet)
{
    // The last octets of mask and host, and the first and the limit of the block.
    for (const auto& [mask, host, first, limit] :
         {std::array{0, 1, 50, 250},
          {0, 254, 50, 250},
          {128, 5, 1, 127},
          {128, 200, 129, 255},
          {192, 100, 65, 127},
          {192, 10, 1, 63},
          {192, 128, 65, 127}, // a boundary falls into the block below
          {252, 6, 5, 7},
          {252, 255, 253, 255},
          // Tiny blocks: only 64 are looked at, the range can be foreign or empty.
          {254, 200, 129, 129},
          {255, 65, 65, 64}})
        EXPECT_EQ(HostBlockRange({255, 255, 255, uint8_t(mask)}, {10, 1, 2, uint8_t(host)}),
                  (HostBlock{first, limit}))
            << mask << " " << host;
}

TEST(IsUnitMac, needsThePrefixAndTheNibble)
{
    EXPECT_TRUE(IsUnitMac({0x02, 0x5a, 0xe1, 0x40, 0, 0}));
    EXPECT_TRUE(IsUnitMac({0x02, 0x5a, 0xe1, 0x4f, 0xff, 0xff}));
    for (const MacAddress& other : {MacAddress{0x02, 0x5a, 0xe1, 0x50, 0, 1},
                                    {0x02, 0x5a, 0xe1, 0x3f, 0, 1},
                                    {0x03, 0x5a, 0xe1, 0x41, 0, 1},
                                    {0x02, 0x5b, 0xe1, 0x41, 0, 1},
                                    {0x02, 0x5a, 0xe0, 0x41, 0, 1}})
        EXPECT_FALSE(IsUnitMac(other)) << MacDashText(other);
}

} // namespace
} // namespace zelvo
