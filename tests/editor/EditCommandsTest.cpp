// The main window's own commands beside the record tree: Search Again's
// state, the status pane, the Edit menu, the filter, help and About.
#include "RecordingFrame.h"
#include "common/EditorFixture.h"
#include "common/NextDialog.h"

#include "base/FileIO.h"
#include "browser/EditingView.h"
#include "browser/FilterBox.h"
#include "browser/RecordClipboard.h"
#include "browser/RecordCommands.h"
#include "browser/RecordTreeModel.h"
#include "browser/SearchDialog.h"
#include "ui/ElidedLabel.h"
#include "tests/common/IsolatedSettings.h"

#include <QAccessible>
#include <QAction>
#include <QClipboard>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTest>
#include <QTextBrowser>
#include <QToolBar>
#include <QUndoStack>

#include <memory>

namespace {

// The desktop's viewer stands in: it answers as told and counts the calls.
class DesktopFrame : public testsupport::RecordingFrame {
public:
    using RecordingFrame::RecordingFrame;
    bool desktopAnswers = false;
    QList<QUrl> asked;
    bool openOnDesktop(const QUrl& url) override
    {
        asked << url;
        return desktopAnswers;
    }
};

// The main window on the fixture's file, shown and active.
struct OpenFrame {
    fixture::Files files;
    std::unique_ptr<DesktopFrame> frame;

    explicit OpenFrame(QSize size = {640, 560}, const std::vector<std::uint8_t>& image = fixture::image())
    {
        if (base::fileio::writeFileAtomic(files.air(), image))
            qFatal("cannot write the test file");
        tarlo::CMainFrame::Options options;
        options.definitionsPath = QString::fromStdString(files.ini());
        options.helpPath = QString::fromStdString(files.dir.file("Tarlo.html"));
        frame = std::make_unique<DesktopFrame>(options);
        frame->resize(size);
        frame->show();
        if (!QTest::qWaitForWindowExposed(frame.get()))
            qFatal("window not shown");
        frame->activateWindow();
        if (!frame->openDocument(QString::fromStdString(files.air()), false))
            qFatal("cannot open the test file");
    }
    ~OpenFrame()
    {
        if (frame)
            frame->document().setModified(false); // no question at the close
    }
    browser::EditingView* view() const { return frame->view(); }
    QAction* action(const char* name) const { return frame->action(QLatin1String(name)); }
    int entryNamed(const char* name) const
    {
        const model::CTLDoc& doc = frame->document();
        for (int i = 1; i <= doc.highestIndex(); ++i)
            if (doc.entry(i).name.str() == name)
                return i;
        qFatal("no entry %s", name);
        return -1;
    }
    // Selects the entry and runs an Edit-menu command by its key.
    void select(int entry)
    {
        const model::CTLDoc& doc = frame->document();
        if (doc.isField(entry))
            view()->expand(view()->recordModel()->indexForEntry(doc.entry(entry).parent));
        if (!view()->selectEntry(entry))
            qFatal("cannot select %d", entry);
    }
};

// The fixture's file with a table of each kind after its records.
std::vector<std::uint8_t> imageWithTables()
{
    using airtest::doubles;
    std::vector<std::uint8_t> img = fixture::image();
    airtest::appendRecord(img, 0x60, airtest::u16s({1, 2, 300}));
    airtest::appendRecord(img, 0x61, doubles({2}, {0.1, 1, 2.5, -3}));
    // Two groups of three: the grid shows three rows of two cells.
    airtest::appendRecord(img, 0x62, doubles({2, 3}, {1, 2, 3, 4.5, 5, 1e-7}));
    return img;
}

} // namespace

class EditCommandsTest : public QObject {
    Q_OBJECT
private slots:

    void searchAgainWorksFromTheFirstSearch()
    {
        OpenFrame f;
        QAction* again = f.action("searchAgain");
        QVERIFY(!again->isEnabled()); // nothing to search for yet
        // The Special menu opened while F3 is greyed.
        QMenu* special = again->associatedObjects().isEmpty()
                ? nullptr
                : qobject_cast<QMenu*>(again->associatedObjects().constFirst());
        QVERIFY(special);
        emit special->aboutToShow();
        QVERIFY(!again->isEnabled());

        fixture::onNextDialog<browser::SearchDialog>(f.view(), [](browser::SearchDialog* dlg) {
            dlg->edit()->setText(QStringLiteral("limit"));
            dlg->accept();
        });
        QTest::keyClick(f.view(), Qt::Key_F2);
        QCOMPARE(f.view()->currentEntry(), 1); // Altitude Limit
        QVERIFY(again->isEnabled());
        f.frame->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(f.frame.get()));
        QTest::keyClick(f.view(), Qt::Key_F3);
        QCOMPARE(f.view()->currentEntry(), 5); // Mach limit, a field of Engine
        QVERIFY(f.frame->boxes.told.isEmpty());
    }

    void longStatusTextIsElidedWithTheWholeTextAsTooltip()
    {
        OpenFrame f({290, 390}); // the first start's window
        const QString text = QStringLiteral("Wrote 2408 bytes to a-rather-long-file-name-of-a-plane.air");
        f.frame->setStatusText(text);
        auto* pane = f.frame->findChild<ui::ElidedLabel*>(QStringLiteral("pane0"));
        QVERIFY(pane);
        QCOMPARE(f.frame->statusText(), text);
        QCOMPARE(pane->toolTip(), text);
        QVERIFY(pane->shownText().endsWith(QChar(0x2026)));
        QVERIFY(pane->shownText().size() < text.size());
        // The CAP and NUM panes keep their room.
        QVERIFY(pane->geometry().right() < f.frame->statusBar()->width() - 40);
        f.frame->setStatusText(QStringLiteral("short"));
        QCOMPARE(pane->shownText(), QStringLiteral("short"));
    }

    void copyValueOnEachKindOfEntry()
    {
        OpenFrame f({640, 560}, imageWithTables());
        QAction* copy = f.action("copyValue");
        QClipboard* clip = QGuiApplication::clipboard();
        const struct {
            const char* name;
            QString text;
        } cases[] = {
                {"Altitude Limit", QStringLiteral("10000")},
                {"Flag", QStringLiteral("FALSE(0)")},
                {"Title", QStringLiteral("abc")},
                {"Small", QStringLiteral("5")}, // a field
                {"Idle speed", QStringLiteral("4660")},
                {"Blob", QStringLiteral("01 02 03 04 05 06")},
                {"Curve", QStringLiteral("1\n2\n300")},
                {"Points", QStringLiteral("0.1\t1\n2.5\t-3")},
                {"Grid", QStringLiteral("1\t4.5\n2\t5\n3\t1e-07")},
        };
        for (const auto& c : cases) {
            f.select(f.entryNamed(c.name));
            QVERIFY2(copy->isEnabled(), c.name);
            clip->clear();
            copy->trigger();
            QCOMPARE(clip->text(), c.text);
        }
        // By its key, in the tree, which swallows Ctrl+C.
        f.select(f.entryNamed("Altitude Limit"));
        clip->clear();
        QTest::keyClick(f.view(), Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(clip->text(), QString());
        QTest::keyClick(f.view(), Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(clip->text(), QStringLiteral("10000"));
        // The root has no value.
        f.view()->selectEntry(0);
        QVERIFY(!copy->isEnabled());
    }

    void recordCommandsFromTheEditMenu()
    {
        OpenFrame f;
        QClipboard* clip = QGuiApplication::clipboard();
        clip->clear();
        QAction* copy = f.action("copyRecord");
        QAction* add = f.action("addRecord");
        QAction* replace = f.action("replaceRecord");
        QAction* remove = f.action("removeRecord");
        const int altitude = f.entryNamed("Altitude Limit");
        f.select(f.entryNamed("Small")); // a field: none applies
        for (QAction* a : {copy, add, replace, remove})
            QVERIFY(!a->isEnabled());
        f.select(altitude);
        QVERIFY(copy->isEnabled() && remove->isEnabled());
        QVERIFY(!add->isEnabled() && !replace->isEnabled()); // the clipboard holds no record

        QTest::keyClick(f.view(), Qt::Key_R, Qt::ControlModifier | Qt::ShiftModifier);
        QVERIFY(clip->mimeData()->hasFormat(browser::recordMimeType()));
        QVERIFY(add->isEnabled() && replace->isEnabled());
        QTest::keyClick(f.view(), Qt::Key_A, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(f.frame->statusText(), QStringLiteral("plane.air has 8 records."));
        QCOMPARE(f.frame->document().entry(f.view()->currentEntry()).id, 0x20u);

        // Replace a record of another id: refused with the message.
        f.select(f.entryNamed("Title"));
        replace->trigger();
        QCOMPARE(f.frame->boxes.told.value(0), QString::fromLatin1(browser::kOtherRecord));

        // Replace the copy with the clipboard's record after changing it.
        f.select(altitude);
        const int copyIndex = f.view()->currentEntry();
        QVERIFY(browser::commitValue(f.frame->document(), copyIndex, "7").accepted);
        QTest::keyClick(f.view(), Qt::Key_E, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(f.frame->document().itemText(copyIndex), std::string("20  Altitude Limit=10000"));

        QTest::keyClick(f.view(), Qt::Key_Delete, Qt::ControlModifier);
        QCOMPARE(f.frame->statusText(), QStringLiteral("plane.air has 7 records."));
        QCOMPARE(f.frame->boxes.told.size(), 1);
    }

    void redoOnCtrlYAndReloadOnF5()
    {
        OpenFrame f;
        model::CTLDoc& doc = f.frame->document();
        const int altitude = f.entryNamed("Altitude Limit");
        QVERIFY(browser::commitValue(doc, altitude, "7").accepted);
        QTest::keyClick(f.view(), Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(doc.itemText(altitude), std::string("20  Altitude Limit=10000"));
        QTest::keyClick(f.view(), Qt::Key_Y, Qt::ControlModifier);
        QCOMPARE(doc.itemText(altitude), std::string("20  Altitude Limit=7"));
        QTest::keyClick(f.view(), Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(doc.itemText(altitude), std::string("20  Altitude Limit=10000"));
        QTest::keyClick(f.view(), Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(doc.itemText(altitude), std::string("20  Altitude Limit=7"));
        QVERIFY(doc.isModified());
        QTest::keyClick(f.view(), Qt::Key_F5);
        QVERIFY(!doc.isModified());
        QCOMPARE(doc.itemText(altitude), std::string("20  Altitude Limit=10000"));
        QCOMPARE(f.action("reload")->text(), QStringLiteral("Reload"));
    }

    void filterNarrowsTheTreeAndBringsItBack()
    {
        OpenFrame f;
        QVERIFY(QTest::qWaitForWindowActive(f.frame.get()));
        browser::FilterBox* box = f.frame->filterBox();
        browser::RecordTreeModel* model = f.view()->recordModel();
        const QModelIndex root = model->indexForEntry(0);
        auto shownRecords = [&] {
            QStringList names;
            for (int r = 0; r < model->rowCount(root); ++r)
                names << QString::fromStdString(
                        f.frame->document()
                                .entry(browser::RecordTreeModel::entryOf(model->index(r, 0, root)))
                                .name);
            return names;
        };
        const int title = f.entryNamed("Title");
        f.select(title);
        QVERIFY(!box->isVisible());
        QTest::keyClick(f.view(), Qt::Key_F, Qt::ControlModifier);
        QVERIFY(box->isVisible());
        QVERIFY(box->hasFocus());

        // By name, case-blind; the tree sorts by id.
        QTest::keyClicks(box, QStringLiteral("ALT"));
        box->applyNow();
        QCOMPARE(shownRecords(),
                (QStringList{QStringLiteral("Altitude Limit"), QStringLiteral("Max Alt Warning")}));
        QVERIFY(!model->indexForEntry(title).isValid());
        // By id, with or without leading zeros.
        for (const QString& id : {QStringLiteral("21"), QStringLiteral("00000021"), QStringLiteral("0021")}) {
            box->setText(id);
            box->applyNow();
            QVERIFY2(shownRecords().contains(QStringLiteral("Max Alt Warning")), qPrintable(id));
        }
        box->setText(QStringLiteral("00000011"));
        box->applyNow();
        QCOMPARE(shownRecords(), QStringList{QStringLiteral("Misc")});
        // By a field's value: its record shows, opened on it.
        box->setText(QStringLiteral("4660"));
        box->applyNow();
        QCOMPARE(shownRecords(), QStringList{QStringLiteral("Engine")});
        const QModelIndex engine = model->indexForEntry(f.entryNamed("Engine"));
        QVERIFY(f.view()->isExpanded(engine));
        QVERIFY(model->indexForEntry(f.entryNamed("Idle speed")).isValid());
        box->setText(QStringLiteral("no such thing"));
        box->applyNow();
        QVERIFY(shownRecords().isEmpty());
        QVERIFY(f.view()->isExpanded(root));

        // Esc: the whole tree, the selection as it was.
        QTest::keyClick(box, Qt::Key_Escape);
        QVERIFY(!box->isVisible());
        QCOMPARE(shownRecords().size(), 7);
        QCOMPARE(f.view()->currentEntry(), title);
        QVERIFY(f.view()->hasFocus());
    }

    void filterFollowsEditsUndoAndReload()
    {
        OpenFrame f;
        browser::FilterBox* box = f.frame->filterBox();
        browser::RecordTreeModel* model = f.view()->recordModel();
        model::CTLDoc& doc = f.frame->document();
        const int altitude = f.entryNamed("Altitude Limit");
        f.frame->showFilter();
        box->setText(QStringLiteral("10000"));
        box->applyNow();
        QVERIFY(model->indexForEntry(altitude).isValid());
        QVERIFY(browser::commitValue(doc, altitude, "7").accepted);
        QTRY_VERIFY(!model->indexForEntry(altitude).isValid());
        f.frame->undoStack()->undo();
        QTRY_VERIFY(model->indexForEntry(altitude).isValid());
        QCOMPARE(model->rowCount(model->indexForEntry(0)), 1);

        // A record added and removed while filtered: the rows stay filtered.
        f.select(altitude);
        f.view()->onCopyToClipboard();
        f.view()->onAddFromClipboard();
        QCOMPARE(doc.recordCount(), 8);
        QCOMPARE(model->rowCount(model->indexForEntry(0)), 2);
        f.view()->onRemoveRecord();
        QCOMPARE(model->rowCount(model->indexForEntry(0)), 1);

        // A reload filters the list read afresh.
        QVERIFY(browser::commitValue(doc, altitude, "7").accepted);
        QTRY_COMPARE(model->rowCount(model->indexForEntry(0)), 0);
        f.frame->reloadDocument();
        QCOMPARE(model->rowCount(model->indexForEntry(0)), 1);
        box->clear();
        QCOMPARE(model->rowCount(model->indexForEntry(0)), 7);
    }

    void helpWithoutTheDesktopOpensItsOwnWindow()
    {
        OpenFrame f;
        f.frame->desktopAnswers = true;
        f.action("help")->trigger();
        QCOMPARE(f.frame->asked.size(), 1);
        QVERIFY(!f.frame->helpWindow()); // the file is missing: nothing visible

        f.files.dir.write("Tarlo.html",
                "<html><body><h1>Guide</h1><p><a href=\"keys.html\">Keys</a></p></body></html>");
        f.files.dir.write("keys.html", "<html><body><p>F5 reloads.</p></body></html>");
        f.action("help")->trigger();
        QCOMPARE(f.frame->asked.size(), 2);
        QCOMPARE(f.frame->asked.last(),
                QUrl::fromLocalFile(QString::fromStdString(f.files.dir.file("Tarlo.html"))));
        QVERIFY(!f.frame->helpWindow()); // the desktop showed it

        f.frame->desktopAnswers = false;
        QTest::keyClick(f.view(), Qt::Key_F1);
        auto* help = qobject_cast<QTextBrowser*>(f.frame->helpWindow());
        QVERIFY(help);
        QVERIFY(help->isVisible());
        QVERIFY(help->toPlainText().contains(QStringLiteral("Guide")));
        // A link of the guide opens in the same window.
        help->setSource(QUrl(QStringLiteral("keys.html")));
        QVERIFY(help->toPlainText().contains(QStringLiteral("F5 reloads.")));
        help->backward();
        QVERIFY(help->toPlainText().contains(QStringLiteral("Guide")));
        // Asked again: the same window.
        f.action("help")->trigger();
        QCOMPARE(f.frame->helpWindow(), help);
    }

    void aboutNamesTheVersionAndTheFiles()
    {
        OpenFrame f;
        const QString text = f.frame->aboutText();
        QVERIFY(text.startsWith(QStringLiteral("Tarlo " TARLO_VERSION "\n")));
        QVERIFY(text.contains(QString::fromLatin1(qVersion())));
        const QFileInfo ini(QString::fromStdString(f.files.ini()));
        QVERIFY(text.contains(
                QStringLiteral("Definition file: ") + QDir::toNativeSeparators(ini.absoluteFilePath())));
        QVERIFY(text.contains(
                QStringLiteral("Data folder: ") + QDir::toNativeSeparators(ini.absolutePath())));
        QString shown;
        fixture::onNextDialog<QMessageBox>(f.frame.get(), [&shown](QMessageBox* box) {
            shown = box->text();
            box->accept();
        });
        f.action("about")->trigger();
        QCOMPARE(shown, text);
    }

    void controlsHaveAccessibleNames()
    {
        OpenFrame f;
        for (QWidget* w : {static_cast<QWidget*>(f.view()), static_cast<QWidget*>(f.frame->filterBox())}) {
            QAccessibleInterface* a = QAccessible::queryAccessibleInterface(w);
            QVERIFY(a);
            QVERIFY2(!a->text(QAccessible::Name).isEmpty(), qPrintable(w->objectName()));
            QVERIFY2(!a->text(QAccessible::Description).isEmpty(), qPrintable(w->objectName()));
        }
        QCOMPARE(QAccessible::queryAccessibleInterface(f.view())->text(QAccessible::Name),
                QStringLiteral("Records"));
        // The status pane reads as its whole text, even when cut.
        f.frame->setStatusText(QStringLiteral("Wrote 2408 bytes to sample.air"));
        auto* pane = f.frame->findChild<ui::ElidedLabel*>(QStringLiteral("pane0"));
        QCOMPARE(QAccessible::queryAccessibleInterface(pane)->text(QAccessible::Name),
                QStringLiteral("Wrote 2408 bytes to sample.air"));
    }
};

TARLO_TEST_MAIN(EditCommandsTest)
#include "EditCommandsTest.moc"
