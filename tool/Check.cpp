// The check command: a definition file read by both programs' rules, and AIR files against it.
#include "tool/Check.h"

#include "base/AsciiText.h"
#include "base/FileIO.h"
#include "tool/AirWalk.h"
#include "tool/Stamp.h"
#include "tool/ToolDefinitions.h"
#include "tool/ToolText.h"

#include <algorithm>
#include <array>
#include <optional>
#include <ostream>
#include <set>
#include <unordered_set>

namespace patchwise {

namespace {

namespace ascii = base::ascii;
using text::dec;
using text::hex;

// The editor's type keywords; any other word is a raw byte count in hex.
constexpr std::array<std::string_view, 18> kEditorKeywords = {"record", "bool", "int8", "int16", "int32",
        "double", "text", "prpm", "ang16", "mach", "aspd", "tbl16", "tbldb", "tbl3d", "fwgt", "m256",
        "thrust", "16pct"};

bool isHexDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// Bare hexadecimal digits, at most 8 of them.
std::optional<std::uint32_t> hexNumber(std::string_view s)
{
    if (s.empty() || s.size() > 8 || !std::all_of(s.begin(), s.end(), isHexDigit))
        return std::nullopt;
    return static_cast<std::uint32_t>(std::stoul(std::string(s), nullptr, 16));
}

std::optional<long> decimalNumber(std::string_view s)
{
    if (s.empty() || s.size() > 9
            || !std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    return std::stol(std::string(s));
}

// A raw byte count as the editor reads a type word that is no keyword.
std::optional<std::uint32_t> rawCount(std::string_view word)
{
    if (word.size() > 2 && word[0] == '0' && (word[1] == 'x' || word[1] == 'X'))
        word.remove_prefix(2);
    return hexNumber(word);
}

bool isKeyword(std::string_view lowerWord)
{
    return std::find(kEditorKeywords.begin(), kEditorKeywords.end(), lowerWord) != kEditorKeywords.end();
}

// One pair of enclosing quotation marks dropped, as the editor's reader does.
std::string_view unquote(std::string_view v)
{
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        return v.substr(1, v.size() - 2);
    return v;
}

std::string withoutBlanks(std::string_view s)
{
    std::string out;
    for (char c : s)
        if (c != ' ' && c != '\t')
            out += c;
    return out;
}

std::string quoted(std::string_view s)
{
    return "'" + std::string(s) + "'";
}

} // namespace

DefinitionCheck::DefinitionCheck(std::string_view text)
{
    Where where = Where::Before;
    Section section;
    std::size_t lineNo = 0;
    for (std::size_t pos = 0; pos < text.size();) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view line = text.substr(pos, end - pos);
        pos = end + 1;
        ++lineNo;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (line.size() > 255)
            problem(lineNo, "the line is longer than 255 characters; both programs cut it");
        const std::string_view trimmed = ascii::trim(line);
        if (trimmed.empty() || trimmed.front() == ';')
            continue;
        if (trimmed.front() == '[') {
            if (where == Where::Fields)
                endSection(section);
            where = sectionHeader(lineNo, trimmed, section);
        } else {
            entryLine(where, section, lineNo, line);
        }
    }
    if (where == Where::Fields)
        endSection(section);
    endFile();
}

// A section header; a record's section starts afresh in s.
DefinitionCheck::Where DefinitionCheck::sectionHeader(
        std::size_t lineNo, std::string_view trimmed, Section& s)
{
    const std::size_t close = trimmed.find(']');
    if (close == std::string_view::npos) {
        problem(lineNo, "a section header without ']'");
        return Where::Other;
    }
    const std::string_view name = ascii::trim(trimmed.substr(1, close - 1));
    if (ascii::equalsIgnoreCase(name, "records")) {
        if (recordsSeen_)
            problem(lineNo, "[records] again: patchwise reads only the first");
        recordsSeen_ = true;
        return Where::Records;
    }
    const auto id = hexNumber(name);
    if (!id) {
        problem(lineNo, "the section [" + std::string(name) + "] is not a record id in hexadecimal");
        return Where::Other;
    }
    if (name.size() > 1 && name.front() == '0')
        problem(lineNo,
                "the section [" + std::string(name) + "] has a leading zero: the editor looks for ["
                        + hex(*id) + "]");
    s = Section{};
    s.id = *id;
    const auto [first, fresh] = sectionLine_.emplace(*id, lineNo);
    s.counts = fresh;
    if (!fresh)
        problem(lineNo,
                "the section [" + hex(*id) + "] again (first at line " + dec(long(first->second))
                        + "): only the first is read");
    return Where::Fields;
}

// A key=value line, read by the section it is in.
void DefinitionCheck::entryLine(Where where, Section& s, std::size_t lineNo, std::string_view line)
{
    const std::size_t eq = line.find('=');
    if (eq == std::string_view::npos) {
        problem(lineNo, "the line is no section, key=value or comment");
        return;
    }
    const std::string_view key = ascii::trim(line.substr(0, eq)), value = line.substr(eq + 1);
    if (key.empty()) {
        problem(lineNo, "a value without a key");
        return;
    }
    switch (where) {
    case Where::Before:
        problem(lineNo, "a key before any section");
        break;
    case Where::Records:
        recordLine(lineNo, key, value);
        break;
    case Where::Fields:
        fieldLine(s, lineNo, key, value);
        break;
    case Where::Other:
        break;
    }
}

void DefinitionCheck::problem(std::size_t line, std::string message)
{
    problems_.push_back({line, std::move(message)});
}

void DefinitionCheck::recordLine(std::size_t line, std::string_view key, std::string_view value)
{
    const bool help = key.back() == 'h' || key.back() == 'H';
    const std::string_view digits = help ? key.substr(0, key.size() - 1) : key;
    const auto id = hexNumber(digits);
    if (!id) {
        problem(line,
                (help ? "the help key " : "the record key ") + quoted(key)
                        + " is not a record id in hexadecimal");
        return;
    }
    if (digits.size() > 1 && digits.front() == '0')
        problem(line,
                "the key " + quoted(key) + " has a leading zero: the editor looks for "
                        + quoted(hex(*id) + (help ? "h" : "")));
    if (help) {
        helps_.emplace_back(*id, line);
        return;
    }
    const auto [first, fresh] = recordLine_.emplace(*id, line);
    if (!fresh) {
        problem(line,
                "record " + hex(*id) + " again (first at line " + dec(long(first->second))
                        + "): only the first counts");
        return;
    }
    const std::string_view v = unquote(ascii::trim(value));
    const std::size_t comma = v.find(',');
    if (comma == std::string_view::npos) {
        problem(line, "record " + hex(*id) + " has no type: its value has no ','");
        recordType_[*id] = "";
        return;
    }
    const std::string_view word = v.substr(comma + 1);
    std::string keyword = ascii::lowered(ascii::trim(word));
    if (!isKeyword(keyword) && !rawCount(keyword)) {
        problem(line, "record " + hex(*id) + ": unknown type " + quoted(word));
    } else if (const std::string_view raw = value.substr(value.find(',') + 1);
               ascii::trim(raw) != raw && lookupTypeName(ascii::trim(raw))) {
        problem(line,
                "record " + hex(*id) + ": the type " + quoted(raw)
                        + " has blanks around it, and patchwise reads no type from it");
    }
    recordType_[*id] = std::move(keyword);
}

void DefinitionCheck::fieldLine(Section& s, std::size_t line, std::string_view key, std::string_view value)
{
    const bool help = key.back() == 'h' || key.back() == 'H';
    const auto n = decimalNumber(help ? key.substr(0, key.size() - 1) : key);
    if (!n) {
        problem(line,
                (help ? "the help key " : "the field key ") + quoted(key)
                        + " is not a field number from 1 to 200");
        return;
    }
    if (help) {
        s.helps.emplace_back(*n, line);
        return;
    }
    const std::string field = "field " + dec(*n) + " of [" + hex(s.id) + "]";
    if (*n < 1 || *n > 200)
        problem(line, field + ": the editor reads fields 1 to 200 only");
    const auto [first, fresh] = s.keys.emplace(*n, line);
    if (!fresh) {
        problem(line, field + " again (first at line " + dec(long(first->second)) + ")");
        return;
    }
    const std::string_view v = ascii::trim(value);
    const std::size_t c1 = v.find(',');
    if (c1 == std::string_view::npos) {
        problem(line, field + " has no offset and type: its value has no ','");
        return;
    }
    const std::string offsetText = withoutBlanks(v.substr(0, c1));
    std::optional<std::uint32_t> offset = hexNumber(offsetText);
    if (!offset && rawCount(offsetText)) {
        problem(line,
                field + ": the offset " + quoted(offsetText)
                        + " reads as 0 in patchwise; write it without 0x");
        offset = rawCount(offsetText);
    } else if (!offset) {
        problem(line, field + ": the offset " + quoted(offsetText) + " is not a hexadecimal number");
        return;
    }
    const std::string_view rest = v.substr(c1 + 1);
    const std::size_t c2 = rest.find(',');
    if (c2 == std::string_view::npos)
        problem(line,
                field + " has no name: the editor reads " + quoted(rest) + " as its name, with no type");
    else if (rest.find(',', c2 + 1) != std::string_view::npos)
        problem(line, field + ": a ',' in its name; the editor reads the name after the last ','");
    const std::string_view word = c2 == std::string_view::npos ? rest : rest.substr(0, c2);
    const std::string keyword = ascii::lowered(ascii::trim(word));
    std::uint32_t width = 0;
    if (auto type = lookupTypeName(keyword))
        width = static_cast<std::uint32_t>(typeRow(*type).width);
    else if (auto count = rawCount(keyword))
        width = *count;
    else if (!isKeyword(keyword))
        problem(line, field + ": unknown type " + quoted(word));
    const std::string name(c2 == std::string_view::npos ? std::string_view() : rest.substr(c2 + 1));
    s.fields.push_back({line, name, *offset, width});
}

void DefinitionCheck::endSection(Section& s)
{
    // The editor asks for 1, 2, 3 ... and stops at the first one missing.
    long missing = 1;
    while (s.keys.count(missing))
        ++missing;
    std::optional<std::pair<long, std::size_t>> beyond;
    for (const auto& [n, line] : s.keys)
        if (n > missing && n <= 200 && (!beyond || n < beyond->first))
            beyond = std::pair{n, line};
    if (beyond)
        problem(beyond->second,
                "field " + dec(beyond->first) + " of [" + hex(s.id)
                        + "] and those after it are never read by the " + "editor: there is no field "
                        + dec(missing));
    for (const auto& [n, line] : s.helps)
        if (!s.keys.count(n))
            problem(line, "the help key " + dec(n) + "h of [" + hex(s.id) + "] has no field " + dec(n));
    std::vector<const CheckedField*> sized;
    for (const CheckedField& f : s.fields)
        if (f.width > 0)
            sized.push_back(&f);
    std::stable_sort(sized.begin(), sized.end(),
            [](const CheckedField* a, const CheckedField* b) { return a->offset < b->offset; });
    const CheckedField* reach = nullptr; // the field that ends farthest so far
    for (const CheckedField* f : sized) {
        if (reach && std::uint64_t(reach->offset) + reach->width > f->offset)
            problem(f->line,
                    "the field " + quoted(f->name) + " at 0x" + hex(f->offset) + " overlaps "
                            + quoted(reach->name) + " (line " + dec(long(reach->line)) + ")");
        if (!reach || std::uint64_t(f->offset) + f->width > std::uint64_t(reach->offset) + reach->width)
            reach = f;
    }
    if (s.counts)
        fields_[s.id] = std::move(s.fields);
}

void DefinitionCheck::endFile()
{
    if (!recordsSeen_)
        problem(0, "no [records] section: no record has a name");
    for (const auto& [id, line] : helps_) {
        const auto record = recordLine_.find(id);
        if (record == recordLine_.end())
            problem(line, "the help key " + hex(id) + "h has no record " + hex(id));
        else if (record->second > line)
            problem(line,
                    "the help key " + hex(id) + "h comes before record " + hex(id)
                            + ": patchwise reads it as the record's line");
    }
    for (const auto& [id, keyword] : recordType_)
        if (keyword == "record" && !sectionLine_.count(id))
            problem(recordLine_.at(id),
                    "record " + hex(id) + " has the type 'record' but no section [" + hex(id) + "]");
    std::stable_sort(problems_.begin(), problems_.end(),
            [](const DefinitionProblem& a, const DefinitionProblem& b) { return a.line < b.line; });
}

bool DefinitionCheck::names(std::uint32_t id) const
{
    return recordLine_.count(id) != 0;
}

const std::vector<CheckedField>* DefinitionCheck::fieldsOf(std::uint32_t id) const
{
    const auto type = recordType_.find(id);
    const auto fields = fields_.find(id);
    if (type == recordType_.end() || type->second != "record" || fields == fields_.end())
        return nullptr;
    return &fields->second;
}

std::vector<std::string> checkAirFile(const std::string& name, std::span<const std::uint8_t> file,
        const DefinitionCheck& check, int* problems)
{
    std::vector<std::string> lines;
    auto report = [&](std::string line) {
        lines.push_back(name + ": " + std::move(line));
        ++*problems;
    };
    const StampCheck stamp = verifyStamp(file);
    if (!stamp.present) {
        lines.push_back(name + ": no stamp");
    } else if (stamp.text.empty() || stamp.text.back() != '-') {
        report("stamp changed since the last update");
    } else {
        lines.push_back(name + ": stamp intact (last update" + stamp.text.substr(0, stamp.text.size() - 1)
                + ")" + (stamp.certified ? ", certified" : ""));
    }
    std::unordered_set<std::uint32_t> unnamed;
    std::set<std::pair<std::uint32_t, std::size_t>> tooLong; // id, field line
    forEachRecord(file, [&](const RecordSpan& r) {
        if (r.present < r.length)
            report("record " + hex(r.id) + " at offset 0x" + hex(static_cast<std::uint32_t>(r.header))
                    + " is cut off by the end of the file");
        if (!check.names(r.id) && unnamed.insert(r.id).second)
            report("record " + hex(r.id) + " is not in the definitions");
        if (const auto* fields = check.fieldsOf(r.id))
            for (const CheckedField& f : *fields)
                if (f.width > 0 && std::uint64_t(f.offset) + f.width > r.present
                        && tooLong.emplace(r.id, f.line).second)
                    report("record " + hex(r.id) + " (" + dec(long(r.present)) + " bytes): the field "
                            + quoted(f.name) + " (line " + dec(long(f.line)) + ") at 0x" + hex(f.offset)
                            + ", " + dec(long(f.width)) + " bytes, ends beyond it");
        return true;
    });
    return lines;
}

int runCheck(const std::string& definitionPath, const std::vector<std::string>& airs, std::ostream& out,
        std::ostream& err)
{
    namespace fio = base::fileio;
    if (definitionPath.empty()) {
        err << "patchwise: no definition file found (tarlo.ini of the editor, in the current folder, beside "
               "patchwise or in the data folder); name one with --definitions\n";
        return 2;
    }
    std::vector<std::uint8_t> bytes;
    if (auto e = fio::readFile(definitionPath, bytes)) {
        err << "patchwise: " << e.message << "\n";
        return 2;
    }
    const DefinitionCheck check(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    int problems = 0;
    for (const DefinitionProblem& p : check.problems()) {
        out << definitionPath << ":";
        if (p.line)
            out << p.line << ":";
        out << " " << p.message << "\n";
        ++problems;
    }
    bool trouble = false;
    for (const std::string& air : airs) {
        std::vector<std::uint8_t> file;
        if (auto e = fio::readFile(air, file)) {
            err << "patchwise: " << e.message << "\n";
            trouble = true;
            continue;
        }
        for (const std::string& line : checkAirFile(air, file, check, &problems))
            out << line << "\n";
    }
    out.flush();
    if (!out) {
        err << "patchwise: the report could not be written.\n";
        return 2;
    }
    err << "patchwise: " << definitionPath << " and " << airs.size() << " AIR file"
        << (airs.size() == 1 ? "" : "s") << " checked: " << problems << " problem"
        << (problems == 1 ? "" : "s") << "\n";
    return trouble ? 2 : problems ? 1 : 0;
}

} // namespace patchwise
