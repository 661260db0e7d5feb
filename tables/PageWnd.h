#pragma once
// CPageWnd: a general grid of text cells with a frozen header row (row 0) and
// header column (column 0), a framed current cell, arrow-key and mouse
// navigation, scroll bars, and an in-cell editor for numbers (CPageEdit).
// Cells carry alignment, text colour, background and font; backgrounds and
// fonts live in shared lists that cells refer to by index.
//
// Cell coordinates are (row, column) except for SetCellText and CopyCellText,
// which take the column first. Addresses outside the grid are reported to the
// debug output and answer the no-cell value.
#include "tables/HeatPalette.h"
#include "tables/PageEdit.h"
#include "tables/TableFrame.h"
#include "tables/TableOps.h"

#include <QColor>
#include <QFont>

#include <optional>
#include <vector>

class QMenu;
class QScrollBar;
class QUndoStack;

namespace tables {

// Horizontal text alignment codes of a cell.
enum PageAlign { kAlignLeft = 0, kAlignRight = 2, kAlignCenter = 6 };

struct PageCell {
    int align = kAlignRight;
    std::optional<QString> text;
    QColor textColor;
    int brushIndex = 0;
    int fontIndex = 0;
    // The value pasted or computed into the cell, kept exactly; the text
    // shows it. Set text (typed or SetCellText) drops it.
    std::optional<double> exact;
};

struct PageScrollState {
    int hpos = 0, vpos = 0; // body scrolled by this many columns / rows
    int hpage = 1, vpage = 1; // columns / rows per page at the last update
    int hmax = 0, vmax = 0; // cols - 2, rows - 2
    int colWidth = 0, rowHeight = 0;
};

class CPageWnd : public TableFrame {
    Q_OBJECT
public:
    // A grid of cols x rows; with a target, the window is bound to a grid
    // table and writes it back on close when an edit was committed.
    CPageWnd(int cols, int rows, std::unique_ptr<TableTarget> target, QWidget* owner);
    // Larger sizes are refused (the grid stays empty).
    static constexpr long long kMaxCells = 1 << 24;
    ~CPageWnd() override;

    virtual int HitColumnBorder(int x, int y) const;
    virtual int PointsToHeight(int points) const;
    virtual void SetSize(int cols, int rows);
    virtual void IndexToCell(int index, int& row, int& col) const;
    virtual int CellToIndex(int row, int col) const;
    virtual PageCell* GetCell(int row, int col);
    virtual const PageCell* GetCell(int row, int col) const;
    virtual PageCell* GetCellAt(int index);
    virtual void OnDraw(QPainter& p, const QRect& update);
    virtual void UpdateScrollBars();
    virtual void DrawCurrentCell(bool eraseOld, bool drawNew);
    virtual void HighlightHeaders(bool bold);
    virtual void EndCellEdit(bool commit);
    virtual QColor GetCellBkColor(int row, int col) const;
    virtual void SetCellBkColor(int row, int col, const QColor& c);
    virtual QBrush GetCellBrush(int row, int col) const;
    virtual void SetCellText(int col, int row, const QString& text);
    virtual int CopyCellText(int col, int row, QString* buffer, int size) const;
    virtual std::optional<QString> GetCellText(int row, int col) const;
    virtual int GetRowCount() const { return rows_; }
    virtual int GetColCount() const { return cols_; }
    virtual QFont GetCellFontObject(int row, int col) const;
    virtual QFont GetCellFont(int row, int col) const;
    virtual void SetCellFontIndirect(int row, int col, const QFont& description);
    virtual void SetCellFontIndex(int row, int col, int index);
    virtual void SetCellFont(int row, int col, const QFont& font);
    virtual void SetCellAlign(int row, int col, int align);
    virtual int GetCellAlign(int row, int col) const;
    virtual QColor GetCellTextColor(int row, int col) const;
    virtual void SetCellTextColor(int row, int col, const QColor& c);
    virtual QFont GetGridFont() const { return normalFont_; }

    // State for the owner and for tests.
    int currentRow() const { return curRow_; }
    int currentCol() const { return curCol_; }
    const PageScrollState& scrollState() const { return scroll_; }
    bool isModified() const { return modified_; }
    CPageEdit* cellEditor() const { return editor_; }
    QRect currentCellRect() const { return curRect_; }
    // Where a cell is drawn now; null while it is scrolled out of view.
    QRect cellRectFor(int row, int col) const
    {
        return validAddress(row, col) ? cellRect(row, col) : QRect();
    }
    QRect clientArea() const;
    const std::vector<int>& colWidths() const { return colWidths_; }
    const std::vector<int>& rowHeights() const { return rowHeights_; }
    int fontListSize() const { return int(fonts_.size()); }
    int brushListSize() const { return int(brushes_.size()); }
    QScrollBar* horizontalBar() const { return hbar_; }
    QScrollBar* verticalBar() const { return vbar_; }

    // The workbench: a rectangular selection (the current cell when nothing
    // more is selected), spreadsheet copy and paste, operations and undo
    // inside the window, and the heat map. Every change is one undo step.
    CellRange selection() const;
    bool hasSelection() const { return anchorRow_ != curRow_ || anchorCol_ != curCol_; }
    void selectRange(const CellRange& r); // the current cell becomes its bottom-right
    void selectAll();
    // What a cell is written back as: its exact value, else its first 19
    // characters read as a number.
    double cellValue(int row, int col) const;
    void setCellValue(int row, int col, double v);
    // Tab-separated lines of the selection, or of every cell.
    QString copyText(bool wholeTable) const;
    // Pastes at the selection's top-left; one value fills the selection.
    // Refusals change nothing and are told to the user.
    bool pasteText(const QString& text);
    bool applyOperation(TableOp op, double operand = 0);
    QUndoStack* undoStack() const override { return undo_; }
    bool heatMap() const { return heatMap_; }
    void setHeatMap(bool on); // remembered in the settings
    HeatPalette heatPalette() const { return heatPalette_; }
    void setHeatPalette(HeatPalette p);
    // The context menu with every command; the caller owns it.
    QMenu* createContextMenu();

    // While the target has a counterpart in the file compared with. Cells
    // are matched by group and place in the group (column and row).
    bool comparing() const { return reference().has_value(); }
    // The counterpart's value of a cell; nullopt where its grid has no such
    // cell or its bytes are no grid.
    std::optional<double> referenceValue(int row, int col) const;
    // The cell would be written with other bits than the counterpart holds,
    // or the counterpart has no such cell. False while not comparing.
    bool cellDiffers(int row, int col) const;
    // "Reference: .. | Current: .. | Difference: .." (current minus
    // reference) for the cell's tooltip; empty while not comparing.
    QString compareText(int row, int col) const;
    // With the heat map on and a compare running, the body shows and
    // colours current minus reference instead of the values.
    bool showDifferences() const { return showDifferences_; }
    void setShowDifferences(bool on);
    bool differencesShown() const { return heatMap_ && showDifferences_ && comparing(); }
    // What a body cell shows: its text, or in the difference view the signed
    // difference ("only here" where the reference lacks the cell).
    std::optional<QString> shownText(int row, int col) const;

    // Cell states for undo: text and exact value, row-major over a range.
    struct CellState {
        std::optional<QString> text;
        std::optional<double> exact;
    };
    std::vector<CellState> cellStates(const CellRange& r) const;
    void restoreCells(const CellRange& r, const std::vector<CellState>& states);

    // The editor's own keys, as CPageEdit hands them over.
    void editorCommitted() { EndCellEdit(true); }
    void editorCancelled() { EndCellEdit(false); }

protected:
    void paintEvent(QPaintEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void contextMenuEvent(QContextMenuEvent* e) override;
    void wheelEvent(QWheelEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    bool event(QEvent* e) override;
    void referenceRead() override;

    virtual void DrawCorner(QPainter& p);
    virtual void DrawColumnHeaders(QPainter& p, int firstCol, int lastCol);
    virtual void DrawRowHeaders(QPainter& p, int firstRow, int lastRow);
    virtual void DrawCells(QPainter& p, int firstRow, int lastRow, int firstCol, int lastCol);
    virtual void DrawGridLines(QPainter& p, int firstRow, int lastRow, int firstCol, int lastCol);
    virtual void DrawCellText(QPainter& p, int row, int col, const QRect& r);
    void DrawSelection(QPainter& p, int firstRow, int lastRow, int firstCol, int lastCol);
    // The mark of a cell that differs from the reference: a triangle in its
    // top-left corner.
    void DrawDifferenceMark(QPainter& p, int row, int col, const QRect& r, const QColor& color);

private:
    bool validAddress(int row, int col) const;
    void scrollBy(Qt::Orientation o, int step);
    void moveTo(int row, int col);
    void moveByKey(int key);
    bool commandKey(QKeyEvent* e);
    void collapseSelection();
    void pushCells(const CellRange& r, std::vector<CellState> before, const QString& what);
    bool askAndApply(TableOp op);
    std::optional<std::pair<double, double>> heatRange() const;
    void loadHeatSettings();
    void openEditor();
    void drawTextIn(QPainter& p, int row, int col, const QRect& r, const QString& text);
    QRect cellRect(int row, int col) const;
    void updateCurrentRect();
    void layoutBars();
    int brushFor(const QColor& c);
    int fontFor(const QFont& f);

    QColor background_;
    int cols_ = 0, rows_ = 0, cellCount_ = 0;
    PageScrollState scroll_;
    std::vector<PageCell> cells_;
    std::vector<int> rowHeights_, colWidths_;
    bool showGridLines_ = true;
    QRect curRect_;
    bool modified_ = false;
    int curRow_ = 1, curCol_ = 1;
    int prevRow_ = 1, prevCol_ = 1;
    bool boldHeaders_ = false;
    QFont normalFont_, boldFont_;
    QColor gridPen_;
    CPageEdit* editor_ = nullptr;
    std::vector<QFont> fonts_;
    std::vector<QColor> brushes_;
    QScrollBar* hbar_ = nullptr;
    QScrollBar* vbar_ = nullptr;
    bool closing_ = false;
    QPoint wheelRest_;
    int anchorRow_ = 1, anchorCol_ = 1;
    QUndoStack* undo_ = nullptr;
    bool heatMap_ = false;
    HeatPalette heatPalette_ = HeatPalette::Viridis;
    mutable std::optional<std::pair<double, double>> heatRange_; // cached; reset by changes
    QColor textOverride_; // the heat map's text colour while a cell is drawn
    std::optional<GridTable> refGrid_; // the counterpart, when it is a grid
    bool showDifferences_ = false;
};

// Opens the grid window on a grid table (counts A, B, then A groups of B
// doubles; group g is grid column g, value k grid row k), shows it and
// answers it. Counts of 0 or less, or counts claiming more bytes than the
// entry holds, are refused with a message and answer nullptr.
CPageWnd* openGridTable(std::unique_ptr<TableTarget> target, QWidget* owner);

// Writes the grid's cells back over the table bytes (each cell's value as
// cellValue() gives it: the value read or pasted, kept exactly, or the
// first 19 characters of typed text read as a number, 0 when they are none)
// and marks the document
// modified. The entry keeps its length; bytes past the table are untouched.
bool storeGridTable(CPageWnd& grid);

} // namespace tables
