// The main window's menus: File (with the recent files), Edit, Special and Help.
#include "editor/CMainFrame.h"

#include "browser/EditingView.h"
#include "document/DocUndoStack.h"
#include "editor/Association.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>

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
    reload_ = addCommand(fileMenu_, QStringLiteral("Reload"), "reload", {},
            QStringLiteral("Load the current file again, discarding the changes"), this,
            [this] { reloadDocument(); });
    recentAnchor_ = fileMenu_->addSeparator();
    recentEnd_ = fileMenu_->addSeparator();
    addCommand(fileMenu_, QStringLiteral("E&xit"), "exit", Qt::CTRL | Qt::Key_Q,
            QStringLiteral("Quit the application; prompts to save documents"), this, [this] { close(); });
    rebuildRecentMenu();
}

void CMainFrame::createEditMenu(QMenuBar* bar)
{
    // "Undo Edit Idle speed": the actions name the change they take back or
    // make again, and are greyed while there is none.
    QMenu* edit = bar->addMenu(QStringLiteral("&Edit"));
    QAction* undo = undo_->createUndoAction(edit);
    undo->setObjectName(QStringLiteral("undo"));
    undo->setShortcut(QKeySequence::Undo);
    undo->setStatusTip(QStringLiteral("Undo the last change"));
    edit->addAction(undo);
    QAction* redo = undo_->createRedoAction(edit);
    redo->setObjectName(QStringLiteral("redo"));
    redo->setShortcut(QKeySequence::Redo);
    redo->setStatusTip(QStringLiteral("Redo the change last undone"));
    edit->addAction(redo);
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
