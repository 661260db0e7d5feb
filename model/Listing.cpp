#include "model/Listing.h"

#include "base/FileIO.h"
#include "model/CTLDoc.h"
#include "model/Definitions.h"
#include "model/FieldType.h"
#include "model/Ini.h"
#include "model/TextEscape.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <new>
#include <optional>
#include <ostream>
#include <unordered_map>
#include <vector>

namespace model {

namespace {

using Bytes = std::span<const std::uint8_t>;
using namespace std::string_view_literals;

constexpr std::size_t kBlock = std::size_t(1) << 18;
constexpr char kHexDigits[] = "0123456789abcdef";
constexpr std::string_view kRecordIndent = "  ";
constexpr std::string_view kFieldIndent = "    ";

// The listing's text, handed to the stream in blocks of some hundred
// kilobytes; without a stream it is all kept (listDocument).
class Sink {
public:
    explicit Sink(std::ostream* out) : out_(out)
    {
        if (out_)
            buf.reserve(kBlock + 4096);
    }
    void maybeFlush()
    {
        if (out_ && buf.size() >= kBlock)
            flush();
    }
    bool flush()
    {
        if (!out_)
            return true;
        if (*out_)
            out_->write(buf.data(), std::streamsize(buf.size()));
        buf.clear();
        return bool(*out_);
    }

    std::string buf;

private:
    std::ostream* out_;
};

template <typename T>
void appendNumber(std::string& out, T v, int base = 10)
{
    char tmp[24];
    const auto r = std::to_chars(tmp, tmp + sizeof tmp, v, base);
    out.append(tmp, r.ptr);
}

void appendDouble(std::string& out, double v)
{
    char tmp[64];
    const auto r = std::to_chars(tmp, tmp + sizeof tmp, v);
    out.append(tmp, r.ptr);
}

// Bytes as hex lines: the offset of the line's first byte (at least four
// digits), a colon, then up to 16 bytes.
void appendHexLines(Sink& sink, Bytes d, std::string_view indent)
{
    std::string& out = sink.buf;
    for (std::size_t off = 0; off < d.size(); off += 16) {
        out += indent;
        char tmp[24];
        const auto r = std::to_chars(tmp, tmp + sizeof tmp, off, 16);
        if (r.ptr - tmp < 4)
            out.append(std::size_t(4 - (r.ptr - tmp)), '0');
        out.append(tmp, r.ptr);
        out += ':';
        const std::size_t end = std::min(d.size(), off + 16);
        for (std::size_t k = off; k < end; ++k) {
            out += ' ';
            out += kHexDigits[d[k] >> 4];
            out += kHexDigits[d[k] & 15];
        }
        out += '\n';
        sink.maybeFlush();
    }
}

void appendTbl16Values(Sink& sink, Bytes d, std::string_view indent)
{
    std::string& out = sink.buf;
    const std::size_t count = tbl16Count(d);
    for (std::size_t k = 0; k < count; ++k) {
        out += indent;
        out += '[';
        appendNumber(out, k);
        out += "] ";
        appendNumber(out, unsigned(d[2 * k]) | unsigned(d[2 * k + 1]) << 8);
        out += '\n';
        sink.maybeFlush();
    }
}

void appendTbldbValues(Sink& sink, Bytes d, std::string_view indent)
{
    std::string& out = sink.buf;
    const std::vector<DoublePoint> p = readTbldb(d, tbldbStoredCount(d).value_or(0));
    for (std::size_t k = 0; k < p.size(); ++k) {
        out += indent;
        out += '[';
        appendNumber(out, k);
        out += "] ";
        appendDouble(out, p[k].x);
        out += ' ';
        appendDouble(out, p[k].y);
        out += '\n';
        sink.maybeFlush();
    }
}

void appendTbl3dValues(Sink& sink, Bytes d, std::string_view indent)
{
    std::string& out = sink.buf;
    const auto shape = tbl3dShape(d);
    if (!shape)
        return;
    if (!tbl3dValuesFit(d)) {
        // Counts that claim more than the data holds are not walked.
        out += indent;
        out += '(';
        appendNumber(out, shape->groups);
        out += " x ";
        appendNumber(out, shape->values);
        out += " values do not fit in ";
        appendNumber(out, d.size());
        out += " bytes)\n";
        return;
    }
    // No groups: no cells, however many rows the count claims.
    for (std::uint32_t k = 0; shape->groups > 0 && k < shape->values; ++k) {
        out += indent;
        out += "row ";
        appendNumber(out, k);
        out += ':';
        for (std::uint32_t g = 0; g < shape->groups; ++g) {
            out += ' ';
            appendDouble(out, tbl3dValue(d, g, k).value_or(0.0));
        }
        out += '\n';
        sink.maybeFlush();
    }
}

// What --values adds under an item: table values, or a raw item's bytes.
void appendValues(Sink& sink, FieldType type, Bytes d, std::string_view indent)
{
    switch (type) {
    case FieldType::Raw:
        appendHexLines(sink, d, indent);
        break;
    case FieldType::Tbl16:
        appendTbl16Values(sink, d, indent);
        break;
    case FieldType::TblDb:
        appendTbldbValues(sink, d, indent);
        break;
    case FieldType::Tbl3d:
        appendTbl3dValues(sink, d, indent);
        break;
    default:
        break;
    }
}

// The text listing, item by item. Names come escaped (a definition's name
// is escaped once, however many records use it).
class TextListing {
public:
    TextListing(Sink& sink, bool values) : sink_(sink), values_(values) {}

    void root(std::string_view fileName)
    {
        appendEscapedItemText(sink_.buf, fileName);
        sink_.buf += '\n';
    }
    void record(std::uint32_t id, std::string_view escapedName, FieldType type, Bytes d)
    {
        std::string& out = sink_.buf;
        out += kRecordIndent;
        appendNumber(out, id, 16);
        out += "  ";
        item(escapedName, type, d, false, "    ");
    }
    // An outside field has no bytes.
    void field(std::string_view escapedName, FieldType type, Bytes d, bool outside)
    {
        sink_.buf += kFieldIndent;
        item(escapedName, type, d, outside, "      ");
    }
    void trailing(Bytes d)
    {
        if (d.empty())
            return;
        std::string& out = sink_.buf;
        out += kRecordIndent;
        out += '(';
        appendNumber(out, d.size());
        out += " trailing bytes)\n";
        if (values_)
            appendHexLines(sink_, d, kFieldIndent);
    }

private:
    void item(
            std::string_view escapedName, FieldType type, Bytes d, bool outside, std::string_view valueIndent)
    {
        std::string& out = sink_.buf;
        out += escapedName;
        if (outside) {
            out += kOutsideRecordSuffix;
        } else if (type == FieldType::Text) {
            // Only a text's value can hold bytes that need escaping.
            scratch_.clear();
            appendValueSuffix(scratch_, type, d);
            appendEscapedItemText(out, scratch_);
        } else {
            appendValueSuffix(out, type, d);
        }
        out += '\n';
        if (values_)
            appendValues(sink_, type, d, valueIndent);
        sink_.maybeFlush();
    }

    Sink& sink_;
    bool values_;
    std::string scratch_;
};

// A JSON string of Latin-1 text: UTF-8, quote, backslash and control bytes
// escaped as dump() escapes them (\b \t \n \f \r, else \u00xx).
void jsonString(std::string& out, std::string_view latin1)
{
    out += '"';
    std::size_t i = 0;
    while (i < latin1.size()) {
        std::size_t run = i;
        while (run < latin1.size()) {
            const auto c = static_cast<unsigned char>(latin1[run]);
            if (c < 0x20 || c == '"' || c == '\\' || c >= 0x80)
                break;
            ++run;
        }
        out.append(latin1.data() + i, run - i);
        if (run == latin1.size())
            break;
        const auto c = static_cast<unsigned char>(latin1[run]);
        switch (c) {
        case '\b':
            out += "\\b";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\f':
            out += "\\f";
            break;
        case '\r':
            out += "\\r";
            break;
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        default:
            if (c < 0x20) {
                out += "\\u00";
                out += kHexDigits[c >> 4];
                out += kHexDigits[c & 15];
            } else {
                out += char(0xC0 | (c >> 6));
                out += char(0x80 | (c & 0x3F));
            }
        }
        i = run + 1;
    }
    out += '"';
}

// ---- the image walked directly ----

struct FieldDef {
    std::string name; // Latin-1, as the definition file gives it
    std::string escaped;
    std::string json; // the name as a JSON string
    FieldType type = FieldType::Raw;
    std::uint32_t size = 0;
    std::uint32_t offset = 0;
};
struct RecordDef {
    std::string name;
    std::string escaped;
    std::string json;
    FieldType type = FieldType::Raw;
    std::vector<FieldDef> fields;
};

// Each id's definition read once, as the document reads it when it builds
// its record list.
class DefinitionCache {
public:
    explicit DefinitionCache(const Ini& ini) : ini_(ini) {}

    const RecordDef& of(std::uint32_t id)
    {
        auto [it, fresh] = byId_.try_emplace(id);
        RecordDef& def = it->second;
        if (!fresh)
            return def;
        RecordDefinition rd = ReadRecordDefinition(ini_, id);
        def.name = std::move(rd.name);
        def.escaped = escapeItemText(def.name);
        jsonString(def.json, def.name);
        def.type = lookupType(rd.typeKeyword).type;
        for (ResolvedField& rf : ReadRecordFields(ini_, id, def.type)) {
            FieldDef f;
            f.type = rf.type;
            f.size = rf.size;
            f.offset = rf.definition.offset;
            f.name = std::move(rf.definition.name);
            f.escaped = escapeItemText(f.name);
            jsonString(f.json, f.name);
            def.fields.push_back(std::move(f));
        }
        return def;
    }

private:
    const Ini& ini_;
    std::unordered_map<std::uint32_t, RecordDef> byId_;
};

std::uint32_t u32At(Bytes img, std::size_t pos)
{
    return std::uint32_t(img[pos]) | std::uint32_t(img[pos + 1]) << 8 | std::uint32_t(img[pos + 2]) << 16
            | std::uint32_t(img[pos + 3]) << 24;
}

// Whether a whole record (header and data) starts at pos: what the document
// reads as a record; the rest of the image is its trailing bytes.
bool wholeRecordAt(Bytes img, std::size_t pos)
{
    return img.size() - pos >= 8 && u32At(img, pos + 4) <= img.size() - pos - 8;
}

// A field's bytes in its record's, as the document gives them; nullopt when
// they do not lie wholly inside (the field is "outside record").
std::optional<Bytes> fieldBytes(const FieldDef& f, Bytes rec)
{
    if (f.type == FieldType::Text)
        return f.offset >= rec.size() ? std::nullopt : std::optional<Bytes>(rec.subspan(f.offset));
    if (std::uint64_t(f.offset) + f.size > rec.size())
        return std::nullopt;
    return rec.subspan(f.offset, f.size);
}

// Calls visit(headerPos) for each record, in file order or sorted by id;
// returns where the trailing bytes start.
template <typename Visit>
std::size_t forEachRecord(Bytes img, bool sorted, Visit&& visit)
{
    std::size_t pos = 0;
    if (!sorted) {
        for (; pos < img.size() && wholeRecordAt(img, pos); pos += 8 + std::size_t(u32At(img, pos + 4)))
            visit(pos);
        return pos;
    }
    struct Header {
        std::uint32_t id;
        std::size_t pos;
    };
    std::vector<Header> headers;
    for (; pos < img.size() && wholeRecordAt(img, pos); pos += 8 + std::size_t(u32At(img, pos + 4)))
        headers.push_back({u32At(img, pos), pos});
    std::stable_sort(
            headers.begin(), headers.end(), [](const Header& a, const Header& b) { return a.id < b.id; });
    for (const Header& h : headers)
        visit(h.pos);
    return pos;
}

// ---- JSON ----
//
// Written as it is made, in the compact form of nlohmann::json's dump(): the
// text the listing wrote when it built one object per record, byte for byte.

void jsonHex(std::string& out, Bytes d)
{
    out += '"';
    const std::size_t at = out.size();
    out.resize(at + 2 * d.size());
    char* p = out.data() + at;
    for (std::uint8_t b : d) {
        *p++ = kHexDigits[b >> 4];
        *p++ = kHexDigits[b & 15];
    }
    out += '"';
}

// Numbers that are not finite have no JSON form: null (the hex keeps them).
// Others in the library's shortest form that reads back exactly.
void jsonReal(std::string& out, double v)
{
    if (!std::isfinite(v)) {
        out += "null";
        return;
    }
    char buf[64];
    out.append(buf, nlohmann::detail::to_chars(buf, buf + sizeof buf, v));
}

std::string_view typeName(FieldType t)
{
    return t == FieldType::Raw ? std::string_view("raw") : typeKeyword(t);
}

void jsonTbl16(std::string& out, Bytes d)
{
    out += ",\"values\":[";
    const char* sep = "";
    for (std::uint16_t x : readTbl16(d)) {
        out += sep;
        appendNumber(out, x);
        sep = ",";
    }
    out += ']';
}

void jsonTbldb(std::string& out, Bytes d)
{
    const auto count = tbldbStoredCount(d);
    if (!count)
        return;
    out += ",\"count\":";
    appendNumber(out, *count);
    out += ",\"points\":[";
    const char* sep = "";
    for (const DoublePoint& p : readTbldb(d, *count)) {
        out += sep;
        out += '[';
        jsonReal(out, p.x);
        out += ',';
        jsonReal(out, p.y);
        out += ']';
        sep = ",";
    }
    out += ']';
}

void jsonTbl3d(std::string& out, Bytes d)
{
    const auto shape = tbl3dShape(d);
    if (!shape)
        return;
    out += ",\"groups\":";
    appendNumber(out, shape->groups);
    out += ",\"rows\":";
    appendNumber(out, shape->values);
    if (!tbl3dValuesFit(d))
        return;
    out += ",\"grid\":[";
    for (std::uint32_t k = 0; shape->groups > 0 && k < shape->values; ++k) {
        out += k ? ",[" : "[";
        for (std::uint32_t g = 0; g < shape->groups; ++g) {
            if (g)
                out += ',';
            jsonReal(out, tbl3dValue(d, g, k).value_or(0.0));
        }
        out += ']';
    }
    out += ']';
}

// The decoded value and table values of an item, each member after a comma.
void jsonValues(std::string& out, FieldType type, Bytes d, std::string& scratch)
{
    scratch.clear();
    appendValueSuffix(scratch, type, d);
    if (scratch == kOutsideRecordSuffix) {
        out += ",\"outside\":true";
    } else if (!scratch.empty()) {
        out += ",\"value\":";
        jsonString(out, std::string_view(scratch).substr(1)); // after '='
    }
    switch (type) {
    case FieldType::Tbl16:
        jsonTbl16(out, d);
        break;
    case FieldType::TblDb:
        jsonTbldb(out, d);
        break;
    case FieldType::Tbl3d:
        jsonTbl3d(out, d);
        break;
    default:
        break;
    }
}

void jsonRecord(
        Sink& sink, DefinitionCache& defs, Bytes img, std::size_t pos, bool first, std::string& scratch)
{
    std::string& out = sink.buf;
    const std::uint32_t id = u32At(img, pos);
    const Bytes d = img.subspan(pos + 8, u32At(img, pos + 4));
    const RecordDef& def = defs.of(id);
    if (!first)
        out += ",\n"sv;
    out += "{\"id\":"sv;
    appendNumber(out, id);
    out += ",\"idHex\":\""sv;
    appendNumber(out, id, 16);
    out += "\",\"name\":"sv;
    out += def.json;
    out += ",\"type\":"sv;
    jsonString(out, typeName(def.type));
    out += ",\"offset\":"sv;
    appendNumber(out, pos);
    out += ",\"length\":"sv;
    appendNumber(out, d.size());
    jsonValues(out, def.type, d, scratch);
    out += ",\"hex\":"sv;
    jsonHex(out, d);
    if (def.type == FieldType::Record) {
        out += ",\"fields\":["sv;
        bool firstField = true;
        for (const FieldDef& fd : def.fields) {
            out += firstField ? "{\"name\":"sv : ",{\"name\":"sv;
            firstField = false;
            out += fd.json;
            out += ",\"type\":"sv;
            jsonString(out, typeName(fd.type));
            out += ",\"offset\":"sv;
            appendNumber(out, fd.offset);
            out += ",\"size\":"sv;
            appendNumber(out, fd.size);
            if (const auto fb = fieldBytes(fd, d)) {
                jsonValues(out, fd.type, *fb, scratch);
                out += ",\"hex\":"sv;
                jsonHex(out, *fb);
            } else {
                out += ",\"outside\":true"sv;
            }
            out += '}';
            sink.maybeFlush();
        }
        out += ']';
    }
    out += '}';
    sink.maybeFlush();
}

bool jsonListing(Sink& sink, Bytes img, std::string_view fileName, const Ini& ini, bool sorted)
{
    DefinitionCache defs(ini);
    std::string scratch;
    sink.buf += "{\"file\":";
    jsonString(sink.buf, fileName);
    sink.buf += ",\"size\":";
    appendNumber(sink.buf, img.size());
    sink.buf += ",\"records\":[\n";
    bool first = true;
    const std::size_t end = forEachRecord(img, sorted, [&](std::size_t pos) {
        jsonRecord(sink, defs, img, pos, first, scratch);
        first = false;
    });
    sink.buf += "\n],\"trailing\":";
    if (end < img.size()) {
        sink.buf += "{\"offset\":";
        appendNumber(sink.buf, end);
        sink.buf += ",\"length\":";
        appendNumber(sink.buf, img.size() - end);
        sink.buf += ",\"hex\":";
        jsonHex(sink.buf, img.subspan(end));
        sink.buf += '}';
    } else {
        sink.buf += "null";
    }
    sink.buf += "}\n";
    return sink.flush();
}

// The document's list walked: for the editor's own uses and the tests.
void documentListing(Sink& sink, const CTLDoc& doc, bool sorted, bool values)
{
    TextListing text(sink, values);
    text.root(doc.itemText(0));
    std::vector<int> records;
    records.reserve(std::size_t(doc.recordCount()));
    for (int n = 0; n < doc.recordCount(); ++n)
        records.push_back(doc.recordAt(n));
    if (sorted)
        std::stable_sort(
                records.begin(), records.end(), [&](int a, int b) { return doc.idOf(a) < doc.idOf(b); });
    std::string name;
    for (int r : records) {
        const RecordEntry e = doc.entry(r);
        name.clear();
        appendEscapedItemText(name, e.name.str());
        text.record(e.id, name, e.type, doc.data(r));
        // A record's fields follow it directly in the list.
        for (int f = r + 1; f <= r + doc.fieldCount(r); ++f) {
            const RecordEntry fe = doc.entry(f);
            name.clear();
            appendEscapedItemText(name, fe.name.str());
            text.field(name, fe.type, doc.data(f), doc.outsideRecord(f));
        }
    }
    text.trailing(doc.trailingBytes());
}

} // namespace

std::string listDocument(const CTLDoc& doc, bool sorted, bool values)
{
    Sink sink(nullptr);
    documentListing(sink, doc, sorted, values);
    return std::move(sink.buf);
}

bool writeListing(const CTLDoc& doc, bool sorted, bool values, std::ostream& out)
{
    Sink sink(&out);
    documentListing(sink, doc, sorted, values);
    return sink.flush();
}

bool writeImageListing(Bytes img, std::string_view fileName, const Ini& ini, const ListingOptions& options,
        std::ostream& out)
{
    Sink sink(&out);
    if (options.json)
        return jsonListing(sink, img, fileName, ini, options.sorted);
    DefinitionCache defs(ini);
    TextListing text(sink, options.values);
    text.root(fileName);
    const std::size_t end = forEachRecord(img, options.sorted, [&](std::size_t pos) {
        const std::uint32_t id = u32At(img, pos);
        const Bytes d = img.subspan(pos + 8, u32At(img, pos + 4));
        const RecordDef& def = defs.of(id);
        text.record(id, def.escaped, def.type, d);
        for (const FieldDef& f : def.fields) {
            const auto fb = fieldBytes(f, d);
            text.field(f.escaped, f.type, fb.value_or(Bytes()), !fb);
        }
    });
    text.trailing(img.subspan(end));
    return sink.flush();
}

int listFile(const std::string& path, const std::string& definitionsPath, const ListingOptions& options,
        std::ostream& out, std::ostream& err, std::string_view program)
{
    std::vector<std::uint8_t> image;
    if (base::fileio::Error e = base::fileio::readFile(path, image)) {
        err << program << ": " << e.message << "\n";
        return 1;
    }
    const Ini defs = Ini::load(definitionsPath);
    bool written = false;
    errno = 0;
    try {
        written = writeImageListing(image, fileNameOf(path), defs, options, out);
    } catch (const std::bad_alloc&) {
        out.flush();
        err << program << ": " << base::fileio::describe(ENOMEM, path) << "\n";
        return 1;
    }
    out.flush();
    if (written && out)
        return 0;
    // The stream keeps no cause; the failed write left it in errno.
    const int cause = errno;
    err << program << ": the listing could not be written";
    if (cause != 0)
        err << ": " << std::strerror(cause);
    err << "\n";
    return 1;
}

} // namespace model
