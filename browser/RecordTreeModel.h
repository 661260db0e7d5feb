#pragma once
// Item model of the record tree over the document's record list.
//
// Three levels: the root item (the file), one row per record (sorted by id
// or in file order), the fields of each record in definition order. A last
// row under the root stands for the document's trailing bytes when there
// are any. Nothing per item is allocated: the internal id of an index is
// the entry's list index, the trailing-bytes row uses kTrailingId.

#include "browser/EntryFilter.h"
#include "browser/TreeMarks.h"

#include <QAbstractItemModel>
#include <QIcon>

#include <array>
#include <cstdint>
#include <vector>

namespace model {
class CTLDoc;
struct Change;
} // namespace model

namespace document {
class DocNotifier;
} // namespace document

namespace browser {

class RecordTreeModel : public QAbstractItemModel {
    Q_OBJECT
public:
    // Internal id of the trailing-bytes row (never a list index).
    static constexpr quintptr kTrailingId = ~quintptr(0);
    // Role giving the list index of an item (-1 for the trailing-bytes row).
    static constexpr int ListIndexRole = Qt::UserRole + 1;

    explicit RecordTreeModel(model::CTLDoc& doc, QObject* parent = nullptr);

    // Rebuilds the rows from the record list; empty while the document has
    // no data. Records are ordered by unsigned id (stable) when `sorted`.
    void rebuild(bool sorted);

    // Shows only the records that `show` (by list index, see EntryFilter.h)
    // does not hide, with all their fields; empty shows all. A rebuild, or
    // a record added or removed, drops it: the filter's owner sets it anew.
    void setRecordFilter(std::vector<FilterShow> show);
    bool filtered() const { return !show_.empty(); }

    // Tells the views that entry i's text changed.
    void refreshEntry(int listIndex);

    // Shows `marks` (none: nullptr) before the items' texts and pictures,
    // and its rows of records only in the other file after the records.
    // `touched`: the list indexes whose mark may have changed.
    void setMarks(const TreeMarks* marks, const std::vector<int>& touched);
    const TreeMarks* marks() const { return marks_; }
    // The row of the other file's records that index is, -1 for none.
    static int otherRowOf(const QModelIndex& index);
    QModelIndex otherRowIndex(int row) const;

    // Follows the document's changes from here on: an edit of bytes
    // refreshes its record's row and those of its fields, an insert or a
    // removal of a record inserts or removes its row (selection, expanded
    // records and other persistent indexes follow their entries).
    void follow(document::DocNotifier* notifier);

    // Index <-> list index. indexForEntry gives an invalid index for entries
    // not shown (out of range, or before the first rebuild).
    QModelIndex indexForEntry(int listIndex) const;
    QModelIndex trailingIndex() const;
    static int entryOf(const QModelIndex& index);
    static bool isTrailing(const QModelIndex& index);

    // Records in display order (list indexes).
    const std::vector<int>& recordOrder() const { return records_; }

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool hasChildren(const QModelIndex& parent = {}) const override;

    // Display text of an entry as shown in the tree (control bytes escaped).
    QString displayText(int listIndex) const;

private:
    // records_ and rowOfOrdinal_ from the record list.
    void computeRows();
    // The row of record listIndex under the root, -1 when not shown.
    int rowOfRecord(int listIndex) const;
    void onAboutToChange(const model::Change& pending);
    void onChanged(const model::Change& change);
    // The row a record inserted before list index `before` will take.
    int rowForInsert(int before, std::uint32_t id) const;
    // After the list gained or lost entries: persistent indexes that Qt does
    // not move itself get the new list indexes of their entries.
    void remapPersistent(const model::Change& change);
    int fieldCount(int recordListIndex) const;
    QIcon typeIconCached(int code) const;
    void forgetIconsOfAnotherPalette() const;
    QIcon markedIcon(int code, TreeMarks::Mark mark) const;
    TreeMarks::Mark markOf(int listIndex) const;
    QVariant otherRowData(int row, int role) const;

    model::CTLDoc& doc_;
    bool sorted_ = true;
    bool built_ = false; // rows exist (the document had data)
    bool hasTrailing_ = false;
    std::vector<int> records_; // list indexes of records, in display order
    std::vector<int> rowOfOrdinal_; // record ordinal -> its row under the root
    std::vector<int> rowOrdinals_; // row under the root -> its record's ordinal
    std::vector<FilterShow> show_; // empty: no filter
    std::vector<int> allOrdinals_; // the records' ordinals in display order, unfiltered
    bool allValid_ = false; // allOrdinals_ is that of the list
    // An insert or removal announced: the list indexes of the shown records
    // that had persistent indexes (sorted).
    std::vector<int> shownRecordIds_;
    mutable std::array<QIcon, 19> icons_;
    const TreeMarks* marks_ = nullptr;
    int otherRows_ = 0; // rows of marks_->otherRowCount() shown
    mutable std::array<QIcon, std::size_t{19} * 3> markedIcons_; // per type code and mark
    mutable qint64 iconsPalette_ = 0; // the application palette they were drawn for
    // An insert or removal announced and not yet done: its kind and row.
    int pendingKind_ = -1;
    int pendingRow_ = -1;
};

} // namespace browser
