// The diff script's lines for one record: field lines, a table block, a text
// line, each chosen so that the update stores exactly the new bytes.
#include "tool/DiffScript.h"

#include "base/AsciiText.h"
#include "base/Bytes.h"
#include "tool/ToolText.h"
#include "tool/Update.h"

#include <algorithm>
#include <bit>
#include <charconv>

namespace patchwise::diffing {

using text::dec;
using text::fixed6;
using text::hex;

namespace {

namespace bytes = base::bytes;

// The longest line the update reads whole, without its line break.
constexpr std::size_t kMaxScriptLine = kScriptPiece - 1;

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
    if (!v || !sc.atEnd())
        return std::nullopt;
    return v;
}

// Scaled types: the update truncates value × scale; the first text that
// gives back the stored integer wins, the dump's own first.
std::optional<std::string> scaledValue(ToolType type, ByteView field)
{
    const ToolTypeRow& row = typeRow(type);
    const auto width = static_cast<std::size_t>(row.width);
    const auto stored = static_cast<std::int32_t>(bytes::readSigned(field, 0, width).value());
    const double scale = row.steps / row.units;
    const double exact = unitsOf(row, stored);
    const double nudged = (stored + (stored < 0 ? -0.5 : 0.5)) / scale;
    for (const std::string& s : {fixed6(exact), shortest(exact), g17(exact), g17(nudged)}) {
        auto v = readReal(s);
        if (!v)
            continue;
        const auto bits = static_cast<std::uint32_t>(scaledFieldValue(type, *v));
        const auto want = width == 4 ? static_cast<std::uint32_t>(stored)
                                     : static_cast<std::uint32_t>(stored) & 0xFFFFu;
        if ((width == 4 ? bits : bits & 0xFFFFu) == want)
            return s;
    }
    return std::nullopt;
}

// A value text that the update stores as exactly these bytes.
std::optional<std::string> typedValue(ToolType type, ByteView field)
{
    const ToolTypeRow& row = typeRow(type);
    switch (row.value) {
    case ToolValue::Integer:
        return dec(bytes::readSigned(field, 0, static_cast<std::size_t>(row.width)).value());
    case ToolValue::Double: {
        double v = f64(field, 0);
        std::string s = g17(v);
        auto back = readReal(s);
        if (back && std::bit_cast<std::uint64_t>(*back) == std::bit_cast<std::uint64_t>(v))
            return s;
        return std::nullopt;
    }
    case ToolValue::None:
    case ToolValue::Text:
        return std::nullopt;
    case ToolValue::Scaled:
        break;
    }
    return scaledValue(type, field);
}

} // namespace

// Lines that turn the first record with `id` (now holding `cur`; none at all
// when `absent`) into `target`. mayEndScript: the line may be the script's
// last (the record is changed in place, or is the last one added).
void ScriptWriter::change(std::uint32_t id, Bytes& cur, ByteView target, const std::vector<bool>& mask,
        bool absent, bool mayEndScript)
{
    if (!absent && equalMasked(cur, target, mask))
        return;
    std::string scratch;
    const std::uint32_t size = defs_.definedRecordSize(id, defPath_, scratch);
    RecordClass cls = classifyRecord(id);
    if (cls != RecordClass::Unclassified && diff::isTableForm(tableKindOf(cls), target)) {
        // Bytes the update writes itself (the stamp) are listed as zero.
        Bytes shown(target.begin(), target.end());
        for (std::size_t i = 0; i < shown.size(); ++i)
            if (mask[i])
                shown[i] = 0;
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
void ScriptWriter::fixBytes(
        std::uint32_t id, Bytes& cur, ByteView target, const std::vector<bool>& mask, std::uint32_t size)
{
    if (equalMasked(cur, target, mask))
        return;
    if (size > cur.size()) {
        cannot("record " + hex(id, 4) + ": bytes that a field line would reach only by growing the record to "
                + dec(size) + " bytes");
        return;
    }
    fieldLines(id, cur, target, mask, false);
}

// Typed lines for the defined fields that changed, then "int8" lines for the
// bytes that still differ. `atLeastOne`: a line is needed even when nothing
// differs (it makes the update grow or add the record).
void ScriptWriter::fieldLines(
        std::uint32_t id, Bytes& cur, ByteView target, const std::vector<bool>& mask, bool atLeastOne)
{
    bool any = false;
    for (const diff::FieldLayout& f : fieldsOf(defs_, id, defs_.lookupRecord(id)))
        any = typedFieldLine(id, f, cur, target, mask) || any;
    for (std::size_t i = 0; i < target.size(); ++i) {
        if (mask[i] || cur[i] == target[i])
            continue;
        out_ += "field " + hex(id) + " " + hex(static_cast<std::uint32_t>(i)) + " int8 "
                + dec(static_cast<std::int8_t>(target[i])) + "\n";
        cur[i] = target[i];
        any = true;
    }
    if (!any && atLeastOne && !target.empty())
        out_ += "field " + hex(id) + " 0 int8 " + dec(static_cast<std::int8_t>(mask[0] ? cur[0] : target[0]))
                + "\n";
}

// A typed line for field f when its bytes differ and a value text gives them.
bool ScriptWriter::typedFieldLine(std::uint32_t id, const diff::FieldLayout& f, Bytes& cur, ByteView target,
        const std::vector<bool>& mask)
{
    const auto type = static_cast<ToolType>(f.type);
    if (type == ToolType::Text)
        return false;
    const std::size_t width = f.width;
    if (width == 0 || f.offset > target.size() || target.size() - f.offset < width)
        return false;
    bool differs = false;
    for (std::size_t i = f.offset; i < f.offset + width; ++i)
        differs = differs || (!mask[i] && cur[i] != target[i]);
    if (!differs)
        return false;
    auto value = typedValue(type, target.subspan(f.offset, width));
    if (!value)
        return false;
    out_ += "field " + hex(id) + " " + hex(f.offset) + " " + typeRow(type).name + " " + *value + "\n";
    std::copy(target.begin() + f.offset, target.begin() + f.offset + width, cur.begin() + f.offset);
    return true;
}

// A "record:" block in the dump's layout; cur becomes what the update stores.
void ScriptWriter::tableBlock(std::uint32_t id, RecordClass cls, ByteView t, Bytes& cur)
{
    std::string name = defs_.lookupRecord(id).name;
    if (name.size() > 200 || name.find_first_of("\r\n") != std::string::npos)
        name.clear();
    out_ += "\n" + recordHeader(id, name) + "\n";
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
                for (std::int32_t c = 0; c < cols; ++c, at += 8)
                    out_ += real(f64(t, at)) + "\t";
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

// A "text" line whose data has the target's length, taking the target's own
// characters where the line can carry them; cur becomes its data.
bool ScriptWriter::textLine(std::uint32_t id, ByteView t, Bytes& cur)
{
    // The target's own characters where they make the data exact; when
    // field lines must mend it anyway, plain ASCII keeps the script readable.
    return textLine(id, t, cur, false) || textLine(id, t, cur, true);
}

bool ScriptWriter::textLine(std::uint32_t id, ByteView t, Bytes& cur, bool ascii)
{
    // The data is the characters, '|' as CR LF, the blank of the line
    // break and a zero byte: at least one character.
    if (t.size() < 3)
        return false;
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
        if (ascii)
            fits = fits && t[i] >= 0x20 && t[i] < 0x7F;
        if (!fits)
            c = '.';
        chars += c;
        data.push_back(static_cast<std::uint8_t>(c));
        ++i;
    }
    std::string line = "text " + hex(id) + " " + chars + "\n";
    if (line.size() > kMaxScriptLine)
        return false;
    data.push_back(' ');
    data.push_back(0);
    if (!ascii && !std::equal(data.begin(), data.end(), t.begin(), t.end()))
        return false;
    out_ += line;
    cur = std::move(data);
    return true;
}

// Text data without the blank of a line break: a "text" line that ends the
// script without one. Taken only when it gives the data exactly.
bool ScriptWriter::unbrokenTextLine(std::uint32_t id, ByteView t)
{
    if (t.size() < 2 || t.back() != 0 || (t.size() >= 3 && t[t.size() - 2] == ' '))
        return false;
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
    if (line.size() > kMaxScriptLine)
        return false;
    last_ = line;
    return true;
}

} // namespace patchwise::diffing
