#include "cli/CliArguments.h"

#include <charconv>
#include <cstring>

namespace zelvo {
namespace {

constexpr int kLongestWaitSeconds = 3600;

const OptionEntry* FindLong(std::string_view name)
{
    for (const OptionEntry& entry : CliOptions())
        if (name == entry.longName)
            return &entry;
    return nullptr;
}

const OptionEntry* FindShort(char letter)
{
    for (const OptionEntry& entry : CliOptions())
        if (entry.shortName != '\0' && entry.shortName == letter)
            return &entry;
    return nullptr;
}

std::string Dashed(const OptionEntry& entry)
{
    return std::string("--") + entry.longName;
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Collects the options in the order given; they are checked against the command once
// the command is known, since options may come first.
struct Seen
{
    const OptionEntry* entry;
    std::string value;
};

// Stores one option into the request; returns an error text or empty.
std::string Apply(const Seen& seen, CliRequest& request)
{
    switch (seen.entry->id) {
    case OptionId::Json:
    case OptionId::Csv: {
        const OutputFormat format =
            seen.entry->id == OptionId::Json ? OutputFormat::Json : OutputFormat::Csv;
        if (request.format != OutputFormat::Table && request.format != format)
            return "--json and --csv exclude each other";
        request.format = format;
        return {};
    }
    case OptionId::Quiet:
        request.quiet = true;
        return {};
    case OptionId::Yes:
        request.yes = true;
        return {};
    case OptionId::Help:
        request.help = true;
        return {};
    case OptionId::Open:
        request.open = true;
        return {};
    case OptionId::Mac: {
        MacAddress mac;
        if (!ParseMacText(seen.value, mac))
            return "--mac needs a MAC address such as 02:5a:e1:40:00:01, not '" + seen.value + "'";
        request.mac = seen.value;
        return {};
    }
    case OptionId::Wait: {
        int seconds = 0;
        const char* first = seen.value.data();
        const char* last = first + seen.value.size();
        const auto [end, ec] = std::from_chars(first, last, seconds);
        if (ec != std::errc{} || end != last || seconds < 1 || seconds > kLongestWaitSeconds)
            return "--wait needs whole seconds from 1 to 3600, not '" + seen.value + "'";
        request.waitSeconds = seconds;
        return {};
    }
    case OptionId::To:
        if (seen.value.empty())
            return "--to needs a folder";
        request.toDirectory = seen.value;
        return {};
    case OptionId::Interface:
        if (seen.value.empty())
            return "--interface needs a card's name";
        request.interfaceName = seen.value;
        return {};
    }
    return "unknown option";
}

ParsedArguments Fail(std::string text)
{
    return ParsedArguments{std::nullopt, std::move(text)};
}

} // namespace

bool ParseMacText(const std::string& text, MacAddress& mac)
{
    if (text.size() != 17)
        return false;
    const char separator = text[2];
    if (separator != ':' && separator != '-')
        return false;
    for (int i = 0; i < 6; ++i) {
        const std::size_t at = static_cast<std::size_t>(i) * 3;
        const int high = HexDigit(text[at]);
        const int low = HexDigit(text[at + 1]);
        if (high < 0 || low < 0)
            return false;
        if (i < 5 && text[at + 2] != separator)
            return false;
        mac[static_cast<std::size_t>(i)] = static_cast<uint8_t>(high * 16 + low);
    }
    return true;
}

ParsedArguments ParseCliArguments(std::span<const std::string> args)
{
    CliRequest request;
    std::vector<Seen> seen;
    std::vector<std::string> words; // the command and its operands, in order
    bool optionsEnded = false;

    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            words.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        if (arg == "--version") {
            request.version = true;
            continue;
        }
        if (arg.rfind("--", 0) == 0) {
            const std::size_t equals = arg.find('=');
            const std::string name =
                arg.substr(2, equals == std::string::npos ? std::string::npos : equals - 2);
            const OptionEntry* entry = FindLong(name);
            if (!entry)
                return Fail("unknown option '--" + name + "'");
            if (!entry->valueName) {
                if (equals != std::string::npos)
                    return Fail(Dashed(*entry) + " takes no value");
                seen.push_back({entry, {}});
            } else if (equals != std::string::npos) {
                seen.push_back({entry, arg.substr(equals + 1)});
            } else if (i + 1 < args.size()) {
                seen.push_back({entry, args[++i]});
            } else {
                return Fail(Dashed(*entry) + " needs a " + entry->valueName);
            }
            continue;
        }
        // Single letters, possibly joined; none of them takes a value.
        for (std::size_t k = 1; k < arg.size(); ++k) {
            const OptionEntry* entry = FindShort(arg[k]);
            if (!entry)
                return Fail(std::string("unknown option '-") + arg[k] + "'");
            seen.push_back({entry, {}});
        }
    }

    std::size_t firstOperand = 0;
    if (!words.empty()) {
        if (words[0] == "help") {
            request.help = true;
            if (words.size() > 2)
                return Fail("help takes at most one command");
            if (words.size() == 2) {
                const CommandEntry* entry = FindCommand(words[1].c_str());
                if (!entry)
                    return Fail("unknown command '" + words[1] + "'");
                request.command = entry->command;
            }
            return ParsedArguments{request, {}};
        }
        const CommandEntry* entry = FindCommand(words[0].c_str());
        if (!entry)
            return Fail("unknown command '" + words[0] + "'");
        request.command = entry->command;
        firstOperand = 1;
    }

    const CommandEntry* command = FindCommand(request.command);
    for (const Seen& option : seen) {
        const bool global = option.entry->id == OptionId::Help;
        if (command && !global && (command->options & OptionBit(option.entry->id)) == 0)
            return Fail(Dashed(*option.entry) + " does not apply to " + command->name);
        if (!command && !global && option.entry->id != OptionId::Quiet)
            return Fail(Dashed(*option.entry) + " needs a command before it applies");
        if (std::string error = Apply(option, request); !error.empty())
            return Fail(std::move(error));
    }

    if (request.help || request.version)
        return ParsedArguments{request, {}};
    if (!command)
        return Fail("no command given");

    request.operands.assign(words.begin() + static_cast<std::ptrdiff_t>(firstOperand), words.end());
    const auto count = static_cast<int>(request.operands.size());
    if (count != command->operandCount) {
        if (command->operandCount == 0)
            return Fail(std::string(command->name) + " takes no operands");
        return Fail(std::string(command->name) + " needs " + command->operands +
                    (count < command->operandCount ? "" : ", nothing more"));
    }
    for (const std::string& operand : request.operands)
        if (operand.empty())
            return Fail(std::string(command->name) + ": an operand is empty");
    return ParsedArguments{request, {}};
}

} // namespace zelvo
