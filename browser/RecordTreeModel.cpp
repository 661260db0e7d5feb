#include "browser/RecordTreeModel.h"

#include "browser/TypePictures.h"
#include "document/DocNotifier.h"
#include "model/CTLDoc.h"
#include "model/DocChange.h"
#include "model/TextEscape.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>

namespace browser {

namespace {

// Rows of the other file's records have internal ids below kTrailingId,
// above every list index.
constexpr quintptr kOtherRowBase = RecordTreeModel::kTrailingId - 1;
constexpr quintptr kLastListIndex = quintptr(0x7fffffff);

} // namespace

RecordTreeModel::RecordTreeModel(model::CTLDoc& doc, QObject* parent) : QAbstractItemModel(parent), doc_(doc)
{}

void RecordTreeModel::rebuild(bool sorted)
{
    beginResetModel();
    show_.clear();
    allValid_ = false;
    sorted_ = sorted;
    pendingKind_ = -1;
    computeRows();
    endResetModel();
}

void RecordTreeModel::setRecordFilter(std::vector<FilterShow> show)
{
    if (show.empty() && show_.empty())
        return;
    beginResetModel();
    show_ = std::move(show);
    pendingKind_ = -1;
    computeRows();
    endResetModel();
}

void RecordTreeModel::computeRows()
{
    records_.clear();
    rowOfOrdinal_.clear();
    rowOrdinals_.clear();
    built_ = doc_.hasData();
    const int n = int(doc_.entryCount());
    if (!show_.empty() && show_.size() != std::size_t(n))
        show_.clear(); // made for another list
    const bool all = show_.empty();
    hasTrailing_ = built_ && all && !doc_.trailingBytes().empty();
    if (built_) {
        const int count = doc_.recordCount();
        rowOfOrdinal_.assign(std::size_t(count), -1);
        // Every record in display order, kept while the list stays the same
        // so that each filter only picks from it.
        if (!allValid_) {
            allOrdinals_.resize(std::size_t(count));
            if (sorted_) {
                // By unsigned id, equal ids in file order: one 64-bit key
                // each sorts faster than comparisons that look records up.
                std::vector<std::uint64_t> keys(static_cast<std::size_t>(count));
                for (int o = 0; o < count; ++o)
                    keys[std::size_t(o)] = std::uint64_t(doc_.idOfRecordAt(o)) << 32 | std::uint32_t(o);
                std::sort(keys.begin(), keys.end());
                for (std::size_t r = 0; r < keys.size(); ++r)
                    allOrdinals_[r] = int(keys[r] & 0xffffffffu);
            } else {
                for (int o = 0; o < count; ++o)
                    allOrdinals_[std::size_t(o)] = o;
            }
            allValid_ = true;
        }
        records_.reserve(all ? allOrdinals_.size() : 0);
        rowOrdinals_.reserve(records_.capacity());
        for (const int o : allOrdinals_) {
            const int i = doc_.recordAt(o);
            if (all || show_[std::size_t(i)] != FilterShow::Hidden) {
                rowOfOrdinal_[std::size_t(o)] = int(records_.size());
                records_.push_back(i);
                rowOrdinals_.push_back(o);
            }
        }
    }
}

int RecordTreeModel::rowOfRecord(int listIndex) const
{
    const int o = doc_.ordinalOf(listIndex);
    if (o < 0 || std::size_t(o) >= rowOfOrdinal_.size() || doc_.recordAt(o) != listIndex)
        return -1;
    return rowOfOrdinal_[std::size_t(o)];
}

void RecordTreeModel::follow(document::DocNotifier* notifier)
{
    connect(notifier, &document::DocNotifier::aboutToChange, this, &RecordTreeModel::onAboutToChange);
    connect(notifier, &document::DocNotifier::changed, this, &RecordTreeModel::onChanged);
}

int RecordTreeModel::rowForInsert(int before, std::uint32_t id) const
{
    int row = 0;
    for (const int r : records_) {
        if (!sorted_) {
            if (r < before)
                ++row;
            continue;
        }
        // The stable sort by id: equal ids keep their list order.
        const std::uint32_t other = doc_.idOf(r);
        if (other < id || (other == id && r < before))
            ++row;
    }
    return row;
}

void RecordTreeModel::onAboutToChange(const model::Change& p)
{
    pendingKind_ = -1;
    // While filtered, a new or removed record resets the rows (rebuild).
    if (!built_ || !show_.empty())
        return;
    const QModelIndex root = createIndex(0, 0, quintptr(0));
    // The records among the persistent indexes, while the list is still
    // the one they were made for.
    shownRecordIds_.clear();
    for (const QModelIndex& idx : persistentIndexList())
        if (const int i = entryOf(idx); i > 0 && rowOfRecord(i) >= 0)
            shownRecordIds_.push_back(i);
    std::sort(shownRecordIds_.begin(), shownRecordIds_.end());
    if (p.kind == model::ChangeKind::Remove) {
        if (p.index <= 0 || rowOfRecord(p.index) < 0)
            return;
        pendingRow_ = rowOfRecord(p.index);
        pendingKind_ = int(p.kind);
        beginRemoveRows(root, pendingRow_, pendingRow_);
    } else if (p.kind == model::ChangeKind::Insert) {
        pendingRow_ = rowForInsert(p.index, p.recordId);
        pendingKind_ = int(p.kind);
        beginInsertRows(root, pendingRow_, pendingRow_);
    }
}

void RecordTreeModel::onChanged(const model::Change& c)
{
    if (!built_)
        return;
    switch (c.kind) {
    case model::ChangeKind::Bytes:
    case model::ChangeKind::RecordData: {
        // Fields read their record's bytes: all of them may show new values.
        refreshEntry(c.recordIndex);
        const int n = fieldCount(c.recordIndex);
        if (n > 0) {
            const QModelIndex first = indexForEntry(c.recordIndex + 1);
            const QModelIndex last = indexForEntry(c.recordIndex + n);
            if (first.isValid() && last.isValid())
                emit dataChanged(first, last, {Qt::DisplayRole, Qt::ToolTipRole});
        }
        return;
    }
    case model::ChangeKind::Insert:
    case model::ChangeKind::Remove:
        break;
    }
    if (pendingKind_ != int(c.kind)) {
        // Not announced (no rows yet, or an entry not shown): start afresh.
        rebuild(sorted_);
        return;
    }
    pendingKind_ = -1;
    allValid_ = false;
    computeRows();
    remapPersistent(c);
    if (c.kind == model::ChangeKind::Insert)
        endInsertRows();
    else
        endRemoveRows();
}

void RecordTreeModel::remapPersistent(const model::Change& c)
{
    const bool insert = c.kind == model::ChangeKind::Insert;
    const int at = c.index, count = c.entries;
    auto moved = [&](int old) {
        if (insert)
            return old >= at ? old + count : old;
        if (old >= at + count)
            return old - count;
        return old >= at ? -1 : old;
    };
    const QModelIndexList list = persistentIndexList();
    for (const QModelIndex& p : list) {
        const quintptr id = p.internalId();
        if (id == 0 || id > kLastListIndex)
            continue;
        const int old = int(id);
        const int now = moved(old);
        if (now < 0 || now == old)
            continue;
        // Records at or after the changed row are moved by Qt itself, which
        // asks index() again; the rest keep their rows and need new ids.
        const bool wasRecord = std::binary_search(shownRecordIds_.begin(), shownRecordIds_.end(), old);
        if (wasRecord && p.row() >= pendingRow_)
            continue;
        changePersistentIndex(p, createIndex(p.row(), 0, quintptr(now)));
    }
    shownRecordIds_.clear();
}

int RecordTreeModel::fieldCount(int rec) const
{
    return built_ ? doc_.fieldCount(rec) : 0;
}

void RecordTreeModel::refreshEntry(int listIndex)
{
    const QModelIndex idx = indexForEntry(listIndex);
    if (idx.isValid())
        emit dataChanged(idx, idx, {Qt::DisplayRole, Qt::ToolTipRole, Qt::DecorationRole});
}

QModelIndex RecordTreeModel::indexForEntry(int i) const
{
    if (!built_ || i < 0 || !doc_.validIndex(i))
        return {};
    if (i == 0)
        return createIndex(0, 0, quintptr(0));
    const int parent = doc_.parentOf(i);
    if (parent == 0) {
        const int row = rowOfRecord(i);
        return row < 0 ? QModelIndex() : createIndex(row, 0, quintptr(i)); // filtered out
    }
    if (parent <= 0 || parent >= i || rowOfRecord(parent) < 0)
        return {};
    return createIndex(i - parent - 1, 0, quintptr(i));
}

QModelIndex RecordTreeModel::trailingIndex() const
{
    if (!hasTrailing_)
        return {};
    return createIndex(int(records_.size()) + otherRows_, 0, kTrailingId);
}

int RecordTreeModel::entryOf(const QModelIndex& index)
{
    if (!index.isValid() || index.internalId() > kLastListIndex)
        return -1;
    return int(index.internalId());
}

int RecordTreeModel::otherRowOf(const QModelIndex& index)
{
    if (!index.isValid() || index.internalId() <= kLastListIndex || index.internalId() == kTrailingId)
        return -1;
    return int(kOtherRowBase - index.internalId());
}

QModelIndex RecordTreeModel::otherRowIndex(int row) const
{
    if (!built_ || row < 0 || row >= otherRows_)
        return {};
    return createIndex(int(records_.size()) + row, 0, kOtherRowBase - quintptr(row));
}

bool RecordTreeModel::isTrailing(const QModelIndex& index)
{
    return index.isValid() && index.internalId() == kTrailingId;
}

QModelIndex RecordTreeModel::index(int row, int column, const QModelIndex& parent) const
{
    if (!built_ || column != 0 || row < 0)
        return {};
    if (!parent.isValid())
        return row == 0 ? createIndex(0, 0, quintptr(0)) : QModelIndex();
    if (entryOf(parent) < 0)
        return {};
    const int p = int(parent.internalId());
    if (p == 0) {
        if (row < int(records_.size()))
            return createIndex(row, 0, quintptr(records_[std::size_t(row)]));
        if (row < int(records_.size()) + otherRows_)
            return otherRowIndex(row - int(records_.size()));
        if (row == int(records_.size()) + otherRows_ && hasTrailing_)
            return createIndex(row, 0, kTrailingId);
        return {};
    }
    if (row >= fieldCount(p))
        return {};
    return createIndex(row, 0, quintptr(p) + 1 + quintptr(row));
}

QModelIndex RecordTreeModel::parent(const QModelIndex& child) const
{
    if (!child.isValid() || !built_)
        return {};
    if (entryOf(child) < 0)
        return createIndex(0, 0, quintptr(0)); // the trailing bytes, the other file's records
    const int i = int(child.internalId());
    if (i == 0)
        return {};
    // Between a change of the list and the rebuild that follows it, an index
    // may name an entry that is gone: answer without touching the list.
    if (!doc_.validIndex(i))
        return createIndex(0, 0, quintptr(0));
    const int p = doc_.parentOf(i);
    const int row = p > 0 ? rowOfRecord(p) : -1;
    if (row < 0)
        return createIndex(0, 0, quintptr(0));
    return createIndex(row, 0, quintptr(p));
}

int RecordTreeModel::rowCount(const QModelIndex& parent) const
{
    if (!built_)
        return 0;
    if (!parent.isValid())
        return 1;
    if (parent.column() != 0 || entryOf(parent) < 0)
        return 0;
    const int p = int(parent.internalId());
    if (p == 0)
        return int(records_.size()) + otherRows_ + (hasTrailing_ ? 1 : 0);
    // A record's row (the view asks for every row it lays out): its fields
    // counted from its ordinal, without finding the record in the list.
    if (const auto row = std::size_t(parent.row()); row < records_.size() && records_[row] == p) {
        const int o = rowOrdinals_[row];
        if (doc_.recordAt(o) == p)
            return doc_.recordAt(o + 1) - p - 1;
    }
    return fieldCount(p);
}

int RecordTreeModel::columnCount(const QModelIndex&) const
{
    return 1;
}

bool RecordTreeModel::hasChildren(const QModelIndex& parent) const
{
    return rowCount(parent) > 0;
}

QString RecordTreeModel::displayText(int i) const
{
    if (!doc_.validIndex(i))
        return {};
    return QString::fromUtf8(model::escapeItemText(doc_.itemText(i)));
}

QVariant RecordTreeModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || !built_)
        return {};
    if (isTrailing(index)) {
        switch (role) {
        case Qt::DisplayRole:
        case Qt::ToolTipRole:
            return QString::fromStdString(doc_.trailingText());
        case Qt::DecorationRole:
            return typeIconCached(0);
        case ListIndexRole:
            return -1;
        default:
            return {};
        }
    }
    if (const int other = otherRowOf(index); other >= 0)
        return otherRowData(other, role);
    const int i = int(index.internalId());
    if (!doc_.validIndex(i))
        return {};
    const TreeMarks::Mark mark = markOf(i);
    // The root item shows the record picture.
    const int code = i == 0 ? 1 : model::fieldTypeCode(doc_.entry(i).type);
    switch (role) {
    case Qt::DisplayRole:
        return markPrefix(mark) + displayText(i);
    case Qt::ToolTipRole:
        if (mark != TreeMarks::Mark::None)
            return markPrefix(mark) + displayText(i) + QLatin1Char('\n') + markMeaning(mark);
        return displayText(i);
    case Qt::DecorationRole:
        return mark == TreeMarks::Mark::None ? typeIconCached(code) : markedIcon(code, mark);
    case ListIndexRole:
        return i;
    default:
        return {};
    }
}

TreeMarks::Mark RecordTreeModel::markOf(int i) const
{
    return marks_ ? marks_->markOf(i) : TreeMarks::Mark::None;
}

QVariant RecordTreeModel::otherRowData(int row, int role) const
{
    if (!marks_ || row >= marks_->otherRowCount())
        return {};
    const auto mark = TreeMarks::Mark::OnlyThere;
    switch (role) {
    case Qt::DisplayRole:
        return markPrefix(mark) + marks_->otherRowText(row);
    case Qt::ToolTipRole:
        return markPrefix(mark) + marks_->otherRowText(row) + QLatin1Char('\n') + markMeaning(mark);
    case Qt::DecorationRole:
        return markedIcon(marks_->otherRowTypeCode(row), mark);
    case ListIndexRole:
        return -1;
    default:
        return {};
    }
}

void RecordTreeModel::setMarks(const TreeMarks* marks, const std::vector<int>& touched)
{
    marks_ = marks;
    int rows = built_ && marks_ ? marks_->otherRowCount() : 0;
    const QModelIndex root = built_ ? createIndex(0, 0, quintptr(0)) : QModelIndex();
    // Rows that stay keep their indexes (and a selection on them).
    const int first = int(records_.size());
    if (rows < otherRows_) {
        beginRemoveRows(root, first + rows, first + otherRows_ - 1);
        otherRows_ = rows;
        endRemoveRows();
    } else if (rows > otherRows_) {
        beginInsertRows(root, first + otherRows_, first + rows - 1);
        const int kept = otherRows_;
        otherRows_ = rows;
        endInsertRows();
        rows = kept;
    }
    if (rows > 0)
        emit dataChanged(otherRowIndex(0), otherRowIndex(rows - 1),
                {Qt::DisplayRole, Qt::ToolTipRole, Qt::DecorationRole});
    refreshEntry(0);
    // Many marks changed (a file unlike this one): one notice for the rows
    // under the root repaints the view, rather than one per entry.
    if (touched.size() > 1000 && !records_.empty()) {
        emit dataChanged(index(0, 0, root), index(int(records_.size()) - 1, 0, root),
                {Qt::DisplayRole, Qt::ToolTipRole, Qt::DecorationRole});
        return;
    }
    for (const int i : touched)
        refreshEntry(i);
}

// The type picture with a badge in its top right corner whose shape says the
// mark: a diamond for changed, a plus for only here, a bar for only there.
QIcon RecordTreeModel::markedIcon(int code, TreeMarks::Mark mark) const
{
    if (code < 0 || code >= int(icons_.size()))
        code = 0;
    const int m = int(mark) - 1;
    if (m < 0 || m > 2)
        return typeIconCached(code);
    forgetIconsOfAnotherPalette();
    QIcon& icon = markedIcons_[std::size_t(code) * 3 + std::size_t(m)];
    if (!icon.isNull())
        return icon;
    const qreal dpr = qGuiApp ? qGuiApp->devicePixelRatio() : 1.0;
    for (const qreal ratio : {qreal(1), qreal(2), dpr}) {
        QPixmap pm = typePicture(code, ratio);
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        const QRectF badge(kTypePictureSize.width() - 10.5, 0.5, 10, 10);
        p.setPen(QPen(Qt::black, 1));
        static const QColor fills[] = {QColor(255, 170, 0), QColor(40, 160, 40), QColor(200, 40, 40)};
        p.setBrush(fills[m]);
        QPainterPath shape;
        const QPointF c = badge.center();
        if (mark == TreeMarks::Mark::Changed) {
            shape.moveTo(c.x(), badge.top());
            shape.lineTo(badge.right(), c.y());
            shape.lineTo(c.x(), badge.bottom());
            shape.lineTo(badge.left(), c.y());
            shape.closeSubpath();
            p.drawPath(shape);
        } else {
            p.drawEllipse(badge);
            p.setPen(QPen(Qt::white, 2));
            p.drawLine(QPointF(badge.left() + 2.5, c.y()), QPointF(badge.right() - 2.5, c.y()));
            if (mark == TreeMarks::Mark::OnlyHere)
                p.drawLine(QPointF(c.x(), badge.top() + 2.5), QPointF(c.x(), badge.bottom() - 2.5));
        }
        p.end();
        icon.addPixmap(pm);
    }
    return icon;
}

// A new application palette (the desktop turned dark) draws the pictures anew,
// the marked ones too.
void RecordTreeModel::forgetIconsOfAnotherPalette() const
{
    const qint64 paletteKey = QGuiApplication::palette().cacheKey();
    if (paletteKey != iconsPalette_) {
        icons_ = {};
        markedIcons_ = {};
        iconsPalette_ = paletteKey;
    }
}

QIcon RecordTreeModel::typeIconCached(int code) const
{
    if (code < 0 || code >= int(icons_.size()))
        code = 0;
    forgetIconsOfAnotherPalette();
    QIcon& icon = icons_[std::size_t(code)];
    if (icon.isNull()) {
        const qreal dpr = qGuiApp ? qGuiApp->devicePixelRatio() : 1.0;
        icon = typeIcon(code, dpr);
    }
    return icon;
}

Qt::ItemFlags RecordTreeModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    // The view's Expand All opens every item not marked as a leaf, and keeps
    // a persistent index for each: fields would cost one apiece. A record's
    // fields only change with its row; the root's rows come and go (a
    // filter may show none), so it is never marked.
    if (index.internalId() != 0 && !hasChildren(index))
        return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

} // namespace browser
