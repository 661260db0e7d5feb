// The grid's workbench: selection, spreadsheet copy and paste, operations
// with undo inside the window, the heat map and the context menu.
#include "tables/PageWnd.h"

#include "tables/TableText.h"
#include "tables/WorkbenchUi.h"
#include "ui/Messages.h"
#include "ui/Settings.h"

#include <QActionGroup>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QUndoStack>

namespace tables {

namespace {

// One change of a rectangle of cells, already made when it is pushed.
class CellsCommand : public QUndoCommand {
public:
    CellsCommand(CPageWnd* grid, CellRange r, std::vector<CPageWnd::CellState> before,
            std::vector<CPageWnd::CellState> after, const QString& text)
            : QUndoCommand(text), grid_(grid), range_(r), before_(std::move(before)), after_(std::move(after))
    {}
    void undo() override { grid_->restoreCells(range_, before_); }
    void redo() override
    {
        if (!done_)
            grid_->restoreCells(range_, after_);
        done_ = false;
    }

private:
    CPageWnd* grid_;
    CellRange range_;
    std::vector<CPageWnd::CellState> before_, after_;
    bool done_ = true; // the first redo(), from push(), finds the change made
};

} // namespace

CellRange CPageWnd::selection() const
{
    return CellRange{std::min(anchorRow_, curRow_), std::min(anchorCol_, curCol_),
            std::abs(anchorRow_ - curRow_) + 1, std::abs(anchorCol_ - curCol_) + 1};
}

void CPageWnd::selectRange(const CellRange& r)
{
    if (!validAddress(r.top, r.left) || !validAddress(r.bottom(), r.right()))
        return;
    moveTo(r.bottom(), r.right());
    anchorRow_ = r.top;
    anchorCol_ = r.left;
    update();
}

void CPageWnd::selectAll()
{
    if (cellCount_ > 0)
        selectRange(CellRange{0, 0, rows_, cols_});
}

QString CPageWnd::copyText(bool wholeTable) const
{
    const CellRange r = wholeTable ? CellRange{0, 0, rows_, cols_} : selection();
    if (cellCount_ == 0)
        return {};
    ValueBlock b{r.rows, r.cols, {}};
    b.values.reserve(std::size_t(r.rows) * std::size_t(r.cols));
    for (int i = r.top; i <= r.bottom(); ++i)
        for (int j = r.left; j <= r.right(); ++j)
            b.values.push_back(cellValue(i, j));
    return QString::fromStdString(writeBlock(b, CellKind::Real));
}

void CPageWnd::pushCells(const CellRange& r, std::vector<CellState> before, const QString& what)
{
    modified_ = true;
    undo_->push(new CellsCommand(this, r, std::move(before), cellStates(r), what));
}

bool CPageWnd::pasteText(const QString& text)
{
    if (cellCount_ == 0)
        return false;
    const CellRange sel = selection();
    ValueBlock b;
    TextError err;
    if (!readBlock(text.toStdString(), CellKind::Real, b, err)) {
        ui::tell(this,
                QStringLiteral("Nothing was pasted: row %1, column %2: \"%3\" %4.")
                        .arg(sel.top + err.row + 1)
                        .arg(sel.left + err.col + 1)
                        .arg(QString::fromStdString(err.text), QString::fromStdString(err.reason)),
                ui::Tone::Warning);
        return false;
    }
    // One value fills the selection; a block goes from its top-left.
    const bool fill = b.rows == 1 && b.cols == 1;
    const CellRange dest = fill ? sel : CellRange{sel.top, sel.left, b.rows, b.cols};
    if (dest.bottom() >= rows_ || dest.right() >= cols_) {
        const int r = dest.bottom() >= rows_ ? rows_ - sel.top : 0;
        const int c = dest.bottom() >= rows_ ? 0 : cols_ - sel.left;
        ui::tell(this,
                QStringLiteral(
                        "Nothing was pasted: row %1, column %2: \"%3\" lies outside the table of %4 rows "
                        "and %5 columns.")
                        .arg(sel.top + r + 1)
                        .arg(sel.left + c + 1)
                        .arg(QString::fromStdString(formatValue(b.at(r, c), CellKind::Real)))
                        .arg(rows_)
                        .arg(cols_),
                ui::Tone::Warning);
        return false;
    }
    auto before = cellStates(dest);
    for (int i = 0; i < dest.rows; ++i)
        for (int j = 0; j < dest.cols; ++j)
            setCellValue(dest.top + i, dest.left + j, fill ? b.values[0] : b.at(i, j));
    pushCells(dest, std::move(before), QStringLiteral("Paste"));
    selectRange(dest);
    return true;
}

bool CPageWnd::applyOperation(TableOp op, double operand)
{
    if (cellCount_ == 0)
        return false;
    if (!editor_->isHidden())
        EndCellEdit(true);
    const CellRange sel = selection();
    ValueBlock b{sel.rows, sel.cols, {}};
    for (int i = sel.top; i <= sel.bottom(); ++i)
        for (int j = sel.left; j <= sel.right(); ++j)
            b.values.push_back(cellValue(i, j));
    if (const auto no = applyOp(b, CellRange{0, 0, sel.rows, sel.cols}, op, operand, CellKind::Real)) {
        ui::tell(this,
                QStringLiteral(
                        "%1 was not applied: row %2, column %3 would become %4, which the table cannot "
                        "hold.")
                        .arg(opName(op))
                        .arg(sel.top + no->row + 1)
                        .arg(sel.left + no->col + 1)
                        .arg(QString::number(no->value)),
                ui::Tone::Warning);
        return false;
    }
    auto before = cellStates(sel);
    for (int i = 0; i < sel.rows; ++i)
        for (int j = 0; j < sel.cols; ++j)
            setCellValue(sel.top + i, sel.left + j, b.at(i, j));
    pushCells(sel, std::move(before), opName(op));
    return true;
}

bool CPageWnd::askAndApply(TableOp op)
{
    const auto v = askOperand(this, op);
    return v && applyOperation(op, *v);
}

void CPageWnd::setHeatMap(bool on)
{
    heatMap_ = on;
    QSettings s = ui::settings::store();
    s.setValue(QString(ui::settings::kTbl3dSection) + u'/' + ui::settings::kHeatMap, on);
    update();
}

void CPageWnd::setHeatPalette(HeatPalette p)
{
    heatPalette_ = p;
    QSettings s = ui::settings::store();
    s.setValue(QString(ui::settings::kTbl3dSection) + u'/' + ui::settings::kHeatPalette,
            p == HeatPalette::Cividis ? QStringLiteral("cividis") : QStringLiteral("viridis"));
    update();
}

void CPageWnd::loadHeatSettings()
{
    const QSettings s = ui::settings::store();
    const QString section = QString(ui::settings::kTbl3dSection) + u'/';
    heatMap_ = s.value(section + ui::settings::kHeatMap, false).toBool();
    heatPalette_ = s.value(section + ui::settings::kHeatPalette).toString() == QLatin1String("cividis")
            ? HeatPalette::Cividis
            : HeatPalette::Viridis;
}

bool CPageWnd::commandKey(QKeyEvent* e)
{
    const auto mods = e->modifiers() & ~Qt::KeypadModifier;
    if (undoKey(e, undo_))
        return true;
    // The keys without Ctrl, Alt or Meta.
    auto plainKey = [this, e] {
        if (const auto op = commonOpKey(e))
            askAndApply(*op);
        else if (e->key() == Qt::Key_R)
            applyOperation(TableOp::InterpolateRows);
        else if (e->key() == Qt::Key_C)
            applyOperation(TableOp::InterpolateCols);
        else if (e->key() == Qt::Key_B)
            applyOperation(TableOp::Bilinear);
        else if (e->key() == Qt::Key_H)
            setHeatMap(!heatMap_);
        else
            return false;
        return true;
    };
    if (e->key() == Qt::Key_C && mods == (Qt::ControlModifier | Qt::ShiftModifier))
        QGuiApplication::clipboard()->setText(copyText(true));
    else if (e->matches(QKeySequence::Copy))
        QGuiApplication::clipboard()->setText(copyText(false));
    else if (e->matches(QKeySequence::Paste))
        pasteText(QGuiApplication::clipboard()->text());
    else if (e->matches(QKeySequence::SelectAll))
        selectAll();
    else
        return !(mods & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) && plainKey();
    return true;
}

QMenu* CPageWnd::createContextMenu()
{
    auto* m = new QMenu(this);
    auto* clip = QGuiApplication::clipboard();
    addCommand(
            m, QStringLiteral("&Copy"), QKeySequence::Copy, [this, clip] { clip->setText(copyText(false)); });
    addCommand(m, QStringLiteral("Copy &Whole Table"), QKeySequence(QStringLiteral("Ctrl+Shift+C")),
            [this, clip] { clip->setText(copyText(true)); });
    addCommand(m, QStringLiteral("&Paste"), QKeySequence::Paste, [this, clip] { pasteText(clip->text()); });
    addCommand(m, QStringLiteral("Select &All"), QKeySequence::SelectAll, [this] { selectAll(); });
    m->addSeparator();
    addValueCommands(m, [this](TableOp op) { askAndApply(op); });
    const std::pair<const char*, TableOp> interpolations[] = {
            {"Interpolate Along &Rows\tR", TableOp::InterpolateRows},
            {"Interpolate Along Co&lumns\tC", TableOp::InterpolateCols},
            {"Interpolate from Corners (&Bilinear)\tB", TableOp::Bilinear}, {"Sm&ooth\tS", TableOp::Smooth}};
    for (const auto& [label, op] : interpolations) {
        const QString text = QString::fromLatin1(label);
        addCommand(m, text.section(u'\t', 0, 0), QKeySequence(text.section(u'\t', 1)),
                [this, op = op] { applyOperation(op); });
    }
    m->addSeparator();
    addUndoCommands(m, undo_);
    m->addSeparator();
    QAction* heat = addCommand(m, QStringLiteral("&Heat Map"), QKeySequence(QStringLiteral("H")),
            [this] { setHeatMap(!heatMap_); });
    heat->setCheckable(true);
    heat->setChecked(heatMap_);
    QMenu* pal = m->addMenu(QStringLiteral("Heat Map &Palette"));
    auto* group = new QActionGroup(pal);
    for (auto [name, p] : {std::pair{QStringLiteral("Viridis"), HeatPalette::Viridis},
                 std::pair{QStringLiteral("Cividis"), HeatPalette::Cividis}}) {
        QAction* a = pal->addAction(name, [this, p = p] { setHeatPalette(p); });
        a->setCheckable(true);
        a->setChecked(heatPalette_ == p);
        group->addAction(a);
    }
    // Last, so the other commands keep their places.
    QAction* differences = addCommand(m, QStringLiteral("Heat Map of &Differences"), QKeySequence(),
            [this] { setShowDifferences(!showDifferences_); });
    differences->setObjectName(QStringLiteral("heatMapDifferences"));
    differences->setCheckable(true);
    differences->setChecked(showDifferences_);
    differences->setEnabled(comparing());
    return m;
}

void CPageWnd::contextMenuEvent(QContextMenuEvent* e)
{
    if (!editor_->isHidden())
        EndCellEdit(true);
    QMenu* m = createContextMenu();
    m->setAttribute(Qt::WA_DeleteOnClose);
    m->popup(e->globalPos());
}

} // namespace tables
