#include "editor/CMainFrame.h"

#include "browser/DocNotifier.h"
#include "browser/DocUndoStack.h"
#include "browser/EditingView.h"
#include "editor/Association.h"
#include "editor/LockKeys.h"
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

CMainFrame::CMainFrame(const Options& options, QWidget* parent) : QMainWindow(parent), m_options(options)
{
    setObjectName(QStringLiteral("CMainFrame"));
    // Caption, system menu, minimise and close; no maximise button.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setAcceptDrops(true);

    m_doc.setDefinitionsPath(toLocal(options.definitionsPath));

    QSettings s = keys::store();
    m_recent.load(s);
    s.beginGroup(keys::kSettingsSection);
    m_useLastFile = s.value(keys::kUseLastFile, 0).toInt() == 1;
    m_useLastSel = s.value(keys::kUseLastSel, 0).toInt() == 1;
    const bool sort = s.value(keys::kSort, 1).toInt() != 0;
    s.endGroup();

    m_view = new browser::EditingView(m_doc, this);
    m_view->setSortEntries(sort);
    setCentralWidget(m_view);
    connect(m_view, &browser::CTLView::statusTextChanged, this, &CMainFrame::setStatusText);
    connect(m_view, &browser::CTLView::exitRequested, this, &CMainFrame::onExitRequested);
    m_doc.setRebuildCallback([this] { m_view->rebuildTree(); });
    // Every change goes onto the undo history; the title's mark follows the
    // modified state, which undoing back to the saved state clears.
    m_undo = new browser::DocUndoStack(*m_view->notifier(), this);
    connect(m_view->notifier(), &browser::DocNotifier::modifiedChanged, this, &QWidget::setWindowModified);
    connect(m_view->notifier(), &browser::DocNotifier::loaded, this, [this] {
        updateTitle();
        updateActions();
    });
    connect(m_view->notifier(), &browser::DocNotifier::saved, this, &CMainFrame::updateTitle);

    // Status bar: pane 0 takes the free width, then CAP and NUM.
    m_pane0 = new QLabel(QStringLiteral("Welcome To Tarlo!"), this);
    m_pane0->setObjectName(QStringLiteral("pane0"));
    m_pane0->setMinimumWidth(1);
    m_capsPane = new QLabel(this);
    m_numPane = new QLabel(this);
    for (QLabel* l : {m_capsPane, m_numPane}) {
        l->setAlignment(Qt::AlignCenter);
        l->setMinimumWidth(l->fontMetrics().horizontalAdvance(QStringLiteral("CAPM")) + 6);
        l->setFrameShape(QFrame::StyledPanel);
        l->setFrameShadow(QFrame::Sunken);
    }
    statusBar()->addWidget(m_pane0, 1);
    statusBar()->addPermanentWidget(m_capsPane);
    statusBar()->addPermanentWidget(m_numPane);
    statusBar()->setSizeGripEnabled(true);

    // Another program may change the open file: the watcher notices, a bar
    // above the tree offers to reload (no dialog pops up on its own), and
    // Save asks before it overwrites.
    m_watcher = new QFileSystemWatcher(this);
    connect(m_watcher, &QFileSystemWatcher::fileChanged, this, [this] { checkDiskFile(); });
    connect(m_watcher, &QFileSystemWatcher::directoryChanged, this, [this] { checkDiskFile(); });
    m_changedBar = new QToolBar(QStringLiteral("Changed file"), this);
    m_changedBar->setObjectName(QStringLiteral("changedBar"));
    m_changedBar->setMovable(false);
    m_changedBar->setFloatable(false);
    m_changedBar->toggleViewAction()->setVisible(false);
    m_changedText = new QLabel(m_changedBar);
    m_changedText->setObjectName(QStringLiteral("changedText"));
    m_changedBar->addWidget(m_changedText);
    m_changedReload = m_changedBar->addAction(QStringLiteral("Reload"));
    m_changedReload->setObjectName(QStringLiteral("changedReload"));
    m_changedReload->setStatusTip(QStringLiteral("Load the file as the other program left it"));
    connect(m_changedReload, &QAction::triggered, this, [this] {
        // Edits made since the bar appeared are not thrown away from here.
        if (m_doc.isModified())
            checkDiskFile();
        else
            reloadDocument();
    });
    QAction* ignore = m_changedBar->addAction(QStringLiteral("Ignore"));
    ignore->setObjectName(QStringLiteral("changedIgnore"));
    ignore->setStatusTip(QStringLiteral("Keep the document as it is and hide this bar"));
    connect(ignore, &QAction::triggered, this, [this] {
        m_dismissed = model::fileio::identify(m_doc.fullPath());
        hideChangedBar();
    });
    addToolBar(Qt::TopToolBarArea, m_changedBar);
    m_changedBar->hide();

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
    m_doc.setRebuildCallback({});
    if (qApp) qApp->removeEventFilter(this);
    // The view (and the editors it owns) refer to the document, a member
    // that would otherwise go before the base class deletes its children.
    delete m_view;
    m_view = nullptr;
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
    m_fileMenu = bar->addMenu(QStringLiteral("&File"));
    QAction* open = m_fileMenu->addAction(QStringLiteral("&Open..."));
    open->setObjectName(QStringLiteral("open"));
    open->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    open->setStatusTip(QStringLiteral("Open an existing document"));
    connect(open, &QAction::triggered, this, [this] {
        // The file is chosen first; the question about changes comes with the open.
        const QString path = chooseOpenFile();
        if (!path.isEmpty()) openDocument(path, true);
    });

    m_save = m_fileMenu->addAction(QStringLiteral("&Save"));
    m_save->setObjectName(QStringLiteral("save"));
    m_save->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    m_save->setStatusTip(QStringLiteral("Save the active document"));
    connect(m_save, &QAction::triggered, this, [this] { saveDocument(); });

    m_saveAs = m_fileMenu->addAction(QStringLiteral("Save &As..."));
    m_saveAs->setObjectName(QStringLiteral("saveAs"));
    m_saveAs->setShortcut(QKeySequence::SaveAs);
    m_saveAs->setStatusTip(QStringLiteral("Save the active document with a new name"));
    connect(m_saveAs, &QAction::triggered, this, [this] { saveDocumentAs(); });

    m_reload = m_fileMenu->addAction(QStringLiteral("Reload"));
    m_reload->setObjectName(QStringLiteral("reload"));
    m_reload->setStatusTip(QStringLiteral("Load the current file again, discarding the changes"));
    connect(m_reload, &QAction::triggered, this, [this] { reloadDocument(); });

    m_recentAnchor = m_fileMenu->addSeparator();
    m_recentEnd = m_fileMenu->addSeparator();
    QAction* exit = m_fileMenu->addAction(QStringLiteral("E&xit"));
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
    QAction* undo = m_undo->createUndoAction(edit);
    undo->setObjectName(QStringLiteral("undo"));
    undo->setShortcut(QKeySequence::Undo);
    undo->setStatusTip(QStringLiteral("Undo the last change"));
    edit->addAction(undo);
    QAction* redo = m_undo->createRedoAction(edit);
    redo->setObjectName(QStringLiteral("redo"));
    redo->setShortcut(QKeySequence::Redo);
    redo->setStatusTip(QStringLiteral("Redo the change last undone"));
    edit->addAction(redo);
}

void CMainFrame::createSpecialMenu(QMenuBar* bar)
{
    QMenu* special = bar->addMenu(QStringLiteral("&Special"));
    m_sort = special->addAction(QStringLiteral("Sort Entries"));
    m_sort->setObjectName(QStringLiteral("sort"));
    m_sort->setCheckable(true);
    m_sort->setStatusTip(QStringLiteral("Show the records sorted by id, or in file order"));
    m_sort->setChecked(m_view->sortEntries());
    connect(m_sort, &QAction::triggered, this, [this](bool on) {
        m_view->setSortEntries(on);
        m_sort->setChecked(m_view->sortEntries());
    });

    QAction* search = special->addAction(QStringLiteral("Search For Entry..."));
    search->setObjectName(QStringLiteral("search"));
    search->setShortcut(QKeySequence(Qt::Key_F2));
    search->setStatusTip(QStringLiteral("Find an entry whose name contains a text"));
    connect(search, &QAction::triggered, this, [this] { m_view->onSearch(); });
    m_searchAgain = special->addAction(QStringLiteral("Search Again"));
    m_searchAgain->setObjectName(QStringLiteral("searchAgain"));
    m_searchAgain->setShortcut(QKeySequence(Qt::Key_F3));
    m_searchAgain->setStatusTip(QStringLiteral("Find the next entry whose name contains the text"));
    connect(m_searchAgain, &QAction::triggered, this, [this] {
        if (m_view->canSearchAgain()) m_view->onSearchAgain();
    });
    connect(special, &QMenu::aboutToShow, this, [this] {
        m_searchAgain->setEnabled(m_view->canSearchAgain());
        m_sort->setChecked(m_view->sortEntries());
    });
    special->addSeparator();

    QAction* assoc = special->addAction(QStringLiteral("Set Tarlo for AIR files"));
    assoc->setObjectName(QStringLiteral("associate"));
    assoc->setStatusTip(QStringLiteral("Open AIR files with Tarlo"));
    connect(assoc, &QAction::triggered, this, [this] { registerAirFiles(m_options.programPath); });
    special->addSeparator();

    m_useLastFileAction = special->addAction(QStringLiteral("Open Last File On Starting"));
    m_useLastFileAction->setObjectName(QStringLiteral("useLastFile"));
    m_useLastFileAction->setCheckable(true);
    m_useLastFileAction->setStatusTip(QStringLiteral("Open the most recent file when Tarlo starts"));
    m_useLastFileAction->setChecked(m_useLastFile);
    connect(m_useLastFileAction, &QAction::triggered, this, [this] { setUseLastFile(!m_useLastFile); });

    m_useLastSelAction = special->addAction(QStringLiteral("Highlight Last Selection On Starting"));
    m_useLastSelAction->setObjectName(QStringLiteral("useLastSel"));
    m_useLastSelAction->setCheckable(true);
    m_useLastSelAction->setStatusTip(
            QStringLiteral("Select the entry selected at the last close when Tarlo starts"));
    m_useLastSelAction->setChecked(m_useLastSel);
    connect(m_useLastSelAction, &QAction::triggered, this, [this] { setUseLastSel(!m_useLastSel); });

    QAction* expand = special->addAction(QStringLiteral("Expand All"));
    expand->setObjectName(QStringLiteral("expandAll"));
    expand->setStatusTip(QStringLiteral("Show the fields of every record"));
    connect(expand, &QAction::triggered, this, [this] { m_view->expandAllRecords(); });
    QAction* collapse = special->addAction(QStringLiteral("Collapse All"));
    collapse->setObjectName(QStringLiteral("collapseAll"));
    collapse->setStatusTip(QStringLiteral("Hide the fields of every record"));
    connect(collapse, &QAction::triggered, this, [this] { m_view->collapseAllRecords(); });
}

QAction* CMainFrame::action(const QString& objectName) const
{
    return findChild<QAction*>(objectName);
}

void CMainFrame::rebuildRecentMenu()
{
    for (QAction* a : m_recentActions) {
        m_fileMenu->removeAction(a);
        a->deleteLater();
    }
    m_recentActions.clear();
    const QStringList& paths = m_recent.paths();
    if (paths.isEmpty()) {
        // The place of the list shows greyed while it is empty.
        QAction* a = new QAction(QStringLiteral("Recent File"), m_fileMenu);
        a->setEnabled(false);
        m_fileMenu->insertAction(m_recentEnd, a);
        m_recentActions.append(a);
        return;
    }
    for (int i = 0; i < paths.size(); ++i) {
        QAction* a = new QAction(RecentFiles::menuText(i, paths.at(i)), m_fileMenu);
        a->setStatusTip(QStringLiteral("Open this document"));
        a->setToolTip(paths.at(i));
        connect(a, &QAction::triggered, this, [this, i] { openRecent(i); });
        m_fileMenu->insertAction(m_recentEnd, a);
        m_recentActions.append(a);
    }
}

QStringList CMainFrame::recentMenuTexts() const
{
    QStringList out;
    for (QAction* a : m_recentActions)
        if (a->isEnabled()) out << a->text();
    return out;
}

void CMainFrame::openRecent(int i)
{
    if (i < 0 || i >= m_recent.paths().size()) return;
    const QString path = m_recent.paths().at(i);
    openDocument(path, true);
}

QUndoStack* CMainFrame::undoStack() const
{
    return m_undo;
}

void CMainFrame::updateTitle()
{
    // "plane.air* - Tarlo" while modified: Qt puts the mark at [*].
    const QString title = m_doc.hasData() ? fromLocal(m_doc.fileName()) : QStringLiteral("Untitled");
    setWindowTitle(title + QStringLiteral("[*] - Tarlo"));
    setWindowModified(m_doc.isModified());
}

void CMainFrame::updateActions()
{
    const bool data = m_doc.hasData();
    m_save->setEnabled(data);
    m_saveAs->setEnabled(data);
    m_reload->setEnabled(data);
}

// ---------------------------------------------------------------------------
// Status bar

void CMainFrame::setStatusText(const QString& text)
{
    m_pane0->setText(text);
}

QString CMainFrame::statusText() const
{
    return m_pane0->text();
}

QString CMainFrame::capsPaneText() const { return m_capsPane->text(); }
QString CMainFrame::numPaneText() const { return m_numPane->text(); }

void CMainFrame::refreshLockPanes()
{
    const LockState st = queryLockState();
    m_capsPane->setText(st.caps ? QStringLiteral("CAP") : QString());
    m_numPane->setText(st.num ? QStringLiteral("NUM") : QString());
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
    if (!m_doc.isModified()) return true;
    const QString title = m_doc.hasData() ? fromLocal(m_doc.fileName()) : QStringLiteral("Untitled");
    switch (ui::askYesNoCancel(this, QStringLiteral("Save changes to %1?").arg(title))) {
    case ui::Answer::Yes:
        return saveDocument();
    case ui::Answer::No:
        return true;
    default:
        return false;
    }
}

bool CMainFrame::openDocument(const QString& path, bool askSave)
{
    // The table windows' edits reach the document before it is asked about
    // or replaced.
    m_view->closeTableWindows();
    if (askSave && !saveModified()) return false;
    const QString full = QFileInfo(path).absoluteFilePath();
    const model::fileio::Error err = m_doc.load(toLocal(full));
    if (err) {
        ui::tell(this, failureText(err, "Failed to open document."), ui::Tone::Warning);
        if (m_recent.paths().contains(full) || m_recent.paths().contains(path)) {
            m_recent.remove(full);
            rebuildRecentMenu();
        }
        return false;
    }
    m_recent.add(full);
    rebuildRecentMenu();
    updateTitle();
    updateActions();
    watchDocument();
    return true;
}

bool CMainFrame::saveDocument()
{
    if (!m_doc.hasData()) return true;
    if (changedOnDisk()) {
        switch (ui::askOverwriteReloadCancel(this,
                QStringLiteral("%1 was changed by another program. Overwrite it?")
                        .arg(fromLocal(m_doc.fileName())))) {
        case ui::Answer::Overwrite:
            break;
        case ui::Answer::Reload:
            reloadDocument();
            return false;
        default:
            return false;
        }
    }
    const model::fileio::Error err = m_doc.save(m_doc.fullPath());
    if (err) {
        ui::tell(this, failureText(err, "Failed to save document."), ui::Tone::Warning);
        return false;
    }
    setStatusText(QString::fromStdString(m_doc.wroteMessage()));
    updateTitle();
    watchDocument();
    return true;
}

bool CMainFrame::saveDocumentAs()
{
    if (!m_doc.hasData()) return false;
    const QString path = chooseSaveFile(fromLocal(m_doc.fullPath()));
    if (path.isEmpty()) return false;
    const QString full = QFileInfo(path).absoluteFilePath();
    const model::fileio::Error err = m_doc.save(toLocal(full));
    if (err) {
        ui::tell(this, failureText(err, "Failed to save document."), ui::Tone::Warning);
        return false;
    }
    // A save under a new name has rebuilt the tree, which showed the record
    // count; the written bytes are the news.
    setStatusText(QString::fromStdString(m_doc.wroteMessage()));
    m_recent.add(full);
    rebuildRecentMenu();
    updateTitle();
    watchDocument();
    return true;
}

void CMainFrame::reloadDocument()
{
    if (!m_doc.hasData()) return;
    m_view->closeTableWindows();
    const model::fileio::Error err = m_doc.reload();
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
    if (!m_doc.hasData() || !m_doc.diskIdentity().valid)
        return false;
    const model::fileio::FileIdentity now = model::fileio::identify(m_doc.fullPath());
    return now.valid && now != m_doc.diskIdentity();
}

void CMainFrame::watchDocument()
{
    m_dismissed = {};
    hideChangedBar();
    if (!m_watcher->files().isEmpty())
        m_watcher->removePaths(m_watcher->files());
    if (!m_watcher->directories().isEmpty())
        m_watcher->removePaths(m_watcher->directories());
    if (!m_doc.hasData() || m_doc.fullPath().empty())
        return;
    const QString path = fromLocal(m_doc.fullPath());
    m_watcher->addPath(path);
    // A file replaced by a rename leaves the watch behind; its folder sees
    // the new one arrive.
    const QFileInfo target(QFileInfo(path).canonicalFilePath());
    if (!target.filePath().isEmpty())
        m_watcher->addPath(target.absolutePath());
}

void CMainFrame::checkDiskFile()
{
    if (!m_doc.hasData() || m_doc.fullPath().empty()) {
        hideChangedBar();
        return;
    }
    const QString path = fromLocal(m_doc.fullPath());
    if (!m_watcher->files().contains(path) && QFileInfo::exists(path))
        m_watcher->addPath(path);
    const model::fileio::FileIdentity now = model::fileio::identify(m_doc.fullPath());
    if (!changedOnDisk() || now == m_dismissed) {
        hideChangedBar();
        return;
    }
    const QString name = fromLocal(m_doc.fileName());
    if (m_doc.isModified()) {
        m_changedText->setText(
                QStringLiteral("%1 was changed by another program. Save asks before overwriting it.")
                        .arg(name));
        m_changedReload->setVisible(false);
    } else {
        m_changedText->setText(QStringLiteral("%1 was changed by another program.").arg(name));
        m_changedReload->setVisible(true);
    }
    m_changedBar->show();
}

void CMainFrame::hideChangedBar()
{
    m_changedBar->hide();
}

bool CMainFrame::changedBarVisible() const
{
    return !m_changedBar->isHidden();
}

QString CMainFrame::changedBarText() const
{
    return m_changedText->text();
}

// ---------------------------------------------------------------------------
// Options

void CMainFrame::setUseLastFile(bool on)
{
    setOption(m_useLastFile, m_useLastFileAction, keys::kUseLastFile, on);
}

void CMainFrame::setUseLastSel(bool on)
{
    setOption(m_useLastSel, m_useLastSelAction, keys::kUseLastSel, on);
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
    m_recent.save(s);
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
    s.setValue(keys::kSort, m_view->sortEntries() ? 1 : 0);
    if (m_useLastSel && m_doc.hasData()) {
        const int sel = m_view->currentEntry();
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
    m_view->closeTableWindows();
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
    QDesktopServices::openUrl(QUrl::fromLocalFile(m_options.helpPath));
}

} // namespace tarlo
