// Undo and redo in the program's main window: every editor's change is taken
// back and made again through the Edit menu, and the bytes that Save writes
// are checked each way.
#include "common/EditorFixture.h"
#include "common/NextDialog.h"

#include "base/FileIO.h"
#include "browser/EditingView.h"
#include "browser/FieldEdit.h"
#include "browser/RecordTreeModel.h"
#include "browser/TextEditDialog.h"
#include "editor/CMainFrame.h"
#include "hexedit/CHexDataCtrl.h"
#include "hexedit/CHexDataDlg.h"
#include "tests/common/MessageRecorder.h"

#include "tables/PageWnd.h"
#include "tables/TableRegistry.h"
#include "tables/TableWnd.h"
#include "tables/TblDblWnd.h"
#include "tests/common/IsolatedSettings.h"

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>
#include <QUndoGroup>
#include <QUndoStack>

#include <functional>

using Bytes = std::vector<std::uint8_t>;
using airtest::doubles;

namespace {

// A copy of an entry's bytes (the document hands out views).
std::vector<std::uint8_t> copyOf(std::span<const std::uint8_t> bytes)
{
    return {bytes.begin(), bytes.end()};
}

// List indexes (see Fixture.h); the three table records follow the fixture's.
constexpr int kIdle = 3, kEngine = 2, kMisc = 13, kTitle = 20, kBlob = 21, kFlag = 22, kCurve = 24,
              kPoints = 25, kGrid = 26;

Bytes fileImage()
{
    return airtest::AirImage()
            .raw(fixture::image())
            .record(0x60, {100, 0, 200, 0}) // Curve: 100, 200
            .record(0x61, doubles({2}, {0, 0, 1, 1})) // Points: (0,0), (1,1)
            .record(0x62, doubles({2, 2}, {1, 2, 3, 4})) // Grid 2 x 2
            .bytes();
}

Bytes readFile(const std::string& path)
{
    Bytes b;
    return base::fileio::readFile(path, b) ? Bytes{} : b;
}

} // namespace

class UndoTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void inPlaceEdit();
    void boolToggle();
    void hexDialogOk();
    void textDialogOk();
    void tbl16Enter();
    void tbldbClose();
    void gridClose();
    void addFromClipboard();
    void replaceFromClipboard();
    void removeRecord();
    void undoClosesATableWindowOnItsRecord();
    void undoClosesTheValueBoxWithoutWriting();
    void historyEndsAtALoadAndTheQuestionFollowsTheCleanState();
    void editMenuFollowsTheActiveWindow();
    void aTableWindowsStepsLeaveTheMenuWithIt();

private:
    Bytes composed()
    {
        frame->document().ComposeImage();
        return frame->document().image();
    }
    QString shownTitle() const
    {
        QString t = frame->windowTitle();
        return t.replace(QStringLiteral("[*]"), frame->isWindowModified() ? QStringLiteral("*") : QString());
    }
    QAction* action(const char* name) const { return frame->action(QString::fromLatin1(name)); }
    // The application's active window, as a click on it makes it (a window
    // that stands for another, as the table windows do for the main window,
    // counts as active with it, which is not what these tests need).
    static bool activate(QWidget* w)
    {
        w->activateWindow();
        return QTest::qWaitFor([w] { return QApplication::activeWindow() == w; });
    }
    void click(int entry)
    {
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->itemRect(entry).center());
    }
    // The change just made, named `label`, is undone and redone; each way the
    // document's bytes, the modified state, the title and the saved file are
    // checked against the state before it.
    void undoRedoAndSave(const Bytes& before, const QString& label);

    std::unique_ptr<fixture::Files> files;
    std::unique_ptr<tarlo::CMainFrame> frame;
    browser::EditingView* view = nullptr;
    Bytes original;
    // Every message; "Save changes" questions are answered No.
    std::unique_ptr<testsupport::MessageRecorder> boxes;
};

void UndoTest::init()
{
    files = std::make_unique<fixture::Files>();
    original = fileImage();
    QVERIFY(!base::fileio::writeFileAtomic(files->air(), original));
    tarlo::CMainFrame::Options options;
    options.definitionsPath = QString::fromStdString(files->ini());
    boxes = std::make_unique<testsupport::MessageRecorder>();
    boxes->otherwise = ui::Answer::No;
    frame = std::make_unique<tarlo::CMainFrame>(options);
    frame->resize(700, 900);
    frame->show();
    QVERIFY(QTest::qWaitForWindowExposed(frame.get()));
    frame->activateWindow();
    QVERIFY(frame->openDocument(QString::fromStdString(files->air()), false));
    view = frame->view();
    view->expandAllRecords();
    QCOMPARE(shownTitle(), QStringLiteral("plane.air - Tarlo"));
    QVERIFY(!action("undo")->isEnabled());
}

void UndoTest::cleanup()
{
    for (auto* w : tables::TableRegistry::openWindows())
        delete w;
    frame->document().setModified(false);
    frame.reset();
    boxes.reset();
    files.reset();
}

void UndoTest::undoRedoAndSave(const Bytes& before, const QString& label)
{
    QVERIFY(boxes->told.isEmpty());
    const Bytes edited = composed();
    QVERIFY(edited != before);
    QVERIFY(frame->document().isModified());
    QCOMPARE(shownTitle(), QStringLiteral("plane.air* - Tarlo"));
    QVERIFY(action("undo")->isEnabled());
    QCOMPARE(action("undo")->text(), QStringLiteral("Undo ") + label);
    QVERIFY(!action("redo")->isEnabled());

    action("undo")->trigger();
    QCOMPARE(composed(), before);
    QCOMPARE(action("redo")->text(), QStringLiteral("Redo ") + label);
    const bool backAtTheFile = before == original;
    QCOMPARE(frame->document().isModified(), !backAtTheFile);

    action("redo")->trigger();
    QCOMPARE(composed(), edited);
    QVERIFY(frame->document().isModified());

    // Save writes the change; undoing it after the save is a change again.
    action("save")->trigger();
    QCOMPARE(readFile(files->air()), edited);
    QVERIFY(!frame->document().isModified());
    QCOMPARE(shownTitle(), QStringLiteral("plane.air - Tarlo"));
    action("undo")->trigger();
    QVERIFY(frame->document().isModified());
    QCOMPARE(shownTitle(), QStringLiteral("plane.air* - Tarlo"));
    action("save")->trigger();
    QCOMPARE(readFile(files->air()), before);
    action("redo")->trigger();
    QCOMPARE(composed(), edited);
    // The tree shows the bytes it holds now.
    for (int i = 1; i <= frame->document().highestIndex(); ++i)
        QCOMPARE(view->recordModel()->displayText(i).toStdString(), frame->document().itemText(i));
}

void UndoTest::inPlaceEdit()
{
    click(kIdle);
    QVERIFY(view->fieldEdit()->isVisible());
    QTest::keyClicks(view->fieldEdit(), QStringLiteral("-300"));
    QTest::keyClick(view->fieldEdit(), Qt::Key_Return);
    QCOMPARE(frame->document().itemText(kIdle), std::string("Idle speed=-300"));
    undoRedoAndSave(original, QStringLiteral("Edit Idle speed"));
}

void UndoTest::boolToggle()
{
    click(kFlag);
    QCOMPARE(frame->document().itemText(kFlag), std::string("50  Flag=TRUE(1)"));
    undoRedoAndSave(original, QStringLiteral("Edit Flag"));

    // Two toggles are two steps; undoing both is the file as loaded.
    action("undo")->trigger();
    click(kFlag);
    action("undo")->trigger();
    click(kFlag);
    click(kFlag);
    action("undo")->trigger();
    action("undo")->trigger();
    QCOMPARE(composed(), original);
}

void UndoTest::hexDialogOk()
{
    QVERIFY(fixture::editAsHexTyping(*view, kEngine, QStringLiteral("2a")));
    QCOMPARE(frame->document().itemText(kIdle), std::string("Idle speed=4650"));
    undoRedoAndSave(original, QStringLiteral("Edit Engine"));
}

void UndoTest::textDialogOk()
{
    bool sawDialog = false;
    fixture::onNextDialog<browser::TextEditDialog>(
            this,
            [](browser::TextEditDialog* dlg) {
                dlg->editor()->setPlainText(QStringLiteral("hello"));
                dlg->accept();
            },
            &sawDialog);
    click(kTitle);
    QVERIFY(sawDialog);
    QCOMPARE(frame->document().entry(kTitle).length, 6u);
    undoRedoAndSave(original, QStringLiteral("Edit Title"));
    action("undo")->trigger();
    QCOMPARE(frame->document().entry(kTitle).length, 4u);
    QCOMPARE(frame->document().itemText(kTitle), std::string("30  Title=abc"));
}

void UndoTest::tbl16Enter()
{
    click(kCurve);
    QPointer<tables::TableWnd> w = tables::TableWnd::markedWindow();
    QVERIFY(w);
    QTest::keyClick(w, Qt::Key_9, Qt::KeypadModifier);
    QTest::keyClick(w, Qt::Key_Return);
    QVERIFY(w.isNull() || !w->isVisible());
    QVERIFY(copyOf(frame->document().data(kCurve)) != (Bytes{100, 0, 200, 0}));
    undoRedoAndSave(original, QStringLiteral("Edit Curve"));
}

void UndoTest::tbldbClose()
{
    click(kPoints);
    QPointer<tables::TblDblWnd> w = tables::TblDblWnd::markedWindow();
    QVERIFY(w);
    QTest::keyClick(w, Qt::Key_9, Qt::KeypadModifier);
    w->close();
    QVERIFY(copyOf(frame->document().data(kPoints)) != doubles({2}, {0, 0, 1, 1}));
    undoRedoAndSave(original, QStringLiteral("Edit Points"));
}

void UndoTest::gridClose()
{
    click(kGrid);
    QList<tables::TableFrame*> open = tables::TableRegistry::openWindows();
    QCOMPARE(open.size(), 1);
    QPointer<tables::CPageWnd> w = qobject_cast<tables::CPageWnd*>(open.first());
    QVERIFY(w);
    QTest::keyClick(w, Qt::Key_Return);
    QVERIFY(w->cellEditor()->isVisible());
    w->cellEditor()->setText(QStringLiteral("5"));
    QTest::keyClick(w->cellEditor(), Qt::Key_Return);
    QVERIFY(w->isModified());
    w->close();
    QVERIFY(copyOf(frame->document().data(kGrid)) != doubles({2, 2}, {1, 2, 3, 4}));
    undoRedoAndSave(original, QStringLiteral("Edit Grid"));
}

void UndoTest::addFromClipboard()
{
    view->selectEntry(kBlob);
    view->onCopyToClipboard();
    view->selectEntry(kTitle);
    view->onAddFromClipboard();
    QCOMPARE(frame->document().recordCount(), 11);
    QCOMPARE(frame->document().entry(kTitle).id, 0x40u);
    QCOMPARE(view->currentEntry(), kTitle);
    undoRedoAndSave(original, QStringLiteral("Add Record 40 Blob"));
    action("undo")->trigger();
    QCOMPARE(frame->document().recordCount(), 10);
    QCOMPARE(frame->document().entry(kTitle).id, 0x30u);
}

void UndoTest::replaceFromClipboard()
{
    view->selectEntry(kEngine);
    view->onCopyToClipboard();
    click(kIdle);
    QTest::keyClicks(view->fieldEdit(), QStringLiteral("7"));
    QTest::keyClick(view->fieldEdit(), Qt::Key_Return);
    const Bytes edited = composed();
    view->selectEntry(kEngine);
    view->onReplaceFromClipboard();
    QCOMPARE(composed(), original);
    // Replace is one step of its own, after the edit.
    QCOMPARE(action("undo")->text(), QStringLiteral("Undo Replace Record 10 Engine"));
    action("undo")->trigger();
    QCOMPARE(composed(), edited);
    QCOMPARE(frame->document().itemText(kIdle), std::string("Idle speed=7"));
    action("redo")->trigger();
    QCOMPARE(composed(), original);
    QCOMPARE(frame->document().itemText(kIdle), std::string("Idle speed=4660"));

    // Replace with data of another length, undone back to the edit.
    action("undo")->trigger();
    fixture::onNextDialog<browser::TextEditDialog>(this, [](browser::TextEditDialog* dlg) {
        dlg->editor()->setPlainText(QStringLiteral("longer title"));
        dlg->accept();
    });
    click(kTitle);
    view->selectEntry(kTitle);
    view->onCopyToClipboard();
    action("undo")->trigger(); // the title is "abc" again
    const Bytes beforeReplace = composed();
    view->selectEntry(kTitle);
    view->onReplaceFromClipboard();
    QCOMPARE(frame->document().entry(kTitle).length, 13u);
    undoRedoAndSave(beforeReplace, QStringLiteral("Replace Record 30 Title"));
}

void UndoTest::removeRecord()
{
    view->selectEntry(kMisc);
    view->onRemoveRecord();
    QCOMPARE(frame->document().recordCount(), 9);
    QCOMPARE(frame->document().entry(kMisc).id, 0x30u); // Title took its place
    undoRedoAndSave(original, QStringLiteral("Remove Record 11 Misc"));
    action("undo")->trigger();
    // Back with its fields, selected, its rows in the tree again.
    QCOMPARE(frame->document().entry(kMisc + 1).name, std::string("Count"));
    QCOMPARE(view->currentEntry(), kMisc);
    QCOMPARE(view->recordModel()->rowCount(view->recordModel()->indexForEntry(kMisc)), 6);
}

void UndoTest::undoClosesATableWindowOnItsRecord()
{
    // A write-back from the tbl16 window, then the window opened again: the
    // undo restores the record's bytes, and the window on them closes without
    // writing its own (now stale) values.
    click(kCurve);
    QTest::keyClick(tables::TableWnd::markedWindow(), Qt::Key_9, Qt::KeypadModifier);
    QTest::keyClick(tables::TableWnd::markedWindow(), Qt::Key_Return);
    click(kCurve);
    QPointer<tables::TableWnd> again = tables::TableWnd::markedWindow();
    QVERIFY(again);
    QTest::keyClick(again, Qt::Key_9, Qt::KeypadModifier);
    // A window on another record stays open.
    click(kPoints);
    QPointer<tables::TblDblWnd> other = tables::TblDblWnd::markedWindow();
    QVERIFY(other);
    action("undo")->trigger();
    QVERIFY(again.isNull() || again->isAbandoned());
    QVERIFY(other && !other->isAbandoned());
    QCOMPARE(composed(), original);
    QVERIFY(!frame->document().isModified());
    other->close(); // unchanged: writes nothing
    QVERIFY(!frame->document().isModified());
    QVERIFY(action("redo")->isEnabled());
}

void UndoTest::undoClosesTheValueBoxWithoutWriting()
{
    click(kFlag);
    click(kIdle);
    QTest::keyClicks(view->fieldEdit(), QStringLiteral("55"));
    QVERIFY(view->inPlaceEditorOpen());
    action("undo")->trigger(); // the toggle, from the menu
    QVERIFY(!view->inPlaceEditorOpen());
    QCOMPARE(composed(), original);
    QCOMPARE(view->currentEntry(), kFlag); // the undone change is selected
    QVERIFY(!action("undo")->isEnabled());
}

void UndoTest::historyEndsAtALoadAndTheQuestionFollowsTheCleanState()
{
    click(kFlag);
    click(kIdle);
    QTest::keyClicks(view->fieldEdit(), QStringLiteral("1"));
    QTest::keyClick(view->fieldEdit(), Qt::Key_Return);
    QCOMPARE(frame->undoStack()->count(), 2);

    // Undone back to the file: no question when another file is opened.
    action("undo")->trigger();
    action("undo")->trigger();
    QVERIFY(!frame->document().isModified());
    QVERIFY(frame->openDocument(QString::fromStdString(files->air()), true));
    QCOMPARE(boxes->asked.size(), 0);
    QCOMPARE(frame->undoStack()->count(), 0);
    QVERIFY(!action("undo")->isEnabled());

    // Reload drops the history too.
    click(kFlag);
    QVERIFY(action("undo")->isEnabled());
    action("reload")->trigger();
    QVERIFY(!action("undo")->isEnabled());
    QVERIFY(!action("redo")->isEnabled());
    QCOMPARE(composed(), original);

    // Modified again: the question comes.
    click(kFlag);
    QVERIFY(frame->openDocument(QString::fromStdString(files->air()), true));
    QCOMPARE(boxes->asked.size(), 1);
}

void UndoTest::editMenuFollowsTheActiveWindow()
{
    click(kFlag); // a step of the document's
    const Bytes flagged = composed();
    click(kGrid);
    QPointer<tables::CPageWnd> grid =
            qobject_cast<tables::CPageWnd*>(tables::TableRegistry::openWindows().value(0));
    QVERIFY(grid);
    QVERIFY(activate(grid));
    const QString cells = grid->copyText(true);
    QTest::keyClick(grid, Qt::Key_Return);
    grid->cellEditor()->setText(QStringLiteral("5"));
    QTest::keyClick(grid->cellEditor(), Qt::Key_Return);
    const QString edited = grid->copyText(true);
    QVERIFY(edited != cells);

    // The grid active: the menu takes back and makes again the grid's own
    // step, and the document stays as it was.
    QVERIFY(action("undo")->isEnabled());
    QCOMPARE(action("undo")->text(), QStringLiteral("Undo Edit Cell"));
    action("undo")->trigger();
    QCOMPARE(grid->copyText(true), cells);
    QCOMPARE(action("redo")->text(), QStringLiteral("Redo Edit Cell"));
    action("redo")->trigger();
    QCOMPARE(grid->copyText(true), edited);
    QCOMPARE(composed(), flagged);

    // The main window active: the document's step, the grid untouched.
    QVERIFY(activate(frame.get()));
    QCOMPARE(action("undo")->text(), QStringLiteral("Undo Edit Flag"));
    QVERIFY(!action("redo")->isEnabled());
    action("undo")->trigger();
    QCOMPARE(composed(), original);
    QCOMPARE(grid->copyText(true), edited);
    QVERIFY(!action("undo")->isEnabled());

    // Back in the grid: its own keys and the menu share one history.
    QVERIFY(activate(grid));
    QCOMPARE(action("undo")->text(), QStringLiteral("Undo Edit Cell"));
    QTest::keyClick(grid, Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(grid->copyText(true), cells);
    QVERIFY(!action("undo")->isEnabled());
    QCOMPARE(action("redo")->text(), QStringLiteral("Redo Edit Cell"));
    action("redo")->trigger();
    QCOMPARE(grid->copyText(true), edited);

    // Closed, the grid writes back: one step of the document's, and its own
    // history is gone from the menu.
    QPointer<QUndoStack> gridSteps = grid->undoStack();
    grid->close();
    QVERIFY(!frame->undoGroup()->stacks().contains(gridSteps.data()));
    QCOMPARE(frame->undoGroup()->activeStack(), frame->undoStack());
    QCOMPARE(action("undo")->text(), QStringLiteral("Undo Edit Grid"));
    QVERIFY(!action("redo")->isEnabled());
    action("undo")->trigger();
    QCOMPARE(composed(), original);
}

void UndoTest::aTableWindowsStepsLeaveTheMenuWithIt()
{
    click(kCurve);
    QPointer<tables::TableWnd> curve = tables::TableWnd::markedWindow();
    QVERIFY(curve);
    QVERIFY(activate(curve));
    const std::vector<double> before = curve->points().ys;
    QTest::keyClick(curve, Qt::Key_9, Qt::KeypadModifier);
    QTest::keyClick(curve, Qt::Key_9, Qt::KeypadModifier);
    const std::vector<double> stepped = curve->points().ys;
    QVERIFY(stepped != before);
    // A burst of steps on one point is one step in the menu too.
    QVERIFY(action("undo")->isEnabled());
    action("undo")->trigger();
    QCOMPARE(curve->points().ys, before);
    QVERIFY(!action("undo")->isEnabled());
    action("redo")->trigger();
    QCOMPARE(curve->points().ys, stepped);

    // Esc leaves without writing: nothing is left to take back, in the
    // window's history or the document's.
    QPointer<QUndoStack> steps = curve->undoStack();
    QTest::keyClick(curve, Qt::Key_Escape);
    QVERIFY(!frame->undoGroup()->stacks().contains(steps.data()));
    QVERIFY(!action("undo")->isEnabled());
    QVERIFY(!action("redo")->isEnabled());
    QCOMPARE(composed(), original);

    // A window abandoned by an undo in the main window leaves the menu too.
    click(kCurve);
    QTest::keyClick(tables::TableWnd::markedWindow(), Qt::Key_9, Qt::KeypadModifier);
    QTest::keyClick(tables::TableWnd::markedWindow(), Qt::Key_Return);
    click(kCurve);
    QPointer<tables::TableWnd> again = tables::TableWnd::markedWindow();
    QVERIFY(activate(again));
    QTest::keyClick(again, Qt::Key_9, Qt::KeypadModifier);
    steps = again->undoStack();
    QVERIFY(frame->undoGroup()->stacks().contains(steps.data()));
    QVERIFY(activate(frame.get()));
    QCOMPARE(action("undo")->text(), QStringLiteral("Undo Edit Curve"));
    action("undo")->trigger();
    QVERIFY(again.isNull() || again->isAbandoned());
    QVERIFY(!frame->undoGroup()->stacks().contains(steps.data()));
    QCOMPARE(composed(), original);
}

TARLO_TEST_MAIN(UndoTest)
#include "UndoTest.moc"
