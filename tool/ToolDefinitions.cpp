#include "tool/ToolDefinitions.h"

#include "base/AsciiText.h"
#include "base/FileIO.h"
#include "tool/ToolText.h"

#include <algorithm>

namespace patchwise {

using base::ascii::equalsIgnoreCase;

const std::array<ToolTypeRow, 15> ToolTypeTable{{
        {ToolType::None, "none", 0, "none", ToolValue::None},
        {ToolType::Bool, "bool", 4, "INT32", ToolValue::Integer},
        {ToolType::Int8, "int8", 1, "INT8", ToolValue::Integer},
        {ToolType::Int16, "int16", 2, "INT16", ToolValue::Integer},
        {ToolType::Int32, "int32", 4, "INT32", ToolValue::Integer},
        {ToolType::Double, "double", 8, "DOUBLE", ToolValue::Double},
        {ToolType::Thrust, "thrust", 4, "INT32", ToolValue::Integer},
        {ToolType::Pct16, "16pct", 2, "PCT16", ToolValue::Scaled, 1.0, 16384.0},
        {ToolType::Ang16, "ang16", 2, "ANG16", ToolValue::Scaled, 1.0, 182.0},
        {ToolType::Aspd, "aspd", 4, "ASPD", ToolValue::Scaled, 1.0, 128.0},
        {ToolType::Prpm, "prpm", 2, "PRPM", ToolValue::Scaled, 3000.0, 6400.0},
        {ToolType::Text, "text", 0, "TEXT", ToolValue::Text},
        {ToolType::Mach, "mach", 2, "MACH", ToolValue::Scaled, 1.0, 20480.0},
        {ToolType::Fwgt, "fwgt", 2, "FWGT", ToolValue::Scaled, 1.0, 256.0},
        {ToolType::M256, "m256", 2, "M256", ToolValue::Scaled, 1.0, 6.5025},
}};

std::optional<ToolType> lookupTypeName(std::string_view name)
{
    for (const auto& row : ToolTypeTable)
        if (equalsIgnoreCase(name, row.name))
            return row.type == ToolType::None ? std::nullopt : std::optional(row.type);
    // The dump labels 16pct fields "PCT16"; accept it so pasted FIELD lines apply.
    if (equalsIgnoreCase(name, "PCT16"))
        return ToolType::Pct16;
    return std::nullopt;
}

const ToolTypeRow& typeRow(ToolType t)
{
    return ToolTypeTable[static_cast<std::size_t>(t)];
}

int typeWidth(std::optional<ToolType> t)
{
    return t ? typeRow(*t).width : 0;
}

namespace {
// The stored lines as views into bytes (the sentinel is not among them).
std::vector<std::string_view> splitIntoViews(std::string_view bytes)
{
    std::vector<std::string_view> lines;
    // One line per LF at least: a large file's list is then never copied as it grows.
    lines.reserve(static_cast<std::size_t>(std::count(bytes.begin(), bytes.end(), '\n')) + 1);
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        // One piece: up to 255 characters, or through the first LF.
        std::size_t end = pos;
        while (end < bytes.size() && end - pos < 255) {
            if (bytes[end++] == '\n')
                break;
        }
        std::string_view piece = bytes.substr(pos, end - pos);
        pos = end;
        std::size_t cut = piece.find_first_of(std::string_view("\n\r\0", 3));
        if (cut != std::string_view::npos)
            piece = piece.substr(0, cut);
        if (!piece.empty())
            lines.push_back(piece);
    }
    return lines;
}

constexpr std::string_view kSentinel = "[+]";
} // namespace

std::vector<std::string> splitDefinitionText(std::string_view bytes)
{
    std::vector<std::string> lines;
    for (std::string_view line : splitIntoViews(bytes))
        lines.emplace_back(line);
    lines.emplace_back(kSentinel);
    return lines;
}

std::vector<std::string> ToolDefinitions::lines() const
{
    return {lines_.begin(), lines_.end()};
}

bool ToolDefinitions::loadDefinitions(const std::string& path, std::string& out)
{
    if (loaded_)
        return true;
    std::string file = path;
    if (file.empty()) {
        std::string cwd = currentDirectory();
        file = findTarloIni(cwd);
#ifdef TARLO_DATA_DIR
        // An installed system without a registered editor still has the
        // definition file the package put in its data folder.
        if (file.empty())
            file = findTarloIni(TARLO_DATA_DIR);
#endif
        if (file.empty())
            file = (cwd == "/" ? "" : cwd) + "/tarlo.ini";
    }
    std::vector<std::uint8_t> bytes;
    if (base::fileio::readFile(file, bytes)) {
        out += "Can't find " + file + "\n";
        return false;
    }
    out += "Found " + file + "\n";
    loadBytes(std::move(bytes));
    return true;
}

void ToolDefinitions::loadText(std::string_view bytes)
{
    loadBytes(std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
}

void ToolDefinitions::loadBytes(std::vector<std::uint8_t> bytes)
{
    unload();
    // The one copy of the text; the lines view it.
    text_ = std::move(bytes);
    lines_ = splitIntoViews(std::string_view(reinterpret_cast<const char*>(text_.data()), text_.size()));
    lines_.push_back(kSentinel);
    buildIndex();
    loaded_ = true;
}

void ToolDefinitions::unload()
{
    lines_.clear();
    text_.clear();
    records_.clear();
    sections_.clear();
    fields_.clear();
    fieldLine_.clear();
    fieldsBefore_.clear();
    endFrom_.clear();
    sizes_.clear();
    loaded_ = false;
}

namespace {

std::string withoutBlanks(std::string_view s)
{
    std::string r;
    for (char c : s)
        if (c != ' ' && c != '\t')
            r += c;
    return r;
}

enum class FieldLineKind { Skipped, Field, EndsSection };

// What a field-line walk makes of one line: the characters up to a '=' or a
// '['; an 'h', 'H' or ';' before the '=' passes the line over, as does a line
// without '='; a '[' before any '=' ends the section.
FieldLineKind readFieldLine(std::string_view line, FieldLine& field)
{
    std::size_t eq = std::string_view::npos;
    for (std::size_t k = 0; k < line.size(); ++k) {
        char c = line[k];
        if (c == '=') {
            eq = k;
            break;
        }
        if (c == '[')
            return FieldLineKind::EndsSection;
        if (c == 'h' || c == 'H' || c == ';')
            return FieldLineKind::Skipped;
    }
    if (eq == std::string_view::npos)
        return FieldLineKind::Skipped;
    field = FieldLine{};
    std::string_view rest = line.substr(eq + 1);
    auto c1 = rest.find(',');
    if (c1 == std::string_view::npos)
        return FieldLineKind::Field; // an empty field line
    field.offset = text::leadingHexDigits(withoutBlanks(rest.substr(0, c1))).value_or(0);
    std::string_view afterType = rest.substr(c1 + 1);
    auto c2 = afterType.find(',');
    field.typeName = withoutBlanks(afterType.substr(0, c2));
    field.type = lookupTypeName(field.typeName);
    if (c2 != std::string_view::npos)
        field.name = std::string(afterType.substr(c2 + 1));
    return FieldLineKind::Field;
}

} // namespace

void ToolDefinitions::buildIndex()
{
    const std::size_t n = lines_.size();
    // Records: the lines after the first "[records]" up to the next line
    // that begins with '['; the first line whose leading number is the id.
    auto it = std::find_if(lines_.begin(), lines_.end(),
            [](std::string_view l) { return equalsIgnoreCase(l, "[records]"); });
    if (it != lines_.end()) {
        for (++it; it != lines_.end() && !(!it->empty() && (*it)[0] == '['); ++it) {
            auto number = text::scanHex(*it);
            if (!number || records_.count(*number))
                continue;
            RecordLine rec;
            rec.line = static_cast<std::uint32_t>(it - lines_.begin());
            const std::string_view line = *it;
            auto eq = line.find('=');
            auto comma = eq == std::string::npos ? std::string::npos : line.find(',', eq + 1);
            if (comma != std::string::npos) {
                // A matching line without '=' or ',' still wins: no type, no name.
                rec.nameBegin = static_cast<std::uint32_t>(eq + 1);
                rec.nameLength = static_cast<std::uint32_t>(comma - eq - 1);
                rec.type = lookupTypeName(std::string_view(line).substr(comma + 1));
            }
            records_.emplace(*number, rec);
        }
    }
    // Sections: every line that begins with '[' is a header; the first one
    // with the id's number wins.
    // At most one field per line: reserved once, so the vectors are not
    // copied as they grow (pages never written are never touched).
    fields_.reserve(n);
    fieldLine_.reserve(n);
    fieldsBefore_.assign(n + 1, 0);
    endFrom_.assign(n + 1, static_cast<std::uint32_t>(n));
    std::vector<bool> ends(n, false);
    for (std::size_t i = 0; i < n; ++i) {
        const std::string_view line = lines_[i];
        if (!line.empty() && line[0] == '[') {
            if (auto number = text::leadingHexDigits(std::string_view(line).substr(1)))
                sections_.try_emplace(*number, static_cast<std::uint32_t>(i + 1));
        }
        fieldsBefore_[i] = static_cast<std::uint32_t>(fields_.size());
        FieldLine field;
        switch (readFieldLine(line, field)) {
        case FieldLineKind::Field:
            fields_.push_back(std::move(field));
            fieldLine_.push_back(static_cast<std::uint32_t>(i));
            break;
        case FieldLineKind::EndsSection:
            ends[i] = true;
            break;
        case FieldLineKind::Skipped:
            break;
        }
    }
    fieldsBefore_[n] = static_cast<std::uint32_t>(fields_.size());
    for (std::size_t i = n; i-- > 0;)
        endFrom_[i] = ends[i] ? static_cast<std::uint32_t>(i) : endFrom_[i + 1];
}

RecordLookupView ToolDefinitions::findRecord(std::uint32_t id) const
{
    auto it = records_.find(id);
    if (it == records_.end())
        return {};
    const RecordLine& rec = it->second;
    return {rec.type, lines_[rec.line].substr(rec.nameBegin, rec.nameLength)};
}

RecordLookup ToolDefinitions::lookupRecord(std::uint32_t id) const
{
    RecordLookupView v = findRecord(id);
    return {v.type, std::string(v.name)};
}

std::optional<std::size_t> ToolDefinitions::findRecordSection(std::uint32_t id) const
{
    auto it = sections_.find(id);
    if (it == sections_.end())
        return std::nullopt;
    return it->second;
}

std::span<const FieldLine> ToolDefinitions::fieldsFrom(std::size_t position) const
{
    if (position >= lines_.size())
        return {};
    const std::size_t first = fieldsBefore_[position];
    const std::size_t last = fieldsBefore_[endFrom_[position]];
    return std::span<const FieldLine>(fields_).subspan(first, last - first);
}

std::optional<FieldLineResult> ToolDefinitions::nextFieldLine(std::size_t position) const
{
    auto fields = fieldsFrom(position);
    if (fields.empty())
        return std::nullopt;
    FieldLineResult r;
    r.field = fields.front();
    r.next = fieldLine_[fieldsBefore_[position]] + 1;
    return r;
}

std::optional<std::span<const FieldLine>> ToolDefinitions::sectionFields(std::uint32_t id) const
{
    auto pos = findRecordSection(id);
    if (!pos)
        return std::nullopt;
    return fieldsFrom(*pos);
}

std::uint32_t ToolDefinitions::definedRecordSize(std::uint32_t id, const std::string& path, std::string& out)
{
    if (!loadDefinitions(path, out))
        return 0;
    if (auto known = sizes_.find(id); known != sizes_.end())
        return known->second;
    std::uint32_t size = 0;
    if (auto type = findRecord(id).type) {
        size = static_cast<std::uint32_t>(typeWidth(type));
    } else if (auto fields = sectionFields(id)) {
        std::uint64_t sum = 0;
        for (const FieldLine& f : *fields)
            sum += static_cast<std::uint64_t>(typeWidth(f.type));
        size = static_cast<std::uint32_t>(std::min<std::uint64_t>(sum, 0xFFFFFFFFu));
    }
    sizes_.emplace(id, size);
    return size;
}

ToolDefinitions& processDefinitions()
{
    static ToolDefinitions defs;
    return defs;
}

} // namespace patchwise
