// The editors' own widgets, driven with real key events.
#include "browser/FieldEdit.h"
#include "browser/SearchDialog.h"
#include "browser/TextEditDialog.h"
#include "tests/common/MessageRecorder.h"
#include "tests/common/IsolatedSettings.h"

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

using namespace browser;

class WidgetsTest : public QObject {
    Q_OBJECT
private slots:
    void fieldEditFiltersAndMarksChanges();
    void fieldEditEnterEscAndRefill();
    void fieldEditPasteIsFiltered();
    void textDialogTitleLineBreaksAndLimit();
    void textDialogRefusesOverlongText();
    void searchDialogLayout();
};

void WidgetsTest::fieldEditFiltersAndMarksChanges()
{
    QWidget host;
    host.resize(300, 100);
    FieldEdit box(&host);
    host.show();
    box.begin(FieldEditSetup{11, false, true}, QStringLiteral("12"), QRect(10, 10, 95, 20));
    QVERIFY(box.isOpen());
    QVERIFY(box.isVisible());
    QCOMPARE(box.width(), 95);
    QCOMPARE(box.maxLength(), 11);
    QVERIFY(!box.isChanged());

    QTest::keyClicks(&box, QStringLiteral("ab. x"));
    QCOMPARE(box.text(), QStringLiteral("12"));
    QVERIFY(!box.isChanged()); // swallowed characters are no change
    QTest::keyClick(&box, Qt::Key_End);
    QTest::keyClicks(&box, QStringLiteral("-3"));
    QCOMPARE(box.text(), QStringLiteral("12-3"));
    QVERIFY(box.isChanged());

    // No minus, with a point.
    box.begin(FieldEditSetup{10, true, false}, QStringLiteral(""), QRect(10, 10, 135, 20));
    QVERIFY(!box.isChanged());
    QTest::keyClicks(&box, QStringLiteral("-1.5"));
    QCOMPARE(box.text(), QStringLiteral("1.5"));

    // Delete alone marks a change, even with nothing selected at the end.
    box.begin(FieldEditSetup{6, false, true}, QStringLiteral("7"), QRect(0, 0, 55, 20));
    QTest::keyClick(&box, Qt::Key_End);
    QTest::keyClick(&box, Qt::Key_Delete);
    QVERIFY(box.isChanged());

    // The character limit holds.
    box.begin(FieldEditSetup{4, false, true}, QString(), QRect(0, 0, 40, 20));
    QTest::keyClicks(&box, QStringLiteral("123456"));
    QCOMPARE(box.text(), QStringLiteral("1234"));
}

void WidgetsTest::fieldEditEnterEscAndRefill()
{
    QWidget host;
    FieldEdit box(&host);
    host.show();
    QSignalSpy enter(&box, &FieldEdit::enterPressed);
    QSignalSpy esc(&box, &FieldEdit::escapePressed);
    box.begin(FieldEditSetup{4, false, true}, QStringLiteral("5"), QRect(0, 0, 40, 20));
    QTest::keyClicks(&box, QStringLiteral("200"));
    QTest::keyClick(&box, Qt::Key_Return);
    QCOMPARE(enter.count(), 1);
    box.refill(QStringLiteral("127"));
    QCOMPARE(box.text(), QStringLiteral("127"));
    QVERIFY(box.isChanged()); // the refill is still to be written
    QTest::keyClick(&box, Qt::Key_Tab);
    QVERIFY(box.isOpen());
    QTest::keyClick(&box, Qt::Key_Escape);
    QCOMPARE(esc.count(), 1);
    QVERIFY(!box.isChanged());
}

void WidgetsTest::fieldEditPasteIsFiltered()
{
    QWidget host;
    FieldEdit box(&host);
    host.show();
    box.begin(FieldEditSetup{11, false, true}, QString(), QRect(0, 0, 95, 20));
    QApplication::clipboard()->setText(QStringLiteral("x-1.2e3"));
    QTest::keyClick(&box, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(box.text(), QStringLiteral("-123"));
    QVERIFY(box.isChanged());
    // The X selection's middle-button paste would bypass the filter.
    QApplication::clipboard()->setText(QStringLiteral("abc"), QClipboard::Selection);
    QTest::mouseClick(&box, Qt::MiddleButton);
    QCOMPARE(box.text(), QStringLiteral("-123"));
}

void WidgetsTest::textDialogTitleLineBreaksAndLimit()
{
    TextEditDialog dlg(QStringLiteral("Title Text"), std::string("one\r\ntwo"));
    QCOMPARE(dlg.windowTitle(), QStringLiteral("Editing: Title Text"));
    QCOMPARE(dlg.editor()->toPlainText(), QStringLiteral("one\ntwo"));
    QCOMPARE(dlg.editor()->storedLength(), 8);
    dlg.show();
    QTest::keyClick(dlg.editor(), Qt::Key_End, Qt::ControlModifier);
    QTest::keyClick(dlg.editor(), Qt::Key_Return);
    QTest::keyClicks(dlg.editor(), QStringLiteral("3"));
    QCOMPARE(dlg.storedText(), std::string("one\r\ntwo\r\n3"));
    if (qEnvironmentVariableIsSet("TARLO_SHOT_DIR"))
        dlg.grab().save(qEnvironmentVariable("TARLO_SHOT_DIR") + QStringLiteral("/text-dialog.png"));

    // Typing stops at 512 stored characters; a line break needs two.
    TextEditDialog full(QStringLiteral("n"), std::string(510, 'a'));
    full.show();
    QTest::keyClick(full.editor(), Qt::Key_End, Qt::ControlModifier);
    QTest::keyClick(full.editor(), Qt::Key_Return);
    QTest::keyClicks(full.editor(), QStringLiteral("bcd"));
    QCOMPARE(full.storedText(), std::string(510, 'a') + "\r\n");
    QCOMPARE(full.editor()->storedLength(), 512);
    // Alt+letter inserts its letter in a text box: it meets the same limit.
    for (int i = 0; i < 3; ++i) {
        QKeyEvent altB(QEvent::KeyPress, Qt::Key_B, Qt::AltModifier, QStringLiteral("b"));
        QApplication::sendEvent(full.editor(), &altB);
    }
    QCOMPARE(full.editor()->storedLength(), 512);
    QCOMPARE(full.storedText(), std::string(510, 'a') + "\r\n");
}

void WidgetsTest::textDialogRefusesOverlongText()
{
    testsupport::MessageRecorder boxes;
    TextEditDialog dlg(QStringLiteral("n"), std::string(513, 'a'));
    dlg.show();
    dlg.accept();
    QCOMPARE(boxes.told, QStringList{QStringLiteral("Please enter no more than 512 characters.")});
    QVERIFY(dlg.isVisible());
    QCOMPARE(dlg.result(), int(QDialog::Rejected));
    QTest::keyClick(dlg.editor(), Qt::Key_End, Qt::ControlModifier);
    QTest::keyClick(dlg.editor(), Qt::Key_Backspace);
    dlg.accept();
    QCOMPARE(dlg.result(), int(QDialog::Accepted));
}

void WidgetsTest::searchDialogLayout()
{
    SearchDialog dlg(QStringLiteral("alt"));
    QCOMPARE(dlg.windowTitle(), QStringLiteral("Text To Search For"));
    auto* label = dlg.findChild<QLabel*>();
    QVERIFY(label);
    QCOMPARE(label->text(), QStringLiteral("Enter text to search for."));
    QCOMPARE(dlg.text(), QStringLiteral("alt"));
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    QPushButton* ok = nullptr;
    QPushButton* cancel = nullptr;
    for (auto* b : dlg.findChildren<QPushButton*>())
        (b->text() == QStringLiteral("OK") ? ok : cancel) = b;
    QVERIFY(ok && cancel);
    QVERIFY(ok->isDefault());
    QVERIFY(cancel->x() < ok->x());
    if (qEnvironmentVariableIsSet("TARLO_SHOT_DIR"))
        dlg.grab().save(qEnvironmentVariable("TARLO_SHOT_DIR") + QStringLiteral("/search-dialog.png"));
    dlg.edit()->clear();
    QTest::keyClicks(dlg.edit(), QStringLiteral("Gear"));
    QTest::keyClick(dlg.edit(), Qt::Key_Return); // the default button
    QCOMPARE(dlg.result(), int(QDialog::Accepted));
    QCOMPARE(dlg.text(), QStringLiteral("Gear"));
}

TARLO_TEST_MAIN(WidgetsTest)
#include "WidgetsTest.moc"
