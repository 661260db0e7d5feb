// Painting the grid: headers, body cells, grid lines, cell texts and the current-cell frame.
#include "tables/PageWnd.h"

#include "tables/PageGeometry.h"

#include <QPaintEvent>
#include <QPainter>
#include <qdrawutil.h>

namespace tables {

void CPageWnd::paintEvent(QPaintEvent* e)
{
    QPainter p(this);
    OnDraw(p, e->rect());
}

void CPageWnd::OnDraw(QPainter& p, const QRect& update)
{
    const QRect client = clientArea();
    const QRect area = update.intersected(client);
    p.setClipRect(area);
    if (cols_ == 0 || rows_ == 0) {
        p.fillRect(area, background_);
        return;
    }
    // Visible body range: from hpos + 1 while the column starts before the
    // right edge of the painted area.
    const int firstCol = scroll_.hpos + 1;
    int lastCol = firstCol - 1;
    for (int x = colWidths_[0], c = firstCol; c < cols_ && x < area.right() + 1; ++c) {
        lastCol = c;
        x += colWidths_[std::size_t(c)];
    }
    const int firstRow = scroll_.vpos + 1;
    int lastRow = firstRow - 1;
    for (int y = rowHeights_[0], r = firstRow; r < rows_ && y < area.bottom() + 1; ++r) {
        lastRow = r;
        y += rowHeights_[std::size_t(r)];
    }

    DrawCorner(p);
    DrawColumnHeaders(p, firstCol, lastCol);
    DrawRowHeaders(p, firstRow, lastRow);
    DrawCells(p, firstRow, lastRow, firstCol, lastCol);
    if (showGridLines_)
        DrawGridLines(p, firstRow, lastRow, firstCol, lastCol);
    if (hasSelection())
        DrawSelection(p, firstRow, lastRow, firstCol, lastCol);
    if (editor_->isHidden() && !curRect_.isNull()) {
        QPen pen(palette().color(QPalette::Text), 2);
        pen.setJoinStyle(Qt::MiterJoin);
        p.setPen(pen);
        p.setBrush(Qt::NoBrush);
        // 2-pixel outline inside (left + 2, top + 2)-(right - 1, bottom - 1).
        p.drawRect(
                QRectF(curRect_.left() + 3, curRect_.top() + 3, curRect_.width() - 5, curRect_.height() - 5));
    }
    // Background right of the last column and below the last row.
    const int right = page::farEdge(colWidths_, scroll_.hpos, lastCol);
    const int bottom = page::farEdge(rowHeights_, scroll_.vpos, lastRow);
    p.fillRect(QRect(right, 0, std::max(client.width() - right, 0), client.height()), background_);
    p.fillRect(QRect(0, bottom, client.width(), std::max(client.height() - bottom, 0)), background_);
}

void CPageWnd::DrawCorner(QPainter& p)
{
    const QRect r(0, 0, colWidths_[0] + 1, rowHeights_[0] + 1);
    const QBrush face(GetCellBkColor(0, 0));
    qDrawShadeRect(&p, r, palette(), true, 1, 0, &face);
    DrawCellText(p, 0, 0, QRect(0, 0, colWidths_[0], rowHeights_[0]));
    DrawDifferenceMark(
            p, 0, 0, QRect(0, 0, colWidths_[0], rowHeights_[0]), palette().color(QPalette::ButtonText));
}

void CPageWnd::DrawColumnHeaders(QPainter& p, int firstCol, int lastCol)
{
    for (int c = firstCol; c <= lastCol; ++c) {
        const QRect r = cellRect(0, c);
        const QBrush face(GetCellBkColor(0, c));
        qDrawShadePanel(&p, r, palette(), false, 1, &face);
        DrawCellText(p, 0, c, r);
        DrawDifferenceMark(p, 0, c, r, palette().color(QPalette::ButtonText));
    }
}

void CPageWnd::DrawRowHeaders(QPainter& p, int firstRow, int lastRow)
{
    for (int r = firstRow; r <= lastRow; ++r) {
        const QRect rect = cellRect(r, 0);
        const QBrush face(GetCellBkColor(r, 0));
        qDrawShadePanel(&p, rect, palette(), false, 1, &face);
        DrawCellText(p, r, 0, rect);
        DrawDifferenceMark(p, r, 0, rect, palette().color(QPalette::ButtonText));
    }
}

void CPageWnd::DrawCells(QPainter& p, int firstRow, int lastRow, int firstCol, int lastCol)
{
    // The heat map colours the body only; row 0 and column 0 keep their look.
    const auto range = heatMap_ ? heatRange() : std::nullopt;
    const bool differences = differencesShown();
    const bool marks = comparing();
    for (int r = firstRow; r <= lastRow; ++r)
        for (int c = firstCol; c <= lastCol; ++c) {
            const QRect rect = cellRect(r, c);
            // In the difference view a cell the reference lacks has no colour.
            std::optional<double> heat;
            if (range && differences) {
                if (const auto ref = referenceValue(r, c))
                    heat = cellValue(r, c) - *ref;
            } else if (range) {
                heat = cellValue(r, c);
            }
            if (heat) {
                const Rgb bg = heatColor(heatPalette_, heatPlace(*heat, range->first, range->second));
                const Rgb fg = textOn(bg);
                p.fillRect(rect, QColor(bg.r, bg.g, bg.b));
                textOverride_ = QColor(fg.r, fg.g, fg.b);
            } else {
                p.fillRect(rect, GetCellBrush(r, c));
            }
            if (!differences)
                DrawCellText(p, r, c, rect);
            else if (const auto text = shownText(r, c))
                drawTextIn(p, r, c, rect, *text);
            if (marks)
                DrawDifferenceMark(p, r, c, rect,
                        textOverride_.isValid() ? textOverride_ : palette().color(QPalette::Text));
            textOverride_ = QColor();
        }
}

std::optional<std::pair<double, double>> CPageWnd::heatRange() const
{
    if (!heatRange_ && rows_ > 1 && cols_ > 1) {
        // Over the values, or over the differences where the reference has the cell.
        const bool differences = differencesShown();
        std::optional<std::pair<double, double>> range;
        for (int r = 1; r < rows_; ++r)
            for (int c = 1; c < cols_; ++c) {
                double v = cellValue(r, c);
                if (differences) {
                    const auto ref = referenceValue(r, c);
                    if (!ref)
                        continue;
                    v -= *ref;
                }
                if (!range)
                    range = std::make_pair(v, v);
                range->first = std::min(range->first, v);
                range->second = std::max(range->second, v);
            }
        heatRange_ = range ? range : std::make_pair(0.0, 0.0);
    }
    return heatRange_;
}

void CPageWnd::DrawSelection(QPainter& p, int firstRow, int lastRow, int firstCol, int lastCol)
{
    // A translucent wash over each selected cell in view (so the values and
    // the heat map still show through) and a frame around them.
    const CellRange sel = selection();
    QColor wash = palette().color(QPalette::Highlight);
    wash.setAlpha(90);
    QRect bounds;
    auto visit = [&](int r, int c) {
        if (!sel.contains(r, c))
            return;
        const QRect rect = cellRect(r, c);
        if (rect.isNull())
            return;
        p.fillRect(rect, wash);
        bounds |= rect;
    };
    auto visitRow = [&](int r) {
        visit(r, 0);
        for (int c = std::max(firstCol, sel.left); c <= std::min(lastCol, sel.right()); ++c)
            visit(r, c);
    };
    visitRow(0);
    for (int r = std::max(firstRow, sel.top); r <= std::min(lastRow, sel.bottom()); ++r)
        visitRow(r);
    if (bounds.isNull())
        return;
    QPen pen(palette().color(QPalette::Highlight), 2);
    pen.setJoinStyle(Qt::MiterJoin);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(bounds).adjusted(1, 1, -1, -1));
}

void CPageWnd::DrawGridLines(QPainter& p, int firstRow, int lastRow, int firstCol, int lastCol)
{
    if (lastRow < firstRow || lastCol < firstCol)
        return;
    const int left = colWidths_[0], top = rowHeights_[0];
    const int right = page::farEdge(colWidths_, scroll_.hpos, lastCol);
    const int bottom = page::farEdge(rowHeights_, scroll_.vpos, lastRow);
    p.setPen(QPen(gridPen_, 1));
    for (int r = firstRow; r <= lastRow; ++r) {
        const int y = cellRect(r, firstCol).top();
        p.drawLine(left, y, right, y);
    }
    for (int c = firstCol; c <= lastCol; ++c) {
        const int x = cellRect(firstRow, c).left();
        p.drawLine(x, top, x, bottom);
    }
}

void CPageWnd::DrawCellText(QPainter& p, int row, int col, const QRect& r)
{
    const PageCell* cell = GetCell(row, col);
    if (!cell || !cell->text || r.isNull())
        return;
    drawTextIn(p, row, col, r, *cell->text);
}

void CPageWnd::drawTextIn(QPainter& p, int row, int col, const QRect& r, const QString& text)
{
    const PageCell* cell = GetCell(row, col);
    if (!cell || r.isNull())
        return;
    const QRect in = r.adjusted(1, 1, -1, -1);
    const bool bold = boldHeaders_ && ((row == 0 && col == curCol_) || (col == 0 && row == curRow_));
    const QFont f = bold ? boldFont_ : fonts_[std::size_t(cell->fontIndex)];
    const QFontMetrics fm(f);
    const int w = fm.horizontalAdvance(text);
    int x = in.left() + 2;
    if (cell->align == kAlignRight)
        x = in.right() + 1 - 2 - w;
    else if (cell->align == kAlignCenter)
        x = in.left() + (in.width() - w) / 2;
    // Text bottom (not the baseline) 2 pixels above the bottom, so the
    // current-cell frame does not cross the digits.
    const int baseline = in.bottom() + 1 - 2 - fm.descent();
    p.save();
    p.setClipRect(in, Qt::IntersectClip);
    p.setFont(f);
    p.setPen(textOverride_.isValid() ? textOverride_ : cell->textColor);
    p.drawText(QPoint(x, baseline), text);
    p.restore();
}

void CPageWnd::HighlightHeaders(bool bold)
{
    boldHeaders_ = bold;
    update();
}

} // namespace tables
