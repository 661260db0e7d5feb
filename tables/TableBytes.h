#pragma once
// What the table windows make of a record's bytes: the tables as the windows
// hold them (decoded with the model's layouts, refusals worded for the user)
// and the C-locale number texts the windows show and read back.
#include <QString>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace tables {

using Bytes = std::vector<std::uint8_t>;

// "%f": six fraction digits, C locale.
QString formatFixed(double v);
// The longest leading part of text that reads as a decimal real (leading
// blanks skipped, optional sign, digits, one '.', optional exponent);
// 0.0 when there is none. Takes exponents, unlike model::parseFixedRealPrefix.
double parseGeneralRealPrefix(std::string_view text);
double parseGeneralRealPrefix(const QString& text);

// 16-bit table: one value per two bytes, an odd last byte ignored.
std::vector<std::uint32_t> decodeTbl16(const Bytes& b);

// Double table: count (first byte only, 0 to 255) then x, y pairs.
struct DoubleTable {
    std::vector<double> xs;
    std::vector<double> ys;
};
// nullopt unless the length is exactly 16 * first byte + 4.
std::optional<DoubleTable> decodeTblDbl(const Bytes& b);
// 32-bit count, then each point's x and y.
Bytes encodeTblDbl(const std::vector<double>& xs, const std::vector<double>& ys);

// Grid table: 32-bit counts A (groups) and B (values per group), then the
// groups. Value k of group g sits at 8 + 8 * (g * B + k).
struct GridTable {
    int groups = 0; // A: grid columns
    int perGroup = 0; // B: grid rows
    std::vector<double> values; // group-major, groups * perGroup of them
};
// Refuses (nullopt, *why filled) counts of 0 or below and counts that claim
// more bytes than there are; trailing bytes past the table are allowed.
std::optional<GridTable> decodeTbl3d(const Bytes& b, QString* why);

} // namespace tables
