// NetBIOS node status replies from anyone on the segment (UDP 137 answers are not
// authenticated): the computer name is taken only from a reply to our own transaction,
// it is a trimmed name of at most 15 printable bytes, or nothing.
#include "FuzzCheck.h"
#include "platform/NetbiosNodeStatus.h"

#include <algorithm>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    using namespace zelvo;
    const std::span<const uint8_t> reply(data, size);
    // The transaction the reply claims to answer, so the fuzzer reaches the body.
    const uint16_t id = size >= 2 ? static_cast<uint16_t>((data[0] << 8) | data[1]) : 0;
    const auto name = ParseNodeStatusReply(reply, id);
    if (name) {
        ZELVO_FUZZ_CHECK(!name->empty() && name->size() <= 15);
        ZELVO_FUZZ_CHECK(name->back() != ' ');
        for (unsigned char c : *name)
            ZELVO_FUZZ_CHECK(c >= 0x20 && c != 0x7F);
        const auto* bytes = reinterpret_cast<const uint8_t*>(name->data());
        ZELVO_FUZZ_CHECK(std::search(reply.begin(), reply.end(), bytes, bytes + name->size()) !=
                         reply.end());
    }
    ZELVO_FUZZ_CHECK(!ParseNodeStatusReply(reply, static_cast<uint16_t>(id ^ 1)));
    return 0;
}
