// Drives the real hex control and dialog with key and mouse events.

#include "hexedit/CHexDataCtrl.h"
#include "hexedit/CHexDataDlg.h"
#include "tests/common/DarkPalette.h"
#include "tests/common/IsolatedSettings.h"

#include <QApplication>
#include <QDir>
#include <QFontMetrics>
#include <QImage>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>
#include <QtTest>

#include <cstdint>
#include <functional>
#include <memory>
#include <numeric>
#include <vector>

using CaretColumn = hexedit::CaretColumn;

namespace {

std::vector<std::uint8_t> counting(std::size_t n, std::uint8_t start = 0x30)
{
    std::vector<std::uint8_t> v(n);
    std::iota(v.begin(), v.end(), start);
    return v;
}

// A shown control over `bytes` (8 per line, 4-digit offsets) whose client
// area holds `rows` whole rows and half of another.
std::unique_ptr<hexedit::CHexDataCtrl> makeCtrl(
        std::vector<std::uint8_t>& bytes, int rows, std::int64_t length = -1)
{
    auto c = std::make_unique<hexedit::CHexDataCtrl>();
    c->setBytesPerLine(8);
    c->setWideOffsets(false);
    c->setData(bytes.data(), length < 0 ? static_cast<std::int64_t>(bytes.size()) : length);
    const int lh = QFontMetrics(c->hexFont()).height();
    c->resize(c->sizeHint().width(), rows * lh + lh / 2 + 2 * c->frameWidth());
    c->show();
    if (!QTest::qWaitForWindowExposed(c.get()))
        qWarning("control not exposed");
    c->activateWindow();
    c->setFocus();
    c->ensureLayout();
    return c;
}

QPoint cellCenter(const hexedit::CHexDataCtrl& c, int col, int row)
{
    const auto& g = c.geometry();
    return {col * g.charWidth + g.charWidth / 2, row * g.lineHeight + g.lineHeight / 2};
}

// Column (in characters) of a byte's high nibble / text cell on its row.
int hexCol(const hexedit::CHexDataCtrl& c, int byteInRow)
{
    return c.geometry().hexX / c.geometry().charWidth + 3 * byteInRow;
}
int textCol(const hexedit::CHexDataCtrl& c, int byteInRow)
{
    return c.geometry().textX / c.geometry().charWidth + byteInRow;
}

void key(hexedit::CHexDataCtrl& c, Qt::Key k, Qt::KeyboardModifiers m = Qt::NoModifier, int times = 1)
{
    for (int i = 0; i < times; ++i)
        QTest::keyClick(&c, k, m);
}

// Tab from the offset column to the high nibble, then Right to `offset`.
void caretToHex(hexedit::CHexDataCtrl& c, int offset)
{
    key(c, Qt::Key_Tab);
    QCOMPARE(c.caretColumn(), CaretColumn::HighNibble);
    key(c, Qt::Key_Down, Qt::NoModifier, offset / c.bytesPerLine());
    key(c, Qt::Key_Right, Qt::NoModifier, 2 * (offset % c.bytesPerLine()));
    QCOMPARE(c.caretOffset(), offset);
    QCOMPARE(c.caretColumn(), CaretColumn::HighNibble);
}

bool rowHasInk(const QImage& img, int y0, int y1, int x0, int x1)
{
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x)
            if (img.pixelColor(x, y) != QColor(Qt::white))
                return true;
    return false;
}

} // namespace

class TestHexEdit : public QObject {
    Q_OBJECT
private slots:
    void shortDataLayout();
    void nibbleEntry();
    void nibbleStepsAtTheEnds();
    void clicksChooseColumnAndNibble();
    void shiftCtrlHomeSelectsToStart();
    void shiftDownAndUpSelections();
    void unshiftedKeysAndCharactersClearTheSelection();
    void homeEndAndCtrlEnd();
    void pageScrolling();
    void scrollBarMovesCaretOnlyAfterTyping();
    void dragSelectsAndAutoScrolls();
    void shiftClickSelectsFromOldCaret();
    void writesStayInsideTheBuffer();
    void selectionIsPainted();
    void dialogKeepsTabEnterEscape();
    void dialogCancelAndOk();
    void darkPaletteDrawsDarkAndReadable();
};

void TestHexEdit::shortDataLayout()
{
    auto bytes = counting(13);
    auto c = makeCtrl(bytes, 20);
    QCOMPARE(c->linesPerPage(), 3);
    QVERIFY(c->shortData());
    QVERIFY(!c->verticalScrollBar()->isEnabled());

    key(*c, Qt::Key_Tab);
    key(*c, Qt::Key_End, Qt::ControlModifier);
    QCOMPARE(c->caretOffset(), 12);
    QCOMPARE(c->topOffset(), 0);

    // Two rows of data are drawn; the third row of the page stays blank.
    const QImage img = c->viewport()->grab().toImage();
    const int lh = c->geometry().lineHeight;
    QVERIFY(rowHasInk(img, lh, 2 * lh, c->geometry().hexX, c->geometry().textX));
    QVERIFY(!rowHasInk(img, 2 * lh, 3 * lh, 0, img.width()));
}

void TestHexEdit::nibbleEntry()
{
    std::vector<std::uint8_t> bytes{0x37, 0x37, 0x37};
    auto c = makeCtrl(bytes, 10);
    QCOMPARE(c->caretColumn(), CaretColumn::OffsetColumn);
    QTest::keyClicks(c.get(), "a"); // nothing to type into in the offset column
    QCOMPARE(bytes[0], 0x37);

    key(*c, Qt::Key_Tab);
    QTest::keyClicks(c.get(), "a");
    QCOMPARE(bytes[0], 0xA7);
    QCOMPARE(c->caretColumn(), CaretColumn::LowNibble);
    QCOMPARE(c->caretOffset(), 0);

    // Upper-case hex letters and other characters are ignored.
    QTest::keyClicks(c.get(), "AG ");
    QCOMPARE(bytes[0], 0xA7);
    QCOMPARE(c->caretColumn(), CaretColumn::LowNibble);

    QTest::keyClicks(c.get(), "5");
    QCOMPARE(bytes[0], 0xA5);
    QCOMPARE(c->caretOffset(), 1);
    QCOMPARE(c->caretColumn(), CaretColumn::HighNibble);

    // Typing through the last byte stays on it.
    QTest::keyClicks(c.get(), "0f1e2d");
    QCOMPARE(bytes[1], 0x0F);
    QCOMPARE(bytes[2], 0x2D);
    QCOMPARE(c->caretOffset(), 2);
    QCOMPARE(c->caretColumn(), CaretColumn::HighNibble);

    // Tab goes to the text column, where every character is stored as is.
    key(*c, Qt::Key_Tab);
    QCOMPARE(c->caretColumn(), CaretColumn::TextColumn);
    QTest::keyClicks(c.get(), "Z");
    QCOMPARE(bytes[2], 'Z');
    key(*c, Qt::Key_Backtab); // Shift makes no difference to Tab
    QCOMPARE(c->caretColumn(), CaretColumn::HighNibble);
}

void TestHexEdit::nibbleStepsAtTheEnds()
{
    auto bytes = counting(13);
    auto c = makeCtrl(bytes, 10);
    key(*c, Qt::Key_Tab);
    key(*c, Qt::Key_Left);
    QCOMPARE(c->caretOffset(), 0);
    QCOMPARE(c->caretColumn(), CaretColumn::LowNibble);

    // Right on the low nibble of the last byte: its high nibble.
    key(*c, Qt::Key_End, Qt::ControlModifier);
    QCOMPARE(c->caretOffset(), 12);
    QCOMPARE(c->caretColumn(), CaretColumn::LowNibble);
    key(*c, Qt::Key_Right);
    QCOMPARE(c->caretOffset(), 12);
    QCOMPARE(c->caretColumn(), CaretColumn::HighNibble);

    // Down from row 0 to a short last row position past the end stays put.
    key(*c, Qt::Key_Home, Qt::ControlModifier);
    key(*c, Qt::Key_Right, Qt::NoModifier, 14); // offset 7
    QCOMPARE(c->caretOffset(), 7);
    key(*c, Qt::Key_Down);
    QCOMPARE(c->caretOffset(), 7);
    key(*c, Qt::Key_Up);
    QCOMPARE(c->caretOffset(), 0); // clamped at 0
}

void TestHexEdit::clicksChooseColumnAndNibble()
{
    std::vector<std::uint8_t> bytes(24, 0x37);
    auto c = makeCtrl(bytes, 10);
    QWidget* vp = c->viewport();

    // The second digit of byte 2, then the blank after byte 3.
    QTest::mouseClick(vp, Qt::LeftButton, {}, cellCenter(*c, hexCol(*c, 2) + 1, 0));
    QCOMPARE(c->caretOffset(), 2);
    QCOMPARE(c->caretColumn(), CaretColumn::LowNibble);
    QTest::keyClicks(c.get(), "5");
    QCOMPARE(bytes[2], 0x35);

    QTest::mouseClick(vp, Qt::LeftButton, {}, cellCenter(*c, hexCol(*c, 3) + 2, 1));
    QCOMPARE(c->caretOffset(), 11);
    QCOMPARE(c->caretColumn(), CaretColumn::LowNibble);
    QTest::keyClicks(c.get(), "5");
    QCOMPARE(bytes[11], 0x35);

    QTest::mouseClick(vp, Qt::LeftButton, {}, cellCenter(*c, hexCol(*c, 4), 1));
    QCOMPARE(c->caretOffset(), 12);
    QCOMPARE(c->caretColumn(), CaretColumn::HighNibble);

    QTest::mouseClick(vp, Qt::LeftButton, {}, cellCenter(*c, textCol(*c, 6), 2));
    QCOMPARE(c->caretOffset(), 22);
    QCOMPARE(c->caretColumn(), CaretColumn::TextColumn);

    QTest::mouseClick(vp, Qt::LeftButton, {}, cellCenter(*c, 1, 1));
    QCOMPARE(c->caretOffset(), 8);
    QCOMPARE(c->caretColumn(), CaretColumn::OffsetColumn);
    QVERIFY(c->caretShown());
    QVERIFY(!c->hasSelection());
}

void TestHexEdit::shiftCtrlHomeSelectsToStart()
{
    auto bytes = counting(100);
    auto c = makeCtrl(bytes, 10);
    caretToHex(*c, 20);
    key(*c, Qt::Key_Home, Qt::ShiftModifier | Qt::ControlModifier);
    QCOMPARE(c->caretOffset(), 0);
    QCOMPARE(c->selAnchor(), 20);
    QCOMPARE(c->selEnd(), 0);
    QCOMPARE(c->topOffset(), 0);
}

void TestHexEdit::shiftDownAndUpSelections()
{
    auto bytes = counting(100);
    auto c = makeCtrl(bytes, 10);
    caretToHex(*c, 3);
    key(*c, Qt::Key_Down, Qt::ShiftModifier);
    QCOMPARE(c->caretOffset(), 11);
    QCOMPARE(c->selAnchor(), 3);
    QCOMPARE(c->selEnd(), 12); // offsets 3..11 selected

    key(*c, Qt::Key_Left); // clears
    QVERIFY(!c->hasSelection());
    key(*c, Qt::Key_Right); // back to 11, high nibble
    QCOMPARE(c->caretOffset(), 11);
    key(*c, Qt::Key_Up, Qt::ShiftModifier);
    QCOMPARE(c->caretOffset(), 3);
    QCOMPARE(c->selAnchor(), 11);
    QCOMPARE(c->selEnd(), 3); // offsets 3..10 selected

    // Extending keeps the first anchor.
    key(*c, Qt::Key_Right, Qt::ShiftModifier);
    QCOMPARE(c->selAnchor(), 11);
    QCOMPARE(c->selEnd(), 4); // low nibble of 3: plus one in the hex column

    // In the text column there is no plus one.
    key(*c, Qt::Key_Tab);
    key(*c, Qt::Key_Home);
    key(*c, Qt::Key_Down, Qt::ShiftModifier);
    QCOMPARE(c->selAnchor(), 0);
    QCOMPARE(c->selEnd(), 8);
}

void TestHexEdit::unshiftedKeysAndCharactersClearTheSelection()
{
    auto bytes = counting(40);
    auto c = makeCtrl(bytes, 10);
    caretToHex(*c, 9);
    key(*c, Qt::Key_Right, Qt::ShiftModifier);
    QVERIFY(c->hasSelection());
    key(*c, Qt::Key_PageDown);
    QVERIFY(!c->hasSelection());
    QVERIFY(c->caretShown());

    key(*c, Qt::Key_End, Qt::ShiftModifier);
    QVERIFY(c->hasSelection());
    QCOMPARE(c->selEnd(), 15);
    // A character that is not accepted still clears the selection.
    QTest::keyClicks(c.get(), "X");
    QVERIFY(!c->hasSelection());
    QCOMPARE(bytes[15], 0x3F);
}

void TestHexEdit::homeEndAndCtrlEnd()
{
    auto bytes = counting(100);
    auto c = makeCtrl(bytes, 10);
    caretToHex(*c, 13);
    key(*c, Qt::Key_Home);
    QCOMPARE(c->caretOffset(), 8);
    key(*c, Qt::Key_End);
    QCOMPARE(c->caretOffset(), 15);

    key(*c, Qt::Key_End, Qt::ControlModifier);
    QCOMPARE(c->caretOffset(), 99);
    QCOMPARE(c->topOffset(), 24); // row (100 + 4) / 8 - 10
    key(*c, Qt::Key_Home);
    QCOMPARE(c->caretOffset(), 96); // line starts count from 0, not from the top
    key(*c, Qt::Key_End);
    QCOMPARE(c->caretOffset(), 99); // at most the last byte

    key(*c, Qt::Key_Home, Qt::ControlModifier);
    QCOMPARE(c->caretOffset(), 0);
    QCOMPARE(c->topOffset(), 0);
}

void TestHexEdit::pageScrolling()
{
    auto bytes = counting(100);
    auto c = makeCtrl(bytes, 10);
    QCOMPARE(c->linesPerPage(), 10);
    QVERIFY(!c->shortData());
    QVERIFY(c->verticalScrollBar()->isEnabled());

    // The dialog opens with the caret in the offset column.
    key(*c, Qt::Key_PageDown);
    QCOMPARE(c->topOffset(), 20);
    QCOMPARE(c->caretOffset(), 0); // the caret keeps its offset
    key(*c, Qt::Key_PageDown);
    QCOMPARE(c->topOffset(), 20);
    QCOMPARE(c->verticalScrollBar()->value(), 2);

    // The first row now starts at 0x14.
    const QImage img = c->viewport()->grab().toImage();
    QVERIFY(rowHasInk(img, 0, c->geometry().lineHeight, 0, c->geometry().hexX));

    // Line up from an offset off a row boundary stops at 0.
    QScrollBar* sb = c->verticalScrollBar();
    sb->triggerAction(QAbstractSlider::SliderSingleStepSub);
    QCOMPARE(c->topOffset(), 12);
    sb->triggerAction(QAbstractSlider::SliderSingleStepSub);
    sb->triggerAction(QAbstractSlider::SliderSingleStepSub);
    QCOMPARE(c->topOffset(), 0);
    QCOMPARE(sb->value(), 0);

    // In the hex column the caret, left above the page, pulls it back by at
    // most one line.
    key(*c, Qt::Key_Tab);
    key(*c, Qt::Key_PageDown);
    QCOMPARE(c->topOffset(), 12);
    QCOMPARE(c->caretOffset(), 0);
    key(*c, Qt::Key_PageUp);
    QCOMPARE(c->topOffset(), 0);

    // Moving the caret below the page scrolls one line.
    key(*c, Qt::Key_Down, Qt::NoModifier, 10);
    QCOMPARE(c->caretOffset(), 80);
    QCOMPARE(c->topOffset(), 8);

    // The wheel scrolls whole rows through the scroll bar.
    const QPoint at = c->viewport()->rect().center();
    QWheelEvent wheel(at, c->viewport()->mapToGlobal(at), QPoint(), QPoint(0, 120), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(c->viewport(), &wheel);
    QCOMPARE(c->topOffset(), 0);
    QCOMPARE(c->caretOffset(), 80);
}

void TestHexEdit::scrollBarMovesCaretOnlyAfterTyping()
{
    auto bytes = counting(200);
    auto c = makeCtrl(bytes, 10);
    QScrollBar* sb = c->verticalScrollBar();
    caretToHex(*c, 8);
    sb->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    QCOMPARE(c->topOffset(), 8);
    QCOMPARE(c->caretOffset(), 8);
    sb->triggerAction(QAbstractSlider::SliderSingleStepSub);

    QTest::keyClicks(c.get(), "1");
    QCOMPARE(c->caretOffset(), 8);
    sb->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    QCOMPARE(c->topOffset(), 8);
    QCOMPARE(c->caretOffset(), 16); // same place on screen

    // The thumb all the way down: the caret is moved along but stays in the data.
    sb->setSliderPosition(sb->maximum());
    QCOMPARE(c->topOffset(), sb->maximum() * 8);
    QVERIFY(c->caretOffset() < 200);
    QCOMPARE(c->caretOffset(), 16 + c->topOffset() - 8);
}

void TestHexEdit::dragSelectsAndAutoScrolls()
{
    auto bytes = counting(100);
    auto c = makeCtrl(bytes, 10);
    QWidget* vp = c->viewport();
    const QPoint from = cellCenter(*c, hexCol(*c, 2), 0);
    QTest::mousePress(vp, Qt::LeftButton, {}, from);
    QVERIFY(!c->hasSelection());
    QTest::mouseMove(vp, cellCenter(*c, hexCol(*c, 5), 0));
    QVERIFY(c->hasSelection());
    QCOMPARE(c->selAnchor(), 2);
    QCOMPARE(c->selEnd(), 6);
    QVERIFY(!c->caretShown());

    // Below the client area: one line further per move.
    QTest::mouseMove(vp, QPoint(from.x(), vp->height() + 5));
    QCOMPARE(c->topOffset(), 8);
    QVERIFY(c->selEnd() > 80);
    // Resting there keeps scrolling until the end of the data.
    QTRY_COMPARE(c->topOffset(), 24);
    QCOMPARE(c->selEnd(), 99);
    QTest::mouseRelease(vp, Qt::LeftButton, {}, QPoint(from.x(), vp->height() + 5));
    QVERIFY(c->hasSelection());
    QCOMPARE(c->selAnchor(), 2);

    // A plain click elsewhere drops the selection and shows the caret again.
    QTest::mouseClick(vp, Qt::LeftButton, {}, cellCenter(*c, textCol(*c, 1), 1));
    QVERIFY(!c->hasSelection());
    QVERIFY(c->caretShown());
    QCOMPARE(c->caretOffset(), 24 + 8 + 1);
}

void TestHexEdit::shiftClickSelectsFromOldCaret()
{
    auto bytes = counting(40);
    auto c = makeCtrl(bytes, 10);
    QWidget* vp = c->viewport();
    QTest::mouseClick(vp, Qt::LeftButton, {}, cellCenter(*c, textCol(*c, 1), 0));
    QTest::mouseClick(vp, Qt::LeftButton, Qt::ShiftModifier, cellCenter(*c, hexCol(*c, 4), 1));
    QCOMPARE(c->selAnchor(), 1);
    QCOMPARE(c->caretOffset(), 12);
    QCOMPARE(c->selEnd(), 13);
    // A Shift+click on nothing leaves the selection.
    QTest::mouseClick(vp, Qt::LeftButton, Qt::ShiftModifier, QPoint(1, 9 * c->geometry().lineHeight));
    QCOMPARE(c->selAnchor(), 1);
    QCOMPARE(c->selEnd(), 13);
}

void TestHexEdit::writesStayInsideTheBuffer()
{
    // 16 bytes shown, a guard byte behind them.
    std::vector<std::uint8_t> bytes(17, 0x11);
    auto c = makeCtrl(bytes, 10, 16);
    QWidget* vp = c->viewport();
    // The offset cell of the row after the data is no caret position.
    QTest::mouseClick(vp, Qt::LeftButton, {}, cellCenter(*c, 1, 2));
    QVERIFY(c->caretOffset() < 16);
    key(*c, Qt::Key_Tab);
    QTest::keyClicks(c.get(), "ffff");
    key(*c, Qt::Key_Tab);
    QTest::keyClicks(c.get(), "zzzz");
    key(*c, Qt::Key_End, Qt::ControlModifier);
    QTest::keyClicks(c.get(), "zzzz");
    key(*c, Qt::Key_Tab);
    QTest::keyClicks(c.get(), "eeee");
    QCOMPARE(c->caretOffset(), 15);
    QCOMPARE(bytes[16], 0x11);

    // Past the end of a short last row: the last byte.
    std::vector<std::uint8_t> shortBytes(13, 0);
    auto s = makeCtrl(shortBytes, 10);
    QTest::mouseClick(s->viewport(), Qt::LeftButton, {}, cellCenter(*s, textCol(*s, 7), 1));
    QCOMPARE(s->caretOffset(), 12);

    // An empty buffer takes no characters and survives every key.
    std::vector<std::uint8_t> none(1, 0x22);
    auto e = makeCtrl(none, 10, 0);
    for (Qt::Key k : {Qt::Key_Tab, Qt::Key_End, Qt::Key_Right, Qt::Key_Down, Qt::Key_PageDown,
                      Qt::Key_Home})
        key(*e, k);
    key(*e, Qt::Key_End, Qt::ControlModifier);
    QTest::keyClicks(e.get(), "ab");
    key(*e, Qt::Key_Tab);
    QTest::keyClicks(e.get(), "ab");
    QTest::mouseClick(e->viewport(), Qt::LeftButton, {}, cellCenter(*e, textCol(*e, 0), 0));
    QCOMPARE(none[0], 0x22);
    QCOMPARE(e->caretOffset(), 0);
}

void TestHexEdit::selectionIsPainted()
{
    auto bytes = counting(40);
    auto c = makeCtrl(bytes, 10);
    caretToHex(*c, 9);
    key(*c, Qt::Key_Right, Qt::ShiftModifier, 4); // caret on 11's high nibble, selects 9..11
    const QColor highlight = c->palette().color(QPalette::Highlight);
    const auto& g = c->geometry();
    const QImage img = c->viewport()->grab().toImage();
    // A character cell counts as selected when most of it is the highlight colour: a single
    // pixel may fall on a glyph's ink, which depends on the fonts the machine has.
    auto isHighlight = [&](int col, int row) {
        int hits = 0;
        const int x0 = col * g.charWidth, y0 = row * g.lineHeight;
        for (int y = y0; y < y0 + g.lineHeight; ++y)
            for (int x = x0; x < x0 + g.charWidth; ++x)
                hits += img.pixelColor(x, y) == highlight;
        return 2 * hits > g.charWidth * g.lineHeight;
    };
    QVERIFY(isHighlight(hexCol(*c, 1), 1));
    QVERIFY(isHighlight(hexCol(*c, 2) + 2, 1));
    QVERIFY(isHighlight(hexCol(*c, 3) + 2, 1)); // beside the caret
    QVERIFY(!isHighlight(hexCol(*c, 0), 1));
    QVERIFY(!isHighlight(hexCol(*c, 4), 1));
    // Only the column the caret is in shows the selection.
    QVERIFY(!isHighlight(textCol(*c, 1), 1));
}

void TestHexEdit::dialogKeepsTabEnterEscape()
{
    std::vector<std::uint8_t> bytes(24, 0x41);
    hexedit::CHexDataDlg dlg(bytes);
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    dlg.activateWindow();
    hexedit::CHexDataCtrl* c = dlg.hexCtrl();
    QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(c));
    QCOMPARE(c->wideOffsets(), false);
    QCOMPARE(c->bytesPerLine(), 8);
    QVERIFY(c->caretShown()); // block caret over the first offset
    const QByteArray shotDir = qgetenv("HEXEDIT_SHOT_DIR");
    if (!shotDir.isEmpty())
        QVERIFY(dlg.grab().save(QDir(QString::fromLocal8Bit(shotDir)).filePath("hexdialog-open.png")));

    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(c));
    QCOMPARE(c->caretColumn(), CaretColumn::TextColumn);

    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backspace);
    QVERIFY(dlg.isVisible());
    QCOMPARE(dlg.result(), 0);
    QCOMPARE(dlg.data()[0], 0x0D);
    QCOMPARE(dlg.data()[1], 0x1B);
    QCOMPARE(dlg.data()[2], 0x08);
    QCOMPARE(bytes[0], 0x41); // the caller's bytes are a separate copy

    // Ctrl+Tab leaves the control for the buttons.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab, Qt::ControlModifier);
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(dlg.okButton()));

    // Screenshot of the dialog with a selection, when asked for.
    if (!shotDir.isEmpty()) {
        c->setFocus();
        QTest::keyClick(c, Qt::Key_Tab);
        QTest::keyClick(c, Qt::Key_Right, Qt::ShiftModifier);
        QTest::keyClick(c, Qt::Key_Down, Qt::ShiftModifier);
        QTest::keyClick(c, Qt::Key_Right, Qt::ShiftModifier);
        QTest::qWait(50);
        QVERIFY(dlg.grab().save(QDir(QString::fromLocal8Bit(shotDir)).filePath("hexdialog.png")));
    }
    dlg.reject();
}

void TestHexEdit::dialogCancelAndOk()
{
    auto runWith = [](std::vector<std::uint8_t>& bytes,
                           const std::function<void(hexedit::CHexDataDlg*)>& act) {
        QTimer::singleShot(0, [act] {
            auto* dlg = qobject_cast<hexedit::CHexDataDlg*>(QApplication::activeModalWidget());
            QVERIFY(dlg);
            act(dlg);
        });
        return hexedit::CHexDataDlg::editBytes(bytes, nullptr);
    };
    auto typeAndPress = [](bool ok) {
        return [ok](hexedit::CHexDataDlg* dlg) {
            hexedit::CHexDataCtrl* c = dlg->hexCtrl();
            QTest::keyClick(c, Qt::Key_Tab);
            QTest::keyClicks(c, "ff");
            QTest::mouseClick(ok ? dlg->okButton() : dlg->cancelButton(), Qt::LeftButton);
        };
    };

    std::vector<std::uint8_t> bytes{0x37, 0x38};
    QVERIFY(!runWith(bytes, typeAndPress(false)));
    QCOMPARE(bytes, (std::vector<std::uint8_t>{0x37, 0x38}));

    QVERIFY(runWith(bytes, typeAndPress(true)));
    QCOMPARE(bytes, (std::vector<std::uint8_t>{0xFF, 0x38}));

    // OK without edits still reports acceptance; the window's close button
    // counts as Cancel.
    QVERIFY(runWith(bytes, [](hexedit::CHexDataDlg* dlg) { dlg->okButton()->click(); }));
    QVERIFY(!runWith(bytes, [](hexedit::CHexDataDlg* dlg) {
        QTest::keyClick(dlg->hexCtrl(), Qt::Key_Tab);
        QTest::keyClicks(dlg->hexCtrl(), "00");
        dlg->close();
    }));
    QCOMPARE(bytes, (std::vector<std::uint8_t>{0xFF, 0x38}));
}

// Under the light default the control is black on pure white; under a dark
// palette it takes the palette's base and text, selection included.
void TestHexEdit::darkPaletteDrawsDarkAndReadable()
{
    std::vector<std::uint8_t> bytes = counting(24);
    auto c = makeCtrl(bytes, 3);
    const auto lightest = [](const QImage& img, int y0, int y1) {
        int best = 0;
        for (int y = y0; y < y1; ++y)
            for (int x = 0; x < img.width(); ++x)
                best = std::max(best, img.pixelColor(x, y).lightness());
        return best;
    };
    const int lh = c->geometry().lineHeight;
    QImage light = c->viewport()->grab().toImage();
    const QPoint corner(light.width() - 2, light.height() - 2); // below and right of every row
    QCOMPARE(light.pixelColor(corner), QColor(Qt::white));

    c->setPalette(testsupport::darkPalette());
    QImage dark = c->viewport()->grab().toImage();
    QCOMPARE(dark.pixelColor(corner), testsupport::darkPalette().color(QPalette::Base));
    // The digits are light on the dark ground: the brightest ink of the
    // first row stands far above the ground.
    const int ground = dark.pixelColor(corner).lightness();
    QVERIFY2(lightest(dark, 0, lh) - ground > 120, "text not readable on the dark ground");

    // A selection in the hex column is drawn in the highlight colours there too.
    caretToHex(*c, 0);
    key(*c, Qt::Key_Right, Qt::ShiftModifier, 2);
    dark = c->viewport()->grab().toImage();
    const QColor highlight = testsupport::darkPalette().color(QPalette::Highlight);
    bool found = false;
    for (int x = c->geometry().hexX; x < c->geometry().hexX + 2 * c->geometry().charWidth && !found; ++x)
        for (int y = 0; y < lh && !found; ++y)
            found = dark.pixelColor(x, y) == highlight;
    QVERIFY(found);
}

TARLO_TEST_MAIN(TestHexEdit)
#include "tst_hexedit.moc"
