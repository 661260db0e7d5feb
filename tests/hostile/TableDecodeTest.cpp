// The table windows decode counts that come from the file. Counts whose
// product overflows must be refused like any other count that claims more
// bytes than the record holds, not turned into a huge allocation.
#include "HostileSupport.h"

#include "tables/TableBytes.h"

#include <gtest/gtest.h>

using namespace hostile;
using namespace airtest;

namespace {

Bytes grid(std::uint32_t a, std::uint32_t b, std::size_t cells)
{
    Bytes out = u32s({a, b});
    out.resize(8 + 8 * cells, 0);
    return out;
}

} // namespace

// Regression: 1073807362 x 2147352580 cells need 8 + 8 * A * B bytes, which
// wrapped around 2^64 to 72; a 72-byte record passed the check and the window
// asked for 2^61 doubles (std::length_error, ending the editor).
TEST(TableDecode, GridCountsWhoseProductOverflowsAreRefused)
{
    QString why;
    EXPECT_FALSE(tables::decodeTbl3d(grid(1073807362u, 2147352580u, 8), &why));
    EXPECT_TRUE(why.contains(QStringLiteral("1073807362 x 2147352580"))) << why.toStdString();
    EXPECT_FALSE(tables::decodeTbl3d(grid(0x7FFFFFFF, 0x7FFFFFFF, 7), &why));

    // At the edge: exactly enough room is accepted, one cell short is not.
    auto fits = tables::decodeTbl3d(grid(3, 4, 12), &why);
    ASSERT_TRUE(fits);
    EXPECT_EQ(fits->values.size(), 12u);
    EXPECT_FALSE(tables::decodeTbl3d(grid(3, 4, 11), &why));
    EXPECT_TRUE(why.contains(QStringLiteral("needs 104 bytes"))) << why.toStdString();
}

TEST(TableDecode, DoubleAndWordTablesStayInsideTheRecord)
{
    // The double table takes only the count's first byte: 255 points claimed
    // by a 4-byte record are refused, not read past the end.
    EXPECT_FALSE(tables::decodeTblDbl({0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_FALSE(tables::decodeTblDbl({}));
    Bytes one(4 + 16, 0);
    one[0] = 1;
    auto t = tables::decodeTblDbl(one);
    ASSERT_TRUE(t);
    EXPECT_EQ(t->xs.size(), 1u);
    EXPECT_EQ(tables::decodeTbl16({1, 2, 3}).size(), 1u);
}
