#include "platform/FtpReplies.h"

namespace zelvo {

std::optional<std::string> ParsePwdReply(std::string_view replies)
{
    // The reply code must start a line: "220-welcome, 257 ..." in a greeting is text.
    std::size_t at = replies.rfind("257 ");
    while (at != std::string_view::npos && at != 0 && replies[at - 1] != '\n')
        at = replies.rfind("257 ", at - 1);
    if (at == std::string_view::npos)
        return std::nullopt;
    std::size_t i = replies.find('"', at);
    if (i == std::string_view::npos)
        return std::nullopt;
    std::string path;
    for (++i; i < replies.size(); ++i) {
        if (replies[i] == '"') {
            if (i + 1 < replies.size() && replies[i + 1] == '"') {
                path += '"';
                ++i;
                continue;
            }
            return path;
        }
        // A path with a NUL could never be named in a command again.
        if (replies[i] == '\r' || replies[i] == '\n' || replies[i] == '\0')
            return std::nullopt;
        path += replies[i];
    }
    return std::nullopt;
}

std::vector<std::string> ParseNameListing(std::string_view listing)
{
    std::vector<std::string> names;
    std::size_t start = 0;
    while (start < listing.size()) {
        std::size_t end = listing.find('\n', start);
        if (end == std::string_view::npos)
            end = listing.size();
        std::string_view line = listing.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        // Some servers answer NLST with "dir/name".
        if (const auto slash = line.rfind('/'); slash != std::string_view::npos)
            line.remove_prefix(slash + 1);
        // A name with a NUL or a carriage return cannot be sent back in a command: cut at
        // the NUL it would name another file, and a line break ends the command early.
        const bool nameable = line.find_first_of(std::string_view("\0\r", 2)) == line.npos;
        if (nameable && !line.empty() && line != "." && line != "..")
            names.emplace_back(line);
        start = end + 1;
    }
    return names;
}

std::string LastReplyLine(std::string_view replies)
{
    while (!replies.empty() && (replies.back() == '\n' || replies.back() == '\r'))
        replies.remove_suffix(1);
    const auto start = replies.rfind('\n');
    return std::string(start == std::string_view::npos ? replies : replies.substr(start + 1));
}

} // namespace zelvo
