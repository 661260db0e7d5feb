#include "tables/PageWnd.h"

#include "tables/PageGeometry.h"
#include "ui/Messages.h"
#include "ui/NumberChars.h"
#include "ui/Settings.h"

#include "base/Bytes.h"
#include "model/FieldType.h"

#include <QCloseEvent>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>
#include <QWheelEvent>
#include <qdrawutil.h>

#include <cmath>

namespace tables {

// ---------------------------------------------------------------- CPageEdit

CPageEdit::CPageEdit(CPageWnd* grid) : QLineEdit(grid), grid_(grid)
{
    setObjectName(QStringLiteral("cellEditor201"));
    // Pasted text obeys the same filter as typed characters.
    setValidator(new ui::NumberValidator(ui::NumberChars{}, this));
    hide();
}

void CPageEdit::showEvent(QShowEvent* e)
{
    QLineEdit::showEvent(e);
    clientRect_ = contentsRect();
    setFocus();
}

void CPageEdit::keyPressEvent(QKeyEvent* e)
{
    switch (e->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter: grid_->editorCommitted(); return;
    case Qt::Key_Escape: grid_->editorCancelled(); return;
    default: break;
    }
    const QString t = e->text();
    const bool isChar = !t.isEmpty() && (t.at(0).isPrint() || e->key() == Qt::Key_Backspace);
    if (!isChar) {
        // Arrows, Home, End, Delete act in the box, and none of them reaches
        // the grid while the box has the focus: a line edit leaves Up, Down
        // and the page keys unhandled, and the grid would move on them.
        QLineEdit::keyPressEvent(e);
        e->accept();
        return;
    }
    const QChar c = t.at(0);
    if (e->key() == Qt::Key_Backspace || (t.size() == 1 && ui::NumberChars{}.accepts(c)))
        QLineEdit::keyPressEvent(e);
    growIfNeeded();
}

void CPageEdit::focusOutEvent(QFocusEvent* e)
{
    QLineEdit::focusOutEvent(e);
    // Focus leaving the box (Tab, a click elsewhere, another window) ends the
    // edit with a commit; the box's own context menu does not.
    if (e->reason() != Qt::PopupFocusReason && !isHidden())
        grid_->editorCommitted();
}

void CPageEdit::growIfNeeded()
{
    const QString t = text();
    if (t.isEmpty())
        return;
    const QFontMetrics fm(font());
    const int w = fm.horizontalAdvance(t);
    avgCharWidth_ = w / int(t.size());
    if (w + 2 * avgCharWidth_ >= contentsRect().width())
        resize(width() + 2 * avgCharWidth_, height());
    clientRect_ = contentsRect();
}

// ----------------------------------------------------------------- CPageWnd

CPageWnd::CPageWnd(int cols, int rows, std::unique_ptr<TableTarget> target, QWidget* owner)
        : TableFrame(
                std::move(target), QString(ui::settings::kTbl3dSection), ui::Edges{10, 10, 750, 300}, owner)
{
    if (this->target())
        setWindowTitle(this->target()->name());
    background_ = palette().color(QPalette::Button);
    gridPen_ = palette().color(QPalette::Button);

    editor_ = new CPageEdit(this);
    normalFont_ = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    boldFont_ = normalFont_;
    boldFont_.setWeight(QFont::Bold);
    const QFontMetrics fm(normalFont_);
    scroll_.colWidth = 16 * fm.maxWidth();
    scroll_.rowHeight = fm.height() * 3 / 2;
    brushes_ = {palette().color(QPalette::Button), palette().color(QPalette::Base)};
    fonts_ = {normalFont_};

    hbar_ = new QScrollBar(Qt::Horizontal, this);
    vbar_ = new QScrollBar(Qt::Vertical, this);
    // Only single steps, page steps and the released thumb move the body.
    hbar_->setTracking(false);
    vbar_->setTracking(false);
    hbar_->setFocusPolicy(Qt::NoFocus);
    vbar_->setFocusPolicy(Qt::NoFocus);
    connect(hbar_, &QScrollBar::valueChanged, this,
            [this](int v) { scrollBy(Qt::Horizontal, v - scroll_.hpos); });
    connect(vbar_, &QScrollBar::valueChanged, this,
            [this](int v) { scrollBy(Qt::Vertical, v - scroll_.vpos); });

    setFocusPolicy(Qt::StrongFocus);
    SetSize(cols, rows);
}

CPageWnd::~CPageWnd()
{
    // Destroyed without a close (the program ends at once): an open edit is
    // dropped, and the box must not report its focus loss to a grid that is
    // going away.
    closing_ = true;
    if (editor_)
        editor_->hide();
}

bool CPageWnd::validAddress(int row, int col) const
{
    if (row >= 0 && row < rows_ && col >= 0 && col < cols_)
        return true;
    qWarning("Cell page idx (%d, %d) is not valid", row, col);
    return false;
}

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

int CPageWnd::PointsToHeight(int points) const
{
    return -int(std::lround(double(points) * logicalDpiY() / 72.0));
}

void CPageWnd::SetSize(int cols, int rows)
{
    cols_ = std::max(cols, 0);
    rows_ = std::max(rows, 0);
    // Cell indexes are ints: a size whose cell count does not fit is refused.
    if ((long long)cols_ * rows_ > kMaxCells) {
        qWarning("Cell page size %d x %d is too large", cols_, rows_);
        cols_ = rows_ = 0;
    }
    cellCount_ = cols_ * rows_;
    cells_.assign(std::size_t(cellCount_), PageCell{});
    const QColor text = palette().color(QPalette::Text);
    for (int i = 0; i < rows_; ++i)
        for (int j = 0; j < cols_; ++j) {
            PageCell& c = cells_[std::size_t(i) * std::size_t(cols_) + std::size_t(j)];
            c.textColor = text;
            c.brushIndex = (i == 0 || j == 0) ? 0 : 1; // headers: button face; body: window colour
        }
    colWidths_.assign(std::size_t(cols_), scroll_.colWidth);
    rowHeights_.assign(std::size_t(rows_), scroll_.rowHeight);
    scroll_.hpos = scroll_.vpos = 0;
    scroll_.hmax = std::max(cols_ - 2, 0);
    scroll_.vmax = std::max(rows_ - 2, 0);
    // The first body cell, or the header cell when the grid has no body.
    curRow_ = prevRow_ = std::min(1, std::max(rows_ - 1, 0));
    curCol_ = prevCol_ = std::min(1, std::max(cols_ - 1, 0));
    showGridLines_ = true;
    UpdateScrollBars();
    update();
}

void CPageWnd::IndexToCell(int index, int& row, int& col) const
{
    if (index < 0 || index >= cellCount_) {
        qWarning("Cell index %d is not valid", index);
        row = col = -1;
        return;
    }
    row = index / cols_;
    col = index % cols_;
}

int CPageWnd::CellToIndex(int row, int col) const
{
    if (!validAddress(row, col))
        return -1;
    return row * cols_ + col;
}

PageCell* CPageWnd::GetCell(int row, int col)
{
    const int i = CellToIndex(row, col);
    return i < 0 ? nullptr : &cells_[std::size_t(i)];
}

const PageCell* CPageWnd::GetCell(int row, int col) const
{
    const int i = CellToIndex(row, col);
    return i < 0 ? nullptr : &cells_[std::size_t(i)];
}

PageCell* CPageWnd::GetCellAt(int index)
{
    if (index < 0 || index >= cellCount_) {
        qWarning("Cell index %d is not valid", index);
        return nullptr;
    }
    return &cells_[std::size_t(index)];
}

QColor CPageWnd::GetCellBkColor(int row, int col) const
{
    const PageCell* c = GetCell(row, col);
    if (!c)
        return palette().color(QPalette::Base);
    return brushes_[std::size_t(c->brushIndex)];
}

namespace {
// The index of an equal entry of the list, appended first when there is none.
template <typename T>
int indexIn(std::vector<T>& list, const T& value)
{
    for (std::size_t i = 0; i < list.size(); ++i)
        if (list[i] == value)
            return int(i);
    list.push_back(value);
    return int(list.size()) - 1;
}
} // namespace

int CPageWnd::brushFor(const QColor& color)
{
    return indexIn(brushes_, color);
}

int CPageWnd::fontFor(const QFont& f)
{
    return indexIn(fonts_, f);
}

void CPageWnd::SetCellBkColor(int row, int col, const QColor& color)
{
    if (PageCell* c = GetCell(row, col)) {
        c->brushIndex = brushFor(color);
        update();
    }
}

QBrush CPageWnd::GetCellBrush(int row, int col) const
{
    return QBrush(GetCellBkColor(row, col));
}

void CPageWnd::SetCellText(int col, int row, const QString& text)
{
    if (PageCell* c = GetCell(row, col)) {
        c->text = text;
        update();
    }
}

int CPageWnd::CopyCellText(int col, int row, QString* buffer, int size) const
{
    const PageCell* c = GetCell(row, col);
    if (!c || !c->text || !buffer || size <= 0)
        return 0;
    *buffer = c->text->left(size);
    return int(buffer->size());
}

std::optional<QString> CPageWnd::GetCellText(int row, int col) const
{
    const PageCell* c = GetCell(row, col);
    return c ? c->text : std::nullopt;
}

QFont CPageWnd::GetCellFontObject(int row, int col) const
{
    const PageCell* c = GetCell(row, col);
    return c ? fonts_[std::size_t(c->fontIndex)] : normalFont_;
}

QFont CPageWnd::GetCellFont(int row, int col) const
{
    return GetCellFontObject(row, col);
}

void CPageWnd::SetCellFontIndirect(int row, int col, const QFont& description)
{
    if (PageCell* c = GetCell(row, col)) {
        c->fontIndex = fontFor(description);
        update();
    }
}

void CPageWnd::SetCellFontIndex(int row, int col, int index)
{
    if (index < 0 || index >= int(fonts_.size()))
        return;
    if (PageCell* c = GetCell(row, col)) {
        c->fontIndex = index;
        update();
    }
}

void CPageWnd::SetCellFont(int row, int col, const QFont& font)
{
    SetCellFontIndirect(row, col, font);
}

void CPageWnd::SetCellAlign(int row, int col, int align)
{
    if (PageCell* c = GetCell(row, col)) {
        c->align = align;
        update();
    }
}

int CPageWnd::GetCellAlign(int row, int col) const
{
    const PageCell* c = GetCell(row, col);
    return c ? c->align : kAlignLeft;
}

QColor CPageWnd::GetCellTextColor(int row, int col) const
{
    const PageCell* c = GetCell(row, col);
    return c ? c->textColor : palette().color(QPalette::Text);
}

void CPageWnd::SetCellTextColor(int row, int col, const QColor& color)
{
    if (PageCell* c = GetCell(row, col)) {
        c->textColor = color;
        update();
    }
}

// ---------------------------------------------------------------- geometry

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

// ---------------------------------------------------------------- painting

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
    if (editor_->isHidden() && !curRect_.isNull()) {
        QPen pen(palette().color(QPalette::Text), 2);
        pen.setJoinStyle(Qt::MiterJoin);
        p.setPen(pen);
        p.setBrush(Qt::NoBrush);
        // 2-pixel outline inside (left + 2, top + 2)-(right - 1, bottom - 1).
        p.drawRect(QRectF(curRect_.left() + 3, curRect_.top() + 3, curRect_.width() - 5, curRect_.height() - 5));
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
}

void CPageWnd::DrawColumnHeaders(QPainter& p, int firstCol, int lastCol)
{
    for (int c = firstCol; c <= lastCol; ++c) {
        const QRect r = cellRect(0, c);
        const QBrush face(GetCellBkColor(0, c));
        qDrawShadePanel(&p, r, palette(), false, 1, &face);
        DrawCellText(p, 0, c, r);
    }
}

void CPageWnd::DrawRowHeaders(QPainter& p, int firstRow, int lastRow)
{
    for (int r = firstRow; r <= lastRow; ++r) {
        const QRect rect = cellRect(r, 0);
        const QBrush face(GetCellBkColor(r, 0));
        qDrawShadePanel(&p, rect, palette(), false, 1, &face);
        DrawCellText(p, r, 0, rect);
    }
}

void CPageWnd::DrawCells(QPainter& p, int firstRow, int lastRow, int firstCol, int lastCol)
{
    for (int r = firstRow; r <= lastRow; ++r)
        for (int c = firstCol; c <= lastCol; ++c) {
            const QRect rect = cellRect(r, c);
            p.fillRect(rect, GetCellBrush(r, c));
            DrawCellText(p, r, c, rect);
        }
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
    const QRect in = r.adjusted(1, 1, -1, -1);
    const bool bold = boldHeaders_ && ((row == 0 && col == curCol_) || (col == 0 && row == curRow_));
    const QFont f = bold ? boldFont_ : fonts_[std::size_t(cell->fontIndex)];
    const QFontMetrics fm(f);
    const int w = fm.horizontalAdvance(*cell->text);
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
    p.setPen(cell->textColor);
    p.drawText(QPoint(x, baseline), *cell->text);
    p.restore();
}

void CPageWnd::HighlightHeaders(bool bold)
{
    boldHeaders_ = bold;
    update();
}

// ----------------------------------------------------- current cell, moves

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
    curRect_ = (curRow_ >= 0 && curRow_ < rows_ && curCol_ >= 0 && curCol_ < cols_) ? cellRect(curRow_, curCol_)
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

void CPageWnd::keyPressEvent(QKeyEvent* e)
{
    const QRect client = clientArea();
    switch (e->key()) {
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
    case Qt::Key_Return:
    case Qt::Key_Enter: openEditor(); return;
    default: break;
    }
    TableFrame::keyPressEvent(e);
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

// ------------------------------------------------------------- cell editor

void CPageWnd::openEditor()
{
    if (!editor_->isHidden() || curRect_.isNull() || !validAddress(curRow_, curCol_))
        return;
    editor_->setFont(GetCellFontObject(curRow_, curCol_));
    editor_->setText(GetCellText(curRow_, curCol_).value_or(QString()));
    editor_->setGeometry(QRect(QPoint(curRect_.left() + 2, curRect_.top() + 2),
                               QPoint(curRect_.right() - 1, curRect_.bottom() - 1)));
    editor_->show();
    editor_->setFocus();
    // Typing replaces the value; the caret keys still reach the old text.
    editor_->selectAll();
}

void CPageWnd::EndCellEdit(bool commit)
{
    if (editor_->isHidden())
        return;
    const bool hadFocus = editor_->hasFocus();
    editor_->hide();
    if (commit) {
        SetCellText(curCol_, curRow_, page::formatCommit(editor_->text()));
        modified_ = true;
    }
    editor_->clear();
    // Focus back to the grid when the box had it, or when the window is not
    // active (it then comes back to the grid, not to the hidden box).
    if ((hadFocus || !isActiveWindow()) && !closing_)
        setFocus();
    update(curRect_);
}

void CPageWnd::closeEvent(QCloseEvent* e)
{
    closing_ = true;
    SaveWindowRect();
    // An edit still open in the cell editor is not committed.
    editor_->hide();
    if (modified_ && target() && !isAbandoned())
        storeGridTable(*this);
    e->accept();
}

// ----------------------------------------------------------- grid tables

CPageWnd* openGridTable(std::unique_ptr<TableTarget> target, QWidget* owner)
{
    if (!target)
        return nullptr;
    QString why;
    const auto table = decodeTbl3d(target->bytes(), &why);
    if (!table) {
        ui::tell(owner, QStringLiteral("The Record is not editable as a grid table: %1").arg(why),
                ui::Tone::Warning);
        return nullptr;
    }
    if ((long long)table->groups * table->perGroup > CPageWnd::kMaxCells) {
        ui::tell(owner,
                QStringLiteral("The Record is not editable as a grid table: %1 x %2 cells are too many.")
                        .arg(table->groups)
                        .arg(table->perGroup),
                ui::Tone::Warning);
        return nullptr;
    }
    auto* w = new CPageWnd(table->groups, table->perGroup, std::move(target), owner);
    for (int g = 0; g < table->groups; ++g)
        for (int k = 0; k < table->perGroup; ++k)
            w->SetCellText(g, k, formatFixed(table->values[std::size_t(g) * std::size_t(table->perGroup) + std::size_t(k)]));
    w->bringToFront();
    return w;
}

bool storeGridTable(CPageWnd& grid)
{
    TableTarget* t = grid.target();
    if (!t)
        return false;
    const int cols = grid.GetColCount(), rows = grid.GetRowCount();
    const bool ok = grid.writeBack([&](Bytes& b) {
        base::bytes::writeLE<std::uint32_t>(b, 0, std::uint32_t(cols));
        base::bytes::writeLE<std::uint32_t>(b, 4, std::uint32_t(rows));
        for (int j = 0; j < cols; ++j)
            for (int i = 0; i < rows; ++i) {
                const QString text = grid.GetCellText(i, j).value_or(QString()).left(19);
                model::setTbl3dValue(b, std::uint32_t(j), std::uint32_t(i), parseGeneralRealPrefix(text));
            }
    });
    if (ok)
        t->markModified();
    return ok;
}

} // namespace tables
