#pragma once
// The editor's main window: menus, status bar, placement, the close
// sequence, recent files and dropped files. It owns the document and the
// one record tree view.

#include "editor/RecentFiles.h"
#include "model/CTLDoc.h"

#include <QMainWindow>

#include <functional>
#include <optional>

class QAction;
class QFileSystemWatcher;
class QLabel;
class QMenu;
class QMenuBar;
class QToolBar;
class QUndoStack;

namespace browser {
class DocUndoStack;
class EditingView;
} // namespace browser

namespace tarlo {

class CMainFrame : public QMainWindow {
    Q_OBJECT
public:
    struct Options {
        QString programPath;      // for the file association
        QString helpPath;         // Tarlo.html
        QString definitionsPath;  // Tarlo.ini
    };

    explicit CMainFrame(const Options& options, QWidget* parent = nullptr);
    ~CMainFrame() override;

    model::CTLDoc& document() { return m_doc; }
    browser::EditingView* view() const { return m_view; }
    // The undo history of the document (Edit menu).
    QUndoStack* undoStack() const;
    RecentFiles& recentFiles() { return m_recent; }

    // Pane 0 of the status bar.
    void setStatusText(const QString& text);
    QString statusText() const;
    QString capsPaneText() const;
    QString numPaneText() const;

    // Opens path; when askSave, first asks about unsaved changes (cancel
    // abandons the open). Shows the error and returns false on failure.
    bool openDocument(const QString& path, bool askSave = true);
    bool saveDocument();
    bool saveDocumentAs();
    void reloadDocument();
    // "Save changes to %1?" when modified. False when the user cancels or the
    // save fails.
    bool saveModified();

    // Options of the Special menu; toggling writes them at once.
    bool useLastFile() const { return m_useLastFile; }
    bool useLastSel() const { return m_useLastSel; }
    void setUseLastFile(bool on);
    void setUseLastSel(bool on);

    // Stores the recent-file list in the settings.
    void storeRecentFiles();

    QAction* action(const QString& objectName) const;

    // The recent-file entries of the File menu, as shown.
    QStringList recentMenuTexts() const;
    void openRecent(int i);

    void refreshLockPanes();

    // Changes made to the open file by another program: true when the file
    // on disk is no longer the one last loaded or saved (replaced, or written
    // in place). A file that is gone does not count.
    bool changedOnDisk() const;
    // Looks at the file now (the watcher and window activation call it):
    // shows or hides the bar that offers to reload it.
    void checkDiskFile();
    bool changedBarVisible() const;
    QString changedBarText() const;

    // The file dialogs, help and the end of the program, overridable by
    // tests (messages and questions go through ui/Messages.h).
    virtual QString chooseOpenFile();
    virtual QString chooseSaveFile(const QString& suggested);
    virtual void openHelp();
    virtual void endProgram();   // Alt+X

protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // One per menu; Help is a command on the bar itself.
    void createMenus();
    void createFileMenu(QMenuBar* bar);
    void createEditMenu(QMenuBar* bar);
    void createSpecialMenu(QMenuBar* bar);
    void updateTitle();
    void updateActions();
    void rebuildRecentMenu();
    void writePlacementAndSelection();
    void applyPlacement();
    void onExitRequested();
    void watchDocument();
    void hideChangedBar();
    // Sets a Special-menu option, its check mark and its stored value.
    void setOption(bool& flag, QAction* action, QLatin1String key, bool on);

    Options m_options;
    model::CTLDoc m_doc;
    browser::EditingView* m_view = nullptr;
    browser::DocUndoStack* m_undo = nullptr;
    RecentFiles m_recent;
    bool m_useLastFile = false;
    bool m_useLastSel = false;

    QFileSystemWatcher* m_watcher = nullptr;
    QToolBar* m_changedBar = nullptr;
    QLabel* m_changedText = nullptr;
    QAction* m_changedReload = nullptr;
    model::fileio::FileIdentity m_dismissed; // the disk state the user chose to ignore

    QLabel* m_pane0 = nullptr;
    QLabel* m_capsPane = nullptr;
    QLabel* m_numPane = nullptr;
    QMenu* m_fileMenu = nullptr;
    QAction* m_recentAnchor = nullptr;   // separator before the recent entries
    QAction* m_recentEnd = nullptr;      // separator after them
    QList<QAction*> m_recentActions;
    QAction* m_save = nullptr;
    QAction* m_saveAs = nullptr;
    QAction* m_reload = nullptr;
    QAction* m_sort = nullptr;
    QAction* m_searchAgain = nullptr;
    QAction* m_useLastFileAction = nullptr;
    QAction* m_useLastSelAction = nullptr;
};

} // namespace tarlo
