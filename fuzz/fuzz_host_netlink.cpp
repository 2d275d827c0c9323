// Datagrams of the link, address and route dumps the start-up survey reads. The input is
// cut into datagrams at a marker so that several chunks feed one accumulator, as a real
// dump does.
#include "FuzzCheck.h"
#include "platform/HostNetlinkParse.h"

#include <algorithm>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    using namespace zelvo;
    constexpr uint32_t kSequence = 7;
    static constexpr uint8_t kCut[] = {'C', 'U', 'T', '!'};
    HostDumpAccumulator into;
    std::span<const uint8_t> rest(data, size);
    while (true) {
        const auto cut = std::search(rest.begin(), rest.end(), std::begin(kCut), std::end(kCut));
        const auto datagram = rest.first(static_cast<std::size_t>(cut - rest.begin()));
        const Outcome<DumpChunk> r = ParseRtnetlinkChunk(datagram, kSequence, into);
        ZELVO_FUZZ_CHECK(r.Ok() || (r.Code() > 0 && r.Code() < 4096));
        if (!r.Ok() || r.Value().progress != DumpProgress::More || cut == rest.end())
            break;
        rest = rest.subspan(datagram.size() + sizeof kCut);
    }
    const HostNetworkState state = into.Finish();
    ZELVO_FUZZ_CHECK(state.interfaces.size() == into.links.size());
    std::size_t attached = 0;
    for (const HostInterface& link : state.interfaces) {
        attached += link.addresses.size();
        for (const HostIfAddress& address : link.addresses)
            ZELVO_FUZZ_CHECK(address.prefixLength <= 32);
        ZELVO_FUZZ_CHECK(link.name.find('\0') == std::string::npos);
    }
    ZELVO_FUZZ_CHECK(attached <= into.addresses.size());
    ZELVO_FUZZ_CHECK(std::is_sorted(
        state.interfaces.begin(), state.interfaces.end(),
        [](const HostInterface& a, const HostInterface& b) { return a.index < b.index; }));
    return 0;
}
