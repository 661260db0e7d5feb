#pragma once
// The editor's main window: menus, status bar, placement, the close
// sequence, recent files and dropped files. It owns the document, its
// notifier and undo history, and the one record tree view built on them.

#include "editor/RecentFiles.h"
#include "model/CTLDoc.h"

#include <QMainWindow>
#include <QPointer>

#include <memory>

class QAction;
class QLabel;
class QMenu;
class QMenuBar;
class QToolBar;
class QUndoGroup;
class QUndoStack;
class QUrl;

namespace browser {
class EditingView;
class FilterBox;
} // namespace browser

namespace ui {
class ElidedLabel;
} // namespace ui

namespace document {
class DocNotifier;
class DocUndoStack;
} // namespace document

namespace tarlo {

class ActiveUndo;
class CompareSession;
class ExternalChange;
class RecoveryKeeper;

class CMainFrame : public QMainWindow {
    Q_OBJECT
public:
    struct Options {
        QString programPath; // for the file association
        QString helpPath; // Tarlo.html
        QString definitionsPath; // Tarlo.ini
    };

    explicit CMainFrame(const Options& options, QWidget* parent = nullptr);
    ~CMainFrame() override;

    model::CTLDoc& document() { return doc_; }
    // The document's changes as signals, for every window that follows it.
    document::DocNotifier* notifier() const { return notifier_; }
    browser::EditingView* view() const { return view_; }
    // The filter box above the tree (Edit > Filter), hidden until asked for.
    browser::FilterBox* filterBox() const { return filterBox_; }
    void showFilter();
    // The undo history of the document.
    QUndoStack* undoStack() const;
    // What the Edit menu's Undo and Redo act on: the document's history, or
    // the active table window's own.
    QUndoGroup* undoGroup() const;
    RecentFiles& recentFiles() { return recent_; }
    // File > Compare With...: the document against a reference file.
    CompareSession* compare() const { return compare_; }

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
    bool useLastFile() const { return useLastFile_; }
    bool useLastSel() const { return useLastSel_; }
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
    // in place), or recovered edits were recorded against an earlier version
    // of it. A file that is gone does not count.
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
    // The reference file of Compare With... (the file's backups first).
    virtual QString chooseReferenceFile();
    virtual void openHelp();
    // The desktop's viewer for a URL; false when it could not be asked (a
    // test makes it fail).
    virtual bool openOnDesktop(const QUrl& url);
    // The user guide in a window of the program's own, when the desktop
    // cannot show it; null until it was needed.
    QWidget* helpWindow() const;
    // About Tarlo: the version, the Qt version, the definition file and
    // the data folder.
    QString aboutText() const;
    virtual void endProgram(); // Alt+X
    // The system ends the program (SIGTERM, SIGHUP, SIGINT): as Alt+X, the
    // unsaved changes are kept for recovery first; then sig ends it.
    void onTerminationRequested(int sig);
    virtual void endBySignal(int sig);

protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The constructor's steps. readSettings answers the stored sort flag.
    bool readSettings();
    void createDocumentViews(bool sort);
    void createStatusBar();
    void createExternalChange();
    void createFilterBar();
    // Accessible names and descriptions of the window's own controls.
    void describeControls();
    // One per menu; Help is a command on the bar itself.
    void createMenus();
    void createFileMenu(QMenuBar* bar);
    void createEditMenu(QMenuBar* bar);
    void createSpecialMenu(QMenuBar* bar);
    void updateTitle();
    void updateActions();
    // The Edit menu's entry commands follow the selection and the clipboard.
    void updateEditActions();
    void rebuildRecentMenu();
    void writePlacementAndSelection();
    void applyPlacement();
    void onExitRequested();
    // What every end of the program without a close keeps: recent files, unsaved changes.
    void keepForNextStart();
    // Sets a Special-menu option, its check mark and its stored value.
    void setOption(bool& flag, QAction* action, QLatin1String key, bool on);

    Options options_;
    model::CTLDoc doc_;
    std::unique_ptr<RecoveryKeeper> recovery_; // goes before the document it listens to
    browser::EditingView* view_ = nullptr;
    document::DocNotifier* notifier_ = nullptr;
    document::DocUndoStack* undo_ = nullptr;
    ActiveUndo* activeUndo_ = nullptr;
    CompareSession* compare_ = nullptr;
    RecentFiles recent_;
    bool useLastFile_ = false;
    bool useLastSel_ = false;

    ExternalChange* external_ = nullptr;
    QToolBar* filterBar_ = nullptr;
    QPointer<QWidget> helpWindow_;
    browser::FilterBox* filterBox_ = nullptr;

    ui::ElidedLabel* pane0_ = nullptr;
    QLabel* capsPane_ = nullptr;
    QLabel* numPane_ = nullptr;
    QMenu* fileMenu_ = nullptr;
    QAction* recentAnchor_ = nullptr; // separator before the recent entries
    QAction* recentEnd_ = nullptr; // separator after them
    QList<QAction*> recentActions_;
    QAction* save_ = nullptr;
    QAction* saveAs_ = nullptr;
    QAction* reload_ = nullptr;
    QAction* sort_ = nullptr;
    QAction* searchAgain_ = nullptr;
    QAction* copyValue_ = nullptr;
    QAction* copyRecord_ = nullptr;
    QAction* addRecord_ = nullptr;
    QAction* replaceRecord_ = nullptr;
    QAction* removeRecord_ = nullptr;
    QAction* useLastFileAction_ = nullptr;
    QAction* useLastSelAction_ = nullptr;
};

} // namespace tarlo
