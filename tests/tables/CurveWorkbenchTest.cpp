// The curve windows as a workbench: ranges, copy and paste, operations with
// undo inside the window, the exact value box of the 16-bit window and the
// second status pane.
#include "FakeTarget.h"

#include "common/AirImage.h"

#include "tables/TableWnd.h"
#include "tables/TblDblWnd.h"

#include <QClipboard>
#include <QLineEdit>
#include <QMenu>
#include <QUndoStack>
#include <QtTest>

using namespace tables;
using airtest::doubles;
using airtest::u16s;

class CurveWorkbenchTest : public QObject {
    Q_OBJECT
private slots:
    void init() { session.init(); }
    void cleanup() { session.cleanup(); }

    void tbl16RangeCopyAndPasteBack()
    {
        const auto bytes = u16s({7, 100, 200, 65535});
        auto s = stateWith(bytes);
        QPointer<TableWnd> w = TableWnd::open(targetOn(s), nullptr);
        QVERIFY(QTest::qWaitForWindowExposed(w));
        const QImage before = w->grab().toImage();
        QTest::keyClick(w, Qt::Key_Right);
        QTest::keyClick(w, Qt::Key_Right, Qt::ShiftModifier);
        QTest::keyClick(w, Qt::Key_Right, Qt::ShiftModifier);
        QCOMPARE(w->rangeFirst(), 1u);
        QCOMPARE(w->rangeLast(), 3u);
        // The existing pane is as it was; the second one tells the rest.
        QCOMPARE(w->statusText(), QStringLiteral("65535"));
        QCOMPARE(w->infoText(), QStringLiteral("Index 3   Selected 1-3"));
        QVERIFY(w->grab().toImage() != before);
        QTest::keyClick(w, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("100\n200\n65535\n"));
        QVERIFY(w->pasteText(QStringLiteral("1")));
        QCOMPARE(w->model().values(), (std::vector<std::uint32_t>{7, 1, 1, 1}));
        QTest::keyClick(w, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(w->model().values(), (std::vector<std::uint32_t>{7, 100, 200, 65535}));
        QTest::keyClick(w, Qt::Key_Return);
        QCOMPARE(s->bytes, bytes);
    }

    void tbl16PasteIsCheckedWhole()
    {
        const auto bytes = u16s({1, 2, 3});
        auto s = stateWith(bytes);
        QPointer<TableWnd> w = TableWnd::open(targetOn(s), nullptr);
        QVERIFY(QTest::qWaitForWindowExposed(w));
        QVERIFY(!w->pasteText(QStringLiteral("5\r\n70000\r\n")));
        QCOMPARE(messages.value(0),
                QStringLiteral("Nothing was pasted: row 2, column 1: \"70000\" is not a whole number from 0 "
                               "to 65535."));
        QVERIFY(!w->pasteText(QStringLiteral("5\n6\n7\n8\n")));
        QCOMPARE(messages.value(1),
                QStringLiteral(
                        "Nothing was pasted: row 4, column 1: \"8\" lies outside the table of 3 values."));
        QVERIFY(!w->pasteText(QStringLiteral("5\t6\n7\t8\n")));
        QCOMPARE(w->model().values(), (std::vector<std::uint32_t>{1, 2, 3}));
        QCOMPARE(w->undoStack()->count(), 0);
        // A column from a spreadsheet (CRLF, final line break), and a row.
        QVERIFY(w->pasteText(QStringLiteral("8000\r\n9000\r\n")));
        QCOMPARE(w->model().values(), (std::vector<std::uint32_t>{8000, 9000, 3}));
        QVERIFY(w->pasteText(QStringLiteral("4\t5\t6\r\n")));
        QCOMPARE(w->model().values(), (std::vector<std::uint32_t>{4, 5, 6}));
        QTest::keyClick(w, Qt::Key_Escape);
        QCOMPARE(s->bytes, bytes);
    }

    void tbl16OperationsUndoRedoAndWriteBack()
    {
        auto s = stateWith(u16s({1, 3, 5, 10}));
        QPointer<TableWnd> w = TableWnd::open(targetOn(s), nullptr);
        QVERIFY(QTest::qWaitForWindowExposed(w));
        w->selectRange(0, 2);
        QVERIFY(w->applyOperation(TableOp::Scale, 50));
        QCOMPARE(w->model().values(), (std::vector<std::uint32_t>{1, 2, 3, 10})); // halves away from zero
        QTest::keyClick(w, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(w->model().values(), (std::vector<std::uint32_t>{1, 3, 5, 10}));
        QTest::keyClick(w, Qt::Key_Y, Qt::ControlModifier);
        QCOMPARE(w->model().values(), (std::vector<std::uint32_t>{1, 2, 3, 10}));
        w->selectAll();
        QTest::keyClick(w, Qt::Key_I);
        QCOMPARE(w->model().values(), (std::vector<std::uint32_t>{1, 4, 7, 10}));
        QVERIFY(!w->applyOperation(TableOp::Add, 65530));
        QCOMPARE(messages.value(0),
                QStringLiteral("Add was not applied: the value at index 2 would become 65537, "
                               "which the table cannot hold."));
        QTest::keyClick(w, Qt::Key_S);
        QCOMPARE(w->model().values(), (std::vector<std::uint32_t>{1, 4, 7, 10}));
        QCOMPARE(w->undoStack()->count(), 3);
        QTest::keyClick(w, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier); // nothing to redo
        QTest::keyClick(w, Qt::Key_Return);
        QCOMPARE(s->bytes, u16s({1, 4, 7, 10}));
        QVERIFY(s->modified);
    }

    void aBurstOfKeyStepsIsOneUndoStep()
    {
        auto s = stateWith(u16s({10, 20}));
        QPointer<TableWnd> w = TableWnd::open(targetOn(s), nullptr);
        QVERIFY(QTest::qWaitForWindowExposed(w));
        for (int i = 0; i < 5; ++i)
            QTest::keyClick(w, Qt::Key_Up);
        QTest::keyClick(w, Qt::Key_9, Qt::KeypadModifier);
        QCOMPARE(w->undoStack()->count(), 1);
        QTest::keyClick(w, Qt::Key_Right);
        QTest::keyClick(w, Qt::Key_Down);
        QTest::keyClick(w, Qt::Key_Left);
        QTest::keyClick(w, Qt::Key_Down);
        QCOMPARE(w->undoStack()->count(), 3); // each new burst is a step
        QCOMPARE(w->model().values(), (std::vector<std::uint32_t>{1014, 19}));
        w->undoStack()->undo();
        w->undoStack()->undo();
        QCOMPARE(w->model().values(), (std::vector<std::uint32_t>{1015, 20}));
        w->undoStack()->undo();
        QCOMPARE(w->model().values(), (std::vector<std::uint32_t>{10, 20}));
    }

    void tbl16ValueBoxTakesWholeNumbersOnly()
    {
        auto s = stateWith(u16s({8000, 1}));
        QPointer<TableWnd> w = TableWnd::open(targetOn(s), nullptr);
        QVERIFY(QTest::qWaitForWindowExposed(w));
        QTest::keyClick(w, Qt::Key_Y);
        QVERIFY(w->valueBoxOpen());
        QCOMPARE(w->valueBox()->text(), QStringLiteral("8000"));
        QTest::keyClicks(w->valueBox(), QStringLiteral("20000"));
        QTest::keyClick(w->valueBox(), Qt::Key_Return);
        QVERIFY(!w->valueBoxOpen());
        QCOMPARE(w->model().values()[0], 20000u);
        QTest::keyClick(w, Qt::Key_F10);
        w->valueBox()->setText(QStringLiteral("65536"));
        QTest::keyClick(w->valueBox(), Qt::Key_Return);
        QVERIFY(w->valueBoxOpen());
        QCOMPARE(messages.value(0), QStringLiteral("\"65536\" is not a whole number from 0 to 65535."));
        QTest::keyClick(w->valueBox(), Qt::Key_Escape);
        QVERIFY(!w->valueBoxOpen());
        QCOMPARE(w->model().values()[0], 20000u);
        QCOMPARE(w->statusText(), QStringLiteral("20000"));
        QTest::keyClick(w, Qt::Key_Return);
        QCOMPARE(s->bytes, u16s({20000, 1}));
    }

    void tbldbPastesOneOrTwoColumnsAndInterpolatesAlongX()
    {
        auto s = stateWith(doubles({3}, {0, 5, 1, 9, 4, 20}));
        QPointer<TblDblWnd> w = TblDblWnd::open(targetOn(s), nullptr);
        QVERIFY(QTest::qWaitForWindowExposed(w));
        w->selectAll();
        QCOMPARE(w->copyText(), QStringLiteral("0\t5\n1\t9\n4\t20\n"));
        QTest::keyClick(w, Qt::Key_I);
        QCOMPARE(w->model().ys(), (std::vector<double>{5, 8.75, 20}));
        w->selectRange(1, 2);
        QVERIFY(w->pasteText(QStringLiteral("0,125\r\n0,5\r\n"))); // y only, decimal commas
        QCOMPARE(w->model().ys(), (std::vector<double>{5, 0.125, 0.5}));
        QVERIFY(w->pasteText(QStringLiteral("2\t3\r\n")));
        QCOMPARE(w->model().xs(), (std::vector<double>{0, 2, 4}));
        QCOMPARE(w->model().ys(), (std::vector<double>{5, 3, 0.5}));
        QVERIFY(!w->pasteText(QStringLiteral("1\t2\t3")));
        QCOMPARE(messages.value(0),
                QStringLiteral("Nothing was pasted: row 2, column 3: \"3\" does not fit: this table takes y, "
                               "or x and y."));
        w->undoStack()->undo();
        QCOMPARE(w->model().xs(), (std::vector<double>{0, 1, 4}));
        w->close();
        QCOMPARE(s->bytes, doubles({3}, {0, 5, 1, 0.125, 4, 0.5}));
        QVERIFY(s->modified);
    }

    void tbldbValueBoxIsAnUndoStepAndTheMouseIsShown()
    {
        auto s = stateWith(doubles({2}, {0, 1, 1, 2}));
        QPointer<TblDblWnd> w = TblDblWnd::open(targetOn(s), nullptr);
        QVERIFY(QTest::qWaitForWindowExposed(w));
        QTest::keyClick(w, Qt::Key_Y);
        w->valueBox()->setText(QStringLiteral("7"));
        QTest::keyClick(w->valueBox(), Qt::Key_Return);
        QCOMPARE(w->model().ys()[0], 7.0);
        QCOMPARE(w->undoStack()->count(), 1);
        QTest::mouseMove(w, QPoint(w->width() - 9, 40));
        QTRY_COMPARE(w->infoText(), QStringLiteral("Index 0   Mouse: 1 = 1, 2"));
        w->undoStack()->undo();
        QCOMPARE(w->model().ys()[0], 1.0);
        std::unique_ptr<QMenu> m(w->createContextMenu());
        QStringList texts;
        for (QAction* a : m->actions())
            texts << a->text();
        QVERIFY(texts.contains(QStringLiteral("&Interpolate")));
        QVERIFY(texts.contains(QStringLiteral("R&edo Value")));
    }

private:
    WindowTestSession session{{QStringLiteral("tbl16"), QStringLiteral("tbldbl")}};
    QStringList& messages = session.boxes.told;
};

TARLO_TEST_MAIN(CurveWorkbenchTest)
#include "CurveWorkbenchTest.moc"
