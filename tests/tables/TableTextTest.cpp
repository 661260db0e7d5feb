// Spreadsheet clipboard text and the table operations, without widgets.
#include "tables/TableText.h"
#include "tables/HeatPalette.h"
#include "tables/TableOps.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <limits>
#include <random>

using namespace tables;

namespace {
ValueBlock read(std::string_view text, CellKind kind = CellKind::Real)
{
    ValueBlock b;
    TextError e;
    EXPECT_TRUE(readBlock(text, kind, b, e)) << e.row << "," << e.col << " '" << e.text << "' " << e.reason;
    return b;
}
TextError refusal(std::string_view text, CellKind kind = CellKind::Real)
{
    ValueBlock b;
    TextError e;
    EXPECT_FALSE(readBlock(text, kind, b, e));
    return e;
}
ValueBlock block(int rows, int cols, std::vector<double> v)
{
    return ValueBlock{rows, cols, std::move(v)};
}
} // namespace

TEST(TableText, ReadsWhatSpreadsheetsPutOnTheClipboard)
{
    // Tabs and CRLF with a line break at the end, as a spreadsheet copies a block.
    const ValueBlock a = read("1\t2.5\r\n-3\t4e2\r\n");
    EXPECT_EQ(a.rows, 2);
    EXPECT_EQ(a.cols, 2);
    EXPECT_EQ(a.values, (std::vector<double>{1, 2.5, -3, 400}));
    // LF, a trailing tab on each line, no final line break.
    EXPECT_EQ(read("1\t2\t\n3\t4\t").values, (std::vector<double>{1, 2, 3, 4}));
}

TEST(TableText, QuotedFieldsMayHoldSeparatorsAndLineBreaks)
{
    const auto rows = splitFields("\"a\tb\"\t\"c\r\nd\"\r\n\"x\"\"y\"\tz\r\n");
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0], (std::vector<std::string>{"a\tb", "c\r\nd"}));
    EXPECT_EQ(rows[1], (std::vector<std::string>{"x\"y", "z"}));
    EXPECT_EQ(read("\"1.5\"\t\"2\"\n +3 \t4").values, (std::vector<double>{1.5, 2, 3, 4}));
}

TEST(TableText, CommasAndSemicolonsSeparateOnlyWithoutTabs)
{
    char sep = 0;
    EXPECT_EQ(read("1.5,2\n3,4\n").values, (std::vector<double>{1.5, 2, 3, 4}));
    EXPECT_EQ(read("1,2,3\n4,5,6").cols, 3);
    // One column copied where the decimal sign is a comma: one comma a line, no point.
    const ValueBlock column = read("0,125\r\n-2,5\r\n3,0\r\n");
    EXPECT_EQ(column.cols, 1);
    EXPECT_EQ(column.values, (std::vector<double>{0.125, -2.5, 3}));
    splitFields("1;2", &sep);
    EXPECT_EQ(sep, ';');
    // A semicolon file with decimal commas, as a German spreadsheet saves it.
    EXPECT_EQ(read("1,5;2\r\n-0,25;3,0\r\n").values, (std::vector<double>{1.5, 2, -0.25, 3}));
    // Tabs win: commas are then decimal commas.
    EXPECT_EQ(read("1,5\t2,75\n").values, (std::vector<double>{1.5, 2.75}));
    // Where commas separate, a quoted "1,5" is not a number.
    EXPECT_EQ(refusal("\"1,5\",2,3\n").text, "1,5");
}

TEST(TableText, RefusalsNameRowColumnAndText)
{
    TextError e = refusal("1\t2\n3\tabc\n");
    EXPECT_EQ(e.row, 1);
    EXPECT_EQ(e.col, 1);
    EXPECT_EQ(e.text, "abc");
    EXPECT_EQ(e.reason, "is not a number");
    e = refusal("1\t\t3\n");
    EXPECT_EQ(e.col, 1);
    EXPECT_EQ(e.reason, "is empty");
    // A short row is missing cells: the first missing one is named.
    e = refusal("1\t2\t3\n4\t5\n");
    EXPECT_EQ(e.row, 1);
    EXPECT_EQ(e.col, 2);
    EXPECT_EQ(e.reason, "is empty");
    EXPECT_EQ(refusal("").reason, "is empty");
    EXPECT_EQ(refusal("\r\n").reason, "is empty");
    EXPECT_EQ(refusal("1.2.3").reason, "is not a number");
    EXPECT_EQ(refusal("1e999").reason, "is not a number");
    EXPECT_EQ(refusal("nan").reason, "is not a number");
    EXPECT_EQ(refusal("1.234,5\t1").reason, "is not a number"); // no thousands separators
}

TEST(TableText, Word16CellsTakeWholeNumbersUpTo65535)
{
    EXPECT_EQ(read("0\t65535\t8000.0\n", CellKind::Word16).values, (std::vector<double>{0, 65535, 8000}));
    EXPECT_EQ(refusal("65536", CellKind::Word16).reason, "is not a whole number from 0 to 65535");
    EXPECT_EQ(refusal("-1", CellKind::Word16).reason, "is not a whole number from 0 to 65535");
    EXPECT_EQ(refusal("1.5", CellKind::Word16).text, "1.5");
    EXPECT_EQ(writeBlock(block(1, 3, {0, 65535, 12}), CellKind::Word16), "0\t65535\t12\n");
}

TEST(TableText, CopyThenPasteGivesBitIdenticalDoubles)
{
    std::mt19937_64 rng(7);
    std::vector<double> v{0.1, -0.0 + 1e-300, std::numeric_limits<double>::denorm_min(),
            std::numeric_limits<double>::max(), -std::numeric_limits<double>::min(), 1.0 / 3.0,
            123456789.123456789};
    for (int i = 0; i < 200; ++i) {
        double d = std::bit_cast<double>(rng());
        if (std::isfinite(d))
            v.push_back(d);
    }
    const ValueBlock b = block(1, int(v.size()), v);
    const std::string text = writeBlock(b, CellKind::Real);
    const ValueBlock back = read(text);
    ASSERT_EQ(back.values.size(), v.size());
    for (std::size_t i = 0; i < v.size(); ++i)
        EXPECT_EQ(std::bit_cast<std::uint64_t>(back.values[i]), std::bit_cast<std::uint64_t>(v[i])) << text;
    EXPECT_EQ(formatValue(0.1, CellKind::Real), "0.1");
    EXPECT_EQ(writeBlock(block(2, 2, {1, 2.5, -3, 1e20}), CellKind::Real), "1\t2.5\n-3\t1e+20\n");
}

TEST(TableOps, SetAddScaleOnARange)
{
    ValueBlock t = block(2, 3, {1, 2, 3, 4, 5, 6});
    EXPECT_FALSE(applyOp(t, CellRange{0, 1, 2, 2}, TableOp::Set, 9, CellKind::Real));
    EXPECT_EQ(t.values, (std::vector<double>{1, 9, 9, 4, 9, 9}));
    EXPECT_FALSE(applyOp(t, CellRange{1, 0, 1, 3}, TableOp::Add, -0.5, CellKind::Real));
    EXPECT_EQ(t.values, (std::vector<double>{1, 9, 9, 3.5, 8.5, 8.5}));
    EXPECT_FALSE(applyOp(t, CellRange{0, 0, 1, 1}, TableOp::Scale, 150, CellKind::Real));
    EXPECT_EQ(t.values[0], 1.5);
}

TEST(TableOps, Word16RoundsHalfAwayFromZeroAndRefusesOutOfRange)
{
    ValueBlock c = block(1, 4, {1, 3, 5, 65535});
    EXPECT_FALSE(applyOp(c, CellRange{0, 0, 1, 3}, TableOp::Scale, 50, CellKind::Word16));
    EXPECT_EQ(c.values, (std::vector<double>{1, 2, 3, 65535})); // 0.5 -> 1, 1.5 -> 2, 2.5 -> 3
    const ValueBlock before = c;
    auto r = applyOp(c, CellRange{0, 0, 1, 4}, TableOp::Add, 1, CellKind::Word16);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->col, 3);
    EXPECT_EQ(r->value, 65536);
    EXPECT_EQ(c.values, before.values) << "nothing half done";
    r = applyOp(c, CellRange{0, 0, 1, 4}, TableOp::Add, -2, CellKind::Word16);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->col, 0);
    EXPECT_EQ(c.values, before.values);
    // -0.4 rounds to 0 and fits; 65535.4 rounds to 65535.
    EXPECT_FALSE(applyOp(c, CellRange{0, 0, 1, 1}, TableOp::Add, -1.4, CellKind::Word16));
    EXPECT_EQ(c.values[0], 0);
    ValueBlock big = block(1, 1, {1e308});
    EXPECT_TRUE(applyOp(big, CellRange{0, 0, 1, 1}, TableOp::Scale, 1000, CellKind::Real));
}

TEST(TableOps, InterpolateCurveAndGrid)
{
    ValueBlock curve = block(1, 5, {0, 7, 7, 7, 10});
    EXPECT_FALSE(applyOp(curve, CellRange{0, 0, 1, 5}, TableOp::InterpolateRows, 0, CellKind::Word16));
    EXPECT_EQ(curve.values, (std::vector<double>{0, 3, 5, 8, 10})); // 2.5 -> 3, 7.5 -> 8

    ValueBlock g = block(3, 3, {0, 9, 2, 9, 9, 9, 6, 9, 8});
    ValueBlock rows = g, cols = g, bil = g;
    applyOp(rows, CellRange{0, 0, 3, 3}, TableOp::InterpolateRows, 0, CellKind::Real);
    EXPECT_EQ(rows.values, (std::vector<double>{0, 1, 2, 9, 9, 9, 6, 7, 8}));
    applyOp(cols, CellRange{0, 0, 3, 3}, TableOp::InterpolateCols, 0, CellKind::Real);
    EXPECT_EQ(cols.values, (std::vector<double>{0, 9, 2, 3, 9, 5, 6, 9, 8}));
    applyOp(bil, CellRange{0, 0, 3, 3}, TableOp::Bilinear, 0, CellKind::Real);
    EXPECT_EQ(bil.values, (std::vector<double>{0, 1, 2, 3, 4, 5, 6, 7, 8}));
    // A range of one cell stays as it is.
    ValueBlock one = block(1, 1, {4});
    applyOp(one, CellRange{0, 0, 1, 1}, TableOp::Bilinear, 0, CellKind::Real);
    EXPECT_EQ(one.values[0], 4);
}

TEST(TableOps, SmoothKeepsTheEnds)
{
    ValueBlock c = block(1, 5, {0, 3, 0, 3, 0});
    EXPECT_FALSE(applyOp(c, CellRange{0, 0, 1, 5}, TableOp::Smooth, 0, CellKind::Real));
    EXPECT_EQ(c.values, (std::vector<double>{0, 1, 2, 1, 0}));
    ValueBlock two = block(1, 2, {5, 1});
    applyOp(two, CellRange{0, 0, 1, 2}, TableOp::Smooth, 0, CellKind::Real);
    EXPECT_EQ(two.values, (std::vector<double>{5, 1}));
    // A grid: along rows, then along the columns of that result.
    ValueBlock g = block(3, 3, {0, 0, 0, 0, 9, 0, 0, 0, 0});
    applyOp(g, CellRange{0, 0, 3, 3}, TableOp::Smooth, 0, CellKind::Real);
    EXPECT_EQ(g.values, (std::vector<double>{0, 0, 0, 0, 1, 0, 0, 0, 0}));
    ValueBlock w = block(1, 3, {0, 1, 0});
    applyOp(w, CellRange{0, 0, 1, 3}, TableOp::Smooth, 0, CellKind::Word16);
    EXPECT_EQ(w.values[1], 0); // 1/3 rounds to 0
}

TEST(HeatPalette, EndsPlacesAndReadableText)
{
    EXPECT_EQ(heatColor(HeatPalette::Viridis, 0), (Rgb{68, 1, 84}));
    EXPECT_EQ(heatColor(HeatPalette::Viridis, 1), (Rgb{253, 231, 37}));
    EXPECT_EQ(heatColor(HeatPalette::Viridis, 2), heatColor(HeatPalette::Viridis, 1));
    EXPECT_EQ(heatColor(HeatPalette::Cividis, std::nan("")), (Rgb{0, 34, 78}));
    // Halfway between two stops is their blend.
    EXPECT_EQ(heatColor(HeatPalette::Viridis, 1.0 / 16), (Rgb{70, 23, 104}));
    EXPECT_EQ(heatPlace(5, 0, 10), 0.5);
    EXPECT_EQ(heatPlace(-1, 0, 10), 0.0);
    EXPECT_EQ(heatPlace(3, 3, 3), 0.5);
    // Dark purple and blue ends take white text, the yellow end black.
    EXPECT_EQ(textOn(heatColor(HeatPalette::Viridis, 0)), (Rgb{255, 255, 255}));
    EXPECT_EQ(textOn(heatColor(HeatPalette::Cividis, 0)), (Rgb{255, 255, 255}));
    EXPECT_EQ(textOn(heatColor(HeatPalette::Viridis, 1)), (Rgb{0, 0, 0}));
    EXPECT_EQ(textOn(heatColor(HeatPalette::Cividis, 1)), (Rgb{0, 0, 0}));
}

TEST(TableOps, DoubleCurvesInterpolateAlongX)
{
    ValueBlock ys = block(1, 5, {9, 0, 0, 0, 10});
    const std::vector<double> xs{-1, 0, 1, 4, 5};
    EXPECT_FALSE(interpolateByX(xs, ys, 1, 4));
    EXPECT_EQ(ys.values, (std::vector<double>{9, 0, 2, 8, 10}));
    // Ends sharing an x: by index.
    ValueBlock same = block(1, 3, {0, 7, 4});
    EXPECT_FALSE(interpolateByX({2, 9, 2}, same, 0, 2));
    EXPECT_EQ(same.values, (std::vector<double>{0, 2, 4}));
    ValueBlock huge = block(1, 3, {-1e308, 0, 1e308});
    EXPECT_TRUE(interpolateByX({0, 0.5, 1}, huge, 0, 2));
    EXPECT_EQ(huge.values[1], 0);
}
