// The 16-bit and double curve windows driven by keys, offscreen.
#include "FakeTarget.h"

#include "common/AirImage.h"

#include "tables/TableWnd.h"
#include "tables/TblDblWnd.h"
#include "ui/LockKeys.h"

#include <QImage>
#include <QLineEdit>
#include <QStatusBar>
#include <QtTest>

using namespace tables;
using airtest::doubles;
using airtest::u16s;
using ui::desktopEdges;
using ui::Edges;

namespace {
int countColumnPixels(const QImage& img, int x, QRgb colour)
{
    int n = 0;
    for (int y = 0; y < img.height(); ++y)
        n += (img.pixel(x, y) & 0xFFFFFF) == (colour & 0xFFFFFF);
    return n;
}

// The keyboard as the tests set it.
bool g_numLock = false;
ui::LockState fakeKeyboard()
{
    return {false, g_numLock, true};
}
} // namespace

class CurveWindowsTest : public QObject {
    Q_OBJECT
private slots:
    void init() { session.init(); }
    void cleanup()
    {
        session.cleanup();
        ui::setLockStateSource(nullptr);
    }

    void tbl16WalksAndShowsTheCurrentValue()
    {
        auto s = stateWith(u16s({0, 100, 200}));
        QPointer<TableWnd> w = TableWnd::open(targetOn(s), nullptr);
        QVERIFY(QTest::qWaitForWindowExposed(w));
        QCOMPARE(w->windowTitle(), QStringLiteral("Editing:rec12"));
        w->repaint();
        QCOMPARE(w->statusText(), QStringLiteral("0"));

        // The dark-blue line is the current one: first at the left margin, then
        // in the middle after Right.
        const QRgb blue = qRgb(0, 0, 192);
        QImage img = w->grab().toImage();
        const int mid = 8 + (w->width() - 16) / 2;
        QVERIFY(countColumnPixels(img, 8, blue) > 20);
        QCOMPARE(countColumnPixels(img, mid, blue), 0);
        QTest::keyClick(w, Qt::Key_Right);
        QCOMPARE(w->statusText(), QStringLiteral("100"));
        img = w->grab().toImage();
        QVERIFY(countColumnPixels(img, mid, blue) > 20);
        QCOMPARE(countColumnPixels(img, 8, blue), 0);
        // The curve is drawn in dark red.
        bool red = false;
        for (int x = 8; x < img.width() - 8 && !red; ++x)
            red = countColumnPixels(img, x, qRgb(192, 0, 0)) > 0;
        QVERIFY(red);

        QTest::keyClick(w, Qt::Key_Right);
        QTest::keyClick(w, Qt::Key_Right); // from the last back to the first
        QCOMPARE(w->model().current(), std::size_t(0));
        QTest::keyClick(w, Qt::Key_Left); // from the first to the last
        QCOMPARE(w->statusText(), QStringLiteral("200"));
        QTest::keyClick(w, Qt::Key_4, Qt::KeypadModifier);
        QCOMPARE(w->statusText(), QStringLiteral("100"));
        QCOMPARE(w->numLockText(), QStringLiteral("NUM"));
        QVERIFY(!w->model().changed());
    }

    void numLockPaneFollowsTheKeyboard()
    {
        ui::setLockStateSource(&fakeKeyboard);
        g_numLock = true;
        auto s = stateWith(u16s({0, 100, 200}));
        QPointer<TableWnd> w = TableWnd::open(targetOn(s), nullptr);
        QCOMPARE(w->numLockText(), QStringLiteral("NUM")); // on at opening
        // The key's press comes before the keyboard's state changes; its
        // release after.
        QTest::keyPress(w, Qt::Key_NumLock);
        g_numLock = false;
        QTest::keyRelease(w, Qt::Key_NumLock);
        QCOMPARE(w->numLockText(), QString());
        // Keypad keys do not override a known state.
        QTest::keyClick(w, Qt::Key_4, Qt::KeypadModifier);
        QCOMPARE(w->numLockText(), QString());
        g_numLock = true;
        QTest::keyClick(w, Qt::Key_NumLock);
        QCOMPARE(w->numLockText(), QStringLiteral("NUM"));
        w->close();

        g_numLock = true;
        auto d = stateWith(doubles({2}, {0, 0, 1, 1}));
        QPointer<TblDblWnd> dw = TblDblWnd::open(targetOn(d), nullptr);
        QVERIFY(dw);
        QCOMPARE(dw->numLockText(), QStringLiteral("NUM"));
        dw->close();
    }

    void tbl16KeypadClampsAndEnterWritesBack()
    {
        auto s = stateWith(u16s({65000, 500, 7}));
        s->bytes.push_back(0xAB); // odd last byte: not a value, left alone
        QPointer<TableWnd> w = TableWnd::open(targetOn(s), nullptr);
        QTest::keyClick(w, Qt::Key_9, Qt::KeypadModifier);
        QCOMPARE(w->model().values()[0], 65535u);
        QTest::keyClick(w, Qt::Key_9); // the main-row digit is not a table key
        QTest::keyClick(w, Qt::Key_6, Qt::KeypadModifier);
        QTest::keyClick(w, Qt::Key_3, Qt::KeypadModifier);
        QCOMPARE(w->model().values()[1], 0u);
        QTest::keyClick(w, Qt::Key_Right);
        QTest::keyClick(w, Qt::Key_8, Qt::KeypadModifier);
        QTest::keyClick(w, Qt::Key_7, Qt::KeypadModifier);
        QTest::keyClick(w, Qt::Key_Down);
        QCOMPARE(w->model().values()[2], 116u);
        QCOMPARE(s->stores, 0);
        QTest::keyClick(w, Qt::Key_Enter, Qt::KeypadModifier);
        flushDeletes();
        QVERIFY(w.isNull());
        QCOMPARE(s->bytes, ([] {
            auto b = u16s({65535, 0, 116});
            b.push_back(0xAB);
            return b;
        })());
        QVERIFY(s->modified);
        QVERIFY(!TableWnd::markedWindow());
    }

    void tbl16EnterAtLimitMarksModified()
    {
        auto s = stateWith(u16s({65535, 1}));
        QPointer<TableWnd> w = TableWnd::open(targetOn(s), nullptr);
        QTest::keyClick(w, Qt::Key_Up);
        QCOMPARE(w->model().values()[0], 65535u);
        QTest::keyClick(w, Qt::Key_Return);
        QCOMPARE(s->bytes, u16s({65535, 1}));
        QVERIFY(s->modified);

        // Enter without a change writes but does not mark the document.
        auto t = stateWith(u16s({3, 4}));
        w = TableWnd::open(targetOn(t), nullptr);
        QTest::keyClick(w, Qt::Key_Right);
        QTest::keyClick(w, Qt::Key_Return);
        QVERIFY(!t->modified);
    }

    void tbl16EscWritesNothingButSavesThePlacement()
    {
        auto s = stateWith(u16s({1, 2, 3}));
        QPointer<TableWnd> w = TableWnd::open(targetOn(s), nullptr);
        w->move(40, 50);
        w->resize(300, 200);
        // The outer rectangle is stored: the frame's position and size.
        const QRect outer = w->frameGeometry();
        QCOMPARE(outer.topLeft(), QPoint(40, 50));
        QTest::keyClick(w, Qt::Key_Up);
        QTest::keyClick(w, Qt::Key_Escape);
        flushDeletes();
        QVERIFY(w.isNull());
        QCOMPARE(s->bytes, u16s({1, 2, 3}));
        QCOMPARE(s->stores, 0);
        QVERIFY(!s->modified);
        QCOMPARE(storedPlacement("tbl16", "Left"), 40);
        QCOMPARE(storedPlacement("tbl16", "Top"), 50);
        QCOMPARE(storedPlacement("tbl16", "Right"), 40 + outer.width());
        QCOMPARE(storedPlacement("tbl16", "Bottom"), 50 + outer.height());

        // The close box does not write either.
        w = TableWnd::open(targetOn(s), nullptr);
        QTest::keyClick(w, Qt::Key_Up);
        w->close();
        QCOMPARE(s->stores, 0);
    }

    void tbl16SmallTables()
    {
        auto one = stateWith(u16s({5}));
        QPointer<TableWnd> w = TableWnd::open(targetOn(one), nullptr);
        w->repaint();
        QCOMPARE(w->statusText(), idleText()); // fewer than two values: nothing drawn
        QTest::keyClick(w, Qt::Key_Right);
        QTest::keyClick(w, Qt::Key_Up);
        QCOMPARE(w->model().values()[0], 6u);
        QTest::keyClick(w, Qt::Key_Return);
        QCOMPARE(one->bytes, u16s({6}));

        auto none = stateWith({});
        w = TableWnd::open(targetOn(none), nullptr);
        QTest::keyClick(w, Qt::Key_Up);
        QTest::keyClick(w, Qt::Key_Return);
        QCOMPARE(none->stores, 0);
    }

    void tbl16MarkGuardsTheShortcut()
    {
        auto s = stateWith(u16s({1, 2}));
        QPointer<TableWnd> first = TableWnd::open(targetOn(s), nullptr);
        QCOMPARE(TableWnd::markedWindow(), first.data());
        QVERIFY(!TableWnd::openShortcut(targetOn(s), nullptr));
        // Activation always opens another window.
        QPointer<TableWnd> second = TableWnd::open(targetOn(s), nullptr);
        QVERIFY(second);
        QCOMPARE(TableWnd::markedWindow(), second.data());
        second->close();
        QVERIFY(!TableWnd::markedWindow());
        QVERIFY(TableWnd::openShortcut(targetOn(s), nullptr));
    }

    void tbl16NeverWritesIntoAChangedEntry()
    {
        auto s = stateWith(u16s({1, 2}));
        QPointer<TableWnd> w = TableWnd::open(targetOn(s), nullptr);
        QTest::keyClick(w, Qt::Key_Up);
        s->bytes = u16s({9, 9, 9}); // the entry changed length under the window
        QTest::keyClick(w, Qt::Key_Return);
        QCOMPARE(s->bytes, u16s({9, 9, 9}));
        QCOMPARE(messages.size(), 1);
        QVERIFY(w); // refused: the window stays with its values

        // Told that the document changed: closes without writing.
        s->bytes = u16s({1, 2});
        w->abandon();
        flushDeletes();
        QVERIFY(w.isNull());
        QCOMPARE(s->stores, 0);

        // A target that refuses the store: the message is shown.
        auto r = stateWith(u16s({1, 2}));
        r->refuse = QStringLiteral("Nope.");
        w = TableWnd::open(targetOn(r), nullptr);
        QTest::keyClick(w, Qt::Key_Return);
        QCOMPARE(messages.last(), QStringLiteral("Nope."));
    }

    void placementClampsForBothCurveWindows()
    {
        const Edges screen = desktopEdges();
        putPlacement("tbl16", -50, 20, 10, 300);
        putPlacement("tbldbl", -50, 20, 10, 300);
        QPointer<TableWnd> a = TableWnd::open(targetOn(stateWith(u16s({1, 2}))), nullptr);
        QPointer<TblDblWnd> b = TblDblWnd::open(targetOn(stateWith(doubles({0}, {}))), nullptr);
        for (QWidget* w : {static_cast<QWidget*>(a.data()), static_cast<QWidget*>(b.data())})
            QCOMPARE(w->frameGeometry(), QRect(0, 20, 100, 280));
        a->close();
        b->close();
        putPlacement("tbl16", screen.right + 500, 10, screen.right + 900, 300);
        a = TableWnd::open(targetOn(stateWith(u16s({1, 2}))), nullptr);
        QCOMPARE(a->frameGeometry().x(), screen.right - 100);
        QCOMPARE(a->frameGeometry().width(), 100);
    }

    void curveWindowsOpenWhollyOnTheScreen()
    {
        const Edges screen = desktopEdges();
        for (const QString& section : {QStringLiteral("tbl16"), QStringLiteral("tbldbl")}) {
            // "Top" beyond the bottom; then a rectangle past the right and bottom edges.
            const QList<QRect> stored = {QRect(QPoint(30, screen.bottom + 400), QPoint(330, screen.bottom + 600)),
                                         QRect(QPoint(screen.right - 150, screen.bottom - 120),
                                               QPoint(screen.right + 200, screen.bottom + 300))};
            for (const QRect& r : stored) {
                putPlacement(section, r.left(), r.top(), r.right(), r.bottom());
                QPointer<TableFrame> w;
                if (section == QStringLiteral("tbl16"))
                    w = TableWnd::open(targetOn(stateWith(u16s({1, 2}))), nullptr);
                else
                    w = TblDblWnd::open(targetOn(stateWith(doubles({1}, {1, 2}))), nullptr);
                QVERIFY(QTest::qWaitForWindowExposed(w));
                const QRect outer = w->frameGeometry();
                QVERIFY(outer != w->geometry()); // the platform draws a frame
                QVERIFY2(freeArea().contains(outer), qPrintable(section));
                QCOMPARE(outer.bottom() + 1, screen.bottom);
                // The status bar lies inside the window, and so on the screen.
                QCOMPARE(w->findChild<QStatusBar*>()->geometry().bottom(), w->height() - 1);
                w->close();
                QCOMPARE(storedRect(section), outer);
            }
        }
    }

    void dblOpenChecksTheLength()
    {
        auto empty = stateWith(doubles({0}, {}));
        QPointer<TblDblWnd> w = TblDblWnd::open(targetOn(empty), nullptr);
        QVERIFY(w);
        QCOMPARE(TblDblWnd::markedWindow(), w.data());
        w->repaint();
        QCOMPARE(w->statusText(), idleText());
        QTest::keyClick(w, Qt::Key_Up);
        QTest::keyClick(w, Qt::Key_Y);
        QVERIFY(!w->valueBoxOpen());
        QVERIFY(!TblDblWnd::openShortcut(targetOn(empty), nullptr));
        QTest::keyClick(w, Qt::Key_Escape);
        QVERIFY(!TblDblWnd::markedWindow());

        QVERIFY(TblDblWnd::open(targetOn(stateWith(doubles({2}, {0, 0, 1, 1}))), nullptr));
        QVERIFY(messages.isEmpty());
        QVERIFY(!TblDblWnd::open(targetOn(stateWith(doubles({3}, {0, 0, 1, 1}))), nullptr));
        QCOMPARE(messages.value(0), QStringLiteral("The Record is not editable as a double table!"));
        QCOMPARE(session.boxes.tones.value(0), ui::Tone::Warning);
        std::vector<std::uint8_t> big(4100, 0);
        big[1] = 1; // count 256: only its first byte, 0, counts
        QVERIFY(!TblDblWnd::open(targetOn(stateWith(big)), nullptr));
        QCOMPARE(messages.size(), 2);
        QVERIFY(!TblDblWnd::openShortcut(targetOn(stateWith({})), nullptr));
    }

    void dblKeysAndStoreOnEsc()
    {
        auto s = stateWith(doubles({3}, {0, 0, 1, 1, 2, 0.5}));
        QPointer<TblDblWnd> w = TblDblWnd::open(targetOn(s), nullptr);
        QVERIFY(QTest::qWaitForWindowExposed(w));
        w->repaint();
        QCOMPARE(w->statusText(), QStringLiteral("x=0.000000    y=0.000000"));
        // As in the tbl16 window: the current point's line dark blue, the
        // others grey, the curve dark red.
        const QRgb blue = qRgb(0, 0, 192);
        const QRgb grey = qRgb(192, 192, 192);
        auto blueColumns = [&](const QImage& img) {
            int n = 0;
            for (int x = 0; x < img.width(); ++x)
                n += countColumnPixels(img, x, blue) > 20;
            return n;
        };
        QImage img = w->grab().toImage();
        QVERIFY(countColumnPixels(img, 8, blue) > 20);
        QCOMPARE(blueColumns(img), 1);
        QTest::keyClick(w, Qt::Key_Left); // wraps to the last point
        QCOMPARE(w->model().current(), std::size_t(2));
        img = w->grab().toImage();
        QCOMPARE(countColumnPixels(img, 8, blue), 0);
        QVERIFY(countColumnPixels(img, 8, grey) > 20);
        QCOMPARE(blueColumns(img), 1);
        bool red = false;
        for (int x = 8; x < img.width() - 8 && !red; ++x)
            red = countColumnPixels(img, x, qRgb(192, 0, 0)) > 0;
        QVERIFY(red);
        QCOMPARE(w->statusText(), QStringLiteral("x=2.000000    y=0.500000"));
        QTest::keyClick(w, Qt::Key_9, Qt::KeypadModifier);
        QTest::keyClick(w, Qt::Key_7, Qt::KeypadModifier);
        QTest::keyClick(w, Qt::Key_Up);
        QTest::keyClick(w, Qt::Key_8, Qt::KeypadModifier);
        QCOMPARE(w->statusText(), QStringLiteral("x=2.000000    y=0.611100"));
        QTest::keyClick(w, Qt::Key_Escape);
        flushDeletes();
        QVERIFY(w.isNull());
        QCOMPARE(s->bytes.size(), std::size_t(52));
        QCOMPARE(s->bytes[0], std::uint8_t(3));
        QCOMPARE(f64At(s->bytes, 4 + 32 + 8), 0.5 + 0.1 + 0.001 + 0.0001 + 0.01);
        QCOMPARE(f64At(s->bytes, 4 + 16), 1.0);
        QVERIFY(s->modified);
    }

    void dblLowestPointAndCloseBox()
    {
        auto s = stateWith(doubles({2}, {0, 0, 1, 1}));
        const auto before = s->bytes;
        QPointer<TblDblWnd> w = TblDblWnd::open(targetOn(s), nullptr);
        QTest::keyClick(w, Qt::Key_Down);
        QTest::keyClick(w, Qt::Key_3, Qt::KeypadModifier);
        QCOMPARE(w->model().ys()[0], 0.0);
        w->close(); // the close box writes back too
        QCOMPARE(s->stores, 1);
        QCOMPARE(s->bytes, before);
        QVERIFY(s->modified);

        // No change, no store.
        auto t = stateWith(doubles({2}, {0, 0, 1, 1}));
        w = TblDblWnd::open(targetOn(t), nullptr);
        QTest::keyClick(w, Qt::Key_Right);
        QTest::keyClick(w, Qt::Key_Return);
        QCOMPARE(t->stores, 0);
        QVERIFY(!t->modified);
    }

    void dblValueBox()
    {
        auto s = stateWith(doubles({2}, {0, 0, 1, 1}));
        QPointer<TblDblWnd> w = TblDblWnd::open(targetOn(s), nullptr);
        QVERIFY(QTest::qWaitForWindowExposed(w));
        QTest::keyClick(w, Qt::Key_F10);
        QVERIFY(w->valueBoxOpen());
        QCOMPARE(w->valueBox()->text(), QStringLiteral("0.000000"));
        QCOMPARE(w->valueBox()->geometry(), QRect(5, 5, 135, 20));
        QTest::keyClick(w->valueBox(), Qt::Key_Return); // unchanged: no mark
        QVERIFY(!w->valueBoxOpen());
        QVERIFY(!w->model().changed());
        QVERIFY(!s->modified);

        QTest::keyClick(w, Qt::Key_Y);
        w->valueBox()->selectAll();
        QTest::keyClicks(w->valueBox(), QStringLiteral("1a.5b.2 "));
        QCOMPARE(w->valueBox()->text(), QStringLiteral("1.5.2"));
        QTest::keyClick(w->valueBox(), Qt::Key_Enter);
        QCOMPARE(w->model().ys()[0], 1.5);
        QVERIFY(s->modified); // at once, before the window closes
        QCOMPARE(s->stores, 0);

        // X on the second point; Esc in the box changes nothing.
        QTest::keyClick(w, Qt::Key_Right);
        QTest::keyClick(w, Qt::Key_X);
        QCOMPARE(w->valueBox()->text(), QStringLiteral("1.000000"));
        QTest::keyClicks(w->valueBox(), QStringLiteral("9"));
        QTest::keyClick(w->valueBox(), Qt::Key_Escape);
        QCOMPARE(w->model().xs()[1], 1.0);

        QTest::keyClick(w, Qt::Key_F9);
        w->valueBox()->selectAll();
        QTest::keyClicks(w->valueBox(), QStringLiteral("-2"));
        QTest::keyClick(w->valueBox(), Qt::Key_Return);
        QCOMPARE(w->model().xs()[1], -2.0);
        w->close();
        QCOMPARE(f64At(s->bytes, 12), 1.5);
        QCOMPARE(f64At(s->bytes, 20), -2.0);
    }

    void dblRefusedWriteLeavesTheDocumentUnmarked()
    {
        // A changed table whose write-back the target refuses at close:
        // the refusal is shown and the document is not marked modified.
        auto s = stateWith(doubles({2}, {0, 0, 1, 1}));
        s->refuse = QStringLiteral("Nope.");
        QPointer<TblDblWnd> w = TblDblWnd::open(targetOn(s), nullptr);
        QTest::keyClick(w, Qt::Key_Up);
        QVERIFY(w->model().changed());
        w->close();
        QCOMPARE(messages.last(), QStringLiteral("Nope."));
        QCOMPARE(s->stores, 0);
        QVERIFY(!s->modified);

        // Grown under the window: refused before the store, unmarked too.
        auto g = stateWith(doubles({2}, {0, 0, 1, 1}));
        w = TblDblWnd::open(targetOn(g), nullptr);
        QTest::keyClick(w, Qt::Key_Up);
        g->bytes.push_back(0);
        w->close();
        QCOMPARE(g->stores, 0);
        QVERIFY(!g->modified);
    }

    void dblAbandonWritesNothing()
    {
        auto s = stateWith(doubles({1}, {0, 0}));
        QPointer<TblDblWnd> w = TblDblWnd::open(targetOn(s), nullptr);
        QTest::keyClick(w, Qt::Key_Up);
        w->abandon();
        flushDeletes();
        QVERIFY(w.isNull());
        QCOMPARE(s->stores, 0);
    }

private:
    WindowTestSession session{{QStringLiteral("tbl16"), QStringLiteral("tbldbl")}};
    QStringList& messages = session.boxes.told;
};

TARLO_TEST_MAIN(CurveWindowsTest)
#include "CurveWindowsTest.moc"
