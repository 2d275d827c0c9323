#pragma once
#include "cli/CliCommandTable.h"

#include <string>

namespace zelvo {

// The name the command is installed under.
inline constexpr const char* kCliProgramName = "zelvo-setup-cli";

// The overview: every command with its summary, the common options, the exit statuses.
std::string CliUsageText();
// The help of one command: synopsis, description, its options, UNIT when it takes one.
std::string CliCommandHelpText(CliCommand command);
// The manual page (roff, section 1), from the same rows as the help texts.
std::string CliManualPage(const std::string& version);

} // namespace zelvo
