// The output of "nft -j list ruleset" as the firewall verdict reads it: any bytes are
// either no JSON or a ruleset; the walk over it ends, and a verdict is one of the three.
#include "FuzzCheck.h"
#include "core/FirewallVerdict.h"
#include "core/JsonValue.h"

#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    using namespace zelvo;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto parsed = ParseJson(text);
    const FirewallJudgement j =
        JudgePort67OnCard(text, "eth0", Ipv4Address::FromOctets(192, 168, 0, 10));
    ZELVO_FUZZ_CHECK(j.verdict == Port67Verdict::Open || j.verdict == Port67Verdict::Dropped ||
                     j.verdict == Port67Verdict::Unknown);
    // Without a document there is nothing to be open about (blank text: no rules).
    if (!parsed && text.find_first_not_of(" \t\r\n") != std::string_view::npos)
        ZELVO_FUZZ_CHECK(j.verdict == Port67Verdict::Unknown);
    if (j.verdict == Port67Verdict::Dropped)
        ZELVO_FUZZ_CHECK(!OpenPort67Command(j, "eth0").empty());
    return 0;
}
