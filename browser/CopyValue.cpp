// Copy Value's text of an entry: the decoded value, a table's values as
// tab-separated lines, other bytes in hex.
#include "browser/CopyValue.h"

#include "model/CTLDoc.h"
#include "model/FieldType.h"

#include <charconv>
#include <cstdint>
#include <span>

namespace browser {

namespace {

using Data = std::span<const std::uint8_t>;

void appendDouble(std::string& out, double v)
{
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    out.append(buf, r.ptr);
}

std::string hexBytes(Data data)
{
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(data.size() * 3);
    for (std::size_t k = 0; k < data.size(); ++k) {
        if (k)
            out += ' ';
        out += kDigits[data[k] >> 4];
        out += kDigits[data[k] & 15];
    }
    return out;
}

std::string tbl16Lines(Data data)
{
    std::string out;
    for (const std::uint16_t v : model::readTbl16(data)) {
        if (!out.empty())
            out += '\n';
        out += std::to_string(v);
    }
    return out;
}

std::string tbldbLines(Data data)
{
    std::string out;
    const auto count = model::tbldbStoredCount(data);
    for (const model::DoublePoint& p : model::readTbldb(data, count ? *count : 0)) {
        if (!out.empty())
            out += '\n';
        appendDouble(out, p.x);
        out += '\t';
        appendDouble(out, p.y);
    }
    return out;
}

// As the grid shows it: B rows of A cells.
std::string tbl3dLines(Data data)
{
    const auto shape = model::tbl3dShape(data);
    if (!shape || !model::tbl3dValuesFit(data))
        return hexBytes(data);
    std::string out;
    for (std::uint32_t k = 0; k < shape->values; ++k) {
        if (k)
            out += '\n';
        for (std::uint32_t g = 0; g < shape->groups; ++g) {
            if (g)
                out += '\t';
            appendDouble(out, model::tbl3dValue(data, g, k).value_or(0.0));
        }
    }
    return out;
}

} // namespace

std::string copyValueText(const model::CTLDoc& doc, int i)
{
    if (!doc.validIndex(i) || i == 0 || doc.outsideRecord(i))
        return {};
    const model::RecordEntry e = doc.entry(i);
    const Data data = doc.data(i);
    switch (e.type) {
    case model::FieldType::Raw:
    case model::FieldType::Record:
        return hexBytes(data);
    case model::FieldType::Tbl16:
        return tbl16Lines(data);
    case model::FieldType::TblDb:
        return tbldbLines(data);
    case model::FieldType::Tbl3d:
        return tbl3dLines(data);
    default:
        break;
    }
    const std::string& name = e.name.str();
    std::string text = model::valueText(name, e.type, data);
    if (text.size() > name.size() && text.compare(0, name.size(), name) == 0 && text[name.size()] == '=')
        text.erase(0, name.size() + 1);
    return text;
}

} // namespace browser
