// The merge command: reads the three files, merges them and writes the result.
#include "tool/Merge.h"

#include "base/FileIO.h"
#include "diff/Merge.h"
#include "tool/AirWalk.h"
#include "tool/CommandLine.h"
#include "tool/Diff.h"
#include "tool/DiffRecords.h"
#include "tool/Dump.h"
#include "tool/Stamp.h"
#include "tool/ToolText.h"

#include <ostream>

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
        const ByteView o = o_[c.ours].data, t = t_[c.theirs].data;
        auto three = [&](auto value) {
            return ": base " + value(b) + " / ours " + value(o) + " / theirs " + value(t);
        };
        if (c.isField) {
            const auto type = static_cast<ToolType>(c.field.type);
            return s + ": " + c.field.name + " at 0x" + hex(static_cast<std::uint32_t>(c.field.offset))
                    + three([&](ByteView d) {
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
        if (c.isCell) {
            switch (c.table) {
            case diff::TableKind::Int16List:
                return s + ": value[" + dec(c.row) + "]"
                        + three([&](ByteView d) { return dec(diffing::i16(d, c.from)); });
            case diff::TableKind::PointTable:
                return s + ": point[" + dec(c.row) + "]" + three([&](ByteView d) {
                    return text::fixed6(diffing::f64(d, c.from)) + " "
                            + text::fixed6(diffing::f64(d, c.from + 8));
                });
            case diff::TableKind::Grid:
                return s + ": cell[" + dec(c.row) + "][" + dec(c.column) + "]"
                        + three([&](ByteView d) { return text::fixed6(diffing::f64(d, c.from)); });
            case diff::TableKind::None:
                break;
            }
        }
        const std::string where = c.table != diff::TableKind::None ? "table size"
                : c.to - c.from == 1 ? "byte 0x" + hex(static_cast<std::uint32_t>(c.from))
                                     : "bytes 0x" + hex(static_cast<std::uint32_t>(c.from)) + "-0x"
                        + hex(static_cast<std::uint32_t>(c.to - 1));
        return s + ": " + where + three([&](ByteView d) { return hexBytes(d, c.from, c.to); });
    }

private:
    const ToolDefinitions& defs_;
    const diff::RecordList& b_;
    const diff::RecordList& o_;
    const diff::RecordList& t_;
};

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
    for (const std::string& line : outcome.conflicts)
        outcome.script += "; conflict: " + line + "\n";
    outcome.script += "; the lines below take THEIRS's side of every conflict\n";
    DiffResult d = diffScript(outcome.merged, resolved, definitionPath, defs);
    for (const std::string& w : d.warnings)
        outcome.script += "; " + w + "\n";
    outcome.script += d.text;
    return outcome;
}

int runMergeCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err)
{
    namespace fio = base::fileio;
    std::optional<std::string> definitions;
    std::string output, conflictsPath;
    std::vector<std::string> files;
    auto trouble = [&](const std::string& message) {
        err << "patchwise: " << message << "\n" << usageText();
        return 2;
    };
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (optionsEnded || a.empty() || a[0] != '-' || a == "-") {
            files.push_back(a);
            continue;
        }
        if (a == "--") {
            optionsEnded = true;
            continue;
        }
        if (a == "--help" || a == "-h") {
            out << usageText();
            return 0;
        }
        std::string name = a, value;
        if (auto eq = a.find('='); a.rfind("--", 0) == 0 && eq != std::string::npos) {
            name = a.substr(0, eq);
            value = a.substr(eq + 1);
        } else if (i + 1 < args.size()) {
            value = args[++i];
        } else {
            return trouble(a + " needs a file");
        }
        if (name == "--definitions")
            definitions = value;
        else if (name == "-o" || name == "--output")
            output = value;
        else if (name == "--conflicts")
            conflictsPath = value;
        else
            return trouble("unknown option '" + a + "'");
    }
    if (files.size() != 3)
        return trouble("merge needs a base, our and their AIR file");
    if (output.empty())
        output = files[1];
    if (output == "-")
        return trouble("merge writes an AIR file, not standard output");
    if (!conflictsPath.empty()) {
        for (const std::string& f : {files[0], files[1], files[2], output})
            if (sameFile(conflictsPath, f))
                return trouble("the conflicts script would replace " + f);
    }
    std::vector<std::uint8_t> bytes[3];
    for (int k = 0; k < 3; ++k) {
        if (auto e = fio::readFile(files[k], bytes[k])) {
            err << "patchwise: " << e.message << "\n";
            return 2;
        }
    }
    const std::string defPath = definitions ? *definitions : locateDefinitionFile();
    MergeOutcome m =
            mergeFiles(bytes[0], bytes[1], bytes[2], defPath, processDefinitions(), !conflictsPath.empty());
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
