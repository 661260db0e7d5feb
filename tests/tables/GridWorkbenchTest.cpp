// The grid window as a workbench: selecting, copying and pasting spreadsheet
// text, the operations with undo and redo inside the window, the heat map.
#include "FakeTarget.h"

#include "common/AirImage.h"

#include "tables/PageWnd.h"

#include <QClipboard>
#include <QMenu>
#include <QUndoStack>
#include <QtTest>

#include <bit>

using namespace tables;

namespace {
std::vector<std::uint8_t> gridBytes(std::int32_t a, std::int32_t b, const std::vector<double>& values)
{
    return airtest::doubles({std::uint32_t(a), std::uint32_t(b)}, values);
}

// The stored value of grid row k, column g of a grid with b rows.
double stored(const std::vector<std::uint8_t>& bytes, int b, int k, int g)
{
    return f64At(bytes, 8 + 8 * std::size_t(g * b + k));
}

// Values that "%f" cannot show exactly, so copy and paste must keep bits.
const std::vector<double> kAwkward{0.1, 1.0 / 3, -2.5e-300, 123456.789012345678, 7, -0.0, 1e22, 5e-324,
        2.0 / 3, -42.125, 9.999999999999999e-5, 3};
} // namespace

class GridWorkbenchTest : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        session.init();
        QSettings(QStringLiteral("Kestrel Loft"), QStringLiteral("Tarlo")).remove(QStringLiteral("tbl3d"));
    }
    void cleanup() { session.cleanup(); }

    void shiftArrowsClicksDragAndCtrlASelect()
    {
        auto s = stateWith(gridBytes(4, 3, kAwkward));
        QPointer<CPageWnd> w = openGridTable(targetOn(s), nullptr);
        QVERIFY(QTest::qWaitForWindowExposed(w));
        QVERIFY(!w->hasSelection());
        QTest::keyClick(w, Qt::Key_Right, Qt::ShiftModifier);
        QTest::keyClick(w, Qt::Key_Down, Qt::ShiftModifier);
        const CellRange r = w->selection();
        QCOMPARE(r.top, 1);
        QCOMPARE(r.left, 1);
        QCOMPARE(r.rows, 2);
        QCOMPARE(r.cols, 2);
        // The existing moves still happen with Shift: the current cell went along.
        QCOMPARE(w->currentRow(), 2);
        QCOMPARE(w->currentCol(), 2);
        QTest::keyClick(w, Qt::Key_Left);
        QVERIFY(!w->hasSelection());

        const QPoint c00 = w->cellRectFor(0, 0).center(), c22 = w->cellRectFor(2, 2).center();
        QTest::mouseClick(w, Qt::LeftButton, {}, c00);
        QTest::mouseClick(w, Qt::LeftButton, Qt::ShiftModifier, c22);
        QCOMPARE(w->selection().rows, 3);
        QCOMPARE(w->selection().cols, 3);
        QTest::mousePress(w, Qt::LeftButton, {}, c22);
        QMouseEvent move(QEvent::MouseMove, QPointF(w->cellRectFor(1, 1).center()),
                w->mapToGlobal(QPointF(w->cellRectFor(1, 1).center())), Qt::NoButton, Qt::LeftButton, {});
        QCoreApplication::sendEvent(w, &move);
        QTest::mouseRelease(w, Qt::LeftButton, {}, w->cellRectFor(1, 1).center());
        QCOMPARE(w->selection().top, 1);
        QCOMPARE(w->selection().rows, 2);
        QTest::keyClick(w, Qt::Key_A, Qt::ControlModifier);
        QCOMPARE(w->selection().rows, 3);
        QCOMPARE(w->selection().cols, 4);
        // The selection is drawn: a selected cell looks different from before.
        const QImage selected = w->grab().toImage();
        QTest::keyClick(w, Qt::Key_Left);
        QVERIFY(w->grab().toImage() != selected);
    }

    void copyThenPasteBackLeavesTheBytes()
    {
        const auto bytes = gridBytes(4, 3, kAwkward);
        auto s = stateWith(bytes);
        QPointer<CPageWnd> w = openGridTable(targetOn(s), nullptr);
        QVERIFY(QTest::qWaitForWindowExposed(w));
        QTest::keyClick(w, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(w, Qt::Key_C, Qt::ControlModifier);
        const QString text = QGuiApplication::clipboard()->text();
        QCOMPARE(text.count(u'\n'), 3);
        QCOMPARE(text.section(u'\n', 0, 0), QStringLiteral("0.1\t123456.78901234567\t1e+22\t-42.125"));
        QCOMPARE(w->copyText(true), text);
        // Overwrite everything, then paste the copy back over it.
        QVERIFY(w->pasteText(QStringLiteral("5")));
        QCOMPARE(w->cellValue(2, 3), 5.0);
        QTest::keyClick(w, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(w->GetCellText(0, 0).value(), QStringLiteral("0.100000"));
        QCOMPARE(w->GetCellText(2, 0).value(), QStringLiteral("-2.5e-300")); // "%f" would lose it
        w->close();
        QCOMPARE(s->stores, 1);
        QCOMPARE(s->bytes, bytes);
        QVERIFY(messages.isEmpty());
    }

    void pastesWhatASpreadsheetCopies()
    {
        auto s = stateWith(gridBytes(3, 3, std::vector<double>(9, 0.0)));
        QPointer<CPageWnd> w = openGridTable(targetOn(s), nullptr);
        QVERIFY(QTest::qWaitForWindowExposed(w));
        // A block copied from a spreadsheet with a decimal comma: tabs, CRLF, a final line break.
        QVERIFY(w->pasteText(QStringLiteral("1,5\t-2\r\n\"3\"\t4,25\r\n")));
        QCOMPARE(w->selection().rows, 2);
        w->close();
        QCOMPARE(stored(s->bytes, 3, 1, 1), 1.5);
        QCOMPARE(stored(s->bytes, 3, 1, 2), -2.0);
        QCOMPARE(stored(s->bytes, 3, 2, 1), 3.0);
        QCOMPARE(stored(s->bytes, 3, 2, 2), 4.25);
        QCOMPARE(stored(s->bytes, 3, 0, 0), 0.0);
    }

    void refusedPastesChangeNothing()
    {
        const auto bytes = gridBytes(3, 3, std::vector<double>(9, 1.0));
        auto s = stateWith(bytes);
        QPointer<CPageWnd> w = openGridTable(targetOn(s), nullptr);
        QVERIFY(QTest::qWaitForWindowExposed(w));
        QVERIFY(!w->pasteText(QStringLiteral("7\t8\n9\tabc\n")));
        QCOMPARE(messages.size(), 1);
        QCOMPARE(
                messages[0], QStringLiteral("Nothing was pasted: row 3, column 3: \"abc\" is not a number."));
        QVERIFY(!w->pasteText(QStringLiteral("7\t8\t9\n")));
        QCOMPARE(messages[1],
                QStringLiteral(
                        "Nothing was pasted: row 2, column 4: \"9\" lies outside the table of 3 rows and 3 "
                        "columns."));
        QVERIFY(!w->pasteText(QStringLiteral("1\t\t2")));
        QVERIFY(messages[2].contains(QStringLiteral("is empty")));
        QCOMPARE(w->GetCellText(1, 1).value(), QStringLiteral("1.000000"));
        QCOMPARE(w->undoStack()->count(), 0);
        w->close();
        QCOMPARE(s->stores, 0);
        QCOMPARE(s->bytes, bytes);
    }

    void oneValueFillsTheSelection()
    {
        auto s = stateWith(gridBytes(3, 3, std::vector<double>(9, 1.0)));
        QPointer<CPageWnd> w = openGridTable(targetOn(s), nullptr);
        QVERIFY(QTest::qWaitForWindowExposed(w));
        w->selectRange(CellRange{0, 1, 3, 2});
        QVERIFY(w->pasteText(QStringLiteral("2.5\r\n")));
        w->close();
        for (int k = 0; k < 3; ++k) {
            QCOMPARE(stored(s->bytes, 3, k, 0), 1.0);
            QCOMPARE(stored(s->bytes, 3, k, 1), 2.5);
            QCOMPARE(stored(s->bytes, 3, k, 2), 2.5);
        }
    }

    void operationsUndoAndRedoInsideTheWindow_data()
    {
        QTest::addColumn<int>("op");
        QTest::addColumn<double>("operand");
        QTest::addColumn<QList<double>>("row1"); // row 1 after the operation on rows 0-2, columns 1-3
        QTest::newRow("set") << int(TableOp::Set) << 4.0 << QList<double>{4, 4, 4};
        QTest::newRow("add") << int(TableOp::Add) << -1.5 << QList<double>{-1.5, 7.5, -1.5};
        QTest::newRow("scale") << int(TableOp::Scale) << 50.0 << QList<double>{0, 4.5, 0};
        QTest::newRow("rows") << int(TableOp::InterpolateRows) << 0.0 << QList<double>{0, 0, 0};
        QTest::newRow("cols") << int(TableOp::InterpolateCols) << 0.0 << QList<double>{1, 2, 3};
        QTest::newRow("bilinear") << int(TableOp::Bilinear) << 0.0 << QList<double>{1, 2, 3};
        QTest::newRow("smooth") << int(TableOp::Smooth) << 0.0 << QList<double>{2.0 / 3, 7.0 / 3, 2};
    }

    void operationsUndoAndRedoInsideTheWindow()
    {
        QFETCH(int, op);
        QFETCH(double, operand);
        QFETCH(QList<double>, row1);
        // Column 0 is all 5; columns 1-3: row 0 = 0 1 2, row 1 = 0 9 0, row 2 = 2 3 4.
        const auto bytes = gridBytes(4, 3, {5, 5, 5, 0, 0, 2, 1, 9, 3, 2, 0, 4});
        auto s = stateWith(bytes);
        QPointer<CPageWnd> w = openGridTable(targetOn(s), nullptr);
        QVERIFY(QTest::qWaitForWindowExposed(w));
        w->selectRange(CellRange{0, 1, 3, 3});
        QVERIFY(w->applyOperation(TableOp(op), operand));
        auto row = [&] { return QList<double>{w->cellValue(1, 1), w->cellValue(1, 2), w->cellValue(1, 3)}; };
        QCOMPARE(row(), row1);
        QTest::keyClick(w, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(row(), (QList<double>{0, 9, 0}));
        QCOMPARE(w->GetCellText(1, 2).value(), QStringLiteral("9.000000"));
        QTest::keyClick(w, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(row(), row1);
        QTest::keyClick(w, Qt::Key_Z, Qt::ControlModifier);
        QTest::keyClick(w, Qt::Key_Y, Qt::ControlModifier);
        QCOMPARE(row(), row1);
        QCOMPARE(w->undoStack()->count(), 1);
        w->close();
        QCOMPARE(s->bytes.size(), bytes.size());
        for (int c = 1; c <= 3; ++c)
            QCOMPARE(stored(s->bytes, 3, 1, c), row1[c - 1]);
        QCOMPARE(stored(s->bytes, 3, 1, 0), 5.0);
        QVERIFY(s->modified);
    }

    void aCellEditIsOneUndoStep()
    {
        auto s = stateWith(gridBytes(2, 2, {1, 2, 3, 4}));
        QPointer<CPageWnd> w = openGridTable(targetOn(s), nullptr);
        QVERIFY(QTest::qWaitForWindowExposed(w));
        QTest::keyClick(w, Qt::Key_Return);
        QTest::keyClicks(w->cellEditor(), QStringLiteral("8"));
        QTest::keyClick(w->cellEditor(), Qt::Key_Return);
        QCOMPARE(w->GetCellText(1, 1).value(), QStringLiteral("8.000000"));
        QTest::keyClick(w, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(w->GetCellText(1, 1).value(), QStringLiteral("4.000000"));
        w->close();
        QCOMPARE(stored(s->bytes, 2, 1, 1), 4.0);
    }

    void operationsThatOverflowAreRefused()
    {
        auto s = stateWith(gridBytes(2, 2, {1, 2, 3, 1e308}));
        QPointer<CPageWnd> w = openGridTable(targetOn(s), nullptr);
        QVERIFY(QTest::qWaitForWindowExposed(w));
        w->selectAll();
        QVERIFY(!w->applyOperation(TableOp::Scale, 1000));
        QCOMPARE(messages.value(0),
                QStringLiteral(
                        "Multiply by % was not applied: row 2, column 2 would become inf, which the table "
                        "cannot hold."));
        QCOMPARE(w->cellValue(0, 0), 1.0);
        QCOMPARE(w->undoStack()->count(), 0);
    }

    void heatMapColoursTheBodyAndIsRemembered()
    {
        auto s = stateWith(gridBytes(3, 3, {0, 0, 0, 0, 0, 10, 0, 10, 5}));
        QPointer<CPageWnd> w = openGridTable(targetOn(s), nullptr);
        QVERIFY(QTest::qWaitForWindowExposed(w));
        QVERIFY(!w->heatMap());
        const QImage plain = w->grab().toImage();
        QTest::keyClick(w, Qt::Key_H);
        QVERIFY(w->heatMap());
        const QImage heat = w->grab().toImage();
        auto at = [&](const QImage& img, int r, int c) {
            return img.pixelColor(w->cellRectFor(r, c).left() + 6, w->cellRectFor(r, c).center().y());
        };
        // Body: lowest value at the palette's low end, highest at its high end.
        const Rgb lo = heatColor(HeatPalette::Viridis, 0), hi = heatColor(HeatPalette::Viridis, 1);
        QCOMPARE(at(heat, 1, 1), QColor(lo.r, lo.g, lo.b));
        QCOMPARE(at(heat, 2, 1), QColor(hi.r, hi.g, hi.b));
        // The first row and column keep their look.
        QCOMPARE(at(heat, 0, 1), at(plain, 0, 1));
        QCOMPARE(at(heat, 1, 0), at(plain, 1, 0));
        w->close();
        flushDeletes();
        QPointer<CPageWnd> again = openGridTable(targetOn(s), nullptr);
        QVERIFY(again->heatMap());
        QTest::keyClick(again, Qt::Key_H);
        QVERIFY(!again->heatMap());
        QCOMPARE(s->stores, 0); // the heat map is no edit
    }

    void theContextMenuListsTheCommands()
    {
        auto s = stateWith(gridBytes(2, 2, {1, 2, 3, 4}));
        QPointer<CPageWnd> w = openGridTable(targetOn(s), nullptr);
        QVERIFY(QTest::qWaitForWindowExposed(w));
        std::unique_ptr<QMenu> m(w->createContextMenu());
        QStringList texts;
        for (QAction* a : m->actions())
            if (!a->isSeparator())
                texts << a->text();
        QVERIFY(texts.contains(QStringLiteral("&Paste")));
        QVERIFY(texts.contains(QStringLiteral("Sm&ooth")));
        QVERIFY(texts.contains(QStringLiteral("&Heat Map")));
        // Triggering an entry runs it: Select All, then Smooth on a 2x2 table changes nothing but is one
        // step.
        for (QAction* a : m->actions())
            if (a->text() == QStringLiteral("Select &All"))
                a->trigger();
        QCOMPARE(w->selection().rows, 2);
    }

private:
    WindowTestSession session{{QStringLiteral("tbl3d")}};
    QStringList& messages = session.boxes.told;
};

TARLO_TEST_MAIN(GridWorkbenchTest)
#include "GridWorkbenchTest.moc"
