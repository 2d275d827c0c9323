#include "cli/CliReport.h"

#include "core/UiLanguage.h"
#include "core/UnitListTexts.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string_view>

namespace zelvo {
namespace {

// Reads one code point from a UTF-8 text at i; returns its length in bytes, or 0 for
// a byte that starts no valid sequence (overlong forms and surrogates included).
std::size_t DecodeUtf8(const std::string& s, std::size_t i, uint32_t& cp)
{
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char b0 = byte(i);
    if (b0 < 0x80) {
        cp = b0;
        return 1;
    }
    std::size_t length = 0;
    uint32_t minimum = 0;
    if ((b0 & 0xE0) == 0xC0) {
        length = 2;
        cp = b0 & 0x1F;
        minimum = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
        length = 3;
        cp = b0 & 0x0F;
        minimum = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
        length = 4;
        cp = b0 & 0x07;
        minimum = 0x10000;
    } else {
        return 0;
    }
    if (i + length > s.size())
        return 0;
    for (std::size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (byte(i + k) & 0x3F);
    }
    if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return length;
}

// East Asian wide and full-width characters take two terminal columns.
bool Wide(uint32_t cp)
{
    return (cp >= 0x1100 && cp <= 0x115F) || (cp >= 0x2E80 && cp <= 0x303E) ||
           (cp >= 0x3041 && cp <= 0x33FF) || (cp >= 0x3400 && cp <= 0x4DBF) ||
           (cp >= 0x4E00 && cp <= 0x9FFF) || (cp >= 0xA000 && cp <= 0xA4CF) ||
           (cp >= 0xAC00 && cp <= 0xD7A3) || (cp >= 0xF900 && cp <= 0xFAFF) ||
           (cp >= 0xFE30 && cp <= 0xFE4F) || (cp >= 0xFF00 && cp <= 0xFF60) ||
           (cp >= 0xFFE0 && cp <= 0xFFE6) || (cp >= 0x20000 && cp <= 0x3FFFD);
}

std::string Padded(const std::string& text, int width)
{
    std::string out = text;
    for (int w = DisplayWidth(text); w < width; ++w)
        out += ' ';
    return out;
}

std::vector<std::string> RowCells(const UnitRow& row)
{
    return {row.name, row.mac, row.address, row.type};
}

// Rows of cells printed in aligned columns, two spaces apart, no trailing blanks.
std::string AlignedRows(const std::vector<std::vector<std::string>>& rows)
{
    std::vector<int> widths;
    for (const auto& row : rows)
        for (std::size_t c = 0; c < row.size(); ++c) {
            if (widths.size() <= c)
                widths.push_back(0);
            widths[c] = std::max(widths[c], DisplayWidth(row[c]));
        }
    std::string out;
    for (const auto& row : rows) {
        std::string line;
        for (std::size_t c = 0; c < row.size(); ++c)
            line += c + 1 < row.size() ? Padded(row[c], widths[c]) + "  " : row[c];
        while (!line.empty() && line.back() == ' ')
            line.pop_back();
        out += line + '\n';
    }
    return out;
}

std::string JsonUnit(const UnitRow& row)
{
    return "{\"name\":" + JsonString(row.name) + ",\"mac\":" + JsonString(row.mac) +
           ",\"address\":" + JsonString(row.address) + ",\"type\":" + JsonString(row.type) + "}";
}

std::string FormatJson(const CliReport& report)
{
    std::vector<std::string> members;
    if (report.pc)
        members.push_back("\"pc\":" + JsonUnit(*report.pc));
    if (report.units) {
        std::string list = "\"units\":[";
        for (std::size_t i = 0; i < report.units->size(); ++i)
            list += (i ? "," : "") + JsonUnit((*report.units)[i]);
        members.push_back(list + "]");
    }
    if (report.unit)
        members.push_back("\"unit\":" + JsonUnit(*report.unit));
    for (const ReportField& field : report.fields)
        members.push_back(JsonString(field.key) + ":" +
                          (field.number ? field.value : JsonString(field.value)));
    std::string out = "{";
    for (std::size_t i = 0; i < members.size(); ++i)
        out += (i ? "," : "") + members[i];
    return out + "}\n";
}

std::string CsvLine(const std::vector<std::string>& cells)
{
    std::string line;
    for (std::size_t i = 0; i < cells.size(); ++i)
        line += (i ? "," : "") + CsvField(cells[i]);
    return line + "\r\n"; // RFC 4180 records end in CR LF
}

std::string FormatCsv(const CliReport& report)
{
    std::string out;
    if (report.pc || report.units) {
        out += CsvLine({"role", "name", "mac", "address", "type"});
        if (report.pc)
            out += CsvLine(
                {"pc", report.pc->name, report.pc->mac, report.pc->address, report.pc->type});
        if (report.units)
            for (const UnitRow& row : *report.units)
                out += CsvLine({"unit", row.name, row.mac, row.address, row.type});
        return out;
    }
    std::vector<std::string> keys;
    std::vector<std::string> values;
    if (report.unit) {
        keys = {"name", "mac", "address"};
        values = {report.unit->name, report.unit->mac, report.unit->address};
    }
    for (const ReportField& field : report.fields) {
        keys.push_back(field.key);
        values.push_back(field.value);
    }
    return CsvLine(keys) + CsvLine(values);
}

std::string FormatTable(const CliReport& report, int language)
{
    std::string out;
    if (report.pc || report.units) {
        const bool japanese = IsJapanese(language);
        std::vector<std::vector<std::string>> rows;
        rows.push_back({ColumnHeader(0, japanese), ColumnHeader(1, japanese),
                        ColumnHeader(2, japanese), ColumnHeader(3, japanese)});
        if (report.pc)
            rows.push_back(RowCells(*report.pc));
        if (report.units)
            for (const UnitRow& row : *report.units)
                rows.push_back(RowCells(row));
        out += AlignedRows(rows);
    }
    std::vector<std::vector<std::string>> pairs;
    if (report.unit) {
        pairs.push_back({"name:", report.unit->name});
        pairs.push_back({"mac:", report.unit->mac});
        pairs.push_back({"address:", report.unit->address});
    }
    for (const ReportField& field : report.fields)
        pairs.push_back({field.key + ":", field.value});
    return out + AlignedRows(pairs);
}

} // namespace

std::string JsonString(const std::string& text)
{
    std::string out = "\"";
    for (std::size_t i = 0; i < text.size();) {
        uint32_t cp = 0;
        const std::size_t length = DecodeUtf8(text, i, cp);
        if (length == 0) {
            out += "\\ufffd"; // a byte of another code page: JSON must stay UTF-8
            ++i;
            continue;
        }
        if (cp == '"' || cp == '\\') {
            out += '\\';
            out += static_cast<char>(cp);
        } else if (cp == '\n') {
            out += "\\n";
        } else if (cp == '\r') {
            out += "\\r";
        } else if (cp == '\t') {
            out += "\\t";
        } else if (cp < 0x20 || cp == 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(cp));
            out += escaped;
        } else {
            out.append(text, i, length);
        }
        i += length;
    }
    return out + "\"";
}

std::string CsvField(const std::string& text)
{
    // A cell that starts like a formula (=, +, - or @, or a tab or carriage return before
    // one) would be evaluated by a spreadsheet: quoted, behind an apostrophe, it is text.
    const bool formula =
        !text.empty() && std::string_view("=+-@\t\r").find(text[0]) != std::string_view::npos;
    if (!formula && text.find_first_of(",\"\r\n") == std::string::npos)
        return text;
    std::string out = formula ? "\"'" : "\"";
    for (char c : text) {
        if (c == '"')
            out += '"';
        out += c;
    }
    return out + "\"";
}

int DisplayWidth(const std::string& utf8)
{
    int width = 0;
    for (std::size_t i = 0; i < utf8.size();) {
        uint32_t cp = 0;
        const std::size_t length = DecodeUtf8(utf8, i, cp);
        if (length == 0) {
            ++width;
            ++i;
            continue;
        }
        width += Wide(cp) ? 2 : 1;
        i += length;
    }
    return width;
}

std::string FormatReport(const CliReport& report, OutputFormat format, int language)
{
    switch (format) {
    case OutputFormat::Json:
        return FormatJson(report);
    case OutputFormat::Csv:
        return FormatCsv(report);
    case OutputFormat::Table:
        break;
    }
    return FormatTable(report, language);
}

} // namespace zelvo
