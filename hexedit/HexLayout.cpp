#include "hexedit/HexLayout.h"

#include <algorithm>

namespace hexedit {

void HexLayout::layout(int charW, int lineH, int clientHeight, std::int64_t length)
{
    charWidth = charW;
    lineHeight = lineH;
    if (bytesPerLine < 1)
        bytesPerLine = 1;
    offsetX = 0;
    hexX = showOffsets ? charWidth * (wideOffsets ? 9 : 5) : 0;
    textX = hexX + (showHex ? bytesPerLine * 3 * charWidth : 0);

    linesPerPage = lineHeight > 0 ? std::max(clientHeight, 0) / lineHeight : 0;
    shortData = false;
    if (pageBytes() > length) {
        const std::int64_t len = std::max<std::int64_t>(length, 0);
        linesPerPage = static_cast<int>((len + bytesPerLine / 2) / bytesPerLine);
        if (len % bytesPerLine != 0) {
            // 13 bytes at 8 per line need 3 rows, not the 2 the rounding gives.
            shortData = true;
            ++linesPerPage;
        }
    }
}

int HexLayout::drawBottom(int clientHeight) const
{
    if (lineHeight <= 0)
        return 0;
    return (std::max(clientHeight, 0) / lineHeight) * lineHeight;
}

int HexLayout::scrollMaximum(std::int64_t length) const
{
    const std::int64_t rows = std::max<std::int64_t>(length, 0) / bytesPerLine;
    if (rows < linesPerPage)
        return 0;
    return static_cast<int>(std::min<std::int64_t>(rows - linesPerPage + 1, 0x7fffffff));
}

std::int64_t HexLayout::lastPageRow(std::int64_t length) const
{
    if (shortData)
        return 0;
    const std::int64_t rows = (std::max<std::int64_t>(length, 0) + bytesPerLine / 2) / bytesPerLine;
    return std::max<std::int64_t>(rows - linesPerPage, 0);
}

HexHit HexLayout::hitTest(int x, int y, std::int64_t topOffset, std::int64_t length) const
{
    HexHit none;
    if (charWidth <= 0 || lineHeight <= 0 || y < 0 || length <= 0)
        return none;
    const int row = y / lineHeight;
    if (row > linesPerPage)
        return none;
    const std::int64_t rowStart = rowOffset(row, topOffset);
    if (rowStart < 0 || rowStart >= length)
        return none;

    // Left of the control (during a drag) counts as its first column.
    const int col = std::max(x, 0) / charWidth;
    HexHit h;
    h.hit = true;
    if (showOffsets && col <= offsetDigits()) {
        h.offset = rowStart;
        h.column = CaretColumn::OffsetColumn;
        return h;
    }
    std::int64_t index = 0;
    if (showHex && col < hexX / charWidth + bytesPerLine * 3) {
        const int d = col - hexX / charWidth;
        index = d / 3;
        // The blank after a byte counts as its low nibble.
        h.column = (d % 3 == 0) ? CaretColumn::HighNibble : CaretColumn::LowNibble;
    } else if (showText && col <= textX / charWidth + bytesPerLine) {
        // The column just after the text belongs to the row's last byte.
        index = std::min(col - textX / charWidth, bytesPerLine - 1);
        h.column = CaretColumn::TextColumn;
    } else {
        return none;
    }
    // Past the end of a short last row: the last byte.
    h.offset = std::min(rowStart + index, length - 1);
    return h;
}

CaretRect HexLayout::caretRect(CaretColumn column, std::int64_t offset, std::int64_t topOffset) const
{
    CaretRect r;
    const std::int64_t rel = offset - topOffset;
    // Floor division: a caret above the first row (topOffset off a multiple
    // of bytesPerLine) must land above the client area, not inside row 0.
    std::int64_t row = rel / bytesPerLine;
    if (rel % bytesPerLine != 0 && rel < 0)
        --row;
    const std::int64_t col = rel - row * bytesPerLine;
    r.y = static_cast<int>(std::clamp<std::int64_t>(row * lineHeight, -0x3fffffff, 0x3fffffff));
    const int index = static_cast<int>(col);
    r.height = lineHeight;
    switch (column) {
    case CaretColumn::OffsetColumn:
        r.x = offsetX;
        r.width = charWidth * offsetDigits();
        break;
    case CaretColumn::TextColumn:
        r.x = textCellX(index);
        r.width = charWidth;
        break;
    case CaretColumn::HighNibble:
        r.x = hexCellX(index);
        r.width = charWidth;
        break;
    case CaretColumn::LowNibble:
        r.x = hexCellX(index) + charWidth;
        r.width = charWidth;
        break;
    }
    return r;
}

} // namespace hexedit
