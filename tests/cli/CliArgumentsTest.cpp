// The command line's grammar: what each command takes, what it refuses, and that the
// help texts describe exactly what the parser accepts.
#include "cli/CliArguments.h"
#include "cli/CliHelp.h"

#include <gtest/gtest.h>

namespace zelvo {
namespace {

ParsedArguments Parse(std::vector<std::string> args)
{
    return ParseCliArguments(args);
}

// The words of a command line; the request in short: command number, format number
// (table, json, csv), then q, y, o and h for quiet, yes, open and help, then the operands.
struct Accepted
{
    std::vector<std::string> args;
    std::string request;
};

std::string Short(const CliRequest& r)
{
    std::string text = std::to_string(int(r.command)) + " " + std::to_string(int(r.format)) + " " +
                       (r.quiet ? "q" : "") + (r.yes ? "y" : "") + (r.open ? "o" : "") +
                       (r.help ? "h" : "");
    for (const std::string& operand : r.operands)
        text += " " + operand;
    return text;
}

class AcceptedLines : public testing::TestWithParam<Accepted>
{
};

TEST_P(AcceptedLines, giveTheRequest)
{
    const ParsedArguments parsed = Parse(GetParam().args);
    ASSERT_TRUE(parsed.request) << parsed.error;
    EXPECT_EQ(Short(*parsed.request), GetParam().request);
}

std::string N(CliCommand c)
{
    return std::to_string(int(c));
}
using C = CliCommand;
INSTANTIATE_TEST_SUITE_P(
    Table, AcceptedLines,
    testing::Values(Accepted{{"search"}, N(C::Search) + " 0 "},
                    Accepted{{"search", "--json"}, N(C::Search) + " 1 "},
                    Accepted{{"--csv", "search"}, N(C::Search) + " 2 "},
                    Accepted{{"-q", "search", "--json", "--json"}, N(C::Search) + " 1 q"},
                    Accepted{{"backup", "NAS01", "-qy"}, N(C::Backup) + " 0 qy NAS01"},
                    Accepted{{"restore", "--yes", "10.0.0.21", "a.dat"},
                             N(C::Restore) + " 0 y 10.0.0.21 a.dat"},
                    // "--" lets a file whose name starts with a dash through.
                    Accepted{{"firmware", "NAS01", "--", "-odd.fup"},
                             N(C::Firmware) + " 0  NAS01 -odd.fup"},
                    Accepted{{"web", "--open", "NAS01"}, N(C::Web) + " 0 o NAS01"},
                    // Help needs no operands and wins over everything else.
                    Accepted{{"backup", "--help"}, N(C::Backup) + " 0 h"},
                    Accepted{{"help", "assign"}, N(C::Assign) + " 0 h"},
                    Accepted{{"--help"}, N(C::None) + " 0 h"},
                    Accepted{{"assign"}, N(C::Assign) + " 0 "}));

TEST(CliArguments, assignTakesItsValuesInBothSpellings)
{
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"assign", "--mac", "02:5a:e1:40:00:03", "--wait", "30"},
          std::vector<std::string>{"assign", "--mac=02-5A-E1-40-00-03", "--wait=30"}}) {
        const ParsedArguments parsed = Parse(args);
        ASSERT_TRUE(parsed.request) << parsed.error;
        ASSERT_TRUE(parsed.request->mac);
        EXPECT_EQ(parsed.request->waitSeconds, 30);
    }
    const ParsedArguments backup = Parse({"backup", "NAS01", "--to", "/tmp/x"});
    ASSERT_TRUE(backup.request);
    EXPECT_EQ(backup.request->toDirectory, "/tmp/x");
    const ParsedArguments diagnose = Parse({"diagnose", "--json", "--interface=eth1"});
    ASSERT_TRUE(diagnose.request) << diagnose.error;
    EXPECT_EQ(diagnose.request->command, CliCommand::Diagnose);
    EXPECT_EQ(diagnose.request->interfaceName, "eth1");
    for (const ParsedArguments& web : {Parse({"web", "--interface=eth1", "NAS01"}),
                                       Parse({"--interface", "eth1", "web", "NAS01"})}) {
        ASSERT_TRUE(web.request) << web.error;
        EXPECT_EQ(web.request->interfaceName, "eth1");
    }
    const ParsedArguments search = Parse({"search", "--interface", "wlan0"});
    ASSERT_TRUE(search.request) << search.error;
    EXPECT_EQ(search.request->interfaceName, "wlan0");
}

struct Refused
{
    std::vector<std::string> args;
    const char* says; // a part of the error text
};

class RefusedLines : public testing::TestWithParam<Refused>
{
};

TEST_P(RefusedLines, sayWhy)
{
    const ParsedArguments parsed = Parse(GetParam().args);
    EXPECT_FALSE(parsed.request);
    EXPECT_NE(parsed.error.find(GetParam().says), std::string::npos) << parsed.error;
}

INSTANTIATE_TEST_SUITE_P(
    Table, RefusedLines,
    testing::Values(Refused{{}, "no command"}, Refused{{"-q"}, "no command"},
                    Refused{{"find"}, "unknown command 'find'"},
                    Refused{{"search", "--frobnicate"}, "unknown option '--frobnicate'"},
                    Refused{{"search", "-x"}, "unknown option '-x'"},
                    Refused{{"search", "NAS01"}, "takes no operands"},
                    Refused{{"backup"}, "needs UNIT"},
                    Refused{{"restore", "NAS01"}, "needs UNIT FILE"},
                    Refused{{"web", "NAS01", "NAS02"}, "nothing more"},
                    Refused{{"search", "--json", "--csv"}, "exclude each other"},
                    Refused{{"search", "--yes"}, "--yes does not apply to search"},
                    Refused{{"web", "NAS01", "--to", "/tmp"}, "--to does not apply to web"},
                    Refused{{"backup", "NAS01", "--open"}, "--open does not apply"},
                    Refused{{"assign", "--mac"}, "--mac needs a MAC"},
                    Refused{{"assign", "--mac", "02:5a:e1:40:00"}, "--mac needs a MAC"},
                    Refused{{"assign", "--mac", "02:5a-e1:40:00:03"}, "--mac needs a MAC"},
                    Refused{{"assign", "--mac", "02:5a:e1:40:00:0g"}, "--mac needs a MAC"},
                    Refused{{"assign", "--wait", "0"}, "--wait needs whole seconds"},
                    Refused{{"assign", "--wait", "3601"}, "--wait needs whole seconds"},
                    Refused{{"assign", "--wait", "10s"}, "--wait needs whole seconds"},
                    Refused{{"assign", "--wait="}, "--wait needs whole seconds"},
                    Refused{{"search", "--quiet=1"}, "takes no value"},
                    Refused{{"diagnose", "--csv"}, "--csv does not apply to diagnose"},
                    Refused{{"diagnose", "--interface="}, "--interface needs a card"},
                    Refused{{"search", "--interface"}, "--interface needs a NAME"},
                    Refused{{"help", "find"}, "unknown command"}, Refused{{"web", ""}, "empty"}));

TEST(CliArguments, everyCommandTakesExactlyTheOptionsItsHelpShows)
{
    for (const CommandEntry& command : CliCommands()) {
        const std::string help = CliCommandHelpText(command.command);
        for (const OptionEntry& option : CliOptions()) {
            std::vector<std::string> args{command.name};
            args.push_back(std::string("--") + option.longName);
            if (option.valueName)
                args.push_back(option.id == OptionId::Mac    ? "02:5a:e1:40:00:01"
                               : option.id == OptionId::Wait ? "5"
                                                             : "/tmp");
            for (int i = 0; i < command.operandCount; ++i)
                args.push_back("X" + std::to_string(i));
            const bool accepted = Parse(args).request.has_value();
            const bool documented =
                help.find(std::string("--") + option.longName) != std::string::npos;
            EXPECT_EQ(accepted, documented) << command.name << " --" << option.longName;
        }
    }
}

TEST(CliArguments, manualPageNamesEveryCommandAndOption)
{
    const std::string page = CliManualPage("9.8.7");
    EXPECT_EQ(page.rfind(".TH ZELVO\\-SETUP\\-CLI 1", 0), 0u);
    for (const char* section : {".SH NAME", ".SH SYNOPSIS", ".SH OPTIONS", ".SH EXIT STATUS"})
        EXPECT_NE(page.find(section), std::string::npos) << section;
    for (const CommandEntry& command : CliCommands())
        EXPECT_NE(page.find(std::string(".B ") + command.name), std::string::npos) << command.name;
    for (const OptionEntry& option : CliOptions()) {
        std::string escaped = "\\-\\-";
        for (char c : std::string(option.longName))
            escaped += c == '-' ? std::string("\\-") : std::string(1, c);
        EXPECT_NE(page.find(escaped), std::string::npos) << option.longName;
    }
    // No line may start as a roff request by accident (a text beginning with a dot).
    std::size_t at = 0;
    while ((at = page.find('\n', at)) != std::string::npos && ++at < page.size())
        if (page[at] == '\'')
            ADD_FAILURE() << "line starting with an apostrophe at " << at;
}

TEST(CliArguments, helpLinesFitAnEightyColumnTerminal)
{
    std::vector<std::string> texts{CliUsageText()};
    for (const CommandEntry& command : CliCommands())
        texts.push_back(CliCommandHelpText(command.command));
    for (const std::string& text : texts) {
        std::size_t start = 0;
        for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
            EXPECT_LE(end - start, 79u) << text.substr(start, end - start);
    }
}

} // namespace
} // namespace zelvo
