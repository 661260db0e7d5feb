// The main window: documents, status bar, options, placement, the close sequence and dropped files.
#include "editor/CMainFrame.h"

#include "browser/EditingView.h"
#include "browser/FilterBox.h"
#include "document/DocNotifier.h"
#include "document/DocUndoStack.h"
#include "editor/ActiveUndo.h"
#include "editor/CompareSession.h"
#include "editor/ExternalChange.h"
#include "editor/RecoveryKeeper.h"
#include "editor/TerminationWatch.h"
#include "ui/ElidedLabel.h"
#include "ui/LockKeys.h"
#include "ui/Messages.h"
#include "ui/Placement.h"
#include "ui/Settings.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMenuBar>
#include <QMimeData>
#include <QSettings>
#include <QStatusBar>
#include <QTextBrowser>
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
QString failureText(const base::fileio::Error& err, const char* fallback)
{
    return err.message.empty() ? QString::fromLatin1(fallback) : QString::fromStdString(err.message);
}

} // namespace

CMainFrame::CMainFrame(const Options& options, QWidget* parent) : QMainWindow(parent), options_(options)
{
    setObjectName(QStringLiteral("CMainFrame"));
    // Caption, system menu, minimise and close; no maximise button.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
            | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setAcceptDrops(true);
    doc_.setDefinitionsPath(toLocal(options.definitionsPath));

    const bool sort = readSettings();
    createDocumentViews(sort);
    createStatusBar();
    createExternalChange();
    createFilterBar();
    createMenus();
    updateTitle();
    updateActions();
    applyPlacement();

    describeControls();

    // Lock keys change by key presses anywhere and while another program has
    // the focus; look again then.
    qApp->installEventFilter(this);
    refreshLockPanes();
}

bool CMainFrame::readSettings()
{
    QSettings s = keys::store();
    recent_.load(s);
    s.beginGroup(keys::kSettingsSection);
    useLastFile_ = s.value(keys::kUseLastFile, 0).toInt() == 1;
    useLastSel_ = s.value(keys::kUseLastSel, 0).toInt() == 1;
    return s.value(keys::kSort, 1).toInt() != 0;
}

void CMainFrame::createDocumentViews(bool sort)
{
    // The notifier first: the tree, then the history and the title follow it.
    notifier_ = new document::DocNotifier(doc_, this);
    view_ = new browser::EditingView(*notifier_, this);
    view_->setSortEntries(sort);
    setCentralWidget(view_);
    connect(view_, &browser::CTLView::statusTextChanged, this, &CMainFrame::setStatusText);
    connect(view_, &browser::CTLView::exitRequested, this, &CMainFrame::onExitRequested);
    recovery_ = std::make_unique<RecoveryKeeper>(doc_, this, [this](const QString& t) { setStatusText(t); });
#if QT_CONFIG(sessionmanager)
    // A logout asks first: what is unsaved goes to disk before the session may end the program.
    if (auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        connect(app, &QGuiApplication::commitDataRequest, this, [this] { recovery_->flush(); });
#endif
    // Every change goes onto the undo history; the title's mark follows the
    // modified state, which undoing back to the saved state clears.
    undo_ = new document::DocUndoStack(*notifier_, this);
    activeUndo_ = new ActiveUndo(undo_, this);
    connect(notifier_, &document::DocNotifier::modifiedChanged, this, &QWidget::setWindowModified);
    connect(notifier_, &document::DocNotifier::loaded, this, [this] {
        updateTitle();
        updateActions();
    });
    connect(notifier_, &document::DocNotifier::saved, this, &CMainFrame::updateTitle);
    compare_ = new CompareSession(*notifier_, *view_, *undo_, this);
    connect(compare_, &CompareSession::statusText, this, &CMainFrame::setStatusText);
}

void CMainFrame::createStatusBar()
{
    // Pane 0 takes the free width, then CAP and NUM.
    // A text wider than the pane ends in "…"; its tooltip holds it whole.
    pane0_ = new ui::ElidedLabel(QStringLiteral("Welcome To Tarlo!"), this);
    pane0_->setObjectName(QStringLiteral("pane0"));
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
}

void CMainFrame::createExternalChange()
{
    // Another program may change the open file: a bar above the tree offers
    // to reload, and Save asks before it overwrites.
    external_ = new ExternalChange(doc_, this);
    connect(external_, &ExternalChange::reloadRequested, this, &CMainFrame::reloadDocument);
    addToolBar(Qt::TopToolBarArea, external_->bar());
}

void CMainFrame::describeControls()
{
    // For screen readers; the commands say what they do by their status tips.
    view_->setAccessibleName(QStringLiteral("Records"));
    view_->setAccessibleDescription(
            QStringLiteral("The records and fields of the open file; Enter edits the selected entry"));
    pane0_->setAccessibleDescription(QStringLiteral("Status"));
    capsPane_->setAccessibleName(QStringLiteral("Caps Lock"));
    capsPane_->setAccessibleDescription(QStringLiteral("Shows CAP while Caps Lock is on"));
    numPane_->setAccessibleName(QStringLiteral("Num Lock"));
    numPane_->setAccessibleDescription(QStringLiteral("Shows NUM while Num Lock is on"));
    menuBar()->setAccessibleName(QStringLiteral("Menu bar"));
    filterBar_->setAccessibleName(QStringLiteral("Filter bar"));
}

void CMainFrame::createFilterBar()
{
    // Below the external-change bar, hidden until Edit > Filter.
    addToolBarBreak(Qt::TopToolBarArea);
    filterBar_ = new QToolBar(QStringLiteral("Filter"), this);
    filterBar_->setObjectName(QStringLiteral("filterBar"));
    filterBar_->setMovable(false);
    filterBar_->setFloatable(false);
    filterBar_->toggleViewAction()->setVisible(false);
    filterBox_ = new browser::FilterBox(*view_, *notifier_, filterBar_);
    filterBar_->addWidget(filterBox_);
    filterBar_->hide();
    addToolBar(Qt::TopToolBarArea, filterBar_);
    connect(filterBox_, &browser::FilterBox::dismissed, this, [this] {
        filterBar_->hide();
        view_->setFocus();
    });
}

void CMainFrame::showFilter()
{
    filterBar_->show();
    filterBox_->setFocus(Qt::ShortcutFocusReason);
    filterBox_->selectAll();
}

CMainFrame::~CMainFrame()
{
    if (qApp)
        qApp->removeEventFilter(this);
    // The view (and the editors it owns), the history and the notifier refer
    // to the document, a member that would otherwise go before the base
    // class deletes its children.
    delete view_;
    view_ = nullptr;
    delete undo_;
    undo_ = nullptr;
    delete notifier_;
    notifier_ = nullptr;
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

QUndoGroup* CMainFrame::undoGroup() const
{
    return activeUndo_->group();
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
    const ui::LockState st = ui::queryLockState();
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
    if (askSave && !saveModified())
        return false;
    const QString full = QFileInfo(path).absoluteFilePath();
    recovery_->offer(full);
    const base::fileio::Error err = doc_.load(toLocal(full));
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
    external_->watch();
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
    const base::fileio::Error err = doc_.save(doc_.fullPath());
    if (err) {
        ui::tell(this, failureText(err, "Failed to save document."), ui::Tone::Warning);
        return false;
    }
    setStatusText(QString::fromStdString(doc_.wroteMessage()));
    updateTitle();
    external_->watch();
    return true;
}

bool CMainFrame::saveDocumentAs()
{
    if (!doc_.hasData())
        return false;
    const QString path = chooseSaveFile(fromLocal(doc_.fullPath()));
    if (path.isEmpty())
        return false;
    const QString full = QFileInfo(path).absoluteFilePath();
    const base::fileio::Error err = doc_.save(toLocal(full));
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
    external_->watch();
    return true;
}

void CMainFrame::reloadDocument()
{
    if (!doc_.hasData())
        return;
    view_->closeTableWindows();
    const base::fileio::Error err = doc_.reload();
    if (err)
        ui::tell(this, failureText(err, "Failed to open document."), ui::Tone::Warning);
    updateTitle();
    updateActions();
    external_->watch();
}

// ---------------------------------------------------------------------------
// Changes by other programs

bool CMainFrame::changedOnDisk() const
{
    // Recovered edits made to a file that changed after they were recorded
    // count as such a change until they are saved.
    return external_->changedOnDisk() || recovery_->recoveredOntoChangedFile();
}

void CMainFrame::checkDiskFile()
{
    external_->check();
}

bool CMainFrame::changedBarVisible() const
{
    return external_->barVisible();
}

QString CMainFrame::changedBarText() const
{
    return external_->barText();
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
    // Alt+X: no question, no placement, no selection.
    keepForNextStart();
    endProgram();
}

void CMainFrame::keepForNextStart()
{
    // The recent-file list is kept, as at every end of the program, and the
    // unsaved changes for recovery.
    storeRecentFiles();
    recovery_->flush();
}

void CMainFrame::endProgram()
{
    QCoreApplication::exit(0);
}

void CMainFrame::onTerminationRequested(int sig)
{
    keepForNextStart();
    endBySignal(sig);
}

void CMainFrame::endBySignal(int sig)
{
    TerminationWatch::endBy(sig);
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
    if (!mime || !mime->hasUrls())
        return;
    event->acceptProposedAction();
    activateWindow();
    for (const QUrl& u : mime->urls()) {
        if (u.isLocalFile())
            openDocument(u.toLocalFile(), true);
    }
}

// ---------------------------------------------------------------------------
// Interaction

QString CMainFrame::chooseOpenFile()
{
    return QFileDialog::getOpenFileName(
            this, QStringLiteral("Open"), QString(), QStringLiteral("Air Files (*.air);;All Files (*)"));
}

QString CMainFrame::chooseReferenceFile()
{
    return CompareSession::chooseReference(this, fromLocal(doc_.fullPath()));
}

QString CMainFrame::chooseSaveFile(const QString& suggested)
{
    QFileDialog dlg(
            this, QStringLiteral("Save As"), suggested, QStringLiteral("Air Files (*.air);;All Files (*)"));
    dlg.setAcceptMode(QFileDialog::AcceptSave);
    dlg.setDefaultSuffix(QStringLiteral("air"));
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty())
        return {};
    return dlg.selectedFiles().constFirst();
}

void CMainFrame::openHelp()
{
    // A missing help file does nothing visible. A guide that the desktop
    // cannot show (no viewer, no desktop at all) opens in a window here.
    const QUrl url = QUrl::fromLocalFile(options_.helpPath);
    if (openOnDesktop(url) || !QFileInfo::exists(options_.helpPath))
        return;
    if (!helpWindow_) {
        auto* browser = new QTextBrowser(this);
        browser->setWindowFlag(Qt::Window);
        browser->setAttribute(Qt::WA_DeleteOnClose);
        browser->setObjectName(QStringLiteral("helpWindow"));
        browser->setWindowTitle(QStringLiteral("Tarlo Help"));
        browser->setAccessibleName(QStringLiteral("Tarlo Help"));
        browser->setAccessibleDescription(QStringLiteral("The user guide"));
        // Links inside the guide open here; links to the web on the desktop.
        browser->setOpenExternalLinks(true);
        browser->setSearchPaths({QFileInfo(options_.helpPath).absolutePath()});
        browser->setSource(url);
        browser->resize(720, 640);
        helpWindow_ = browser;
    }
    helpWindow_->show();
    helpWindow_->raise();
    helpWindow_->activateWindow();
}

bool CMainFrame::openOnDesktop(const QUrl& url)
{
    // Without a desktop session xdg-open starts and finds no viewer, yet
    // reports success.
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
    if (qEnvironmentVariableIsEmpty("XDG_CURRENT_DESKTOP") && qEnvironmentVariableIsEmpty("DESKTOP_SESSION"))
        return false;
#endif
    return QDesktopServices::openUrl(url);
}

QWidget* CMainFrame::helpWindow() const
{
    return helpWindow_;
}

QString CMainFrame::aboutText() const
{
    const QString definitions = options_.definitionsPath.isEmpty()
            ? QStringLiteral("(none)")
            : QDir::toNativeSeparators(QFileInfo(options_.definitionsPath).absoluteFilePath());
    const QString data = options_.definitionsPath.isEmpty()
            ? QStringLiteral("(none)")
            : QDir::toNativeSeparators(QFileInfo(options_.definitionsPath).absolutePath());
    return QStringLiteral(
            "Tarlo %1\nBuilt with Qt %2, running on Qt %3\n\nDefinition file: %4\nData folder: %5")
            .arg(QStringLiteral(TARLO_VERSION), QStringLiteral(QT_VERSION_STR),
                    QString::fromLatin1(qVersion()), definitions, data);
}

} // namespace tarlo
