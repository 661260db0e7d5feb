#include "tool/Diff.h"

#include "base/AsciiText.h"
#include "base/Bytes.h"
#include "base/FileIO.h"
#include "tool/AirWalk.h"
#include "tool/Dump.h"
#include "tool/Stamp.h"
#include "tool/ToolText.h"
#include "tool/Update.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <ostream>
#include <unordered_map>

namespace patchwise {

using text::dec;
using text::fixed6;
using text::hex;

namespace {

using Bytes = std::vector<std::uint8_t>;
using ByteView = std::span<const std::uint8_t>;

// ---------------------------------------------------------------------------
// The records of a file as the diff sees them: the whole records in walk
// order, then perhaps a last record cut off by the end of the file (its bytes
// present), then perhaps stray bytes too short for a header (the trailer).

struct Rec {
    std::uint32_t id = 0;
    std::size_t header = 0;
    std::size_t occurrence = 0; // 0 for the first record with this id
    ByteView data;
};

struct Parsed {
    std::vector<Rec> recs;
    std::optional<Rec> cut; // kept apart unless parse() was asked to list it
    std::uint32_t cutLength = 0; // its stored length
    ByteView trailer;
    std::unordered_map<std::uint32_t, std::vector<std::size_t>> byId; // record indexes per id, in order
};

Parsed parse(ByteView file, bool cutAmongRecords)
{
    Parsed p;
    std::size_t end = 0;
    forEachRecord(file, [&](const RecordSpan& r) {
        end = r.data + r.present;
        if (r.present < r.length && !cutAmongRecords) {
            auto it = p.byId.find(r.id);
            p.cut = Rec{r.id, r.header, it == p.byId.end() ? 0 : it->second.size(),
                    file.subspan(r.data, r.present)};
            p.cutLength = r.length;
            return false;
        }
        auto& list = p.byId[r.id];
        p.recs.push_back({r.id, r.header, list.size(), file.subspan(r.data, r.present)});
        list.push_back(p.recs.size() - 1);
        return true;
    });
    p.trailer = file.subspan(end);
    return p;
}

namespace bytes = base::bytes;

// Reads at offsets the caller has checked.
std::int16_t i16(ByteView d, std::size_t at) { return bytes::i16(d, at).value(); }
std::int32_t i32(ByteView d, std::size_t at) { return bytes::i32(d, at).value(); }
double f64(ByteView d, std::size_t at) { return bytes::f64(d, at).value(); }

// "%.17g": enough digits to give back the exact double.
std::string g17(double v)
{
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, 17);
    return std::string(buf, r.ptr);
}
std::string shortest(double v)
{
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, r.ptr);
}

// The bytes the update stores for a real as the script gives it.
std::optional<double> readReal(const std::string& s)
{
    text::Scanner sc(s);
    auto v = sc.real();
    if (!v || !sc.atEnd()) return std::nullopt;
    return v;
}

bool isTableForm(RecordClass cls, ByteView d)
{
    switch (cls) {
    case RecordClass::Int16List:
        return d.size() % 2 == 0;
    case RecordClass::PointTable: {
        if (d.size() < 4 || i32(d, 0) < 0) return false;
        return d.size() == 4 + 16 * std::uint64_t(i32(d, 0));
    }
    case RecordClass::Grid: {
        if (d.size() < 8 || i32(d, 0) < 0 || i32(d, 4) < 0) return false;
        return d.size() == 8 + 8 * std::uint64_t(i32(d, 0)) * std::uint64_t(i32(d, 4));
    }
    case RecordClass::Unclassified:
        break;
    }
    return false;
}

// The fields the definitions give a record: its own type at offset 0, or
// the field lines of its section.
struct Field {
    std::uint32_t offset = 0;
    ToolType type = ToolType::None;
    std::string name;
};

std::vector<Field> fieldsOf(const ToolDefinitions& defs, std::uint32_t id, const RecordLookup& lookup)
{
    std::vector<Field> fields;
    if (!defs.loaded()) return fields;
    if (lookup.type) {
        fields.push_back({0, *lookup.type, lookup.name});
        return fields;
    }
    auto pos = defs.findRecordSection(id);
    if (!pos) return fields;
    while (auto f = defs.nextFieldLine(*pos)) {
        if (f->field.type && *f->field.type != ToolType::None)
            fields.push_back({f->field.offset, *f->field.type, f->field.name});
        pos = f->next;
    }
    return fields;
}

// Slot k of the stamp (record 0x404) and of the revision store (0x1199).
std::size_t stampSlot(std::size_t k) { return 4 + 8 * k; }
std::size_t revisionSlot(std::size_t k) { return 8 * k; }

// Control characters shown as escapes, for one-line messages.
std::string printable(std::string_view s)
{
    std::string out;
    for (char c : s) {
        auto u = static_cast<unsigned char>(c);
        if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else if (c == '\t')
            out += "\\t";
        else if (c == '\\')
            out += "\\\\";
        else if (c == '"')
            out += "\\\"";
        else if (u < 0x20 || u == 0x7F)
            out += "\\x" + hex(u, 2);
        else
            out += c;
    }
    return out;
}

std::string header(std::uint32_t id, const std::string& name) { return "Record: " + hex(id, 4) + " " + name; }

// ---------------------------------------------------------------------------
// The listing for people.

class Listing {
public:
    Listing(ToolDefinitions& defs) : defs_(defs) {}

    std::string run(ByteView oldIn, ByteView newIn)
    {
        // Masked copies: the stamp slots do not count, and a changed
        // revision text is one change, not a row of bytes.
        Bytes oldB(oldIn.begin(), oldIn.end()), newB(newIn.begin(), newIn.end());
        clearStamp(oldB);
        clearStamp(newB);
        const std::string oldRev = readRevision(oldB), newRev = readRevision(newB);
        if (oldRev != newRev) {
            out_ += "\nRevision text: \"" + printable(oldRev) + "\" -> \"" + printable(newRev) + "\"\n";
            const std::size_t slots = 9 + std::max(oldRev.size(), newRev.size()) + 1;
            for (Bytes* b : {&oldB, &newB})
                if (auto r = findFirstRecord(*b, kRevisionRecord))
                    for (std::size_t k = 9; k < slots; ++k)
                        if (revisionSlot(k) < r->present) (*b)[r->data + revisionSlot(k)] = 0;
        }
        if (oldB == newB) return out_;

        Parsed o = parse(oldB, true), n = parse(newB, true);
        std::vector<bool> newMatched(n.recs.size(), false);
        std::vector<std::size_t> matchedNewOrder; // old indexes in the new file's order
        for (std::size_t i = 0; i < o.recs.size(); ++i) {
            const Rec& a = o.recs[i];
            auto it = n.byId.find(a.id);
            if (it == n.byId.end() || a.occurrence >= it->second.size()) {
                RecordLookup lookup = defs_.lookupRecord(a.id);
                out_ += "\nOnly in OLD: " + header(a.id, lookup.name) + occurrenceNote(a) + "\n";
                out_ += "Length " + dec(a.data.size()) + "\n";
                continue;
            }
            std::size_t j = it->second[a.occurrence];
            newMatched[j] = true;
            compareRecord(a, n.recs[j]);
        }
        for (std::size_t j = 0; j < n.recs.size(); ++j) {
            const Rec& b = n.recs[j];
            if (newMatched[j]) {
                matchedNewOrder.push_back(o.byId[b.id][b.occurrence]);
                continue;
            }
            RecordLookup lookup = defs_.lookupRecord(b.id);
            out_ += "\nOnly in NEW: " + header(b.id, lookup.name) + occurrenceNote(b) + "\n";
            RecordClass cls = classifyRecord(b.id);
            if (cls != RecordClass::Unclassified)
                appendTableListing(out_, cls, b.data, static_cast<std::uint32_t>(b.data.size()));
            else
                hexLines(b.data);
        }
        if (!std::is_sorted(matchedNewOrder.begin(), matchedNewOrder.end()))
            out_ += "\nThe records are in another order.\n";
        if (!std::equal(o.trailer.begin(), o.trailer.end(), n.trailer.begin(), n.trailer.end())) {
            out_ += "\nBytes after the last record:\n";
            byteRanges(o.trailer, n.trailer, nullptr);
        }
        if (out_.empty()) out_ = "\nThe files differ.\n";
        return out_;
    }

private:
    static std::string occurrenceNote(const Rec& r)
    {
        return r.occurrence == 0 ? std::string() : " (record " + dec(r.occurrence + 1) + " with this id)";
    }

    void hexLines(ByteView d)
    {
        out_ += "Points: " + dec(d.size()) + "\n";
        for (std::size_t i = 0; i < d.size(); ++i) {
            out_ += hex(d[i], 2) + " ";
            if ((i + 1) % 16 == 0) out_ += "\n";
        }
        if (d.size() % 16 != 0) out_ += "\n";
    }

    static std::string hexBytes(ByteView d, std::size_t from, std::size_t to)
    {
        if (from >= d.size()) return "(none)";
        std::string s;
        for (std::size_t i = from; i < to && i < d.size(); ++i) {
            if (i > from) s += ' ';
            s += hex(d[i], 2);
        }
        return s;
    }

    // Changed bytes as ranges; `covered` marks bytes already shown as fields.
    void byteRanges(ByteView a, ByteView b, const std::vector<bool>* covered)
    {
        const std::size_t len = std::max(a.size(), b.size());
        auto differs = [&](std::size_t i) {
            if (covered && i < covered->size() && (*covered)[i]) return false;
            if (i >= a.size() || i >= b.size()) return true;
            return a[i] != b[i];
        };
        for (std::size_t i = 0; i < len;) {
            if (!differs(i)) {
                ++i;
                continue;
            }
            std::size_t j = i;
            while (j < len && differs(j)
                    && (i < std::min(a.size(), b.size())) == (j < std::min(a.size(), b.size())))
                ++j;
            std::string where = j - i == 1 ? "  byte 0x" + hex(static_cast<std::uint32_t>(i))
                                           : "  bytes 0x" + hex(static_cast<std::uint32_t>(i)) + "-0x"
                            + hex(static_cast<std::uint32_t>(j - 1));
            out_ += where + ": " + hexBytes(a, i, j) + " -> " + hexBytes(b, i, j) + "\n";
            i = j;
        }
    }

    void compareRecord(const Rec& a, const Rec& b)
    {
        if (std::equal(a.data.begin(), a.data.end(), b.data.begin(), b.data.end())) return;
        RecordLookup lookup = defs_.lookupRecord(a.id);
        out_ += "\n" + header(a.id, lookup.name) + occurrenceNote(a) + "\n";
        if (a.data.size() != b.data.size())
            out_ += "Length " + dec(a.data.size()) + " -> " + dec(b.data.size()) + "\n";
        RecordClass cls = classifyRecord(a.id);
        if (cls != RecordClass::Unclassified && isTableForm(cls, a.data) && isTableForm(cls, b.data)) {
            compareTable(cls, a.data, b.data);
            return;
        }
        std::vector<bool> covered(std::max(a.data.size(), b.data.size()), false);
        for (const Field& f : fieldsOf(defs_, a.id, lookup)) {
            auto va = fieldValueText(f.type, a.data, f.offset), vb = fieldValueText(f.type, b.data, f.offset);
            if (!va || !vb) continue;
            std::size_t width = f.type == ToolType::Text ? std::max(va->size(), vb->size()) + 1
                                                         : static_cast<std::size_t>(typeRow(f.type).width);
            bool changed = false;
            for (std::size_t i = f.offset; i < f.offset + width && i < covered.size(); ++i) {
                bool d = i >= a.data.size() || i >= b.data.size() || a.data[i] != b.data[i];
                changed = changed || d;
            }
            if (!changed) continue;
            for (std::size_t i = f.offset; i < f.offset + width && i < covered.size(); ++i) covered[i] = true;
            if (f.type == ToolType::Text)
                out_ += "  " + f.name + " (TEXT at 0x" + hex(f.offset) + "): \"" + printable(*va) + "\" -> \""
                        + printable(*vb) + "\"\n";
            else
                out_ += "  " + f.name + " (" + typeRow(f.type).label + " at 0x" + hex(f.offset) + "): " + *va
                        + " -> " + *vb + "\n";
        }
        byteRanges(a.data, b.data, &covered);
    }

    void compareTable(RecordClass cls, ByteView a, ByteView b)
    {
        auto value = [](bool present, const std::string& s) { return present ? s : std::string("(none)"); };
        switch (cls) {
        case RecordClass::Int16List: {
            std::size_t na = a.size() / 2, nb = b.size() / 2;
            if (na != nb) out_ += "  Points: " + dec(na) + " -> " + dec(nb) + "\n";
            for (std::size_t i = 0; i < std::max(na, nb); ++i) {
                bool pa = i < na, pb = i < nb;
                if (pa && pb && i16(a, 2 * i) == i16(b, 2 * i)) continue;
                out_ += "  value[" + dec(i) + "]: " + value(pa, pa ? dec(i16(a, 2 * i)) : "") + " -> "
                        + value(pb, pb ? dec(i16(b, 2 * i)) : "") + "\n";
            }
            break;
        }
        case RecordClass::PointTable: {
            std::size_t na = static_cast<std::size_t>(i32(a, 0)), nb = static_cast<std::size_t>(i32(b, 0));
            if (na != nb) out_ += "  Points: " + dec(na) + " -> " + dec(nb) + "\n";
            auto pt = [](ByteView d, std::size_t i) {
                return fixed6(f64(d, 4 + 16 * i)) + "\t" + fixed6(f64(d, 12 + 16 * i));
            };
            for (std::size_t i = 0; i < std::max(na, nb); ++i) {
                bool pa = i < na, pb = i < nb;
                if (pa && pb
                        && std::equal(
                                a.begin() + 4 + 16 * i, a.begin() + 20 + 16 * i, b.begin() + 4 + 16 * i))
                    continue;
                out_ += "  point[" + dec(i) + "]: " + value(pa, pa ? pt(a, i) : "") + " -> "
                        + value(pb, pb ? pt(b, i) : "") + "\n";
            }
            break;
        }
        case RecordClass::Grid: {
            std::size_t ra = static_cast<std::size_t>(i32(a, 0)), ca = static_cast<std::size_t>(i32(a, 4));
            std::size_t rb = static_cast<std::size_t>(i32(b, 0)), cb = static_cast<std::size_t>(i32(b, 4));
            if (ra != rb || ca != cb)
                out_ += "  columns: " + dec(ca) + "  rows: " + dec(ra) + " -> columns: " + dec(cb)
                        + "  rows: " + dec(rb) + "\n";
            for (std::size_t r = 0; r < std::max(ra, rb); ++r)
                for (std::size_t c = 0; c < std::max(ca, cb); ++c) {
                    bool pa = r < ra && c < ca, pb = r < rb && c < cb;
                    if (!pa && !pb) continue;
                    std::size_t ia = 8 + 8 * (r * ca + c), ib = 8 + 8 * (r * cb + c);
                    if (pa && pb && std::equal(a.begin() + ia, a.begin() + ia + 8, b.begin() + ib)) continue;
                    out_ += "  cell[" + dec(r) + "][" + dec(c)
                            + "]: " + value(pa, pa ? fixed6(f64(a, ia)) : "") + " -> "
                            + value(pb, pb ? fixed6(f64(b, ib)) : "") + "\n";
                }
            break;
        }
        case RecordClass::Unclassified:
            break;
        }
    }

    ToolDefinitions& defs_;
    std::string out_;
};

// ---------------------------------------------------------------------------
// The update script.

// A script line is read in pieces of at most 1,022 characters, line break included.
constexpr std::size_t kMaxScriptLine = 1021;

class ScriptWriter {
public:
    ScriptWriter(ToolDefinitions& defs, const std::string& defPath) : defs_(defs), defPath_(defPath) {}

    // keepOrder: records move only by being deleted and added again at the
    // end. Without it, records are changed where they stand and a
    // different order is left as a note. orderBroken: whether the first way
    // had to add records again that the old file holds.
    DiffResult run(ByteView oldFile, ByteView newFile, bool keepOrder, bool* orderBroken = nullptr)
    {
        DiffResult result;
        {
            Bytes a(oldFile.begin(), oldFile.end()), b(newFile.begin(), newFile.end());
            clearStamp(a);
            clearStamp(b);
            if (a == b) return result;
        }
        result.different = true;
        Parsed o = parse(oldFile, false), n = parse(newFile, false);
        if (!std::equal(o.trailer.begin(), o.trailer.end(), n.trailer.begin(), n.trailer.end()))
            cannot("bytes after the last record (" + dec(n.trailer.size())
                    + " of them; no command reaches them)");

        // Each new record whose id occurs no more often than in the old file
        // is one of the old ones: the k-th of b new records with an id is the
        // (a - b + k)-th of the a old ones, since deletions take the first.
        const std::size_t none = static_cast<std::size_t>(-1);
        std::vector<std::size_t> oldOf(n.recs.size(), none);
        for (std::size_t j = 0; j < n.recs.size(); ++j) {
            const Rec& r = n.recs[j];
            auto it = o.byId.find(r.id);
            std::size_t a = it == o.byId.end() ? 0 : it->second.size();
            std::size_t b = n.byId[r.id].size();
            if (b <= a) oldOf[j] = it->second[a - b + r.occurrence];
        }
        // Records keep their order, and new ones can only go at the end: the
        // kept part is the longest start of the new file in old order; the
        // rest is appended (each of its ids deleted first).
        std::vector<bool> isKept(n.recs.size(), false);
        if (keepOrder) {
            std::size_t kept = 0;
            for (std::size_t last = 0; kept < n.recs.size(); ++kept) {
                if (oldOf[kept] == none || (kept > 0 && oldOf[kept] <= last)) break;
                last = oldOf[kept];
                isKept[kept] = true;
            }
            for (std::size_t j = kept; j < n.recs.size(); ++j)
                if (oldOf[j] != none && orderBroken) *orderBroken = true;
        } else {
            for (std::size_t j = 0; j < n.recs.size(); ++j) isKept[j] = oldOf[j] != none;
            cannot("the order of the records (the script changes each record where it stands)");
        }
        std::size_t lastAdded = none;
        std::unordered_map<std::uint32_t, std::size_t> keptCount;
        for (std::size_t j = 0; j < n.recs.size(); ++j) {
            if (isKept[j])
                ++keptCount[n.recs[j].id];
            else
                lastAdded = j;
        }

        newFirst404_ = firstIndex(n, kStampRecord);
        newFirst1199_ = firstIndex(n, kRevisionRecord);
        planRevision(oldFile, newFile, n);

        // Deletions first: each takes the first record with its id, so the
        // record to change is then the first.
        for (const Rec& r : o.recs) {
            if (r.occurrence != 0) continue;
            std::size_t a = o.byId[r.id].size();
            auto k = keptCount.find(r.id);
            std::size_t d = a - (k == keptCount.end() ? 0 : k->second);
            for (std::size_t i = 0; i < d; ++i) out_ += "delete " + hex(r.id) + "\n";
        }
        for (std::size_t j = 0; j < n.recs.size(); ++j) {
            if (!isKept[j]) continue;
            const Rec& target = n.recs[j];
            const Rec& source = o.recs[oldOf[j]];
            std::vector<bool> mask = maskFor(j, target.data.size());
            if (target.occurrence == 0) {
                Bytes cur(source.data.begin(), source.data.end());
                change(target.id, cur, target.data, mask, false, true);
            } else if (!equalMasked(source.data, target.data, mask)) {
                cannot("a change to record " + hex(target.id, 4) + " number " + dec(target.occurrence + 1)
                        + " with this id (commands reach the first one only)");
            }
        }
        changeCutRecord(o, n, keptCount);
        std::unordered_map<std::uint32_t, bool> appended;
        for (std::size_t j = 0; j < n.recs.size(); ++j) {
            if (isKept[j]) continue;
            const Rec& target = n.recs[j];
            if (n.byId[target.id].size() != 1 || appended[target.id] || keptCount.count(target.id)) {
                cannot("record " + hex(target.id, 4) + " at position " + dec(j + 1)
                        + " (another record order, or a second record with this id after the others)");
                continue;
            }
            appended[target.id] = true;
            Bytes cur;
            change(target.id, cur, target.data, maskFor(j, target.data.size()), true, j == lastAdded);
        }
        // The finish stores the revision text, wherever its line stands.
        if (revisionLine_ && revisionLine_->back() == '\n') out_ += "text revid " + *revisionLine_;
        out_ += last_;
        verify(oldFile, newFile);
        finish(result);
        return result;
    }

private:
    // A last record cut off by the end of the file stays last (new records
    // go before it); field lines reach its bytes when it is the first
    // record with its id.
    void changeCutRecord(
            const Parsed& o, const Parsed& n, const std::unordered_map<std::uint32_t, std::size_t>& kept)
    {
        if (!o.cut && !n.cut) return;
        if (o.cut && !n.cut && !kept.count(o.cut->id)) {
            // Gone, or replaced by a whole record that the appends bring.
            out_ += "delete " + hex(o.cut->id) + "\n";
            return;
        }
        if (o.cut && n.cut && o.cut->id == n.cut->id && o.cutLength == n.cutLength
                && o.cut->data.size() == n.cut->data.size()) {
            const Rec& t = *n.cut;
            if (std::equal(o.cut->data.begin(), o.cut->data.end(), t.data.begin())) return;
            std::string scratch;
            if (!n.byId.count(t.id) && defs_.definedRecordSize(t.id, defPath_, scratch) <= n.cutLength) {
                Bytes cur(o.cut->data.begin(), o.cut->data.end());
                fieldLines(t.id, cur, t.data, std::vector<bool>(t.data.size(), false), false);
                return;
            }
        }
        cannot("the last record, cut off by the end of the file");
    }

    void finish(DiffResult& result)
    {
        result.text = "; update script made by patchwise diff\n" + notes_ + out_;
        result.warnings = warnings_;
    }

    void cannot(const std::string& what)
    {
        notes_ += "; cannot express: " + what + "\n";
        warnings_.push_back("cannot express: " + what);
    }

    static std::size_t firstIndex(const Parsed& p, std::uint32_t id)
    {
        auto it = p.byId.find(id);
        return it == p.byId.end() ? static_cast<std::size_t>(-1) : it->second.front();
    }

    // Bytes whose value the update itself decides: the stamp slots of the
    // first record 0x404, and the revision store when a "text revid" line
    // writes it.
    std::vector<bool> maskFor(std::size_t newIndex, std::size_t length) const
    {
        std::vector<bool> mask(length, false);
        if (newIndex == newFirst404_)
            for (std::size_t k = 0; k < kStampSlots && stampSlot(k) < length; ++k) mask[stampSlot(k)] = true;
        if (newIndex == newFirst1199_ && revisionLine_)
            for (std::size_t k = 0; k <= revisionSlots_ && revisionSlot(k) < length; ++k)
                mask[revisionSlot(k)] = true;
        return mask;
    }

    static bool equalMasked(ByteView a, ByteView b, const std::vector<bool>& mask)
    {
        if (a.size() != b.size()) return false;
        for (std::size_t i = 0; i < a.size(); ++i)
            if (!mask[i] && a[i] != b[i]) return false;
        return true;
    }

    // A "text revid" line when the new file's revision store is what storing
    // its text gives: mark slots zero, the text, a zero byte.
    void planRevision(ByteView oldFile, ByteView newFile, const Parsed& n)
    {
        const std::string oldRev = readRevision(oldFile), newRev = readRevision(newFile);
        if (oldRev == newRev || newRev.empty() || newFirst1199_ == static_cast<std::size_t>(-1)) return;
        ByteView d = n.recs[newFirst1199_].data;
        const std::size_t slots = (d.size() + 7) / 8;
        if (newRev.size() > kRevisionMaxStored || slots < 9 + newRev.size() + 1) return;
        for (std::size_t k = 0; k < 9; ++k)
            if (d[revisionSlot(k)] != 0) return;
        if (d[revisionSlot(9 + newRev.size())] != 0) return;
        if (base::ascii::isBlank(newRev.front()) || newRev.find('\0') != std::string::npos) return;
        auto lf = newRev.find('\n');
        if (lf != std::string::npos && lf + 1 != newRev.size()) return;
        revisionLine_ = newRev;
        revisionSlots_ = 9 + newRev.size();
        // A text without a line break can only be the script's last line.
        if (newRev.back() != '\n') last_ = "text revid " + newRev;
    }

    // --- Changing one record ------------------------------------------------

    // Lines that turn the first record with `id` (now holding `cur`; none at
    // all when `absent`) into `target`.
    // mayEndScript: the line may be the script's last (the record is
    // changed in place, or is the last one added).
    void change(std::uint32_t id, Bytes& cur, ByteView target, const std::vector<bool>& mask, bool absent,
            bool mayEndScript)
    {
        if (!absent && equalMasked(cur, target, mask)) return;
        std::string scratch;
        const std::uint32_t size = defs_.definedRecordSize(id, defPath_, scratch);
        RecordClass cls = classifyRecord(id);
        if (cls != RecordClass::Unclassified && isTableForm(cls, target)) {
            // Bytes the update writes itself (the stamp) are listed as zero.
            Bytes shown(target.begin(), target.end());
            for (std::size_t i = 0; i < shown.size(); ++i)
                if (mask[i]) shown[i] = 0;
            tableBlock(id, cls, shown, cur);
            fixBytes(id, cur, target, mask, size);
            return;
        }
        if (!absent && cur.size() == target.size() && size <= target.size()) {
            fieldLines(id, cur, target, mask, false);
            return;
        }
        if (size > cur.size() && size == target.size()) {
            // The first field line grows the record (or adds it) to its
            // defined size, with zero bytes.
            cur.resize(size, 0);
            fieldLines(id, cur, target, mask, true);
            return;
        }
        if (mayEndScript && last_.empty() && unbrokenTextLine(id, target)) {
            cur.assign(target.begin(), target.end());
            return;
        }
        if (textLine(id, target, cur)) {
            fixBytes(id, cur, target, mask, size);
            return;
        }
        cannot("record " + hex(id, 4) + ": " + (absent ? std::string("a new record") : "data") + " of "
                + dec(target.size()) + " bytes" + (absent ? "" : " in place of " + dec(cur.size())));
    }

    // Field lines for what still differs, when they can run without growing the record.
    void fixBytes(
            std::uint32_t id, Bytes& cur, ByteView target, const std::vector<bool>& mask, std::uint32_t size)
    {
        if (equalMasked(cur, target, mask)) return;
        if (size > cur.size()) {
            cannot("record " + hex(id, 4)
                    + ": bytes that a field line would reach only by growing the record to " + dec(size)
                    + " bytes");
            return;
        }
        fieldLines(id, cur, target, mask, false);
    }

    // Typed lines for the defined fields that changed, then "int8" lines for
    // the bytes that still differ. `atLeastOne`: a line is needed even when
    // nothing differs (it makes the update grow or add the record).
    void fieldLines(
            std::uint32_t id, Bytes& cur, ByteView target, const std::vector<bool>& mask, bool atLeastOne)
    {
        bool any = false;
        RecordLookup lookup = defs_.lookupRecord(id);
        for (const Field& f : fieldsOf(defs_, id, lookup)) {
            if (f.type == ToolType::Text) continue;
            const std::size_t width = static_cast<std::size_t>(typeRow(f.type).width);
            if (width == 0 || f.offset > target.size() || target.size() - f.offset < width) continue;
            bool differs = false;
            for (std::size_t i = f.offset; i < f.offset + width; ++i)
                differs = differs || (!mask[i] && cur[i] != target[i]);
            if (!differs) continue;
            auto value = typedValue(f.type, target.subspan(f.offset, width));
            if (!value) continue;
            out_ += "field " + hex(id) + " " + hex(f.offset) + " " + typeRow(f.type).name + " " + *value
                    + "\n";
            std::copy(target.begin() + f.offset, target.begin() + f.offset + width, cur.begin() + f.offset);
            any = true;
        }
        for (std::size_t i = 0; i < target.size(); ++i) {
            if (mask[i] || cur[i] == target[i]) continue;
            out_ += "field " + hex(id) + " " + hex(static_cast<std::uint32_t>(i)) + " int8 "
                    + dec(static_cast<std::int8_t>(target[i])) + "\n";
            cur[i] = target[i];
            any = true;
        }
        if (!any && atLeastOne && !target.empty())
            out_ += "field " + hex(id) + " 0 int8 "
                    + dec(static_cast<std::int8_t>(mask[0] ? cur[0] : target[0])) + "\n";
    }

    // A value text that the update stores as exactly these bytes.
    static std::optional<std::string> typedValue(ToolType type, ByteView field)
    {
        const ToolTypeRow& row = typeRow(type);
        const auto width = static_cast<std::size_t>(row.width);
        switch (row.value) {
        case ToolValue::Integer:
            return dec(bytes::readSigned(field, 0, width).value());
        case ToolValue::Double: {
            double v = f64(field, 0);
            std::string s = g17(v);
            auto back = readReal(s);
            if (back && std::bit_cast<std::uint64_t>(*back) == std::bit_cast<std::uint64_t>(v)) return s;
            return std::nullopt;
        }
        case ToolValue::None:
        case ToolValue::Text:
            return std::nullopt;
        case ToolValue::Scaled:
            break;
        }
        // Scaled types: the update truncates value × scale; the first text
        // that gives back the stored integer wins, the dump's own first.
        const auto stored = static_cast<std::int32_t>(bytes::readSigned(field, 0, width).value());
        const double scale = row.steps / row.units;
        const double exact = unitsOf(row, stored);
        const double nudged = (stored + (stored < 0 ? -0.5 : 0.5)) / scale;
        for (const std::string& s : {fixed6(exact), shortest(exact), g17(exact), g17(nudged)}) {
            auto v = readReal(s);
            if (!v) continue;
            const auto bits = static_cast<std::uint32_t>(scaledFieldValue(type, *v));
            const auto want = width == 4 ? static_cast<std::uint32_t>(stored)
                                         : static_cast<std::uint32_t>(stored) & 0xFFFFu;
            if ((width == 4 ? bits : bits & 0xFFFFu) == want) return s;
        }
        return std::nullopt;
    }

    // A "record:" block in the dump's layout; cur becomes what the update stores.
    void tableBlock(std::uint32_t id, RecordClass cls, ByteView t, Bytes& cur)
    {
        std::string name = defs_.lookupRecord(id).name;
        if (name.size() > 200 || name.find_first_of("\r\n") != std::string::npos) name.clear();
        out_ += "\n" + header(id, name) + "\n";
        cur.clear();
        auto real = [&](double v) {
            std::string s = g17(v);
            double back = readReal(s).value_or(0.0);
            bytes::appendLE(cur, back);
            return s;
        };
        switch (cls) {
        case RecordClass::Int16List:
            out_ += "Points: " + dec(t.size() / 2) + "\n";
            for (std::size_t i = 0; i + 1 < t.size(); i += 2) {
                out_ += dec(i16(t, i)) + "\n";
                bytes::appendLE(cur, i16(t, i));
            }
            break;
        case RecordClass::PointTable: {
            const std::int32_t count = i32(t, 0);
            out_ += "Points: " + dec(count) + "\n";
            bytes::appendLE(cur, count);
            for (std::int64_t i = 0; i < count; ++i) {
                std::string x = real(f64(t, 4 + 16 * static_cast<std::size_t>(i)));
                out_ += x + "\t" + real(f64(t, 12 + 16 * static_cast<std::size_t>(i))) + "\n";
            }
            break;
        }
        case RecordClass::Grid: {
            const std::int32_t rows = i32(t, 0), cols = i32(t, 4);
            out_ += "columns: " + dec(cols) + "  rows: " + dec(rows) + "\n";
            bytes::appendLE(cur, rows);
            bytes::appendLE(cur, cols);
            if (rows > 0 && cols > 0) {
                std::size_t at = 8;
                for (std::int32_t r = 0; r < rows; ++r) {
                    for (std::int32_t c = 0; c < cols; ++c, at += 8) out_ += real(f64(t, at)) + "\t";
                    out_ += "\n";
                }
            }
            break;
        }
        case RecordClass::Unclassified:
            break;
        }
        out_ += "\n";
    }

    // A "text" line whose data has the target's length, taking the target's
    // own characters where the line can carry them; cur becomes its data.
    bool textLine(std::uint32_t id, ByteView t, Bytes& cur)
    {
        // The target's own characters where they make the data exact; when
        // field lines must mend it anyway, plain ASCII keeps the script readable.
        return textLine(id, t, cur, false) || textLine(id, t, cur, true);
    }
    bool textLine(std::uint32_t id, ByteView t, Bytes& cur, bool ascii)
    {
        // The data is the characters, '|' as CR LF, the blank of the line
        // break and a zero byte: at least one character.
        if (t.size() < 3) return false;
        const std::size_t body = t.size() - 2;
        std::string chars;
        Bytes data;
        for (std::size_t i = 0; i < body;) {
            if (t[i] == '\r' && i + 1 < body && t[i + 1] == '\n') {
                chars += '|';
                data.push_back('\r');
                data.push_back('\n');
                i += 2;
                continue;
            }
            char c = static_cast<char>(t[i]);
            bool fits = c != '\0' && c != '\r' && c != '\n' && c != '|'
                    && !(chars.empty() && base::ascii::isBlank(c));
            if (ascii) fits = fits && t[i] >= 0x20 && t[i] < 0x7F;
            if (!fits) c = '.';
            chars += c;
            data.push_back(static_cast<std::uint8_t>(c));
            ++i;
        }
        std::string line = "text " + hex(id) + " " + chars + "\n";
        if (line.size() > kMaxScriptLine) return false;
        data.push_back(' ');
        data.push_back(0);
        if (!ascii && !std::equal(data.begin(), data.end(), t.begin(), t.end())) return false;
        out_ += line;
        cur = std::move(data);
        return true;
    }

    // Text data without the blank of a line break: a "text" line that ends
    // the script without one. Taken only when it gives the data exactly.
    bool unbrokenTextLine(std::uint32_t id, ByteView t)
    {
        if (t.size() < 2 || t.back() != 0 || (t.size() >= 3 && t[t.size() - 2] == ' ')) return false;
        std::string chars;
        for (std::size_t i = 0; i + 1 < t.size(); ++i) {
            const char c = static_cast<char>(t[i]);
            if (c == '\r' && i + 2 < t.size() && t[i + 1] == '\n') {
                chars += '|';
                ++i;
                continue;
            }
            if (c == '\0' || c == '\r' || c == '\n' || c == '|' || (chars.empty() && base::ascii::isBlank(c)))
                return false;
            chars += c;
        }
        std::string line = "text " + hex(id) + " " + chars;
        if (line.size() > kMaxScriptLine) return false;
        last_ = line;
        return true;
    }

    // Runs the script as the update would and compares with the new file.
    void verify(ByteView oldFile, ByteView newFile)
    {
        ScriptResult sim = runUpdateScript(Bytes(oldFile.begin(), oldFile.end()), out_, defPath_, defs_, 0);
        Bytes want(newFile.begin(), newFile.end()), got = std::move(sim.file);
        // The time in the stamp is the update's own; its CRC must match.
        auto timeless = [](Bytes& b) {
            if (auto r = findFirstRecord(b, kStampRecord))
                for (std::size_t k = 12; k < kStampSlots - 1; ++k)
                    if (stampSlot(k) < r->present) b[r->data + stampSlot(k)] = 0;
        };
        timeless(want);
        timeless(got);
        if (got == want) return;
        Bytes a = got, b = want;
        clearStamp(a);
        clearStamp(b);
        if (a == b) {
            cannot("the update stamp of record 0404 (the update writes its own)");
            return;
        }
        if (!notes_.empty()) return; // already explained
        std::size_t at = 0;
        while (at < a.size() && at < b.size() && a[at] == b[at]) ++at;
        cannot("the new file as a whole: the script gives other bytes from offset 0x"
                + hex(static_cast<std::uint32_t>(at)));
    }

    ToolDefinitions& defs_;
    const std::string& defPath_;
    std::string out_;
    std::string notes_;
    std::vector<std::string> warnings_;
    std::size_t newFirst404_ = static_cast<std::size_t>(-1);
    std::size_t newFirst1199_ = static_cast<std::size_t>(-1);
    std::optional<std::string> revisionLine_;
    std::string last_; // the line that ends the script, without a line break
    std::size_t revisionSlots_ = 0;
};

} // namespace

DiffResult diffListing(
        ByteView oldFile, ByteView newFile, const std::string& definitionPath, ToolDefinitions& defs)
{
    std::string scratch;
    defs.loadDefinitions(definitionPath, scratch);
    DiffResult r;
    r.text = Listing(defs).run(oldFile, newFile);
    if (!r.text.empty() && r.text.front() == '\n') r.text.erase(0, 1);
    r.different = !r.text.empty();
    return r;
}

DiffResult diffScript(
        ByteView oldFile, ByteView newFile, const std::string& definitionPath, ToolDefinitions& defs)
{
    std::string scratch;
    defs.loadDefinitions(definitionPath, scratch);
    bool orderBroken = false;
    DiffResult inOrder = ScriptWriter(defs, definitionPath).run(oldFile, newFile, true, &orderBroken);
    if (inOrder.warnings.empty() || !orderBroken) return inOrder;
    return ScriptWriter(defs, definitionPath).run(oldFile, newFile, false);
}

int runDiff(const std::string& oldPath, const std::string& newPath, const std::string& definitionPath,
        bool script, ToolDefinitions& defs, std::ostream& out, std::ostream& err)
{
    namespace fio = base::fileio;
    Bytes a, b;
    for (auto [path, bytes] : {std::pair{&oldPath, &a}, std::pair{&newPath, &b}}) {
        if (auto e = fio::readFile(*path, *bytes)) {
            err << "patchwise: " << e.message << "\n";
            return 2;
        }
    }
    DiffResult r = script ? diffScript(a, b, definitionPath, defs) : diffListing(a, b, definitionPath, defs);
    for (const std::string& w : r.warnings) err << "patchwise: " << w << "\n";
    out << r.text;
    out.flush();
    if (!out) {
        err << "patchwise: the output could not be written.\n";
        return 2;
    }
    return r.different ? 1 : 0;
}

} // namespace patchwise
