// The message boxes behind ui/Messages.h, shown for real and answered by
// clicking or typing: their caption, icon, buttons, default and what each
// way of closing answers. A sink installed in their place gets every text.
#include "ui/Messages.h"
#include "tests/common/IsolatedSettings.h"
#include "tests/common/MessageRecorder.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include <functional>

namespace {

struct Seen {
    QString title, text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QStringList buttons; // their texts, in the order the box lays them out
    QString defaultButton;
};

// Waits for the next modal message box, notes what it shows and hands it to
// `act` to be closed.
class BoxWatcher {
public:
    explicit BoxWatcher(std::function<void(QMessageBox&)> act) : act_(std::move(act))
    {
        QObject::connect(&timer_, &QTimer::timeout, [this] { poll(); });
        timer_.start(10);
    }
    Seen seen;
    bool shown = false;

private:
    void poll()
    {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible() || shown)
            return;
        shown = true;
        seen.title = box->windowTitle();
        seen.text = box->text();
        seen.icon = box->icon();
        for (QAbstractButton* b : box->buttons())
            seen.buttons << b->text().remove(u'&');
        seen.buttons.sort();
        if (box->defaultButton())
            seen.defaultButton = box->defaultButton()->text().remove(u'&');
        act_(*box);
    }
    std::function<void(QMessageBox&)> act_;
    QTimer timer_;
};

std::function<void(QMessageBox&)> click(const QString& text)
{
    return [text](QMessageBox& box) {
        for (QAbstractButton* b : box.buttons())
            if (b->text().remove(u'&') == text) {
                b->click();
                return;
            }
        QFAIL(qPrintable(QStringLiteral("no button ") + text));
    };
}

std::function<void(QMessageBox&)> press(Qt::Key key)
{
    return [key](QMessageBox& box) { QTest::keyClick(&box, key); };
}

} // namespace

class MessagesTest : public QObject {
    Q_OBJECT
private slots:
    void tellShowsOkWithTheToneIcon()
    {
        BoxWatcher info(click(QStringLiteral("OK")));
        ui::tell(nullptr, QStringLiteral("Not found."));
        QVERIFY(info.shown);
        QCOMPARE(info.seen.title, QStringLiteral("Tarlo"));
        QCOMPARE(info.seen.text, QStringLiteral("Not found."));
        QCOMPARE(info.seen.icon, QMessageBox::Information);
        QCOMPARE(info.seen.buttons, QStringList{QStringLiteral("OK")});

        BoxWatcher warning(press(Qt::Key_Return));
        ui::tell(nullptr, QStringLiteral("Failed."), ui::Tone::Warning);
        QVERIFY(warning.shown);
        QCOMPARE(warning.seen.icon, QMessageBox::Warning);
    }

    void yesNoCancel()
    {
        const QString q = QStringLiteral("Save changes to plane.air?");
        {
            BoxWatcher w(press(Qt::Key_Return));
            QCOMPARE(ui::askYesNoCancel(nullptr, q), ui::Answer::Yes); // the default
            QCOMPARE(w.seen.title, QStringLiteral("Tarlo"));
            QCOMPARE(w.seen.text, q);
            QCOMPARE(w.seen.icon, QMessageBox::Question);
            QCOMPARE(w.seen.buttons,
                    (QStringList{QStringLiteral("Cancel"), QStringLiteral("No"), QStringLiteral("Yes")}));
            QCOMPARE(w.seen.defaultButton, QStringLiteral("Yes"));
        }
        {
            BoxWatcher w(click(QStringLiteral("No")));
            QCOMPARE(ui::askYesNoCancel(nullptr, q), ui::Answer::No);
        }
        {
            BoxWatcher w(click(QStringLiteral("Cancel")));
            QCOMPARE(ui::askYesNoCancel(nullptr, q), ui::Answer::Cancel);
        }
        {
            BoxWatcher w(press(Qt::Key_Escape));
            QCOMPARE(ui::askYesNoCancel(nullptr, q), ui::Answer::Cancel);
        }
    }

    void overwriteReloadCancel()
    {
        const QString q = QStringLiteral("plane.air was changed by another program. Overwrite it?");
        {
            BoxWatcher w(press(Qt::Key_Return));
            // Enter takes the safe choice: nothing is written.
            QCOMPARE(ui::askOverwriteReloadCancel(nullptr, q), ui::Answer::Cancel);
            QCOMPARE(w.seen.icon, QMessageBox::Warning);
            QCOMPARE(w.seen.buttons,
                    (QStringList{QStringLiteral("Cancel"), QStringLiteral("Overwrite"),
                            QStringLiteral("Reload")}));
            QCOMPARE(w.seen.defaultButton, QStringLiteral("Cancel"));
        }
        {
            BoxWatcher w(click(QStringLiteral("Overwrite")));
            QCOMPARE(ui::askOverwriteReloadCancel(nullptr, q), ui::Answer::Overwrite);
        }
        {
            BoxWatcher w(click(QStringLiteral("Reload")));
            QCOMPARE(ui::askOverwriteReloadCancel(nullptr, q), ui::Answer::Reload);
        }
        {
            BoxWatcher w(press(Qt::Key_Escape));
            QCOMPARE(ui::askOverwriteReloadCancel(nullptr, q), ui::Answer::Cancel);
        }
    }

    // A sink takes every message and question while installed, nested sinks
    // hand back to the one before, and with none left the boxes return.
    void sinksNest()
    {
        {
            testsupport::MessageRecorder outer;
            outer.answers = {ui::Answer::Reload};
            {
                testsupport::MessageRecorder inner;
                inner.otherwise = ui::Answer::No;
                ui::tell(nullptr, QStringLiteral("one"), ui::Tone::Warning);
                QCOMPARE(ui::askYesNoCancel(nullptr, QStringLiteral("two?")), ui::Answer::No);
                QCOMPARE(inner.told, QStringList{QStringLiteral("one")});
                QCOMPARE(inner.warnings(), QStringList{QStringLiteral("one")});
                QCOMPARE(inner.asked, QStringList{QStringLiteral("two?")});
            }
            QCOMPARE(ui::askOverwriteReloadCancel(nullptr, QStringLiteral("three?")), ui::Answer::Reload);
            QCOMPARE(ui::askOverwriteReloadCancel(nullptr, QStringLiteral("four?")), ui::Answer::Cancel);
            QCOMPARE(outer.asked, (QStringList{QStringLiteral("three?"), QStringLiteral("four?")}));
            QVERIFY(outer.told.isEmpty());
        }
        BoxWatcher w(click(QStringLiteral("OK")));
        ui::tell(nullptr, QStringLiteral("boxes again"));
        QVERIFY(w.shown);
    }
};

TARLO_TEST_MAIN(MessagesTest)
#include "MessagesTest.moc"
