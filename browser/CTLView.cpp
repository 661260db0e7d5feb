#include "browser/CTLView.h"

#include "browser/RecordTreeModel.h"
#include "browser/TypePictures.h"
#include "document/DocNotifier.h"
#include "model/CTLDoc.h"
#include "model/DocChange.h"
#include "ui/Messages.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QFile>
#include <QHeaderView>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QResizeEvent>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QToolTip>

#include <algorithm>
#include <cstdio>

namespace browser {

CTLView::CTLView(document::DocNotifier& notifier, QWidget* parent)
        : QTreeView(parent), doc_(notifier.document()), model_(new RecordTreeModel(doc_, this))
{
    using document::DocNotifier;
    // Slots run in the order of connection: the view hears of a coming
    // change before the model moves its rows, and of a change after.
    connect(&notifier, &DocNotifier::aboutToChange, this, &CTLView::documentAboutToChange);
    model_->follow(&notifier);
    connect(&notifier, &DocNotifier::changed, this, &CTLView::documentChanged);
    // A new list, or the root's new name.
    connect(&notifier, &DocNotifier::loaded, this, &CTLView::rebuildTree);
    connect(&notifier, &DocNotifier::saved, this, [this] {
        if (doc_.fullPath() != shownPath_)
            rebuildTree();
    });
    setObjectName(QStringLiteral("CTLView"));
    setModel(model_);
    setHeaderHidden(true);
    setRootIsDecorated(false); // no lines or button at the root level
    setIndentation(20);
    setUniformRowHeights(true); // keeps 100,000 rows cheap to lay out
    setItemsExpandable(true);
    setExpandsOnDoubleClick(false);
    setDragEnabled(false);
    setAcceptDrops(false);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setIconSize(kTypePictureSize);
    setAllColumnsShowFocus(true);
    setContextMenuPolicy(Qt::DefaultContextMenu);
    // Long item texts scroll sideways rather than being cut: the column
    // grows to the widest row that has been in view.
    header()->setSectionResizeMode(0, QHeaderView::Fixed);
    header()->setStretchLastSection(false);
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, [this] { fitColumnToVisibleRows(); });
    connect(this, &QTreeView::expanded, this, [this] { fitColumnToVisibleRows(); });
    connect(this, &QTreeView::collapsed, this, [this] { fitColumnToVisibleRows(); });
    connect(model_, &QAbstractItemModel::dataChanged, this, [this] { fitColumnToVisibleRows(); });

    // The selection stays visible when the tree loses the focus.
    QPalette pal = palette();
    pal.setColor(QPalette::Inactive, QPalette::Highlight, pal.color(QPalette::Active, QPalette::Highlight));
    pal.setColor(QPalette::Inactive, QPalette::HighlightedText,
            pal.color(QPalette::Active, QPalette::HighlightedText));
    setPalette(pal);
}

CTLView::~CTLView() = default;

// ---------------------------------------------------------------------------
// Tree state

void CTLView::rebuildTree()
{
    // Tooltips show texts too long for the window, on a pink ground.
    QPalette tip = QToolTip::palette();
    tip.setColor(QPalette::ToolTipBase, QColor(255, 200, 255));
    tip.setColor(QPalette::ToolTipText, Qt::black);
    QToolTip::setPalette(tip);

    shownPath_ = doc_.fullPath();
    if (!doc_.hasData()) {
        model_->rebuild(sort_);
        emit rebuilt();
        return;
    }
    model_->rebuild(sort_);
    updateCountText();

    const QModelIndex root = model_->indexForEntry(0);
    // Only the root is expanded after a rebuild: the reset already collapsed
    // everything else.
    expand(root);
    setCurrentIndex(root);
    scrollTo(root);
    fitColumnToVisibleRows(true);
    emit rebuilt();
}

void CTLView::updateCountText()
{
    char buf[64];
    std::snprintf(buf, sizeof buf, " has %d records.", doc_.recordCount());
    countText_ = QFile::decodeName(QByteArray::fromStdString(doc_.fileName())) + QLatin1String(buf);
    emit statusTextChanged(countText_);
}

void CTLView::documentChanged(const model::Change& c)
{
    const bool listChanged = c.kind == model::ChangeKind::Insert || c.kind == model::ChangeKind::Remove;
    if (listChanged) {
        updateCountText();
        // Rows moved into view: the column may need to grow.
        fitColumnToVisibleRows();
    }
    if (c.origin == model::ChangeOrigin::Edit)
        return;
    // Show what the undo or redo changed: the entry, a record put back, or
    // the record that took the place of one taken out (else the one before).
    int select = c.index;
    if (c.kind == model::ChangeKind::Remove && !doc_.isRecord(select)) {
        select = std::min(select, doc_.highestIndex());
        while (select > 0 && !doc_.isRecord(select))
            --select;
    }
    selectEntry(select);
}

void CTLView::fitColumnToVisibleRows(bool restart)
{
    if (bulk_)
        return;
    int width = restart ? 0 : header()->sectionSize(0);
    width = std::max(width, viewport()->width());
    const int bottom = viewport()->height();
    // The rows in view: at most a screenful, whatever the list's length.
    QModelIndex idx = indexAt(QPoint(0, 0));
    for (int n = 0; idx.isValid() && n < 500; ++n, idx = indexBelow(idx)) {
        const QRect r = visualRect(idx);
        if (r.top() > bottom)
            break;
        width = std::max(width, r.x() + horizontalOffset() + sizeHintForIndex(idx).width());
    }
    if (width != header()->sectionSize(0))
        header()->resizeSection(0, width);
}

void CTLView::resizeEvent(QResizeEvent* event)
{
    QTreeView::resizeEvent(event);
    fitColumnToVisibleRows();
}

bool CTLView::selectEntry(int listIndex)
{
    const QModelIndex idx = model_->indexForEntry(listIndex);
    if (!idx.isValid())
        return false;
    setCurrentIndex(idx);
    scrollTo(idx);
    return true;
}

int CTLView::currentEntry() const
{
    return RecordTreeModel::entryOf(currentIndex());
}

QRect CTLView::itemRect(int listIndex) const
{
    const QModelIndex idx = model_->indexForEntry(listIndex);
    if (!idx.isValid())
        return {};
    return labelRect(idx);
}

void CTLView::setSortEntries(bool on)
{
    if (sort_ == on)
        return;
    sort_ = on;
    rebuildTree();
}

void CTLView::expandAllRecords()
{
    const QModelIndex root = model_->indexForEntry(0);
    if (!root.isValid())
        return;
    {
        // Qt signals every item it opens: fit the column once, at the end.
        const QScopedValueRollback<bool> bulk(bulk_, true);
        if (isExpanded(root)) {
            expandAll(); // one layout pass instead of one per record
        } else {
            for (int r = 0, n = model_->rowCount(root); r < n; ++r) {
                const QModelIndex rec = model_->index(r, 0, root);
                if (model_->hasChildren(rec))
                    expand(rec);
            }
        }
    }
    fitColumnToVisibleRows();
}

void CTLView::collapseAllRecords()
{
    const QModelIndex root = model_->indexForEntry(0);
    if (!root.isValid())
        return;
    {
        const QScopedValueRollback<bool> bulk(bulk_, true);
        const bool rootOpen = isExpanded(root);
        collapseAll();
        if (rootOpen)
            expand(root);
    }
    fitColumnToVisibleRows();
}

// ---------------------------------------------------------------------------
// Hit testing

QRect CTLView::labelRect(const QModelIndex& index) const
{
    if (!index.isValid())
        return {};
    const QRect cell = visualRect(index);
    if (cell.isEmpty())
        return {};
    QStyleOptionViewItem opt;
    initViewItemOption(&opt);
    opt.rect = cell;
    opt.index = index;
    opt.text = index.data(Qt::DisplayRole).toString();
    opt.features |= QStyleOptionViewItem::HasDisplay | QStyleOptionViewItem::HasDecoration;
    opt.decorationSize = iconSize();
    opt.icon = index.data(Qt::DecorationRole).value<QIcon>();
    const QRect deco = style()->subElementRect(QStyle::SE_ItemViewItemDecoration, &opt, this);
    const QRect text = style()->subElementRect(QStyle::SE_ItemViewItemText, &opt, this);
    const int margin = style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1;
    const int textRight = text.left() + 2 * margin + fontMetrics().horizontalAdvance(opt.text);
    const int left = std::min(deco.left(), text.left());
    return QRect(QPoint(left, cell.top()), QPoint(textRight, cell.bottom()));
}

QModelIndex CTLView::hitItem(const QPoint& pos) const
{
    const QModelIndex idx = indexAt(pos);
    if (!idx.isValid())
        return {};
    if (labelRect(idx).contains(pos))
        return idx;
    // The expand button sits in the indentation just left of the item.
    if (model_->hasChildren(idx) && idx.parent().isValid()) {
        const QRect cell = visualRect(idx);
        const QRect button(cell.left() - indentation(), cell.top(), indentation(), cell.height());
        if (button.contains(pos))
            return idx;
    }
    return {};
}

// ---------------------------------------------------------------------------
// Mouse and keys

void CTLView::pressItem(const QModelIndex& index)
{
    if (!index.isValid())
        return;
    const int entry = RecordTreeModel::entryOf(index);
    if (entry == 0 || model_->hasChildren(index)) {
        setExpanded(index, !isExpanded(index));
        return;
    }
    if (entry > 0)
        activateEntry(entry);
}

void CTLView::mousePressEvent(QMouseEvent* event)
{
    event->accept();
    if (event->button() != Qt::LeftButton)
        return; // the right button opens the menu
    if (inPlaceEditorOpen()) {
        focusInPlaceEditor();
        return;
    }
    const QModelIndex idx = hitItem(event->position().toPoint());
    if (!idx.isValid())
        return;
    setCurrentIndex(idx);
    pressItem(idx);
}

void CTLView::mouseMoveEvent(QMouseEvent* event)
{
    // No drag selection and no dragging of items.
    if (event->buttons() != Qt::NoButton) {
        event->accept();
        return;
    }
    QTreeView::mouseMoveEvent(event);
}

void CTLView::mouseReleaseEvent(QMouseEvent* event)
{
    // The press did all there is to do.
    event->accept();
}

void CTLView::mouseDoubleClickEvent(QMouseEvent* event)
{
    // The first press already toggled or activated the item; a second one
    // would undo the toggle or open a second editor.
    event->accept();
    if (inPlaceEditorOpen())
        focusInPlaceEditor();
}

void CTLView::keyPressEvent(QKeyEvent* event)
{
    const auto mods = event->modifiers()
            & (Qt::AltModifier | Qt::ControlModifier | Qt::ShiftModifier | Qt::MetaModifier);
    if (mods & Qt::AltModifier) {
        altKeyPress(event, mods);
        return;
    }
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        event->accept();
        pressItem(currentIndex());
        return;
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
    case Qt::Key_Home:
    case Qt::Key_End:
        QTreeView::keyPressEvent(event);
        return;
    default:
        break;
    }
    // The copy, cut and paste keys have no command here: keep the clipboard
    // (which may hold a record) untouched.
    if (event->matches(QKeySequence::Copy) || event->matches(QKeySequence::Cut)
            || event->matches(QKeySequence::Paste) || event->matches(QKeySequence::SelectAll)) {
        event->accept();
        return;
    }
    const QString text = event->text();
    if (!text.isEmpty() && text.at(0).isPrint()) {
        event->accept(); // no search by typed letters
        return;
    }
    QTreeView::keyPressEvent(event);
}

void CTLView::altKeyPress(QKeyEvent* event, Qt::KeyboardModifiers mods)
{
    // Either case: Alt+Shift+T is Alt+T with Caps Lock's opposite.
    if (mods == Qt::AltModifier || mods == (Qt::AltModifier | Qt::ShiftModifier)) {
        const int entry = currentEntry();
        switch (event->key()) {
        case Qt::Key_T:
            // The root and the trailing bytes have no record data to show.
            if (entry > 0)
                onAltT();
            event->accept();
            return;
        case Qt::Key_D:
            if (entry > 0)
                onAltD();
            event->accept();
            return;
        case Qt::Key_X:
            event->accept();
            emit exitRequested();
            return;
        default:
            break;
        }
    }
    event->ignore(); // menu access keys
}

void CTLView::contextMenuEvent(QContextMenuEvent* event)
{
    event->accept();
    QModelIndex idx;
    QPoint global = event->globalPos();
    if (event->reason() == QContextMenuEvent::Mouse) {
        idx = hitItem(event->pos());
    } else {
        idx = currentIndex();
        const QRect r = labelRect(idx);
        if (!r.isEmpty())
            global = viewport()->mapToGlobal(r.bottomLeft());
    }
    if (!idx.isValid())
        return;
    setCurrentIndex(idx);
    runContextMenu(idx, global);
}

void CTLView::runContextMenu(const QModelIndex& index, const QPoint& globalPos)
{
    const int entry = RecordTreeModel::entryOf(index);
    if (entry <= 0)
        return; // the root and the trailing bytes have no menu
    infoText_ = infoText(entry);
    QMenu* menu = createContextMenu(entry, this);
    menu->exec(globalPos);
    delete menu;
}

QMenu* CTLView::createContextMenu(int listIndex, QWidget* parent)
{
    auto* menu = new QMenu(parent);
    menu->setObjectName(QStringLiteral("rcmenu"));
    const bool record = doc_.validIndex(listIndex) && doc_.isRecord(listIndex);
    // Status tips as every main-window command has one.
    auto add = [&](const char* text, const char* tip, void (CTLView::*slot)(), bool enabled) {
        QAction* a = menu->addAction(QString::fromLatin1(text));
        a->setStatusTip(QString::fromLatin1(tip));
        a->setEnabled(enabled);
        connect(a, &QAction::triggered, this, [this, slot] { (this->*slot)(); });
    };
    add("Info", "Show the length and file offset of the entry", &CTLView::onInfo, true);
    add("Edit As Hex", "Edit the bytes of the entry in hexadecimal", &CTLView::onEditAsHex, true);
    menu->addSeparator();
    add("Copy to Clipboard", "Copy the record to the clipboard", &CTLView::onCopyToClipboard, record);
    add("Add from Clipboard", "Add the record on the clipboard to the file", &CTLView::onAddFromClipboard,
            record);
    add("Remove Record", "Remove the record from the file", &CTLView::onRemoveRecord, record);
    add("Replace from Clipboard", "Replace the record with the one on the clipboard",
            &CTLView::onReplaceFromClipboard, record);
    menu->addSeparator();
    return menu;
}

bool CTLView::viewportEvent(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const QModelIndex idx = hitItem(help->pos());
        const QRect r = labelRect(idx);
        // Only texts cut off by the window's edge get a tooltip, and items
        // marked by a compare (the tooltip says what the mark means).
        const QString text = idx.data(Qt::DisplayRole).toString();
        const QString tip = idx.data(Qt::ToolTipRole).toString();
        if (idx.isValid() && (r.right() > viewport()->width() || tip != text)) {
            QToolTip::showText(help->globalPos(), tip, viewport(), r);
        } else {
            QToolTip::hideText();
        }
        return true;
    }
    return QTreeView::viewportEvent(event);
}

// ---------------------------------------------------------------------------
// Info and the entry points

QString CTLView::infoText(int listIndex) const
{
    if (!doc_.validIndex(listIndex))
        return {};
    const auto e = doc_.entry(listIndex);
    char buf[96];
    std::snprintf(buf, sizeof buf, "Bytes in record=%u\nOffset Into File 0x%04x\n", unsigned(e.length),
            unsigned(e.fileOffset));
    return QString::fromLatin1(buf) + QString::fromLatin1(e.help.data(), qsizetype(e.help.size()));
}

void CTLView::onInfo()
{
    if (!infoText_.isEmpty()) {
        ui::tell(this, infoText_); // the entry the context menu was opened on
        return;
    }
    // Not from a context menu: the selected entry's, read afresh each time.
    const int entry = currentEntry();
    if (entry > 0)
        ui::tell(this, infoText(entry));
}

} // namespace browser
