#pragma once
// Field types of AIR records and their value codecs: keyword lookup, the
// texts shown in the tree and in the in-place editor, the edit profiles,
// validation, encoding and the table layouts. Pure functions over byte spans;
// strings hold Latin-1 bytes.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace model {

enum class FieldType : int {
    Raw = 0,
    Record = 1,
    Bool = 2,
    Int8 = 3,
    Int16 = 4,
    Int32 = 5,
    Double = 6,
    Text = 7,
    Prpm = 8,
    Ang16 = 9,
    Mach = 10,
    Aspd = 11,
    Tbl16 = 12,
    TblDb = 13,
    Fwgt = 14,
    M256 = 15,
    Thrust = 16,
    Pct16 = 17,
    Tbl3d = 18,
};
inline constexpr int kFieldTypeCount = 19;

// Code 0..18 to FieldType; out-of-range codes give Raw.
FieldType fieldTypeFromCode(int code);
inline int fieldTypeCode(FieldType t)
{
    return static_cast<int>(t);
}

struct TypeLookup {
    FieldType type = FieldType::Raw;
    std::uint32_t size = 0; // byte size; 0 for "record" and "text"
};

// Keyword from the definition file -> type code and byte size. Blanks around
// the word are dropped and letter case is ignored; any other word is a raw
// type whose size is the word read as hexadecimal ("1c", "0x1c" -> 28).
TypeLookup lookupType(std::string_view keyword);

// The keyword of a type ("int16", "16pct", ...); "" for Raw.
std::string_view typeKeyword(FieldType t);
// Short label of a type's picture (Raw "???", Record "REC", "BOOL", "int8", ...).
std::string_view typeLabel(FieldType t);
// Byte size of a scalar type (1, 2, 4 or 8); 0 for raw, record, text and tables.
std::uint32_t scalarSize(FieldType t);

// Leading-number parsers of the definition file and the edit box.
// Hex: blanks skipped, optional "0x", stops at the first non-hex digit,
// no digits -> 0, saturates at 0xFFFFFFFF.
std::uint32_t parseHexPrefix(std::string_view s);
// Decimal integer: blanks, optional sign, digits; saturates at the int64 range.
std::int64_t parseIntPrefix(std::string_view s);
// Decimal real in fixed notation: blanks, optional sign, digits, optional
// fraction; no exponent (unlike tables' parseGeneralRealPrefix), huge gives inf.
double parseFixedRealPrefix(std::string_view s);

// Half away from zero, then the fraction dropped. NaN gives 0 and values
// beyond the int64 range saturate (never undefined behaviour).
std::int64_t roundHalfAwayFromZero(double v);

// Fixed-point formatting in the C locale, like printf("%.*f").
std::string formatFixed(double v, int decimals);

// The value text of the tree (without the record id prefix): the name alone
// for raw, record and tables; name + "=TRUE(1)"/"=FALSE(0)" for bool;
// otherwise name + "=" + the decoded value. A scalar whose bytes do not fit in
// `data` shows as name + " (outside record)". A text without a 0 byte shows
// its characters up to the end of `data`.
std::string valueText(std::string_view name, FieldType t, std::span<const std::uint8_t> data);
// What valueText puts after the name, appended to out (Latin-1, unescaped).
void appendValueSuffix(std::string& out, FieldType t, std::span<const std::uint8_t> data);
// Tree text of a record: "%x  " + value text.
std::string recordItemText(
        std::uint32_t id, std::string_view name, FieldType t, std::span<const std::uint8_t> data);
inline constexpr std::string_view kOutsideRecordSuffix = " (outside record)";

// Whether `data` holds a whole value of type t (always true for raw, record,
// tables and text).
bool valueFits(FieldType t, std::size_t dataSize);

// Initial text of the in-place editor ("" for types not edited in place or
// when the value does not fit).
std::string editText(FieldType t, std::span<const std::uint8_t> data);

struct EditProfile {
    std::string_view hint; // status-bar hint while editing
    int maxChars = 0; // most characters the box takes
    int boxWidth = 0; // box width in pixels
    bool allowPoint = false;
    bool allowMinus = false;
};
// Profile of a scalar type edited in place; nullopt for the others.
std::optional<EditProfile> editProfile(FieldType t);
bool isInPlaceType(FieldType t);
// Characters that may be typed: digits and backspace (0x08) always, '-' and
// '.' as the profile allows. Everything else is swallowed.
bool isAllowedChar(FieldType t, char c);

struct Validation {
    bool accepted = true;
    std::string message; // shown in a message box when refused
    std::string refill; // the box is refilled with this when refused
};
Validation validate(FieldType t, std::string_view text);

// Writes the raw value of `text` into the first 1, 2, 4 or 8 bytes of `data`.
// Returns false, writing nothing, when the type is not edited in place or
// `data` is too small. The text is not validated here.
bool encodeValue(FieldType t, std::string_view text, std::span<std::uint8_t> data);

// The bool toggle: first byte 1 -> 0, anything else -> 1; other bytes kept.
bool toggleBool(std::span<std::uint8_t> data);

enum class EditorKind {
    Hex, // raw
    None, // record: expands or collapses
    Toggle, // bool
    InPlace, // scalar types
    TextDialog, // text
    Table16, // tbl16 window
    TableDouble, // tbldb window
    Grid, // tbl3d window
};
EditorKind editorFor(FieldType t);

// ---- Table layouts -------------------------------------------------------

// "tbl16": length / 2 unsigned 16-bit values.
std::size_t tbl16Count(std::span<const std::uint8_t> data);
std::vector<std::uint16_t> readTbl16(std::span<const std::uint8_t> data);
std::optional<std::uint16_t> tbl16Value(std::span<const std::uint8_t> data, std::size_t i);
bool setTbl16Value(std::span<std::uint8_t> data, std::size_t i, std::uint16_t v);

struct DoublePoint {
    double x = 0;
    double y = 0;
    bool operator==(const DoublePoint&) const = default;
};
// "tbldb": 32-bit count N, then N (x, y) pairs.
std::optional<std::uint32_t> tbldbStoredCount(std::span<const std::uint8_t> data);
// True when the length is exactly 16 * N + 4 for the stored 32-bit count.
bool tbldbLengthValid(std::span<const std::uint8_t> data);
// The count the table window takes: the first byte alone (0 when empty).
std::uint8_t tbldbEditCount(std::span<const std::uint8_t> data);
// Up to `count` pairs, as many as lie wholly inside the data.
std::vector<DoublePoint> readTbldb(std::span<const std::uint8_t> data, std::size_t count);
// A full "tbldb" block: 32-bit count and the pairs.
std::vector<std::uint8_t> composeTbldb(std::span<const DoublePoint> points);

// "tbl3d": count A, count B, then A groups of B doubles.
struct Tbl3dShape {
    std::uint32_t groups = 0; // A: grid columns
    std::uint32_t values = 0; // B: grid rows
};
std::optional<Tbl3dShape> tbl3dShape(std::span<const std::uint8_t> data);
// True when the length is exactly 8 + 8 * A * B.
bool tbl3dLengthValid(std::span<const std::uint8_t> data);
// True when all A * B values lie inside the data; bytes after them are
// allowed. Counts whose byte size would not fit in 64 bits are refused.
bool tbl3dValuesFit(std::span<const std::uint8_t> data);
// Value k of group g, at byte 8 + 8 * (g * B + k); nullopt outside the data.
std::optional<double> tbl3dValue(std::span<const std::uint8_t> data, std::uint32_t g, std::uint32_t k);
bool setTbl3dValue(std::span<std::uint8_t> data, std::uint32_t g, std::uint32_t k, double v);
// A full block; `values` holds A * B doubles, group after group (missing ones are 0).
// Empty when 8 + 8 * A * B does not fit in a size_t.
std::vector<std::uint8_t> composeTbl3d(
        std::uint32_t groups, std::uint32_t values, std::span<const double> cells);

// "text": characters up to the first 0 byte, or to the end of the data.
std::string readText(std::span<const std::uint8_t> data);
// The characters followed by one 0 byte (characters after an embedded 0 are dropped).
std::vector<std::uint8_t> composeText(std::string_view text);

} // namespace model
