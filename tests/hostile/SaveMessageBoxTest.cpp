// The editor's window facing hostile files and failing disks. File > Save
// when the disk fails: the user sees a message box with the cause and an OK
// button, the file on disk keeps its old bytes, the document stays modified,
// and closing the window asks again instead of dropping the changes. Malformed
// images open and show as a tree.
#include "FaultOps.h"
#include "HostileSupport.h"

#include "browser/EditingView.h"
#include "editor/CMainFrame.h"
#include "tests/common/IsolatedSettings.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <filesystem>

using namespace hostile;
using namespace airtest;

namespace {

const Bytes kOriginal = concat({record(0x1F5, {'o', 'l', 'd', 0}), record(0x410, Bytes(40, 0x11))});

// Answers every modal message box: Yes to a question, else OK. Keeps what
// each box said and which buttons it offered.
class BoxAnswerer : public QObject {
public:
    struct Seen {
        QString title, text;
        QList<QMessageBox::StandardButton> buttons;
        QMessageBox::Icon icon;
    };
    QList<Seen> seen;
    QString screenshot; // the first box is grabbed here when set

    BoxAnswerer()
    {
        connect(&timer_, &QTimer::timeout, this, [this] { poll(); });
        timer_.start(20);
    }

private:
    void poll()
    {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible())
            return;
        Seen s{box->windowTitle(), box->text(), {}, box->icon()};
        for (QAbstractButton* b : box->buttons())
            s.buttons << box->standardButton(b);
        if (seen.isEmpty() && !screenshot.isEmpty()) {
            QDir().mkpath(QFileInfo(screenshot).path());
            box->grab().save(screenshot);
        }
        seen << s;
        QAbstractButton* answer = box->button(QMessageBox::Yes);
        if (!answer)
            answer = box->button(QMessageBox::Ok);
        if (!answer)
            answer = box->buttons().value(0);
        answer->click();
    }
    QTimer timer_;
};

} // namespace

class SaveMessageBoxTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QString plane_;

    tarlo::CMainFrame::Options options() const
    {
        tarlo::CMainFrame::Options o;
        o.programPath = dir_.filePath(QStringLiteral("tarlo"));
        o.definitionsPath = dir_.filePath(QStringLiteral("Tarlo.ini"));
        o.helpPath = dir_.filePath(QStringLiteral("Tarlo.html"));
        return o;
    }
    std::string plane() const { return plane_.toStdString(); }

private slots:
    void initTestCase()
    {
        QVERIFY(dir_.isValid());
        plane_ = dir_.filePath(QStringLiteral("plane.air"));
    }

    void init()
    {
        std::error_code ec;
        std::filesystem::permissions(plane(), std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ec);
        writeBytes(plane(), kOriginal);
    }

    void diskFullShowsTheCauseAndKeepsTheFile()
    {
        tarlo::CMainFrame w(options());
        w.show();
        QVERIFY(w.openDocument(plane_, false));
        QVERIFY(w.document().setRecordData(1, Bytes(4000, 0x42)));
        w.document().setModified();

        BoxAnswerer boxes;
        // A picture of the box only when asked: TARLO_SHOT_DIR=/some/folder.
        if (const QString shots = qEnvironmentVariable("TARLO_SHOT_DIR"); !shots.isEmpty())
            boxes.screenshot = shots + QStringLiteral("/hostile-save-disk-full.png");
        {
            Faults faults;
            plan().writeBudget = 100;
            plan().writeErrno = ENOSPC;
            w.action(QStringLiteral("save"))->trigger();
            QCOMPARE(boxes.seen.size(), 1);
            QCOMPARE(boxes.seen[0].text, QStringLiteral("Destination disk drive is full."));
            QCOMPARE(boxes.seen[0].buttons, QList<QMessageBox::StandardButton>{QMessageBox::Ok});
            QCOMPARE(boxes.seen[0].icon, QMessageBox::Warning);
            QCOMPARE(readBytes(plane()), kOriginal);
            QVERIFY(w.document().isModified());

            // Closing asks to save; the save fails again, so the window stays
            // open with the changes rather than dropping them.
            QVERIFY(!w.close());
            QVERIFY(w.isVisible());
            QCOMPARE(boxes.seen.size(), 3);
            QCOMPARE(boxes.seen[1].text, QStringLiteral("Save changes to plane.air?"));
            QCOMPARE(boxes.seen[2].text, QStringLiteral("Destination disk drive is full."));
            QCOMPARE(readBytes(plane()), kOriginal);
            QVERIFY(w.document().isModified());
        }
        // With room on the disk again the same changes are saved.
        w.action(QStringLiteral("save"))->trigger();
        QCOMPARE(boxes.seen.size(), 3);
        QCOMPARE(readBytes(plane()).size(), std::size_t(8 + 4000 + 8 + 40));
        QVERIFY(!w.document().isModified());
    }

    // Every hand-made hostile image of the fuzz corpus, with its definition
    // text, opens in the window and shows as a fully expanded, painted tree.
    void hostileImagesOpenInTheTree()
    {
        const std::filesystem::path corpus = std::filesystem::path(TARLO_SOURCE_DIR) / "fuzz/corpus/image";
        int opened = 0;
        for (const auto& e : std::filesystem::directory_iterator(corpus)) {
            const Bytes input = readBytes(e.path());
            if (input.size() < 2)
                continue;
            const std::size_t iniLength = std::min<std::size_t>(input[0] | input[1] << 8, input.size() - 2);
            writeBytes(dir_.filePath(QStringLiteral("Tarlo.ini")).toStdString(),
                    Bytes(input.begin() + 2, input.begin() + 2 + std::ptrdiff_t(iniLength)));
            writeBytes(plane(), Bytes(input.begin() + 2 + std::ptrdiff_t(iniLength), input.end()));

            tarlo::CMainFrame w(options());
            w.show();
            QVERIFY2(w.openDocument(plane_, false), e.path().c_str());
            w.view()->expandAll();
            QVERIFY(!w.grab().isNull());
            ++opened;
        }
        QVERIFY(opened >= 10);
    }

    void readOnlyAndVanishedFilesAreReported()
    {
        tarlo::CMainFrame w(options());
        w.show();
        QVERIFY(w.openDocument(plane_, false));
        w.document().setModified();
        BoxAnswerer boxes;

        std::filesystem::permissions(plane(), std::filesystem::perms::owner_read);
        w.action(QStringLiteral("save"))->trigger();
        QCOMPARE(boxes.seen.size(), 1);
        QCOMPARE(boxes.seen[0].text,
                QStringLiteral("Unable to write to %1, it is read-only or opened by someone else.")
                        .arg(plane_));
        QCOMPARE(readBytes(plane()), kOriginal);
        std::filesystem::permissions(plane(), std::filesystem::perms::owner_write, std::filesystem::perm_options::add);

        // Reload of a file deleted behind the editor's back: the box names
        // the file and the document keeps its data.
        std::filesystem::remove(plane());
        w.action(QStringLiteral("reload"))->trigger();
        QCOMPARE(boxes.seen.size(), 2);
        QCOMPARE(boxes.seen[1].text, QStringLiteral("%1 was not found.").arg(plane_));
        QVERIFY(w.document().hasData());
        w.document().setModified(false);
    }
};

int main(int argc, char** argv)
{
    testsupport::IsolatedSettings settings;
    // The file association lands in a scratch home.
    QTemporaryDir home;
    qputenv("XDG_DATA_HOME", home.filePath(QStringLiteral("data")).toLocal8Bit());
    qputenv("HOME", home.path().toLocal8Bit());
    QApplication app(argc, argv);
    SaveMessageBoxTest t;
    return QTest::qExec(&t, argc, argv);
}

#include "SaveMessageBoxTest.moc"
