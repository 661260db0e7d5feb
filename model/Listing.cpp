#include "model/Listing.h"

#include "model/CTLDoc.h"
#include "model/TextEscape.h"

#include <algorithm>
#include <charconv>
#include <ostream>
#include <string_view>
#include <vector>

namespace model {

namespace {

std::string number(double v)
{
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, r.ptr);
}

// The values of a table entry, one line each; nothing for other types.
void appendTableValues(std::string& out, const CTLDoc& doc, int i, const std::string& indent)
{
    const std::span<const std::uint8_t> d = doc.data(i);
    switch (doc.entry(i).type) {
    case FieldType::Tbl16: {
        const std::vector<std::uint16_t> v = readTbl16(d);
        for (std::size_t k = 0; k < v.size(); ++k)
            out += indent + "[" + std::to_string(k) + "] " + std::to_string(v[k]) + "\n";
        break;
    }
    case FieldType::TblDb: {
        const std::vector<DoublePoint> p = readTbldb(d, tbldbStoredCount(d).value_or(0));
        for (std::size_t k = 0; k < p.size(); ++k)
            out += indent + "[" + std::to_string(k) + "] " + number(p[k].x) + " " + number(p[k].y) + "\n";
        break;
    }
    case FieldType::Tbl3d: {
        const auto shape = tbl3dShape(d);
        if (!shape)
            break;
        if (!tbl3dValuesFit(d)) {
            // Counts that claim more than the data holds are not walked.
            out += indent + "(" + std::to_string(shape->groups) + " x " + std::to_string(shape->values)
                    + " values do not fit in " + std::to_string(d.size()) + " bytes)\n";
            break;
        }
        // No groups: no cells, however many rows the count claims.
        for (std::uint32_t k = 0; shape->groups > 0 && k < shape->values; ++k) {
            std::string row = indent + "row " + std::to_string(k) + ":";
            for (std::uint32_t g = 0; g < shape->groups; ++g) {
                row += ' ';
                row += number(tbl3dValue(d, g, k).value_or(0.0));
            }
            out += row + "\n";
        }
        break;
    }
    default:
        break;
    }
}

// The listing line by line; `put` gets each piece in order.
template <typename Put>
void forEachListingPiece(const CTLDoc& doc, bool sorted, bool values, Put&& put)
{
    std::string line = escapeItemText(doc.itemText(0));
    line += '\n';
    put(line);
    std::vector<int> records;
    records.reserve(std::size_t(doc.recordCount()));
    for (int i = 1; i <= doc.highestIndex(); ++i)
        if (doc.isRecord(i))
            records.push_back(i);
    if (sorted)
        std::stable_sort(records.begin(), records.end(),
                [&](int a, int b) { return doc.entry(a).id < doc.entry(b).id; });
    // An item's line at its depth, its table values two blanks deeper.
    auto putItem = [&](int i, std::string_view indent) {
        line = indent;
        line += escapeItemText(doc.itemText(i));
        line += '\n';
        if (values)
            appendTableValues(line, doc, i, std::string(indent) + "  ");
        put(line);
    };
    for (int r : records) {
        putItem(r, "  ");
        // A record's fields follow it directly in the list.
        for (int f = r + 1; f <= doc.highestIndex() && doc.isField(f) && doc.entry(f).parent == r; ++f)
            putItem(f, "    ");
    }
    if (!doc.trailingBytes().empty()) {
        line = "  ";
        line += doc.trailingText();
        line += '\n';
        put(line);
    }
}

} // namespace

std::string listDocument(const CTLDoc& doc, bool sorted, bool values)
{
    std::string out;
    forEachListingPiece(doc, sorted, values, [&out](const std::string& piece) { out += piece; });
    return out;
}

bool writeListing(const CTLDoc& doc, bool sorted, bool values, std::ostream& out)
{
    // Written as it is made, in pieces of some tens of kilobytes: the
    // listing of a large file is never held whole.
    std::string buffer;
    buffer.reserve(1 << 16);
    forEachListingPiece(doc, sorted, values, [&](const std::string& piece) {
        buffer += piece;
        if (buffer.size() >= (1 << 16) && out) {
            out.write(buffer.data(), std::streamsize(buffer.size()));
            buffer.clear();
        }
    });
    out.write(buffer.data(), std::streamsize(buffer.size()));
    return bool(out);
}

} // namespace model
