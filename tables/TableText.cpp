// Spreadsheet clipboard text of table values: writing and checked reading.
#include "tables/TableText.h"

#include <charconv>
#include <cmath>

namespace tables {

std::string formatValue(double v, CellKind kind)
{
    char buf[64];
    const auto r = kind == CellKind::Word16 ? std::to_chars(buf, buf + sizeof buf, std::int64_t(v))
                                            : std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, r.ptr);
}

std::string writeBlock(const ValueBlock& block, CellKind kind)
{
    std::string out;
    out.reserve(std::size_t(block.rows) * std::size_t(block.cols) * 10);
    for (int r = 0; r < block.rows; ++r) {
        for (int c = 0; c < block.cols; ++c) {
            if (c)
                out += '\t';
            out += formatValue(block.at(r, c), kind);
        }
        out += '\n';
    }
    return out;
}

namespace {

char chooseSeparator(std::string_view text)
{
    bool quoted = false, semicolon = false, dot = false;
    int commas = 0; // on the line being read
    bool oneEach = true; // every line with text has exactly one comma
    bool lineHasText = false;
    auto endLine = [&] {
        if (lineHasText && commas != 1)
            oneEach = false;
        commas = 0;
        lineHasText = false;
    };
    for (char ch : text) {
        if (ch == '"')
            quoted = !quoted;
        if (quoted)
            continue;
        if (ch == '\t')
            return '\t';
        if (ch == '\n' || ch == '\r') {
            endLine();
            continue;
        }
        lineHasText = true;
        semicolon |= ch == ';';
        dot |= ch == '.';
        commas += ch == ',';
    }
    endLine();
    if (semicolon)
        return ';';
    // "1,5" lines with no decimal point anywhere are one column of numbers
    // with a decimal comma, as a spreadsheet copies a column in such a
    // locale; the tab then separates nothing.
    return !dot && oneEach ? '\t' : ',';
}

} // namespace

std::vector<std::vector<std::string>> splitFields(std::string_view text, char* separatorUsed)
{
    const char sep = chooseSeparator(text);
    if (separatorUsed)
        *separatorUsed = sep;
    std::vector<std::vector<std::string>> rows;
    std::vector<std::string> row;
    std::string field;
    bool quoted = false, wasQuoted = false;
    auto endField = [&] {
        row.push_back(std::move(field));
        field.clear();
        wasQuoted = false;
    };
    auto endRow = [&] {
        endField();
        // "1\t2\t" is two cells: a separator ending the line adds none.
        if (row.size() > 1 && row.back().empty())
            row.pop_back();
        rows.push_back(std::move(row));
        row.clear();
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char ch = text[i];
        if (quoted) {
            if (ch == '"' && i + 1 < text.size() && text[i + 1] == '"')
                field += text[++i];
            else if (ch == '"')
                quoted = false;
            else
                field += ch;
        } else if (ch == '"' && field.empty() && !wasQuoted) {
            quoted = wasQuoted = true;
        } else if (ch == sep) {
            endField();
        } else if (ch == '\r' || ch == '\n') {
            if (ch == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
            endRow();
        } else {
            field += ch;
        }
    }
    // The last line without a line break; a line break at the very end
    // leaves no empty line behind.
    if (!field.empty() || !row.empty() || wasQuoted)
        endRow();
    return rows;
}

std::string readValue(std::string_view field, char separator, CellKind kind, double& v)
{
    auto blank = [](char ch) { return ch == ' ' || ch == '\t' || ch == '\xA0'; };
    while (!field.empty() && blank(field.front()))
        field.remove_prefix(1);
    while (!field.empty() && blank(field.back()))
        field.remove_suffix(1);
    if (field.empty())
        return "is empty";
    std::string s(field);
    if (s.front() == '+')
        s.erase(0, 1);
    // A decimal comma (1,5) where commas do not separate the cells.
    if (separator != ',' && s.find('.') == std::string::npos && s.find(',') == s.rfind(','))
        if (const auto comma = s.find(','); comma != std::string::npos)
            s[comma] = '.';
    const char* end = s.data() + s.size();
    const auto r = std::from_chars(s.data(), end, v);
    if (s.empty() || r.ec != std::errc() || r.ptr != end || !std::isfinite(v))
        return "is not a number";
    if (kind == CellKind::Word16 && (v < 0 || v > 65535 || v != std::floor(v)))
        return "is not a whole number from 0 to 65535";
    return {};
}

bool readBlock(std::string_view text, CellKind kind, ValueBlock& out, TextError& err)
{
    char sep = '\t';
    const auto rows = splitFields(text, &sep);
    std::size_t cols = 0;
    for (const auto& r : rows)
        cols = std::max(cols, r.size());
    if (rows.empty() || cols == 0) {
        err = TextError{0, 0, {}, "is empty"};
        return false;
    }
    ValueBlock b;
    b.rows = int(rows.size());
    b.cols = int(cols);
    b.values.reserve(rows.size() * cols);
    for (std::size_t r = 0; r < rows.size(); ++r)
        for (std::size_t c = 0; c < cols; ++c) {
            const std::string_view f = c < rows[r].size() ? std::string_view(rows[r][c]) : std::string_view();
            double v = 0;
            std::string why = readValue(f, sep, kind, v);
            if (!why.empty()) {
                err = TextError{int(r), int(c), std::string(f), std::move(why)};
                return false;
            }
            b.values.push_back(v);
        }
    out = std::move(b);
    return true;
}

} // namespace tables
