// The grid's geometry and navigation: client area, scroll bars, the current cell, keys, clicks and wheel.
#include "tables/PageWnd.h"

#include "tables/PageGeometry.h"

#include <QKeyEvent>
#include <QScrollBar>
#include <QStyle>
#include <QWheelEvent>

#include <cmath>

namespace tables {

int CPageWnd::HitColumnBorder(int x, int y) const
{
    if (rowHeights_.empty() || y < 0 || y > rowHeights_[0])
        return -1;
    for (int c = 0; c < cols_; ++c) {
        const int start = page::startOf(colWidths_, scroll_.hpos, c);
        if (start < 0)
            continue;
        const int right = start + colWidths_[std::size_t(c)];
        if (std::abs(x - right) <= 2)
            return c;
    }
    return -1;
}

QRect CPageWnd::clientArea() const
{
    int w = width(), h = height();
    if (vbar_ && !vbar_->isHidden())
        w -= vbar_->width();
    if (hbar_ && !hbar_->isHidden())
        h -= hbar_->height();
    return QRect(0, 0, std::max(w, 0), std::max(h, 0));
}

QRect CPageWnd::cellRect(int row, int col) const
{
    const int x = page::startOf(colWidths_, scroll_.hpos, col);
    const int y = page::startOf(rowHeights_, scroll_.vpos, row);
    if (x < 0 || y < 0)
        return QRect();
    return QRect(x, y, colWidths_[std::size_t(col)], rowHeights_[std::size_t(row)]);
}

void CPageWnd::layoutBars()
{
    const int sbw = style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    const bool hv = !hbar_->isHidden(), vv = !vbar_->isHidden();
    hbar_->setGeometry(0, height() - sbw, width() - (vv ? sbw : 0), sbw);
    vbar_->setGeometry(width() - sbw, 0, sbw, height() - (hv ? sbw : 0));
}

void CPageWnd::UpdateScrollBars()
{
    if (!hbar_)
        return;
    // Visibility first (it changes the client area), then the page sizes.
    const QRect full(0, 0, width(), height());
    const int sbw = style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    bool hv = page::barVisible(colWidths_, scroll_.hpos, full.width());
    bool vv = page::barVisible(rowHeights_, scroll_.vpos, full.height());
    if (hv && !vv)
        vv = page::barVisible(rowHeights_, scroll_.vpos, full.height() - sbw);
    if (vv && !hv)
        hv = page::barVisible(colWidths_, scroll_.hpos, full.width() - sbw);
    hbar_->setVisible(hv);
    vbar_->setVisible(vv);
    layoutBars();

    const QRect client = clientArea();
    scroll_.hpage = page::pageSize(colWidths_, scroll_.hpos, scroll_.hmax, client.width());
    scroll_.vpage = page::pageSize(rowHeights_, scroll_.vpos, scroll_.vmax, client.height());
    const QSignalBlocker bh(hbar_), bv(vbar_);
    hbar_->setRange(0, scroll_.hmax);
    hbar_->setPageStep(scroll_.hpage);
    hbar_->setValue(scroll_.hpos);
    vbar_->setRange(0, scroll_.vmax);
    vbar_->setPageStep(scroll_.vpage);
    vbar_->setValue(scroll_.vpos);
}

void CPageWnd::resizeEvent(QResizeEvent* e)
{
    TableFrame::resizeEvent(e);
    UpdateScrollBars();
    updateCurrentRect(); // an open edit stays open across a resize
    update();
}

void CPageWnd::DrawCurrentCell(bool eraseOld, bool drawNew)
{
    if (!editor_->isHidden())
        EndCellEdit(true);
    if (eraseOld && !curRect_.isNull())
        update(curRect_);
    if (drawNew) {
        updateCurrentRect();
        if (!curRect_.isNull())
            update(curRect_);
    }
}

void CPageWnd::updateCurrentRect()
{
    // Nothing is framed while the current cell is scrolled out of sight.
    curRect_ = (curRow_ >= 0 && curRow_ < rows_ && curCol_ >= 0 && curCol_ < cols_)
            ? cellRect(curRow_, curCol_)
            : QRect();
    if (!curRect_.isNull() && editor_->isHidden())
        editor_->setGeometry(QRect(QPoint(curRect_.left() + 2, curRect_.top() + 2),
                QPoint(curRect_.right() - 1, curRect_.bottom() - 1)));
}

void CPageWnd::moveTo(int row, int col)
{
    // The open edit belongs to the cell being left: commit it before the
    // current cell changes.
    if (!editor_->isHidden())
        EndCellEdit(true);
    prevRow_ = curRow_;
    prevCol_ = curCol_;
    curRow_ = row;
    curCol_ = col;
    DrawCurrentCell(true, true);
}

void CPageWnd::scrollBy(Qt::Orientation o, int step)
{
    if (!editor_->isHidden())
        EndCellEdit(true);
    if (step == 0)
        return;
    int& pos = o == Qt::Horizontal ? scroll_.hpos : scroll_.vpos;
    const int max = o == Qt::Horizontal ? scroll_.hmax : scroll_.vmax;
    const int now = std::max(std::min(pos + step, max), 0);
    if (now == pos) {
        UpdateScrollBars(); // put a moved thumb back
        return;
    }
    pos = now;
    UpdateScrollBars();
    DrawCurrentCell(false, true);
    update();
}

void CPageWnd::moveByKey(int key)
{
    const QRect client = clientArea();
    switch (key) {
    case Qt::Key_Left:
        if (scroll_.hpos > 0 && scroll_.hpos >= curCol_ - 2 && curCol_ > 1)
            scrollBy(Qt::Horizontal, -1);
        if (curCol_ > 0)
            moveTo(curRow_, curCol_ - 1);
        return;
    case Qt::Key_Right:
        if (curCol_ + 1 >= cols_) {
            scrollBy(Qt::Horizontal, 1);
            return;
        }
        if (page::farEdge(colWidths_, scroll_.hpos, curCol_ + 1) > client.width())
            scrollBy(Qt::Horizontal, 1);
        moveTo(curRow_, curCol_ + 1);
        return;
    case Qt::Key_Up:
        if (scroll_.vpos > 0 && curRow_ > 1 && curRow_ - scroll_.vpos < 3)
            scrollBy(Qt::Vertical, -1);
        if (curRow_ > 0)
            moveTo(curRow_ - 1, curCol_);
        return;
    case Qt::Key_Down: {
        if (curRow_ + 1 >= rows_) {
            scrollBy(Qt::Vertical, 1);
            return;
        }
        const int h = rowHeights_.size() > 1 ? rowHeights_[1] : 1;
        if (curRow_ - scroll_.vpos > client.height() / std::max(h, 1) - 2)
            scrollBy(Qt::Vertical, 1);
        moveTo(curRow_ + 1, curCol_);
        return;
    }
    default:
        return;
    }
}

void CPageWnd::keyPressEvent(QKeyEvent* e)
{
    switch (e->key()) {
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Up:
    case Qt::Key_Down:
        // With Shift the move stretches the selection from its anchor.
        moveByKey(e->key());
        if (e->modifiers() & Qt::ShiftModifier)
            update();
        else
            collapseSelection();
        return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        openEditor();
        return;
    default:
        break;
    }
    if (commandKey(e))
        return;
    TableFrame::keyPressEvent(e);
}

void CPageWnd::collapseSelection()
{
    if (hasSelection())
        update();
    anchorRow_ = curRow_;
    anchorCol_ = curCol_;
}

void CPageWnd::mousePressEvent(QMouseEvent* e)
{
    if (e->button() != Qt::LeftButton) {
        TableFrame::mousePressEvent(e);
        return;
    }
    if (!editor_->isHidden())
        EndCellEdit(true);
    setFocus();
    const QPoint pt = e->position().toPoint();
    if (!clientArea().contains(pt))
        return;
    const int col = page::hitTest(colWidths_, scroll_.hpos, pt.x());
    const int row = page::hitTest(rowHeights_, scroll_.vpos, pt.y());
    if (col < 0 || row < 0)
        return;
    moveTo(row, col);
    // Shift+click stretches the selection; a plain click starts a new one.
    if (e->modifiers() & Qt::ShiftModifier)
        update();
    else
        collapseSelection();
}

void CPageWnd::mouseMoveEvent(QMouseEvent* e)
{
    // A drag with the left button stretches the selection to the cell under
    // the mouse.
    if (!(e->buttons() & Qt::LeftButton) || !editor_->isHidden())
        return;
    const QPoint pt = e->position().toPoint();
    if (!clientArea().contains(pt))
        return;
    const int col = page::hitTest(colWidths_, scroll_.hpos, pt.x());
    const int row = page::hitTest(rowHeights_, scroll_.vpos, pt.y());
    if (col < 0 || row < 0 || (row == curRow_ && col == curCol_))
        return;
    moveTo(row, col);
    update();
}

void CPageWnd::wheelEvent(QWheelEvent* e)
{
    // Three rows (or columns, sideways or with Shift) per notch.
    wheelRest_ += e->angleDelta();
    const int notchesY = wheelRest_.y() / 120, notchesX = wheelRest_.x() / 120;
    wheelRest_ -= QPoint(notchesX * 120, notchesY * 120);
    if (notchesY && (e->modifiers() & Qt::ShiftModifier))
        scrollBy(Qt::Horizontal, -3 * notchesY);
    else if (notchesY)
        scrollBy(Qt::Vertical, -3 * notchesY);
    if (notchesX)
        scrollBy(Qt::Horizontal, -3 * notchesX);
    e->accept();
}

} // namespace tables
