#include "model/FieldType.h"

#include "model/Bytes.h"

#include <array>
#include <charconv>
#include <cmath>
#include <limits>

namespace model {

namespace {

struct TypeInfo {
    std::string_view keyword;
    FieldType type;
    std::uint32_t size;
};

// In lookup order: "tbl3d" is tried right after "tbldb" although its code is 18.
constexpr std::array<TypeInfo, 18> kTypes{{
    {"record", FieldType::Record, 0},
    {"bool", FieldType::Bool, 4},
    {"int8", FieldType::Int8, 1},
    {"int16", FieldType::Int16, 2},
    {"int32", FieldType::Int32, 4},
    {"double", FieldType::Double, 8},
    {"text", FieldType::Text, 0},
    {"prpm", FieldType::Prpm, 2},
    {"ang16", FieldType::Ang16, 2},
    {"mach", FieldType::Mach, 4},
    {"aspd", FieldType::Aspd, 4},
    {"tbl16", FieldType::Tbl16, 2},
    {"tbldb", FieldType::TblDb, 4},
    {"tbl3d", FieldType::Tbl3d, 4},
    {"fwgt", FieldType::Fwgt, 2},
    {"m256", FieldType::M256, 2},
    {"thrust", FieldType::Thrust, 4},
    {"16pct", FieldType::Pct16, 2},
}};

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

std::string_view trim(std::string_view s)
{
    while (!s.empty() && isBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

char lower(char c)
{
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    c = lower(c);
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

bool isIntegerType(FieldType t)
{
    switch (t) {
    case FieldType::Int8:
    case FieldType::Int16:
    case FieldType::Int32:
    case FieldType::Prpm:
    case FieldType::Thrust:
    case FieldType::Pct16:
        return true;
    default:
        return false;
    }
}

// Raw value of a scalar read as a signed integer of its width.
std::optional<std::int64_t> rawInt(FieldType t, std::span<const std::uint8_t> d)
{
    switch (scalarSize(t)) {
    case 1:
        if (d.empty())
            return std::nullopt;
        return std::int64_t(std::int8_t(d[0]));
    case 2:
        if (auto v = bytes::i16(d, 0))
            return *v;
        return std::nullopt;
    case 4:
        if (auto v = bytes::i32(d, 0))
            return *v;
        return std::nullopt;
    default:
        return std::nullopt;
    }
}

// The shown value in the form of its format ("%d" or "%f"/"%0.3f"/"%0.4f").
std::optional<std::string> shownValue(FieldType t, std::span<const std::uint8_t> d)
{
    if (!valueFits(t, d.size()))
        return std::nullopt;
    if (t == FieldType::Double)
        return formatFixed(*bytes::f64(d, 0), 6);
    auto r = rawInt(t, d);
    if (!r)
        return std::nullopt;
    const std::int64_t raw = *r;
    switch (t) {
    case FieldType::Int8:
    case FieldType::Int16:
    case FieldType::Int32:
        return std::to_string(raw);
    case FieldType::Prpm:
        return std::to_string(raw / 4 + 1400); // C division truncates toward zero
    case FieldType::Ang16:
        return formatFixed(double(raw) / 182.0, 3);
    case FieldType::Mach:
        return formatFixed(double(raw) / 20480.0, 4);
    case FieldType::Aspd:
        return formatFixed(double(raw) / 128.0, 4);
    case FieldType::Fwgt:
        return formatFixed(double(raw) / 256.0, 4);
    case FieldType::M256:
        return formatFixed(double(raw) / 6.5025, 4);
    case FieldType::Thrust:
        // Products beyond the 32-bit range print as the 64-bit rounded value.
        return std::to_string(roundHalfAwayFromZero(double(raw) * 13.671));
    case FieldType::Pct16:
        return std::to_string(roundHalfAwayFromZero(double(raw) / 163.83));
    default:
        return std::nullopt;
    }
}

struct Bounds {
    double lo;
    double hi;
    const char* loText;
    const char* hiText;
};

std::optional<Bounds> boundsOf(FieldType t)
{
    switch (t) {
    case FieldType::Int8: return Bounds{-128, 127, "-128", "127"};
    case FieldType::Int16: return Bounds{-32768, 32767, "-32768", "32767"};
    case FieldType::Int32:
    case FieldType::Thrust:
        return Bounds{-2147483648.0, 2147483647.0, "-2147483648", "2147483647"};
    case FieldType::Prpm: return Bounds{1, 9591, "1", "9591"};
    case FieldType::Ang16: return Bounds{-180, 180, "-180", "180"};
    case FieldType::Mach: return Bounds{0, 3.1999, "0", "3.1999"};
    case FieldType::Aspd: return Bounds{1, 16777215.992, "1", "16777215.992"};
    case FieldType::Fwgt: return Bounds{0, 127.996, "0", "127.996"};
    case FieldType::M256: return Bounds{-5039, 5021, "-5039", "5021"};
    case FieldType::Pct16: return Bounds{-100, 100, "-100", "100"};
    default: return std::nullopt;
    }
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
    std::string low(w);
    for (char& c : low)
        c = lower(c);
    for (const TypeInfo& ti : kTypes)
        if (low == ti.keyword)
            return {ti.type, ti.size};
    return {FieldType::Raw, parseHexPrefix(w)};
}

std::string_view typeKeyword(FieldType t)
{
    for (const TypeInfo& ti : kTypes)
        if (ti.type == t)
            return ti.keyword;
    return {};
}

std::string_view typeLabel(FieldType t)
{
    static constexpr std::array<std::string_view, kFieldTypeCount> kLabels{
        "???", "REC", "BOOL", "int8", "int16", "int32", "double", "text", "PRPM", "ANG16",
        "MACH", "ASPD", "TBL16", "TBLDB", "FWGT", "M256", "THRUST", "16PCT", "TBL3D"};
    return kLabels[std::size_t(fieldTypeCode(fieldTypeFromCode(fieldTypeCode(t))))];
}

std::uint32_t scalarSize(FieldType t)
{
    switch (t) {
    case FieldType::Int8: return 1;
    case FieldType::Int16:
    case FieldType::Prpm:
    case FieldType::Ang16:
    case FieldType::Fwgt:
    case FieldType::M256:
    case FieldType::Pct16:
        return 2;
    case FieldType::Bool:
    case FieldType::Int32:
    case FieldType::Mach:
    case FieldType::Aspd:
    case FieldType::Thrust:
        return 4;
    case FieldType::Double: return 8;
    default: return 0;
    }
}

std::uint32_t parseHexPrefix(std::string_view s)
{
    std::size_t i = 0;
    while (i < s.size() && isBlank(s[i]))
        ++i;
    if (i + 1 < s.size() && s[i] == '0' && lower(s[i + 1]) == 'x' && i + 2 < s.size() && hexDigit(s[i + 2]) >= 0)
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

double parseRealPrefix(std::string_view s)
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
    // Large enough for DBL_MAX with six decimals.
    char buf[400];
    auto res = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, decimals);
    if (res.ec != std::errc())
        return {};
    return std::string(buf, res.ptr);
}

bool valueFits(FieldType t, std::size_t dataSize)
{
    return dataSize >= scalarSize(t);
}

std::string valueText(std::string_view name, FieldType t, std::span<const std::uint8_t> data)
{
    std::string out(name);
    switch (t) {
    case FieldType::Raw:
    case FieldType::Record:
    case FieldType::Tbl16:
    case FieldType::TblDb:
    case FieldType::Tbl3d:
        return out;
    case FieldType::Bool: {
        if (data.size() < 4)
            return out.append(kOutsideRecordSuffix);
        const bool on = data[0] || data[1] || data[2] || data[3];
        return out.append(on ? "=TRUE(1)" : "=FALSE(0)");
    }
    case FieldType::Text:
        // An empty text record shows an empty value; a text field past its
        // record's end is marked by the document before this is reached.
        return out.append("=").append(readText(data));
    default:
        break;
    }
    auto v = shownValue(t, data);
    if (!v)
        return out.append(kOutsideRecordSuffix);
    return out.append("=").append(*v);
}

std::string recordItemText(std::uint32_t id, std::string_view name, FieldType t,
                           std::span<const std::uint8_t> data)
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
    return shownValue(t, data).value_or(std::string());
}

std::optional<EditProfile> editProfile(FieldType t)
{
    switch (t) {
    case FieldType::Int8: return EditProfile{"A value from -128 to 127", 4, 40, false, true};
    case FieldType::Int16: return EditProfile{"A value from -32768 to 32767", 6, 55, false, true};
    case FieldType::Int32:
        return EditProfile{"A value from -2147483648 to 2147483647", 11, 95, false, true};
    case FieldType::Double: return EditProfile{"A decimal number", 16, 135, true, true};
    case FieldType::Prpm: return EditProfile{"A value from 1 to 9591", 4, 40, false, true};
    case FieldType::Ang16: return EditProfile{"An angle from -180 to 180", 7, 135, true, true};
    case FieldType::Mach: return EditProfile{"A value from 0 to 3.1999", 16, 135, true, true};
    case FieldType::Aspd: return EditProfile{"Airspeed in Knots", 12, 135, true, true};
    case FieldType::Fwgt: return EditProfile{"A value from 0 to 127.996", 7, 135, true, true};
    case FieldType::M256: return EditProfile{"A value from -5039 to 5021", 9, 135, true, true};
    case FieldType::Thrust: return EditProfile{"A Positive Integer", 10, 135, false, false};
    case FieldType::Pct16: return EditProfile{"A number from -100 to 100", 4, 40, false, true};
    default: return std::nullopt;
    }
}

bool isInPlaceType(FieldType t)
{
    return editProfile(t).has_value();
}

bool isAllowedChar(FieldType t, char c)
{
    auto p = editProfile(t);
    if (!p)
        return false;
    if ((c >= '0' && c <= '9') || c == '\b')
        return true;
    if (c == '-')
        return p->allowMinus;
    if (c == '.')
        return p->allowPoint;
    return false;
}

Validation validate(FieldType t, std::string_view text)
{
    auto b = boundsOf(t);
    if (!b)
        return {}; // "double" and the types not edited in place: no range check
    auto refuse = [](const char* msg, const char* bound) {
        return Validation{false, std::string(msg) + bound, bound};
    };
    bool below = false, above = false;
    if (isIntegerType(t)) {
        std::int64_t v = parseIntPrefix(text);
        if (t != FieldType::Int32 && t != FieldType::Thrust)
            v = saturate32(v); // read as a 32-bit integer
        below = double(v) < b->lo;
        above = double(v) > b->hi;
    } else {
        const double v = parseRealPrefix(text);
        below = v < b->lo;
        above = v > b->hi;
    }
    if (below)
        return refuse("Lowest possible number is ", b->loText);
    if (above)
        return refuse("Highest Possible number is ", b->hiText);
    return {};
}

bool encodeValue(FieldType t, std::string_view text, std::span<std::uint8_t> data)
{
    if (!isInPlaceType(t) || data.size() < scalarSize(t))
        return false;
    auto put16 = [&](std::int64_t v) { return bytes::writeLE<std::uint16_t>(data, 0, std::uint16_t(v)); };
    auto put32 = [&](std::int64_t v) { return bytes::writeLE<std::uint32_t>(data, 0, std::uint32_t(v)); };
    const double real = parseRealPrefix(text);
    switch (t) {
    case FieldType::Int8:
        data[0] = std::uint8_t(saturate32(parseIntPrefix(text)));
        return true;
    case FieldType::Int16: return put16(saturate32(parseIntPrefix(text)));
    case FieldType::Int32: return put32(parseIntPrefix(text));
    case FieldType::Double: return bytes::writeLE<double>(data, 0, real);
    case FieldType::Prpm: return put16((saturate32(parseIntPrefix(text)) - 1400) * 4);
    case FieldType::Ang16: return put16(roundHalfAwayFromZero(real * 182.0));
    case FieldType::Mach: return put32(roundHalfAwayFromZero(real * 20480.0));
    case FieldType::Aspd: return put32(roundHalfAwayFromZero(real * 128.0));
    case FieldType::Fwgt: return put16(roundHalfAwayFromZero(real * 256.0));
    case FieldType::M256: return put16(roundHalfAwayFromZero(real * 6.5025));
    case FieldType::Thrust: return put32(roundHalfAwayFromZero(real / 13.671));
    case FieldType::Pct16: return put16(roundHalfAwayFromZero(real * 163.83));
    default: return false;
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
    switch (t) {
    case FieldType::Raw: return EditorKind::Hex;
    case FieldType::Record: return EditorKind::None;
    case FieldType::Bool: return EditorKind::Toggle;
    case FieldType::Text: return EditorKind::TextDialog;
    case FieldType::Tbl16: return EditorKind::Table16;
    case FieldType::TblDb: return EditorKind::TableDouble;
    case FieldType::Tbl3d: return EditorKind::Grid;
    default: return EditorKind::InPlace;
    }
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
        out[i] = *bytes::u16(data, 2 * i);
    return out;
}

std::optional<std::uint16_t> tbl16Value(std::span<const std::uint8_t> data, std::size_t i)
{
    if (i >= tbl16Count(data))
        return std::nullopt;
    return bytes::u16(data, 2 * i);
}

bool setTbl16Value(std::span<std::uint8_t> data, std::size_t i, std::uint16_t v)
{
    if (i >= data.size() / 2)
        return false;
    return bytes::writeLE<std::uint16_t>(data, 2 * i, v);
}

std::optional<std::uint32_t> tbldbStoredCount(std::span<const std::uint8_t> data)
{
    return bytes::u32(data, 0);
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
        out.push_back({*bytes::f64(data, 4 + 16 * i), *bytes::f64(data, 12 + 16 * i)});
    return out;
}

std::vector<std::uint8_t> composeTbldb(std::span<const DoublePoint> points)
{
    std::vector<std::uint8_t> out(4 + 16 * points.size());
    bytes::writeLE<std::uint32_t>(out, 0, std::uint32_t(points.size()));
    for (std::size_t i = 0; i < points.size(); ++i) {
        bytes::writeLE<double>(out, 4 + 16 * i, points[i].x);
        bytes::writeLE<double>(out, 12 + 16 * i, points[i].y);
    }
    return out;
}

std::optional<Tbl3dShape> tbl3dShape(std::span<const std::uint8_t> data)
{
    auto a = bytes::u32(data, 0);
    auto b = bytes::u32(data, 4);
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
    return bytes::f64(data, *off);
}

bool setTbl3dValue(std::span<std::uint8_t> data, std::uint32_t g, std::uint32_t k, double v)
{
    auto off = tbl3dOffset(data, g, k);
    return off && bytes::writeLE<double>(data, *off, v);
}

std::vector<std::uint8_t> composeTbl3d(std::uint32_t groups, std::uint32_t values,
                                       std::span<const double> cells)
{
    std::size_t n = 0, size = 0;
    if (__builtin_mul_overflow(std::size_t(groups), std::size_t(values), &n) ||
        __builtin_mul_overflow(n, std::size_t(8), &size) || __builtin_add_overflow(size, std::size_t(8), &size))
        return {};
    std::vector<std::uint8_t> out(size);
    bytes::writeLE<std::uint32_t>(out, 0, groups);
    bytes::writeLE<std::uint32_t>(out, 4, values);
    for (std::size_t i = 0; i < n && i < cells.size(); ++i)
        bytes::writeLE<double>(out, 8 + 8 * i, cells[i]);
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
