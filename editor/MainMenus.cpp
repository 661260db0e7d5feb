// The main window's menus: File (with the recent files), Edit, Special and Help.
#include "editor/CMainFrame.h"

#include "browser/EditingView.h"
#include "document/DocNotifier.h"
#include "editor/Association.h"
#include "editor/CompareSession.h"

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QItemSelectionModel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QUndoGroup>

#include <utility>

namespace tarlo {

namespace {

// One command of a menu or of the menu bar: its text, the object name it is
// found by, its key (none when empty), its status tip and what it runs.
template <typename Receiver, typename Slot>
QAction* addCommand(QWidget* menu, const QString& text, const char* name, const QKeySequence& key,
        const QString& tip, Receiver* receiver, Slot&& slot)
{
    auto* a = new QAction(text, menu);
    a->setObjectName(QLatin1String(name));
    if (!key.isEmpty())
        a->setShortcut(key);
    a->setStatusTip(tip);
    QObject::connect(a, &QAction::triggered, receiver, std::forward<Slot>(slot));
    menu->addAction(a);
    return a;
}

// An option of the Special menu: a command with a check mark.
template <typename Receiver, typename Slot>
QAction* addOption(QWidget* menu, const QString& text, const char* name, const QString& tip, bool on,
        Receiver* receiver, Slot&& slot)
{
    QAction* a = addCommand(menu, text, name, {}, tip, receiver, std::forward<Slot>(slot));
    a->setCheckable(true);
    a->setChecked(on);
    return a;
}

// Undo and Redo of the history's active stack.
void addUndoRedo(QMenu* edit, QUndoGroup* history)
{
    QAction* undo = history->createUndoAction(edit);
    undo->setObjectName(QStringLiteral("undo"));
    undo->setShortcut(QKeySequence::Undo);
    undo->setStatusTip(QStringLiteral("Undo the last change"));
    edit->addAction(undo);
    QAction* redo = history->createRedoAction(edit);
    redo->setObjectName(QStringLiteral("redo"));
    // The platform's Redo (Ctrl+Shift+Z) and Ctrl+Y alike.
    QList<QKeySequence> redoKeys = QKeySequence::keyBindings(QKeySequence::Redo);
    for (const QKeySequence& k :
            {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y)})
        if (!redoKeys.contains(k))
            redoKeys << k;
    redo->setShortcuts(redoKeys);
    redo->setStatusTip(QStringLiteral("Redo the change last undone"));
    edit->addAction(redo);
}

} // namespace

void CMainFrame::createMenus()
{
    QMenuBar* bar = menuBar();
    createFileMenu(bar);
    createEditMenu(bar);
    createSpecialMenu(bar);
    // Help is a command on the menu bar itself.
    addCommand(bar, QStringLiteral("Help"), "help", Qt::Key_F1, QStringLiteral("Open the user guide"), this,
            [this] { openHelp(); });
}

void CMainFrame::createFileMenu(QMenuBar* bar)
{
    fileMenu_ = bar->addMenu(QStringLiteral("&File"));
    addCommand(fileMenu_, QStringLiteral("&Open..."), "open", Qt::CTRL | Qt::Key_O,
            QStringLiteral("Open an existing document"), this, [this] {
                // The file is chosen first; the question about changes comes with the open.
                const QString path = chooseOpenFile();
                if (!path.isEmpty())
                    openDocument(path, true);
            });
    save_ = addCommand(fileMenu_, QStringLiteral("&Save"), "save", Qt::CTRL | Qt::Key_S,
            QStringLiteral("Save the active document"), this, [this] { saveDocument(); });
    saveAs_ = addCommand(fileMenu_, QStringLiteral("Save &As..."), "saveAs", QKeySequence::SaveAs,
            QStringLiteral("Save the active document with a new name"), this, [this] { saveDocumentAs(); });
    reload_ = addCommand(fileMenu_, QStringLiteral("Reload"), "reload", QKeySequence::Refresh,
            QStringLiteral("Load the current file again, discarding the changes"), this,
            [this] { reloadDocument(); });
    recentAnchor_ = fileMenu_->addSeparator();
    recentEnd_ = fileMenu_->addSeparator();
    addCommand(fileMenu_, QStringLiteral("E&xit"), "exit", Qt::CTRL | Qt::Key_Q,
            QStringLiteral("Quit the application; prompts to save documents"), this, [this] { close(); });
    // The compare commands follow the menu's own items.
    fileMenu_->addSeparator();
    compare_->addCommands(fileMenu_, [this] { return chooseReferenceFile(); });
    rebuildRecentMenu();
}

void CMainFrame::createEditMenu(QMenuBar* bar)
{
    // "Undo Edit Idle speed": the actions name the change they take back or
    // make again, and are greyed while there is none. They act on the
    // document, or on the table window that is active.
    QMenu* edit = bar->addMenu(QStringLiteral("&Edit"));
    addUndoRedo(edit, undoGroup());
    edit->addSeparator();

    // The tree's own keys (copy, cut, paste, print) do nothing, so the
    // commands on entries have keys of their own.
    copyValue_ = addCommand(edit, QStringLiteral("Copy &Value"), "copyValue",
            Qt::CTRL | Qt::SHIFT | Qt::Key_C, QStringLiteral("Copy the value of the selected entry as text"),
            this, [this] { view_->onCopyValue(); });
    copyRecord_ = addCommand(edit, QStringLiteral("&Copy Record"), "copyRecord",
            Qt::CTRL | Qt::SHIFT | Qt::Key_R, QStringLiteral("Copy the selected record to the clipboard"),
            this, [this] { view_->onCopyToClipboard(); });
    addRecord_ = addCommand(edit, QStringLiteral("&Add Record from Clipboard"), "addRecord",
            Qt::CTRL | Qt::SHIFT | Qt::Key_A,
            QStringLiteral("Insert the record on the clipboard before the selected record"), this,
            [this] { view_->onAddFromClipboard(); });
    replaceRecord_ = addCommand(edit, QStringLiteral("R&eplace Record from Clipboard"), "replaceRecord",
            Qt::CTRL | Qt::SHIFT | Qt::Key_E,
            QStringLiteral("Replace the selected record by the one on the clipboard"), this,
            [this] { view_->onReplaceFromClipboard(); });
    removeRecord_ =
            addCommand(edit, QStringLiteral("Re&move Record"), "removeRecord", Qt::CTRL | Qt::Key_Delete,
                    QStringLiteral("Remove the selected record"), this, [this] { view_->onRemoveRecord(); });
    edit->addSeparator();
    addCommand(edit, QStringLiteral("&Filter..."), "filter", QKeySequence::Find,
            QStringLiteral("Show only the entries whose name, id or value contains a text"), this,
            [this] { showFilter(); });
    edit->addSeparator();
    addCommand(edit, QStringLiteral("A&bout Tarlo"), "about", {},
            QStringLiteral("Show the version, the definition file and the data folder"), this, [this] {
                QMessageBox box(QMessageBox::Information, QStringLiteral("About Tarlo"), aboutText(),
                        QMessageBox::Ok, this);
                box.setObjectName(QStringLiteral("aboutBox"));
                box.exec();
            });
    connect(edit, &QMenu::aboutToShow, this, &CMainFrame::updateEditActions);
    connect(view_->selectionModel(), &QItemSelectionModel::currentChanged, this,
            &CMainFrame::updateEditActions);
    connect(QGuiApplication::clipboard(), &QClipboard::dataChanged, this, &CMainFrame::updateEditActions);
    connect(view_, &browser::CTLView::rebuilt, this, &CMainFrame::updateEditActions);
    connect(notifier_, &document::DocNotifier::changed, this, [this] { updateEditActions(); });
    updateEditActions();
}

void CMainFrame::updateEditActions()
{
    copyValue_->setEnabled(view_->canCopyValue());
    const bool record = view_->recordSelected();
    copyRecord_->setEnabled(record);
    removeRecord_->setEnabled(record);
    const bool paste = view_->canPasteRecord();
    addRecord_->setEnabled(paste);
    replaceRecord_->setEnabled(paste);
}

void CMainFrame::createSpecialMenu(QMenuBar* bar)
{
    QMenu* special = bar->addMenu(QStringLiteral("&Special"));
    sort_ = addOption(special, QStringLiteral("Sort Entries"), "sort",
            QStringLiteral("Show the records sorted by id, or in file order"), view_->sortEntries(), this,
            [this](bool on) {
                view_->setSortEntries(on);
                sort_->setChecked(view_->sortEntries());
            });
    addCommand(special, QStringLiteral("Search For Entry..."), "search", Qt::Key_F2,
            QStringLiteral("Find an entry whose name contains a text"), this, [this] {
                view_->onSearch();
                // F3 works from the search on, not only once the menu has shown.
                searchAgain_->setEnabled(view_->canSearchAgain());
            });
    searchAgain_ = addCommand(special, QStringLiteral("Search Again"), "searchAgain", Qt::Key_F3,
            QStringLiteral("Find the next entry whose name contains the text"), this, [this] {
                if (view_->canSearchAgain())
                    view_->onSearchAgain();
            });
    searchAgain_->setEnabled(view_->canSearchAgain());
    connect(special, &QMenu::aboutToShow, this, [this] {
        searchAgain_->setEnabled(view_->canSearchAgain());
        sort_->setChecked(view_->sortEntries());
    });
    special->addSeparator();

    addCommand(special, QStringLiteral("Set Tarlo for AIR files"), "associate", {},
            QStringLiteral("Open AIR files with Tarlo"), this,
            [this] { registerAirFiles(options_.programPath); });
    special->addSeparator();

    useLastFileAction_ = addOption(special, QStringLiteral("Open Last File On Starting"), "useLastFile",
            QStringLiteral("Open the most recent file when Tarlo starts"), useLastFile_, this,
            [this] { setUseLastFile(!useLastFile_); });
    useLastSelAction_ = addOption(special, QStringLiteral("Highlight Last Selection On Starting"),
            "useLastSel", QStringLiteral("Select the entry selected at the last close when Tarlo starts"),
            useLastSel_, this, [this] { setUseLastSel(!useLastSel_); });
    addCommand(special, QStringLiteral("Expand All"), "expandAll", {},
            QStringLiteral("Show the fields of every record"), this, [this] { view_->expandAllRecords(); });
    addCommand(special, QStringLiteral("Collapse All"), "collapseAll", {},
            QStringLiteral("Hide the fields of every record"), this, [this] { view_->collapseAllRecords(); });
}

QAction* CMainFrame::action(const QString& objectName) const
{
    return findChild<QAction*>(objectName);
}

void CMainFrame::rebuildRecentMenu()
{
    for (QAction* a : recentActions_) {
        fileMenu_->removeAction(a);
        a->deleteLater();
    }
    recentActions_.clear();
    const QStringList& paths = recent_.paths();
    if (paths.isEmpty()) {
        // The place of the list shows greyed while it is empty.
        QAction* a = new QAction(QStringLiteral("Recent File"), fileMenu_);
        a->setEnabled(false);
        fileMenu_->insertAction(recentEnd_, a);
        recentActions_.append(a);
        return;
    }
    for (int i = 0; i < paths.size(); ++i) {
        QAction* a = new QAction(RecentFiles::menuText(i, paths.at(i)), fileMenu_);
        a->setStatusTip(QStringLiteral("Open this document"));
        a->setToolTip(paths.at(i));
        connect(a, &QAction::triggered, this, [this, i] { openRecent(i); });
        fileMenu_->insertAction(recentEnd_, a);
        recentActions_.append(a);
    }
}

QStringList CMainFrame::recentMenuTexts() const
{
    QStringList out;
    for (QAction* a : recentActions_)
        if (a->isEnabled())
            out << a->text();
    return out;
}

} // namespace tarlo
