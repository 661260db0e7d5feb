// The open file changed by another program: replaced by a rename or written
// in place. Save asks before it overwrites such a change; while there are no
// edits the window offers a reload in a bar, without popping up a dialog.

#include "RecordingFrame.h"
#include "common/TestAir.h"
#include "tests/common/IsolatedSettings.h"

#include <QAction>
#include <QFile>
#include <QApplication>
#include <QTemporaryDir>
#include <QtTest>

using namespace tarlo;

namespace {

using Frame = testsupport::RecordingFrame;

QByteArray other() { return testair::image({{0x2, QByteArray("\x00\x00\x00\x00", 4)}}); }

} // namespace

class ExternalChangeTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QString plane_;

    CMainFrame::Options options() const
    {
        CMainFrame::Options o;
        o.definitionsPath = dir_.filePath(QStringLiteral("Tarlo.ini"));
        return o;
    }
    // Another program writes a new file and renames it over the open one.
    void replaceByRename(const QByteArray& bytes)
    {
        const QString tmp = dir_.filePath(QStringLiteral("elsewhere.tmp"));
        QVERIFY(testair::writeFile(tmp, bytes));
        QVERIFY(std::rename(QFile::encodeName(tmp).constData(), QFile::encodeName(plane_).constData()) == 0);
    }
    void appendInPlace(const QByteArray& bytes)
    {
        QFile f(plane_);
        QVERIFY(f.open(QIODevice::Append));
        f.write(bytes);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(dir_.isValid());
        testair::writeFile(dir_.filePath(QStringLiteral("Tarlo.ini")), testair::kDefinitions);
        plane_ = dir_.filePath(QStringLiteral("plane.air"));
    }
    void init() { testair::writeFile(plane_, testair::sampleImage()); }

    void saveAsksBeforeOverwritingAReplacedFile()
    {
        Frame w(options());
        QVERIFY(w.openDocument(plane_, false));
        QVERIFY(!w.changedOnDisk());
        w.document().setModified();
        replaceByRename(other());
        QVERIFY(w.changedOnDisk());

        // Cancel: nothing written, the edits stay.
        QVERIFY(!w.saveDocument());
        QCOMPARE(w.asked, QStringList{QStringLiteral("plane.air was changed by another program. Overwrite it?")});
        QCOMPARE(testair::readFile(plane_), other());
        QVERIFY(w.document().isModified());

        // Overwrite: the document's bytes win, and the file is ours again.
        w.answers << ui::Answer::Overwrite;
        QVERIFY(w.saveDocument());
        QCOMPARE(testair::readFile(plane_), testair::sampleImage());
        QVERIFY(!w.changedOnDisk());
        // Saving again asks nothing: our own save is no change by another program.
        w.asked.clear();
        QVERIFY(w.saveDocument());
        QVERIFY(w.asked.isEmpty());
        QVERIFY(w.errors.isEmpty());
    }

    void reloadInsteadOfOverwritingAFileWrittenInPlace()
    {
        Frame w(options());
        QVERIFY(w.openDocument(plane_, false));
        w.document().setModified();
        const QByteArray extra = testair::image({{0x20, QByteArray("new\0", 4)}});
        appendInPlace(extra);
        w.answers << ui::Answer::Reload;
        QVERIFY(!w.saveDocument());
        QCOMPARE(w.asked.size(), 1);
        // The other program's file stands, and the document shows it.
        QCOMPARE(testair::readFile(plane_), testair::sampleImage() + extra);
        QVERIFY(!w.document().isModified());
        QCOMPARE(qsizetype(w.document().imageLength()), (testair::sampleImage() + extra).size());
        QVERIFY(!w.changedOnDisk());
    }

    void barOffersAReloadWhileUnmodified()
    {
        Frame w(options());
        w.show();
        QVERIFY(w.openDocument(plane_, false));
        w.checkDiskFile();
        QVERIFY(!w.changedBarVisible());

        replaceByRename(other());
        // The watcher notices by itself; checkDiskFile() is what it calls.
        QTRY_VERIFY_WITH_TIMEOUT(w.changedBarVisible(), 10000);
        QCOMPARE(w.changedBarText(), QStringLiteral("plane.air was changed by another program."));
        QAction* reload = w.findChild<QAction*>(QStringLiteral("changedReload"));
        QVERIFY(reload && reload->isVisible());
        QVERIFY(w.asked.isEmpty());  // no dialog of its own accord
        reload->trigger();
        QVERIFY(!w.changedBarVisible());
        const QByteArray replaced = other();
        QCOMPARE(w.document().image(), std::vector<std::uint8_t>(replaced.begin(), replaced.end()));

        // With edits the bar only warns: a reload from there would lose them.
        w.document().setModified();
        appendInPlace(QByteArray(3, 'x'));
        w.checkDiskFile();
        QVERIFY(w.changedBarVisible());
        QCOMPARE(w.changedBarText(),
                 QStringLiteral("plane.air was changed by another program. Save asks before overwriting it."));
        QVERIFY(!reload->isVisible());

        // Ignore hides it until the file changes again.
        w.findChild<QAction*>(QStringLiteral("changedIgnore"))->trigger();
        QVERIFY(!w.changedBarVisible());
        w.checkDiskFile();
        QVERIFY(!w.changedBarVisible());
        appendInPlace(QByteArray(5, 'y'));
        w.checkDiskFile();
        QVERIFY(w.changedBarVisible());

        // A file that is gone is no change to warn about; Save writes it anew.
        QFile::remove(plane_);
        w.checkDiskFile();
        QVERIFY(!w.changedBarVisible());
        w.asked.clear();
        QVERIFY(w.saveDocument());
        QVERIFY(w.asked.isEmpty());
        QVERIFY(QFile::exists(plane_));
    }
};

int main(int argc, char** argv)
{
    // Settings, state and the association go to a scratch home, set before
    // Qt reads the environment.
    testsupport::IsolatedSettings home;
    QApplication app(argc, argv);
    ExternalChangeTest t;
    return QTest::qExec(&t, argc, argv);
}
#include "ExternalChangeTest.moc"
