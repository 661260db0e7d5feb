#include "editor/CMainFrame.h"

#include "browser/DocNotifier.h"
#include "browser/DocUndoStack.h"
#include "browser/EditingView.h"
#include "editor/Association.h"
#include "editor/LockKeys.h"
#include "editor/RecoveryKeeper.h"
#include "ui/Messages.h"
#include "ui/Placement.h"
#include "ui/Settings.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QLabel>
#include <QMenuBar>
#include <QMimeData>
#include <QSettings>
#include <QStatusBar>
#include <QToolBar>
#include <QUrl>

namespace tarlo {

namespace {

namespace keys = ui::settings;

// The main window's outer rectangle when none is stored.
constexpr ui::Edges kDefaultPlacement{10, 10, 300, 400};

QString fromLocal(const std::string& s)
{
    return QFile::decodeName(QByteArray::fromStdString(s));
}

std::string toLocal(const QString& s)
{
    return QFile::encodeName(s).toStdString();
}

// The error's own text, or `fallback` when it gave none.
QString failureText(const model::fileio::Error& err, const char* fallback)
{
    return err.message.empty() ? QString::fromLatin1(fallback) : QString::fromStdString(err.message);
}

} // namespace

CMainFrame::CMainFrame(const Options& options, QWidget* parent) : QMainWindow(parent), options_(options)
{
    setObjectName(QStringLiteral("CMainFrame"));
    // Caption, system menu, minimise and close; no maximise button.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setAcceptDrops(true);

    doc_.setDefinitionsPath(toLocal(options.definitionsPath));

    QSettings s = keys::store();
    recent_.load(s);
    s.beginGroup(keys::kSettingsSection);
    useLastFile_ = s.value(keys::kUseLastFile, 0).toInt() == 1;
    useLastSel_ = s.value(keys::kUseLastSel, 0).toInt() == 1;
    const bool sort = s.value(keys::kSort, 1).toInt() != 0;
    s.endGroup();

    view_ = new browser::EditingView(doc_, this);
    view_->setSortEntries(sort);
    setCentralWidget(view_);
    connect(view_, &browser::CTLView::statusTextChanged, this, &CMainFrame::setStatusText);
    connect(view_, &browser::CTLView::exitRequested, this, &CMainFrame::onExitRequested);
    doc_.setRebuildCallback([this] { view_->rebuildTree(); });
    recovery_ = std::make_unique<RecoveryKeeper>(doc_, this, [this](const QString& t) { setStatusText(t); });
    // Every change goes onto the undo history; the title's mark follows the
    // modified state, which undoing back to the saved state clears.
    undo_ = new browser::DocUndoStack(*view_->notifier(), this);
    connect(view_->notifier(), &browser::DocNotifier::modifiedChanged, this, &QWidget::setWindowModified);
    connect(view_->notifier(), &browser::DocNotifier::loaded, this, [this] {
        updateTitle();
        updateActions();
    });
    connect(view_->notifier(), &browser::DocNotifier::saved, this, &CMainFrame::updateTitle);

    // Status bar: pane 0 takes the free width, then CAP and NUM.
    pane0_ = new QLabel(QStringLiteral("Welcome To Tarlo!"), this);
    pane0_->setObjectName(QStringLiteral("pane0"));
    pane0_->setMinimumWidth(1);
    capsPane_ = new QLabel(this);
    numPane_ = new QLabel(this);
    for (QLabel* l : {capsPane_, numPane_}) {
        l->setAlignment(Qt::AlignCenter);
        l->setMinimumWidth(l->fontMetrics().horizontalAdvance(QStringLiteral("CAPM")) + 6);
        l->setFrameShape(QFrame::StyledPanel);
        l->setFrameShadow(QFrame::Sunken);
    }
    statusBar()->addWidget(pane0_, 1);
    statusBar()->addPermanentWidget(capsPane_);
    statusBar()->addPermanentWidget(numPane_);
    statusBar()->setSizeGripEnabled(true);

    // Another program may change the open file: the watcher notices, a bar
    // above the tree offers to reload (no dialog pops up on its own), and
    // Save asks before it overwrites.
    watcher_ = new QFileSystemWatcher(this);
    connect(watcher_, &QFileSystemWatcher::fileChanged, this, [this] { checkDiskFile(); });
    connect(watcher_, &QFileSystemWatcher::directoryChanged, this, [this] { checkDiskFile(); });
    changedBar_ = new QToolBar(QStringLiteral("Changed file"), this);
    changedBar_->setObjectName(QStringLiteral("changedBar"));
    changedBar_->setMovable(false);
    changedBar_->setFloatable(false);
    changedBar_->toggleViewAction()->setVisible(false);
    changedText_ = new QLabel(changedBar_);
    changedText_->setObjectName(QStringLiteral("changedText"));
    changedBar_->addWidget(changedText_);
    changedReload_ = changedBar_->addAction(QStringLiteral("Reload"));
    changedReload_->setObjectName(QStringLiteral("changedReload"));
    changedReload_->setStatusTip(QStringLiteral("Load the file as the other program left it"));
    connect(changedReload_, &QAction::triggered, this, [this] {
        // Edits made since the bar appeared are not thrown away from here.
        if (doc_.isModified())
            checkDiskFile();
        else
            reloadDocument();
    });
    QAction* ignore = changedBar_->addAction(QStringLiteral("Ignore"));
    ignore->setObjectName(QStringLiteral("changedIgnore"));
    ignore->setStatusTip(QStringLiteral("Keep the document as it is and hide this bar"));
    connect(ignore, &QAction::triggered, this, [this] {
        dismissed_ = model::fileio::identify(doc_.fullPath());
        hideChangedBar();
    });
    addToolBar(Qt::TopToolBarArea, changedBar_);
    changedBar_->hide();

    createMenus();
    updateTitle();
    updateActions();
    applyPlacement();

    // Lock keys change by key presses anywhere and while another program has
    // the focus; look again then.
    qApp->installEventFilter(this);
    refreshLockPanes();
}

CMainFrame::~CMainFrame()
{
    doc_.setRebuildCallback({});
    if (qApp) qApp->removeEventFilter(this);
    // The view (and the editors it owns) refer to the document, a member
    // that would otherwise go before the base class deletes its children.
    delete view_;
    view_ = nullptr;
}

// ---------------------------------------------------------------------------
// Menus

void CMainFrame::createMenus()
{
    QMenuBar* bar = menuBar();
    createFileMenu(bar);
    createEditMenu(bar);
    createSpecialMenu(bar);
    // Help is a command on the menu bar itself.
    QAction* help = bar->addAction(QStringLiteral("Help"));
    help->setObjectName(QStringLiteral("help"));
    help->setShortcut(QKeySequence(Qt::Key_F1));
    help->setStatusTip(QStringLiteral("Open the user guide"));
    connect(help, &QAction::triggered, this, [this] { openHelp(); });
}

void CMainFrame::createFileMenu(QMenuBar* bar)
{
    fileMenu_ = bar->addMenu(QStringLiteral("&File"));
    QAction* open = fileMenu_->addAction(QStringLiteral("&Open..."));
    open->setObjectName(QStringLiteral("open"));
    open->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    open->setStatusTip(QStringLiteral("Open an existing document"));
    connect(open, &QAction::triggered, this, [this] {
        // The file is chosen first; the question about changes comes with the open.
        const QString path = chooseOpenFile();
        if (!path.isEmpty()) openDocument(path, true);
    });

    save_ = fileMenu_->addAction(QStringLiteral("&Save"));
    save_->setObjectName(QStringLiteral("save"));
    save_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    save_->setStatusTip(QStringLiteral("Save the active document"));
    connect(save_, &QAction::triggered, this, [this] { saveDocument(); });

    saveAs_ = fileMenu_->addAction(QStringLiteral("Save &As..."));
    saveAs_->setObjectName(QStringLiteral("saveAs"));
    saveAs_->setShortcut(QKeySequence::SaveAs);
    saveAs_->setStatusTip(QStringLiteral("Save the active document with a new name"));
    connect(saveAs_, &QAction::triggered, this, [this] { saveDocumentAs(); });

    reload_ = fileMenu_->addAction(QStringLiteral("Reload"));
    reload_->setObjectName(QStringLiteral("reload"));
    reload_->setStatusTip(QStringLiteral("Load the current file again, discarding the changes"));
    connect(reload_, &QAction::triggered, this, [this] { reloadDocument(); });

    recentAnchor_ = fileMenu_->addSeparator();
    recentEnd_ = fileMenu_->addSeparator();
    QAction* exit = fileMenu_->addAction(QStringLiteral("E&xit"));
    exit->setObjectName(QStringLiteral("exit"));
    exit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    exit->setStatusTip(QStringLiteral("Quit the application; prompts to save documents"));
    connect(exit, &QAction::triggered, this, &QWidget::close);
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
    sort_ = special->addAction(QStringLiteral("Sort Entries"));
    sort_->setObjectName(QStringLiteral("sort"));
    sort_->setCheckable(true);
    sort_->setStatusTip(QStringLiteral("Show the records sorted by id, or in file order"));
    sort_->setChecked(view_->sortEntries());
    connect(sort_, &QAction::triggered, this, [this](bool on) {
        view_->setSortEntries(on);
        sort_->setChecked(view_->sortEntries());
    });

    QAction* search = special->addAction(QStringLiteral("Search For Entry..."));
    search->setObjectName(QStringLiteral("search"));
    search->setShortcut(QKeySequence(Qt::Key_F2));
    search->setStatusTip(QStringLiteral("Find an entry whose name contains a text"));
    connect(search, &QAction::triggered, this, [this] { view_->onSearch(); });
    searchAgain_ = special->addAction(QStringLiteral("Search Again"));
    searchAgain_->setObjectName(QStringLiteral("searchAgain"));
    searchAgain_->setShortcut(QKeySequence(Qt::Key_F3));
    searchAgain_->setStatusTip(QStringLiteral("Find the next entry whose name contains the text"));
    connect(searchAgain_, &QAction::triggered, this, [this] {
        if (view_->canSearchAgain())
            view_->onSearchAgain();
    });
    connect(special, &QMenu::aboutToShow, this, [this] {
        searchAgain_->setEnabled(view_->canSearchAgain());
        sort_->setChecked(view_->sortEntries());
    });
    special->addSeparator();

    QAction* assoc = special->addAction(QStringLiteral("Set Tarlo for AIR files"));
    assoc->setObjectName(QStringLiteral("associate"));
    assoc->setStatusTip(QStringLiteral("Open AIR files with Tarlo"));
    connect(assoc, &QAction::triggered, this, [this] { registerAirFiles(options_.programPath); });
    special->addSeparator();

    useLastFileAction_ = special->addAction(QStringLiteral("Open Last File On Starting"));
    useLastFileAction_->setObjectName(QStringLiteral("useLastFile"));
    useLastFileAction_->setCheckable(true);
    useLastFileAction_->setStatusTip(QStringLiteral("Open the most recent file when Tarlo starts"));
    useLastFileAction_->setChecked(useLastFile_);
    connect(useLastFileAction_, &QAction::triggered, this, [this] { setUseLastFile(!useLastFile_); });

    useLastSelAction_ = special->addAction(QStringLiteral("Highlight Last Selection On Starting"));
    useLastSelAction_->setObjectName(QStringLiteral("useLastSel"));
    useLastSelAction_->setCheckable(true);
    useLastSelAction_->setStatusTip(
            QStringLiteral("Select the entry selected at the last close when Tarlo starts"));
    useLastSelAction_->setChecked(useLastSel_);
    connect(useLastSelAction_, &QAction::triggered, this, [this] { setUseLastSel(!useLastSel_); });

    QAction* expand = special->addAction(QStringLiteral("Expand All"));
    expand->setObjectName(QStringLiteral("expandAll"));
    expand->setStatusTip(QStringLiteral("Show the fields of every record"));
    connect(expand, &QAction::triggered, this, [this] { view_->expandAllRecords(); });
    QAction* collapse = special->addAction(QStringLiteral("Collapse All"));
    collapse->setObjectName(QStringLiteral("collapseAll"));
    collapse->setStatusTip(QStringLiteral("Hide the fields of every record"));
    connect(collapse, &QAction::triggered, this, [this] { view_->collapseAllRecords(); });
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
        if (a->isEnabled()) out << a->text();
    return out;
}

void CMainFrame::openRecent(int i)
{
    if (i < 0 || i >= recent_.paths().size())
        return;
    const QString path = recent_.paths().at(i);
    openDocument(path, true);
}

QUndoStack* CMainFrame::undoStack() const
{
    return undo_;
}

void CMainFrame::updateTitle()
{
    // "plane.air* - Tarlo" while modified: Qt puts the mark at [*].
    const QString title = doc_.hasData() ? fromLocal(doc_.fileName()) : QStringLiteral("Untitled");
    setWindowTitle(title + QStringLiteral("[*] - Tarlo"));
    setWindowModified(doc_.isModified());
}

void CMainFrame::updateActions()
{
    const bool data = doc_.hasData();
    save_->setEnabled(data);
    saveAs_->setEnabled(data);
    reload_->setEnabled(data);
}

// ---------------------------------------------------------------------------
// Status bar

void CMainFrame::setStatusText(const QString& text)
{
    pane0_->setText(text);
}

QString CMainFrame::statusText() const
{
    return pane0_->text();
}

QString CMainFrame::capsPaneText() const
{
    return capsPane_->text();
}
QString CMainFrame::numPaneText() const
{
    return numPane_->text();
}

void CMainFrame::refreshLockPanes()
{
    const LockState st = queryLockState();
    capsPane_->setText(st.caps ? QStringLiteral("CAP") : QString());
    numPane_->setText(st.num ? QStringLiteral("NUM") : QString());
}

bool CMainFrame::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::KeyRelease:
    case QEvent::ApplicationStateChange:
    case QEvent::WindowActivate:
        refreshLockPanes();
        // Coming back to the window is when a change by another program
        // matters; the watcher may have missed one (a network folder).
        if (watched == this)
            checkDiskFile();
        break;
    default:
        break;
    }
    return QMainWindow::eventFilter(watched, event);
}

// ---------------------------------------------------------------------------
// Documents

bool CMainFrame::saveModified()
{
    if (!doc_.isModified())
        return true;
    const QString title = doc_.hasData() ? fromLocal(doc_.fileName()) : QStringLiteral("Untitled");
    switch (ui::askYesNoCancel(this, QStringLiteral("Save changes to %1?").arg(title))) {
    case ui::Answer::Yes:
        return saveDocument();
    case ui::Answer::No:
        recovery_->discard();
        return true;
    default:
        return false;
    }
}

bool CMainFrame::openDocument(const QString& path, bool askSave)
{
    // The table windows' edits reach the document before it is asked about
    // or replaced.
    view_->closeTableWindows();
    if (askSave && !saveModified()) return false;
    const QString full = QFileInfo(path).absoluteFilePath();
    recovery_->offer(full);
    const model::fileio::Error err = doc_.load(toLocal(full));
    if (err) {
        ui::tell(this, failureText(err, "Failed to open document."), ui::Tone::Warning);
        if (recent_.paths().contains(full) || recent_.paths().contains(path)) {
            recent_.remove(full);
            rebuildRecentMenu();
        }
        return false;
    }
    recent_.add(full);
    rebuildRecentMenu();
    updateTitle();
    updateActions();
    watchDocument();
    recovery_->opened();
    return true;
}

bool CMainFrame::saveDocument()
{
    if (!doc_.hasData())
        return true;
    if (changedOnDisk()) {
        switch (ui::askOverwriteReloadCancel(this,
                QStringLiteral("%1 was changed by another program. Overwrite it?")
                        .arg(fromLocal(doc_.fileName())))) {
        case ui::Answer::Overwrite:
            break;
        case ui::Answer::Reload:
            reloadDocument();
            return false;
        default:
            return false;
        }
    }
    const model::fileio::Error err = doc_.save(doc_.fullPath());
    if (err) {
        ui::tell(this, failureText(err, "Failed to save document."), ui::Tone::Warning);
        return false;
    }
    setStatusText(QString::fromStdString(doc_.wroteMessage()));
    updateTitle();
    watchDocument();
    return true;
}

bool CMainFrame::saveDocumentAs()
{
    if (!doc_.hasData())
        return false;
    const QString path = chooseSaveFile(fromLocal(doc_.fullPath()));
    if (path.isEmpty()) return false;
    const QString full = QFileInfo(path).absoluteFilePath();
    const model::fileio::Error err = doc_.save(toLocal(full));
    if (err) {
        ui::tell(this, failureText(err, "Failed to save document."), ui::Tone::Warning);
        return false;
    }
    // A save under a new name has rebuilt the tree, which showed the record
    // count; the written bytes are the news.
    setStatusText(QString::fromStdString(doc_.wroteMessage()));
    recent_.add(full);
    rebuildRecentMenu();
    updateTitle();
    watchDocument();
    return true;
}

void CMainFrame::reloadDocument()
{
    if (!doc_.hasData())
        return;
    view_->closeTableWindows();
    const model::fileio::Error err = doc_.reload();
    if (err)
        ui::tell(this, failureText(err, "Failed to open document."), ui::Tone::Warning);
    updateTitle();
    updateActions();
    watchDocument();
}

// ---------------------------------------------------------------------------
// Changes by other programs

bool CMainFrame::changedOnDisk() const
{
    if (!doc_.hasData() || !doc_.diskIdentity().valid)
        return false;
    const model::fileio::FileIdentity now = model::fileio::identify(doc_.fullPath());
    return now.valid && now != doc_.diskIdentity();
}

void CMainFrame::watchDocument()
{
    dismissed_ = {};
    hideChangedBar();
    if (!watcher_->files().isEmpty())
        watcher_->removePaths(watcher_->files());
    if (!watcher_->directories().isEmpty())
        watcher_->removePaths(watcher_->directories());
    if (!doc_.hasData() || doc_.fullPath().empty())
        return;
    const QString path = fromLocal(doc_.fullPath());
    watcher_->addPath(path);
    // A file replaced by a rename leaves the watch behind; its folder sees
    // the new one arrive.
    const QFileInfo target(QFileInfo(path).canonicalFilePath());
    if (!target.filePath().isEmpty())
        watcher_->addPath(target.absolutePath());
}

void CMainFrame::checkDiskFile()
{
    if (!doc_.hasData() || doc_.fullPath().empty()) {
        hideChangedBar();
        return;
    }
    const QString path = fromLocal(doc_.fullPath());
    if (!watcher_->files().contains(path) && QFileInfo::exists(path))
        watcher_->addPath(path);
    const model::fileio::FileIdentity now = model::fileio::identify(doc_.fullPath());
    if (!changedOnDisk() || now == dismissed_) {
        hideChangedBar();
        return;
    }
    const QString name = fromLocal(doc_.fileName());
    if (doc_.isModified()) {
        changedText_->setText(
                QStringLiteral("%1 was changed by another program. Save asks before overwriting it.")
                        .arg(name));
        changedReload_->setVisible(false);
    } else {
        changedText_->setText(QStringLiteral("%1 was changed by another program.").arg(name));
        changedReload_->setVisible(true);
    }
    changedBar_->show();
}

void CMainFrame::hideChangedBar()
{
    changedBar_->hide();
}

bool CMainFrame::changedBarVisible() const
{
    return !changedBar_->isHidden();
}

QString CMainFrame::changedBarText() const
{
    return changedText_->text();
}

// ---------------------------------------------------------------------------
// Options

void CMainFrame::setUseLastFile(bool on)
{
    setOption(useLastFile_, useLastFileAction_, keys::kUseLastFile, on);
}

void CMainFrame::setUseLastSel(bool on)
{
    setOption(useLastSel_, useLastSelAction_, keys::kUseLastSel, on);
}

void CMainFrame::setOption(bool& flag, QAction* action, QLatin1String key, bool on)
{
    flag = on;
    action->setChecked(on);
    QSettings s = keys::store();
    s.beginGroup(keys::kSettingsSection);
    s.setValue(key, on ? 1 : 0);
}

void CMainFrame::storeRecentFiles()
{
    QSettings s = keys::store();
    recent_.save(s);
}

// ---------------------------------------------------------------------------
// Placement and close

void CMainFrame::applyPlacement()
{
    ui::applyPlacement(this, keys::kSettingsSection, kDefaultPlacement, ui::kMainWindowLimits);
}

void CMainFrame::writePlacementAndSelection()
{
    ui::savePlacement(this, keys::kSettingsSection, ui::kMainWindowLimits);
    QSettings s = keys::store();
    s.beginGroup(keys::kSettingsSection);
    s.setValue(keys::kSort, view_->sortEntries() ? 1 : 0);
    if (useLastSel_ && doc_.hasData()) {
        const int sel = view_->currentEntry();
        if (sel >= 0)
            s.setValue(keys::kLastSelItem, sel);
    }
    s.endGroup();
}

void CMainFrame::closeEvent(QCloseEvent* event)
{
    // First the table windows close as each closes itself, so that their
    // write-backs are in the document when it is asked about and saved.
    // After Cancel they stay closed; their edits are kept in the document.
    view_->closeTableWindows();
    writePlacementAndSelection();
    if (!saveModified()) {
        event->ignore();
        return;
    }
    storeRecentFiles();
    event->accept();
}

void CMainFrame::onExitRequested()
{
    // Alt+X: no question, no placement, no selection. The recent-file list
    // is still kept, as at every end of the program.
    storeRecentFiles();
    recovery_->flush();
    endProgram();
}

void CMainFrame::endProgram()
{
    QCoreApplication::exit(0);
}

// ---------------------------------------------------------------------------
// Dropped files

void CMainFrame::dragEnterEvent(QDragEnterEvent* event)
{
    const QMimeData* mime = event->mimeData();
    if (mime && mime->hasUrls()) {
        for (const QUrl& u : mime->urls()) {
            if (u.isLocalFile()) {
                event->acceptProposedAction();
                return;
            }
        }
    }
    event->ignore();
}

void CMainFrame::dropEvent(QDropEvent* event)
{
    const QMimeData* mime = event->mimeData();
    if (!mime || !mime->hasUrls()) return;
    event->acceptProposedAction();
    activateWindow();
    for (const QUrl& u : mime->urls()) {
        if (u.isLocalFile()) openDocument(u.toLocalFile(), true);
    }
}

// ---------------------------------------------------------------------------
// Interaction

QString CMainFrame::chooseOpenFile()
{
    return QFileDialog::getOpenFileName(this, QStringLiteral("Open"), QString(),
                                        QStringLiteral("Air Files (*.air);;All Files (*)"));
}

QString CMainFrame::chooseSaveFile(const QString& suggested)
{
    QFileDialog dlg(this, QStringLiteral("Save As"), suggested,
                    QStringLiteral("Air Files (*.air);;All Files (*)"));
    dlg.setAcceptMode(QFileDialog::AcceptSave);
    dlg.setDefaultSuffix(QStringLiteral("air"));
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) return {};
    return dlg.selectedFiles().constFirst();
}

void CMainFrame::openHelp()
{
    // The result is ignored: a missing help file does nothing visible.
    QDesktopServices::openUrl(QUrl::fromLocalFile(options_.helpPath));
}

} // namespace tarlo
