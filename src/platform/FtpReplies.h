#pragma once
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zelvo {

// Readers of what an FTP server sends back, apart from the connection that received it,
// so that any byte sequence a server (or something posing as one) sends can be checked.

// The directory of the last "257 "<path>" ..." line among a step's reply lines, a doubled
// quote standing for one quote in the path. nullopt when no such line starts a line, the
// path has no quotes, its closing quote is missing before the line ends, or it holds a NUL.
std::optional<std::string> ParsePwdReply(std::string_view replies);

// The file names of a name listing (NLST): one per line, LF or CRLF, in the server's
// order. A "folder/name" line gives name; empty lines, "." and "..", and names holding a
// NUL or a carriage return (no command could name them) give nothing.
std::vector<std::string> ParseNameListing(std::string_view listing);

// The last non-empty line of a step's replies without its line break, for messages.
std::string LastReplyLine(std::string_view replies);

} // namespace zelvo
