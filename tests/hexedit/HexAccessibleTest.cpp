// The hex control as a screen reader sees it: Qt's accessibility API and the
// events the control sends while the caret moves and bytes change.
#include "hexedit/CHexDataCtrl.h"
#include "tests/common/AccessEvents.h"
#include "tests/common/IsolatedSettings.h"

#include <QAccessible>
#include <QFontMetrics>
#include <QtTest>

#include <memory>
#include <numeric>
#include <vector>

namespace {

std::unique_ptr<hexedit::CHexDataCtrl> shownCtrl(std::vector<std::uint8_t>& bytes)
{
    auto c = std::make_unique<hexedit::CHexDataCtrl>();
    c->setBytesPerLine(8);
    c->setWideOffsets(false);
    c->setData(bytes.data(), std::int64_t(bytes.size()));
    c->resize(c->sizeHint().width(), 6 * QFontMetrics(c->hexFont()).height());
    c->show();
    if (!QTest::qWaitForWindowExposed(c.get()))
        qWarning("control not exposed");
    c->activateWindow();
    c->setFocus();
    QCoreApplication::processEvents(); // the first paint
    return c;
}

// Keys, then the paint that shows their effect.
void keys(hexedit::CHexDataCtrl& c, Qt::Key k, Qt::KeyboardModifiers m = Qt::NoModifier, int times = 1)
{
    for (int i = 0; i < times; ++i)
        QTest::keyClick(&c, k, m);
    QCoreApplication::processEvents();
}

} // namespace

class HexAccessibleTest : public QObject {
    Q_OBJECT
private slots:
    void tellsOffsetByteAndColumnAndAnnouncesMoves()
    {
        testsupport::AccessEvents events;
        std::vector<std::uint8_t> bytes(20);
        std::iota(bytes.begin(), bytes.end(), std::uint8_t(0x30));
        auto c = shownCtrl(bytes);
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(c.get());
        QVERIFY(a);
        QCOMPARE(a->role(), QAccessible::Table);
        QCOMPARE(a->text(QAccessible::Name), QStringLiteral("Hex data"));
        QVERIFY(a->text(QAccessible::Description).contains(QStringLiteral("Tab")));
        QCOMPARE(a->text(QAccessible::Value),
                QStringLiteral("offset 0000, offset column, byte 30 (48, \"0\")"));
        // A name given by the dialog wins over the fallback.
        c->setAccessibleName(QStringLiteral("Bytes of rec12"));
        QCOMPARE(a->text(QAccessible::Name), QStringLiteral("Bytes of rec12"));

        // The caret's byte is the focus child while the control has focus.
        QAccessibleInterface* item = a->focusChild();
        QVERIFY(item);
        QCOMPARE(item->role(), QAccessible::Cell);
        QCOMPARE(a->child(a->indexOfChild(item)), item);
        QCOMPARE(item->parent(), a);
        QVERIFY(item->state().focused);

        keys(*c, Qt::Key_Tab);
        keys(*c, Qt::Key_Down);
        keys(*c, Qt::Key_Right, Qt::NoModifier, 4); // two bytes on: offset 000A, first digit
        QCOMPARE(item->text(QAccessible::Name), QStringLiteral("offset 000A, hex column, first digit"));
        QCOMPARE(item->text(QAccessible::Value), QStringLiteral("byte 3A (58, \":\")"));
        // The item is where the caret is drawn.
        QVERIFY(item->rect().intersects(
                QRect(c->viewport()->mapToGlobal(QPoint(0, 0)), c->viewport()->size())));
        QCOMPARE(item->rect().height(), c->geometry().lineHeight);

        // The moves were announced as the focus moving on to the new place.
        const auto focus = events.of(QAccessible::Focus);
        QVERIFY(!focus.empty());
        QCOMPARE(focus.back().role, QAccessible::Cell);
        QCOMPARE(focus.back().name, QStringLiteral("offset 000A, hex column, first digit"));
        QCOMPARE(events.last(QAccessible::ValueChanged).value,
                QStringLiteral("offset 000A, hex column, first digit, byte 3A (58, \":\")"));

        // Typing a digit changes the byte: its new value is announced.
        events.clear();
        QTest::keyClicks(c.get(), QStringLiteral("4"));
        QCoreApplication::processEvents();
        QCOMPARE(bytes[10], 0x4A);
        QCOMPARE(events.of(QAccessible::ValueChanged).size(), std::size_t(1));
        QCOMPARE(events.last(QAccessible::ValueChanged).value,
                QStringLiteral("offset 000A, hex column, second digit, byte 4A (74, \"J\")"));

        // A selection is told as a range of offsets and a count.
        events.clear();
        keys(*c, Qt::Key_Right, Qt::ShiftModifier);
        QCOMPARE(item->text(QAccessible::Description), QStringLiteral("selected 000A to 000B, 2 bytes"));
        QVERIFY(a->text(QAccessible::Value).endsWith(QStringLiteral("; selected 000A to 000B, 2 bytes")));
        QCOMPARE(events.of(QAccessible::SelectionWithin).size(), std::size_t(1));
        keys(*c, Qt::Key_Left);
        QCOMPARE(item->text(QAccessible::Description), QString());

        // Painting what did not change (a caret blink) announces nothing.
        events.clear();
        c->viewport()->repaint();
        QVERIFY(events.seen().empty());

        // Coming back into the control announces the byte under the caret.
        c->clearFocus();
        c->setFocus();
        QCoreApplication::processEvents();
        QCOMPARE(events.last(QAccessible::Focus).name, item->text(QAccessible::Name));
    }

    void unprintableBytesAndNoData()
    {
        std::vector<std::uint8_t> bytes{0x7F, 0x00};
        auto c = shownCtrl(bytes);
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(c.get());
        const int withItem = a->childCount();
        keys(*c, Qt::Key_Tab);
        QCOMPARE(a->focusChild()->text(QAccessible::Value), QStringLiteral("byte 7F (127)"));

        // Without a buffer there is no current byte to tell of.
        c->setData(nullptr, 0);
        QCOMPARE(a->text(QAccessible::Value), QString());
        QCOMPARE(a->childCount(), withItem - 1);
        QCOMPARE(a->focusChild(), a);
    }
};

TARLO_TEST_MAIN(HexAccessibleTest)
#include "HexAccessibleTest.moc"
