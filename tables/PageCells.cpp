// The grid's cell store: size, addresses, and each cell's text, colours, font and alignment.
#include "tables/PageWnd.h"

#include "tables/TableBytes.h"
#include "tables/TableText.h"

#include <cmath>

namespace tables {

bool CPageWnd::validAddress(int row, int col) const
{
    if (row >= 0 && row < rows_ && col >= 0 && col < cols_)
        return true;
    qWarning("Cell page idx (%d, %d) is not valid", row, col);
    return false;
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
    anchorRow_ = curRow_;
    anchorCol_ = curCol_;
    heatRange_.reset();
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
        c->exact.reset();
        heatRange_.reset();
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

double CPageWnd::cellValue(int row, int col) const
{
    const PageCell* c = GetCell(row, col);
    if (!c)
        return 0;
    if (c->exact)
        return *c->exact;
    return parseGeneralRealPrefix(c->text.value_or(QString()).left(19));
}

void CPageWnd::setCellValue(int row, int col, double v)
{
    PageCell* c = GetCell(row, col);
    if (!c)
        return;
    // "%f" like the rest of the grid when that is exact, else the shortest
    // text that reads back to v.
    QString text = formatFixed(v);
    if (parseGeneralRealPrefix(text) != v)
        text = QString::fromStdString(formatValue(v, CellKind::Real));
    c->text = text;
    c->exact = v;
    heatRange_.reset();
    update();
}

std::vector<CPageWnd::CellState> CPageWnd::cellStates(const CellRange& r) const
{
    std::vector<CellState> out;
    out.reserve(std::size_t(r.rows) * std::size_t(r.cols));
    for (int i = r.top; i <= r.bottom(); ++i)
        for (int j = r.left; j <= r.right(); ++j) {
            const PageCell* c = GetCell(i, j);
            out.push_back(c ? CellState{c->text, c->exact} : CellState{});
        }
    return out;
}

void CPageWnd::restoreCells(const CellRange& r, const std::vector<CellState>& states)
{
    std::size_t k = 0;
    for (int i = r.top; i <= r.bottom(); ++i)
        for (int j = r.left; j <= r.right(); ++j, ++k)
            if (PageCell* c = GetCell(i, j); c && k < states.size()) {
                c->text = states[k].text;
                c->exact = states[k].exact;
            }
    heatRange_.reset();
    modified_ = true;
    update();
}

} // namespace tables
