#include "model/FieldType.h"

#include "base/AsciiText.h"
#include "base/Bytes.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

namespace model {

namespace {

// How a type's value is shown and entered.
enum class ValueForm {
    NoValue, // raw, record, tables: no value of its own
    Bool,
    Text,
    Integer, // raw / divisor + offset, "%d"
    Rounded, // raw * units / steps rounded half away from zero, "%d"
    Fixed, // raw * units / steps with `decimals` decimals
    Double, // the 64-bit real itself, six decimals
};

// Everything known about one field type, indexed by its code.
struct TypeRow {
    std::string_view keyword; // in the definition file; "" for raw
    std::string_view label; // the picture's short label
    std::uint32_t definedSize; // what lookupType gives for the keyword
    std::uint32_t valueSize; // bytes of a scalar value; 0 for raw, record, text, tables
    EditorKind editor;
    ValueForm form;
    // Integer: shown = raw / divisor + offset (C division), stored = (value - offset) * divisor.
    int divisor;
    int offset;
    // Rounded and Fixed: shown = raw * units / steps, stored = round(value * steps / units).
    double units;
    double steps;
    int decimals;
    // The in-place editor's profile; the hint is followed by " from <lowest>
    // to <highest>" when rangeInHint is set.
    std::string_view hint;
    bool rangeInHint;
    int maxChars;
    int boxWidth;
    bool allowPoint;
    bool allowMinus;
    // The accepted range as its messages show it; empty: not checked.
    std::string_view lowest;
    std::string_view highest;
};

constexpr auto kTypes = [] {
    using enum EditorKind;
    using enum ValueForm;
    // clang-format off
    return std::array<TypeRow, kFieldTypeCount>{{
        // keyword   label     defined value editor       form     div  off   units   steps  dec
        //   hint                     range  chars width  point  minus  lowest         highest
        {"",       "???",    0, 0, Hex,         NoValue, 1, 0,    1,      1,      0,
             "",                      false, 0,  0,   false, false, "",            ""},
        {"record", "REC",    0, 0, None,        NoValue, 1, 0,    1,      1,      0,
             "",                      false, 0,  0,   false, false, "",            ""},
        {"bool",   "BOOL",   4, 4, Toggle,      Bool,    1, 0,    1,      1,      0,
             "",                      false, 0,  0,   false, false, "",            ""},
        {"int8",   "int8",   1, 1, InPlace,     Integer, 1, 0,    1,      1,      0,
             "A value",               true,  4,  40,  false, true,  "-128",        "127"},
        {"int16",  "int16",  2, 2, InPlace,     Integer, 1, 0,    1,      1,      0,
             "A value",               true,  6,  55,  false, true,  "-32768",      "32767"},
        {"int32",  "int32",  4, 4, InPlace,     Integer, 1, 0,    1,      1,      0,
             "A value",               true,  11, 95,  false, true,  "-2147483648", "2147483647"},
        {"double", "double", 8, 8, InPlace,     Double,  1, 0,    1,      1,      6,
             "A decimal number",      false, 16, 135, true,  true,  "",            ""},
        {"text",   "text",   0, 0, TextDialog,  Text,    1, 0,    1,      1,      0,
             "",                      false, 0,  0,   false, false, "",            ""},
        {"prpm",   "PRPM",   2, 2, InPlace,     Integer, 4, 1400, 1,      1,      0,
             "A value",               true,  4,  40,  false, true,  "1",           "9591"},
        {"ang16",  "ANG16",  2, 2, InPlace,     Fixed,   1, 0,    1,      182.0,  3,
             "An angle",              true,  7,  135, true,  true,  "-180",        "180"},
        {"mach",   "MACH",   4, 4, InPlace,     Fixed,   1, 0,    1,      20480.0, 4,
             "A value",               true,  16, 135, true,  true,  "0",           "3.1999"},
        {"aspd",   "ASPD",   4, 4, InPlace,     Fixed,   1, 0,    1,      128.0,  4,
             "Airspeed in Knots",     false, 12, 135, true,  true,  "1",           "16777215.992"},
        {"tbl16",  "TBL16",  2, 0, Table16,     NoValue, 1, 0,    1,      1,      0,
             "",                      false, 0,  0,   false, false, "",            ""},
        {"tbldb",  "TBLDB",  4, 0, TableDouble, NoValue, 1, 0,    1,      1,      0,
             "",                      false, 0,  0,   false, false, "",            ""},
        {"fwgt",   "FWGT",   2, 2, InPlace,     Fixed,   1, 0,    1,      256.0,  4,
             "A value",               true,  7,  135, true,  true,  "0",           "127.996"},
        {"m256",   "M256",   2, 2, InPlace,     Fixed,   1, 0,    1,      6.5025, 4,
             "A value",               true,  9,  135, true,  true,  "-5039",       "5021"},
        {"thrust", "THRUST", 4, 4, InPlace,     Rounded, 1, 0,    13.671, 1,      0,
             "A Positive Integer",    false, 10, 135, false, false, "-2147483648", "2147483647"},
        {"16pct",  "16PCT",  2, 2, InPlace,     Rounded, 1, 0,    1,      163.83, 0,
             "A number",              true,  4,  40,  false, true,  "-100",        "100"},
        {"tbl3d",  "TBL3D",  4, 0, Grid,        NoValue, 1, 0,    1,      1,      0,
             "",                      false, 0,  0,   false, false, "",            ""},
    }};
    // clang-format on
}();

const TypeRow& rowOf(FieldType t)
{
    return kTypes[std::size_t(fieldTypeCode(fieldTypeFromCode(fieldTypeCode(t))))];
}

using base::ascii::isBlank;
using base::ascii::lower;
using base::ascii::trim;

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    c = lower(c);
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// Raw value of an integer-coded scalar, read as a signed integer of its width.
std::optional<std::int64_t> rawInt(const TypeRow& row, std::span<const std::uint8_t> d)
{
    return base::bytes::readSigned(d, 0, row.valueSize);
}

template <typename T>
void appendChars(std::string& out, T v)
{
    char buf[24];
    const auto res = std::to_chars(buf, buf + sizeof buf, v);
    out.append(buf, res.ptr);
}

__extension__ typedef unsigned __int128 Wide; // GCC and Clang on 64-bit targets

constexpr std::array<std::uint64_t, 20> kPowersOf10 = [] {
    std::array<std::uint64_t, 20> p{};
    p[0] = 1;
    for (std::size_t i = 1; i < p.size(); ++i)
        p[i] = p[i - 1] * 10;
    return p;
}();

// The fixed-point text of v with 0..19 decimals when v * 10^decimals rounds
// to an integer below 2^64, which is every value a type shows and most
// doubles; nullptr otherwise. It is the text std::to_chars writes (the exact
// binary value rounded half to even), at a fraction of its cost: v = m * 2^e
// is scaled exactly in 128 bits. buf holds at least 42 characters.
char* fixedFast(char* buf, double v, int decimals)
{
    if (decimals < 0 || std::size_t(decimals) >= kPowersOf10.size())
        return nullptr;
    std::uint64_t bits = 0;
    std::memcpy(&bits, &v, sizeof bits);
    const int exponentField = int((bits >> 52) & 0x7FF);
    if (exponentField == 0x7FF)
        return nullptr; // infinite or NaN
    std::uint64_t m = bits & ((std::uint64_t(1) << 52) - 1);
    int e = -1074; // subnormal
    if (exponentField != 0) {
        m |= std::uint64_t(1) << 52;
        e = exponentField - 1075;
    }
    const Wide scaled = Wide(m) * kPowersOf10[std::size_t(decimals)]; // below 2^117
    std::uint64_t q = 0;
    if (m == 0) {
    } else if (e >= 0) {
        if (e > 10)
            return nullptr;
        const Wide whole = scaled << e;
        if (whole >> 64)
            return nullptr;
        q = std::uint64_t(whole);
    } else if (-e < 118) { // from 118 on, scaled is below half a unit: 0
        const int k = -e;
        const Wide whole = scaled >> k;
        if (whole >> 64)
            return nullptr;
        q = std::uint64_t(whole);
        const Wide rest = scaled - (whole << k);
        const Wide half = Wide(1) << (k - 1);
        if (rest > half || (rest == half && (q & 1))) {
            if (q == std::numeric_limits<std::uint64_t>::max())
                return nullptr;
            ++q;
        }
    }
    char* p = buf;
    if (bits >> 63)
        *p++ = '-';
    const std::uint64_t unit = kPowersOf10[std::size_t(decimals)];
    p = std::to_chars(p, p + 20, q / unit).ptr;
    if (decimals > 0) {
        *p++ = '.';
        std::uint64_t fraction = q % unit;
        for (int i = decimals; i > 0; --i) {
            p[i - 1] = char('0' + fraction % 10);
            fraction /= 10;
        }
        p += decimals;
    }
    return p;
}

// Fixed-point in the C locale, like printf("%.*f"); nothing when it does not fit.
void appendFixed(std::string& out, double v, int decimals)
{
    // Large enough for DBL_MAX with six decimals.
    char buf[400];
    if (char* end = fixedFast(buf, v, decimals)) {
        out.append(buf, end);
        return;
    }
    auto res = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, decimals);
    if (res.ec == std::errc())
        out.append(buf, res.ptr);
}

// Appends the shown value in the form of its format ("%d" or "%f"/"%0.3f"/
// "%0.4f"); false (nothing appended) when the type has no value of its own or
// its bytes do not fit.
bool appendShownValue(std::string& out, FieldType t, std::span<const std::uint8_t> d)
{
    if (!valueFits(t, d.size()))
        return false;
    const TypeRow& row = rowOf(t);
    if (row.form == ValueForm::Double) {
        appendFixed(out, *base::bytes::f64(d, 0), row.decimals);
        return true;
    }
    if (row.form != ValueForm::Integer && row.form != ValueForm::Rounded && row.form != ValueForm::Fixed)
        return false;
    auto r = rawInt(row, d);
    if (!r)
        return false;
    const std::int64_t raw = *r;
    switch (row.form) {
    case ValueForm::Integer:
        appendChars(out, raw / row.divisor + row.offset); // C division truncates toward zero
        break;
    case ValueForm::Rounded:
        // Products beyond the 32-bit range print as the 64-bit rounded value.
        appendChars(out, roundHalfAwayFromZero(double(raw) * row.units / row.steps));
        break;
    default:
        appendFixed(out, double(raw) * row.units / row.steps, row.decimals);
        break;
    }
    return true;
}

// The in-place editor's hint of each type, made once from the table.
std::string_view hintOf(FieldType t)
{
    static const std::array<std::string, kFieldTypeCount> hints = [] {
        std::array<std::string, kFieldTypeCount> out;
        for (std::size_t i = 0; i < kTypes.size(); ++i) {
            const TypeRow& row = kTypes[i];
            out[i] = row.hint;
            if (row.rangeInHint)
                out[i].append(" from ").append(row.lowest).append(" to ").append(row.highest);
        }
        return out;
    }();
    return hints[std::size_t(fieldTypeCode(fieldTypeFromCode(fieldTypeCode(t))))];
}

std::int64_t saturate32(std::int64_t v)
{
    if (v < std::numeric_limits<std::int32_t>::min())
        return std::numeric_limits<std::int32_t>::min();
    if (v > std::numeric_limits<std::int32_t>::max())
        return std::numeric_limits<std::int32_t>::max();
    return v;
}

} // namespace

FieldType fieldTypeFromCode(int code)
{
    if (code < 0 || code >= kFieldTypeCount)
        return FieldType::Raw;
    return static_cast<FieldType>(code);
}

TypeLookup lookupType(std::string_view keyword)
{
    const std::string_view w = trim(keyword);
    const std::string low = base::ascii::lowered(w);
    for (std::size_t i = 0; i < kTypes.size(); ++i)
        if (!kTypes[i].keyword.empty() && low == kTypes[i].keyword)
            return {fieldTypeFromCode(int(i)), kTypes[i].definedSize};
    return {FieldType::Raw, parseHexPrefix(w)};
}

std::string_view typeKeyword(FieldType t)
{
    return rowOf(t).keyword;
}

std::string_view typeLabel(FieldType t)
{
    return rowOf(t).label;
}

std::uint32_t scalarSize(FieldType t)
{
    return rowOf(t).valueSize;
}

std::uint32_t parseHexPrefix(std::string_view s)
{
    std::size_t i = 0;
    while (i < s.size() && isBlank(s[i]))
        ++i;
    if (i + 1 < s.size() && s[i] == '0' && lower(s[i + 1]) == 'x' && i + 2 < s.size()
            && hexDigit(s[i + 2]) >= 0)
        i += 2;
    std::uint64_t v = 0;
    for (; i < s.size(); ++i) {
        const int d = hexDigit(s[i]);
        if (d < 0)
            break;
        v = v * 16 + std::uint64_t(d);
        if (v > 0xFFFFFFFFu)
            v = 0xFFFFFFFFu + std::uint64_t(1); // keep saturated
    }
    return v > 0xFFFFFFFFu ? 0xFFFFFFFFu : std::uint32_t(v);
}

namespace {
// Moves i past leading blanks and one optional sign; answers whether it was '-'.
bool skipBlanksAndSign(std::string_view s, std::size_t& i)
{
    while (i < s.size() && isBlank(s[i]))
        ++i;
    if (i < s.size() && (s[i] == '+' || s[i] == '-'))
        return s[i++] == '-';
    return false;
}
} // namespace

std::int64_t parseIntPrefix(std::string_view s)
{
    std::size_t i = 0;
    const bool neg = skipBlanksAndSign(s, i);
    // Accumulate as a negative number so that INT64_MIN fits.
    constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();
    std::int64_t v = 0;
    bool saturated = false;
    for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
        const int d = s[i] - '0';
        if (!saturated) {
            if (v < (kMin + d) / 10) {
                saturated = true;
                v = kMin;
            } else {
                v = v * 10 - d;
            }
        }
    }
    if (neg)
        return v;
    if (v == kMin)
        return std::numeric_limits<std::int64_t>::max();
    return -v;
}

double parseFixedRealPrefix(std::string_view s)
{
    std::size_t i = 0;
    const bool neg = skipBlanksAndSign(s, i);
    const std::size_t start = i;
    std::size_t intDigits = 0, fracDigits = 0;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
        ++i;
        ++intDigits;
    }
    std::size_t end = i;
    if (i < s.size() && s[i] == '.') {
        ++i;
        while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
            ++i;
            ++fracDigits;
        }
        if (intDigits + fracDigits > 0)
            end = i;
    }
    if (intDigits + fracDigits == 0)
        return 0.0;
    double v = 0.0;
    auto res = std::from_chars(s.data() + start, s.data() + end, v, std::chars_format::fixed);
    if (res.ec == std::errc::result_out_of_range) {
        // Without an exponent only a number of 309 or more integer digits
        // overflows; a fraction of hundreds of zeros underflows to 0.
        bool big = false;
        for (std::size_t k = start; k < start + intDigits; ++k)
            big = big || s[k] != '0';
        v = big ? std::numeric_limits<double>::infinity() : 0.0;
    } else if (res.ec != std::errc())
        v = 0.0;
    return neg ? -v : v;
}

std::int64_t roundHalfAwayFromZero(double v)
{
    if (std::isnan(v))
        return 0;
    const double r = v >= 0 ? std::trunc(v + 0.5) : std::trunc(v - 0.5);
    // 2^63 is exactly representable; anything at or beyond it saturates.
    if (r >= 9223372036854775808.0)
        return std::numeric_limits<std::int64_t>::max();
    if (r < -9223372036854775808.0)
        return std::numeric_limits<std::int64_t>::min();
    return static_cast<std::int64_t>(r);
}

std::string formatFixed(double v, int decimals)
{
    std::string out;
    appendFixed(out, v, decimals);
    return out;
}

bool valueFits(FieldType t, std::size_t dataSize)
{
    return dataSize >= scalarSize(t);
}

void appendValueSuffix(std::string& out, FieldType t, std::span<const std::uint8_t> data)
{
    switch (t) {
    case FieldType::Raw:
    case FieldType::Record:
    case FieldType::Tbl16:
    case FieldType::TblDb:
    case FieldType::Tbl3d:
        return;
    case FieldType::Bool: {
        if (data.size() < scalarSize(t)) {
            out.append(kOutsideRecordSuffix);
            return;
        }
        const bool on = data[0] || data[1] || data[2] || data[3];
        out.append(on ? "=TRUE(1)" : "=FALSE(0)");
        return;
    }
    case FieldType::Text: {
        // An empty text record shows an empty value; a text field past its
        // record's end is marked by the document before this is reached.
        out += '=';
        const auto* chars = reinterpret_cast<const char*>(data.data());
        const std::string_view text(chars, data.size());
        out.append(text.substr(0, text.find('\0')));
        return;
    }
    default:
        break;
    }
    out += '=';
    if (!appendShownValue(out, t, data)) {
        out.pop_back();
        out.append(kOutsideRecordSuffix);
    }
}

std::string valueText(std::string_view name, FieldType t, std::span<const std::uint8_t> data)
{
    std::string out(name);
    appendValueSuffix(out, t, data);
    return out;
}

std::string recordItemText(
        std::uint32_t id, std::string_view name, FieldType t, std::span<const std::uint8_t> data)
{
    char buf[16];
    auto res = std::to_chars(buf, buf + sizeof buf, id, 16);
    std::string out(buf, res.ptr);
    out += "  ";
    out += valueText(name, t, data);
    return out;
}

std::string editText(FieldType t, std::span<const std::uint8_t> data)
{
    if (!isInPlaceType(t))
        return {};
    std::string out;
    appendShownValue(out, t, data);
    return out;
}

std::optional<EditProfile> editProfile(FieldType t)
{
    const TypeRow& row = rowOf(t);
    if (row.editor != EditorKind::InPlace)
        return std::nullopt;
    return EditProfile{hintOf(t), row.maxChars, row.boxWidth, row.allowPoint, row.allowMinus};
}

bool isInPlaceType(FieldType t)
{
    return rowOf(t).editor == EditorKind::InPlace;
}

bool isAllowedChar(FieldType t, char c)
{
    const TypeRow& row = rowOf(t);
    if (row.editor != EditorKind::InPlace)
        return false;
    if ((c >= '0' && c <= '9') || c == '\b')
        return true;
    if (c == '-')
        return row.allowMinus;
    if (c == '.')
        return row.allowPoint;
    return false;
}

Validation validate(FieldType t, std::string_view text)
{
    const TypeRow& row = rowOf(t);
    if (row.lowest.empty())
        return {}; // "double" and the types not edited in place: no range check
    auto refuse = [](const char* msg, std::string_view bound) {
        return Validation{false, std::string(msg).append(bound), std::string(bound)};
    };
    // The bounds are read from their own texts, so number and message agree.
    const double lo = parseFixedRealPrefix(row.lowest);
    const double hi = parseFixedRealPrefix(row.highest);
    bool below = false, above = false;
    if (row.form == ValueForm::Integer || row.form == ValueForm::Rounded) {
        const std::int64_t v = parseIntPrefix(text);
        below = double(v) < lo;
        above = double(v) > hi;
    } else {
        const double v = parseFixedRealPrefix(text);
        below = v < lo;
        above = v > hi;
    }
    if (below)
        return refuse("Lowest possible number is ", row.lowest);
    if (above)
        return refuse("Highest Possible number is ", row.highest);
    return {};
}

bool encodeValue(FieldType t, std::string_view text, std::span<std::uint8_t> data)
{
    const TypeRow& row = rowOf(t);
    if (row.editor != EditorKind::InPlace || data.size() < row.valueSize)
        return false;
    switch (row.form) {
    case ValueForm::Double:
        return base::bytes::writeLE<double>(data, 0, parseFixedRealPrefix(text));
    case ValueForm::Integer: {
        std::int64_t v = parseIntPrefix(text);
        if (row.valueSize < 4)
            v = saturate32(v); // read as a 32-bit integer, then cut to the width
        return base::bytes::writeUnsigned(
                data, 0, std::uint64_t((v - row.offset) * row.divisor), row.valueSize);
    }
    case ValueForm::Rounded:
    case ValueForm::Fixed: {
        const std::int64_t v = roundHalfAwayFromZero(parseFixedRealPrefix(text) * row.steps / row.units);
        return base::bytes::writeUnsigned(data, 0, std::uint64_t(v), row.valueSize);
    }
    default:
        return false;
    }
}

bool toggleBool(std::span<std::uint8_t> data)
{
    if (data.size() < 4)
        return false;
    data[0] = data[0] == 1 ? 0 : 1;
    return true;
}

EditorKind editorFor(FieldType t)
{
    return rowOf(t).editor;
}

// ---- tables ---------------------------------------------------------------

std::size_t tbl16Count(std::span<const std::uint8_t> data)
{
    return data.size() / 2;
}

std::vector<std::uint16_t> readTbl16(std::span<const std::uint8_t> data)
{
    std::vector<std::uint16_t> out(tbl16Count(data));
    for (std::size_t i = 0; i < out.size(); ++i)
        out[i] = *base::bytes::u16(data, 2 * i);
    return out;
}

std::optional<std::uint16_t> tbl16Value(std::span<const std::uint8_t> data, std::size_t i)
{
    if (i >= tbl16Count(data))
        return std::nullopt;
    return base::bytes::u16(data, 2 * i);
}

bool setTbl16Value(std::span<std::uint8_t> data, std::size_t i, std::uint16_t v)
{
    if (i >= data.size() / 2)
        return false;
    return base::bytes::writeLE<std::uint16_t>(data, 2 * i, v);
}

std::optional<std::uint32_t> tbldbStoredCount(std::span<const std::uint8_t> data)
{
    return base::bytes::u32(data, 0);
}

bool tbldbLengthValid(std::span<const std::uint8_t> data)
{
    auto n = tbldbStoredCount(data);
    return n && std::uint64_t(*n) * 16 + 4 == data.size();
}

std::uint8_t tbldbEditCount(std::span<const std::uint8_t> data)
{
    return data.empty() ? 0 : data[0];
}

std::vector<DoublePoint> readTbldb(std::span<const std::uint8_t> data, std::size_t count)
{
    std::vector<DoublePoint> out;
    const std::size_t fit = data.size() < 4 ? 0 : (data.size() - 4) / 16;
    const std::size_t n = std::min(count, fit);
    out.reserve(n);
    for (std::size_t i = 0; i < n; ++i)
        out.push_back({*base::bytes::f64(data, 4 + 16 * i), *base::bytes::f64(data, 12 + 16 * i)});
    return out;
}

std::vector<std::uint8_t> composeTbldb(std::span<const DoublePoint> points)
{
    std::vector<std::uint8_t> out(4 + 16 * points.size());
    base::bytes::writeLE<std::uint32_t>(out, 0, std::uint32_t(points.size()));
    for (std::size_t i = 0; i < points.size(); ++i) {
        base::bytes::writeLE<double>(out, 4 + 16 * i, points[i].x);
        base::bytes::writeLE<double>(out, 12 + 16 * i, points[i].y);
    }
    return out;
}

std::optional<Tbl3dShape> tbl3dShape(std::span<const std::uint8_t> data)
{
    auto a = base::bytes::u32(data, 0);
    auto b = base::bytes::u32(data, 4);
    if (!a || !b)
        return std::nullopt;
    return Tbl3dShape{*a, *b};
}

bool tbl3dLengthValid(std::span<const std::uint8_t> data)
{
    auto s = tbl3dShape(data);
    if (!s)
        return false;
    // A * B < 2^64, and 8 * A * B must not wrap: compare in steps.
    const std::uint64_t cells = std::uint64_t(s->groups) * s->values;
    if (cells > (std::numeric_limits<std::uint64_t>::max() - 8) / 8)
        return false;
    return 8 + 8 * cells == data.size();
}

bool tbl3dValuesFit(std::span<const std::uint8_t> data)
{
    auto s = tbl3dShape(data);
    if (!s)
        return false;
    // The shape read means at least 8 bytes; 8 * A * B may not fit in 64 bits,
    // so the cells are compared with the room left for them.
    return std::uint64_t(s->groups) * s->values <= (data.size() - 8) / 8;
}

namespace {
std::optional<std::size_t> tbl3dOffset(std::span<const std::uint8_t> data, std::uint32_t g, std::uint32_t k)
{
    auto s = tbl3dShape(data);
    if (!s || g >= s->groups || k >= s->values)
        return std::nullopt;
    const std::uint64_t cell = std::uint64_t(g) * s->values + k;
    if (cell > (data.size() - 8) / 8)
        return std::nullopt;
    const std::uint64_t off = 8 + 8 * cell;
    if (off + 8 > data.size())
        return std::nullopt;
    return std::size_t(off);
}
} // namespace

std::optional<double> tbl3dValue(std::span<const std::uint8_t> data, std::uint32_t g, std::uint32_t k)
{
    auto off = tbl3dOffset(data, g, k);
    if (!off)
        return std::nullopt;
    return base::bytes::f64(data, *off);
}

bool setTbl3dValue(std::span<std::uint8_t> data, std::uint32_t g, std::uint32_t k, double v)
{
    auto off = tbl3dOffset(data, g, k);
    return off && base::bytes::writeLE<double>(data, *off, v);
}

std::vector<std::uint8_t> composeTbl3d(
        std::uint32_t groups, std::uint32_t values, std::span<const double> cells)
{
    std::size_t n = 0, size = 0;
    if (__builtin_mul_overflow(std::size_t(groups), std::size_t(values), &n)
            || __builtin_mul_overflow(n, std::size_t(8), &size)
            || __builtin_add_overflow(size, std::size_t(8), &size))
        return {};
    std::vector<std::uint8_t> out(size);
    base::bytes::writeLE<std::uint32_t>(out, 0, groups);
    base::bytes::writeLE<std::uint32_t>(out, 4, values);
    for (std::size_t i = 0; i < n && i < cells.size(); ++i)
        base::bytes::writeLE<double>(out, 8 + 8 * i, cells[i]);
    return out;
}

std::string readText(std::span<const std::uint8_t> data)
{
    std::string out;
    for (std::uint8_t b : data) {
        if (b == 0)
            break;
        out.push_back(char(b));
    }
    return out;
}

std::vector<std::uint8_t> composeText(std::string_view text)
{
    std::vector<std::uint8_t> out;
    out.reserve(text.size() + 1);
    for (char c : text) {
        if (c == '\0')
            break;
        out.push_back(std::uint8_t(c));
    }
    out.push_back(0);
    return out;
}

} // namespace model
