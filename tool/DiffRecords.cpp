#include "tool/DiffRecords.h"

#include "base/Bytes.h"
#include "tool/AirWalk.h"
#include "tool/Stamp.h"
#include "tool/ToolText.h"

#include <algorithm>

namespace patchwise::diffing {

namespace bytes = base::bytes;

ParsedFile readRecords(ByteView file, bool cutAmongRecords)
{
    ParsedFile p;
    std::size_t end = 0;
    forEachRecord(file, [&](const RecordSpan& r) {
        end = r.data + r.present;
        if (r.present < r.length && !cutAmongRecords) {
            p.cut = diff::Record{r.id, p.list.count(r.id), file.subspan(r.data, r.present)};
            p.cutLength = r.length;
            return false;
        }
        p.list.add(r.id, file.subspan(r.data, r.present));
        return true;
    });
    p.list.setTrailer(file.subspan(end));
    return p;
}

std::vector<diff::FieldLayout> fieldsOf(
        const ToolDefinitions& defs, std::uint32_t id, const RecordLookup& lookup)
{
    std::vector<diff::FieldLayout> fields;
    auto add = [&](std::uint32_t offset, ToolType type, const std::string& name) {
        const ToolTypeRow& row = typeRow(type);
        fields.push_back({offset, static_cast<std::size_t>(row.width), row.value == ToolValue::Text, name,
                static_cast<int>(type)});
    };
    if (!defs.loaded())
        return fields;
    if (lookup.type) {
        add(0, *lookup.type, lookup.name);
        return fields;
    }
    auto pos = defs.findRecordSection(id);
    if (!pos)
        return fields;
    while (auto f = defs.nextFieldLine(*pos)) {
        if (f->field.type && *f->field.type != ToolType::None)
            add(f->field.offset, *f->field.type, f->field.name);
        pos = f->next;
    }
    return fields;
}

diff::TableKind tableKindOf(RecordClass cls)
{
    switch (cls) {
    case RecordClass::Int16List:
        return diff::TableKind::Int16List;
    case RecordClass::PointTable:
        return diff::TableKind::PointTable;
    case RecordClass::Grid:
        return diff::TableKind::Grid;
    case RecordClass::Unclassified:
        break;
    }
    return diff::TableKind::None;
}

diff::RecordLayout DefinitionLayouts::layoutOf(std::uint32_t id) const
{
    return {tableKindOf(classifyRecord(id)), fieldsOf(defs_, id, defs_.lookupRecord(id))};
}

ComparedPair comparedPair(ByteView oldFile, ByteView newFile)
{
    ComparedPair p;
    p.oldBytes.assign(oldFile.begin(), oldFile.end());
    p.newBytes.assign(newFile.begin(), newFile.end());
    clearStamp(p.oldBytes);
    clearStamp(p.newBytes);
    p.oldRevision = readRevision(p.oldBytes);
    p.newRevision = readRevision(p.newBytes);
    if (p.oldRevision == p.newRevision)
        return p;
    p.revisionChanged = true;
    const std::size_t slots = 9 + std::max(p.oldRevision.size(), p.newRevision.size()) + 1;
    for (Bytes* b : {&p.oldBytes, &p.newBytes})
        if (auto r = findFirstRecord(*b, kRevisionRecord))
            for (std::size_t k = 9; k < slots; ++k)
                if (revisionSlot(k) < r->present)
                    (*b)[r->data + revisionSlot(k)] = 0;
    return p;
}

// A longest increasing subsequence of the matched records' new positions.
std::vector<std::size_t> movedRecords(const diff::RecordList& o, const diff::RecordList& n)
{
    const diff::Matching m = diff::matchRecords(o, n);
    std::vector<std::size_t> olds; // matched old records, in old order
    for (std::size_t i = 0; i < m.newOf.size(); ++i)
        if (m.newOf[i] != diff::kNone)
            olds.push_back(i);
    std::vector<std::size_t> tails, tailAt, before(olds.size(), diff::kNone);
    for (std::size_t k = 0; k < olds.size(); ++k) {
        const std::size_t v = m.newOf[olds[k]];
        auto it = std::lower_bound(tails.begin(), tails.end(), v);
        const auto len = static_cast<std::size_t>(it - tails.begin());
        if (len > 0)
            before[k] = tailAt[len - 1];
        if (it == tails.end()) {
            tails.push_back(v);
            tailAt.push_back(k);
        } else {
            *it = v;
            tailAt[len] = k;
        }
    }
    std::vector<bool> kept(olds.size(), false);
    for (std::size_t k = tailAt.empty() ? diff::kNone : tailAt.back(); k != diff::kNone; k = before[k])
        kept[k] = true;
    std::vector<std::size_t> moved;
    for (std::size_t k = 0; k < olds.size(); ++k)
        if (!kept[k])
            moved.push_back(olds[k]);
    return moved;
}

std::int16_t i16(ByteView d, std::size_t at)
{
    return bytes::i16(d, at).value();
}
std::int32_t i32(ByteView d, std::size_t at)
{
    return bytes::i32(d, at).value();
}
double f64(ByteView d, std::size_t at)
{
    return bytes::f64(d, at).value();
}

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
            out += "\\x" + text::hex(u, 2);
        else
            out += c;
    }
    return out;
}

std::string recordHeader(std::uint32_t id, const std::string& name)
{
    return "Record: " + text::hex(id, 4) + " " + name;
}

} // namespace patchwise::diffing
