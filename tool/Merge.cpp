// The merge command: reads the three files, merges them and writes the result.
#include "tool/Merge.h"

#include "base/FileIO.h"
#include "diff/Merge.h"
#include "tool/AirWalk.h"
#include "tool/Diff.h"
#include "tool/DiffRecords.h"
#include "tool/Dump.h"
#include "tool/Stamp.h"
#include "tool/ToolText.h"

#include <algorithm>
#include <charconv>
#include <optional>
#include <ostream>
#include <string_view>

namespace patchwise {

namespace {

using diffing::ByteView;
using text::dec;
using text::hex;
using CKind = diff::MergeConflict::Kind;

// The whole records; from the first record cut off by the end on, the bytes
// are the trailer (merged as one piece).
diff::RecordList recordsOf(ByteView file)
{
    diff::RecordList list;
    std::size_t end = 0;
    forEachRecord(file, [&](const RecordSpan& r) {
        if (r.present < r.length)
            return false;
        list.add(r.id, file.subspan(r.data, r.present));
        end = r.data + r.present;
        return true;
    });
    list.setTrailer(file.subspan(end));
    return list;
}

std::vector<std::uint8_t> fileOf(const diff::MergeResult& m)
{
    std::size_t size = m.trailer.size();
    for (const auto& r : m.records)
        size += 8 + r.data.size();
    std::vector<std::uint8_t> out;
    out.reserve(size);
    auto u32 = [&](std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    };
    for (const auto& r : m.records) {
        u32(r.id);
        u32(static_cast<std::uint32_t>(r.data.size()));
        out.insert(out.end(), r.data.begin(), r.data.end());
    }
    out.insert(out.end(), m.trailer.begin(), m.trailer.end());
    return out;
}

bool stampByte(const diff::Record& r, std::size_t at)
{
    if (r.occurrence != 0)
        return false;
    if (r.id == kStampRecord)
        return at >= 4 && (at - 4) % 8 == 0 && (at - 4) / 8 < kStampSlots;
    return r.id == kRevisionRecord && at % 8 == 0;
}

std::string hexBytes(ByteView d, std::size_t from, std::size_t to)
{
    std::string s;
    for (std::size_t i = from; i < to && i < d.size(); ++i) {
        if (i > from)
            s += ' ';
        s += hex(d[i], 2);
    }
    return s.empty() ? "(none)" : s;
}

class ConflictText {
public:
    ConflictText(const ToolDefinitions& defs, const diff::RecordList& b, const diff::RecordList& o,
            const diff::RecordList& t)
            : defs_(defs), b_(b), o_(o), t_(t)
    {}

    std::string line(const diff::MergeConflict& c) const
    {
        if (c.kind == CKind::Trailer)
            return "bytes after the last record: base " + dec(b_.trailer().size()) + " bytes / ours "
                    + dec(o_.trailer().size()) + " bytes / theirs " + dec(t_.trailer().size()) + " bytes";
        const diff::Record& any = c.ours != diff::kNone ? o_[c.ours] : t_[c.theirs];
        std::string s = diffing::recordHeader(any.id, defs_.lookupRecord(any.id).name);
        if (any.occurrence)
            s += " (record " + dec(any.occurrence + 1) + " with this id)";
        const ByteView b = b_[c.base].data;
        switch (c.kind) {
        case CKind::DeletedByOurs:
            return s + ": base " + dec(b.size()) + " bytes / ours deleted / theirs changed";
        case CKind::DeletedByTheirs:
            return s + ": base " + dec(b.size()) + " bytes / ours changed / theirs deleted";
        case CKind::Record:
            return s + ": whole record: base " + dec(b.size()) + " bytes / ours "
                    + dec(o_[c.ours].data.size()) + " bytes / theirs " + dec(t_[c.theirs].data.size())
                    + " bytes";
        default:
            break;
        }
        if (c.isField)
            return s + fieldPart(c);
        if (c.isCell && c.table != diff::TableKind::None)
            return s + cellPart(c);
        const std::string where = c.table != diff::TableKind::None ? "table size"
                : c.to - c.from == 1 ? "byte 0x" + hex(static_cast<std::uint32_t>(c.from))
                                     : "bytes 0x" + hex(static_cast<std::uint32_t>(c.from)) + "-0x"
                        + hex(static_cast<std::uint32_t>(c.to - 1));
        return s + ": " + where + three(c, [&](ByteView d) { return hexBytes(d, c.from, c.to); });
    }

private:
    // ": base … / ours … / theirs …", each side's bytes shown by value.
    template <class Value>
    std::string three(const diff::MergeConflict& c, Value value) const
    {
        return ": base " + value(b_[c.base].data) + " / ours " + value(o_[c.ours].data) + " / theirs "
                + value(t_[c.theirs].data);
    }

    std::string fieldPart(const diff::MergeConflict& c) const
    {
        const auto type = static_cast<ToolType>(c.field.type);
        return ": " + c.field.name + " at 0x" + hex(static_cast<std::uint32_t>(c.field.offset))
                + three(c, [&](ByteView d) {
                      auto v = fieldValueText(type, d, c.field.offset);
                      if (!v)
                          return hexBytes(d, c.from, c.to);
                      if (type != ToolType::Text)
                          return *v;
                      std::string quoted(1, '"');
                      quoted += diffing::printable(*v);
                      quoted += '"';
                      return quoted;
                  });
    }

    std::string cellPart(const diff::MergeConflict& c) const
    {
        switch (c.table) {
        case diff::TableKind::Int16List:
            return ": value[" + dec(c.row) + "]"
                    + three(c, [&](ByteView d) { return dec(diffing::i16(d, c.from)); });
        case diff::TableKind::PointTable:
            return ": point[" + dec(c.row) + "]" + three(c, [&](ByteView d) {
                return text::fixed6(diffing::f64(d, c.from)) + " "
                        + text::fixed6(diffing::f64(d, c.from + 8));
            });
        case diff::TableKind::Grid:
            return ": cell[" + dec(c.row) + "][" + dec(c.column) + "]"
                    + three(c, [&](ByteView d) { return text::fixed6(diffing::f64(d, c.from)); });
        case diff::TableKind::None:
            break;
        }
        return {};
    }

    const ToolDefinitions& defs_;
    const diff::RecordList& b_;
    const diff::RecordList& o_;
    const diff::RecordList& t_;
};

// A conflict as the script lines that take THEIRS's side find it: a line
// for its record (the first with its id) and, unless the whole record is in
// conflict, for a byte of its range.
struct ScriptedConflict {
    std::uint32_t id = 0;
    bool scriptable = false; // a script line can concern it
    bool wholeRecord = false;
    std::size_t from = 0, to = 0;
    std::string line;
    bool done = false;
};

ScriptedConflict scripted(
        const diff::MergeConflict& c, const diff::RecordList& o, const diff::RecordList& t, std::string line)
{
    ScriptedConflict s;
    s.line = std::move(line);
    if (c.kind == CKind::Trailer)
        return s;
    const diff::Record& any = c.ours != diff::kNone ? o[c.ours] : t[c.theirs];
    s.id = any.id;
    s.scriptable = any.occurrence == 0;
    s.wholeRecord = c.kind != CKind::Item;
    s.from = c.isField ? c.field.offset : c.from;
    s.to = std::max(c.to, s.from + 1);
    return s;
}

std::optional<std::uint32_t> hexWord(std::string_view word)
{
    std::uint32_t v = 0;
    const auto [end, ec] = std::from_chars(word.data(), word.data() + word.size(), v, 16);
    if (ec != std::errc() || end != word.data() + word.size() || word.empty())
        return std::nullopt;
    return v;
}

// The script with each conflict's comment, its three values, just before the
// first line that takes THEIRS's side of it: a "field" line at a byte of its
// range, or any line for its record ("text", "delete", a table's "Record:").
std::string commentedScript(const std::string& script, std::vector<ScriptedConflict>& conflicts)
{
    std::string out;
    std::size_t pos = 0;
    while (pos < script.size()) {
        std::size_t end = script.find('\n', pos);
        end = end == std::string::npos ? script.size() : end + 1;
        const std::string_view line(script.data() + pos, end - pos);
        pos = end;
        std::vector<std::string_view> words;
        for (std::size_t i = 0; i < line.size() && words.size() < 3;) {
            const std::size_t j = std::min(line.find_first_of(" \t\n", i), line.size());
            if (j > i)
                words.push_back(line.substr(i, j - i));
            i = j + 1;
        }
        std::optional<std::uint32_t> id, offset;
        if (words.size() >= 2
                && (words[0] == "field" || words[0] == "text" || words[0] == "delete"
                        || words[0] == "Record:"))
            id = hexWord(words[1]);
        if (id && words[0] == "field" && words.size() >= 3)
            offset = hexWord(words[2]);
        if (id)
            for (ScriptedConflict& c : conflicts)
                if (!c.done && c.scriptable && c.id == *id
                        && (c.wholeRecord || !offset || (*offset >= c.from && *offset < c.to))) {
                    out += "; conflict: " + c.line + "\n";
                    c.done = true;
                }
        out += line;
    }
    return out;
}

} // namespace

MergeOutcome mergeFiles(ByteView base, ByteView ours, ByteView theirs, const std::string& definitionPath,
        ToolDefinitions& defs, bool wantScript)
{
    std::string scratch;
    defs.loadDefinitions(definitionPath, scratch);
    const diff::RecordList b = recordsOf(base), o = recordsOf(ours), t = recordsOf(theirs);
    const diffing::DefinitionLayouts layouts(defs);
    diff::MergeOptions options;
    options.quiet = stampByte;
    const diff::MergeResult m = diff::mergeRecords(b, o, t, layouts, options);
    MergeOutcome outcome;
    outcome.merged = fileOf(m);
    const ConflictText text(defs, b, o, t);
    for (const auto& c : m.conflicts)
        outcome.conflicts.push_back(text.line(c));
    if (!wantScript)
        return outcome;
    if (m.conflicts.empty()) {
        outcome.script = "; no conflicts\n";
        return outcome;
    }
    options.theirsOnConflict = true;
    const std::vector<std::uint8_t> resolved = fileOf(diff::mergeRecords(b, o, t, layouts, options));
    DiffResult d = diffScript(outcome.merged, resolved, definitionPath, defs);
    std::vector<ScriptedConflict> placed;
    for (std::size_t k = 0; k < m.conflicts.size(); ++k)
        placed.push_back(scripted(m.conflicts[k], o, t, outcome.conflicts[k]));
    const std::string body = commentedScript(d.text, placed);
    for (const ScriptedConflict& c : placed)
        if (!c.done)
            outcome.script += "; conflict: " + c.line + "\n";
    outcome.script += "; the lines below take THEIRS's side of every conflict; a conflict's values stand "
                      "above its lines\n";
    for (const std::string& w : d.warnings)
        outcome.script += "; " + w + "\n";
    outcome.script += body;
    return outcome;
}

int runMergeCommand(const MergeCommand& command, std::ostream& err)
{
    namespace fio = base::fileio;
    const std::string files[3] = {command.base, command.ours, command.theirs};
    const std::string output = command.output.empty() ? command.ours : command.output;
    const std::string& conflictsPath = command.conflicts;
    if (!conflictsPath.empty()) {
        for (const std::string& f : {files[0], files[1], files[2], output})
            if (sameFile(conflictsPath, f)) {
                err << "patchwise: the conflicts script would replace " << f << "\n";
                return 2;
            }
    }
    std::vector<std::uint8_t> bytes[3];
    for (int k = 0; k < 3; ++k) {
        if (auto e = fio::readFile(files[k], bytes[k])) {
            err << "patchwise: " << e.message << "\n";
            return 2;
        }
    }
    MergeOutcome m = mergeFiles(
            bytes[0], bytes[1], bytes[2], command.definitions, processDefinitions(), !conflictsPath.empty());
    for (const std::string& c : m.conflicts)
        err << "patchwise: conflict: " << c << "\n";
    // The script first: when the merged file is written, all is.
    if (!conflictsPath.empty()) {
        const auto* p = reinterpret_cast<const std::uint8_t*>(m.script.data());
        if (auto e = fio::writeFileAtomic(conflictsPath, {p, m.script.size()})) {
            err << "patchwise: " << e.message << "\n";
            return 2;
        }
    }
    if (auto e = fio::writeFileAtomic(output, m.merged)) {
        err << "patchwise: " << e.message << "\n";
        return 2;
    }
    return m.conflicts.empty() ? 0 : 1;
}

} // namespace patchwise
