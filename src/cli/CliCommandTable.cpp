#include "cli/CliCommandTable.h"

#include <cstring>

namespace zelvo {
namespace {

constexpr unsigned kOutput = OptionBit(OptionId::Json) | OptionBit(OptionId::Csv) |
                             OptionBit(OptionId::Quiet) | OptionBit(OptionId::Help) |
                             OptionBit(OptionId::Interface);

constexpr OptionEntry kOptions[] = {
    {OptionId::Json, "json", '\0', nullptr, "Print the result as one JSON object."},
    {OptionId::Csv, "csv", '\0', nullptr,
     "Print the result as comma-separated values with a header line."},
    {OptionId::Quiet, "quiet", 'q', nullptr,
     "Draw no progress line on standard error while the command waits."},
    {OptionId::Yes, "yes", 'y', nullptr,
     "Answer every question of the command with yes. Without it a question is asked on the "
     "terminal, and without a terminal the command refuses."},
    {OptionId::Help, "help", 'h', nullptr, "Show the help of the command and exit."},
    {OptionId::Mac, "mac", '\0', "MAC",
     "Serve only the unit with this MAC address (six hexadecimal pairs joined by ':' or "
     "'-')."},
    {OptionId::Wait, "wait", '\0', "SECONDS",
     "How long to wait for a unit that asks for an address, 1 to 3600 seconds (default: "
     "as long as the window's Set IP waits)."},
    {OptionId::To, "to", '\0', "DIR",
     "Save the configuration file in DIR instead of the tool's folder."},
    {OptionId::Open, "open", '\0', nullptr,
     "Open the page in the desktop's browser instead of only printing its address. Run as "
     "root, no browser is started: the address is printed and the refusal said."},
    {OptionId::Interface, "interface", '\0', "NAME",
     "Work on the network card NAME only (as 'ip link' names it) instead of on every card "
     "that is up with a cable and an IPv4 address. Except for diagnose, a card that is "
     "missing or cannot be used ends the command with status 2."},
};

constexpr CommandEntry kCommands[] = {
    {CliCommand::Search, "search", "", 0, kOutput, "find the units on the local segment",
     "Runs the search of the window's Search button: the units of the segment are made to "
     "answer an ICMP broadcast, recognised in the neighbour table by their MAC prefix and "
     "named by their computer names. Prints the PC's own row and one row per unit listed. "
     "Unlike the window's Search, it does not first listen for a unit that waits for an "
     "address (UDP port 67); assign does that."},
    {CliCommand::Assign, "assign", "", 0,
     kOutput | OptionBit(OptionId::Yes) | OptionBit(OptionId::Mac) | OptionBit(OptionId::Wait),
     "give a unit that waits for an address a temporary one",
     "Answers the DHCP requests of a unit without an address, as the window's Set IP does "
     "on a segment without a DHCP server: only units' MAC addresses are served. Prints the "
     "address given and the unit's name. Needs the socket helper or CAP_NET_BIND_SERVICE."},
    {CliCommand::Backup, "backup", "UNIT", 1,
     kOutput | OptionBit(OptionId::Yes) | OptionBit(OptionId::To),
     "save a unit's configuration file on this PC",
     "Fetches the unit's configuration file over FTP and saves it under the name the window "
     "gives it. Prints the file saved and the transfer's result code. A --to folder that "
     "does not exist or cannot be written to ends the command before the search."},
    {CliCommand::Restore, "restore", "UNIT FILE", 2, kOutput | OptionBit(OptionId::Yes),
     "send a saved configuration file back to its unit",
     "Uploads FILE, a configuration file saved by backup, to the unit it came from. Prints "
     "the transfer's result code and the page that makes the file valid. A FILE that "
     "cannot be read to its end ends the command before the search."},
    {CliCommand::Firmware, "firmware", "UNIT FILE", 2, kOutput | OptionBit(OptionId::Yes),
     "upload a firmware file to a unit",
     "Uploads the firmware FILE to the unit's firmware folder. Prints the transfer's result "
     "code and the page that installs the firmware. A FILE that cannot be read to its end, "
     "or whose name is not a firmware file's, ends the command before the search, and the "
     "unit keeps its firmware."},
    {CliCommand::Web, "web", "UNIT", 1, kOutput | OptionBit(OptionId::Open),
     "print or open the address of a unit's web tool",
     "Prints the address of the unit's web administration pages; with --open the desktop's "
     "browser opens them."},
    {CliCommand::Diagnose, "diagnose", "", 0,
     OptionBit(OptionId::Json) | OptionBit(OptionId::Help) | OptionBit(OptionId::Interface),
     "tell why a unit is not found, card by card",
     "Prints, for each network card of the PC: carrier, address and block, default route, the "
     "units' MAC addresses in the neighbour table, whether a DHCP server configured the card, "
     "whether the host firewall lets DHCP requests (UDP port 67) in and the command that "
     "opens it, and a one-line verdict; then which ICMP path the search can use and whether "
     "this account may open UDP port 67. Sends nothing on the network and needs no root: "
     "the neighbour table holds what the PC heard lately (run search first); without root "
     "the firewall's rules usually cannot be read. Changes nothing."},
};

} // namespace

const char* const kUnitOperandHelp =
    "UNIT names a unit as search lists it: its IP address (10.0.0.21), its MAC address "
    "(02-5a-e1-40-00-01 or 02:5a:e1:40:00:01) or its computer name (NAS01, any case). "
    "A unit named by its IP address is asked directly (one echo request, the neighbour "
    "table, its computer name); one named by MAC address or name is searched for first.";

const char* const kExitStatusHelp =
    "0 done; 1 nothing found, no such unit, the unit or the transfer refused, or a question "
    "refused; 2 wrong usage or an environment that cannot run the command (no manager.ini, "
    "no network, another instance running).";

std::span<const OptionEntry> CliOptions()
{
    return kOptions;
}

std::span<const CommandEntry> CliCommands()
{
    return kCommands;
}

const CommandEntry* FindCommand(const char* name)
{
    for (const CommandEntry& entry : kCommands)
        if (std::strcmp(entry.name, name) == 0)
            return &entry;
    return nullptr;
}

const CommandEntry* FindCommand(CliCommand command)
{
    for (const CommandEntry& entry : kCommands)
        if (entry.command == command)
            return &entry;
    return nullptr;
}

const OptionEntry& OptionOf(OptionId id)
{
    for (const OptionEntry& entry : kOptions)
        if (entry.id == id)
            return entry;
    return kOptions[0]; // every id has a row; this keeps the compiler content
}

} // namespace zelvo
