#include "base/Bytes.h"
#include "model/FieldType.h"

#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <clocale>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

using namespace model;

namespace {

std::vector<std::uint8_t> le16(std::int16_t v)
{
    std::vector<std::uint8_t> d(2);
    base::bytes::writeLE<std::int16_t>(d, 0, v);
    return d;
}

std::vector<std::uint8_t> le32(std::int32_t v)
{
    std::vector<std::uint8_t> d(4);
    base::bytes::writeLE<std::int32_t>(d, 0, v);
    return d;
}

std::string shown(FieldType t, const std::vector<std::uint8_t>& d)
{
    return valueText("v", t, d);
}

// Encodes text into a buffer of the type's size (with a guard byte after it)
// and returns the raw signed value.
std::int64_t stored(FieldType t, const char* text)
{
    std::vector<std::uint8_t> d(scalarSize(t) + 1, 0xAB);
    EXPECT_TRUE(encodeValue(t, text, std::span(d).first(scalarSize(t))));
    EXPECT_EQ(d.back(), 0xAB) << "wrote past the value";
    switch (scalarSize(t)) {
    case 1: return std::int8_t(d[0]);
    case 2:
        return *base::bytes::i16(d, 0);
    default:
        return *base::bytes::i32(d, 0);
    }
}

} // namespace

TEST(TypeLookup, KeywordsSizesAndRawWords)
{
    EXPECT_EQ(lookupType(" Int16 ").type, FieldType::Int16);
    EXPECT_EQ(lookupType(" Int16 ").size, 2u);
    EXPECT_EQ(lookupType("TBL3D").type, FieldType::Tbl3d);
    EXPECT_EQ(lookupType("16pct").type, FieldType::Pct16);
    EXPECT_EQ(lookupType("record").type, FieldType::Record);
    EXPECT_EQ(lookupType("double").size, 8u);
    EXPECT_EQ(lookupType("text").size, 0u);

    // Unknown words are raw, sized by their hexadecimal reading.
    EXPECT_EQ(lookupType("20").type, FieldType::Raw);
    EXPECT_EQ(lookupType("20").size, 32u);
    EXPECT_EQ(lookupType("0x10").size, 16u);
    EXPECT_EQ(lookupType("1c").size, 28u);
    EXPECT_EQ(lookupType("0x1c").size, 28u);
    EXPECT_EQ(lookupType("Unknown").size, 0u);
    EXPECT_EQ(lookupType("").size, 0u);
    EXPECT_EQ(lookupType("0x").size, 0u);
    EXPECT_EQ(lookupType("12zz").size, 0x12u);
    EXPECT_EQ(lookupType("ffffffffff").size, 0xFFFFFFFFu); // saturates, never wraps
}

TEST(Codecs, Ang16DividesBy182AndRoundsHalfAway)
{
    EXPECT_EQ(shown(FieldType::Ang16, le16(32767)), "v=180.038");
    EXPECT_EQ(shown(FieldType::Ang16, le16(-32768)), "v=-180.044");
    EXPECT_EQ(stored(FieldType::Ang16, "180"), 32760);
    EXPECT_EQ(stored(FieldType::Ang16, "-180"), -32760);
    EXPECT_EQ(stored(FieldType::Ang16, "-90"), -16380);
    EXPECT_EQ(shown(FieldType::Ang16, le16(-16380)), "v=-90.000");
    // 0.25 * 182 = 45.5 exactly: half away from zero in both directions.
    EXPECT_EQ(stored(FieldType::Ang16, "0.25"), 46);
    EXPECT_EQ(stored(FieldType::Ang16, "-0.25"), -46);
}

TEST(Codecs, RoundingRule)
{
    EXPECT_EQ(roundHalfAwayFromZero(2.5), 3);
    EXPECT_EQ(roundHalfAwayFromZero(-2.5), -3);
    EXPECT_EQ(roundHalfAwayFromZero(2.4999), 2);
    EXPECT_EQ(roundHalfAwayFromZero(-0.4), 0);
    EXPECT_EQ(roundHalfAwayFromZero(std::numeric_limits<double>::quiet_NaN()), 0);
    EXPECT_EQ(roundHalfAwayFromZero(1e300), std::numeric_limits<std::int64_t>::max());
    EXPECT_EQ(roundHalfAwayFromZero(-1e300), std::numeric_limits<std::int64_t>::min());
}

TEST(Codecs, PrpmTruncatesTowardZero)
{
    EXPECT_EQ(shown(FieldType::Prpm, le16(0)), "v=1400");
    EXPECT_EQ(shown(FieldType::Prpm, le16(-5)), "v=1399");
    EXPECT_EQ(shown(FieldType::Prpm, le16(3)), "v=1400");
    EXPECT_EQ(shown(FieldType::Prpm, le16(-32768)), "v=-6792");
    EXPECT_EQ(shown(FieldType::Prpm, le16(32767)), "v=9591");
    EXPECT_EQ(stored(FieldType::Prpm, "1400"), 0);
    EXPECT_EQ(stored(FieldType::Prpm, "9591"), 32764);
    EXPECT_EQ(stored(FieldType::Prpm, "1"), -5596);
}

TEST(Codecs, ThrustAndPercent)
{
    EXPECT_EQ(shown(FieldType::Thrust, le32(100)), "v=1367");
    EXPECT_EQ(stored(FieldType::Thrust, "1367"), 100);
    // Products beyond 32 bits print as the 64-bit rounded value.
    EXPECT_EQ(shown(FieldType::Thrust, le32(2147483647)), "v=29358248938");
    EXPECT_EQ(shown(FieldType::Thrust, le32(-2147483647 - 1)), "v=-29358248952");

    EXPECT_EQ(shown(FieldType::Pct16, le16(8192)), "v=50");
    EXPECT_EQ(shown(FieldType::Pct16, le16(-8192)), "v=-50");
    EXPECT_EQ(shown(FieldType::Pct16, le16(32767)), "v=200");
    EXPECT_EQ(stored(FieldType::Pct16, "-100"), -16383);
    EXPECT_EQ(stored(FieldType::Pct16, "100"), 16383);
}

TEST(Codecs, MachAspdFwgtM256)
{
    EXPECT_EQ(shown(FieldType::Mach, le32(1)), "v=0.0000");
    EXPECT_EQ(stored(FieldType::Mach, "3.1999"), 65534);
    EXPECT_EQ(stored(FieldType::Aspd, "16777215.992"), 2147483647);
    EXPECT_EQ(shown(FieldType::Aspd, le32(128 * 250 + 64)), "v=250.5000");
    EXPECT_EQ(stored(FieldType::Fwgt, "127.996"), 32767);
    EXPECT_EQ(shown(FieldType::Fwgt, le16(-256)), "v=-1.0000");
    EXPECT_EQ(stored(FieldType::M256, "-5039"), -32766);
    EXPECT_EQ(stored(FieldType::M256, "5021"), 32649);
    EXPECT_EQ(shown(FieldType::M256, le16(65)), "v=9.9962");
}

TEST(Codecs, IntegersDoubleAndBool)
{
    EXPECT_EQ(shown(FieldType::Int8, {0xFF}), "v=-1");
    EXPECT_EQ(shown(FieldType::Int16, le16(-32768)), "v=-32768");
    EXPECT_EQ(shown(FieldType::Int32, le32(-2147483647 - 1)), "v=-2147483648");
    EXPECT_EQ(stored(FieldType::Int8, "-"), 0);
    EXPECT_EQ(stored(FieldType::Int8, "-128"), -128);
    EXPECT_EQ(stored(FieldType::Int16, "-32768"), -32768);
    EXPECT_EQ(stored(FieldType::Int32, "-2147483648"), -2147483647 - 1);

    std::vector<std::uint8_t> d(8);
    ASSERT_TRUE(encodeValue(FieldType::Double, "-12.5", d));
    EXPECT_EQ(*base::bytes::f64(d, 0), -12.5);
    EXPECT_EQ(shown(FieldType::Double, d), "v=-12.500000");
    EXPECT_EQ(editText(FieldType::Double, d), "-12.500000");
    base::bytes::writeLE<double>(d, 0, 1e20);
    EXPECT_EQ(shown(FieldType::Double, d), "v=100000000000000000000.000000");

    EXPECT_EQ(shown(FieldType::Bool, {0, 0, 0, 0}), "v=FALSE(0)");
    EXPECT_EQ(shown(FieldType::Bool, {0, 0, 0, 1}), "v=TRUE(1)");
    std::vector<std::uint8_t> b{0, 1, 0, 0};
    EXPECT_EQ(shown(FieldType::Bool, b), "v=TRUE(1)");
    ASSERT_TRUE(toggleBool(b));
    EXPECT_EQ(b, (std::vector<std::uint8_t>{1, 1, 0, 0}));
    EXPECT_EQ(shown(FieldType::Bool, b), "v=TRUE(1)");
    ASSERT_TRUE(toggleBool(b));
    EXPECT_EQ(b, (std::vector<std::uint8_t>{0, 1, 0, 0}));
    b = {7, 0, 0, 0};
    toggleBool(b);
    EXPECT_EQ(b[0], 1); // anything but 1 becomes 1
}

// formatFixed has its own fast path for values of a usual size; whatever
// path a value takes, the text is the library's, digit for digit.
TEST(Codecs, FixedTextIsTheLibrarysForEveryKindOfValue)
{
    auto reference = [](double v, int decimals) {
        char buf[1200];
        const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, decimals);
        return std::string(buf, r.ptr);
    };
    std::vector<double> values{0.0, -0.0, 1.0, -1.0, 0.5, 1.5, 2.5, -2.5, 0.125, 0.375, 0.0625, 9.9999995,
            999999.9999995, 1e-7, 5e-7, -5e-7, 0.0005, 0.00049999999999999, 1e15, 1e18, 1.8446744073709552e19,
            1.8446744073709552e13, 18446744073709.551, 4503599627370495.5, 9007199254740993.0,
            std::numeric_limits<double>::denorm_min(), std::numeric_limits<double>::min(),
            std::numeric_limits<double>::max(), -std::numeric_limits<double>::max(),
            std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(),
            std::numeric_limits<double>::quiet_NaN()};
    // Exact ties at every scale (k / 2^j), their neighbours, and values as the types make them.
    for (int j = 1; j <= 20; ++j)
        for (double k : {1.0, 3.0, 5.0, 77.0, 12345.0}) {
            const double tie = std::ldexp(k, -j);
            values.insert(values.end(), {tie, -tie, std::nextafter(tie, 0.0), std::nextafter(tie, 1e300)});
        }
    for (int raw = -40000; raw <= 40000; raw += 7)
        values.insert(values.end(), {raw / 182.0, raw * 2.0 / 20480.0, raw / 256.0, raw / 6.5025});
    std::mt19937_64 rng(27);
    for (int i = 0; i < 20000; ++i) {
        values.push_back(std::bit_cast<double>(rng())); // every exponent
        values.push_back(std::ldexp(double(rng() >> 11), int(rng() % 120) - 100)); // near the fast range
    }
    int mismatches = 0;
    for (double v : values)
        for (int decimals : {0, 1, 3, 4, 6, 9, 17, 19})
            if (formatFixed(v, decimals) != reference(v, decimals) && ++mismatches <= 10)
                ADD_FAILURE() << std::hexfloat << v << " with " << decimals
                              << " decimals: " << formatFixed(v, decimals)
                              << " != " << reference(v, decimals);
    EXPECT_EQ(mismatches, 0);
}

TEST(Codecs, NumbersIgnoreTheUserLocale)
{
    // A decimal-comma locale must not change formatting or parsing.
    const char* old = std::setlocale(LC_ALL, nullptr);
    std::string saved = old ? old : "C";
    if (!std::setlocale(LC_ALL, "de_DE.UTF-8"))
        GTEST_SKIP() << "de_DE.UTF-8 locale not installed";
    std::vector<std::uint8_t> d(2);
    EXPECT_TRUE(encodeValue(FieldType::Fwgt, "1.5", d));
    EXPECT_EQ(valueText("v", FieldType::Fwgt, d), "v=1.5000");
    EXPECT_TRUE(validate(FieldType::Mach, "3.2").accepted == false);
    std::setlocale(LC_ALL, saved.c_str());
}

TEST(Validation, BoundsMessagesAndRefills)
{
    auto v = validate(FieldType::Mach, "3.2");
    EXPECT_FALSE(v.accepted);
    EXPECT_EQ(v.message, "Highest Possible number is 3.1999");
    EXPECT_EQ(v.refill, "3.1999");
    EXPECT_TRUE(validate(FieldType::Mach, "3.1999").accepted);

    v = validate(FieldType::Aspd, "0.5");
    EXPECT_EQ(v.message, "Lowest possible number is 1");
    EXPECT_EQ(v.refill, "1");
    v = validate(FieldType::Aspd, "16777216");
    EXPECT_EQ(v.refill, "16777215.992");
    EXPECT_TRUE(validate(FieldType::Aspd, "16777215.992").accepted);

    v = validate(FieldType::Int32, "2147483648");
    EXPECT_EQ(v.message, "Highest Possible number is 2147483647");
    EXPECT_TRUE(validate(FieldType::Int32, "-2147483648").accepted);
    EXPECT_FALSE(validate(FieldType::Int32, "-2147483649").accepted);
    // 64-bit reading saturates instead of wrapping back into range.
    EXPECT_FALSE(validate(FieldType::Thrust, "99999999999999999999999").accepted);
    // 32-bit reading of huge input is still refused.
    EXPECT_FALSE(validate(FieldType::Int16, "99999999999").accepted);
    EXPECT_EQ(validate(FieldType::Int16, "-99999999999").refill, "-32768");

    EXPECT_TRUE(validate(FieldType::Int8, "-").accepted);
    EXPECT_FALSE(validate(FieldType::Prpm, "0").accepted);
    EXPECT_EQ(validate(FieldType::Prpm, "0").message, "Lowest possible number is 1");
    EXPECT_EQ(validate(FieldType::M256, "5022").refill, "5021");
    EXPECT_TRUE(validate(FieldType::M256, "-5039").accepted);
    EXPECT_TRUE(validate(FieldType::Double, "-1e308").accepted);

    // Every refill text is itself accepted.
    for (FieldType t : {FieldType::Int8, FieldType::Int16, FieldType::Int32, FieldType::Prpm,
                        FieldType::Ang16, FieldType::Mach, FieldType::Aspd, FieldType::Fwgt,
                        FieldType::M256, FieldType::Thrust, FieldType::Pct16}) {
        for (const char* text : {"-99999999999999", "99999999999999"}) {
            auto r = validate(t, text);
            ASSERT_FALSE(r.accepted) << int(t);
            EXPECT_TRUE(validate(t, r.refill).accepted) << r.refill;
            std::vector<std::uint8_t> d(scalarSize(t));
            EXPECT_TRUE(encodeValue(t, r.refill, d));
        }
    }
}

TEST(Validation, LeadingNumberParsing)
{
    EXPECT_EQ(parseIntPrefix("  -12abc"), -12);
    EXPECT_EQ(parseIntPrefix("+7"), 7);
    EXPECT_EQ(parseIntPrefix("abc"), 0);
    EXPECT_EQ(parseIntPrefix("-9223372036854775808"), std::numeric_limits<std::int64_t>::min());
    EXPECT_EQ(parseIntPrefix("9223372036854775808"), std::numeric_limits<std::int64_t>::max());
    EXPECT_DOUBLE_EQ(parseFixedRealPrefix(" 1.25x"), 1.25);
    EXPECT_DOUBLE_EQ(parseFixedRealPrefix("-.5"), -0.5);
    EXPECT_DOUBLE_EQ(parseFixedRealPrefix("3."), 3.0);
    EXPECT_DOUBLE_EQ(parseFixedRealPrefix("1e5"), 1.0); // no exponents
    EXPECT_DOUBLE_EQ(parseFixedRealPrefix("."), 0.0);
    // One sign at most, and no blanks between it and the digits.
    EXPECT_EQ(parseIntPrefix("+-1"), 0);
    EXPECT_EQ(parseIntPrefix("- 5"), 0);
    EXPECT_DOUBLE_EQ(parseFixedRealPrefix("\t+2.5"), 2.5);
    EXPECT_DOUBLE_EQ(parseFixedRealPrefix("--1"), 0.0);
    EXPECT_DOUBLE_EQ(parseFixedRealPrefix("-"), 0.0);
    EXPECT_EQ(parseHexPrefix("  0x1C,rest"), 0x1Cu);
    // Beyond the range of a double: tiny fractions are 0, never infinity.
    const std::string zeros(400, '0');
    EXPECT_EQ(parseFixedRealPrefix("0." + zeros + "1"), 0.0);
    EXPECT_EQ(parseFixedRealPrefix("-." + zeros + "7"), 0.0);
    EXPECT_EQ(parseFixedRealPrefix("1" + zeros), std::numeric_limits<double>::infinity());
    EXPECT_EQ(
            parseFixedRealPrefix("-" + zeros + "1" + zeros + ".5"), -std::numeric_limits<double>::infinity());
    EXPECT_EQ(parseFixedRealPrefix(zeros + "." + zeros + "1"), 0.0);
}

TEST(EditProfiles, CharacterFilterAndDispatch)
{
    EXPECT_TRUE(isAllowedChar(FieldType::Int8, '-'));
    EXPECT_FALSE(isAllowedChar(FieldType::Int8, '.'));
    EXPECT_TRUE(isAllowedChar(FieldType::Ang16, '.'));
    EXPECT_FALSE(isAllowedChar(FieldType::Thrust, '-'));
    EXPECT_TRUE(isAllowedChar(FieldType::Thrust, '\b'));
    EXPECT_FALSE(isAllowedChar(FieldType::Double, 'e'));
    EXPECT_FALSE(isAllowedChar(FieldType::Double, ','));
    EXPECT_FALSE(isAllowedChar(FieldType::Double, ' '));
    EXPECT_FALSE(isAllowedChar(FieldType::Text, '1'));

    EXPECT_EQ(editProfile(FieldType::Int32)->maxChars, 11);
    EXPECT_EQ(editProfile(FieldType::Int16)->boxWidth, 55);
    EXPECT_FALSE(editProfile(FieldType::Bool).has_value());

    EXPECT_EQ(editorFor(FieldType::Raw), EditorKind::Hex);
    EXPECT_EQ(editorFor(FieldType::Bool), EditorKind::Toggle);
    EXPECT_EQ(editorFor(FieldType::M256), EditorKind::InPlace);
    EXPECT_EQ(editorFor(FieldType::Tbl3d), EditorKind::Grid);
    EXPECT_EQ(editorFor(FieldType::Text), EditorKind::TextDialog);
}

TEST(EditProfiles, StatusHintsOfEveryInPlaceType)
{
    const std::pair<FieldType, std::string_view> hints[] = {
            {FieldType::Int8, "A value from -128 to 127"},
            {FieldType::Int16, "A value from -32768 to 32767"},
            {FieldType::Int32, "A value from -2147483648 to 2147483647"},
            {FieldType::Double, "A decimal number"},
            {FieldType::Prpm, "A value from 1 to 9591"},
            {FieldType::Ang16, "An angle from -180 to 180"},
            {FieldType::Mach, "A value from 0 to 3.1999"},
            {FieldType::Aspd, "Airspeed in Knots"},
            {FieldType::Fwgt, "A value from 0 to 127.996"},
            {FieldType::M256, "A value from -5039 to 5021"},
            {FieldType::Thrust, "A Positive Integer"},
            {FieldType::Pct16, "A number from -100 to 100"},
    };
    int inPlace = 0;
    for (int code = 0; code < kFieldTypeCount; ++code)
        inPlace += isInPlaceType(fieldTypeFromCode(code)) ? 1 : 0;
    EXPECT_EQ(inPlace, int(std::size(hints)));
    for (const auto& [type, hint] : hints) {
        ASSERT_TRUE(editProfile(type)) << typeKeyword(type);
        EXPECT_EQ(editProfile(type)->hint, hint);
    }
}

TEST(Codecs, ShortDataNeverReadOrWrittenPast)
{
    // A value whose bytes are not all there is marked, never read past.
    EXPECT_EQ(shown(FieldType::Int32, {1, 2}), "v (outside record)");
    EXPECT_EQ(shown(FieldType::Double, {1, 2, 3, 4, 5, 6, 7}), "v (outside record)");
    EXPECT_EQ(shown(FieldType::Bool, {1}), "v (outside record)");
    EXPECT_EQ(shown(FieldType::Text, {}), "v=");
    EXPECT_EQ(editText(FieldType::Int16, std::vector<std::uint8_t>{1}), "");
    std::vector<std::uint8_t> d(3, 0xEE);
    EXPECT_FALSE(encodeValue(FieldType::Int32, "5", d));
    EXPECT_EQ(d, std::vector<std::uint8_t>(3, 0xEE));
    EXPECT_FALSE(toggleBool(std::span(d).first(3)));
    // Tables show the name alone, whatever their bytes.
    EXPECT_EQ(shown(FieldType::Tbl16, {}), "v");
    EXPECT_EQ(shown(FieldType::Raw, {1, 2, 3}), "v");
}

TEST(Codecs, TextValues)
{
    EXPECT_EQ(shown(FieldType::Text, {'a', 'b', 'c', 0, 'x'}), "v=abc");
    EXPECT_EQ(shown(FieldType::Text, {'a', 'b'}), "v=ab"); // no terminator: to the end
    EXPECT_EQ(shown(FieldType::Text, {0}), "v=");
    auto block = composeText("abc");
    EXPECT_EQ(block.size(), 4u);
    EXPECT_EQ(block.back(), 0);
    EXPECT_EQ(composeText(std::string("ab\0cd", 5)).size(), 3u);
    EXPECT_EQ(recordItemText(0x1f5, "Type name", FieldType::Text, block), "1f5  Type name=abc");
    EXPECT_EQ(recordItemText(0x80000000u, "X", FieldType::Raw, {}), "80000000  X");
}

TEST(Tables, LayoutsAreBoundsChecked)
{
    std::vector<std::uint8_t> t16{1, 0, 2, 0, 0xFF, 0xFF, 9};
    EXPECT_EQ(tbl16Count(t16), 3u);
    EXPECT_EQ(readTbl16(t16), (std::vector<std::uint16_t>{1, 2, 65535}));
    EXPECT_FALSE(tbl16Value(t16, 3).has_value());
    EXPECT_FALSE(setTbl16Value(t16, 3, 5));
    EXPECT_EQ(t16.back(), 9);

    std::vector<DoublePoint> pts{{0, 1}, {2.5, -3}};
    auto db = composeTbldb(pts);
    EXPECT_EQ(db.size(), 36u);
    EXPECT_TRUE(tbldbLengthValid(db));
    EXPECT_EQ(tbldbEditCount(db), 2);
    EXPECT_EQ(readTbldb(db, 2), pts);
    // A count that claims more than the data holds reads only what is there.
    db[0] = 200;
    EXPECT_FALSE(tbldbLengthValid(db));
    EXPECT_EQ(readTbldb(db, tbldbEditCount(db)).size(), 2u);
    EXPECT_FALSE(tbldbLengthValid(std::vector<std::uint8_t>{1, 0}));
    // 0xFFFFFFFF points: 16 * N + 4 must not wrap to a small length.
    std::vector<std::uint8_t> huge{0xFF, 0xFF, 0xFF, 0xFF};
    EXPECT_FALSE(tbldbLengthValid(huge));

    std::vector<double> cells{1, 2, 3, 4, 5, 6};
    auto g = composeTbl3d(2, 3, cells);
    EXPECT_EQ(g.size(), 8u + 48u);
    EXPECT_TRUE(tbl3dLengthValid(g));
    EXPECT_EQ(*tbl3dValue(g, 1, 0), 4.0); // group 1, value 0 -> byte 8 + 8 * 3
    EXPECT_FALSE(tbl3dValue(g, 2, 0).has_value());
    EXPECT_TRUE(setTbl3dValue(g, 0, 2, 9.5));
    EXPECT_EQ(*tbl3dValue(g, 0, 2), 9.5);
    // Counts that claim more cells than the data holds.
    base::bytes::writeLE<std::uint32_t>(g, 0, 0x10000);
    base::bytes::writeLE<std::uint32_t>(g, 4, 0x10000);
    EXPECT_FALSE(tbl3dLengthValid(g));
    EXPECT_FALSE(tbl3dValue(g, 5, 5).has_value());
    EXPECT_FALSE(setTbl3dValue(g, 0xFFFF, 0xFFFF, 1.0));
    EXPECT_TRUE(tbl3dValue(g, 0, 5).has_value());
}

TEST(Tables, GridValuesFitAllowsTrailingBytesButNotWrappedCounts)
{
    std::vector<double> cells{1, 2, 3, 4, 5, 6};
    auto g = composeTbl3d(3, 2, cells);
    EXPECT_TRUE(tbl3dValuesFit(g));
    g.push_back(0xAA); // a byte past the table
    EXPECT_TRUE(tbl3dValuesFit(g));
    EXPECT_FALSE(tbl3dLengthValid(g));
    g.resize(8 + 8 * 5); // one value short
    EXPECT_FALSE(tbl3dValuesFit(g));
    EXPECT_FALSE(tbl3dValuesFit(std::vector<std::uint8_t>{1, 0, 0, 0, 1, 0, 0}));
    // An empty grid fits in its header alone.
    EXPECT_TRUE(tbl3dValuesFit(composeTbl3d(0, 5, {})));
    // Counts whose block size cannot be represented give no block rather than a wrapped one.
    EXPECT_TRUE(composeTbl3d(0xFFFFFFFFu, 0xFFFFFFFFu, {}).empty());

    // 8 * A * B wraps in 64 bits; the wrapped size must not pass for "fits".
    std::vector<std::uint8_t> wrap(64, 0);
    base::bytes::writeLE<std::uint32_t>(wrap, 0, 0xFFFFFFFFu);
    base::bytes::writeLE<std::uint32_t>(wrap, 4, 0xFFFFFFFFu);
    EXPECT_FALSE(tbl3dValuesFit(wrap));
    // 2^61 cells: 8 * 2^61 wraps to 0, which 8 + 0 header bytes would "fit".
    std::vector<std::uint8_t> zero(8, 0);
    base::bytes::writeLE<std::uint32_t>(zero, 0, 0x80000000u);
    base::bytes::writeLE<std::uint32_t>(zero, 4, 0x40000000u);
    EXPECT_FALSE(tbl3dValuesFit(zero));
}

TEST(Bytes, ReadersAndWritersStayInsideTheBuffer)
{
    std::vector<std::uint8_t> b{1, 2, 3};
    EXPECT_EQ(base::bytes::u16(b, 1), 0x0302);
    EXPECT_FALSE(base::bytes::u16(b, 2));
    EXPECT_FALSE(base::bytes::u32(b, 0));
    EXPECT_FALSE(base::bytes::f64(b, std::numeric_limits<std::size_t>::max() - 2));
    EXPECT_FALSE(base::bytes::writeLE<std::uint16_t>(b, 2, 7));
    EXPECT_FALSE(base::bytes::writeLE<std::uint32_t>(b, std::numeric_limits<std::size_t>::max(), 7));
    EXPECT_EQ(b, (std::vector<std::uint8_t>{1, 2, 3}));
    EXPECT_TRUE(base::bytes::writeLE<std::uint16_t>(b, 1, 0xBEEF));
    EXPECT_EQ(b, (std::vector<std::uint8_t>{1, 0xEF, 0xBE}));
    // Signed reads keep the sign bit.
    EXPECT_EQ(base::bytes::i32(std::vector<std::uint8_t>{0xFF, 0xFF, 0xFF, 0xFF}, 0), -1);
}

TEST(Bytes, VariableWidthsSignExtendAndAppendsMatchTheWriters)
{
    const std::vector<std::uint8_t> b{0x80, 0xFF, 0x7F, 0x01};
    EXPECT_EQ(base::bytes::readSigned(b, 0, 1), -128);
    EXPECT_EQ(base::bytes::readSigned(b, 1, 2), 0x7FFF);
    EXPECT_EQ(base::bytes::readSigned(b, 0, 2), -128);
    EXPECT_EQ(base::bytes::readSigned(b, 0, 4), 0x017FFF80);
    EXPECT_EQ(base::bytes::readUnsigned(b, 0, 2), 0xFF80u);
    EXPECT_FALSE(base::bytes::readSigned(b, 0, 0));
    EXPECT_FALSE(base::bytes::readSigned(b, 1, 4));
    EXPECT_FALSE(base::bytes::readUnsigned(std::vector<std::uint8_t>(16), 0, 9));

    // Only the low bytes of the width are written, and only inside the buffer.
    std::vector<std::uint8_t> w(3, 0);
    EXPECT_TRUE(base::bytes::writeUnsigned(w, 1, 0xAABBCCu, 2));
    EXPECT_EQ(w, (std::vector<std::uint8_t>{0, 0xCC, 0xBB}));
    EXPECT_FALSE(base::bytes::writeUnsigned(w, 2, 1, 2));
    EXPECT_EQ(w, (std::vector<std::uint8_t>{0, 0xCC, 0xBB}));

    std::vector<std::uint8_t> appended;
    base::bytes::appendLE(appended, std::int16_t(-2));
    base::bytes::appendLE(appended, 1.5);
    std::vector<std::uint8_t> written(10);
    base::bytes::writeLE<std::int16_t>(written, 0, -2);
    base::bytes::writeLE<double>(written, 2, 1.5);
    EXPECT_EQ(appended, written);
    EXPECT_EQ(base::bytes::f64(appended, 2), 1.5);
}
