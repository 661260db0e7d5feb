#include "hexedit/HexLayout.h"

#include <gtest/gtest.h>

using hexedit::CaretColumn;
using hexedit::HexLayout;

namespace {

constexpr int kCw = 7;
constexpr int kLh = 14;

HexLayout narrow(int clientHeight, std::int64_t length)
{
    HexLayout g;
    g.wideOffsets = false;
    g.layout(kCw, kLh, clientHeight, length);
    return g;
}

} // namespace

TEST(HexLayout, ColumnEdgesFollowTheShownColumns)
{
    HexLayout g = narrow(400, 100);
    EXPECT_EQ(g.offsetX, 0);
    EXPECT_EQ(g.hexX, 5 * kCw);
    EXPECT_EQ(g.textX, 5 * kCw + 8 * 3 * kCw);

    g.wideOffsets = true;
    g.layout(kCw, kLh, 400, 100);
    EXPECT_EQ(g.hexX, 9 * kCw);

    g.showOffsets = false;
    g.showHex = false;
    g.layout(kCw, kLh, 400, 100);
    EXPECT_EQ(g.hexX, 0);
    EXPECT_EQ(g.textX, 0);
}

TEST(HexLayout, PageShrinksToTheDataThatFits)
{
    // 13 bytes need two drawn rows; the page counts 3 and the data is short.
    HexLayout g = narrow(50 * kLh, 13);
    EXPECT_EQ(g.linesPerPage, 3);
    EXPECT_TRUE(g.shortData);
    EXPECT_EQ(g.scrollMaximum(13), 0);

    g = narrow(50 * kLh, 16);
    EXPECT_EQ(g.linesPerPage, 2);
    EXPECT_FALSE(g.shortData);

    g = narrow(50 * kLh, 3);
    EXPECT_EQ(g.linesPerPage, 1);
    EXPECT_TRUE(g.shortData);

    g = narrow(50 * kLh, 0);
    EXPECT_EQ(g.linesPerPage, 0);
    EXPECT_FALSE(g.shortData);

    // A partial row does not count as a row of the page.
    g = narrow(10 * kLh + kLh / 2, 100);
    EXPECT_EQ(g.linesPerPage, 10);
    EXPECT_FALSE(g.shortData);
    EXPECT_EQ(g.drawBottom(10 * kLh + kLh / 2), 10 * kLh);
    // Rows 0..12 hold 100 bytes; 10 visible leave 3 positions to scroll.
    EXPECT_EQ(g.scrollMaximum(100), 3);
}

TEST(HexLayout, HitTestPicksColumnAndNibble)
{
    const HexLayout g = narrow(10 * kLh, 100);
    auto at = [&](int col, int row, std::int64_t top = 0) {
        return g.hitTest(col * kCw + 1, row * kLh + 1, top, 100);
    };

    auto h = at(4, 1);
    ASSERT_TRUE(h.hit);
    EXPECT_EQ(h.column, CaretColumn::OffsetColumn);
    EXPECT_EQ(h.offset, 8);

    // Byte 2 of row 0: its digits are columns 5+6, 5+7; 5+8 is the blank.
    h = at(5 + 6, 0);
    EXPECT_EQ(h.column, CaretColumn::HighNibble);
    EXPECT_EQ(h.offset, 2);
    h = at(5 + 7, 0);
    EXPECT_EQ(h.column, CaretColumn::LowNibble);
    EXPECT_EQ(h.offset, 2);
    h = at(5 + 8, 0);
    EXPECT_EQ(h.column, CaretColumn::LowNibble);
    EXPECT_EQ(h.offset, 2);

    h = at(29 + 3, 2);
    EXPECT_EQ(h.column, CaretColumn::TextColumn);
    EXPECT_EQ(h.offset, 19);
    // The column just after the text belongs to the row's last byte, not to
    // the next row.
    h = at(29 + 8, 2);
    EXPECT_EQ(h.column, CaretColumn::TextColumn);
    EXPECT_EQ(h.offset, 23);
    EXPECT_FALSE(at(29 + 9, 2).hit);

    // Rows count from the first visible offset, even off a row boundary.
    h = at(5, 1, 20);
    EXPECT_EQ(h.offset, 28);
}

TEST(HexLayout, HitTestNeverLeavesTheData)
{
    const HexLayout g = narrow(20 * kLh, 13);
    // Past the end of the short last row: the last byte.
    auto h = g.hitTest((5 + 7 * 3) * kCw + 1, kLh + 1, 0, 13);
    ASSERT_TRUE(h.hit);
    EXPECT_EQ(h.offset, 12);
    h = g.hitTest((29 + 7) * kCw + 1, kLh + 1, 0, 13);
    EXPECT_EQ(h.offset, 12);
    // The row after the data, in any column, including the offsets.
    EXPECT_FALSE(g.hitTest(1, 2 * kLh + 1, 0, 13).hit);
    EXPECT_FALSE(g.hitTest(6 * kCw, 2 * kLh + 1, 0, 13).hit);
    // A buffer of whole rows: the offset of the row after it is no caret position.
    const HexLayout full = narrow(20 * kLh, 16);
    EXPECT_FALSE(full.hitTest(1, 2 * kLh + 1, 0, 16).hit);
    // Nothing to hit in an empty buffer, above the control or below the page.
    EXPECT_FALSE(narrow(20 * kLh, 0).hitTest(6 * kCw, 1, 0, 0).hit);
    EXPECT_FALSE(g.hitTest(6 * kCw, -1, 0, 13).hit);
    const HexLayout page = narrow(4 * kLh, 100);
    EXPECT_TRUE(page.hitTest(6 * kCw, 4 * kLh + 1, 0, 100).hit); // partial row
    EXPECT_FALSE(page.hitTest(6 * kCw, 5 * kLh + 1, 0, 100).hit);
}

// The cells the painter draws at are the cells the hit test and the caret
// use: each byte's first and last pixel hits it, one pixel outside hits its
// neighbour, for every shown-column combination.
TEST(HexLayout, CellEdgesRoundTripThroughTheHitTest)
{
    struct Case {
        bool offsets, hex, text, wide;
    };
    for (const Case c : {Case{true, true, true, false}, Case{true, true, true, true},
                 Case{false, true, true, false}, Case{true, false, true, false},
                 Case{false, false, true, false}, Case{true, true, false, false}}) {
        HexLayout g;
        g.showOffsets = c.offsets;
        g.showHex = c.hex;
        g.showText = c.text;
        g.wideOffsets = c.wide;
        g.layout(kCw, kLh, 10 * kLh, 100);
        const int y = g.rowY(2) + kLh - 1; // last pixel row of row 2
        const std::int64_t top = 4; // off a row boundary
        const std::int64_t row = g.rowOffset(2, top);
        ASSERT_EQ(row, 20);
        for (int i = 0; i < g.bytesPerLine; ++i) {
            SCOPED_TRACE(
                    testing::Message() << "case " << c.offsets << c.hex << c.text << c.wide << " byte " << i);
            if (c.hex) {
                const int x = g.hexCellX(i);
                auto h = g.hitTest(x, y, top, 100);
                EXPECT_EQ(h.column, CaretColumn::HighNibble);
                EXPECT_EQ(h.offset, row + i);
                EXPECT_EQ(g.caretRect(CaretColumn::HighNibble, row + i, top).x, x);
                // The blank after the byte is still the byte (low nibble).
                h = g.hitTest(x + 3 * kCw - 1, y, top, 100);
                EXPECT_EQ(h.column, CaretColumn::LowNibble);
                EXPECT_EQ(h.offset, row + i);
                EXPECT_EQ(g.caretRect(CaretColumn::LowNibble, row + i, top).x, x + kCw);
                // One pixel left of the first byte: the offsets (without
                // them that is left of the control, which counts as byte 0).
                if (i == 0 && c.offsets) {
                    h = g.hitTest(x - 1, y, top, 100);
                    EXPECT_EQ(h.column, CaretColumn::OffsetColumn);
                    EXPECT_EQ(h.offset, row);
                }
            }
            if (c.text) {
                const int x = g.textCellX(i);
                auto h = g.hitTest(x + kCw - 1, y, top, 100);
                EXPECT_EQ(h.column, CaretColumn::TextColumn);
                EXPECT_EQ(h.offset, row + i);
                EXPECT_EQ(g.caretRect(CaretColumn::TextColumn, row + i, top).x, x);
                if (i == 0 && c.hex) {
                    h = g.hitTest(x - 1, y, top, 100);
                    EXPECT_EQ(h.column, CaretColumn::LowNibble);
                    EXPECT_EQ(h.offset, row + g.bytesPerLine - 1);
                }
            }
        }
        // The spare character after the text is the last byte; past the
        // content width nothing is hit.
        if (c.text) {
            EXPECT_EQ(g.hitTest(g.contentWidth() - 1, y, top, 100).offset, row + g.bytesPerLine - 1);
            EXPECT_FALSE(g.hitTest(g.contentWidth(), y, top, 100).hit);
        } else {
            EXPECT_EQ(g.contentWidth(), g.textX);
            EXPECT_FALSE(g.hitTest(g.contentWidth(), y, top, 100).hit);
        }
    }
}

TEST(HexLayout, LinesAndTheLastPage)
{
    HexLayout g = narrow(10 * kLh, 100);
    EXPECT_EQ(g.lineStart(0), 0);
    EXPECT_EQ(g.lineStart(7), 0);
    EXPECT_EQ(g.lineStart(8), 8);
    EXPECT_EQ(g.lineStart(23), 16);
    // 100 bytes round to 13 rows; 10 on a page leave row 3 at the top.
    EXPECT_EQ(g.lastPageRow(100), 3);
    // Fewer rows than a page: the top row.
    g = narrow(20 * kLh, 100);
    EXPECT_EQ(g.lastPageRow(100), 0);
    // Short data always ends on row 0.
    g = narrow(50 * kLh, 13);
    ASSERT_TRUE(g.shortData);
    EXPECT_EQ(g.lastPageRow(13), 0);
    // 12 bytes of 8 a line with one row a page round up to 2 rows: the end
    // is row 1, not row 0.
    g = narrow(kLh, 12);
    ASSERT_FALSE(g.shortData);
    EXPECT_EQ(g.lastPageRow(12), 1);
}

TEST(HexLayout, CaretRectangles)
{
    HexLayout g = narrow(10 * kLh, 100);
    auto r = g.caretRect(CaretColumn::OffsetColumn, 16, 0);
    EXPECT_EQ(r.x, 0);
    EXPECT_EQ(r.y, 2 * kLh);
    EXPECT_EQ(r.width, 4 * kCw);
    EXPECT_EQ(r.height, kLh);

    r = g.caretRect(CaretColumn::HighNibble, 11, 0);
    EXPECT_EQ(r.x, g.hexX + 3 * 3 * kCw);
    EXPECT_EQ(r.y, kLh);
    EXPECT_EQ(r.width, kCw);
    r = g.caretRect(CaretColumn::LowNibble, 11, 0);
    EXPECT_EQ(r.x, g.hexX + 3 * 3 * kCw + kCw);
    r = g.caretRect(CaretColumn::TextColumn, 11, 8);
    EXPECT_EQ(r.x, g.textX + 3 * kCw);
    EXPECT_EQ(r.y, 0);

    // A caret just above a top that lies off a row boundary is above the
    // client area, not at the left of the first row.
    r = g.caretRect(CaretColumn::HighNibble, 15, 20);
    EXPECT_EQ(r.y, -kLh);
    EXPECT_EQ(r.x, g.hexX + 3 * 3 * kCw); // the row above starts at 12

    g.wideOffsets = true;
    g.layout(kCw, kLh, 10 * kLh, 100);
    EXPECT_EQ(g.caretRect(CaretColumn::OffsetColumn, 0, 0).width, 8 * kCw);
}

TEST(HexLayout, TextColumnShowsPrintableAsciiOnly)
{
    EXPECT_EQ(hexedit::displayChar(0x1F), '.');
    EXPECT_EQ(hexedit::displayChar(0x7F), '.');
    EXPECT_EQ(hexedit::displayChar(0xE9), '.');
    EXPECT_EQ(hexedit::displayChar(0x20), ' ');
    EXPECT_EQ(hexedit::displayChar(0x7E), '~');
}
