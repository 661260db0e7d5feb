// The grid window's life: creation with its parts, destruction and closing.
#include "tables/PageWnd.h"

#include "tables/PageEdit.h"
#include "tables/TableAccessible.h"
#include "ui/Settings.h"

#include <QCloseEvent>
#include <QFontDatabase>
#include <QScrollBar>
#include <QUndoStack>

namespace tables {

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

    undo_ = new QUndoStack(this);
    loadHeatSettings();

    setFocusPolicy(Qt::StrongFocus);
    SetSize(cols, rows);
    enableAccessibility(this);
    referenceRead();
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

} // namespace tables
