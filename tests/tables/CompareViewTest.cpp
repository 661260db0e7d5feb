// The table windows while their entry is compared with another file: the
// reference curve behind the current one, the grid's marks, tooltip and
// difference heat map, and the plain pictures once the compare is gone.
#include "FakeTarget.h"

#include "common/AirImage.h"

#include "tables/CurvePainter.h"
#include "tables/PageWnd.h"
#include "tables/TableWnd.h"
#include "tables/TblDblWnd.h"

#include <QAccessible>
#include <QAction>
#include <QHelpEvent>
#include <QImage>
#include <QMenu>
#include <QToolTip>
#include <QUndoStack>
#include <QtTest>

using namespace tables;
using airtest::doubles;
using airtest::u16s;

namespace {

int countPixels(const QImage& img, QRgb colour)
{
    int n = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            n += (img.pixel(x, y) & 0xFFFFFF) == (colour & 0xFFFFFF);
    return n;
}

// Every pixel of `colour` in `a` has that colour in `b` too.
bool keepsPixels(const QImage& a, const QImage& b, QRgb colour)
{
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            if ((a.pixel(x, y) & 0xFFFFFF) == (colour & 0xFFFFFF)
                    && (b.pixel(x, y) & 0xFFFFFF) != (colour & 0xFFFFFF))
                return false;
    return true;
}

QImage picture(QWidget* w)
{
    QCoreApplication::sendPostedEvents(); // the status bar's layout follows its texts
    w->repaint();
    return w->grab().toImage();
}

std::vector<std::uint8_t> grid(int a, int b, const std::vector<double>& values)
{
    return doubles({std::uint32_t(a), std::uint32_t(b)}, values);
}

// 3 x 3 cells 1..9, group-major: cell (row k, column g) holds 3g + k + 1.
std::vector<double> nine()
{
    return {1, 2, 3, 4, 5, 6, 7, 8, 9};
}

QList<QPoint> differing(const CPageWnd* w)
{
    QList<QPoint> out; // (column, row)
    for (int r = 0; r < w->GetRowCount(); ++r)
        for (int c = 0; c < w->GetColCount(); ++c)
            if (w->cellDiffers(r, c))
                out << QPoint(c, r);
    return out;
}

const QRgb kRed = qRgb(192, 0, 0);

} // namespace

class CompareViewTest : public QObject {
    Q_OBJECT
private slots:
    void init() { session.init(); }
    void cleanup() { session.cleanup(); }

    void tbl16DrawsTheReferenceBehindAndDropsItWithTheCompare()
    {
        auto s = stateWith(u16s({100, 300, 200, 50}));
        QPointer<TableWnd> w = TableWnd::open(targetOn(s), nullptr);
        w->resize(400, 260);
        QVERIFY(QTest::qWaitForWindowExposed(w));
        const QImage plain = picture(w);
        const QRgb dashed = referencePen(w->palette()).color().rgb();
        const int alone = countPixels(plain, dashed); // a few of the status bar's, if any

        // The same highest value: one scale, so the current curve stays put
        // and is drawn over the reference wherever they cross.
        s->reference = u16s({300, 100, 150, 300});
        w->referenceChanged();
        QVERIFY(w->referencePoints());
        QCOMPARE(w->referencePoints()->ys, (std::vector<double>{300, 100, 150, 300}));
        const QImage compared = picture(w);
        QVERIFY(countPixels(compared, dashed) > alone + 100);
        QVERIFY(keepsPixels(plain, compared, kRed));
        QVERIFY2(w->infoText().contains(QStringLiteral("Reference old.air (dashed): 300")),
                qPrintable(w->infoText()));
        // A screen reader hears it with the current point.
        QCOMPARE(QAccessible::queryAccessibleInterface(w)->text(QAccessible::Value),
                QStringLiteral("index 0, value 100, reference 300"));

        // The compare ends: the picture is the plain one again.
        s->reference.reset();
        w->referenceChanged();
        QVERIFY(!w->referencePoints());
        QCOMPARE(picture(w), plain);
        QVERIFY(!w->infoText().contains(QStringLiteral("Reference")));
    }

    void tbl16ReferenceOfAnotherLengthWidensTheScale()
    {
        auto s = stateWith(u16s({0, 100}));
        s->reference = u16s({0, 200, 400});
        QPointer<TableWnd> w = TableWnd::open(targetOn(s), nullptr);
        w->resize(400, 260);
        QVERIFY(QTest::qWaitForWindowExposed(w));
        const QImage img = picture(w);
        // The reference's 400 at index 2 reaches the top right; the current
        // curve, at most 100 and only up to index 1, stays in the lower left.
        int topRed = img.height(), rightRed = 0;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x)
                if ((img.pixel(x, y) & 0xFFFFFF) == (kRed & 0xFFFFFF)) {
                    topRed = std::min(topRed, y);
                    rightRed = std::max(rightRed, x);
                }
        QVERIFY2(topRed > img.height() / 2, qPrintable(QString::number(topRed)));
        QVERIFY2(rightRed < img.width() * 2 / 3, qPrintable(QString::number(rightRed)));
        QVERIFY(countPixels(img, referencePen(w->palette()).color().rgb()) > 50);
        // The current point past the reference's end has none there.
        QTest::keyClick(w, Qt::Key_Right);
        QVERIFY(w->infoText().contains(QStringLiteral("(dashed): 200")));
        s->reference = u16s({7});
        w->referenceChanged();
        QVERIFY(w->infoText().contains(QStringLiteral("(dashed): none")));
    }

    void dblDrawsAReferenceOfItsKindOnly()
    {
        auto s = stateWith(doubles({2}, {0, 0, 1, 1}));
        s->reference = doubles({3}, {0, 1, 0.5, 0.5, 1, 0});
        QPointer<TblDblWnd> w = TblDblWnd::open(targetOn(s), nullptr);
        w->resize(400, 260);
        QVERIFY(QTest::qWaitForWindowExposed(w));
        const QRgb dashed = referencePen(w->palette()).color().rgb();
        const QImage compared = picture(w);
        QVERIFY(countPixels(compared, dashed) > 100);
        QVERIFY2(w->infoText().contains(QStringLiteral("(dashed): 0, 1")), qPrintable(w->infoText()));

        // A counterpart that is no double table: no curve, and the pane says why.
        s->reference = std::vector<std::uint8_t>{1, 2, 3};
        w->referenceChanged();
        QVERIFY(!w->referencePoints());
        QVERIFY(countPixels(picture(w), dashed) < 10); // none of the curve's
        QVERIFY(w->infoText().contains(QStringLiteral("not a table of this kind")));
        // The window itself is the same as it was without a compare.
        s->reference.reset();
        w->referenceChanged();
        const QImage plain = picture(w);
        auto fresh = stateWith(doubles({2}, {0, 0, 1, 1}));
        w->abandon();
        flushDeletes();
        QPointer<TblDblWnd> again = TblDblWnd::open(targetOn(fresh), nullptr);
        again->resize(400, 260);
        QVERIFY(QTest::qWaitForWindowExposed(again));
        QCOMPARE(picture(again), plain);
    }

    void referencePenShowsOnLightAndDarkWindows()
    {
        QPalette light, dark;
        light.setColor(QPalette::WindowText, Qt::black);
        light.setColor(QPalette::Base, Qt::white);
        dark.setColor(QPalette::WindowText, QColor(240, 240, 240));
        dark.setColor(QPalette::Base, QColor(30, 30, 30));
        for (const QPalette& pal : {light, dark}) {
            const QPen pen = referencePen(pal);
            QCOMPARE(pen.style(), Qt::DashLine); // told apart by its line, not only its colour
            const int grey = qGray(pen.color().rgb());
            QVERIFY(std::abs(grey - qGray(pal.color(QPalette::Base).rgb())) > 60);
            QVERIFY(std::abs(grey - qGray(pal.color(QPalette::WindowText).rgb())) > 60);
        }
    }

    void gridMarksExactlyTheDifferingCells()
    {
        auto s = stateWith(grid(3, 3, nine()));
        QPointer<CPageWnd> w = openGridTable(targetOn(s), nullptr);
        w->resize(700, 200);
        QVERIFY(QTest::qWaitForWindowExposed(w));
        const QImage plain = picture(w);
        QVERIFY(!w->comparing());
        QVERIFY(differing(w).isEmpty());

        // An equal counterpart marks nothing and changes no pixel.
        s->reference = grid(3, 3, nine());
        w->referenceChanged();
        QVERIFY(w->comparing());
        QVERIFY(differing(w).isEmpty());
        QCOMPARE(picture(w), plain);

        // Cell (1, 1) holds 5 here, 5.5 there; header cell (0, 2) 7 and 7.25.
        auto ref = nine();
        ref[4] = 5.5;
        ref[6] = 7.25;
        s->reference = grid(3, 3, ref);
        w->referenceChanged();
        w->selectRange(CellRange{2, 2, 1, 1}); // the current-cell frame away from the marks looked at
        QCOMPARE(differing(w), (QList<QPoint>{QPoint(2, 0), QPoint(1, 1)}));
        QCOMPARE(w->compareText(1, 1),
                QStringLiteral("Reference: 5.500000 | Current: 5.000000 | Difference: -0.500000"));
        QCOMPARE(w->compareText(2, 2),
                QStringLiteral("Reference: 9.000000 | Current: 9.000000 | Difference: none"));
        QCOMPARE(w->compareText(0, 2),
                QStringLiteral("Reference: 7.250000 | Current: 7.000000 | Difference: -0.250000"));

        // The mark is a triangle in the cell's top-left corner, drawn in the
        // text colour; unmarked cells keep their background there.
        const QImage marked = picture(w);
        auto corner = [&](int row, int col) {
            return marked.pixel(w->cellRectFor(row, col).topLeft() + QPoint(2, 2)) & 0xFFFFFF;
        };
        QCOMPARE(corner(1, 1), w->palette().color(QPalette::Text).rgb() & 0xFFFFFF);
        QCOMPARE(corner(1, 2), w->palette().color(QPalette::Base).rgb() & 0xFFFFFF);
        QCOMPARE(corner(0, 2), w->palette().color(QPalette::ButtonText).rgb() & 0xFFFFFF);

        // Hovering over a cell shows its comparison.
        const QPoint at = w->cellRectFor(1, 1).center();
        QHelpEvent hover(QEvent::ToolTip, at, w->mapToGlobal(at));
        QApplication::sendEvent(w, &hover);
        QCOMPARE(QToolTip::text(), w->compareText(1, 1));
        QToolTip::hideText();
        // A screen reader hears the mark with the current cell.
        w->selectRange(CellRange{1, 1, 1, 1});
        QCOMPARE(QAccessible::queryAccessibleInterface(w)->text(QAccessible::Value),
                QStringLiteral("row 1, column 1, 5.000000, differs from the reference 5.500000"));

        // The compare ends: no marks, the plain picture.
        s->reference.reset();
        w->referenceChanged();
        QVERIFY(differing(w).isEmpty());
        QVERIFY(w->compareText(1, 1).isEmpty());
        w->selectRange(CellRange{1, 1, 1, 1});
        QCOMPARE(picture(w), plain);
    }

    void gridMarksFollowEditsAndUndo()
    {
        auto s = stateWith(grid(3, 3, nine()));
        auto ref = nine();
        ref[4] = 5.5;
        s->reference = grid(3, 3, ref);
        QPointer<CPageWnd> w = openGridTable(targetOn(s), nullptr);
        QVERIFY(QTest::qWaitForWindowExposed(w));
        QCOMPARE(differing(w), (QList<QPoint>{QPoint(1, 1)}));
        // Typing the reference's value clears the mark; a new difference
        // elsewhere is marked; undo brings both back as they were.
        QTest::keyClick(w, Qt::Key_Return);
        QTest::keyClicks(w->cellEditor(), QStringLiteral("5.5"));
        QTest::keyClick(w->cellEditor(), Qt::Key_Return);
        QVERIFY(differing(w).isEmpty());
        w->selectRange(CellRange{2, 2, 1, 1});
        QVERIFY(w->pasteText(QStringLiteral("1")));
        QCOMPARE(differing(w), (QList<QPoint>{QPoint(2, 2)}));
        w->undoStack()->undo();
        QVERIFY(differing(w).isEmpty());
        w->undoStack()->undo();
        QCOMPARE(differing(w), (QList<QPoint>{QPoint(1, 1)}));
    }

    void gridOfAnotherSizeComparesTheCommonCells()
    {
        // The reference has 2 x 2 of the 3 x 3 cells: the rest differ.
        auto s = stateWith(grid(3, 3, nine()));
        s->reference = grid(2, 2, {1, 2, 4, 5});
        QPointer<CPageWnd> w = openGridTable(targetOn(s), nullptr);
        QCOMPARE(differing(w),
                (QList<QPoint>{QPoint(2, 0), QPoint(2, 1), QPoint(0, 2), QPoint(1, 2), QPoint(2, 2)}));
        QCOMPARE(w->compareText(2, 2),
                QStringLiteral("Reference: (none) | Current: 9.000000 | Difference: only in this file"));
        QCOMPARE(w->referenceValue(1, 1), std::optional<double>(5));
        QCOMPARE(w->referenceValue(2, 1), std::nullopt);

        // A larger reference: only the cells this grid has count.
        s->reference = grid(4, 4, {1, 2, 3, 0, 4, 5, 6, 0, 7, 8, 9, 0, 0, 0, 0, 0});
        w->referenceChanged();
        QVERIFY(differing(w).isEmpty());

        // Counts claiming more than the bytes hold: no cell has a counterpart.
        auto cut = grid(3, 3, nine());
        cut.resize(cut.size() - 1);
        s->reference = cut;
        w->referenceChanged();
        QCOMPARE(differing(w).size(), 9);
        QCOMPARE(w->referenceValue(0, 0), std::nullopt);
        s->reference = std::vector<std::uint8_t>{};
        w->referenceChanged();
        QCOMPARE(differing(w).size(), 9);
    }

    void gridHeatMapShowsTheDifferences()
    {
        // Four columns of three: cell (row k, column g) holds 3g + k + 1.
        std::vector<double> twelve;
        for (int i = 1; i <= 12; ++i)
            twelve.push_back(i);
        auto s = stateWith(grid(4, 3, twelve));
        // Body cells (1,1) 5, (2,1) 6, (1,2) 8, (2,2) 9 against 4, 6, 10, 9;
        // column 3 has no counterpart.
        s->reference = grid(3, 3, {1, 2, 3, 4, 4, 6, 7, 10, 9});
        QPointer<CPageWnd> w = openGridTable(targetOn(s), nullptr);
        w->resize(700, 200);
        QVERIFY(QTest::qWaitForWindowExposed(w));
        w->setHeatMap(false);

        std::unique_ptr<QMenu> menu(w->createContextMenu());
        auto* item = menu->findChild<QAction*>(QStringLiteral("heatMapDifferences"));
        QVERIFY(item);
        QCOMPARE(menu->actions().last(), item); // after every other command
        QVERIFY(item->isEnabled());
        QVERIFY(!item->isChecked());
        item->trigger();
        QVERIFY(w->heatMap());
        QVERIFY(w->differencesShown());

        // Current minus reference, signed; the header cells keep their values.
        QCOMPARE(w->shownText(1, 1), QStringLiteral("+1.000000"));
        QCOMPARE(w->shownText(1, 2), QStringLiteral("-2.000000"));
        QCOMPARE(w->shownText(2, 1), QStringLiteral("0.000000"));
        QCOMPARE(w->shownText(2, 2), QStringLiteral("0.000000"));
        QCOMPARE(w->shownText(1, 3), QStringLiteral("only here"));
        QCOMPARE(w->shownText(0, 1), QStringLiteral("4.000000"));
        QCOMPARE(w->GetCellText(1, 1), QStringLiteral("5.000000"));

        // Colours over the differences -2 .. +1; the cell without a
        // counterpart keeps its plain background.
        const QImage img = picture(w);
        auto colourAt = [&](int row, int col) {
            const QRect r = w->cellRectFor(row, col);
            return img.pixel(r.left() + 4, r.center().y()) & 0xFFFFFF;
        };
        auto heat = [&](double t) {
            const Rgb c = heatColor(w->heatPalette(), t);
            return qRgb(c.r, c.g, c.b) & 0xFFFFFF;
        };
        QCOMPARE(colourAt(1, 1), heat(1.0));
        QCOMPARE(colourAt(1, 2), heat(0.0));
        QCOMPARE(colourAt(2, 1), heat(2.0 / 3.0));
        QCOMPARE(colourAt(1, 3), w->palette().color(QPalette::Base).rgb() & 0xFFFFFF);

        // An edit changes the differences and their scale at once.
        w->setCellValue(1, 2, 10);
        QCOMPARE(w->shownText(1, 2), QStringLiteral("0.000000"));

        // Without the heat map the values show again; without a compare the
        // command is off.
        w->setHeatMap(false);
        QVERIFY(!w->differencesShown());
        QCOMPARE(w->shownText(1, 1), QStringLiteral("5.000000"));
        w->setHeatMap(true);
        s->reference.reset();
        w->referenceChanged();
        QVERIFY(!w->differencesShown());
        QCOMPARE(w->shownText(1, 1), QStringLiteral("5.000000"));
        menu.reset(w->createContextMenu());
        QVERIFY(!menu->findChild<QAction*>(QStringLiteral("heatMapDifferences"))->isEnabled());
        w->setHeatMap(false);
    }

private:
    WindowTestSession session{{QStringLiteral("tbl16"), QStringLiteral("tbldbl"), QStringLiteral("tbl3d")}};
};

TARLO_TEST_MAIN(CompareViewTest)
#include "CompareViewTest.moc"
