// The value codecs: value and edit texts on any bytes, validation and encoding
// on any typed text, the table layouts on any record data.
// Input: [u8 type code][u8 selector][u16 n][n bytes typed text][value bytes].
#include "FuzzInput.h"

#include "model/FieldType.h"
#include "model/TextEscape.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

using namespace model;

namespace {

void textCodecs(FieldType t, std::string_view text)
{
    for (char c : text)
        (void)isAllowedChar(t, c);
    (void)lookupType(text);
    (void)parseHexPrefix(text);
    (void)parseIntPrefix(text);
    const double real = parseFixedRealPrefix(text);
    FUZZ_CHECK(!std::isnan(real));
    (void)roundHalfAwayFromZero(real);

    const Validation v = validate(t, text);
    if (isInPlaceType(t) && !v.accepted) {
        FUZZ_CHECK(!v.message.empty());
        // The refill text is always accepted.
        FUZZ_CHECK(validate(t, v.refill).accepted);
    }

    // Encoding writes the first 1, 2, 4 or 8 bytes and nothing else.
    std::array<std::uint8_t, 16> buf;
    buf.fill(0xA5);
    const bool wrote = encodeValue(t, text, buf);
    const std::size_t width = scalarSize(t);
    FUZZ_CHECK(wrote == isInPlaceType(t));
    if (wrote)
        FUZZ_CHECK(width >= 1 && width <= 8);
    for (std::size_t i = wrote ? width : 0; i < buf.size(); ++i)
        FUZZ_CHECK(buf[i] == 0xA5);
    if (wrote) {
        (void)editText(t, std::span<const std::uint8_t>(buf).first(width));
        (void)valueText("v", t, std::span<const std::uint8_t>(buf).first(width));
    }
    // Too small a buffer is refused without a write.
    if (width > 0) {
        std::vector<std::uint8_t> small(width - 1, 0x5A);
        FUZZ_CHECK(!encodeValue(t, text, small));
        for (auto b : small)
            FUZZ_CHECK(b == 0x5A);
    }
}

void valueCodecs(FieldType t, std::span<const std::uint8_t> bytes, std::uint32_t id)
{
    const std::string vt = valueText("name", t, bytes);
    FUZZ_CHECK(vt.rfind("name", 0) == 0);
    (void)recordItemText(id, "name", t, bytes);
    (void)valueFits(t, bytes.size());
    (void)editText(t, bytes);
    (void)escapeItemText(vt);
    std::vector<std::uint8_t> copy(bytes.begin(), bytes.end());
    (void)toggleBool(copy);
}

void tables(std::span<const std::uint8_t> bytes, std::uint32_t probe)
{
    const auto v16 = readTbl16(bytes);
    FUZZ_CHECK(v16.size() == tbl16Count(bytes) && v16.size() == bytes.size() / 2);
    FUZZ_CHECK(!tbl16Value(bytes, v16.size()));
    FUZZ_CHECK(!tbl16Value(bytes, probe | 0x80000000u));

    const auto stored = tbldbStoredCount(bytes);
    const auto pts = readTbldb(bytes, tbldbEditCount(bytes));
    FUZZ_CHECK(4 + 16 * pts.size() <= std::max<std::size_t>(bytes.size(), 4));
    if (stored) {
        const auto all = readTbldb(bytes, *stored);
        FUZZ_CHECK(4 + 16 * all.size() <= bytes.size());
        if (tbldbLengthValid(bytes)) {
            FUZZ_CHECK(all.size() == *stored);
            FUZZ_CHECK(composeTbldb(all) == std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
        }
    }

    if (auto shape = tbl3dShape(bytes)) {
        // Cells beyond the shape or the data are refused, whatever the
        // product of the counts.
        const std::uint32_t probes[][2] = {
            {0, 0}, {shape->groups - 1, shape->values - 1}, {probe & 0xFF, probe >> 8}, {2, probe}};
        for (const auto& [g, k] : probes) {
        if (auto v = tbl3dValue(bytes, g, k)) {
            FUZZ_CHECK(g < shape->groups && k < shape->values);
            const std::uint64_t off = 8 + 8 * (std::uint64_t(g) * shape->values + k);
            FUZZ_CHECK(off + 8 <= bytes.size());
            double stored3;
            std::memcpy(&stored3, bytes.data() + off, 8);
            FUZZ_CHECK(std::memcmp(&stored3, &*v, 8) == 0);
        }
        }
        FUZZ_CHECK(!tbl3dValue(bytes, shape->groups, 0));
        FUZZ_CHECK(!tbl3dValue(bytes, 0, shape->values));
        // A zero count with a huge other count is a valid empty grid: walk
        // the cells only when there are some.
        if (tbl3dLengthValid(bytes) && shape->groups != 0 && shape->values != 0) {
            std::vector<double> cells;
            for (std::uint32_t gg = 0; gg < shape->groups; ++gg)
                for (std::uint32_t kk = 0; kk < shape->values; ++kk) {
                    auto c = tbl3dValue(bytes, gg, kk);
                    FUZZ_CHECK(c.has_value());
                    cells.push_back(*c);
                }
            const auto again = composeTbl3d(shape->groups, shape->values, cells);
            FUZZ_CHECK(again == std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
        }
    }

    const std::string text = readText(bytes);
    FUZZ_CHECK(text.size() <= bytes.size());
    const auto composed = composeText(text);
    FUZZ_CHECK(composed.size() == text.size() + 1 && composed.back() == 0);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::Input in(data, size);
    const int code = static_cast<std::int8_t>(in.u8());
    const std::uint8_t selector = in.u8();
    const std::string_view text = fuzz::asText(in.part());
    const auto bytes = in.rest();

    const FieldType t = fieldTypeFromCode(code);
    FUZZ_CHECK(fieldTypeCode(t) >= 0 && fieldTypeCode(t) < kFieldTypeCount);
    (void)typeKeyword(t);
    (void)typeLabel(t);
    (void)editProfile(t);
    (void)editorFor(t);
    (void)formatFixed(parseFixedRealPrefix(text), selector % 12);

    textCodecs(t, text);
    valueCodecs(t, bytes, selector * 0x01010101u);
    tables(bytes, selector * 0x00FF00FFu + std::uint32_t(bytes.size()));
    return 0;
}
