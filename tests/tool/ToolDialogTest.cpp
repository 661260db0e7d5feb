// The Patchwise dialog, offscreen: file choices, messages, Dump and Update.
#include "tool/ToolDialog.h"

#include "common/AirImage.h"
#include "common/IsolatedSettings.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFontDatabase>
#include <QTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include <cstdlib>
#include <deque>

using namespace patchwise;

namespace {

struct Message {
    QString text, caption;
    QMessageBox::Icon icon;
};

class TestDialog : public ToolDialog {
public:
    using ToolDialog::ToolDialog;
    std::deque<QString> answers;  // what the open dialog returns; "" cancels
    QStringList patterns;
    QStringList folders;
    QList<Message> messages;
    int aboutShown = 0;

protected:
    QString chooseFile(const QString& filterName, const QString& pattern, const QString& folder) override
    {
        patterns << filterName + QLatin1Char(' ') + pattern;
        folders << folder;
        QString a = answers.empty() ? QString() : answers.front();
        if (!answers.empty()) answers.pop_front();
        return a;
    }
    void showMessage(const QString& text, const QString& caption, QMessageBox::Icon icon) override
    {
        messages.append({text, caption, icon});
    }
    void showAboutBox() override { ++aboutShown; }
};

// The real message boxes, answered here: each one that opens is noted and
// its OK button clicked.
class RealBoxDialog : public ToolDialog {
public:
    using ToolDialog::ToolDialog;
    QString choice;
    struct Seen {
        QString title, text;
        int width;
    };
    QList<Seen> seen;

    RealBoxDialog(const QString& ini, ToolDefinitions& defs) : ToolDialog(ini, defs)
    {
        connect(&poll_, &QTimer::timeout, this, [this] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box || !box->isVisible())
                return;
            seen.append({box->windowTitle(), box->text(), box->width()});
            box->button(QMessageBox::Ok)->click();
        });
        poll_.start(10);
    }

protected:
    QString chooseFile(const QString&, const QString&, const QString&) override { return choice; }

private:
    QTimer poll_;
};

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

QByteArray readFile(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return f.readAll();
}

QString mruDir()
{
    QSettings s(QStringLiteral("Kestrel Loft"), QStringLiteral("Patchwise"));
    return s.value(QStringLiteral("Quillbox/mru_dir")).toString();
}

} // namespace

class ToolDialogTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir_;
    QString startDir_;
    QString air() const { return dir_.filePath(QStringLiteral("plane.air")); }
    QString script() const { return dir_.filePath(QStringLiteral("patch.txt")); }
    QString ini() const { return dir_.filePath(QStringLiteral("Tarlo.ini")); }

private slots:
    void initTestCase()
    {
        QVERIFY(dir_.isValid());
        startDir_ = QDir::currentPath();
        writeFile(ini(), "[records]\n410=Elevator,tbl16\n41=Small,int16\n");
    }
    void init()
    {
        QSettings s(QStringLiteral("Kestrel Loft"), QStringLiteral("Patchwise"));
        s.clear();
        QDir::setCurrent(startDir_);
        writeFile(air(),
                airtest::AirImage()
                        .record(0x410, {0x03, 0x00, 0xfc, 0xff})
                        .record(0x41, {0x05, 0x00})
                        .bytes<QByteArray>());
        for (const QString& f : QDir(dir_.path()).entryList({QStringLiteral("plane.air.*"), QStringLiteral("*.txt")}))
            QFile::remove(dir_.filePath(f));
    }

    void startsEmptyInTheRememberedFolder()
    {
        ToolDefinitions defs;
        TestDialog fresh(ini(), defs);
        QCOMPARE(fresh.windowTitle(), QStringLiteral("Patchwise"));
        QCOMPARE(fresh.lastFolder(), QDir::homePath());
        QVERIFY(!fresh.fullDumpBox()->isChecked());
        QCOMPARE(fresh.fullDumpBox()->text(), QStringLiteral("Full Dump"));
        QVERIFY(fresh.airNameEdit()->isReadOnly());
        QVERIFY(fresh.scriptNameEdit()->isReadOnly());
        QVERIFY(!fresh.dumpNameEdit()->isReadOnly());
        QVERIFY(fresh.airNameEdit()->text().isEmpty());
        QCOMPARE(fresh.dumpButton()->text(), QStringLiteral("Dump"));
        QCOMPARE(fresh.selectAirButton()->text(), QStringLiteral("Select Air File"));
        QCOMPARE(fresh.selectScriptButton()->text(), QStringLiteral("Select Update File"));
        QCOMPARE(fresh.definitionPath(), ini());

        QSettings s(QStringLiteral("Kestrel Loft"), QStringLiteral("Patchwise"));
        s.setValue(QStringLiteral("Quillbox/mru_dir"), QStringLiteral("/srv/planes"));
        s.sync();
        TestDialog remembered(ini(), defs);
        QCOMPARE(remembered.lastFolder(), QStringLiteral("/srv/planes"));
    }

    void choosingFilesSetsNamesFolderAndSettings()
    {
        ToolDefinitions defs;
        TestDialog d(ini(), defs);
        d.answers = {air()};
        d.selectAirButton()->click();
        QCOMPARE(d.patterns.last(), QStringLiteral("Air *.AIR"));
        QCOMPARE(d.folders.last(), QDir::homePath());
        QCOMPARE(d.airPath(), air());
        QCOMPARE(d.airNameEdit()->text(), QStringLiteral("plane.air"));
        QCOMPARE(d.dumpNameEdit()->text(), QStringLiteral("plane.txt"));
        QCOMPARE(d.lastFolder(), dir_.path());
        QCOMPARE(mruDir(), dir_.path());
        QCOMPARE(QDir::currentPath(), QDir(dir_.path()).canonicalPath());

        // The script dialog starts in the last folder and leaves it as it is.
        d.answers = {script()};
        d.selectScriptButton()->click();
        QCOMPARE(d.patterns.last(), QStringLiteral("Text *.TXT"));
        QCOMPARE(d.folders.last(), dir_.path());
        QCOMPARE(d.scriptNameEdit()->text(), QStringLiteral("patch.txt"));

        // Cancelling clears the choice.
        d.answers = {QString()};
        d.selectScriptButton()->click();
        QVERIFY(d.scriptNameEdit()->text().isEmpty());
        QVERIFY(d.scriptPath().isEmpty());
        d.answers = {QString()};
        d.selectAirButton()->click();
        QVERIFY(d.airPath().isEmpty());
        QVERIFY(d.airNameEdit()->text().isEmpty());
        QVERIFY(d.dumpNameEdit()->text().isEmpty());
        QCOMPARE(mruDir(), dir_.path());  // a cancel stores nothing

        // A name without a dot gets the dump name "txt".
        d.answers = {dir_.filePath(QStringLiteral("noext"))};
        d.selectAirButton()->click();
        QCOMPARE(d.dumpNameEdit()->text(), QStringLiteral("txt"));
    }

    void missingChoicesAreReported()
    {
        ToolDefinitions defs;
        TestDialog d(ini(), defs);
        d.dumpButton()->click();
        d.updateButton()->click();
        d.answers = {air()};
        d.selectAirButton()->click();
        d.updateButton()->click();  // a script is still missing
        QCOMPARE(d.messages.size(), 3);
        QCOMPARE(d.messages[0].text, QStringLiteral("No Air File Selected"));
        QCOMPARE(d.messages[0].caption, QStringLiteral("Ledgeon"));
        QCOMPARE(d.messages[0].icon, QMessageBox::Critical);
        for (int i : {1, 2}) {
            QCOMPARE(d.messages[i].text, QStringLiteral("Files Not Selected"));
            QCOMPARE(d.messages[i].caption, QStringLiteral("Patchwise"));
            QCOMPARE(d.messages[i].icon, QMessageBox::Critical);
        }
        QVERIFY(!QFile::exists(dir_.filePath(QStringLiteral("plane.air.001"))));
        QVERIFY(!QFile::exists(dir_.filePath(QStringLiteral("plane.txt"))));
    }

    void dumpWritesBesideTheAirFile()
    {
        ToolDefinitions defs;
        TestDialog d(ini(), defs);
        d.answers = {air()};
        d.selectAirButton()->click();
        d.dumpNameEdit()->setText(QStringLiteral("listing.txt"));
        d.fullDumpBox()->setChecked(true);
        d.dumpButton()->click();
        QCOMPARE(d.messages.size(), 1);
        QCOMPARE(d.messages[0].text, QStringLiteral("listing.txt"));
        QCOMPARE(d.messages[0].caption, QStringLiteral("Air File Dumped"));
        QCOMPARE(d.messages[0].icon, QMessageBox::Warning);
        const QByteArray expected = "Found " + ini().toUtf8() +
                                    "\n\nRecord: 0410 Elevator\nPoints: 2\n3\n-4\n"
                                    "\nRecord: 0041 Small\nFIELD 0x41\t0x0\tINT16\t5\tSmall\n"
                                    "\n\nRecord count: 2\n";
        QCOMPARE(readFile(dir_.filePath(QStringLiteral("listing.txt"))), expected);

        // An emptied name: the path ends in the folder, nothing is written.
        d.dumpNameEdit()->clear();
        d.dumpButton()->click();
        QCOMPARE(d.messages.size(), 2);
        QCOMPARE(d.messages[1].text, QString());
        QCOMPARE(d.messages[1].caption, QStringLiteral("Error"));
        QCOMPARE(d.messages[1].icon, QMessageBox::Critical);
    }

    void messageBoxesAreWideEnoughForTheirCaptions()
    {
        // A bold title font and room for a window icon and three buttons.
        QFont title = QFontDatabase::systemFont(QFontDatabase::TitleFont);
        title.setBold(true);
        const QFontMetrics fm(title);
        for (const char* caption : {"Air File Dumped", "Air File Updated", "Files Not Selected", "Patchwise", "Error"}) {
            const QString c = QString::fromLatin1(caption);
            auto box = ToolDialog::makeMessageBox(nullptr, QStringLiteral("a.txt"), c, QMessageBox::Warning);
            QCOMPARE(box->windowTitle(), c);
            QCOMPARE(box->text(), QStringLiteral("a.txt"));
            QCOMPARE(box->standardButtons(), QMessageBox::StandardButtons(QMessageBox::Ok));
            box->show();
            QVERIFY(QTest::qWaitForWindowExposed(box.get()));
            QVERIFY2(box->width() >= fm.horizontalAdvance(c) + 6 * fm.height(), caption);
            QVERIFY(box->width() >= ToolDialog::captionWidth(c));
        }
        // A long caption widens the box further than a short one.
        QVERIFY(ToolDialog::captionWidth(QStringLiteral("Air File Dumped")) >
                ToolDialog::captionWidth(QStringLiteral("Error")));

        // The dialog's own box, after a dump.
        ToolDefinitions defs;
        RealBoxDialog d(ini(), defs);
        d.choice = air();
        d.selectAirButton()->click();
        d.dumpButton()->click();
        QCOMPARE(d.seen.size(), 1);
        QCOMPARE(d.seen[0].title, QStringLiteral("Air File Dumped"));
        QCOMPARE(d.seen[0].text, QStringLiteral("plane.txt"));
        QVERIFY(d.seen[0].width >= fm.horizontalAdvance(QStringLiteral("Air File Dumped")) + 6 * fm.height());
    }

    void updateThroughTheDialog()
    {
        ToolDefinitions defs;
        TestDialog d(ini(), defs);
        writeFile(script(), "record: 410\nPoints: 1\n9\n");
        d.answers = {air(), script()};
        d.selectAirButton()->click();
        d.selectScriptButton()->click();
        d.updateButton()->click();
        QCOMPARE(d.messages.size(), 1);
        QCOMPARE(d.messages[0].text, QStringLiteral("plane.air"));
        QCOMPARE(d.messages[0].caption, QStringLiteral("Air File Updated"));
        QCOMPARE(d.messages[0].icon, QMessageBox::Warning);
        QVERIFY(QFile::exists(dir_.filePath(QStringLiteral("plane.air.001"))));
        // The log lands in the current folder: the script's.
        QVERIFY(readFile(dir_.filePath(QStringLiteral("amod_log.txt"))).contains("Replacement record: 0410 Length 2"));
        QVERIFY(readFile(air()).startsWith(
                airtest::AirImage().record(0x410, {0x09, 0x00}).bytes<QByteArray>()));

        // The same script again: a second backup. A failing script: "Error".
        d.updateButton()->click();
        QVERIFY(QFile::exists(dir_.filePath(QStringLiteral("plane.air.002"))));
        writeFile(script(), "field 41 0 nosuchtype 1\n");
        d.updateButton()->click();
        QCOMPARE(d.messages.size(), 3);
        QCOMPARE(d.messages[2].text, QStringLiteral("plane.air"));
        QCOMPARE(d.messages[2].caption, QStringLiteral("Error"));
        QCOMPARE(d.messages[2].icon, QMessageBox::Critical);
    }

    void aboutFromButtonAndMenu()
    {
        ToolDefinitions defs;
        TestDialog d(ini(), defs);
        const auto buttons = d.findChildren<QPushButton*>();
        for (QPushButton* b : buttons)
            if (b->text() == QStringLiteral("About")) b->click();
        QAction* item = nullptr;
        for (QAction* a : d.actions())
            if (a->text() == QStringLiteral("&About Patchwise...")) item = a;
        QVERIFY(item);
        item->trigger();
        QCOMPARE(d.aboutShown, 2);

        AboutBox box;
        QCOMPARE(box.windowTitle(), QStringLiteral("About Patchwise"));
        bool hasVersion = false;
        for (QLabel* l : box.findChildren<QLabel*>()) hasVersion |= l->text() == QStringLiteral("Patchwise Version 1.80");
        QVERIFY(hasVersion);

        // For a look at the layout: PATCHWISE_SHOTS=/tmp/shots.
        if (QByteArray shots = qgetenv("PATCHWISE_SHOTS"); !shots.isEmpty()) {
            QDir().mkpath(QString::fromLocal8Bit(shots));
            d.answers = {air()};
            d.selectAirButton()->click();
            d.show();
            box.show();
            QVERIFY(d.grab().save(QString::fromLocal8Bit(shots) + QStringLiteral("/patchwise-dialog.png")));
            QVERIFY(box.grab().save(QString::fromLocal8Bit(shots) + QStringLiteral("/patchwise-about.png")));
        }
    }

    void quitEndsTheDialog()
    {
        ToolDefinitions defs;
        TestDialog d(ini(), defs);
        d.show();
        QPushButton* quit = nullptr;
        for (QPushButton* b : d.findChildren<QPushButton*>())
            if (b->text() == QStringLiteral("&Quit")) quit = b;
        QVERIFY(quit);
        quit->click();
        QVERIFY(!d.isVisible());
        QCOMPARE(d.result(), int(QDialog::Rejected));
    }
};

TARLO_TEST_MAIN(ToolDialogTest)
#include "ToolDialogTest.moc"
