#pragma once
// Geometry of the hex control: column positions, rows per page, the hit test
// and the caret rectangle. Plain C++ so that it can be tested without widgets.

#include <cstdint>

namespace hexedit {

// Where the caret stands.
enum class CaretColumn { OffsetColumn, TextColumn, HighNibble, LowNibble };

inline bool isHexColumn(CaretColumn c)
{
    return c == CaretColumn::HighNibble || c == CaretColumn::LowNibble;
}

// Character shown for a byte in the text column: the byte itself when it is
// printable in the C locale (0x20..0x7E), otherwise a dot.
inline char displayChar(std::uint8_t b)
{
    return (b >= 0x20 && b <= 0x7E) ? static_cast<char>(b) : '.';
}

struct HexHit {
    bool hit = false;
    std::int64_t offset = 0;
    CaretColumn column = CaretColumn::OffsetColumn;
};

struct CaretRect {
    int x = 0, y = 0, width = 0, height = 0;
};

class HexLayout {
public:
    // Settings.
    int bytesPerLine = 8;
    bool showOffsets = true;
    bool showText = true;
    bool showHex = true;
    bool wideOffsets = true;

    // Results of layout().
    int charWidth = 0;
    int lineHeight = 0;
    int offsetX = 0;
    int hexX = 0;
    int textX = 0;
    int linesPerPage = 1;
    bool shortData = false;

    // Computes the columns and rows per page for a client area of the given
    // height showing `length` bytes. When the whole buffer fits in a page the
    // page shrinks to the rows the data needs (plus one for a short last row).
    void layout(int charW, int lineH, int clientHeight, std::int64_t length);

    int offsetDigits() const { return wideOffsets ? 8 : 4; }

    // Left pixel edge of the byte at `indexInRow` of a row: its first hex
    // digit, and its character in the text column.
    int hexCellX(int indexInRow) const { return hexX + indexInRow * 3 * charWidth; }
    int textCellX(int indexInRow) const { return textX + indexInRow * charWidth; }

    // Top pixel edge of a visible row.
    int rowY(int row) const { return row * lineHeight; }

    // First offset of a visible row; rows count from topOffset, which need
    // not be a multiple of bytesPerLine.
    std::int64_t rowOffset(int row, std::int64_t topOffset) const
    {
        return topOffset + static_cast<std::int64_t>(row) * bytesPerLine;
    }

    // Start of the line holding `offset`: lines are counted from offset 0,
    // not from topOffset.
    std::int64_t lineStart(std::int64_t offset) const { return offset - offset % bytesPerLine; }

    // Width of the shown columns with one character to spare after the text
    // (that column still hits the row's last byte).
    int contentWidth() const { return textX + (showText ? (bytesPerLine + 1) * charWidth : 0); }

    // Bytes shown on one page.
    std::int64_t pageBytes() const { return static_cast<std::int64_t>(linesPerPage) * bytesPerLine; }

    // Rows are drawn only while their top edge is above this: a partial last
    // row is never drawn.
    int drawBottom(int clientHeight) const;

    // Largest scroll-bar position (in rows); 0 when everything fits.
    int scrollMaximum(std::int64_t length) const;

    // Scroll-bar row that shows the end of the data (Ctrl+End): 0 for short
    // data, otherwise the rounded row count less a page, never below 0.
    std::int64_t lastPageRow(std::int64_t length) const;

    // Pixel point (client coordinates) to caret position. Never yields an
    // offset outside 0 .. length - 1: points past the end of the data on the
    // last row snap to the last byte, rows after the data are no hit.
    HexHit hitTest(int x, int y, std::int64_t topOffset, std::int64_t length) const;

    // The caret's rectangle for a caret at `offset` in `column` while the
    // first visible row starts at `topOffset`. A block as wide as the offset
    // digits in the offset column, one character wide elsewhere.
    CaretRect caretRect(CaretColumn column, std::int64_t offset, std::int64_t topOffset) const;
};

} // namespace hexedit
