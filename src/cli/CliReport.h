#pragma once
#include "cli/CliArguments.h"

#include <optional>
#include <string>
#include <vector>

namespace zelvo {

// One row of the unit list as the command line prints it.
struct UnitRow
{
    std::string name;
    std::string mac;     // "02-5a-e1-40-00-01", as the window shows it
    std::string address; // dotted
    std::string type;    // "Your Host PC", "VELDIX [0]"
};

struct ReportField
{
    std::string key; // JSON key, CSV header and table label
    std::string value;
    bool number = false; // printed bare in JSON
};

// The result of one command, whatever the format it is printed in.
struct CliReport
{
    std::optional<UnitRow> pc;                 // search: the PC's own row
    std::optional<std::vector<UnitRow>> units; // search: the units listed, in list order
    std::optional<UnitRow> unit;               // the unit another command worked on
    std::vector<ReportField> fields;           // results in the order they are printed
};

// Renders a report for standard output. The table's column headers follow the
// language of the run as the window's list does; keys are the same in every language.
std::string FormatReport(const CliReport& report, OutputFormat format, int language);

// Helpers of the formats, exposed for their own tests.
std::string JsonString(const std::string& text); // quoted, escaped, valid UTF-8
// Quoted only when it must be; a cell that starts like a formula (=, +, -, @, tab, CR)
// is quoted behind an apostrophe ("'=...") so that a spreadsheet shows it as text.
std::string CsvField(const std::string& text);
int DisplayWidth(const std::string& utf8); // terminal columns of a UTF-8 text

} // namespace zelvo
