// The editor shell as a user meets it: first start, opening files, saving,
// the close sequence, settings, recent files, the command line and the file
// association. Settings and data folders point into a temporary folder.

#include "RecordingFrame.h"
#include "browser/EditingView.h"
#include "browser/RecordTreeModel.h"
#include "common/TestAir.h"
#include "editor/Association.h"
#include "editor/CMainFrame.h"
#include "editor/CTLApp.h"
#include "editor/RecentFiles.h"
#include "ui/LockKeys.h"
#include "ui/Settings.h"
#include "tests/common/IsolatedSettings.h"

#include <QAction>
#include <QApplication>
#include <QMenuBar>
#include <QMimeData>
#include <QProcess>
#include <QScreen>
#include <QSettings>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QtTest>

#include <cstdlib>
#include <optional>

using namespace tarlo;

namespace {

testsupport::IsolatedSettings* gHome = nullptr;

// A main window whose questions are answered by the test.
class ScriptedFrame : public testsupport::RecordingFrame {
public:
    using RecordingFrame::RecordingFrame;
    QString openChoice, saveChoice;
    int ended = 0, helpOpened = 0;

    QString chooseOpenFile() override { return openChoice; }
    QString chooseSaveFile(const QString&) override { return saveChoice; }
    void endProgram() override { ++ended; }
    void openHelp() override { ++helpOpened; }
};

// The title as the window manager shows it: Qt puts "*" at "[*]" while
// the window is modified.
QString shownTitle(const QWidget* w)
{
    QString t = w->windowTitle();
    return t.replace(QStringLiteral("[*]"), w->isWindowModified() ? QStringLiteral("*") : QString());
}

// Writes the field "Count" of 0x10 (entry 4) through the edit API.
bool setCount(model::CTLDoc& doc, std::uint8_t v)
{
    return doc.setBytes(4, 0, std::vector<std::uint8_t>{v}).has_value();
}

QSettings settings()
{
    return ui::settings::store();
}

} // namespace

class ShellTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QString prog_; // a program path whose folder holds Tarlo.ini
    QString plane_;

    CMainFrame::Options options() const
    {
        CMainFrame::Options o;
        o.programPath = prog_;
        o.definitionsPath = dir_.filePath(QStringLiteral("Tarlo.ini"));
        o.helpPath = dir_.filePath(QStringLiteral("Tarlo.html"));
        return o;
    }

    QString write(const QString& name, const QByteArray& bytes)
    {
        const QString p = dir_.filePath(name);
        testair::writeFile(p, bytes);
        return p;
    }

    static ScriptedFrame* scripted(CTLApp& app) { return static_cast<ScriptedFrame*>(app.mainFrame()); }

private slots:
    void initTestCase()
    {
        QVERIFY(dir_.isValid());
        write(QStringLiteral("Tarlo.ini"), testair::kDefinitions);
        prog_ = dir_.filePath(QStringLiteral("tarlo"));
        plane_ = write(QStringLiteral("plane.air"), testair::sampleImage());
        CTLApp::setFrameFactory(
                [](const CMainFrame::Options& o) { return std::make_unique<ScriptedFrame>(o); });
    }

    void init()
    {
        QSettings s = settings();
        s.clear();
        s.sync();
        testair::writeFile(plane_, testair::sampleImage());
    }

    void firstStartWithEmptySettings()
    {
        ScriptedFrame w(options());
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QCOMPARE(w.frameGeometry(), QRect(10, 10, 290, 390));
        QVERIFY(w.view()->sortEntries());
        QVERIFY(w.action(QStringLiteral("sort"))->isChecked());
        QVERIFY(!w.useLastFile());
        QVERIFY(!w.useLastSel());
        QCOMPARE(shownTitle(&w), QStringLiteral("Untitled - Tarlo"));
        QCOMPARE(w.statusText(), QStringLiteral("Welcome To Tarlo!"));
        for (const char* name : {"save", "saveAs", "reload"})
            QVERIFY(!w.action(QString::fromLatin1(name))->isEnabled());
        QVERIFY(!(w.windowFlags() & Qt::WindowMaximizeButtonHint));
        QCOMPARE(w.view()->model()->rowCount(), 0);
        // The menu bar: File, Edit, Special and the Help command.
        QStringList bar;
        for (QAction* a : w.menuBar()->actions()) bar << a->text();
        QCOMPARE(bar, QStringList({QStringLiteral("&File"), QStringLiteral("&Edit"), QStringLiteral("&Special"),
                                   QStringLiteral("Help")}));
        // Every command says what it does in the status bar.
        for (QAction* a : w.findChildren<QAction*>()) {
            if (!a->isSeparator() && !a->menu() && a->isEnabled() && !a->objectName().isEmpty())
                QVERIFY2(!a->statusTip().isEmpty(), qPrintable(a->objectName()));
        }
        QCOMPARE(w.action(QStringLiteral("exit"))->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Q));
        QCOMPARE(w.action(QStringLiteral("saveAs"))->shortcut(), QKeySequence(QKeySequence::SaveAs));
        QCOMPARE(w.action(QStringLiteral("help"))->shortcut(), QKeySequence(Qt::Key_F1));
        QCOMPARE(w.action(QStringLiteral("undo"))->shortcut(), QKeySequence(QKeySequence::Undo));
        QCOMPARE(w.action(QStringLiteral("redo"))->shortcut(), QKeySequence(QKeySequence::Redo));
        const QList<QKeySequence> redoKeys = w.action(QStringLiteral("redo"))->shortcuts();
        QVERIFY(redoKeys.contains(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)));
        QVERIFY(redoKeys.contains(QKeySequence(Qt::CTRL | Qt::Key_Y)));
        // The Edit menu's commands in their order, "-" for a separator.
        QByteArrayList edit;
        for (QAction* a : w.menuBar()->actions().at(1)->menu()->actions())
            edit << (a->isSeparator() ? QByteArray("-") : a->objectName().toLatin1());
        QCOMPARE(edit,
                QByteArrayList({"undo", "redo", "-", "copyValue", "copyRecord", "addRecord", "replaceRecord",
                        "removeRecord", "-", "filter", "-", "about"}));
        QVERIFY(!w.action(QStringLiteral("undo"))->isEnabled());
        QVERIFY(!w.action(QStringLiteral("redo"))->isEnabled());
        QCOMPARE(w.action(QStringLiteral("open"))->statusTip(), QStringLiteral("Open an existing document"));
        QCOMPARE(w.action(QStringLiteral("open"))->shortcut(), QKeySequence(QStringLiteral("Ctrl+O")));
        QCOMPARE(w.action(QStringLiteral("search"))->shortcut(), QKeySequence(Qt::Key_F2));
        // Ctrl+S on an empty document writes nothing and asks nothing.
        QTest::keyClick(&w, Qt::Key_S, Qt::ControlModifier);
        QVERIFY(w.errors.isEmpty());
    }

    void placementRules()
    {
        // Stored values far off the screen bring the window back.
        {
            QSettings s = settings();
            s.setValue(QStringLiteral("Settings/Left"), 5000);
            s.setValue(QStringLiteral("Settings/Right"), 5300);
        }
        ScriptedFrame f(options());
        f.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        const QRect screen = f.screen()->virtualGeometry();
        QCOMPARE(f.frameGeometry().x(), screen.right() + 1 - 100);
        QCOMPARE(f.frameGeometry().width(), 100);
    }

    void openedWhollyOnTheScreen()
    {
        const QRect desk = QGuiApplication::primaryScreen()->virtualGeometry();
        const int right = desk.x() + desk.width(), bottom = desk.y() + desk.height();
        // "Top" beyond the bottom; then a rectangle past the right and bottom edges.
        const QList<QRect> stored = {QRect(QPoint(30, bottom + 400), QPoint(330, bottom + 800)),
                                     QRect(QPoint(right - 250, bottom - 300), QPoint(right + 200, bottom + 300))};
        for (const QRect& r : stored) {
            {
                QSettings s = settings();
                s.setValue(QStringLiteral("Settings/Left"), r.left());
                s.setValue(QStringLiteral("Settings/Top"), r.top());
                s.setValue(QStringLiteral("Settings/Right"), r.right());
                s.setValue(QStringLiteral("Settings/Bottom"), r.bottom());
            }
            ScriptedFrame w(options());
            w.show();
            QVERIFY(QTest::qWaitForWindowExposed(&w));
            const QRect outer = w.frameGeometry();
            QVERIFY(outer != w.geometry()); // the platform draws a frame
            QVERIFY(QGuiApplication::primaryScreen()->availableGeometry().contains(outer));
            QCOMPARE(outer.bottom() + 1, bottom);
            QVERIFY(w.statusBar()->isVisible());
            QCOMPARE(w.statusBar()->geometry().bottom(), w.height() - 1);
            QVERIFY(w.close());
            QSettings s = settings();
            QCOMPARE(s.value(QStringLiteral("Settings/Top")).toInt(), outer.top());
            QCOMPARE(s.value(QStringLiteral("Settings/Bottom")).toInt(), bottom);
        }
    }

    void openFromMenuCommandLineAndDrop()
    {
        // Command line.
        {
            CTLApp app(prog_);
            QVERIFY(!app.initInstance({plane_}).has_value());
            CMainFrame* w = app.mainFrame();
            QCOMPARE(shownTitle(w), QStringLiteral("plane.air - Tarlo"));
            QCOMPARE(w->statusText(), QStringLiteral("plane.air has 3 records."));
            QCOMPARE(w->view()->currentEntry(), 0);
            QVERIFY(w->action(QStringLiteral("save"))->isEnabled());
            QCOMPARE(w->recentFiles().paths(), QStringList({plane_}));
            // The definition file beside the program was used.
            QCOMPARE(w->view()->recordModel()->indexForEntry(1).data().toString(), QStringLiteral("10  Engine"));
            w->close();
        }
        // The menu.
        const QString other = write(QStringLiteral("other.air"), testair::image({{0x2, QByteArray(4, 0)}}));
        {
            ScriptedFrame w(options());
            w.openChoice = other;
            w.action(QStringLiteral("open"))->trigger();
            QCOMPARE(shownTitle(&w), QStringLiteral("other.air - Tarlo"));
            QCOMPARE(w.statusText(), QStringLiteral("other.air has 1 records."));

            // A drop of two files opens each in turn; the last one stays.
            QMimeData mime;
            mime.setUrls({QUrl::fromLocalFile(plane_), QUrl::fromLocalFile(other)});
            QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, {});
            QApplication::sendEvent(&w, &enter);
            QVERIFY(enter.isAccepted());
            QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, {});
            w.openDocument(write(QStringLiteral("third.air"), testair::image({})), false);
            QApplication::sendEvent(&w, &drop);
            QCOMPARE(shownTitle(&w), QStringLiteral("other.air - Tarlo"));
            QCOMPARE(w.recentFiles().paths().mid(0, 3),
                    QStringList({other, plane_, dir_.filePath(QStringLiteral("third.air"))}));

            // A drop while modified asks first; Cancel keeps the document.
            w.document().setModified(true);
            QMimeData one;
            one.setUrls({QUrl::fromLocalFile(plane_)});
            QDropEvent drop2(QPointF(5, 5), Qt::CopyAction, &one, Qt::LeftButton, {});
            w.answers = {ui::Answer::Cancel};
            QDragEnterEvent enter2(QPoint(5, 5), Qt::CopyAction, &one, Qt::LeftButton, {});
            QApplication::sendEvent(&w, &enter2);
            QApplication::sendEvent(&w, &drop2);
            QCOMPARE(w.asked, QStringList({QStringLiteral("Save changes to other.air?")}));
            QCOMPARE(shownTitle(&w), QStringLiteral("other.air* - Tarlo"));
            QVERIFY(w.document().isModified());

            // A file that cannot be read leaves the document as it was.
            w.document().setModified(false);
            w.openChoice = dir_.filePath(QStringLiteral("missing.air"));
            w.action(QStringLiteral("open"))->trigger();
            QCOMPARE(w.errors.size(), 1);
            QVERIFY(w.errors.first().contains(QStringLiteral("missing.air")));
            QCOMPARE(shownTitle(&w), QStringLiteral("other.air - Tarlo"));

            // Open from the menu while modified: a cancelled file choice asks
            // nothing; a chosen file asks, and No opens it without saving.
            w.document().setModified(true);
            w.asked.clear();
            w.openChoice.clear();
            w.action(QStringLiteral("open"))->trigger();
            QVERIFY(w.asked.isEmpty());
            w.openChoice = plane_;
            w.answers = {ui::Answer::No};
            w.action(QStringLiteral("open"))->trigger();
            QCOMPARE(w.asked.size(), 1);
            QCOMPARE(shownTitle(&w), QStringLiteral("plane.air - Tarlo"));
            QVERIFY(!w.document().isModified());
        }
    }

    void saveSaveAsAndReload()
    {
        ScriptedFrame w(options());
        QVERIFY(w.openDocument(plane_, false));
        model::CTLDoc& doc = w.document();

        // Save writes the changed field inside its record.
        QVERIFY(setCount(doc, 9));
        QVERIFY(doc.isModified());
        w.action(QStringLiteral("save"))->trigger();
        QVERIFY(!doc.isModified());
        QCOMPARE(w.statusText(), QStringLiteral("Wrote 37 bytes to plane.air"));
        QByteArray expected = testair::sampleImage();
        expected[8 + 6] = 9;
        QCOMPARE(testair::readFile(plane_), expected);

        // Save As: new name, tree rebuilt with only the root open and selected.
        w.view()->expandAllRecords();
        w.view()->selectEntry(3);
        const QString copy = dir_.filePath(QStringLiteral("copy.air"));
        w.saveChoice = copy;
        w.action(QStringLiteral("saveAs"))->trigger();
        QCOMPARE(testair::readFile(copy), expected);
        QCOMPARE(shownTitle(&w), QStringLiteral("copy.air - Tarlo"));
        QCOMPARE(w.view()->model()->index(0, 0).data().toString(), QStringLiteral("copy.air"));
        QCOMPARE(w.view()->currentEntry(), 0);
        QVERIFY(!w.view()->isExpanded(w.view()->recordModel()->indexForEntry(1)));
        QCOMPARE(w.recentFiles().paths().first(), copy);

        // Reload discards changes without asking.
        QVERIFY(setCount(doc, 100));
        w.action(QStringLiteral("reload"))->trigger();
        QVERIFY(w.asked.isEmpty());
        QVERIFY(!doc.isModified());
        QCOMPARE(w.view()->recordModel()->indexForEntry(4).data().toString(), QStringLiteral("Count=9"));
    }

    void closeAsksAboutChanges()
    {
        ScriptedFrame w(options());
        w.show();
        QVERIFY(w.openDocument(plane_, false));
        QVERIFY(setCount(w.document(), 55));

        // Cancel keeps the program running, with the settings already written.
        w.answers = {ui::Answer::Cancel};
        QVERIFY(!w.close());
        QVERIFY(w.isVisible());
        QCOMPARE(w.asked, QStringList({QStringLiteral("Save changes to plane.air?")}));
        QCOMPARE(settings().value(QStringLiteral("Settings/Left")).toInt(), 10);

        // No closes without writing.
        w.answers = {ui::Answer::No};
        QVERIFY(w.close());
        QCOMPARE(testair::readFile(plane_), testair::sampleImage());

        // Yes saves, then closes.
        ScriptedFrame y(options());
        y.show();
        QVERIFY(y.openDocument(plane_, false));
        QVERIFY(setCount(y.document(), 56));
        y.answers = {ui::Answer::Yes};
        QVERIFY(y.close());
        QCOMPARE(quint8(testair::readFile(plane_).at(14)), quint8(56));
    }

    void settingsWrittenAtClose()
    {
        QRect outerAtClose;
        {
            ScriptedFrame w(options());
            w.show();
            QVERIFY(QTest::qWaitForWindowExposed(&w));
            w.openDocument(plane_, false);
            w.move(40, 60);
            w.resize(300, 320);
            QTest::qWait(10);
            w.action(QStringLiteral("sort"))->trigger(); // sorting off
            w.view()->selectEntry(3);
            outerAtClose = w.frameGeometry();
            QVERIFY(w.close());
        }
        QCOMPARE(outerAtClose.topLeft(), QPoint(40, 60));
        QSettings s = settings();
        const QRect outer(s.value(QStringLiteral("Settings/Left")).toInt(), s.value(QStringLiteral("Settings/Top")).toInt(),
                          s.value(QStringLiteral("Settings/Right")).toInt() - s.value(QStringLiteral("Settings/Left")).toInt(),
                          s.value(QStringLiteral("Settings/Bottom")).toInt() - s.value(QStringLiteral("Settings/Top")).toInt());
        QCOMPARE(outer, outerAtClose);
        QCOMPARE(s.value(QStringLiteral("Settings/Sort")).toInt(), 0);
        QVERIFY(!s.contains(QStringLiteral("Settings/LastSelItem"))); // option off
        QCOMPARE(s.value(QStringLiteral("Recent File List/File1")).toString(), plane_);

        // The next start takes the placement and the sort flag back.
        {
            ScriptedFrame w(options());
            QVERIFY(!w.view()->sortEntries());

            // With the option on, the selection is remembered...
            w.setUseLastSel(true);
            QCOMPARE(settings().value(QStringLiteral("Settings/UseLastSel")).toInt(), 1);
            w.show();
            QVERIFY(QTest::qWaitForWindowExposed(&w));
            QCOMPARE(w.frameGeometry(), outerAtClose);
            w.openDocument(plane_, false);
            w.view()->selectEntry(3);
            QVERIFY(w.close());
        }
        QCOMPARE(settings().value(QStringLiteral("Settings/LastSelItem")).toInt(), 3);
        {
            // ...and selected at the next start.
            CTLApp app(prog_);
            QVERIFY(!app.initInstance({plane_}).has_value());
            QCOMPARE(app.mainFrame()->view()->currentEntry(), 3);
            // Turned off, it is no longer written; the old value stays.
            app.mainFrame()->setUseLastSel(false);
            app.mainFrame()->view()->selectEntry(1);
            QVERIFY(app.mainFrame()->close());
        }
        QCOMPARE(settings().value(QStringLiteral("Settings/LastSelItem")).toInt(), 3);

        // An index beyond the list selects nothing new.
        {
            QSettings t = settings();
            t.setValue(QStringLiteral("Settings/UseLastSel"), 1);
            t.setValue(QStringLiteral("Settings/LastSelItem"), 500);
        }
        CTLApp app(prog_);
        QVERIFY(!app.initInstance({plane_}).has_value());
        QCOMPARE(app.mainFrame()->view()->currentEntry(), 0);
        app.mainFrame()->close();
    }

    void altXEndsWithoutTheCloseSequence()
    {
        ScriptedFrame w(options());
        w.show();
        w.openDocument(plane_, false);
        w.document().setModified(true);
        w.view()->setFocus();
        QTest::keyClick(w.view(), Qt::Key_X, Qt::AltModifier);
        QCOMPARE(w.ended, 1);
        QVERIFY(w.asked.isEmpty());
        QVERIFY(!settings().contains(QStringLiteral("Settings/Left")));
        QCOMPARE(settings().value(QStringLiteral("Recent File List/File1")).toString(), plane_);
        w.document().setModified(false);
    }

    void recentFiles()
    {
        RecentFiles r;
        for (int i = 0; i < 25; ++i) r.add(QStringLiteral("/f/%1.air").arg(i));
        QCOMPARE(r.paths().size(), 20);
        QCOMPARE(r.paths().first(), QStringLiteral("/f/24.air"));
        r.add(QStringLiteral("/f/./10.air")); // the same file moves up
        QCOMPARE(r.paths().size(), 20);
        QCOMPARE(r.paths().first(), QStringLiteral("/f/./10.air"));
        QCOMPARE(r.paths().count(QStringLiteral("/f/10.air")), 0);

        QCOMPARE(RecentFiles::shortenPath(QStringLiteral("/a/b.air")), QStringLiteral("/a/b.air"));
        const QString longPath = QStringLiteral("/home/pilot/projects/aircraft/models/plane.air");
        QCOMPARE(RecentFiles::shortenPath(longPath), QStringLiteral("/home/pilot/.../plane.air"));
        QVERIFY(RecentFiles::shortenPath(QStringLiteral("/x/") + QString(40, u'n') + QStringLiteral(".air")).size() <= 30);
        QVERIFY(RecentFiles::shortenPath(QStringLiteral("/x/") + QString(40, u'n') + QStringLiteral(".air")).endsWith(QStringLiteral(".air")));
        QCOMPARE(RecentFiles::menuText(0, QStringLiteral("/a&b.air")), QStringLiteral("&1 /a&&b.air"));
        QCOMPARE(RecentFiles::menuText(9, QStringLiteral("/a")), QStringLiteral("1&0 /a"));

        // A recent file that has gone is reported and taken off the list.
        const QString gone = write(QStringLiteral("gone.air"), testair::image({{0x2, QByteArray(4, 0)}}));
        ScriptedFrame w(options());
        w.openDocument(plane_, false);
        w.openDocument(gone, false);
        QCOMPARE(w.recentMenuTexts().size(), 2);
        QVERIFY(QFile::remove(gone));
        w.openRecent(0);
        QCOMPARE(w.errors.size(), 1);
        QCOMPARE(w.recentFiles().paths(), QStringList({plane_}));
        QCOMPARE(w.recentMenuTexts().size(), 1);
        w.openRecent(0);
        QCOMPARE(shownTitle(&w), QStringLiteral("plane.air - Tarlo"));
    }

    void startUpOpensTheLastFile()
    {
        {
            QSettings s = settings();
            s.setValue(QStringLiteral("Settings/UseLastFile"), 1);
            s.setValue(QStringLiteral("Recent File List/File1"), plane_);
        }
        const QString other = write(QStringLiteral("named.air"), testair::image({{0x2, QByteArray(4, 0)}}));
        {
            // A file on the command line wins.
            CTLApp app(prog_);
            QVERIFY(!app.initInstance({other}).has_value());
            QCOMPARE(shownTitle(app.mainFrame()), QStringLiteral("named.air - Tarlo"));
            app.mainFrame()->close();
        }
        {
            QSettings s = settings();
            s.setValue(QStringLiteral("Recent File List/File1"), plane_);
            s.setValue(QStringLiteral("Recent File List/File2"), other);
        }
        {
            CTLApp app(prog_);
            QVERIFY(!app.initInstance({}).has_value());
            QCOMPARE(shownTitle(app.mainFrame()), QStringLiteral("plane.air - Tarlo"));
            app.mainFrame()->close();
        }
        {
            // A missing last file: the error, the empty document, the entry gone.
            QSettings s = settings();
            s.setValue(
                    QStringLiteral("Recent File List/File1"), dir_.filePath(QStringLiteral("nothere.air")));
            s.setValue(QStringLiteral("Recent File List/File2"), plane_);
        }
        CTLApp app(prog_);
        QVERIFY(!app.initInstance({}).has_value());
        auto* w = scripted(app);
        QCOMPARE(w->errors.size(), 1);
        QCOMPARE(shownTitle(w), QStringLiteral("Untitled - Tarlo"));
        QCOMPARE(w->recentFiles().paths(), QStringList({plane_}));
        w->close();
    }

    // The command line as main() hands it over, argument by argument: what
    // ends at once with which status, and which file the window shows.
    void commandLine()
    {
        const QString odd = write(QStringLiteral("-p"), testair::image({}));
        QDir::setCurrent(dir_.path());
        const QString missing = dir_.filePath(QStringLiteral("nothere.air"));
        struct Case {
            QStringList args;
            std::optional<int> status; // nullopt: the event loop runs
            bool shown;
            QString file; // the document's file name, "" for none
            int errors;
        };
        const QString pt = QStringLiteral("-PT");
        const std::optional<int> runs;
        const QList<Case> cases = {
                {{}, runs, true, {}, 0},
                {{plane_}, runs, true, QStringLiteral("plane.air"), 0},
                {{QStringLiteral("--"), plane_}, runs, true, QStringLiteral("plane.air"), 0},
                // A lone existing file is that file, whatever it looks like.
                {{QStringLiteral("-p")}, runs, true, QStringLiteral("-p"), 0},
                {{odd}, runs, true, QStringLiteral("-p"), 0},
                // The print forms open the file without showing the window and end.
                {{QStringLiteral("/p"), plane_}, 0, false, QStringLiteral("plane.air"), 0},
                {{pt, plane_, QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")}, 0, false,
                        QStringLiteral("plane.air"), 0},
                {{QStringLiteral("/p")}, 1, false, {}, 0},
                // A file that cannot be opened ends the program.
                {{missing}, 1, false, {}, 1},
                {{QStringLiteral("/p"), missing}, 1, false, {}, 1},
                // Usage errors and terminal commands end before any window.
                {{QStringLiteral("--bogus")}, 2, false, {}, -1},
                {{plane_, QStringLiteral("b.air")}, 2, false, {}, -1},
                {{QStringLiteral("--version")}, 0, false, {}, -1},
        };
        for (const Case& c : cases) {
            const QByteArray shown = c.args.join(u' ').toLocal8Bit();
            CTLApp app(prog_);
            const std::optional<int> status = app.initInstance(c.args);
            QVERIFY2(status == c.status, shown.constData());
            if (c.errors < 0) {
                QVERIFY2(!app.mainFrame(), shown.constData());
                continue;
            }
            QVERIFY2(app.mainFrame(), shown.constData());
            QCOMPARE(app.mainFrame()->isVisible(), c.shown);
            QCOMPARE(app.mainFrame()->document().hasData(), !c.file.isEmpty());
            QCOMPARE(QString::fromStdString(app.mainFrame()->document().fileName()), c.file);
            QCOMPARE(scripted(app)->errors.size(), c.errors);
        }
    }

    void associationFilesUnderDataHome()
    {
        const QString data = qEnvironmentVariable("XDG_DATA_HOME");
        QVERIFY(data.startsWith(gHome->path()));
        const QString prog = QStringLiteral("/opt/tarlo dir/tarlo");
        ScriptedFrame w(CMainFrame::Options{prog, {}, {}});
        w.action(QStringLiteral("associate"))->trigger();
        const AssociationPaths p = associationPaths();
        QCOMPARE(p.desktopFile, data + QStringLiteral("/applications/org.kestrelloft.Tarlo.desktop"));
        QCOMPARE(p.mimeFile, data + QStringLiteral("/mime/packages/tarlo-air.xml"));
        QVERIFY(w.errors.isEmpty());

        const QString desktop = QString::fromUtf8(testair::readFile(p.desktopFile));
        const QStringList lines = desktop.split(u'\n');
        QCOMPARE(lines.first(), QStringLiteral("[Desktop Entry]"));
        QVERIFY(lines.contains(QStringLiteral("Exec=\"/opt/tarlo dir/tarlo\" %f")));
        QVERIFY(lines.contains(QStringLiteral("MimeType=application/x-tarlo-air;")));
        QVERIFY(lines.contains(QStringLiteral("Icon=tarlo")));
        QVERIFY(lines.contains(QStringLiteral("X-Tarlo-OpenCommand=/opt/tarlo dir/tarlo \"%1\"")));
        const QString validate = QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate"));
        if (!validate.isEmpty()) {
            QProcess proc;
            proc.start(validate, {p.desktopFile});
            QVERIFY(proc.waitForFinished());
            QVERIFY2(proc.exitCode() == 0, proc.readAllStandardOutput().constData());
        }
        const QString mime = QString::fromUtf8(testair::readFile(p.mimeFile));
        QVERIFY(mime.contains(QStringLiteral("<mime-type type=\"application/x-tarlo-air\">")));
        QVERIFY(mime.contains(QStringLiteral("<comment>AIR aircraft file</comment>")));
        QVERIFY(mime.contains(QStringLiteral("<glob pattern=\"*.air\"/>")));

        // Unregister removes both files and the settings, and says so.
        settings().setValue(QStringLiteral("Settings/UseLastFile"), 1);
        testsupport::MessageRecorder boxes;
        CTLApp app(prog_);
        const auto status = app.initInstance({QStringLiteral("/Unregister")});
        QVERIFY(status.has_value());
        QCOMPARE(boxes.told,
                QStringList{QStringLiteral(
                        "System registry entries have been removed and the INI file (if any) was deleted.")});
        QVERIFY(!QFile::exists(p.desktopFile));
        QVERIFY(!QFile::exists(p.mimeFile));
        QVERIFY(!settings().contains(QStringLiteral("Settings/UseLastFile")));
    }

    // An association made by an older version lives in tarlo.desktop: a new
    // one replaces it, and Unregister finds and removes it.
    void associationUnderTheOldName()
    {
        const AssociationPaths p = associationPaths();
        QCOMPARE(p.oldDesktopFile,
                qEnvironmentVariable("XDG_DATA_HOME") + QStringLiteral("/applications/tarlo.desktop"));
        const QByteArray old = desktopEntryText(QStringLiteral("/old/tarlo")).toUtf8();
        QVERIFY(QDir().mkpath(QFileInfo(p.oldDesktopFile).absolutePath()));

        QVERIFY(testair::writeFile(p.oldDesktopFile, old));
        QVERIFY(registerAirFiles(QStringLiteral("/new/tarlo")));
        QVERIFY(!QFile::exists(p.oldDesktopFile));
        QVERIFY(QString::fromUtf8(testair::readFile(p.desktopFile))
                        .contains(QStringLiteral("Exec=/new/tarlo %f")));

        // Only the old entry is there (and no MIME package): Unregister
        // removes it and reports that nothing is left.
        QVERIFY(unregisterAirFiles());
        QVERIFY(testair::writeFile(p.oldDesktopFile, old));
        QVERIFY(unregisterAirFiles());
        QVERIFY(!QFile::exists(p.oldDesktopFile));
        QVERIFY(!QFile::exists(p.desktopFile));
        QVERIFY(!QFile::exists(p.mimeFile));
    }

    void helpAndStatusPanes()
    {
        ScriptedFrame w(options());
        w.action(QStringLiteral("help"))->trigger();
        QCOMPARE(w.helpOpened, 1);
        // Without X11 there is no keyboard indicator to read: both panes stay blank.
        w.refreshLockPanes();
        if (QGuiApplication::platformName() != QLatin1String("xcb")) {
            QVERIFY(!ui::queryLockState().known);
            QVERIFY(w.capsPaneText().isEmpty());
            QVERIFY(w.numPaneText().isEmpty());
        } else {
            const ui::LockState st = ui::queryLockState();
            QCOMPARE(w.capsPaneText(), st.caps ? QStringLiteral("CAP") : QString());
            QCOMPARE(w.numPaneText(), st.num ? QStringLiteral("NUM") : QString());
        }
        w.setStatusText(QStringLiteral("hint"));
        QCOMPARE(w.statusText(), QStringLiteral("hint"));
    }
};

int main(int argc, char** argv)
{
    // Settings, state and the association go to a scratch home, set before
    // Qt reads the environment.
    testsupport::IsolatedSettings home;
    gHome = &home;
    QApplication app(argc, argv);
    ShellTest t;
    return QTest::qExec(&t, argc, argv);
}

#include "ShellTest.moc"
