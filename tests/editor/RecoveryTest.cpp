// Unsaved edits kept in a recovery record and offered back: after Alt+X,
// Recover rebuilds the document (with its undo history), Discard and Save
// remove the record, a file changed on disk is said, a damaged record is
// refused and set aside, and a second window never writes over the first's.

#include "common/TestAir.h"
#include "RecordingFrame.h"
#include "browser/EditingView.h"
#include "editor/RecoveryKeeper.h"
#include "tests/common/IsolatedSettings.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QUndoStack>
#include <QtTest>

using namespace tarlo;

namespace {

class Frame : public testsupport::RecordingFrame {
public:
    using RecordingFrame::RecordingFrame;
    int ended = 0;
    void endProgram() override { ++ended; }
};

// Writes the field "Count" of 0x10 (entry 4) and adds a record at the end.
void edit(model::CTLDoc& doc, std::uint8_t count)
{
    QVERIFY(doc.setBytes(4, 0, std::vector<std::uint8_t>{count}));
    QVERIFY(doc.insertRecord(int(doc.entryCount()), 0x20, {'n', 'e', 'w', 0}));
}

std::vector<std::uint8_t> composed(model::CTLDoc& doc)
{
    doc.ComposeImage();
    return doc.image();
}

void altX(Frame& w)
{
    w.show();
    w.view()->setFocus();
    QTest::keyClick(w.view(), Qt::Key_X, Qt::AltModifier);
    QCOMPARE(w.ended, 1);
}

} // namespace

class RecoveryTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QString plane_, record_;

    CMainFrame::Options options() const
    {
        CMainFrame::Options o;
        o.definitionsPath = dir_.filePath(QStringLiteral("Tarlo.ini"));
        return o;
    }
    // A window that edits plane.air and ends with Alt+X; returns the document it left.
    std::vector<std::uint8_t> leaveEdits(std::uint8_t count)
    {
        Frame w(options());
        w.show();
        [&] { QVERIFY(w.openDocument(plane_, false)); }();
        edit(w.document(), count);
        altX(w);
        [&] { QVERIFY(w.asked.isEmpty()); }(); // Alt+X asks nothing
        return composed(w.document());
    }

private slots:
    void initTestCase()
    {
        QVERIFY(dir_.isValid());
        testair::writeFile(dir_.filePath(QStringLiteral("Tarlo.ini")), testair::kDefinitions);
        plane_ = dir_.filePath(QStringLiteral("plane.air"));
        record_ = RecoveryKeeper::recordPathFor(plane_);
        QVERIFY(record_.startsWith(
                qEnvironmentVariable("XDG_STATE_HOME") + QStringLiteral("/tarlo/recovery/")));
    }
    void init()
    {
        testair::writeFile(plane_, testair::sampleImage());
        QDir(RecoveryKeeper::folder()).removeRecursively();
    }

    void altXThenReopenRecoversTheEdits()
    {
        const auto left = leaveEdits(9);
        QVERIFY(QFile::exists(record_));
        QCOMPARE(testair::readFile(plane_), testair::sampleImage()); // nothing saved

        Frame w(options());
        w.answers << ui::Answer::Recover;
        QVERIFY(w.openDocument(plane_, false));
        QCOMPARE(w.asked.size(), 1);
        QVERIFY2(QRegularExpression(
                         QStringLiteral("^plane\\.air has unsaved changes from "
                                        "\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d \\(2 edits\\)\\. "
                                        "Recover them\\?$"))
                         .match(w.asked.first())
                         .hasMatch(),
                qPrintable(w.asked.first()));
        QVERIFY(w.document().isModified());
        QCOMPARE(composed(w.document()), left);
        QCOMPARE(w.statusText(), QStringLiteral("Recovered 2 edits from %1").arg(record_));
        // The recovered edits are on the undo history: undoing them gives the file.
        QCOMPARE(w.undoStack()->count(), 2);
        w.undoStack()->undo();
        w.undoStack()->undo();
        QVERIFY(!w.document().isModified());
        const QByteArray file = testair::readFile(plane_);
        QCOMPARE(composed(w.document()), std::vector<std::uint8_t>(file.begin(), file.end()));
        // Back at the saved state there is nothing to recover.
        QVERIFY(!QFile::exists(record_));
        w.document().setModified(false);
    }

    void discardRemovesTheRecordAndNotNowKeepsIt()
    {
        leaveEdits(9);
        const QByteArray kept = testair::readFile(record_);
        {
            Frame w(options());
            w.answers << ui::Answer::Later;
            QVERIFY(w.openDocument(plane_, false));
            QVERIFY(!w.document().isModified());
            QCOMPARE(testair::readFile(record_), kept);
            QVERIFY(w.statusText().startsWith(QStringLiteral("Earlier unsaved changes wait in")));
            // This window's edits do not take the waiting record's place.
            edit(w.document(), 3);
            altX(w);
            QCOMPARE(testair::readFile(record_), kept);
            w.document().setModified(false);
        }
        Frame w(options());
        w.answers << ui::Answer::Discard;
        QVERIFY(w.openDocument(plane_, false));
        QCOMPARE(w.asked.size(), 1);
        QVERIFY(!QFile::exists(record_));
        QVERIFY(!w.document().isModified());
        QCOMPARE(testair::readFile(plane_), testair::sampleImage());
        // Asked once: the next open finds nothing to offer.
        QVERIFY(w.openDocument(plane_, false));
        QCOMPARE(w.asked.size(), 1);
    }

    void saveAndDeclinedChangesRemoveTheRecord()
    {
        Frame w(options());
        QVERIFY(w.openDocument(plane_, false));
        edit(w.document(), 5);
        // Written by itself within about two seconds of the edit.
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(record_), 2500);
        QVERIFY(w.saveDocument());
        QVERIFY(!QFile::exists(record_));

        edit(w.document(), 6);
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(record_), 2500);
        w.answers << ui::Answer::No;
        QVERIFY(w.saveModified());
        QVERIFY(!QFile::exists(record_));

        // Reload throws the changes away, and their record with them.
        edit(w.document(), 7);
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(record_), 2500);
        w.reloadDocument();
        QVERIFY(!QFile::exists(record_));
        QVERIFY(!w.document().isModified());
    }

    void aChangedFileIsSaidAndTheEditsMadeToIt()
    {
        leaveEdits(9);
        const QByteArray extra = testair::image({{0x2, QByteArray("\x00\x00\x00\x02", 4)}});
        testair::writeFile(plane_, testair::sampleImage() + extra);

        Frame w(options());
        w.answers << ui::Answer::Recover;
        QVERIFY(w.openDocument(plane_, false));
        QCOMPARE(w.asked.size(), 1);
        QVERIFY(w.asked.first().contains(QStringLiteral("plane.air was changed on disk since then: the edits "
                                                        "would be made to the file as it is now.")));
        QVERIFY(w.document().isModified());
        QCOMPARE(w.document().data(4)[0], 9);
        QCOMPARE(w.document().recordCount(), 5); // the other program's record and the added one
        w.document().setModified(false);
    }

    void aDamagedRecordIsRefusedAndSetAside()
    {
        leaveEdits(9);
        QByteArray bytes = testair::readFile(record_);
        bytes[bytes.size() / 2] = char(bytes[bytes.size() / 2] ^ 0x10);
        testair::writeFile(record_, bytes);

        Frame w(options());
        QVERIFY(w.openDocument(plane_, false));
        QVERIFY(w.asked.isEmpty());
        QCOMPARE(w.errors.size(), 1);
        QCOMPARE(w.errors.first(),
                QStringLiteral(
                        "The unsaved changes of plane.air could not be recovered. The recovery record is "
                        "damaged or cut short.\nThe record was kept as %1.bad.")
                        .arg(record_));
        QVERIFY(!QFile::exists(record_));
        QCOMPARE(testair::readFile(record_ + QStringLiteral(".bad")), bytes);
        QVERIFY(!w.document().isModified());

        // A record of a newer format is refused the same way, beside the first.
        QByteArray future = testair::readFile(record_ + QStringLiteral(".bad"));
        future[8] = 9;
        testair::writeFile(record_, future);
        QVERIFY(w.openDocument(plane_, false));
        QCOMPARE(w.errors.size(), 2);
        QVERIFY(w.errors.last().contains(QStringLiteral("newer version of Tarlo")));
        QVERIFY(QFile::exists(record_ + QStringLiteral(".bad1")));
    }

    void aSecondWindowLeavesTheFirstWindowsRecordAlone()
    {
        Frame first(options());
        QVERIFY(first.openDocument(plane_, false));
        edit(first.document(), 4);
        altX(first);
        QVERIFY(QFile::exists(record_));
        const QByteArray firsts = testair::readFile(record_);

        Frame second(options());
        QVERIFY(second.openDocument(plane_, false));
        QVERIFY(second.asked.isEmpty()); // the live window's record is not offered
        QCOMPARE(second.statusText(),
                QStringLiteral("Another Tarlo window has this file open; it keeps the unsaved changes."));
        edit(second.document(), 8);
        altX(second);
        QCOMPARE(testair::readFile(record_), firsts);
        first.document().setModified(false);
        second.document().setModified(false);
    }
};

int main(int argc, char** argv)
{
    // Settings, state and the association go to a scratch home, set before
    // Qt reads the environment.
    testsupport::IsolatedSettings home;
    QApplication app(argc, argv);
    RecoveryTest t;
    return QTest::qExec(&t, argc, argv);
}
#include "RecoveryTest.moc"
