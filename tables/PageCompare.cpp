// The grid against its counterpart in the file compared with: values, marks, tooltip and difference view.
#include "tables/PageWnd.h"

#include "tables/PageGeometry.h"

#include <QHelpEvent>
#include <QPainter>
#include <QToolTip>

#include <algorithm>
#include <bit>
#include <cstdint>

namespace tables {

namespace {
// Signed, with the grid's "%f".
QString signedFixed(double d)
{
    const QString t = formatFixed(d);
    return d > 0 ? QLatin1Char('+') + t : t;
}
} // namespace

void CPageWnd::referenceRead()
{
    refGrid_.reset();
    if (reference()) {
        QString why;
        refGrid_ = decodeTbl3d(reference()->bytes, &why);
    }
    heatRange_.reset();
    update();
}

std::optional<double> CPageWnd::referenceValue(int row, int col) const
{
    if (!refGrid_ || row < 0 || col < 0 || col >= refGrid_->groups || row >= refGrid_->perGroup)
        return std::nullopt;
    return refGrid_->values[std::size_t(col) * std::size_t(refGrid_->perGroup) + std::size_t(row)];
}

bool CPageWnd::cellDiffers(int row, int col) const
{
    if (!comparing() || !validAddress(row, col))
        return false;
    const auto ref = referenceValue(row, col);
    // As the bytes would be written: 0.0 and -0.0 differ, equal NaNs do not.
    return !ref || std::bit_cast<std::uint64_t>(*ref) != std::bit_cast<std::uint64_t>(cellValue(row, col));
}

QString CPageWnd::compareText(int row, int col) const
{
    if (!comparing() || !validAddress(row, col))
        return {};
    const auto ref = referenceValue(row, col);
    const double cur = cellValue(row, col);
    QString diff = QStringLiteral("none");
    if (!ref)
        diff = QStringLiteral("only in this file");
    else if (cellDiffers(row, col))
        diff = signedFixed(cur - *ref);
    return QStringLiteral("Reference: %1 | Current: %2 | Difference: %3")
            .arg(ref ? formatFixed(*ref) : QStringLiteral("(none)"), formatFixed(cur), diff);
}

std::optional<QString> CPageWnd::shownText(int row, int col) const
{
    if (!differencesShown() || row < 1 || col < 1)
        return GetCellText(row, col);
    if (!validAddress(row, col))
        return std::nullopt;
    const auto ref = referenceValue(row, col);
    return ref ? signedFixed(cellValue(row, col) - *ref) : QStringLiteral("only here");
}

void CPageWnd::setShowDifferences(bool on)
{
    if (on && !heatMap_)
        setHeatMap(true); // the differences are a view of the heat map
    showDifferences_ = on;
    heatRange_.reset();
    update();
}

void CPageWnd::DrawDifferenceMark(QPainter& p, int row, int col, const QRect& r, const QColor& color)
{
    if (r.isNull() || !cellDiffers(row, col))
        return;
    const int side = std::clamp(r.height() / 3, 5, 9);
    const QPoint corner = r.topLeft() + QPoint(1, 1);
    const QPoint tri[3] = {corner, corner + QPoint(side, 0), corner + QPoint(0, side)};
    p.save();
    p.setPen(Qt::NoPen);
    p.setBrush(color);
    p.drawPolygon(tri, 3);
    p.restore();
}

bool CPageWnd::event(QEvent* e)
{
    if (e->type() == QEvent::ToolTip) {
        const auto* help = static_cast<QHelpEvent*>(e);
        const QPoint pt = help->pos();
        QString text;
        if (comparing() && clientArea().contains(pt) && cols_ > 0 && rows_ > 0) {
            const int col = page::hitTest(colWidths_, scroll_.hpos, pt.x());
            const int row = page::hitTest(rowHeights_, scroll_.vpos, pt.y());
            if (row >= 0 && col >= 0)
                text = compareText(row, col);
        }
        if (text.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), text, this);
        return true;
    }
    return TableFrame::event(e);
}

} // namespace tables
