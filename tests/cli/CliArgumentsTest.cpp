// The command line's grammar and its help.
#include "cli/CliArguments.h"
#include "cli/CliHelp.h"

#include <gtest/gtest.h>

namespace zelvo {
namespace {

// "command format qyoh operands options" (format: 0 table, 1 json, 2 csv).
std::string Short(const CliRequest& r)
{
    std::string text = std::to_string(int(r.command)) + " " + std::to_string(int(r.format)) + " " +
                       (r.quiet ? "q" : "") + (r.yes ? "y" : "") + (r.open ? "o" : "") +
                       (r.help ? "h" : "");
    for (const std::string& operand : r.operands)
        text += " " + operand;
    const auto wait = r.waitSeconds ? std::optional(std::to_string(*r.waitSeconds)) : std::nullopt;
    for (const auto& [name, value] : {std::pair{" mac=", r.mac},
                                      {" wait=", wait},
                                      {" to=", r.toDirectory},
                                      {" if=", r.interfaceName}})
        text += value ? name + *value : "";
    return text;
}

TEST(CliArguments, acceptedLinesGiveTheRequest)
{
    using C = CliCommand;
    const auto n = [](CliCommand c) { return std::to_string(int(c)); };
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"search"}, n(C::Search) + " 0 "},
        {{"search", "--json"}, n(C::Search) + " 1 "},
        {{"--csv", "search"}, n(C::Search) + " 2 "},
        {{"-q", "search", "--json", "--json"}, n(C::Search) + " 1 q"},
        {{"backup", "NAS01", "-qy"}, n(C::Backup) + " 0 qy NAS01"},
        {{"restore", "--yes", "10.0.0.21", "a.dat"}, n(C::Restore) + " 0 y 10.0.0.21 a.dat"},
        // "--" lets a file whose name starts with a dash through.
        {{"firmware", "NAS01", "--", "-odd.fup"}, n(C::Firmware) + " 0  NAS01 -odd.fup"},
        {{"web", "--open", "NAS01"}, n(C::Web) + " 0 o NAS01"},
        // Help needs no operands and wins over everything else.
        {{"backup", "--help"}, n(C::Backup) + " 0 h"},
        {{"help", "assign"}, n(C::Assign) + " 0 h"},
        {{"--help"}, n(C::None) + " 0 h"},
        {{"assign"}, n(C::Assign) + " 0 "},
        {{"assign", "--mac", "02:5a:e1:40:00:03", "--wait", "30"},
         n(C::Assign) + " 0  mac=02:5a:e1:40:00:03 wait=30"},
        {{"assign", "--mac=02-5A-E1-40-00-03", "--wait=30"},
         n(C::Assign) + " 0  mac=02-5A-E1-40-00-03 wait=30"},
        {{"backup", "NAS01", "--to", "/tmp/x"}, n(C::Backup) + " 0  NAS01 to=/tmp/x"},
        {{"diagnose", "--json", "--interface=eth1"}, n(C::Diagnose) + " 1  if=eth1"},
        {{"web", "--interface=eth1", "NAS01"}, n(C::Web) + " 0  NAS01 if=eth1"},
        {{"--interface", "eth1", "web", "NAS01"}, n(C::Web) + " 0  NAS01 if=eth1"},
        {{"search", "--interface", "wlan0"}, n(C::Search) + " 0  if=wlan0"}};
    for (const auto& [args, request] : cases) {
        const ParsedArguments parsed = ParseCliArguments(args);
        ASSERT_TRUE(parsed.request) << parsed.error;
        EXPECT_EQ(Short(*parsed.request), request);
    }
}

TEST(CliArguments, refusedLinesSayWhy)
{
    const std::pair<std::vector<std::string>, const char*> cases[] = {
        {{}, "no command"},
        {{"-q"}, "no command"},
        {{"find"}, "unknown command 'find'"},
        {{"search", "--frobnicate"}, "unknown option '--frobnicate'"},
        {{"search", "-x"}, "unknown option '-x'"},
        {{"search", "NAS01"}, "takes no operands"},
        {{"backup"}, "needs UNIT"},
        {{"restore", "NAS01"}, "needs UNIT FILE"},
        {{"web", "NAS01", "NAS02"}, "nothing more"},
        {{"search", "--json", "--csv"}, "exclude each other"},
        {{"search", "--yes"}, "--yes does not apply to search"},
        {{"web", "NAS01", "--to", "/tmp"}, "--to does not apply to web"},
        {{"backup", "NAS01", "--open"}, "--open does not apply"},
        {{"assign", "--mac"}, "--mac needs a MAC"},
        {{"assign", "--mac", "02:5a:e1:40:00"}, "--mac needs a MAC"},
        {{"assign", "--mac", "02:5a-e1:40:00:03"}, "--mac needs a MAC"},
        {{"assign", "--mac", "02:5a:e1:40:00:0g"}, "--mac needs a MAC"},
        {{"assign", "--wait", "0"}, "--wait needs whole seconds"},
        {{"assign", "--wait", "3601"}, "--wait needs whole seconds"},
        {{"assign", "--wait", "10s"}, "--wait needs whole seconds"},
        {{"assign", "--wait="}, "--wait needs whole seconds"},
        {{"search", "--quiet=1"}, "takes no value"},
        {{"diagnose", "--csv"}, "--csv does not apply to diagnose"},
        {{"diagnose", "--interface="}, "--interface needs a card"},
        {{"search", "--interface"}, "--interface needs a NAME"},
        {{"help", "find"}, "unknown command"},
        {{"web", ""}, "empty"}};
    for (const auto& [args, says] : cases) {
        const ParsedArguments parsed = ParseCliArguments(args);
        EXPECT_FALSE(parsed.request) << says;
        EXPECT_NE(parsed.error.find(says), std::string::npos) << parsed.error;
    }
}

// The help and the manual page describe what the parser accepts; the help fits 80 columns.
TEST(CliArguments, helpAndManualPageDescribeWhatTheParserAccepts)
{
    const std::string page = CliManualPage("9.8.7");
    const auto fits = [](const std::string& text) {
        std::size_t start = 0;
        for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
            EXPECT_LE(end - start, 79u) << text.substr(start, end - start);
    };
    fits(CliUsageText());
    for (const CommandEntry& command : CliCommands()) {
        const std::string help = CliCommandHelpText(command.command);
        fits(help);
        EXPECT_NE(page.find(std::string(".B ") + command.name), std::string::npos) << command.name;
        for (const OptionEntry& option : CliOptions()) {
            std::vector<std::string> args{command.name};
            args.push_back(std::string("--") + option.longName);
            if (option.valueName)
                args.push_back(option.id == OptionId::Mac    ? "02:5a:e1:40:00:01"
                               : option.id == OptionId::Wait ? "5"
                                                             : "/tmp");
            for (int i = 0; i < command.operandCount; ++i)
                args.push_back("X" + std::to_string(i));
            const bool accepted = ParseCliArguments(args).request.has_value();
            const bool documented =
                help.find(std::string("--") + option.longName) != std::string::npos;
            EXPECT_EQ(accepted, documented) << command.name << " --" << option.longName;
        }
    }
    for (const OptionEntry& option : CliOptions()) {
        std::string escaped = "\\-\\-";
        for (char c : std::string(option.longName))
            escaped += c == '-' ? std::string("\\-") : std::string(1, c);
        EXPECT_NE(page.find(escaped), std::string::npos) << option.longName;
    }
    // A line that starts with an apostrophe is a roff request, and its text is lost.
    for (std::size_t at = 0; (at = page.find("\n'", at)) != std::string::npos; ++at)
        ADD_FAILURE() << "line starting with an apostrophe at " << at;
}

} // namespace
} // namespace zelvo
