#include "tool/ToolDefinitions.h"

#include "model/FileIO.h"
#include "tool/ToolText.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace patchwise {

using text::equalsIgnoreCase;

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
        if (equalsIgnoreCase(name, row.name)) return row.type == ToolType::None ? std::nullopt : std::optional(row.type);
    // The dump labels 16pct fields "PCT16"; accept it so pasted FIELD lines apply.
    if (equalsIgnoreCase(name, "PCT16")) return ToolType::Pct16;
    return std::nullopt;
}

const ToolTypeRow& typeRow(ToolType t) { return ToolTypeTable[static_cast<std::size_t>(t)]; }

int typeWidth(std::optional<ToolType> t) { return t ? typeRow(*t).width : 0; }

std::vector<std::string> splitDefinitionText(std::string_view bytes)
{
    std::vector<std::string> lines;
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        // One piece: up to 255 characters, or through the first LF.
        std::size_t end = pos;
        while (end < bytes.size() && end - pos < 255) {
            if (bytes[end++] == '\n') break;
        }
        std::string_view piece = bytes.substr(pos, end - pos);
        pos = end;
        std::size_t cut = piece.find_first_of(std::string_view("\n\r\0", 3));
        if (cut != std::string_view::npos) piece = piece.substr(0, cut);
        if (!piece.empty()) lines.emplace_back(piece);
    }
    lines.emplace_back("[+]");
    return lines;
}

bool ToolDefinitions::loadDefinitions(const std::string& path, std::string& out)
{
    if (loaded_) return true;
    std::string file = path;
    if (file.empty()) {
        std::string cwd = currentDirectory();
        file = findTarloIni(cwd);
#ifdef TARLO_DATA_DIR
        // An installed system without a registered editor still has the
        // definition file the package put in its data folder.
        if (file.empty()) file = findTarloIni(TARLO_DATA_DIR);
#endif
        if (file.empty()) file = (cwd == "/" ? "" : cwd) + "/tarlo.ini";
    }
    std::vector<std::uint8_t> bytes;
    if (model::fileio::readFile(file, bytes)) {
        out += "Can't find " + file + "\n";
        return false;
    }
    out += "Found " + file + "\n";
    loadText(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    return true;
}

void ToolDefinitions::loadText(std::string_view bytes)
{
    unload();
    lines_ = splitDefinitionText(bytes);
    buildIndex();
    loaded_ = true;
}

void ToolDefinitions::unload()
{
    lines_.clear();
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
        if (c != ' ' && c != '\t') r += c;
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
        if (c == '[') return FieldLineKind::EndsSection;
        if (c == 'h' || c == 'H' || c == ';') return FieldLineKind::Skipped;
    }
    if (eq == std::string_view::npos) return FieldLineKind::Skipped;
    field = FieldLine{};
    std::string_view rest = line.substr(eq + 1);
    auto c1 = rest.find(',');
    if (c1 == std::string_view::npos) return FieldLineKind::Field; // an empty field line
    field.offset = text::leadingHexDigits(withoutBlanks(rest.substr(0, c1))).value_or(0);
    std::string_view afterType = rest.substr(c1 + 1);
    auto c2 = afterType.find(',');
    field.typeName = withoutBlanks(afterType.substr(0, c2));
    field.type = lookupTypeName(field.typeName);
    if (c2 != std::string_view::npos) field.name = std::string(afterType.substr(c2 + 1));
    return FieldLineKind::Field;
}

} // namespace

void ToolDefinitions::buildIndex()
{
    const std::size_t n = lines_.size();
    // Records: the lines after the first "[records]" up to the next line
    // that begins with '['; the first line whose leading number is the id.
    auto it = std::find_if(lines_.begin(), lines_.end(),
            [](const std::string& l) { return equalsIgnoreCase(l, "[records]"); });
    if (it != lines_.end()) {
        for (++it; it != lines_.end() && !(!it->empty() && (*it)[0] == '['); ++it) {
            auto number = text::scanHex(*it);
            if (!number || records_.count(*number)) continue;
            RecordLine rec;
            rec.line = static_cast<std::uint32_t>(it - lines_.begin());
            const std::string& line = *it;
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
    fieldsBefore_.assign(n + 1, 0);
    endFrom_.assign(n + 1, static_cast<std::uint32_t>(n));
    std::vector<bool> ends(n, false);
    for (std::size_t i = 0; i < n; ++i) {
        const std::string& line = lines_[i];
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
    for (std::size_t i = n; i-- > 0;) endFrom_[i] = ends[i] ? static_cast<std::uint32_t>(i) : endFrom_[i + 1];
}

RecordLookupView ToolDefinitions::findRecord(std::uint32_t id) const
{
    auto it = records_.find(id);
    if (it == records_.end()) return {};
    const RecordLine& rec = it->second;
    return {rec.type, std::string_view(lines_[rec.line]).substr(rec.nameBegin, rec.nameLength)};
}

RecordLookup ToolDefinitions::lookupRecord(std::uint32_t id) const
{
    RecordLookupView v = findRecord(id);
    return {v.type, std::string(v.name)};
}

std::optional<std::size_t> ToolDefinitions::findRecordSection(std::uint32_t id) const
{
    auto it = sections_.find(id);
    if (it == sections_.end()) return std::nullopt;
    return it->second;
}

std::span<const FieldLine> ToolDefinitions::fieldsFrom(std::size_t position) const
{
    if (position >= lines_.size()) return {};
    const std::size_t first = fieldsBefore_[position];
    const std::size_t last = fieldsBefore_[endFrom_[position]];
    return std::span<const FieldLine>(fields_).subspan(first, last - first);
}

std::optional<FieldLineResult> ToolDefinitions::nextFieldLine(std::size_t position) const
{
    auto fields = fieldsFrom(position);
    if (fields.empty()) return std::nullopt;
    FieldLineResult r;
    r.field = fields.front();
    r.next = fieldLine_[fieldsBefore_[position]] + 1;
    return r;
}

std::optional<std::span<const FieldLine>> ToolDefinitions::sectionFields(std::uint32_t id) const
{
    auto pos = findRecordSection(id);
    if (!pos) return std::nullopt;
    return fieldsFrom(*pos);
}

std::uint32_t ToolDefinitions::definedRecordSize(std::uint32_t id, const std::string& path, std::string& out)
{
    if (!loadDefinitions(path, out)) return 0;
    if (auto known = sizes_.find(id); known != sizes_.end()) return known->second;
    std::uint32_t size = 0;
    if (auto type = findRecord(id).type) {
        size = static_cast<std::uint32_t>(typeWidth(type));
    } else if (auto fields = sectionFields(id)) {
        std::uint64_t sum = 0;
        for (const FieldLine& f : *fields) sum += static_cast<std::uint64_t>(typeWidth(f.type));
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

// --- Finding the definition file -------------------------------------------

namespace {

std::string trim(std::string_view s)
{
    std::size_t b = 0, e = s.size();
    while (b < e && text::isSpace(s[b])) ++b;
    while (e > b && text::isSpace(s[e - 1])) --e;
    return std::string(s.substr(b, e - b));
}

// Desktop-entry value escapes: \s \n \t \r \\.
std::string unescapeDesktopValue(std::string_view v)
{
    std::string r;
    for (std::size_t i = 0; i < v.size(); ++i) {
        if (v[i] == '\\' && i + 1 < v.size()) {
            char n = v[++i];
            switch (n) {
            case 's': r += ' '; break;
            case 'n': r += '\n'; break;
            case 't': r += '\t'; break;
            case 'r': r += '\r'; break;
            case '\\': r += '\\'; break;
            default: r += '\\'; r += n; break;
            }
        } else {
            r += v[i];
        }
    }
    return r;
}

std::string parentOf(const std::string& path)
{
    auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return {};
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

bool isRegularFile(const std::string& path)
{
    std::error_code ec;
    return std::filesystem::is_regular_file(path, ec);
}

std::string joinPath(const std::string& dir, const std::string& name)
{
    if (dir.empty() || dir.back() == '/') return dir + name;
    return dir + "/" + name;
}

} // namespace

std::optional<std::string> readOpenCommand(const std::string& desktopFile, bool* fromExec)
{
    std::vector<std::uint8_t> bytes;
    if (model::fileio::readFile(desktopFile, bytes)) return std::nullopt;
    std::string_view all(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    bool inEntry = false;
    std::optional<std::string> own, exec;
    std::size_t pos = 0;
    while (pos < all.size()) {
        std::size_t nl = all.find('\n', pos);
        std::string_view line = all.substr(pos, nl == std::string_view::npos ? std::string_view::npos : nl - pos);
        pos = nl == std::string_view::npos ? all.size() : nl + 1;
        std::string t = trim(line);
        if (t.empty() || t[0] == '#') continue;
        if (t[0] == '[') {
            inEntry = t == "[Desktop Entry]";
            continue;
        }
        if (!inEntry) continue;
        auto eq = t.find('=');
        if (eq == std::string::npos) continue;
        std::string key = trim(std::string_view(t).substr(0, eq));
        std::string value = unescapeDesktopValue(trim(std::string_view(t).substr(eq + 1)));
        if (key == "X-Tarlo-OpenCommand" && !own) own = value;
        else if (key == "Exec" && !exec) exec = value;
    }
    if (fromExec) *fromExec = !own && exec;
    if (own) return own;
    return exec;
}

std::string programFromOpenCommand(std::string_view command)
{
    std::string cmd = trim(command);
    if (cmd.empty()) return {};
    if (cmd[0] == '"') {
        std::string program;
        for (std::size_t i = 1; i < cmd.size(); ++i) {
            char c = cmd[i];
            if (c == '"') return program;
            if (c == '\\' && i + 1 < cmd.size() && std::string_view("\"`$\\").find(cmd[i + 1]) != std::string_view::npos)
                c = cmd[++i];
            program += c;
        }
        return program;
    }
    // The editor records "<program> \"%1\"", and its program path may hold blanks.
    for (std::string_view suffix : {std::string_view(" \"%1\""), std::string_view(" %1")}) {
        if (cmd.size() > suffix.size() && cmd.compare(cmd.size() - suffix.size(), suffix.size(), suffix) == 0)
            return trim(std::string_view(cmd).substr(0, cmd.size() - suffix.size()));
    }
    auto blank = cmd.find_first_of(" \t");
    return cmd.substr(0, blank);
}

std::string findTarloIni(const std::string& dir)
{
    std::error_code ec;
    std::string best;
    const std::string base = dir.empty() ? "." : dir;
    for (std::filesystem::directory_iterator it(base, ec), end; !ec && it != end; it.increment(ec)) {
        std::string name = it->path().filename().string();
        if (!equalsIgnoreCase(name, "tarlo.ini")) continue;
        if (!isRegularFile(joinPath(base, name))) continue;
        // Several spellings in one folder: take the same one every time.
        if (best.empty() || name == "tarlo.ini" || (best != "tarlo.ini" && name < best)) best = name;
    }
    return best.empty() ? std::string() : joinPath(base, best);
}

std::string currentDirectory()
{
    std::error_code ec;
    auto p = std::filesystem::current_path(ec);
    return ec ? std::string() : p.string();
}

std::string definitionPathForProgram(const std::string& programIn)
{
    std::string program = programIn;
    if (program.empty()) return {};
    if (program.find('/') == std::string::npos) {
        // A bare program name: look it up on PATH.
        const char* pathEnv = std::getenv("PATH");
        std::string_view paths = pathEnv ? pathEnv : "";
        std::string found;
        while (!paths.empty() && found.empty()) {
            auto colon = paths.find(':');
            std::string dir(paths.substr(0, colon));
            paths = colon == std::string_view::npos ? std::string_view() : paths.substr(colon + 1);
            if (!dir.empty() && isRegularFile(joinPath(dir, program))) found = joinPath(dir, program);
        }
        if (found.empty()) return {};
        program = found;
    }
    if (program.size() > 4 && equalsIgnoreCase(std::string_view(program).substr(program.size() - 4), ".exe")) {
        std::string ini = program.substr(0, program.size() - 3) + "ini";
        if (isRegularFile(ini)) return ini;
    }
    std::string dir = parentOf(program);
    if (std::string beside = findTarloIni(dir); !beside.empty()) return beside;
    std::string prefix = parentOf(dir);
    if (!prefix.empty()) {
        if (std::string shared = findTarloIni(joinPath(prefix, "share/tarlo")); !shared.empty()) return shared;
    }
    return {};
}

std::string locateDefinitionFile()
{
    std::string dataHome;
    if (const char* x = std::getenv("XDG_DATA_HOME"); x && *x) dataHome = x;
    else if (const char* home = std::getenv("HOME"); home && *home) dataHome = std::string(home) + "/.local/share";
    if (!dataHome.empty()) {
        bool fromExec = false;
        if (auto command = readOpenCommand(dataHome + "/applications/tarlo.desktop", &fromExec)) {
            std::string program = programFromOpenCommand(*command);
            if (fromExec) {
                // Exec doubles a literal '%'.
                for (std::size_t at = 0; (at = program.find("%%", at)) != std::string::npos; ++at) program.erase(at, 1);
            }
            std::string path = definitionPathForProgram(program);
            if (!path.empty()) return path;
        }
    }
    return findTarloIni(currentDirectory());
}

} // namespace patchwise
