#pragma once
// The record tree: the editor's one view of the document's record list.
//
// What the tree's presses, keys and context menu start (the editors) is left
// to a subclass: EditingView, or a test's stand-in (see browser/README.md).

#include <QString>
#include <QTreeView>

#include <string>

class QMenu;

namespace model {
class CTLDoc;
struct Change;
} // namespace model

namespace document {
class DocNotifier;
} // namespace document

namespace browser {

class RecordTreeModel;

class CTLView : public QTreeView {
    Q_OBJECT
public:
    // The tree follows the notifier's document: it rebuilds at each load and
    // at a save under a new name, and moves its rows with every change.
    explicit CTLView(document::DocNotifier& notifier, QWidget* parent = nullptr);
    ~CTLView() override;

    model::CTLDoc& document() const { return doc_; }
    RecordTreeModel* recordModel() const { return model_; }

    // ---- tree state ----
    // Rebuilds every item from the record list; afterwards only the root is
    // expanded and it is selected. Shows "%s has %d records.".
    void rebuildTree();
    // Selects (and scrolls to) the item of list index i; false when there is
    // none, in which case the selection is left as it was.
    bool selectEntry(int listIndex);
    // List index of the selected item; -1 when nothing (or the trailing-bytes
    // row) is selected.
    int currentEntry() const;
    // The rectangle of item i's picture and text in viewport coordinates
    // (empty when the item is not shown), for placing the in-place box.
    QRect itemRect(int listIndex) const;

    bool sortEntries() const { return sort_; }
    void setSortEntries(bool on); // rebuilds when the flag changes
    void expandAllRecords();
    void collapseAllRecords();

    // "%s has %d records." of the last rebuild.
    const QString& recordCountText() const { return countText_; }
    // Shows text in the main window's first status pane.
    void setStatusText(const QString& text) { emit statusTextChanged(text); }

    // "Bytes in record=%d\nOffset Into File 0x%04x\n%s" for entry i.
    QString infoText(int listIndex) const;

    // The context menu "rcmenu" for entry i, items enabled as they apply.
    // The caller owns the menu.
    QMenu* createContextMenu(int listIndex, QWidget* parent = nullptr);

    // "Info": the entry's length and file offset in a message.
    void onInfo();

    // ---- what the tree starts, supplied by the subclass ----
    // A leaf was pressed or Enter was typed on it.
    virtual void activateEntry(int listIndex) = 0;
    // The context menu's commands.
    virtual void onEditAsHex() = 0;
    virtual void onCopyToClipboard() = 0;
    virtual void onAddFromClipboard() = 0;
    virtual void onRemoveRecord() = 0;
    virtual void onReplaceFromClipboard() = 0;
    // Alt+T and Alt+D on an entry.
    virtual void onAltT() = 0;
    virtual void onAltD() = 0;
    // While an in-place editor is open, presses in the tree only give it
    // the focus back.
    virtual bool inPlaceEditorOpen() const = 0;
    virtual void focusInPlaceEditor() = 0;

signals:
    void statusTextChanged(const QString& text);
    // Alt+X: end the program at once, without the close sequence.
    void exitRequested();
    // Emitted after every rebuild.
    void rebuilt();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    bool viewportEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

    // The item whose picture, text or expand button lies under pos
    // (viewport coordinates); invalid for any other point.
    QModelIndex hitItem(const QPoint& pos) const;
    // Step 3 of a left press and Enter: toggle a parent, activate a leaf.
    void pressItem(const QModelIndex& index);
    void runContextMenu(const QModelIndex& index, const QPoint& globalPos);

    // Before a record is added or removed, while the tree still shows the
    // list as it was (the rows change after it returns).
    virtual void documentAboutToChange(const model::Change& pending) = 0;
    // After every change of the document, the rows already updated: a new
    // record count is shown, and what an undo or redo changed is selected.
    virtual void documentChanged(const model::Change& change);

private:
    // A key pressed with Alt: Alt+T, Alt+D and Alt+X, else left to the menus.
    void altKeyPress(QKeyEvent* event, Qt::KeyboardModifiers mods);
    QRect labelRect(const QModelIndex& index) const;
    void updateCountText();
    // Widens the column to the rows in view (never narrower than the view),
    // so long texts scroll sideways. Sizing it to every row's text instead
    // would format and measure the whole list on each rebuild.
    void fitColumnToVisibleRows(bool restart = false);

    model::CTLDoc& doc_;
    RecordTreeModel* model_ = nullptr;
    bool sort_ = true;
    bool bulk_ = false; // inside Expand All or Collapse All
    QString countText_;
    QString infoText_;
    // The document's path at the last rebuild: a save elsewhere renames the root.
    std::string shownPath_;
};

} // namespace browser
