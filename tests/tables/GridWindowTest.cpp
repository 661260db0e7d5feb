// The grid window: opening a grid table, keys, mouse, scrolling, the cell
// editor, storing on close, and the general cell operations.
#include "FakeTarget.h"

#include "common/AirImage.h"

#include "tables/PageWnd.h"

#include <QClipboard>
#include <QLineEdit>
#include <QScrollBar>
#include <QtTest>

#include <algorithm>

#include <functional>

using namespace tables;
using ui::desktopEdges;
using ui::Edges;

namespace {
// A grid record's data: its two counts, then its cells.
std::vector<std::uint8_t> gridBytes(std::int32_t a, std::int32_t b, const std::vector<double>& values)
{
    return airtest::doubles({std::uint32_t(a), std::uint32_t(b)}, values);
}

std::vector<double> oneToN(int n)
{
    std::vector<double> v;
    for (int i = 1; i <= n; ++i)
        v.push_back(i);
    return v;
}

QString text(const CPageWnd* w, int row, int col)
{
    return w->GetCellText(row, col).value_or(QStringLiteral("<none>"));
}

// Types into the open cell editor and commits it.
void typeAndCommit(CPageWnd* w, const QString& keys)
{
    QTest::keyClick(w, Qt::Key_Return);
    QVERIFY(w->cellEditor()->isVisible());
    QTest::keyClicks(w->cellEditor(), keys);
    QTest::keyClick(w->cellEditor(), Qt::Key_Return);
}
} // namespace

class GridWindowTest : public QObject {
    Q_OBJECT
private slots:
    void init() { session.init(); }
    void cleanup() { session.cleanup(); }

    void opensGroupsAsColumns()
    {
        auto s = stateWith(gridBytes(3, 2, oneToN(6)));
        QPointer<CPageWnd> w = openGridTable(targetOn(s), nullptr);
        QVERIFY(w);
        QCOMPARE(w->windowTitle(), QStringLiteral("rec12"));
        QCOMPARE(w->GetColCount(), 3);
        QCOMPARE(w->GetRowCount(), 2);
        QCOMPARE(text(w, 0, 0), QStringLiteral("1.000000"));
        QCOMPARE(text(w, 0, 1), QStringLiteral("3.000000"));
        QCOMPARE(text(w, 0, 2), QStringLiteral("5.000000"));
        QCOMPARE(text(w, 1, 0), QStringLiteral("2.000000"));
        QCOMPARE(text(w, 1, 1), QStringLiteral("4.000000"));
        QCOMPARE(text(w, 1, 2), QStringLiteral("6.000000"));
        QCOMPARE(w->currentRow(), 1);
        QCOMPARE(w->currentCol(), 1);
        QCOMPARE(w->GetCellAlign(1, 0), int(kAlignRight));
        QCOMPARE(w->GetCellBkColor(0, 1), w->palette().color(QPalette::Button));
        QCOMPARE(w->GetCellBkColor(1, 1), w->palette().color(QPalette::Base));
        w->close();
        QCOMPARE(s->stores, 0);
        QVERIFY(!s->modified);
        QCOMPARE(s->bytes, gridBytes(3, 2, oneToN(6)));
    }

    void refusesCountsThatDoNotFit()
    {
        QVERIFY(!openGridTable(targetOn(stateWith(gridBytes(0, 2, {}))), nullptr));
        QVERIFY(!openGridTable(targetOn(stateWith(gridBytes(-1, 2, oneToN(4)))), nullptr));
        QVERIFY(!openGridTable(targetOn(stateWith(gridBytes(1000, 1000, oneToN(4)))), nullptr));
        QVERIFY(!openGridTable(targetOn(stateWith({1, 0, 0})), nullptr));
        QCOMPARE(messages.size(), 4);
        for (const QString& m : messages)
            QVERIFY(m.startsWith(QStringLiteral("The Record is not editable as a grid table")));
        QVERIFY(TableRegistry::openWindows().isEmpty());
    }

    void commitFormatsAndStores()
    {
        std::vector<std::uint8_t> bytes = gridBytes(3, 2, oneToN(6));
        bytes.push_back(0x5A); // a byte past the table stays as it is
        auto s = stateWith(bytes);
        QPointer<CPageWnd> w = openGridTable(targetOn(s), nullptr);
        QVERIFY(QTest::qWaitForWindowExposed(w));
        typeAndCommit(w, QStringLiteral("5"));
        QCOMPARE(text(w, 1, 1), QStringLiteral("5.000000"));
        QVERIFY(w->isModified());
        QVERIFY(!s->modified); // nothing reaches the entry before the close

        const QList<QPair<QString, QString>> cases = {
            {QStringLiteral(".5"), QStringLiteral("0.500000")},
            {QStringLiteral("-1.25"), QStringLiteral("-1.250000")},
            {QStringLiteral("1.1234567"), QStringLiteral("1.1234567")},
            {QStringLiteral("a1b2c"), QStringLiteral("12.000000")},
        };
        for (const auto& [typed, shown] : cases) {
            QTest::keyClick(w, Qt::Key_Return);
            w->cellEditor()->clear();
            QTest::keyClicks(w->cellEditor(), typed);
            QTest::keyClick(w->cellEditor(), Qt::Key_Return);
            QCOMPARE(text(w, 1, 1), shown);
        }
        QTest::keyClick(w, Qt::Key_Return);
        w->cellEditor()->clear();
        QTest::keyClick(w->cellEditor(), Qt::Key_Return);
        QCOMPARE(text(w, 1, 1), QStringLiteral("0.000000"));

        // Pasted letters are dropped like typed ones.
        QTest::keyClick(w, Qt::Key_Return);
        QApplication::clipboard()->setText(QStringLiteral("x2y"));
        w->cellEditor()->paste();
        QVERIFY(!w->cellEditor()->text().contains(u'x'));
        QTest::keyClick(w->cellEditor(), Qt::Key_Escape);

        // Escape keeps the cell's text.
        QTest::keyClick(w, Qt::Key_Right);
        QTest::keyClick(w, Qt::Key_Return);
        QCOMPARE(w->cellEditor()->text(), QStringLiteral("6.000000"));
        QCOMPARE(w->cellEditor()->selectedText(), QStringLiteral("6.000000"));
        QTest::keyClick(w->cellEditor(), Qt::Key_End);
        QTest::keyClicks(w->cellEditor(), QStringLiteral("9"));
        QCOMPARE(w->cellEditor()->text(), QStringLiteral("6.0000009"));
        QTest::keyClick(w->cellEditor(), Qt::Key_Escape);
        QVERIFY(w->cellEditor()->isHidden());
        QCOMPARE(text(w, 1, 2), QStringLiteral("6.000000"));

        // Header cells hold values like any other.
        QTest::keyClick(w, Qt::Key_Up);
        typeAndCommit(w, QStringLiteral("-7"));
        QCOMPARE(text(w, 0, 2), QStringLiteral("-7.000000"));

        w->close();
        QCOMPARE(s->stores, 1);
        QVERIFY(s->modified);
        QCOMPARE(s->bytes.size(), bytes.size());
        QCOMPARE(s->bytes.back(), std::uint8_t(0x5A));
        QCOMPARE(f64At(s->bytes, 8 + 8 * (1 * 2 + 1)), 0.0);   // group 1, value 1
        QCOMPARE(f64At(s->bytes, 8 + 8 * (2 * 2 + 0)), -7.0);  // group 2, value 0
        QCOMPARE(f64At(s->bytes, 8 + 8 * (2 * 2 + 1)), 6.0);
        QCOMPARE(f64At(s->bytes, 8), 1.0);
    }

    void commitWritesTheEditedCellWhateverEndsTheEdit()
    {
        // Each way of ending an edit of (2, 2); where the current cell is then.
        struct Way {
            QString name;
            std::function<void(CPageWnd*)> end;
            int row, col;
        };
        QLineEdit elsewhere; // another window, to take the focus away
        const QList<Way> ways = {
            {QStringLiteral("Enter"), [](CPageWnd* w) { QTest::keyClick(w->cellEditor(), Qt::Key_Return); }, 2, 2},
            {QStringLiteral("Tab"), [](CPageWnd* w) { QTest::keyClick(w->cellEditor(), Qt::Key_Tab); }, 2, 2},
            {QStringLiteral("Down on the grid"), [](CPageWnd* w) { QTest::keyClick(w, Qt::Key_Down); }, 3, 2},
            {QStringLiteral("Up on the grid"), [](CPageWnd* w) { QTest::keyClick(w, Qt::Key_Up); }, 1, 2},
            {QStringLiteral("Left on the grid"), [](CPageWnd* w) { QTest::keyClick(w, Qt::Key_Left); }, 2, 1},
            {QStringLiteral("Right on the grid"), [](CPageWnd* w) { QTest::keyClick(w, Qt::Key_Right); }, 2, 3},
            // The box's own keys stay in the box; Enter then commits.
            {QStringLiteral("arrows in the box, then Enter"),
             [](CPageWnd* w) {
                 for (auto k : {Qt::Key_Down, Qt::Key_Up, Qt::Key_PageDown, Qt::Key_Left, Qt::Key_Right}) {
                     QTest::keyClick(w->cellEditor(), k);
                     QVERIFY(w->cellEditor()->isVisible());
                     QCOMPARE(w->currentRow(), 2);
                     QCOMPARE(w->currentCol(), 2);
                 }
                 QTest::keyClick(w->cellEditor(), Qt::Key_Return);
             },
             2, 2},
            {QStringLiteral("click on another cell"),
             [](CPageWnd* w) {
                 // The part of the cell below that is in sight: with a wide font a cell
                 // can be wider than the window.
                 const QRect r = w->currentCellRect();
                 const QRect below = r.translated(0, r.height()).intersected(w->clientArea());
                 QVERIFY(!below.isEmpty());
                 QTest::mouseClick(w, Qt::LeftButton, {}, below.center());
             },
             3, 2},
            {QStringLiteral("scroll bar"),
             [](CPageWnd* w) { w->verticalBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd); }, 2, 2},
            {QStringLiteral("focus to another window"),
             [&elsewhere](CPageWnd*) {
                 elsewhere.show();
                 elsewhere.activateWindow();
                 QVERIFY(QTest::qWaitForWindowActive(&elsewhere));
                 elsewhere.setFocus();
             },
             2, 2},
        };
        for (const Way& way : ways) {
            const auto before = gridBytes(4, 40, oneToN(160));
            auto s = stateWith(before);
            QPointer<CPageWnd> w = openGridTable(targetOn(s), nullptr);
            w->resize(500, 300);
            w->activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(w));
            QTest::keyClick(w, Qt::Key_Down);
            QTest::keyClick(w, Qt::Key_Right);
            QCOMPARE(w->currentRow(), 2);
            QTest::keyClick(w, Qt::Key_Return);
            QVERIFY(w->cellEditor()->hasFocus());
            QTest::keyClicks(w->cellEditor(), QStringLiteral("77"));
            way.end(w);
            if (QTest::currentTestFailed())
                QFAIL(qPrintable(way.name));
            QVERIFY2(w->cellEditor()->isHidden(), qPrintable(way.name));
            QVERIFY2(text(w, 2, 2) == QStringLiteral("77.000000"), qPrintable(way.name + QStringLiteral(": ") + text(w, 2, 2)));
            // Cells around it keep their values (column g holds 40g + 1 ...).
            QVERIFY2(text(w, 3, 2) == QStringLiteral("84.000000"), qPrintable(way.name + QStringLiteral(": ") + text(w, 3, 2)));
            QVERIFY2(text(w, 2, 3) == QStringLiteral("123.000000"), qPrintable(way.name));
            QVERIFY2(text(w, 1, 2) == QStringLiteral("82.000000"), qPrintable(way.name));
            QVERIFY2(w->currentRow() == way.row && w->currentCol() == way.col, qPrintable(way.name));
            QVERIFY(w->isModified());
            w->close();
            QCOMPARE(s->stores, 1);
            auto expected = oneToN(160);
            expected[2 * 40 + 2] = 77;
            QVERIFY2(s->bytes == gridBytes(4, 40, expected), qPrintable(way.name));
            elsewhere.hide();
        }
    }

    void closeDropsAnOpenEdit()
    {
        auto s = stateWith(gridBytes(2, 2, oneToN(4)));
        QPointer<CPageWnd> w = openGridTable(targetOn(s), nullptr);
        QVERIFY(QTest::qWaitForWindowExposed(w));
        QTest::keyClick(w, Qt::Key_Return);
        QTest::keyClicks(w->cellEditor(), QStringLiteral("8"));
        w->close();
        QCOMPARE(s->stores, 0);
        QVERIFY(!s->modified);
    }

    void destroyedWithAnOpenEditWritesNothing()
    {
        auto s = stateWith(gridBytes(2, 2, oneToN(4)));
        auto* w = openGridTable(targetOn(s), nullptr);
        w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w));
        QTest::keyClick(w, Qt::Key_Return);
        QTest::keyClicks(w->cellEditor(), QStringLiteral("8"));
        QVERIFY(w->cellEditor()->hasFocus());
        delete w; // as at the end of the program, without a close
        QCOMPARE(s->stores, 0);
        QVERIFY(!s->modified);
    }

    void arrowsStopAtTheEdges()
    {
        auto s = stateWith(gridBytes(3, 2, oneToN(6)));
        QPointer<CPageWnd> w = openGridTable(targetOn(s), nullptr);
        QVERIFY(QTest::qWaitForWindowExposed(w));
        QTest::keyClick(w, Qt::Key_Down); // row 1 is the last
        QCOMPARE(w->currentRow(), 1);
        QTest::keyClick(w, Qt::Key_Right);
        QTest::keyClick(w, Qt::Key_Right); // column 2 is the last
        QCOMPARE(w->currentCol(), 2);
        QCOMPARE(w->scrollState().hpos, 1); // the last-column Right still scrolls (within hmax)
        QTest::keyClick(w, Qt::Key_Left);
        QTest::keyClick(w, Qt::Key_Left);
        QTest::keyClick(w, Qt::Key_Left);
        QCOMPARE(w->currentCol(), 0);
        QCOMPARE(w->scrollState().hpos, 0);
        QTest::keyClick(w, Qt::Key_Up);
        QTest::keyClick(w, Qt::Key_Up);
        QCOMPARE(w->currentRow(), 0);
        QCOMPARE(w->currentCellRect().topLeft(), QPoint(0, 0));
    }

    void scrollingAndClicks()
    {
        auto s = stateWith(gridBytes(30, 40, oneToN(1200)));
        QPointer<CPageWnd> w = openGridTable(targetOn(s), nullptr);
        w->resize(700, 300);
        QVERIFY(QTest::qWaitForWindowExposed(w));
        const int cw = w->colWidths()[0], rh = w->rowHeights()[0];
        QVERIFY(!w->horizontalBar()->isHidden());
        QVERIFY(!w->verticalBar()->isHidden());
        QCOMPARE(w->horizontalBar()->maximum(), 28);

        // Walking right scrolls once the next column passes the client edge.
        const int visible = (w->clientArea().width() - cw) / cw; // whole body columns in view
        for (int i = 0; i < visible + 2; ++i)
            QTest::keyClick(w, Qt::Key_Right);
        QCOMPARE(w->currentCol(), visible + 3);
        QVERIFY(w->scrollState().hpos >= 2);
        QCOMPARE(w->horizontalBar()->value(), w->scrollState().hpos);

        // Body scrolled three columns: a click in the header column picks that
        // row's column 0 cell; a click in the body the cell under it.
        w->horizontalBar()->setValue(3);
        QCOMPARE(w->scrollState().hpos, 3);
        QTest::mouseClick(w, Qt::LeftButton, {}, QPoint(cw / 2, rh + rh + rh / 2));
        QCOMPARE(w->currentRow(), 2);
        QCOMPARE(w->currentCol(), 0);
        QCOMPARE(w->currentCellRect(), QRect(0, 2 * rh, cw, rh));
        QTest::mouseClick(w, Qt::LeftButton, {}, QPoint(cw + cw / 2, rh / 2));
        QCOMPARE(w->currentRow(), 0);
        QCOMPARE(w->currentCol(), 4);

        // Page steps move by the page the last update computed, within range.
        const int page = w->scrollState().hpage;
        w->horizontalBar()->triggerAction(QAbstractSlider::SliderPageStepAdd);
        QCOMPARE(w->scrollState().hpos, 3 + page);
        for (int i = 0; i < 20; ++i)
            w->horizontalBar()->triggerAction(QAbstractSlider::SliderPageStepAdd);
        QCOMPARE(w->scrollState().hpos, 28);
        w->verticalBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
        QCOMPARE(w->scrollState().vpos, 1);

        // The current cell is out of sight now: Enter opens no editor.
        QTest::keyClick(w, Qt::Key_Return);
        QVERIFY(w->cellEditor()->isHidden());

        // A click commits an open edit first.
        w->horizontalBar()->setValue(3);
        QTest::keyClick(w, Qt::Key_Return);
        QTest::keyClicks(w->cellEditor(), QStringLiteral("3"));
        QTest::mouseClick(w, Qt::LeftButton, {}, QPoint(cw / 2, rh / 2));
        QCOMPARE(text(w, 0, 4), QStringLiteral("3.000000"));
        QCOMPARE(w->currentCol(), 0);
        QCOMPARE(w->currentRow(), 0);

        // The wheel scrolls three rows a notch, and never past the ends.
        QWheelEvent down(QPointF(50, 50), w->mapToGlobal(QPointF(50, 50)), QPoint(), QPoint(0, -120), Qt::NoButton,
                         Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(w, &down);
        QCOMPARE(w->scrollState().vpos, 4);
        QWheelEvent up(QPointF(50, 50), w->mapToGlobal(QPointF(50, 50)), QPoint(), QPoint(0, 1200), Qt::NoButton,
                       Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(w, &up);
        QCOMPARE(w->scrollState().vpos, 0);

        // Down scrolls when the row passes the bottom of the client area.
        w->verticalBar()->setValue(0);
        for (int i = 0; i < 39; ++i)
            QTest::keyClick(w, Qt::Key_Down);
        QCOMPARE(w->currentRow(), 39);
        QVERIFY(w->scrollState().vpos > 0);
        QVERIFY(w->currentCellRect().bottom() < w->clientArea().height() + rh);
    }

    void editorGrowsWithItsText()
    {
        auto s = stateWith(gridBytes(2, 2, oneToN(4)));
        QPointer<CPageWnd> w = openGridTable(targetOn(s), nullptr);
        QVERIFY(QTest::qWaitForWindowExposed(w));
        QTest::keyClick(w, Qt::Key_Return);
        const int before = w->cellEditor()->width();
        // Enough digits to run past the box's right edge in whatever font the machine has.
        const int digit = std::max(1, QFontMetrics(w->cellEditor()->font()).horizontalAdvance(u'1'));
        const QString typed(before / digit + 5, u'1');
        QTest::keyClicks(w->cellEditor(), typed);
        QVERIFY(w->cellEditor()->width() > before);
        QVERIFY(w->cellEditor()->averageCharWidth() > 0);
        w->resize(w->width() + 40, w->height() + 20); // a resize keeps the edit open
        QVERIFY(w->cellEditor()->isVisible());
        QCOMPARE(w->cellEditor()->text(), typed);
    }

    void invalidAddressesGoToTheDebugOutput()
    {
        CPageWnd w(3, 2, nullptr, nullptr);
        QTest::ignoreMessage(QtWarningMsg, "Cell page idx (2, 0) is not valid");
        QVERIFY(!w.GetCellText(2, 0));
        QTest::ignoreMessage(QtWarningMsg, "Cell page idx (0, -1) is not valid");
        w.SetCellText(-1, 0, QStringLiteral("x"));
        QTest::ignoreMessage(QtWarningMsg, "Cell page idx (5, 5) is not valid");
        QCOMPARE(w.GetCellTextColor(5, 5), w.palette().color(QPalette::Text));
        QTest::ignoreMessage(QtWarningMsg, "Cell index 6 is not valid");
        int row = 0, col = 0;
        w.IndexToCell(6, row, col);
        QCOMPARE(row, -1);
        QCOMPARE(col, -1);
        QTest::ignoreMessage(QtWarningMsg, "Cell index -1 is not valid");
        QVERIFY(!w.GetCellAt(-1));
        w.IndexToCell(5, row, col);
        QCOMPARE(row, 1);
        QCOMPARE(col, 2);
    }

    void cellsShareFontAndBrushLists()
    {
        CPageWnd w(3, 3, nullptr, nullptr);
        const int brushes = w.brushListSize();
        w.SetCellBkColor(1, 1, QColor(255, 255, 0));
        w.SetCellBkColor(2, 2, QColor(255, 255, 0));
        w.SetCellBkColor(2, 1, w.palette().color(QPalette::Base));
        QCOMPARE(w.brushListSize(), brushes + 1);
        QCOMPARE(w.GetCellBkColor(2, 2), QColor(255, 255, 0));

        QFont big = w.GetGridFont();
        big.setPointSize(big.pointSize() + 6);
        w.SetCellFontIndirect(1, 1, big);
        w.SetCellFont(1, 2, big);
        QCOMPARE(w.fontListSize(), 2);
        QCOMPARE(w.GetCellFont(1, 2), big);
        w.SetCellFontIndex(2, 2, 7); // beyond the list: ignored
        QCOMPARE(w.GetCellFontObject(2, 2), w.GetGridFont());
        w.SetCellFontIndex(2, 2, 1);
        QCOMPARE(w.GetCellFontObject(2, 2), big);

        w.SetCellAlign(1, 1, kAlignCenter);
        QCOMPARE(w.GetCellAlign(1, 1), int(kAlignCenter));
        w.SetCellTextColor(1, 1, Qt::red);
        QCOMPARE(w.GetCellTextColor(1, 1), QColor(Qt::red));

        w.SetCellText(2, 1, QStringLiteral("123456"));
        QString buf;
        QCOMPARE(w.CopyCellText(2, 1, &buf, 4), 4);
        QCOMPARE(buf, QStringLiteral("1234"));
        QCOMPARE(w.CopyCellText(0, 0, &buf, 10), 0);
        QCOMPARE(w.PointsToHeight(72), -w.logicalDpiY());
    }

    void placementClamps()
    {
        putPlacement("tbl3d", -50, 20, 10, 300);
        QPointer<CPageWnd> w = openGridTable(targetOn(stateWith(gridBytes(2, 2, oneToN(4)))), nullptr);
        QCOMPARE(w->frameGeometry().x(), 0);
        QCOMPARE(w->frameGeometry().width(), 100);
        w->close();
        const Edges screen = desktopEdges();
        putPlacement("tbl3d", screen.right - 200, 20, screen.right + 300, 300);
        w = openGridTable(targetOn(stateWith(gridBytes(2, 2, oneToN(4)))), nullptr);
        QCOMPARE(w->frameGeometry().x() + w->frameGeometry().width(), screen.right);
        w->move(-30, 10);
        w->close();
        QCOMPARE(storedPlacement("tbl3d", "Left"), 0);
        QCOMPARE(storedPlacement("tbl3d", "Right"), 170); // -30 + 200: the left edge moves in, the width shrinks
    }

    void gridOpensWhollyOnTheScreen()
    {
        const Edges screen = desktopEdges();
        putPlacement("tbl3d", screen.right - 150, screen.bottom - 60, screen.right + 200, screen.bottom + 300);
        QPointer<CPageWnd> w = openGridTable(targetOn(stateWith(gridBytes(2, 2, oneToN(4)))), nullptr);
        QVERIFY(QTest::qWaitForWindowExposed(w));
        const QRect outer = w->frameGeometry();
        QVERIFY(outer != w->geometry());
        QVERIFY(freeArea().contains(outer));
        QCOMPARE(outer, QRect(screen.right - 150, screen.bottom - 100, 150, 100));
        w->move(40, 30);
        w->close();
        QCOMPARE(storedRect(QStringLiteral("tbl3d")), QRect(40, 30, 150, 100));
    }

    void singleCellGridHasNoBody()
    {
        auto s = stateWith(gridBytes(1, 1, {42}));
        QPointer<CPageWnd> w = openGridTable(targetOn(s), nullptr);
        QVERIFY(QTest::qWaitForWindowExposed(w));
        QCOMPARE(w->currentRow(), 0);
        QCOMPARE(w->currentCol(), 0);
        QTest::keyClick(w, Qt::Key_Right);
        QTest::keyClick(w, Qt::Key_Down);
        typeAndCommit(w, QStringLiteral("1"));
        w->close();
        QCOMPARE(f64At(s->bytes, 8), 1.0);
    }

private:
    WindowTestSession session{{QStringLiteral("tbl3d")}};
    QStringList& messages = session.boxes.told;
};

TARLO_TEST_MAIN(GridWindowTest)
#include "GridWindowTest.moc"
