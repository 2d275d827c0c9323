#pragma once
#include "cli/CliCommandTable.h"
#include "platform/NetAddress.h"

#include <optional>
#include <span>
#include <string>
#include <vector>

namespace zelvo {

enum class OutputFormat
{
    Table,
    Json,
    Csv,
};

// What the command line asked for.
struct CliRequest
{
    CliCommand command = CliCommand::None;
    OutputFormat format = OutputFormat::Table;
    bool quiet = false;
    bool yes = false;
    bool open = false;
    bool help = false;                        // --help, or "help [COMMAND]": show help, run nothing
    bool version = false;                     // --version
    std::optional<std::string> mac;           // assign --mac, as typed (checked)
    std::optional<int> waitSeconds;           // assign --wait
    std::optional<std::string> toDirectory;   // backup --to
    std::optional<std::string> interfaceName; // diagnose --interface
    std::vector<std::string> operands;        // UNIT, FILE
};

// A parse either gives a request or says what is wrong with the command line.
struct ParsedArguments
{
    std::optional<CliRequest> request;
    std::string error; // one line, no line end; empty when request is set
};

// Reads the arguments after the program name. Options may stand before or after the
// command and its operands; "--" ends the options; "--name=value" and "--name value"
// both work; single-letter flags may be joined ("-qy"). Every option must be one the
// command takes; operands must be as many as the command takes.
ParsedArguments ParseCliArguments(std::span<const std::string> args);

// Accepts "02:5a:e1:40:00:01", "02-5A-E1-40-00-01": six pairs of hexadecimal digits
// joined by one separator used throughout.
bool ParseMacText(const std::string& text, MacAddress& mac);

} // namespace zelvo
