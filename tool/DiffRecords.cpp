#include "tool/DiffRecords.h"

#include "base/Bytes.h"
#include "tool/AirWalk.h"
#include "tool/ToolText.h"

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
