// Names of DNS-style messages with compression pointers: whatever the bytes, the reader
// ends, stays inside the message and never gives a name longer than a name can be.
#include "FuzzCheck.h"
#include "platform/DnsWireName.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    using namespace zelvo;
    fuzz::InputReader in(data, size);
    const std::size_t offset = in.U8();
    const uint16_t questions = in.U8() % 8;
    const auto message = in.Rest();

    if (const auto name = ReadWireName(message, offset)) {
        ZELVO_FUZZ_CHECK(name->next > offset && name->next <= message.size());
        ZELVO_FUZZ_CHECK(name->text.size() <= 254);
    }
    // No question at all leaves the offset where it was, inside the message or not.
    if (const auto after = SkipQuestions(message, offset, questions); after && questions > 0) {
        ZELVO_FUZZ_CHECK(*after <= message.size());
        ZELVO_FUZZ_CHECK(*after >= offset + questions * 5u); // a root label and four bytes each
    }
    return 0;
}
