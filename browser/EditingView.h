#pragma once
// The record tree with its editors: activation by type (in-place box, bool
// toggle, hex dialog, text dialog, table windows), the context-menu commands,
// search, and Alt+T / Alt+D.
//
// Rule while the in-place box is open: every command that rebuilds the list
// or makes another entry current closes the box first without writing, and
// any rebuild of the tree closes it the same way. The box therefore only ever
// writes into the entry it was opened on.
#include "browser/CTLView.h"
#include "browser/EntrySearch.h"
#include "model/DocChange.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

class QDialog;

namespace tables {
class TableTarget;
}

namespace browser {

class FieldEdit;
class TableReferences;
struct ClipRecord;

class EditingView : public CTLView {
    Q_OBJECT
public:
    explicit EditingView(document::DocNotifier& notifier, QWidget* parent = nullptr);
    ~EditingView() override;

    // ---- entry points of the tree ----
    void activateEntry(int listIndex) override;
    void onEditAsHex() override;
    void onCopyToClipboard() override;
    void onAddFromClipboard() override;
    void onRemoveRecord() override;
    void onReplaceFromClipboard() override;
    void onAltT() override;
    void onAltD() override;
    bool inPlaceEditorOpen() const override;
    void focusInPlaceEditor() override;

    // ---- the main window's commands ----
    // Copy Value: the selected entry's value as text (browser/CopyValue.h).
    void onCopyValue();
    bool canCopyValue() const;
    // The record commands apply: a record is selected (and, to add or
    // replace, the clipboard holds a record).
    bool recordSelected() const;
    bool canPasteRecord() const;
    void onSearch();
    void onSearchAgain();
    bool canSearchAgain() const { return !search_.text.empty(); }
    // Closes the open table windows each the way its own close does, so
    // that their edits reach the document; called before the document is
    // asked about, saved at exit or replaced.
    void closeTableWindows();

    // ---- the in-place box ----
    FieldEdit* fieldEdit() const { return box_; }
    // The entry the box was opened on, -1 while it is closed.
    int editingEntry() const { return editEntry_; }
    // Closes the box without writing (no-op while it is closed).
    void cancelEdit();

    // Hex hand-over of entry i (also "Edit As Hex").
    void editAsHex(int listIndex);
    // The text dialog for a "text" entry.
    void editText(int listIndex);

    // A table window's link to entry i: reads and writes its bytes through
    // the edit API for as long as the entry exists (it is found by its key
    // across add and remove; a reload ends the link and writes are refused).
    std::unique_ptr<tables::TableTarget> makeTableTarget(int listIndex);

    // Where the table windows find their entries' counterparts while the
    // document is compared with another file; null for none. Not owned.
    void setTableReferences(const TableReferences* references) { references_ = references; }
    const TableReferences* tableReferences() const { return references_; }
    // The counterparts changed (a compare began or ended, the document or its
    // matching changed): every open table window reads its own again.
    void tableReferencesChanged();

protected:
    // Runs the "Edit Hex Data" dialog on a working copy; true after OK.
    virtual bool runHexDialog(std::vector<std::uint8_t>& bytes);
    // Runs a modal dialog (text, search); tests drive it from here.
    virtual int runDialog(QDialog& dialog);

    // An added or removed record renumbers the entries: the box closes
    // without writing (table windows follow their entries by key).
    void documentAboutToChange(const model::Change& pending) override;
    // Closes the in-place box and the table windows an undo or redo changed
    // the bytes under, then lets the tree follow.
    void documentChanged(const model::Change& change) override;

private:
    void openBox(int listIndex);
    QRect revealBox(int listIndex, int boxWidth);
    QRect boxRect(const QRect& label) const;
    void onBoxEnter();
    void closeBox();
    void placeBox();
    bool refuseOutside(int listIndex);
    // Whether an editor may open entry i: a record or field, not the root,
    // whose bytes lie inside its record (refused with a message otherwise).
    bool openable(int listIndex);
    // Alt+T and Alt+D: the current entry's link, after closing the box; none
    // when no editor may open the entry (refused with a message).
    std::unique_ptr<tables::TableTarget> shortcutTarget();
    // The record commands' entry, after closing the box: the current one
    // when it is a record, else -1 (fields and the root have no such commands).
    int recordForCommand();
    // The record on the clipboard; nothing, after saying so, when it holds none.
    std::optional<ClipRecord> clipboardRecord();
    // Closes, without writing, the table windows open on the record with
    // this key or on one of its fields.
    void abandonTablesOf(model::EntryKey record);
    // Closes, without writing, the table windows whose entry no longer exists.
    void abandonDeadTables();

    FieldEdit* box_ = nullptr;
    int boxWidth_ = 0;
    int editEntry_ = -1;
    SearchState search_;
    const TableReferences* references_ = nullptr;
};

} // namespace browser
