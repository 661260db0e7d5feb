// The main window's own commands beside the record tree: Search Again's
// state, the status pane, the Edit menu, the filter, help and About.
#include "RecordingFrame.h"
#include "common/EditorFixture.h"
#include "common/NextDialog.h"

#include "browser/EditingView.h"
#include "browser/SearchDialog.h"
#include "model/FileIO.h"
#include "ui/ElidedLabel.h"

#include <QAction>
#include <QLineEdit>
#include <QMenu>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTest>

#include <memory>

namespace {

// The main window on the fixture's file, shown and active.
struct OpenFrame {
    fixture::Files files;
    std::unique_ptr<testsupport::RecordingFrame> frame;

    explicit OpenFrame(QSize size = {640, 560})
    {
        if (model::fileio::writeFileAtomic(files.air(), fixture::image()))
            qFatal("cannot write the test file");
        tarlo::CMainFrame::Options options;
        options.definitionsPath = QString::fromStdString(files.ini());
        options.helpPath = QString::fromStdString(files.dir.file("Tarlo.html"));
        frame = std::make_unique<testsupport::RecordingFrame>(options);
        frame->resize(size);
        frame->show();
        if (!QTest::qWaitForWindowExposed(frame.get()))
            qFatal("window not shown");
        frame->activateWindow();
        if (!frame->openDocument(QString::fromStdString(files.air()), false))
            qFatal("cannot open the test file");
    }
    ~OpenFrame()
    {
        if (frame)
            frame->document().setModified(false); // no question at the close
    }
    browser::EditingView* view() const { return frame->view(); }
    QAction* action(const char* name) const { return frame->action(QLatin1String(name)); }
};

} // namespace

class EditCommandsTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void searchAgainWorksFromTheFirstSearch()
    {
        OpenFrame f;
        QAction* again = f.action("searchAgain");
        QVERIFY(!again->isEnabled()); // nothing to search for yet
        // The Special menu opened while F3 is greyed.
        QMenu* special = again->associatedObjects().isEmpty()
                ? nullptr
                : qobject_cast<QMenu*>(again->associatedObjects().constFirst());
        QVERIFY(special);
        emit special->aboutToShow();
        QVERIFY(!again->isEnabled());

        fixture::onNextDialog<browser::SearchDialog>(f.view(), [](browser::SearchDialog* dlg) {
            dlg->edit()->setText(QStringLiteral("limit"));
            dlg->accept();
        });
        QTest::keyClick(f.view(), Qt::Key_F2);
        QCOMPARE(f.view()->currentEntry(), 1); // Altitude Limit
        QVERIFY(again->isEnabled());
        f.frame->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(f.frame.get()));
        QTest::keyClick(f.view(), Qt::Key_F3);
        QCOMPARE(f.view()->currentEntry(), 5); // Mach limit, a field of Engine
        QVERIFY(f.frame->boxes.told.isEmpty());
    }

    void longStatusTextIsElidedWithTheWholeTextAsTooltip()
    {
        OpenFrame f({290, 390}); // the first start's window
        const QString text = QStringLiteral("Wrote 2408 bytes to a-rather-long-file-name-of-a-plane.air");
        f.frame->setStatusText(text);
        auto* pane = f.frame->findChild<ui::ElidedLabel*>(QStringLiteral("pane0"));
        QVERIFY(pane);
        QCOMPARE(f.frame->statusText(), text);
        QCOMPARE(pane->toolTip(), text);
        QVERIFY(pane->shownText().endsWith(QChar(0x2026)));
        QVERIFY(pane->shownText().size() < text.size());
        // The CAP and NUM panes keep their room.
        QVERIFY(pane->geometry().right() < f.frame->statusBar()->width() - 40);
        f.frame->setStatusText(QStringLiteral("short"));
        QCOMPARE(pane->shownText(), QStringLiteral("short"));
    }
};

QTEST_MAIN(EditCommandsTest)
#include "EditCommandsTest.moc"
