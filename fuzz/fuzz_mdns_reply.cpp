// Unicast mDNS answers to a reverse (PTR) question: a host name only from an answer to
// our query id for the address asked about, printable and never empty.
#include "FuzzCheck.h"
#include "platform/MdnsReverse.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    using namespace zelvo;
    const std::span<const uint8_t> reply(data, size);
    const uint16_t id = size >= 2 ? static_cast<uint16_t>((data[0] << 8) | data[1]) : 0;
    const Ipv4Address unit = Ipv4Address::FromOctets(10, 231, 7, 21);
    const auto name = ParseMdnsPtrReply(reply, id, unit);
    if (name) {
        ZELVO_FUZZ_CHECK(!name->empty() && name->size() <= 254);
        for (unsigned char c : *name)
            ZELVO_FUZZ_CHECK(c > 0x20 && c < 0x7F);
    }
    ZELVO_FUZZ_CHECK(!ParseMdnsPtrReply(reply, static_cast<uint16_t>(id ^ 1), unit));
    return 0;
}
