// The diff listing: the engine's differences as text for people.
#include "tool/AirWalk.h"
#include "tool/Diff.h"
#include "tool/DiffRecords.h"
#include "tool/Stamp.h"
#include "tool/ToolText.h"

#include <algorithm>

namespace patchwise {

using namespace diffing;
using text::dec;
using text::fixed6;
using text::hex;

namespace {

using Kind = diff::Difference::Kind;

std::string occurrenceNote(const diff::Record& r)
{
    return r.occurrence == 0 ? std::string() : " (record " + dec(r.occurrence + 1) + " with this id)";
}

std::string hexBytes(ByteView d, std::size_t from, std::size_t to)
{
    if (from >= d.size())
        return "(none)";
    std::string s;
    for (std::size_t i = from; i < to && i < d.size(); ++i) {
        if (i > from)
            s += ' ';
        s += hex(d[i], 2);
    }
    return s;
}

std::string orNone(bool present, const std::string& s)
{
    return present ? s : std::string("(none)");
}

class Listing {
public:
    explicit Listing(ToolDefinitions& defs) : defs_(defs) {}

    std::string run(ByteView oldIn, ByteView newIn)
    {
        const ComparedPair p = comparedPair(oldIn, newIn);
        if (p.revisionChanged)
            out_ += "\nRevision text: \"" + printable(p.oldRevision) + "\" -> \"" + printable(p.newRevision)
                    + "\"\n";
        if (p.oldBytes == p.newBytes)
            return out_;
        const ParsedFile o = readRecords(p.oldBytes, true), n = readRecords(p.newBytes, true);
        old_ = &o.list;
        new_ = &n.list;
        for (const diff::Difference& d : diff::compareRecords(o.list, n.list, DefinitionLayouts(defs_)))
            show(d);
        if (out_.empty())
            out_ = "\nThe files differ.\n";
        return out_;
    }

private:
    void show(const diff::Difference& d)
    {
        switch (d.kind) {
        case Kind::OnlyInOld: {
            const diff::Record& r = (*old_)[d.oldRecord];
            out_ += "\nOnly in OLD: " + recordHeader(r.id, defs_.lookupRecord(r.id).name) + occurrenceNote(r)
                    + "\n";
            out_ += "Length " + dec(r.data.size()) + "\n";
            break;
        }
        case Kind::OnlyInNew:
            onlyInNew((*new_)[d.newRecord]);
            break;
        case Kind::Record:
            record((*old_)[d.oldRecord], (*new_)[d.newRecord]);
            break;
        case Kind::TableSize:
            tableSize(d);
            break;
        case Kind::TableItem:
            tableItem(d);
            break;
        case Kind::Field:
            field(d.field);
            break;
        case Kind::Bytes:
            byteRange(a_, b_, d);
            break;
        case Kind::Order:
            out_ += "\nThe records are in another order.\n";
            for (std::size_t i : movedRecords(*old_, *new_))
                out_ += "Moved: " + recordHeader((*old_)[i].id, defs_.lookupRecord((*old_)[i].id).name)
                        + occurrenceNote((*old_)[i]) + "\n";
            break;
        case Kind::TrailerBytes:
            if (!inTrailer_)
                out_ += "\nBytes after the last record:\n";
            inTrailer_ = true;
            byteRange(old_->trailer(), new_->trailer(), d);
            break;
        }
    }

    void onlyInNew(const diff::Record& b)
    {
        out_ += "\nOnly in NEW: " + recordHeader(b.id, defs_.lookupRecord(b.id).name) + occurrenceNote(b)
                + "\n";
        RecordClass cls = classifyRecord(b.id);
        if (cls != RecordClass::Unclassified)
            appendTableListing(out_, cls, b.data, static_cast<std::uint32_t>(b.data.size()));
        else
            hexLines(b.data);
    }

    void record(const diff::Record& a, const diff::Record& b)
    {
        a_ = a.data;
        b_ = b.data;
        out_ += "\n" + recordHeader(a.id, defs_.lookupRecord(a.id).name) + occurrenceNote(a) + "\n";
        if (a.data.size() != b.data.size())
            out_ += "Length " + dec(a.data.size()) + " -> " + dec(b.data.size()) + "\n";
    }

    void hexLines(ByteView d)
    {
        out_ += "Points: " + dec(d.size()) + "\n";
        for (std::size_t i = 0; i < d.size(); ++i) {
            out_ += hex(d[i], 2) + " ";
            if ((i + 1) % 16 == 0)
                out_ += "\n";
        }
        if (d.size() % 16 != 0)
            out_ += "\n";
    }

    void byteRange(ByteView a, ByteView b, const diff::Difference& d)
    {
        const auto from = static_cast<std::uint32_t>(d.from), last = static_cast<std::uint32_t>(d.to - 1);
        const std::string where =
                d.to - d.from == 1 ? "  byte 0x" + hex(from) : "  bytes 0x" + hex(from) + "-0x" + hex(last);
        out_ += where + ": " + hexBytes(a, d.from, d.to) + " -> " + hexBytes(b, d.from, d.to) + "\n";
    }

    void field(const diff::FieldLayout& f)
    {
        const auto type = static_cast<ToolType>(f.type);
        const auto va = fieldValueText(type, a_, f.offset), vb = fieldValueText(type, b_, f.offset);
        if (!va || !vb)
            return;
        if (type == ToolType::Text)
            out_ += "  " + f.name + " (TEXT at 0x" + hex(f.offset) + "): \"" + printable(*va) + "\" -> \""
                    + printable(*vb) + "\"\n";
        else
            out_ += "  " + f.name + " (" + typeRow(type).label + " at 0x" + hex(f.offset) + "): " + *va
                    + " -> " + *vb + "\n";
    }

    void tableSize(const diff::Difference& d)
    {
        if (d.table == diff::TableKind::Grid)
            out_ += "  columns: " + dec(d.oldSize.columns) + "  rows: " + dec(d.oldSize.rows)
                    + " -> columns: " + dec(d.newSize.columns) + "  rows: " + dec(d.newSize.rows) + "\n";
        else
            out_ += "  Points: " + dec(d.oldSize.rows) + " -> " + dec(d.newSize.rows) + "\n";
    }

    void tableItem(const diff::Difference& d)
    {
        switch (d.table) {
        case diff::TableKind::Int16List:
            out_ += "  value[" + dec(d.row) + "]: " + orNone(d.inOld, d.inOld ? dec(i16(a_, d.oldAt)) : "")
                    + " -> " + orNone(d.inNew, d.inNew ? dec(i16(b_, d.newAt)) : "") + "\n";
            break;
        case diff::TableKind::PointTable: {
            auto pt = [](ByteView v, std::size_t at) {
                return fixed6(f64(v, at)) + "\t" + fixed6(f64(v, at + 8));
            };
            out_ += "  point[" + dec(d.row) + "]: " + orNone(d.inOld, d.inOld ? pt(a_, d.oldAt) : "") + " -> "
                    + orNone(d.inNew, d.inNew ? pt(b_, d.newAt) : "") + "\n";
            break;
        }
        case diff::TableKind::Grid:
            out_ += "  cell[" + dec(d.row) + "][" + dec(d.column)
                    + "]: " + orNone(d.inOld, d.inOld ? fixed6(f64(a_, d.oldAt)) : "") + " -> "
                    + orNone(d.inNew, d.inNew ? fixed6(f64(b_, d.newAt)) : "") + "\n";
            break;
        case diff::TableKind::None:
            break;
        }
    }

    ToolDefinitions& defs_;
    std::string out_;
    const diff::RecordList* old_ = nullptr;
    const diff::RecordList* new_ = nullptr;
    ByteView a_, b_; // the data of the record pair whose differences are shown
    bool inTrailer_ = false;
};

} // namespace

DiffResult diffListing(
        ByteView oldFile, ByteView newFile, const std::string& definitionPath, ToolDefinitions& defs)
{
    std::string scratch;
    defs.loadDefinitions(definitionPath, scratch);
    DiffResult r;
    r.text = Listing(defs).run(oldFile, newFile);
    if (!r.text.empty() && r.text.front() == '\n')
        r.text.erase(0, 1);
    r.different = !r.text.empty();
    return r;
}

} // namespace patchwise
