// The diff as JSON: the engine's differences for programs, every value with its bytes.
#include "tool/Diff.h"
#include "tool/DiffRecords.h"
#include "tool/ToolText.h"

#include <cmath>
#include <nlohmann/json.hpp>

namespace patchwise {

using namespace diffing;

namespace {

using Kind = diff::Difference::Kind;
// Keys in the order written, so that people can read it too.
using json = nlohmann::ordered_json;

// The files' texts are Latin-1; JSON strings are UTF-8.
json utf8(std::string_view latin1)
{
    std::string s;
    s.reserve(latin1.size());
    for (char ch : latin1) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x80) {
            s += ch;
        } else {
            s += char(0xC0 | (c >> 6));
            s += char(0x80 | (c & 0x3F));
        }
    }
    return json(std::move(s));
}

std::string hexString(ByteView d, std::size_t from, std::size_t to)
{
    std::string s;
    for (std::size_t i = from; i < to && i < d.size(); ++i)
        s += text::hex(d[i], 2);
    return s;
}

// A double that is not finite has no JSON form: null (its bytes say which).
json real(double v)
{
    return std::isfinite(v) ? json(v) : json(nullptr);
}

const char* tableName(diff::TableKind t)
{
    switch (t) {
    case diff::TableKind::Int16List:
        return "int16";
    case diff::TableKind::PointTable:
        return "points";
    case diff::TableKind::Grid:
        return "grid";
    case diff::TableKind::None:
        break;
    }
    return "none";
}

class JsonListing {
public:
    explicit JsonListing(ToolDefinitions& defs) : defs_(defs) {}

    json run(ByteView oldIn, ByteView newIn)
    {
        const ComparedPair p = comparedPair(oldIn, newIn);
        json doc;
        doc["different"] = p.revisionChanged || p.oldBytes != p.newBytes;
        if (p.revisionChanged)
            doc["revision"] = {{"old", utf8(p.oldRevision)}, {"new", utf8(p.newRevision)}};
        json records = json::array(), moved = json::array(), trailer = json::array();
        if (p.oldBytes != p.newBytes) {
            const ParsedFile o = readRecords(p.oldBytes, true), n = readRecords(p.newBytes, true);
            old_ = &o.list;
            new_ = &n.list;
            json* changes = nullptr;
            for (const diff::Difference& d : diff::compareRecords(o.list, n.list, DefinitionLayouts(defs_))) {
                switch (d.kind) {
                case Kind::OnlyInOld:
                    records.push_back(onlyIn("only-old", (*old_)[d.oldRecord]));
                    break;
                case Kind::OnlyInNew:
                    records.push_back(onlyIn("only-new", (*new_)[d.newRecord]));
                    break;
                case Kind::Record:
                    records.push_back(record((*old_)[d.oldRecord], (*new_)[d.newRecord]));
                    changes = &records.back()["changes"];
                    break;
                case Kind::Order:
                    for (std::size_t i : movedRecords(*old_, *new_))
                        moved.push_back(header((*old_)[i]));
                    break;
                case Kind::TrailerBytes:
                    trailer.push_back(bytes(old_->trailer(), new_->trailer(), d));
                    break;
                default:
                    if (changes)
                        changes->push_back(change(d));
                    break;
                }
            }
        }
        doc["records"] = std::move(records);
        doc["moved"] = std::move(moved);
        doc["trailer"] = std::move(trailer);
        return doc;
    }

private:
    json header(const diff::Record& r) const
    {
        json j;
        j["id"] = r.id;
        j["idHex"] = text::hex(r.id, 4);
        j["name"] = utf8(defs_.lookupRecord(r.id).name);
        j["occurrence"] = r.occurrence;
        return j;
    }

    json onlyIn(const char* change, const diff::Record& r) const
    {
        json j = {{"change", change}};
        j.update(header(r));
        j["length"] = r.data.size();
        j["hex"] = hexString(r.data, 0, r.data.size());
        return j;
    }

    json record(const diff::Record& a, const diff::Record& b)
    {
        a_ = a.data;
        b_ = b.data;
        json j = {{"change", "changed"}};
        j.update(header(a));
        j["oldLength"] = a.data.size();
        j["newLength"] = b.data.size();
        j["changes"] = json::array();
        return j;
    }

    static json bytes(ByteView a, ByteView b, const diff::Difference& d)
    {
        return {{"kind", "bytes"}, {"from", d.from}, {"to", d.to}, {"old", hexString(a, d.from, d.to)},
                {"new", hexString(b, d.from, d.to)}};
    }

    json change(const diff::Difference& d) const
    {
        switch (d.kind) {
        case Kind::Field:
            return field(d.field);
        case Kind::TableSize: {
            auto size = [](diff::TableSize s) { return json{{"rows", s.rows}, {"columns", s.columns}}; };
            return {{"kind", "tableSize"}, {"table", tableName(d.table)}, {"old", size(d.oldSize)},
                    {"new", size(d.newSize)}};
        }
        case Kind::TableItem:
            return tableItem(d);
        default:
            return bytes(a_, b_, d);
        }
    }

    json field(const diff::FieldLayout& f) const
    {
        const auto type = static_cast<ToolType>(f.type);
        json j = {{"kind", "field"}, {"name", utf8(f.name)}, {"type", typeRow(type).label},
                {"offset", f.offset}};
        for (auto [key, d] : {std::pair{"old", a_}, std::pair{"new", b_}}) {
            const auto v = fieldValueText(type, d, f.offset);
            j[key] = v ? utf8(*v) : json(nullptr);
        }
        for (auto [key, d] : {std::pair{"oldHex", a_}, std::pair{"newHex", b_}}) {
            const std::size_t width = f.text ? diff::textLength(d, f.offset) : f.width;
            j[key] = hexString(d, f.offset, f.offset + width);
        }
        return j;
    }

    json tableItem(const diff::Difference& d) const
    {
        json j;
        std::size_t width = 8;
        switch (d.table) {
        case diff::TableKind::Int16List:
            j = {{"kind", "value"}, {"index", d.row}};
            width = 2;
            break;
        case diff::TableKind::PointTable:
            j = {{"kind", "point"}, {"index", d.row}};
            width = 16;
            break;
        default:
            j = {{"kind", "cell"}, {"row", d.row}, {"column", d.column}};
            break;
        }
        auto value = [&](ByteView v, std::size_t at) -> json {
            if (d.table == diff::TableKind::Int16List)
                return i16(v, at);
            if (d.table == diff::TableKind::PointTable)
                return json::array({real(f64(v, at)), real(f64(v, at + 8))});
            return real(f64(v, at));
        };
        // An item one table lacks has no value on that side.
        if (d.inOld) {
            j["old"] = value(a_, d.oldAt);
            j["oldHex"] = hexString(a_, d.oldAt, d.oldAt + width);
        }
        if (d.inNew) {
            j["new"] = value(b_, d.newAt);
            j["newHex"] = hexString(b_, d.newAt, d.newAt + width);
        }
        return j;
    }

    ToolDefinitions& defs_;
    const diff::RecordList* old_ = nullptr;
    const diff::RecordList* new_ = nullptr;
    ByteView a_, b_; // the data of the record pair whose changes are listed
};

} // namespace

DiffResult diffJson(
        ByteView oldFile, ByteView newFile, const std::string& definitionPath, ToolDefinitions& defs)
{
    std::string scratch;
    defs.loadDefinitions(definitionPath, scratch);
    const json doc = JsonListing(defs).run(oldFile, newFile);
    DiffResult r;
    r.different = doc["different"].get<bool>();
    r.text = doc.dump(2) + "\n";
    return r;
}

} // namespace patchwise
