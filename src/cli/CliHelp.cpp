#include "cli/CliHelp.h"

#include <algorithm>
#include <string_view>

namespace zelvo {
namespace {

constexpr std::size_t kHelpColumn = 24; // where option texts start in --help
constexpr std::size_t kHelpWidth = 79;

std::string OptionWords(const OptionEntry& option)
{
    std::string words;
    if (option.shortName != '\0') {
        words += '-';
        words += option.shortName;
        words += ", ";
    }
    words += "--";
    words += option.longName;
    if (option.valueName) {
        words += ' ';
        words += option.valueName;
    }
    return words;
}

// Breaks text into lines of at most width columns (ASCII), each after indent spaces;
// the first line continues whatever stands before it.
std::string Wrapped(std::string_view text, std::size_t indent, std::size_t firstColumn)
{
    std::string out;
    std::size_t column = firstColumn;
    bool lineStart = true;
    while (!text.empty()) {
        const std::size_t space = text.find(' ');
        const std::string_view word = text.substr(0, space);
        text = space == std::string_view::npos ? std::string_view{} : text.substr(space + 1);
        if (!lineStart && column + 1 + word.size() > kHelpWidth) {
            out += '\n';
            out.append(indent, ' ');
            column = indent;
            lineStart = true;
        }
        if (!lineStart) {
            out += ' ';
            ++column;
        }
        out += word;
        column += word.size();
        lineStart = false;
    }
    return out;
}

std::string Synopsis(const CommandEntry& command)
{
    std::string line = std::string(kCliProgramName) + ' ' + command.name;
    for (const OptionEntry& option : CliOptions()) {
        if ((command.options & OptionBit(option.id)) == 0 || option.id == OptionId::Help)
            continue;
        line += " [--";
        line += option.longName;
        if (option.valueName) {
            line += ' ';
            line += option.valueName;
        }
        line += ']';
    }
    if (command.operandCount > 0) {
        line += ' ';
        line += command.operands;
    }
    return line;
}

// Roff escapes: a backslash, and a dash that must stay a hyphen-minus in commands.
std::string Roff(std::string_view text)
{
    std::string out;
    for (char c : text) {
        if (c == '\\')
            out += "\\e";
        else if (c == '-')
            out += "\\-";
        else
            out += c;
    }
    // A line that starts with a dot or an apostrophe would be a request.
    if (!out.empty() && (out[0] == '.' || out[0] == '\''))
        out.insert(0, "\\&");
    return out;
}

} // namespace

std::string CliUsageText()
{
    std::string text = std::string("Usage: ") + kCliProgramName +
                       " COMMAND [OPTIONS] [OPERANDS]\n\n"
                       "Finds VELDIX storage units on the local segment and sets them up.\n\n"
                       "Commands:\n";
    for (const CommandEntry& command : CliCommands()) {
        std::string head = std::string("  ") + command.name;
        if (command.operandCount > 0)
            head += std::string(" ") + command.operands;
        head.resize(std::max(head.size() + 2, kHelpColumn), ' ');
        text += head + Wrapped(command.summary, kHelpColumn, head.size()) + '\n';
    }
    text += "\nCommon options:\n";
    for (OptionId id : {OptionId::Json, OptionId::Csv, OptionId::Quiet, OptionId::Help}) {
        std::string head = "  " + OptionWords(OptionOf(id));
        head.resize(std::max(head.size() + 2, kHelpColumn), ' ');
        text += head + Wrapped(OptionOf(id).help, kHelpColumn, head.size()) + '\n';
    }
    text += "  --version             Print the version and exit.\n";
    text += "\n" + Wrapped(kUnitOperandHelp, 0, 0) + "\n";
    text += "\nExit status: " + Wrapped(kExitStatusHelp, 0, 13) + "\n";
    text += std::string("\nRun '") + kCliProgramName + " help COMMAND' for a command's options.\n";
    return text;
}

std::string CliCommandHelpText(CliCommand which)
{
    const CommandEntry* command = FindCommand(which);
    if (!command)
        return CliUsageText();
    std::string text = "Usage: " + Wrapped(Synopsis(*command), 7, 7) + "\n\n";
    text += Wrapped(command->description, 0, 0) + "\n\nOptions:\n";
    for (const OptionEntry& option : CliOptions()) {
        if ((command->options & OptionBit(option.id)) == 0)
            continue;
        std::string head = "  " + OptionWords(option);
        head.resize(std::max(head.size() + 2, kHelpColumn), ' ');
        text += head + Wrapped(option.help, kHelpColumn, head.size()) + '\n';
    }
    if (command->operandCount > 0)
        text += "\n" + Wrapped(kUnitOperandHelp, 0, 0) + "\n";
    text += "\nExit status: " + Wrapped(kExitStatusHelp, 0, 13) + "\n";
    return text;
}

std::string CliManualPage(const std::string& version)
{
    std::string page;
    page += ".TH ZELVO\\-SETUP\\-CLI 1 \"\" \"Zelvo Setup Tool " + Roff(version) +
            "\" \"User Commands\"\n";
    page += ".SH NAME\n" + Roff(kCliProgramName) +
            " \\- find and set up VELDIX network storage units from a shell\n";
    page += ".SH SYNOPSIS\n";
    for (const CommandEntry& command : CliCommands())
        page += ".B " + Roff(Synopsis(command)) + "\n.br\n";
    page += ".SH DESCRIPTION\n"
            "The command\\-line front end of the Zelvo Setup Tool runs the jobs of the "
            "window from a shell or a script. Results go to standard output, progress, "
            "messages and questions to standard error. Messages follow the system's "
            "default language, as the window's do. The tool reads manager.ini and writes "
            "manager.log as the window does.\n";
    page += ".SH COMMANDS\n";
    for (const CommandEntry& command : CliCommands()) {
        page += ".TP\n.B " + Roff(command.name);
        if (command.operandCount > 0)
            page += std::string(" ") + "\\fI" + Roff(command.operands) + "\\fR";
        page += "\n" + Roff(command.description) + "\n";
    }
    page += ".SH OPTIONS\n";
    for (const OptionEntry& option : CliOptions()) {
        page += ".TP\n.B " + Roff(OptionWords(option)) + "\n" + Roff(option.help) + "\n";
        std::string takers;
        for (const CommandEntry& command : CliCommands())
            if (command.options & OptionBit(option.id))
                takers += std::string(takers.empty() ? "" : ", ") + command.name;
        page += "Taken by: " + Roff(takers) + ".\n";
    }
    page += ".TP\n.B \\-\\-version\nPrint the version and exit.\n";
    page += ".SH UNITS\n" + Roff(kUnitOperandHelp) + "\n";
    page += ".SH EXIT STATUS\n" + Roff(kExitStatusHelp) + "\n";
    page += ".SH FILES\n.TP\n.I manager.ini\nThe unit's page paths and FTP folders.\n"
            ".TP\n.I manager.log\nThe diagnostic log, recreated at every start.\n";
    page += ".SH SEE ALSO\n.BR zelvo\\-setup (1)\n";
    return page;
}

} // namespace zelvo
