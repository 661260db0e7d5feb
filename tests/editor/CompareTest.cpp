// The compare view of the main window: File > Compare With... against a
// backup, the tree's marks, Show Only Differences, the status text, Take From
// Reference as undo steps, following edits, and End Compare.
#include "RecordingFrame.h"
#include "common/EditorFixture.h"
#include "common/IsolatedSettings.h"
#include "common/NextDialog.h"

#include "base/FileIO.h"
#include "browser/EditingView.h"
#include "browser/RecordCommands.h"
#include "browser/RecordTreeModel.h"
#include "editor/CompareSession.h"
#include "tables/PageWnd.h"
#include "tables/TableRegistry.h"
#include "tables/TableWnd.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QHelpEvent>
#include <QListWidget>
#include <QTest>
#include <QToolTip>
#include <QUndoStack>

#include <memory>

namespace {

using Bytes = std::vector<std::uint8_t>;

// List indexes of the fixture (see EditorFixture.h).
constexpr int kAltitude = 1, kEngine = 2, kIdle = 3, kSmall = 6, kMisc = 13;

// The fixture's file with Idle speed 0x1235 (4661) instead of 4660.
Bytes edited()
{
    Bytes img = fixture::image();
    img[8 + 4 + 8] = 0x35;
    return img;
}

Bytes readFile(const std::string& path)
{
    Bytes b;
    return base::fileio::readFile(path, b) ? Bytes{} : b;
}

class CompareFrame : public testsupport::RecordingFrame {
public:
    using RecordingFrame::RecordingFrame;
    QString reference; // what the file chooser answers
    QString chooseReferenceFile() override { return reference; }
};

// The main window on plane.air (Idle speed edited) with its backup
// plane.air.001 holding the fixture's file.
struct Compare {
    fixture::Files files;
    std::unique_ptr<CompareFrame> frame;

    explicit Compare(const Bytes& current = edited(), const Bytes& backup = fixture::image())
    {
        if (base::fileio::writeFileAtomic(files.air(), current)
                || base::fileio::writeFileAtomic(files.air() + ".001", backup))
            qFatal("cannot write the test files");
        tarlo::CMainFrame::Options options;
        options.definitionsPath = QString::fromStdString(files.ini());
        frame = std::make_unique<CompareFrame>(options);
        frame->resize(640, 560);
        frame->show();
        if (!QTest::qWaitForWindowExposed(frame.get()))
            qFatal("window not shown");
        if (!frame->openDocument(QString::fromStdString(files.air()), false))
            qFatal("cannot open the test file");
    }
    ~Compare()
    {
        if (frame)
            frame->document().setModified(false); // no question at the close
    }
    model::CTLDoc& doc() const { return frame->document(); }
    browser::EditingView* view() const { return frame->view(); }
    browser::RecordTreeModel* model() const { return view()->recordModel(); }
    tarlo::CompareSession* session() const { return frame->compare(); }
    QAction* action(const char* name) const { return frame->action(QLatin1String(name)); }
    void compareWith(const std::string& path)
    {
        frame->reference = QString::fromStdString(path);
        action("compareWith")->trigger();
    }
    void select(int entry) const
    {
        if (doc().isField(entry))
            view()->expand(model()->indexForEntry(doc().entry(entry).parent));
        if (!view()->selectEntry(entry))
            qFatal("cannot select %d", entry);
    }
    QString shown(int entry) const { return model()->indexForEntry(entry).data().toString(); }
    QString plain(int entry) const { return model()->displayText(entry); }
    // The entries whose shown text differs from the plain one.
    QList<int> markedEntries() const
    {
        QList<int> out;
        for (int i = 0; i <= doc().highestIndex(); ++i) {
            const QModelIndex idx = model()->indexForEntry(i);
            if (idx.isValid() && idx.data().toString() != plain(i))
                out << i;
        }
        return out;
    }
    int rootRows() const { return model()->rowCount(model()->indexForEntry(0)); }
    // The list index of the k-th record with this id.
    int recordOf(std::uint32_t id, int k = 0) const
    {
        for (int i = 1; i <= doc().highestIndex(); ++i)
            if (doc().isRecord(i) && doc().entry(i).id == id && k-- == 0)
                return i;
        return -1;
    }
    // Activates the entry and answers the table window it opened.
    template <class W>
    W* openTable(int entry) const
    {
        view()->activateEntry(entry);
        const auto open = tables::TableRegistry::openWindows();
        return open.isEmpty() ? nullptr : qobject_cast<W*>(open.last());
    }
};

// The fixture's file with two curves and a grid of 2 x 2 appended.
Bytes withTables(std::initializer_list<int> curve, std::initializer_list<double> grid)
{
    Bytes img = fixture::image();
    airtest::appendRecord(img, 0x60, airtest::u16s(curve));
    airtest::appendRecord(img, 0x62, airtest::doubles({2, 2}, grid));
    return img;
}

QList<QPoint> differingCells(const tables::CPageWnd* w)
{
    QList<QPoint> out; // (column, row)
    for (int r = 0; r < w->GetRowCount(); ++r)
        for (int col = 0; col < w->GetColCount(); ++col)
            if (w->cellDiffers(r, col))
                out << QPoint(col, r);
    return out;
}

} // namespace

class CompareTest : public QObject {
    Q_OBJECT
private slots:

    void backupsAreOfferedNewestFirst()
    {
        fixture::Files files;
        for (const char* suffix : {".001", ".010", ".002", ".1000", ".bak", ".01"})
            files.dir.write(std::string("plane.air") + suffix, "x");
        files.dir.write("other.air.003", "x");
        const QStringList found = tarlo::CompareSession::backupsOf(QString::fromStdString(files.air()));
        QStringList names;
        for (const QString& p : found)
            names << p.section(QLatin1Char('/'), -1);
        QCOMPARE(names,
                (QStringList{QStringLiteral("plane.air.1000"), QStringLiteral("plane.air.010"),
                        QStringLiteral("plane.air.002"), QStringLiteral("plane.air.001")}));
    }

    void theChooserListsTheBackupsNewestFirst()
    {
        fixture::Files files;
        for (const char* suffix : {".001", ".002"})
            files.dir.write(std::string("plane.air") + suffix, fixture::image());
        QStringList listed;
        QObject pending;
        fixture::onNextDialog<QDialog>(&pending, [&listed](QDialog* dlg) {
            auto* list = dlg->findChild<QListWidget*>(QStringLiteral("backupList"));
            for (int i = 0; list && i < list->count(); ++i)
                listed << list->item(i)->text().section(QLatin1Char(' '), 0, 0);
            dlg->accept();
        });
        const QString chosen =
                tarlo::CompareSession::chooseReference(nullptr, QString::fromStdString(files.air()));
        QCOMPARE(listed, (QStringList{QStringLiteral("plane.air.002"), QStringLiteral("plane.air.001")}));
        QCOMPARE(chosen, QString::fromStdString(files.air() + ".002"));
    }

    void compareWithABackupMarksExactlyTheChangedField()
    {
        Compare c;
        QVERIFY(!c.action("endCompare")->isEnabled());
        c.compareWith(c.files.air() + ".001");
        QVERIFY(c.session()->active());
        c.view()->expand(c.model()->indexForEntry(kEngine));
        QCOMPARE(c.markedEntries(), (QList<int>{0, kEngine, kIdle}));
        // A text mark and a picture with a badge, never colour alone.
        QCOMPARE(c.shown(kIdle), QStringLiteral("\u2260 Idle speed=4661"));
        QCOMPARE(c.shown(kEngine), QStringLiteral("\u2260 10  Engine"));
        QCOMPARE(c.shown(kSmall), QStringLiteral("Small=5"));
        const QModelIndex idle = c.model()->indexForEntry(kIdle);
        // Hovering over a marked item says what its mark means.
        const QPoint at = c.view()->itemRect(kIdle).center();
        QHelpEvent hover(QEvent::ToolTip, at, c.view()->viewport()->mapToGlobal(at));
        QApplication::sendEvent(c.view()->viewport(), &hover);
        QVERIFY2(QToolTip::text().endsWith(QStringLiteral("Differs from the reference")),
                qPrintable(QToolTip::text()));
        const QImage marked = idle.data(Qt::DecorationRole).value<QIcon>().pixmap(32, 18).toImage();
        c.action("endCompare")->trigger();
        const QImage plain = idle.data(Qt::DecorationRole).value<QIcon>().pixmap(32, 18).toImage();
        QVERIFY(marked != plain);
        QCOMPARE(marked.size(), plain.size());

        // The status pane reads both values and the difference.
        c.compareWith(c.files.air() + ".001");
        c.select(kIdle);
        QCOMPARE(c.frame->statusText(), QStringLiteral("Reference: 4660 | Current: 4661 | Difference: +1"));
        c.select(kSmall);
        QCOMPARE(c.frame->statusText(), QStringLiteral("Reference: 5 | Current: 5 | Difference: none"));
        c.select(kEngine);
        QCOMPARE(c.frame->statusText(),
                QStringLiteral("Reference: 31 bytes | Current: 31 bytes | Difference: 1 field differs"));
        QVERIFY(c.frame->errors.isEmpty());
        QVERIFY(!c.doc().isModified());
    }

    void showOnlyDifferencesHidesTheRest()
    {
        Compare c;
        const int records = c.rootRows();
        c.compareWith(c.files.air() + ".001");
        QAction* only = c.action("showOnlyDifferences");
        QVERIFY(only->isEnabled());
        only->trigger();
        QVERIFY(only->isChecked());
        QCOMPARE(c.rootRows(), 1);
        QVERIFY(!c.model()->indexForEntry(kAltitude).isValid());
        QVERIFY(!c.model()->indexForEntry(kMisc).isValid());
        // The record that differs is open on its changed field.
        QVERIFY(c.view()->isExpanded(c.model()->indexForEntry(kEngine)));
        QVERIFY(c.model()->indexForEntry(kIdle).isValid());
        only->trigger();
        QCOMPARE(c.rootRows(), records);
        // End Compare brings the whole tree back as well.
        only->trigger();
        QCOMPARE(c.rootRows(), 1);
        c.action("endCompare")->trigger();
        QCOMPARE(c.rootRows(), records);
        QVERIFY(!only->isChecked());
        QVERIFY(!only->isEnabled());
    }

    void takeOfAFieldIsOneUndoStep()
    {
        Compare c;
        QUndoStack* history = c.frame->undoStack();
        c.compareWith(c.files.air() + ".001");
        c.select(kSmall);
        QVERIFY(!c.action("takeFromReference")->isEnabled()); // nothing differs there
        c.select(kIdle);
        QVERIFY(c.action("takeFromReference")->isEnabled());
        c.action("takeFromReference")->trigger();
        QCOMPARE(history->count(), 1);
        QCOMPARE(c.doc().itemText(kIdle), std::string("Idle speed=4660"));
        QVERIFY(c.markedEntries().isEmpty());
        QVERIFY(c.doc().isModified());

        history->undo();
        QCOMPARE(c.doc().itemText(kIdle), std::string("Idle speed=4661"));
        QCOMPARE(c.markedEntries(), (QList<int>{0, kEngine, kIdle}));
        history->redo();
        QVERIFY(c.markedEntries().isEmpty());
        // Saved, the file is the backup byte for byte.
        QVERIFY(c.frame->saveDocument());
        QCOMPARE(readFile(c.files.air()), fixture::image());
    }

    void takeOfRecordsAndOfEverything()
    {
        // The document has an extra record; the reference lacks Misc and has
        // Altitude Limit changed and a record 0x70 of its own.
        const Bytes base = fixture::image();
        Bytes ref = airtest::AirImage()
                            .record(0x20, {0x11, 0x27, 0, 0})
                            .raw(Bytes(base.begin() + 12, base.begin() + 51)) // Engine
                            .bytes();
        ref.insert(ref.end(), base.begin() + 83, base.end()); // Title to the end
        airtest::appendRecord(ref, 0x70, {7, 7});
        const Bytes cur = airtest::AirImage().raw(edited()).record(0x40, {9}).bytes();
        Compare c(cur, ref);
        QUndoStack* history = c.frame->undoStack();
        c.compareWith(c.files.air() + ".001");
        const int extra = c.doc().highestIndex();
        QCOMPARE(c.markedEntries(), (QList<int>{0, kAltitude, kEngine, kIdle, kMisc, extra}));
        QVERIFY(c.shown(kMisc).startsWith(QStringLiteral("+ 11  Misc")));
        c.select(kMisc + 1); // a field of the record only here
        QCOMPARE(c.frame->statusText(),
                QStringLiteral("Reference: (none) | Current: 0 | Difference: only in this file"));
        // The reference's own record is a row after the records.
        const QModelIndex only = c.model()->otherRowIndex(0);
        QVERIFY(only.isValid());
        QCOMPARE(only.data().toString(), QStringLiteral("\u2212 70  Unknown"));
        QCOMPARE(browser::RecordTreeModel::entryOf(only), -1);

        // A record's take replaces its data: one step.
        c.select(kAltitude);
        c.action("takeFromReference")->trigger();
        QCOMPARE(c.doc().itemText(kAltitude), std::string("20  Altitude Limit=10001"));
        QCOMPARE(history->count(), 1);
        // The row of the reference's record: the record is added.
        c.view()->setCurrentIndex(c.model()->otherRowIndex(0));
        QVERIFY(c.frame->statusText().endsWith(QStringLiteral("Difference: only in the reference")));
        c.action("takeFromReference")->trigger();
        QCOMPARE(history->count(), 2);
        QVERIFY(!c.model()->otherRowIndex(0).isValid());
        history->undo();
        QVERIFY(c.model()->otherRowIndex(0).isValid());

        // All the rest at once, one step; undone, the marks come back.
        c.action("takeAllFromReference")->trigger();
        QCOMPARE(history->count(), 2);
        QVERIFY(c.markedEntries().isEmpty());
        QCOMPARE(c.model()->rowCount(c.model()->indexForEntry(0)), 7); // no rows of the reference's
        QVERIFY(c.frame->saveDocument());
        QCOMPARE(readFile(c.files.air()), ref);
        history->undo();
        QCOMPARE(c.doc().itemText(kAltitude), std::string("20  Altitude Limit=10001"));
        QVERIFY(c.model()->otherRowIndex(0).isValid());
        QVERIFY(c.shown(kMisc).startsWith(QStringLiteral("+ ")));
        history->redo();
        QVERIFY(c.markedEntries().isEmpty());
    }

    void marksFollowEditsAndReload()
    {
        Compare c;
        c.compareWith(c.files.air() + ".001");
        // An edit that makes the files equal removes every mark.
        QVERIFY(browser::commitValue(c.doc(), kIdle, "4660").accepted);
        QVERIFY(c.markedEntries().isEmpty());
        // Another brings them back, on the field edited.
        QVERIFY(browser::commitValue(c.doc(), kSmall, "6").accepted);
        QCOMPARE(c.markedEntries(), (QList<int>{0, kEngine, kSmall}));
        // Reload compares the file as it is on disk again.
        c.frame->reloadDocument();
        QVERIFY(c.session()->active());
        QCOMPARE(c.markedEntries(), (QList<int>{0, kEngine, kIdle}));
        // Opening another file ends the compare.
        QVERIFY(c.frame->openDocument(QString::fromStdString(c.files.air() + ".001"), false));
        QVERIFY(!c.session()->active());
        QVERIFY(c.markedEntries().isEmpty());
    }

    void unreadableReferenceIsToldAndChangesNothing()
    {
        Compare c;
        c.compareWith(c.files.dir.file("missing.air"));
        QCOMPARE(c.frame->errors.size(), 1);
        QVERIFY2(c.frame->errors.at(0).startsWith(QStringLiteral("Cannot compare with ")),
                qPrintable(c.frame->errors.at(0)));
        QVERIFY(c.frame->errors.at(0).contains(QStringLiteral("missing.air")));
        QVERIFY(!c.session()->active());
        QVERIFY(c.markedEntries().isEmpty());
        QVERIFY(!c.action("takeAllFromReference")->isEnabled());
        // A compare under way stays as it was.
        c.compareWith(c.files.air() + ".001");
        c.compareWith(c.files.dir.path());
        QCOMPARE(c.frame->errors.size(), 2);
        QVERIFY(c.session()->active());
        QCOMPARE(c.session()->referencePath(), QString::fromStdString(c.files.air() + ".001"));
        QVERIFY(!c.doc().isModified());
    }

    void tableWindowsFollowTheCompare()
    {
        // Here a second curve the reference lacks; there cell (1, 1) is 5
        // and the first curve's middle value 25.
        Bytes current = withTables({10, 20, 30}, {1, 2, 3, 4});
        airtest::appendRecord(current, 0x60, airtest::u16s({1, 2}));
        Compare c(current, withTables({10, 25, 30}, {1, 2, 3, 5}));
        QUndoStack* history = c.frame->undoStack();
        const int curve = c.recordOf(0x60), grid = c.recordOf(0x62), second = c.recordOf(0x60, 1);
        QPointer<tables::TableWnd> curveWnd = c.openTable<tables::TableWnd>(curve);
        QPointer<tables::CPageWnd> gridWnd = c.openTable<tables::CPageWnd>(grid);
        QVERIFY(curveWnd && gridWnd);
        QVERIFY(!curveWnd->referencePoints());
        QVERIFY(!gridWnd->comparing());

        // Windows already open take the reference up when the compare starts.
        c.compareWith(c.files.air() + ".001");
        QVERIFY(curveWnd->referencePoints());
        QCOMPARE(curveWnd->referencePoints()->ys, (std::vector<double>{10, 25, 30}));
        QVERIFY(curveWnd->infoText().contains(QStringLiteral("plane.air.001")));
        QCOMPARE(differingCells(gridWnd), (QList<QPoint>{QPoint(1, 1)}));
        // A record the reference lacks (by id and occurrence) has no reference.
        QPointer<tables::TableWnd> secondWnd = c.openTable<tables::TableWnd>(second);
        QVERIFY(secondWnd && !secondWnd->referencePoints());
        secondWnd->close();

        // An edit stored from the grid clears its mark, in the tree and in the
        // grid opened again; undone, both come back.
        gridWnd->selectRange(tables::CellRange{1, 1, 1, 1});
        QVERIFY(gridWnd->pasteText(QStringLiteral("5")));
        QVERIFY(differingCells(gridWnd).isEmpty());
        gridWnd->close();
        QVERIFY(!c.markedEntries().contains(grid));
        gridWnd = c.openTable<tables::CPageWnd>(grid);
        QVERIFY(gridWnd->comparing());
        QVERIFY(differingCells(gridWnd).isEmpty());
        history->undo(); // the undo closes the window on the bytes it changed
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!gridWnd);
        QVERIFY(c.markedEntries().contains(grid));
        gridWnd = c.openTable<tables::CPageWnd>(grid);
        QCOMPARE(differingCells(gridWnd), (QList<QPoint>{QPoint(1, 1)}));
        // The curve's window, on another record, kept its reference throughout.
        QVERIFY(curveWnd && curveWnd->referencePoints());

        // Take All closes the windows (their edits first); opened again they
        // match the reference.
        c.action("takeAllFromReference")->trigger();
        QVERIFY(tables::TableRegistry::openWindows().isEmpty());
        gridWnd = c.openTable<tables::CPageWnd>(grid);
        curveWnd = c.openTable<tables::TableWnd>(curve);
        QVERIFY(gridWnd->comparing());
        QVERIFY(differingCells(gridWnd).isEmpty());
        QCOMPARE(curveWnd->referencePoints()->ys, (std::vector<double>{10, 25, 30}));

        // End Compare: the windows draw their own values alone.
        c.action("endCompare")->trigger();
        QVERIFY(!gridWnd->comparing());
        QVERIFY(!curveWnd->referencePoints());
        QVERIFY(!curveWnd->infoText().contains(QStringLiteral("Reference")));
        for (tables::TableFrame* w : tables::TableRegistry::openWindows())
            w->abandon();
    }

    void endCompareRestoresThePlainTexts()
    {
        Compare c;
        const QString before = c.shown(kIdle);
        c.view()->expand(c.model()->indexForEntry(kEngine));
        c.compareWith(c.files.air() + ".001");
        c.select(kIdle);
        QVERIFY(c.shown(kIdle) != before);
        c.action("endCompare")->trigger();
        QVERIFY(!c.session()->active());
        QCOMPARE(c.shown(kIdle), before);
        QVERIFY(c.markedEntries().isEmpty());
        QCOMPARE(c.model()->indexForEntry(0).data().toString(), QStringLiteral("plane.air"));
        QCOMPARE(c.frame->statusText(), QStringLiteral("plane.air has 7 records."));
        for (const char* name :
                {"showOnlyDifferences", "takeFromReference", "takeAllFromReference", "endCompare"})
            QVERIFY2(!c.action(name)->isEnabled(), name);
    }
};

TARLO_TEST_MAIN(CompareTest)
#include "CompareTest.moc"
