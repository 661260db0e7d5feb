#include "model/DocCompare.h"

#include "diff/Differences.h"
#include "diff/Records.h"
#include "model/CTLDoc.h"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>

namespace model {

namespace {

// A document's records for the diff engine, and their list indexes.
struct Records {
    diff::RecordList list;
    std::vector<int> index; // record ordinal -> list index
};

Records recordsOf(const CTLDoc& d)
{
    Records r;
    r.index.reserve(std::size_t(d.recordCount()));
    for (int n = 0; n < d.recordCount(); ++n) {
        const int i = d.recordAt(n);
        r.list.add(d.idOf(i), d.data(i));
        r.index.push_back(i);
    }
    r.list.setTrailer(d.trailingBytes());
    return r;
}

// The first field of record i is i + 1; its fields follow it directly.
int fieldEnd(const CTLDoc& d, int i)
{
    return i + 1 + d.fieldCount(i);
}

diff::RecordLayout layoutOfRecord(const CTLDoc& d, int i)
{
    diff::RecordLayout layout;
    switch (d.entry(i).type) {
    case FieldType::Tbl16:
        layout.table = diff::TableKind::Int16List;
        return layout;
    case FieldType::TblDb:
        layout.table = diff::TableKind::PointTable;
        return layout;
    case FieldType::Tbl3d:
        layout.table = diff::TableKind::Grid;
        return layout;
    default:
        break;
    }
    for (int k = i + 1, end = fieldEnd(d, i); k < end; ++k) {
        const RecordEntry f = d.entry(k);
        layout.fields.push_back({.offset = f.fieldOffset,
                .width = f.length,
                .text = f.type == FieldType::Text,
                .name = f.name,
                .type = fieldTypeCode(f.type)});
    }
    return layout;
}

// Layouts from the definitions both lists were parsed with: the first record
// of an id in the document, else in the reference.
class DocLayouts : public diff::Layouts {
public:
    DocLayouts(const CTLDoc& ref, const Records& refRecords, const CTLDoc& doc, const Records& docRecords)
            : ref_(ref), refRecords_(refRecords), doc_(doc), docRecords_(docRecords)
    {}
    diff::RecordLayout layoutOf(std::uint32_t id) const override
    {
        const std::size_t k = docRecords_.list.find(id, 0);
        if (k != diff::kNone)
            return layoutOfRecord(doc_, docRecords_.index[k]);
        return layoutOfRecord(ref_, refRecords_.index[refRecords_.list.find(id, 0)]);
    }

private:
    const CTLDoc& ref_;
    const Records& refRecords_;
    const CTLDoc& doc_;
    const Records& docRecords_;
};

std::vector<std::uint8_t> copyOf(std::span<const std::uint8_t> s)
{
    return {s.begin(), s.end()};
}

std::string hexId(std::uint32_t id)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "%x", unsigned(id));
    return buf;
}

std::string takeLabel(const CTLDoc& doc, int i)
{
    const RecordEntry e = doc.entry(i);
    if (doc.isRecord(i))
        return "Take Record " + hexId(e.id) + " " + std::string(e.name) + " From Reference";
    return "Take " + std::string(e.name) + " From Reference";
}

void keep(std::vector<Change>& out, std::optional<Change> c)
{
    if (c)
        out.push_back(std::move(*c));
}

// The list index before which a record placed after record i goes.
int afterRecord(const CTLDoc& d, int i)
{
    return i < 1 ? 1 : fieldEnd(d, i);
}

// Links each matched record of the document, and its fields, to the
// reference's; a record without a match is only here.
void linkMatches(DocComparison& c, const CTLDoc& reference, const CTLDoc& doc, const Records& refs,
        const Records& docs, const diff::Matching& m)
{
    for (std::size_t j = 0; j < docs.index.size(); ++j) {
        const int i = docs.index[j];
        if (m.oldOf[j] == diff::kNone) {
            c.marks[std::size_t(i)] = EntryMark::OnlyHere;
            continue;
        }
        const int r = refs.index[m.oldOf[j]];
        c.reference[std::size_t(i)] = r;
        c.documentOf[std::size_t(r)] = i;
        // Same id, same definitions: the k-th field is the k-th field.
        for (int k = i + 1, end = fieldEnd(doc, i); k < end; ++k) {
            const int rk = r + (k - i);
            if (reference.validIndex(rk) && reference.parentOf(rk) == r)
                c.reference[std::size_t(k)] = rk;
        }
    }
}

// Marks the differences on the document's entries, one after the other: a
// field's or some bytes' difference belongs to the record named before it.
class DifferenceMarker {
public:
    DifferenceMarker(DocComparison& c, const CTLDoc& doc, const Records& refs, const Records& docs)
            : c_(c), doc_(doc), refs_(refs), docs_(docs)
    {}

    void mark(const diff::Difference& d)
    {
        using Kind = diff::Difference::Kind;
        switch (d.kind) {
        case Kind::OnlyInOld:
            c_.onlyInReference.push_back(refs_.index[d.oldRecord]);
            break;
        case Kind::OnlyInNew:
            break; // marked with the matches
        case Kind::Record:
            record_ = docs_.index[d.newRecord];
            c_.marks[std::size_t(record_)] = EntryMark::Changed;
            break;
        case Kind::Field:
            for (int k = record_ + 1, end = fieldEnd(doc_, record_); record_ > 0 && k < end; ++k)
                if (const RecordEntry f = doc_.entry(k);
                        f.fieldOffset == d.field.offset && int(fieldTypeCode(f.type)) == d.field.type)
                    markField(k);
            break;
        case Kind::Bytes:
            markBytes(d);
            break;
        case Kind::TableSize:
        case Kind::TableItem:
            break; // the record is marked
        case Kind::Order:
            c_.reordered = true;
            break;
        case Kind::TrailerBytes:
            c_.trailerDiffers = true;
            break;
        }
    }

private:
    void markField(int k)
    {
        if (c_.marks[std::size_t(k)] == EntryMark::Same) {
            c_.marks[std::size_t(k)] = EntryMark::Changed;
            ++c_.changedFields[std::size_t(record_)];
        }
    }

    // Bytes no compared field covers: the fields they overlap (wider raw
    // fields, fields past the end of one of the records).
    void markBytes(const diff::Difference& d)
    {
        for (int k = record_ + 1, end = fieldEnd(doc_, record_); record_ > 0 && k < end; ++k) {
            const RecordEntry f = doc_.entry(k);
            const std::size_t from = f.fieldOffset, to = from + std::max<std::size_t>(f.length, 1);
            if (from < d.to && d.from < to)
                markField(k);
        }
    }

    DocComparison& c_;
    const CTLDoc& doc_;
    const Records& refs_;
    const Records& docs_;
    int record_ = -1; // the document's record whose changes follow
};

} // namespace

DocComparison compareDocuments(const CTLDoc& reference, const CTLDoc& doc)
{
    DocComparison c;
    const std::size_t n = doc.entryCount(), nr = reference.entryCount();
    c.marks.assign(n, EntryMark::Same);
    c.reference.assign(n, -1);
    c.changedFields.assign(n, 0);
    c.documentOf.assign(nr, -1);
    if (n == 0)
        return c;
    const Records refs = recordsOf(reference), docs = recordsOf(doc);
    linkMatches(c, reference, doc, refs, docs, diff::matchRecords(refs.list, docs.list));

    const DocLayouts layouts(reference, refs, doc, docs);
    DifferenceMarker marker(c, doc, refs, docs);
    bool any = false;
    for (const diff::Difference& d : diff::compareRecords(refs.list, docs.list, layouts)) {
        any = true;
        marker.mark(d);
    }
    if (any)
        c.marks[0] = EntryMark::Changed;
    c.differingRecords = c.onlyInReference.size();
    for (const int i : docs.index)
        c.differingRecords += c.marks[std::size_t(i)] != EntryMark::Same ? 1 : 0;
    return c;
}

std::vector<Change> takeEntry(CTLDoc& doc, const CTLDoc& reference, const DocComparison& c, int i)
{
    std::vector<Change> out;
    if (i <= 0 || !doc.validIndex(i) || std::size_t(i) >= c.marks.size())
        return out;
    const int record = doc.isRecord(i) ? i : doc.parentOf(i);
    const int refRecord = c.referenceOf(record);
    if (doc.isRecord(i)) {
        if (c.markOf(i) == EntryMark::OnlyHere)
            keep(out, doc.removeRecord(i, takeLabel(doc, i)));
        else if (refRecord > 0)
            keep(out, doc.setRecordData(i, copyOf(reference.data(refRecord)), takeLabel(doc, i)));
        return out;
    }
    if (refRecord <= 0)
        return out;
    auto wholeRecord = [&] {
        keep(out, doc.setRecordData(record, copyOf(reference.data(refRecord)), takeLabel(doc, i)));
    };
    const int r = c.referenceOf(i);
    if (r <= 0 || doc.outsideRecord(i) || reference.outsideRecord(r)) {
        wholeRecord();
        return out;
    }
    const auto mine = doc.data(i), theirs = reference.data(r);
    if (doc.entry(i).type == FieldType::Text) {
        // The longer of the two texts with its zero byte.
        const std::size_t width = std::max(diff::textLength(mine, 0), diff::textLength(theirs, 0)) + 1;
        if (width > mine.size() || width > theirs.size()) {
            wholeRecord();
            return out;
        }
        keep(out, doc.setBytes(i, 0, theirs.first(width), takeLabel(doc, i)));
        return out;
    }
    if (mine.size() != theirs.size()) {
        wholeRecord();
        return out;
    }
    keep(out, doc.setBytes(i, 0, theirs, takeLabel(doc, i)));
    return out;
}

std::vector<Change> takeOnlyInReference(
        CTLDoc& doc, const CTLDoc& reference, const DocComparison& c, std::size_t k)
{
    std::vector<Change> out;
    if (k >= c.onlyInReference.size() || !doc.hasData())
        return out;
    const int r = c.onlyInReference[k];
    if (!reference.isRecord(r))
        return out;
    // After the document's match of the nearest reference record before it.
    int before = 1;
    for (int p = r - 1; p >= 1; --p)
        if (reference.isRecord(p) && c.documentOf[std::size_t(p)] > 0) {
            before = afterRecord(doc, c.documentOf[std::size_t(p)]);
            break;
        }
    const RecordEntry e = reference.entry(r);
    keep(out,
            doc.insertRecord(before, e.id, copyOf(reference.data(r)),
                    "Take Record " + hexId(e.id) + " " + std::string(e.name) + " From Reference"));
    return out;
}

std::vector<Change> takeAll(CTLDoc& doc, const CTLDoc& reference, const DocComparison& c)
{
    std::vector<Change> out;
    if (!doc.hasData() || c.marks.size() != doc.entryCount())
        return out;
    // Keys, not indexes: removals and inserts move the indexes.
    std::vector<std::pair<EntryKey, int>> changed;
    std::vector<EntryKey> gone;
    for (int i = 1; i <= doc.highestIndex(); ++i) {
        if (!doc.isRecord(i))
            continue;
        if (c.markOf(i) == EntryMark::OnlyHere)
            gone.push_back(doc.keyOf(i));
        else if (c.markOf(i) == EntryMark::Changed && c.referenceOf(i) > 0)
            changed.emplace_back(doc.keyOf(i), c.referenceOf(i));
    }
    std::vector<EntryKey> keyOfReference(reference.entryCount(), 0);
    for (std::size_t r = 0; r < c.documentOf.size() && r < keyOfReference.size(); ++r)
        if (c.documentOf[r] > 0)
            keyOfReference[r] = doc.keyOf(c.documentOf[r]);

    for (const auto& [key, r] : changed) {
        const int i = doc.indexOf(key);
        keep(out, doc.setRecordData(i, copyOf(reference.data(r)), takeLabel(doc, i)));
    }
    for (const EntryKey key : gone) {
        const int i = doc.indexOf(key);
        keep(out, doc.removeRecord(i, takeLabel(doc, i)));
    }
    if (c.onlyInReference.empty())
        return out;
    EntryKey last = 0; // the document's record of the last reference record passed
    for (int r = 1; r <= reference.highestIndex(); ++r) {
        if (!reference.isRecord(r))
            continue;
        if (keyOfReference[std::size_t(r)] != 0) {
            last = keyOfReference[std::size_t(r)];
            continue;
        }
        const int before = last == 0 ? 1 : afterRecord(doc, doc.indexOf(last));
        const RecordEntry e = reference.entry(r);
        std::optional<Change> made = doc.insertRecord(before, e.id, copyOf(reference.data(r)),
                "Take Record " + hexId(e.id) + " " + std::string(e.name) + " From Reference");
        if (made) {
            last = made->entry;
            out.push_back(std::move(*made));
        }
    }
    return out;
}

} // namespace model
