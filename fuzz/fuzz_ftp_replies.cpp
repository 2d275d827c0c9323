// A server's replies and name listings: whatever the bytes, the directory read from a PWD
// reply and every listed name can be written back into a command, and writing them back
// the way a server would gives the same directory and names again.
#include "FuzzCheck.h"
#include "platform/FtpReplies.h"

#include <string>
#include <string_view>

namespace {

bool Nameable(std::string_view text)
{
    return text.find_first_of(std::string_view("\0\r\n", 3)) == std::string_view::npos;
}

// The path as a server quotes it: every quote doubled.
std::string Quoted(std::string_view path)
{
    std::string out = "\"";
    for (const char c : path)
        out += c == '"' ? std::string("\"\"") : std::string(1, c);
    return out + "\"";
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    using namespace zelvo;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);

    if (const auto path = ParsePwdReply(bytes)) {
        ZELVO_FUZZ_CHECK(path->size() < size);
        ZELVO_FUZZ_CHECK(Nameable(*path));
        ZELVO_FUZZ_CHECK(bytes.find(Quoted(*path)) != std::string_view::npos);
        const std::string again = "250 ok\r\n257 " + Quoted(*path) + " is the directory\r\n";
        ZELVO_FUZZ_CHECK(ParsePwdReply(again) == path);
        // A reply line after a complete exchange does not change what it said.
        if (bytes.ends_with('\n'))
            ZELVO_FUZZ_CHECK(ParsePwdReply(std::string(bytes) + "200 ok\r\n") == path);
    }

    const auto names = ParseNameListing(bytes);
    std::size_t lines = 0;
    for (const char c : bytes)
        lines += c == '\n';
    ZELVO_FUZZ_CHECK(names.size() <= lines + 1);
    std::string listing;
    for (const std::string& name : names) {
        ZELVO_FUZZ_CHECK(!name.empty() && name != "." && name != "..");
        ZELVO_FUZZ_CHECK(Nameable(name) && name.find('/') == std::string::npos);
        ZELVO_FUZZ_CHECK(bytes.find(name) != std::string_view::npos);
        listing += name + "\r\n";
    }
    ZELVO_FUZZ_CHECK(ParseNameListing(listing) == names);

    const std::string last = LastReplyLine(bytes);
    ZELVO_FUZZ_CHECK(last.find('\n') == std::string::npos);
    ZELVO_FUZZ_CHECK(bytes.find(last) != std::string_view::npos);
    ZELVO_FUZZ_CHECK(last.empty() || last.back() != '\r');
    return 0;
}
