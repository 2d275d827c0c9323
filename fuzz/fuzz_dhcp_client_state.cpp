// What this PC's DHCP clients say: nmcli's output, a networkd lease file and the command
// lines of running processes. Other programs write these, so any bytes may come.
#include "FuzzCheck.h"
#include "platform/PcDhcpClientState.h"

#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    using namespace zelvo;
    fuzz::InputReader in(data, size);
    const uint8_t which = in.U8();
    const auto rest = in.Rest();
    const std::string_view text(reinterpret_cast<const char*>(rest.data()), rest.size());
    switch (which % 3) {
    case 0: {
        const DhcpClientReport r = ParseNmcliDhcp4(text);
        const bool none = r.source == DhcpClientSource::None;
        ZELVO_FUZZ_CHECK(none || r.source == DhcpClientSource::NetworkManager);
        ZELVO_FUZZ_CHECK(r.optionsKnown != none);
        ZELVO_FUZZ_CHECK(!none || (r.routers.empty() && !r.maskText));
        ZELVO_FUZZ_CHECK(r.routers.size() <= text.size() / 7); // "1.1.1.1" is the shortest
        break;
    }
    case 1: {
        const DhcpClientReport r = ParseNetworkdLease(text);
        ZELVO_FUZZ_CHECK(r.source == DhcpClientSource::Networkd && r.optionsKnown);
        ZELVO_FUZZ_CHECK(!r.maskText || !r.maskText->empty());
        ZELVO_FUZZ_CHECK(r.routers.size() <= text.size() / 7);
        break;
    }
    default: {
        const std::vector<std::string> words = SplitCommandLine(text);
        std::string joined;
        for (std::size_t i = 0; i < words.size(); ++i)
            joined += (i ? std::string(1, '\0') : std::string()) + words[i];
        ZELVO_FUZZ_CHECK(joined == text || joined + '\0' == text);
        (void)IsDhcpClientFor(words, "eth0");
        (void)IsDhcpClientFor(words, words.empty() ? std::string() : words.back());
        break;
    }
    }
    return 0;
}
