// Plain arithmetic of the table windows: byte layouts,
// curve models and layouts, grid axis arithmetic and cell commit texts.
#include "tables/CurveKeys.h"
#include "tables/PageGeometry.h"
#include "tables/TableBytes.h"
#include "tables/Tbl16Model.h"
#include "tables/TblDblModel.h"

#include "base/Bytes.h"

#include "common/AirImage.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace tables;
using airtest::doubles;

TEST(TableBytes, Tbl16IgnoresAnOddLastByte)
{
    EXPECT_EQ(decodeTbl16(Bytes{0, 0, 100, 0, 200, 0, 9}), (std::vector<std::uint32_t>{0, 100, 200}));
    EXPECT_TRUE(decodeTbl16(Bytes{9}).empty());
    EXPECT_EQ(decodeTbl16(Bytes{0xFF, 0xFF}), (std::vector<std::uint32_t>{65535}));
}

TEST(TableBytes, DoubleTableLengthMustMatchTheFirstCountByte)
{
    EXPECT_TRUE(decodeTblDbl(Bytes{0, 0, 0, 0}));
    EXPECT_FALSE(decodeTblDbl(Bytes{}));
    const Bytes two = doubles({2}, {1, 2, 3, 4});
    ASSERT_EQ(two.size(), 36u);
    auto t = decodeTblDbl(two);
    ASSERT_TRUE(t);
    EXPECT_EQ(t->xs, (std::vector<double>{1, 3}));
    EXPECT_EQ(t->ys, (std::vector<double>{2, 4}));
    EXPECT_FALSE(decodeTblDbl(doubles({3}, {1, 2, 3, 4})));
    // Count 256: only the first byte (0) counts, so 4100 bytes do not fit.
    Bytes big(4100, 0);
    big[1] = 1;
    EXPECT_FALSE(decodeTblDbl(big));

    const Bytes out = encodeTblDbl({1, 3, 5}, {2, 4, 6});
    EXPECT_EQ(out.size(), 52u);
    EXPECT_EQ(base::bytes::u32(out, 0), 3u);
    EXPECT_EQ(base::bytes::f64(out, 4 + 32 + 8), 6.0);
}

TEST(TableBytes, GridTableRefusesCountsThatDoNotFit)
{
    auto t = decodeTbl3d(doubles({3, 2}, {1, 2, 3, 4, 5, 6}), nullptr);
    ASSERT_TRUE(t);
    EXPECT_EQ(t->groups, 3);
    EXPECT_EQ(t->perGroup, 2);
    EXPECT_EQ(t->values[3], 4.0);

    QString why;
    EXPECT_FALSE(decodeTbl3d(Bytes{1, 0, 0}, &why));
    EXPECT_FALSE(why.isEmpty());
    EXPECT_FALSE(decodeTbl3d(doubles({0, 2}, {}), &why));
    EXPECT_FALSE(decodeTbl3d(doubles({0xFFFFFFFF, 1}, {1}), &why)); // -1 columns
    EXPECT_FALSE(decodeTbl3d(doubles({3, 2}, {1, 2, 3, 4, 5}), &why));
    // Counts whose product overflows 32 bits must not wrap into "fits".
    EXPECT_FALSE(decodeTbl3d(doubles({0x40000000, 0x40000000}, {1}), &why));
    // Bytes past the table are allowed (and kept by the store).
    EXPECT_TRUE(decodeTbl3d(doubles({1, 2}, {1, 2, 3}), nullptr));
}

TEST(TableBytes, NumbersAreCLocaleAndPrefixParsed)
{
    EXPECT_EQ(formatFixed(1.5), QStringLiteral("1.500000"));
    EXPECT_EQ(formatFixed(-0.25), QStringLiteral("-0.250000"));
    EXPECT_EQ(parseGeneralRealPrefix(std::string_view("1.5.2")), 1.5);
    EXPECT_EQ(parseGeneralRealPrefix(std::string_view("-.5x")), -0.5);
    EXPECT_EQ(parseGeneralRealPrefix(std::string_view("  12")), 12.0);
    EXPECT_EQ(parseGeneralRealPrefix(std::string_view("+3")), 3.0);
    EXPECT_EQ(parseGeneralRealPrefix(std::string_view("2e3")), 2000.0);
    EXPECT_EQ(parseGeneralRealPrefix(std::string_view("-")), 0.0);
    EXPECT_EQ(parseGeneralRealPrefix(std::string_view("abc")), 0.0);
    EXPECT_EQ(parseGeneralRealPrefix(std::string_view("")), 0.0);
    EXPECT_EQ(parseGeneralRealPrefix(std::string_view("+-1")), 0.0);
}

TEST(Tbl16Model, KeysWalkWrapAndClamp)
{
    using A = Tbl16Model::Action;
    Tbl16Model m({0, 100, 200});
    m.apply(A::Prev);
    EXPECT_EQ(m.current(), 2u);
    m.apply(A::Next);
    EXPECT_EQ(m.current(), 0u);
    EXPECT_FALSE(m.changed());
    m.apply(A::Down1); // at 0 already: no change, but the mark is set
    EXPECT_EQ(m.values()[0], 0u);
    EXPECT_TRUE(m.changed());

    Tbl16Model hi({65000, 500});
    hi.apply(A::Up1000);
    EXPECT_EQ(hi.values()[0], 65535u);
    hi.apply(A::Next);
    hi.apply(A::Down1000);
    EXPECT_EQ(hi.values()[1], 0u);
    hi.apply(A::Up100);
    hi.apply(A::Down10);
    EXPECT_EQ(hi.values()[1], 90u);

    Tbl16Model empty({});
    empty.apply(A::Next);
    empty.apply(A::Up1);
    EXPECT_EQ(empty.current(), 0u);
}

TEST(CurveKeys, KeypadDigitsNeedTheKeypadModifier)
{
    using A = CurveKey;
    EXPECT_EQ(curveKeyFor(Qt::Key_9, Qt::KeypadModifier), A::Up1000);
    EXPECT_EQ(curveKeyFor(Qt::Key_4, Qt::KeypadModifier), A::Prev);
    EXPECT_EQ(curveKeyFor(Qt::Key_Up, Qt::KeypadModifier), A::Up1);
    EXPECT_FALSE(curveKeyFor(Qt::Key_9, Qt::NoModifier));
    EXPECT_FALSE(curveKeyFor(Qt::Key_5, Qt::KeypadModifier));
}

// Both curve windows read the same map: every key, its action and its step.
TEST(CurveKeys, EveryKeyAndItsStep)
{
    using A = CurveKey;
    const struct {
        int key;
        Qt::KeyboardModifiers mods;
        A action;
        int step;
    } rows[] = {
            {Qt::Key_Left, Qt::NoModifier, A::Prev, 0},
            {Qt::Key_Right, Qt::NoModifier, A::Next, 0},
            {Qt::Key_Up, Qt::NoModifier, A::Up1, 1},
            {Qt::Key_Down, Qt::NoModifier, A::Down1, -1},
            {Qt::Key_4, Qt::KeypadModifier, A::Prev, 0},
            {Qt::Key_6, Qt::KeypadModifier, A::Next, 0},
            {Qt::Key_7, Qt::KeypadModifier, A::Up10, 10},
            {Qt::Key_8, Qt::KeypadModifier, A::Up100, 100},
            {Qt::Key_9, Qt::KeypadModifier, A::Up1000, 1000},
            {Qt::Key_1, Qt::KeypadModifier, A::Down10, -10},
            {Qt::Key_2, Qt::KeypadModifier, A::Down100, -100},
            {Qt::Key_3, Qt::KeypadModifier, A::Down1000, -1000},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.key);
        ASSERT_EQ(curveKeyFor(r.key, r.mods), r.action);
        EXPECT_EQ(curveKeyStep(r.action), r.step);
    }
    for (int key : {Qt::Key_0, Qt::Key_5, Qt::Key_Plus, Qt::Key_Minus, Qt::Key_Home, Qt::Key_PageUp})
        EXPECT_FALSE(curveKeyFor(key, Qt::KeypadModifier)) << key;
}

TEST(Tbl16Model, DrawingHalvesAbove32760)
{
    Tbl16Model big({0, 40000, 1});
    auto d = big.drawing();
    EXPECT_EQ(d.max, 20000u);
    EXPECT_EQ(d.copy, (std::vector<std::uint32_t>{0, 20000, 0}));
    EXPECT_EQ(Tbl16Model({32760, 3}).drawing().max, 32760u);
    EXPECT_EQ(Tbl16Model({0, 0}).drawing().max, 1u);
}

TEST(DblLayout, DivisorOnlyAbove16300)
{
    auto l = computeDblLayout({0, 1}, {0, 1});
    EXPECT_EQ(l.xDivisor, 0);
    EXPECT_EQ(l.px, (std::vector<std::int32_t>{0, 10000}));
    EXPECT_EQ(l.py, (std::vector<std::int32_t>{0, 10000}));
    EXPECT_EQ(l.maxX, 10000);

    l = computeDblLayout({0, 50, 100}, {0, 0, 0});
    EXPECT_DOUBLE_EQ(l.xDivisor, 62.5);
    EXPECT_EQ(l.px.back(), 16000);
    EXPECT_EQ(l.maxY, 1); // all equal: extent 0 becomes 1

    l = computeDblLayout({0, 1.63}, {0, -1.63});
    EXPECT_EQ(l.xDivisor, 0);
    EXPECT_EQ(l.yDivisor, 0);
    // 1.63 x 10000 is 16299.999... in binary64; truncation gives 16299.
    EXPECT_EQ(l.px.back(), 16299);
    // Shifted so the smallest plotted y is 0.
    EXPECT_EQ(l.py, (std::vector<std::int32_t>{16299, 0}));
}

TEST(DblLayout, NonFiniteValuesDoNotBreakThePlot)
{
    const double inf = std::numeric_limits<double>::infinity();
    auto l = computeDblLayout({0, inf, std::nan("")}, {1, 2, -inf});
    ASSERT_EQ(l.px.size(), 3u);
    EXPECT_EQ(l.px[1], 0);
    EXPECT_EQ(l.py[2], 0);
    EXPECT_EQ(l.py[1], 16000); // the divisor comes from the finite values
}

TEST(TblDblModel, LowestPointCannotBeLoweredButSetsTheMark)
{
    using A = TblDblModel::Action;
    TblDblModel m({0, 1}, {0, 1});
    m.apply(A::Down1);
    EXPECT_EQ(m.ys()[0], 0.0);
    EXPECT_TRUE(m.changed());
    m.apply(A::Next);
    m.apply(A::Down1000);
    EXPECT_DOUBLE_EQ(m.ys()[1], 0.9);
    m.apply(A::Up10);
    EXPECT_DOUBLE_EQ(m.ys()[1], 0.901);
    // A higher point may go below the former lowest.
    TblDblModel n({0, 1}, {0, 0.05});
    n.apply(A::Next);
    n.apply(A::Down1000);
    EXPECT_DOUBLE_EQ(n.ys()[1], -0.05);
}

TEST(PageGeometry, PageSizeHitTestAndEdges)
{
    const std::vector<int> w(10, 50); // 10 columns of 50 pixels
    // Client 220: the sum passes 220 after the header and columns 1 to 4, so
    // the loop stops at index 5: a page of 5.
    EXPECT_EQ(page::pageSize(w, 0, 8, 220), 5);
    EXPECT_EQ(page::pageSize(w, 2, 8, 220), 5);
    // The index is capped below max.
    EXPECT_EQ(page::pageSize(w, 6, 8, 1000), 2);
    EXPECT_EQ(page::hitTest(w, 0, 10), 0);
    EXPECT_EQ(page::hitTest(w, 0, 50), 0);
    EXPECT_EQ(page::hitTest(w, 0, 51), 1);
    EXPECT_EQ(page::hitTest(w, 3, 51), 4);
    EXPECT_EQ(page::hitTest(w, 3, 10), 0);
    EXPECT_EQ(page::hitTest(w, 0, 501), -1);
    EXPECT_EQ(page::startOf(w, 3, 4), 50);
    EXPECT_EQ(page::startOf(w, 3, 3), -1);
    EXPECT_EQ(page::startOf(w, 3, 0), 0);
    EXPECT_EQ(page::farEdge(w, 3, 5), 150);
    EXPECT_TRUE(page::barVisible(w, 0, 500));
    EXPECT_FALSE(page::barVisible(w, 0, 501));
    EXPECT_TRUE(page::barVisible(w, 1, 5000));
}

TEST(PageGeometry, CommitTexts)
{
    EXPECT_EQ(page::formatCommit(QStringLiteral("5")), QStringLiteral("5.000000"));
    EXPECT_EQ(page::formatCommit(QStringLiteral(".5")), QStringLiteral("0.500000"));
    EXPECT_EQ(page::formatCommit(QStringLiteral("-1.25")), QStringLiteral("-1.250000"));
    EXPECT_EQ(page::formatCommit(QStringLiteral("1.1234567")), QStringLiteral("1.1234567"));
    EXPECT_EQ(page::formatCommit(QString()), QStringLiteral("0.000000"));
    EXPECT_EQ(page::formatCommit(QStringLiteral("3.")), QStringLiteral("3.000000"));
}
