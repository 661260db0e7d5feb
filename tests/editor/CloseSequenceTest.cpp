// The main window's close sequence with table windows open: every table window
// closes as it closes itself before "Save changes to %1?" is asked, so that its
// edits are in the file after Yes and nowhere after No. Open, Reload and a
// dropped file treat them the same way. The questions are answered through the
// main window's seam; the file's bytes are read back from disk.
#include "RecordingFrame.h"
#include "base/FileIO.h"
#include "browser/EditingView.h"
#include "common/AirImage.h"
#include "editor/CMainFrame.h"
#include "tables/PageWnd.h"
#include "tables/TableRegistry.h"
#include "tables/TableWnd.h"
#include "tables/TblDblWnd.h"
#include "tests/common/IsolatedSettings.h"

#include <QAction>
#include <QMimeData>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <bit>
#include <fstream>
#include <functional>

namespace {

using Bytes = std::vector<std::uint8_t>;

const char* kDefinitions = "[Records]\n60=Curve,tbl16\n61=Points,tbldb\n62=Grid,tbl3d\n";
// List indexes of the three records.
constexpr int kCurve = 1, kPoints = 2, kGrid = 3;

double doubleAt(const Bytes& b, std::size_t off)
{
    std::uint64_t u = 0;
    for (int i = 0; i < 8; ++i)
        u |= std::uint64_t(b.at(off + i)) << (8 * i);
    return std::bit_cast<double>(u);
}
// Curve: 3 values; Points: 2 points; Grid: 2 columns of 2 rows, 1 .. 4.
Bytes image()
{
    return airtest::AirImage()
            .record(0x60, airtest::u16s({10, 20, 30}))
            .record(0x61, airtest::points({{0, 1}, {1, 2}}))
            .record(0x62, airtest::doubles({2, 2}, {1, 2, 3, 4}))
            .bytes();
}
// Byte offsets in the file of record data: 8 + 6, then + 8 + 36, then + 8.
constexpr std::size_t kCurveData = 8, kPointsData = kCurveData + 6 + 8, kGridData = kPointsData + 36 + 8;

Bytes readFile(const QString& path)
{
    std::ifstream in(path.toStdString(), std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

// The main window with the record editors, its questions answered by the test.
class Frame : public testsupport::RecordingFrame {
public:
    explicit Frame(const Options& o) : RecordingFrame(o)
    {
        // How many table windows were still open when the question came.
        boxes.onAsk = [this] { tablesOpenAtQuestion << int(tables::TableRegistry::openWindows().size()); };
    }
    QString openChoice;
    int ended = 0;
    QList<int> tablesOpenAtQuestion;

    QString chooseOpenFile() override { return openChoice; }
    void endProgram() override { ++ended; }
    browser::EditingView* editingView() const { return view(); }
};

} // namespace

class CloseSequenceTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QString plane_, other_;
    Bytes original_;

    std::unique_ptr<Frame> openFrame()
    {
        tarlo::CMainFrame::Options o;
        o.definitionsPath = dir_.filePath(QStringLiteral("Tarlo.ini"));
        auto f = std::make_unique<Frame>(o);
        f->show();
        if (!QTest::qWaitForWindowExposed(f.get()))
            return nullptr;
        if (!f->openDocument(plane_, false))
            return nullptr;
        return f;
    }

    // Opens the table window of entry i and answers it.
    template <typename W>
    W* openTable(Frame& f, int i)
    {
        f.editingView()->activateEntry(i);
        const auto open = tables::TableRegistry::openWindows();
        if (open.isEmpty())
            return nullptr;
        auto* w = qobject_cast<W*>(open.last());
        if (w && !QTest::qWaitForWindowExposed(w))
            return nullptr;
        return w;
    }

    // Grid: 9 typed into (1, 1) and committed. Answers the value as stored.
    double editGrid(Frame& f)
    {
        auto* g = openTable<tables::CPageWnd>(f, kGrid);
        if (!g)
            return 0;
        QTest::keyClick(g, Qt::Key_Return);
        QTest::keyClicks(g->cellEditor(), QStringLiteral("9"));
        QTest::keyClick(g->cellEditor(), Qt::Key_Return);
        return 9.0;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(dir_.isValid());
        std::ofstream(dir_.filePath(QStringLiteral("Tarlo.ini")).toStdString()) << kDefinitions;
        plane_ = dir_.filePath(QStringLiteral("plane.air"));
        other_ = dir_.filePath(QStringLiteral("other.air"));
        original_ = image();
    }

    void init()
    {
        QVERIFY(!base::fileio::writeFileAtomic(plane_.toStdString(), original_));
        const Bytes small = airtest::record(0x60, {1, 0});
        QVERIFY(!base::fileio::writeFileAtomic(other_.toStdString(), small));
    }

    void cleanup()
    {
        for (tables::TableFrame* w : tables::TableRegistry::openWindows())
            w->abandon();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    void exitWithTableEdits_data()
    {
        QTest::addColumn<QString>("edit");
        QTest::addColumn<int>("answer");
        QTest::addColumn<QString>("how"); // Exit command or the close box
        for (const char* edit : {"points by key", "points by value box", "grid cell", "curve not confirmed"})
            for (auto answer : {ui::Answer::Yes, ui::Answer::No})
                for (const char* how : {"exit", "close box"})
                    QTest::addRow("%s, %s, %s", edit, answer == ui::Answer::Yes ? "Yes" : "No", how)
                            << QString::fromLatin1(edit) << int(answer) << QString::fromLatin1(how);
    }

    void exitWithTableEdits()
    {
        QFETCH(QString, edit);
        QFETCH(int, answer);
        QFETCH(QString, how);
        auto f = openFrame();
        QVERIFY(f);

        Bytes expected = original_;
        bool asks = true;
        if (edit == QLatin1String("points by key")) {
            auto* w = openTable<tables::TblDblWnd>(*f, kPoints);
            QVERIFY(w);
            QTest::keyClick(w, Qt::Key_Up);
            QVERIFY(!f->document().isModified()); // the window holds the change until it closes
            const double y = w->model().ys()[0];
            QVERIFY(y != 1.0);
            Bytes y8;
            airtest::appendLE(y8, y);
            std::copy(y8.begin(), y8.end(), expected.begin() + kPointsData + 12);
        } else if (edit == QLatin1String("points by value box")) {
            auto* w = openTable<tables::TblDblWnd>(*f, kPoints);
            QVERIFY(w);
            QTest::keyClick(w, Qt::Key_Y);
            QVERIFY(w->valueBoxOpen());
            w->valueBox()->selectAll();
            QTest::keyClicks(w->valueBox(), QStringLiteral("5.5"));
            QTest::keyClick(w->valueBox(), Qt::Key_Return);
            QVERIFY(f->document().isModified());
            Bytes y8;
            airtest::appendLE(y8, 5.5);
            std::copy(y8.begin(), y8.end(), expected.begin() + kPointsData + 12);
        } else if (edit == QLatin1String("grid cell")) {
            const double v = editGrid(*f);
            Bytes v8;
            airtest::appendLE(v8, v);
            // Column 1, row 1 of 2 rows: the fourth value.
            std::copy(v8.begin(), v8.end(), expected.begin() + kGridData + 8 + 3 * 8);
        } else {
            auto* w = openTable<tables::TableWnd>(*f, kCurve);
            QVERIFY(w);
            QTest::keyClick(w, Qt::Key_Up); // changed, but Enter never pressed
            asks = false;
        }
        QCOMPARE(tables::TableRegistry::openWindows().size(), 1);

        f->answers = {ui::Answer(answer)};
        if (how == QLatin1String("exit")) {
            f->action(QStringLiteral("exit"))->trigger();
            QVERIFY(!f->isVisible());
        } else {
            QVERIFY(f->close());
        }
        QVERIFY(tables::TableRegistry::openWindows().isEmpty());
        if (asks) {
            QCOMPARE(f->asked, QStringList{QStringLiteral("Save changes to plane.air?")});
            QCOMPARE(f->tablesOpenAtQuestion, QList<int>{0});
        } else {
            QVERIFY(f->asked.isEmpty()); // nothing changed in the document
        }
        const Bytes onDisk = readFile(plane_);
        if (ui::Answer(answer) == ui::Answer::Yes && asks)
            QCOMPARE(onDisk, expected);
        else
            QCOMPARE(onDisk, original_);
        QVERIFY(f->errors.isEmpty());
    }

    void cancelKeepsTheProgramAndTheEdits()
    {
        auto f = openFrame();
        QVERIFY(f);
        QPointer<tables::CPageWnd> grid = openTable<tables::CPageWnd>(*f, kGrid);
        QVERIFY(grid);
        QTest::keyClick(grid, Qt::Key_Return);
        QTest::keyClicks(grid->cellEditor(), QStringLiteral("9"));
        QTest::keyClick(grid->cellEditor(), Qt::Key_Return);
        QPointer<tables::TableWnd> curve = openTable<tables::TableWnd>(*f, kCurve);
        QVERIFY(curve);
        QTest::keyClick(curve, Qt::Key_Up);

        f->answers = {ui::Answer::Cancel};
        QVERIFY(!f->close());
        QVERIFY(f->isVisible());
        QCOMPARE(f->asked.size(), 1);
        // The table windows are closed; the grid's edit is in the document,
        // the unconfirmed curve's is not.
        QVERIFY(tables::TableRegistry::openWindows().isEmpty());
        QVERIFY(f->document().isModified());
        const auto g = f->document().data(kGrid);
        QCOMPARE(doubleAt(Bytes(g.begin(), g.end()), 8 + 3 * 8), 9.0);
        const auto c = f->document().data(kCurve);
        QCOMPARE(Bytes(c.begin(), c.end()), (Bytes{10, 0, 20, 0, 30, 0}));
        QCOMPARE(readFile(plane_), original_);

        // Asked again at the next close, and saved.
        f->answers = {ui::Answer::Yes};
        QVERIFY(f->close());
        QCOMPARE(f->asked.size(), 2);
        QCOMPARE(doubleAt(readFile(plane_), kGridData + 8 + 3 * 8), 9.0);
    }

    void altXEndsAtOnce()
    {
        auto f = openFrame();
        QVERIFY(f);
        editGrid(*f);
        f->editingView()->setFocus();
        QTest::keyClick(f->editingView(), Qt::Key_X, Qt::AltModifier);
        QCOMPARE(f->ended, 1);
        QVERIFY(f->asked.isEmpty());
        QCOMPARE(readFile(plane_), original_);
    }

    void openReloadAndDropCloseTheTablesFirst_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("open") << QStringLiteral("open");
        QTest::newRow("drop") << QStringLiteral("drop");
        QTest::newRow("recent") << QStringLiteral("recent");
    }

    void openReloadAndDropCloseTheTablesFirst()
    {
        QFETCH(QString, how);
        auto f = openFrame();
        QVERIFY(f);
        // The recent-file list: plane.air, then other.air.
        QVERIFY(f->openDocument(other_, false));
        QVERIFY(f->openDocument(plane_, false));
        editGrid(*f);
        f->answers = {ui::Answer::Yes};
        if (how == QLatin1String("open")) {
            f->openChoice = other_;
            f->action(QStringLiteral("open"))->trigger();
        } else if (how == QLatin1String("recent")) {
            f->openRecent(1);
        } else {
            QMimeData mime;
            mime.setUrls({QUrl::fromLocalFile(other_)});
            QDragEnterEvent enter(QPoint(20, 20), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
            QCoreApplication::sendEvent(f.get(), &enter);
            QVERIFY(enter.isAccepted());
            QDropEvent drop(QPointF(20, 20), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
            QCoreApplication::sendEvent(f.get(), &drop);
        }
        QCOMPARE(f->asked, QStringList{QStringLiteral("Save changes to plane.air?")});
        QCOMPARE(f->tablesOpenAtQuestion, QList<int>{0});
        QCOMPARE(doubleAt(readFile(plane_), kGridData + 8 + 3 * 8), 9.0);
        QCOMPARE(f->windowTitle(),
                QStringLiteral("other.air[*] - Tarlo")); // Qt shows "*" at [*] while modified
        QVERIFY(!f->isWindowModified());
        QVERIFY(!f->document().isModified());
        QCOMPARE(readFile(other_).size(), std::size_t(10));
    }

    void reloadClosesTheTablesAndDiscards()
    {
        auto f = openFrame();
        QVERIFY(f);
        editGrid(*f);
        auto* points = openTable<tables::TblDblWnd>(*f, kPoints);
        QVERIFY(points);
        QTest::keyClick(points, Qt::Key_Up);
        f->action(QStringLiteral("reload"))->trigger();
        QVERIFY(tables::TableRegistry::openWindows().isEmpty());
        QVERIFY(f->asked.isEmpty());
        QVERIFY(f->errors.isEmpty());
        // Reload discards changes: the document is the file again, and no
        // window wrote into the reloaded list.
        QVERIFY(!f->document().isModified());
        const auto g = f->document().data(kGrid);
        QCOMPARE(doubleAt(Bytes(g.begin(), g.end()), 8 + 3 * 8), 4.0);
        const auto p = f->document().data(kPoints);
        QCOMPARE(doubleAt(Bytes(p.begin(), p.end()), 12), 1.0);
        QCOMPARE(readFile(plane_), original_);
    }
};

TARLO_TEST_MAIN(CloseSequenceTest)
#include "CloseSequenceTest.moc"
