#pragma once
#include <span>

namespace zelvo {

// The command line's sub-commands and options, described once: the parser takes what
// each command accepts from here, and the --help texts and the manual page are written
// from the same rows, so the three never disagree.
//
// The texts are English only: they describe a command line whose words are English,
// and the manual page built from them is installed in English.

enum class CliCommand
{
    None,
    Search,
    Assign,
    Backup,
    Restore,
    Firmware,
    Web,
    Diagnose,
};

enum class OptionId
{
    Json,
    Csv,
    Quiet,
    Yes,
    Help,
    Mac,
    Wait,
    To,
    Open,
    Interface,
};

struct OptionEntry
{
    OptionId id;
    const char* longName;  // without the leading "--"
    char shortName;        // '\0' when there is none
    const char* valueName; // nullptr for a flag
    const char* help;
};

struct CommandEntry
{
    CliCommand command;
    const char* name;
    const char* operands; // "UNIT FILE", "" for none
    int operandCount;
    unsigned options; // OptionBit of every option the command takes
    const char* summary;
    const char* description;
};

constexpr unsigned OptionBit(OptionId id)
{
    return 1u << static_cast<unsigned>(id);
}

std::span<const OptionEntry> CliOptions();
std::span<const CommandEntry> CliCommands();

// The row of a command name, or of a command; nullptr when there is none.
const CommandEntry* FindCommand(const char* name);
const CommandEntry* FindCommand(CliCommand command);
const OptionEntry& OptionOf(OptionId id);

// Text shown when a UNIT operand is explained (help and manual page).
extern const char* const kUnitOperandHelp;
// The exit statuses, explained once for the help and the manual page.
extern const char* const kExitStatusHelp;

} // namespace zelvo
