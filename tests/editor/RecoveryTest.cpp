// Unsaved edits kept in a recovery record and offered back: after Alt+X,
// Recover rebuilds the document (with its undo history), Discard and Save
// remove the record, a file changed on disk is said and its Save asks before
// overwriting, a damaged record is refused and set aside, a second window
// never writes over the first's, the writer thread keeps the last bytes, and
// the system ending the program keeps what the timer had not yet written.

#include "model/Recovery.h"
#include "RecordingFrame.h"
#include "browser/EditingView.h"
#include "common/TestAir.h"
#include "editor/CTLApp.h"
#include "editor/RecordWriter.h"
#include "editor/RecoveryKeeper.h"
#include "tests/common/IsolatedSettings.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QUndoStack>
#include <QtTest>

#include <algorithm>
#include <csignal>
#include <mutex>

using namespace tarlo;

namespace {

class Frame : public testsupport::RecordingFrame {
public:
    using RecordingFrame::RecordingFrame;
    int ended = 0, endedBy = 0;
    void endProgram() override { ++ended; }
    void endBySignal(int sig) override { endedBy = sig; }
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

        // Save asks, as for any change by another program: Cancel writes nothing.
        const QByteArray other = testair::readFile(plane_);
        w.answers << ui::Answer::Cancel;
        QVERIFY(!w.saveDocument());
        QCOMPARE(w.asked.size(), 2);
        QCOMPARE(w.asked.last(), QStringLiteral("plane.air was changed by another program. Overwrite it?"));
        QCOMPARE(testair::readFile(plane_), other);
        QVERIFY(QFile::exists(record_));
        // Overwrite saves, and a later save has nothing to ask.
        w.answers << ui::Answer::Overwrite;
        QVERIFY(w.saveDocument());
        QCOMPARE(w.asked.size(), 3);
        const QByteArray file = testair::readFile(plane_);
        QCOMPARE(std::vector<std::uint8_t>(file.begin(), file.end()), composed(w.document()));
        QVERIFY(!QFile::exists(record_));
        edit(w.document(), 4);
        QVERIFY(w.saveDocument());
        QCOMPARE(w.asked.size(), 3);
    }

    void recoveredEditsOnAnUnchangedFileSaveWithoutAQuestion()
    {
        const auto left = leaveEdits(9);
        Frame w(options());
        w.answers << ui::Answer::Recover;
        QVERIFY(w.openDocument(plane_, false));
        QVERIFY(w.saveDocument());
        QCOMPARE(w.asked.size(), 1); // only the offer
        const QByteArray file = testair::readFile(plane_);
        QCOMPARE(std::vector<std::uint8_t>(file.begin(), file.end()), left);
        QVERIFY(!w.document().isModified());
    }

    void reloadAfterRecoveringOntoAChangedFileAsksNoMore()
    {
        leaveEdits(9);
        testair::writeFile(plane_, testair::sampleImage() + testair::image({{0x2, QByteArray(4, '\1')}}));
        Frame w(options());
        w.answers << ui::Answer::Recover << ui::Answer::Reload;
        QVERIFY(w.openDocument(plane_, false));
        QVERIFY(!w.saveDocument()); // Reload: the file as the other program left it
        QVERIFY(!w.document().isModified());
        edit(w.document(), 2);
        QVERIFY(w.saveDocument());
        QCOMPARE(w.asked.size(), 2);
    }

    void aTimedRecordIsWrittenAsideAndExact()
    {
        Frame w(options());
        QVERIFY(w.openDocument(plane_, false));
        edit(w.document(), 6);
        // Written by the writer thread: it appears whole, never torn.
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(record_), 2500);
        model::recovery::Record rec;
        const QByteArray bytes = testair::readFile(record_);
        QCOMPARE(model::recovery::decode(std::vector<std::uint8_t>(bytes.begin(), bytes.end()), rec),
                std::string());
        QCOMPARE(rec.edits.size(), std::size_t(2));
        model::CTLDoc doc;
        doc.setDefinitionsPath(options().definitionsPath.toStdString());
        QVERIFY(!doc.load(plane_.toStdString()));
        QCOMPARE(model::recovery::apply(doc, rec, true), std::string());
        QCOMPARE(composed(doc), composed(w.document()));
        w.document().setModified(false);
    }

    void aRecordThatCannotBeWrittenIsSaid()
    {
        Frame w(options());
        QVERIFY(w.openDocument(plane_, false));
        QVERIFY(QDir().mkpath(record_)); // a folder where the record goes
        edit(w.document(), 5);
        QTRY_VERIFY_WITH_TIMEOUT(
                w.statusText().startsWith(QStringLiteral("Unsaved changes could not be kept for recovery: ")),
                3000);
        QVERIFY2(w.statusText().contains(QStringLiteral(".rec")), qPrintable(w.statusText()));
        QVERIFY(QFileInfo(record_).isDir());
        w.document().setModified(false);
    }

    void theWriterKeepsOrderAndTheLastBytes()
    {
        const QString target = dir_.filePath(QStringLiteral("writer.rec"));
        QList<std::uint64_t> done;
        QStringList errors;
        std::mutex m;
        {
            RecordWriter writer([&](std::uint64_t ticket, const base::fileio::Error& e) {
                std::lock_guard lock(m);
                done << ticket;
                if (e)
                    errors << QString::fromStdString(e.message);
            });
            for (std::uint8_t i = 1; i <= 50; ++i)
                writer.write(target.toStdString(), std::vector<std::uint8_t>(1000, i), i);
            writer.wait();
            QCOMPARE(testair::readFile(target), QByteArray(1000, char(50)));
            // Later tickets only, each once, in order, the last among them.
            QVERIFY(!done.isEmpty());
            QCOMPARE(done.last(), std::uint64_t(50));
            QVERIFY(std::is_sorted(done.begin(), done.end()));
            QVERIFY(std::adjacent_find(done.begin(), done.end()) == done.end());

            // A removal after writes wins over the ones still waiting.
            for (std::uint8_t i = 1; i <= 20; ++i)
                writer.write(target.toStdString(), std::vector<std::uint8_t>(100000, i), 100 + i);
            QVERIFY(!writer.remove(target.toStdString()));
            writer.wait();
            QVERIFY(!QFile::exists(target));
            QVERIFY(!writer.remove(target.toStdString())); // nothing to remove is no failure

            // A failure is reported with its ticket; the destructor finishes the last write.
            writer.write(dir_.filePath(QStringLiteral("no/folder/x.rec")).toStdString(), {1}, 7);
            writer.write(target.toStdString(), {9}, 8);
        }
        QCOMPARE(testair::readFile(target), QByteArray(1, char(9)));
        QCOMPARE(errors.size(), 1);
        QVERIFY2(errors.first().contains(QStringLiteral("no/folder")), qPrintable(errors.first()));
        QCOMPARE(done.mid(done.size() - 2), (QList<std::uint64_t>{7, 8}));
        QFile::remove(target);
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

    // A logout or shutdown ends the program with SIGTERM, a closed terminal
    // with SIGHUP: what was edited since the last record is kept first.
    void theSystemEndingTheProgramKeepsEveryEdit()
    {
        CTLApp::setFrameFactory([](const CMainFrame::Options& o) { return std::make_unique<Frame>(o); });
        const auto reset = qScopeGuard([] { CTLApp::setFrameFactory(nullptr); });
        struct sigaction before = {}, after = {};
        ::sigaction(SIGTERM, nullptr, &before);
        std::vector<std::uint8_t> left;
        {
            CTLApp app(dir_.filePath(QStringLiteral("tarlo")));
            QVERIFY(!app.initInstance({plane_}).has_value());
            auto* w = static_cast<Frame*>(app.mainFrame());
            edit(w->document(), 5);
            QVERIFY(!QFile::exists(record_)); // its timer has not run
            ::raise(SIGTERM);
            QTRY_COMPARE(w->endedBy, SIGTERM);
            QVERIFY(QFile::exists(record_));
            QVERIFY(w->asked.isEmpty());
            left = composed(w->document());
        }
        // The watch gave the test's own handler back.
        ::sigaction(SIGTERM, nullptr, &after);
        QVERIFY(after.sa_handler == before.sa_handler);

        Frame w(options());
        w.answers << ui::Answer::Recover;
        QVERIFY(w.openDocument(plane_, false));
        QCOMPARE(w.asked.size(), 1);
        QCOMPARE(w.statusText(), QStringLiteral("Recovered 2 edits from %1").arg(record_));
        QCOMPARE(composed(w.document()), left);
        w.document().setModified(false);
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
