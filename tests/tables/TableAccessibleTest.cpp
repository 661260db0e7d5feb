// The table windows as a screen reader sees them: Qt's accessibility API on
// the curve windows and the grid, and the events they send as the current
// point or cell moves, its value changes and a range is selected.
#include "FakeTarget.h"

#include "common/AccessEvents.h"
#include "common/AirImage.h"

#include "tables/PageWnd.h"
#include "tables/TableWnd.h"
#include "tables/TblDblWnd.h"

#include <QAccessible>
#include <QtTest>

using namespace tables;
using airtest::doubles;
using airtest::u16s;

namespace {

template <typename W>
bool shown(W* w)
{
    if (!w || !QTest::qWaitForWindowExposed(w))
        return false;
    w->activateWindow();
    w->setFocus();
    QCoreApplication::processEvents(); // the first paint
    return QTest::qWaitForWindowActive(w);
}

// A key, then the paint that shows its effect.
void key(QWidget* w, Qt::Key k, Qt::KeyboardModifiers m = Qt::NoModifier)
{
    QTest::keyClick(w, k, m);
    QCoreApplication::processEvents();
}

} // namespace

class TableAccessibleTest : public QObject {
    Q_OBJECT
private slots:
    void init() { session.init(); }
    void cleanup() { session.cleanup(); }

    void tbl16TellsIndexAndValueAsTheStatusBarShowsIt()
    {
        testsupport::AccessEvents events;
        auto s = stateWith(u16s({0, 100, 3400}));
        QPointer<TableWnd> w = TableWnd::open(targetOn(s), nullptr);
        QVERIFY(shown(w.data()));
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(w);
        QVERIFY(a);
        QCOMPARE(a->role(), QAccessible::Window);
        QCOMPARE(a->text(QAccessible::Name), QStringLiteral("Editing:rec12"));
        QVERIFY(a->text(QAccessible::Description).contains(QStringLiteral("16-bit")));
        QCOMPARE(a->text(QAccessible::Value), QStringLiteral("index 0, value 0"));
        QAccessibleInterface* item = a->focusChild();
        QVERIFY(item && item != a);
        QCOMPARE(item->role(), QAccessible::ListItem);
        // Opening the window told of its first point as the focus.
        QCOMPARE(events.last(QAccessible::Focus).name, QStringLiteral("index 0"));

        events.clear();
        key(w, Qt::Key_Right);
        key(w, Qt::Key_Right);
        QCOMPARE(item->text(QAccessible::Name), QStringLiteral("index 2"));
        QCOMPARE(item->text(QAccessible::Value), QStringLiteral("value ") + w->statusText());
        QCOMPARE(events.of(QAccessible::Focus).size(), std::size_t(2));
        QCOMPARE(events.last(QAccessible::Focus).name, QStringLiteral("index 2"));

        // Raising the point keeps the item and announces its new value only.
        events.clear();
        key(w, Qt::Key_Up);
        QCOMPARE(w->statusText(), QStringLiteral("3401"));
        QVERIFY(events.of(QAccessible::Focus).empty());
        QCOMPARE(events.of(QAccessible::ValueChanged).size(), std::size_t(1));
        QCOMPARE(events.last(QAccessible::ValueChanged).value, QStringLiteral("index 2, value 3401"));

        // Undo changes the value without a key on the point: still heard.
        events.clear();
        key(w, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(events.last(QAccessible::ValueChanged).value, QStringLiteral("index 2, value 3400"));

        // A range is told with its ends and its size.
        events.clear();
        key(w, Qt::Key_Left, Qt::ShiftModifier);
        QCOMPARE(
                a->text(QAccessible::Value), QStringLiteral("index 1, value 100; selected 1 to 2, 2 points"));
        QCOMPARE(events.of(QAccessible::SelectionWithin).size(), std::size_t(1));
    }

    void tbldbTellsXAndY()
    {
        testsupport::AccessEvents events;
        auto d = stateWith(doubles({2}, {0, 0, 1.5, -2.25}));
        QPointer<TblDblWnd> w = TblDblWnd::open(targetOn(d), nullptr);
        QVERIFY(shown(w.data()));
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(w);
        QVERIFY(a->text(QAccessible::Description).contains(QStringLiteral("x, y")));
        key(w, Qt::Key_Right);
        QCOMPARE(a->text(QAccessible::Value), QStringLiteral("index 1, x 1.500000, y -2.250000"));
        QCOMPARE(events.last(QAccessible::Focus).name, QStringLiteral("index 1"));
        // The same numbers as the status bar.
        QVERIFY(w->statusText().contains(QStringLiteral("1.500000")));
        QVERIFY(w->statusText().contains(QStringLiteral("-2.250000")));
    }

    void gridTellsRowColumnAndCell()
    {
        testsupport::AccessEvents events;
        auto s = stateWith(doubles({3, 2}, {1, 2, 3, 4, 5, 6}));
        QPointer<CPageWnd> w = openGridTable(targetOn(s), nullptr);
        QVERIFY(shown(w.data()));
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(w);
        QVERIFY(a);
        QCOMPARE(a->text(QAccessible::Name), QStringLiteral("rec12"));
        QAccessibleInterface* cell = a->focusChild();
        QVERIFY(cell && cell != a);
        QCOMPARE(cell->role(), QAccessible::Cell);
        QCOMPARE(cell->text(QAccessible::Name), QStringLiteral("row 1, column 1"));
        QCOMPARE(cell->text(QAccessible::Value), *w->GetCellText(1, 1));
        // The cell item lies where the frame of the current cell is drawn.
        QCOMPARE(cell->rect(),
                QRect(w->mapToGlobal(w->cellRectFor(1, 1).topLeft()), w->cellRectFor(1, 1).size()));

        key(w, Qt::Key_Right);
        QCOMPARE(cell->text(QAccessible::Name), QStringLiteral("row 1, column 2"));
        QCOMPARE(cell->text(QAccessible::Value), *w->GetCellText(1, 2));
        QCOMPARE(events.last(QAccessible::Focus).name, QStringLiteral("row 1, column 2"));

        // A value typed into the cell is announced once it is in.
        events.clear();
        QTest::keyClick(w, Qt::Key_Return);
        QTest::keyClicks(w->cellEditor(), QStringLiteral("42"));
        QTest::keyClick(w->cellEditor(), Qt::Key_Return);
        QCoreApplication::processEvents();
        QCOMPARE(*w->GetCellText(1, 2), QStringLiteral("42.000000"));
        QCOMPARE(events.last(QAccessible::ValueChanged).value, QStringLiteral("row 1, column 2, 42.000000"));

        events.clear();
        key(w, Qt::Key_Left, Qt::ShiftModifier);
        QCOMPARE(cell->text(QAccessible::Description),
                QStringLiteral("selected rows 1 to 1, columns 1 to 2, 2 cells"));
        QCOMPARE(events.of(QAccessible::SelectionWithin).size(), std::size_t(1));
    }

private:
    WindowTestSession session{{QStringLiteral("tbl16"), QStringLiteral("tbldbl"), QStringLiteral("tbl3d")}};
};

TARLO_TEST_MAIN(TableAccessibleTest)
#include "TableAccessibleTest.moc"
