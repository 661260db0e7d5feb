#include "browser/RecordTreeModel.h"

#include "browser/DocNotifier.h"
#include "browser/TypePictures.h"
#include "model/CTLDoc.h"
#include "model/DocChange.h"
#include "model/TextEscape.h"

#include <QGuiApplication>

#include <algorithm>

namespace browser {

RecordTreeModel::RecordTreeModel(model::CTLDoc& doc, QObject* parent)
    : QAbstractItemModel(parent), m_doc(doc)
{
}

void RecordTreeModel::rebuild(bool sorted)
{
    beginResetModel();
    m_sorted = sorted;
    m_pendingKind = -1;
    computeRows();
    endResetModel();
}

void RecordTreeModel::computeRows()
{
    m_records.clear();
    m_rowOf.clear();
    m_fields.clear();
    m_built = m_doc.hasData();
    m_hasTrailing = m_built && !m_doc.trailingBytes().empty();
    if (m_built) {
        const int n = int(m_doc.entryCount());
        m_rowOf.assign(std::size_t(n), -1);
        m_fields.assign(std::size_t(n), 0);
        for (int i = 1; i < n; ++i) {
            const auto& e = m_doc.entry(i);
            if (e.parent == 0) {
                m_records.push_back(i);
            } else if (e.parent > 0 && e.parent < n) {
                // Fields follow their record directly in the list.
                ++m_fields[std::size_t(e.parent)];
            }
        }
        if (m_sorted) {
            std::stable_sort(m_records.begin(), m_records.end(), [this](int a, int b) {
                return m_doc.entry(a).id < m_doc.entry(b).id; // both uint32_t: unsigned order
            });
        }
        for (std::size_t r = 0; r < m_records.size(); ++r)
            m_rowOf[std::size_t(m_records[r])] = int(r);
    }
}

void RecordTreeModel::follow(DocNotifier* notifier)
{
    connect(notifier, &DocNotifier::aboutToChange, this, &RecordTreeModel::onAboutToChange);
    connect(notifier, &DocNotifier::changed, this, &RecordTreeModel::onChanged);
}

int RecordTreeModel::rowForInsert(int before, std::uint32_t id) const
{
    int row = 0;
    for (const int r : m_records) {
        if (!m_sorted) {
            if (r < before)
                ++row;
            continue;
        }
        // The stable sort by id: equal ids keep their list order.
        const std::uint32_t other = m_doc.entry(r).id;
        if (other < id || (other == id && r < before))
            ++row;
    }
    return row;
}

void RecordTreeModel::onAboutToChange(const model::Change& p)
{
    m_pendingKind = -1;
    if (!m_built)
        return;
    const QModelIndex root = createIndex(0, 0, quintptr(0));
    if (p.kind == model::ChangeKind::Remove) {
        if (p.index <= 0 || std::size_t(p.index) >= m_rowOf.size() || m_rowOf[std::size_t(p.index)] < 0)
            return;
        m_pendingRow = m_rowOf[std::size_t(p.index)];
        m_pendingKind = int(p.kind);
        beginRemoveRows(root, m_pendingRow, m_pendingRow);
    } else if (p.kind == model::ChangeKind::Insert) {
        m_pendingRow = rowForInsert(p.index, p.recordId);
        m_pendingKind = int(p.kind);
        beginInsertRows(root, m_pendingRow, m_pendingRow);
    }
}

void RecordTreeModel::onChanged(const model::Change& c)
{
    if (!m_built)
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
    if (m_pendingKind != int(c.kind)) {
        // Not announced (no rows yet, or an entry not shown): start afresh.
        rebuild(m_sorted);
        return;
    }
    m_pendingKind = -1;
    const std::vector<int> oldRowOf = std::move(m_rowOf);
    computeRows();
    remapPersistent(c, oldRowOf);
    if (c.kind == model::ChangeKind::Insert)
        endInsertRows();
    else
        endRemoveRows();
}

void RecordTreeModel::remapPersistent(const model::Change& c, const std::vector<int>& oldRowOf)
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
        if (id == 0 || id == kTrailingId)
            continue;
        const int old = int(id);
        const int now = moved(old);
        if (now < 0 || now == old)
            continue;
        // Records at or after the changed row are moved by Qt itself, which
        // asks index() again; the rest keep their rows and need new ids.
        const bool wasRecord = std::size_t(old) < oldRowOf.size() && oldRowOf[std::size_t(old)] >= 0;
        if (wasRecord && p.row() >= m_pendingRow)
            continue;
        changePersistentIndex(p, createIndex(p.row(), 0, quintptr(now)));
    }
}

int RecordTreeModel::fieldCount(int rec) const
{
    return (rec > 0 && std::size_t(rec) < m_fields.size()) ? m_fields[std::size_t(rec)] : 0;
}

void RecordTreeModel::refreshEntry(int listIndex)
{
    const QModelIndex idx = indexForEntry(listIndex);
    if (idx.isValid()) emit dataChanged(idx, idx, {Qt::DisplayRole, Qt::ToolTipRole});
}

QModelIndex RecordTreeModel::indexForEntry(int i) const
{
    if (!m_built || i < 0 || std::size_t(i) >= m_rowOf.size() || !m_doc.validIndex(i)) return {};
    if (i == 0) return createIndex(0, 0, quintptr(0));
    const auto& e = m_doc.entry(i);
    if (e.parent == 0) return createIndex(m_rowOf[std::size_t(i)], 0, quintptr(i));
    if (e.parent <= 0 || e.parent >= i) return {};
    return createIndex(i - e.parent - 1, 0, quintptr(i));
}

QModelIndex RecordTreeModel::trailingIndex() const
{
    if (!m_hasTrailing) return {};
    return createIndex(int(m_records.size()), 0, kTrailingId);
}

int RecordTreeModel::entryOf(const QModelIndex& index)
{
    if (!index.isValid() || index.internalId() == kTrailingId) return -1;
    return int(index.internalId());
}

bool RecordTreeModel::isTrailing(const QModelIndex& index)
{
    return index.isValid() && index.internalId() == kTrailingId;
}

QModelIndex RecordTreeModel::index(int row, int column, const QModelIndex& parent) const
{
    if (!m_built || column != 0 || row < 0) return {};
    if (!parent.isValid()) return row == 0 ? createIndex(0, 0, quintptr(0)) : QModelIndex();
    if (isTrailing(parent)) return {};
    const int p = int(parent.internalId());
    if (p == 0) {
        if (row < int(m_records.size())) return createIndex(row, 0, quintptr(m_records[std::size_t(row)]));
        if (row == int(m_records.size()) && m_hasTrailing) return createIndex(row, 0, kTrailingId);
        return {};
    }
    if (row >= fieldCount(p)) return {};
    return createIndex(row, 0, quintptr(p) + 1 + quintptr(row));
}

QModelIndex RecordTreeModel::parent(const QModelIndex& child) const
{
    if (!child.isValid() || !m_built) return {};
    if (isTrailing(child)) return createIndex(0, 0, quintptr(0));
    const int i = int(child.internalId());
    if (i == 0) return {};
    // Between a change of the list and the rebuild that follows it, an index
    // may name an entry that is gone: answer without touching the list.
    if (!m_doc.validIndex(i) || std::size_t(i) >= m_rowOf.size()) return createIndex(0, 0, quintptr(0));
    const int p = m_doc.entry(i).parent;
    if (p <= 0 || std::size_t(p) >= m_rowOf.size() || m_rowOf[std::size_t(p)] < 0)
        return createIndex(0, 0, quintptr(0));
    return createIndex(m_rowOf[std::size_t(p)], 0, quintptr(p));
}

int RecordTreeModel::rowCount(const QModelIndex& parent) const
{
    if (!m_built) return 0;
    if (!parent.isValid()) return 1;
    if (parent.column() != 0 || isTrailing(parent)) return 0;
    const int p = int(parent.internalId());
    if (p == 0) return int(m_records.size()) + (m_hasTrailing ? 1 : 0);
    if (!m_doc.validIndex(p) || m_doc.entry(p).parent != 0) return 0;
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
    if (!m_doc.validIndex(i)) return {};
    return QString::fromUtf8(model::escapeItemText(m_doc.itemText(i)));
}

QVariant RecordTreeModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || !m_built) return {};
    if (isTrailing(index)) {
        switch (role) {
        case Qt::DisplayRole:
        case Qt::ToolTipRole:
            return QString::fromStdString(m_doc.trailingText());
        case Qt::DecorationRole:
            return typeIconCached(0);
        case ListIndexRole:
            return -1;
        default:
            return {};
        }
    }
    const int i = int(index.internalId());
    if (!m_doc.validIndex(i)) return {};
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
        return displayText(i);
    case Qt::DecorationRole:
        // The root item shows the record picture.
        return typeIconCached(i == 0 ? 1 : model::fieldTypeCode(m_doc.entry(i).type));
    case ListIndexRole:
        return i;
    default:
        return {};
    }
}

QIcon RecordTreeModel::typeIconCached(int code) const
{
    if (code < 0 || code >= int(m_icons.size())) code = 0;
    QIcon& icon = m_icons[std::size_t(code)];
    if (icon.isNull()) {
        const qreal dpr = qGuiApp ? qGuiApp->devicePixelRatio() : 1.0;
        icon = typeIcon(code, dpr);
    }
    return icon;
}

Qt::ItemFlags RecordTreeModel::flags(const QModelIndex& index) const
{
    if (!index.isValid()) return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

} // namespace browser
