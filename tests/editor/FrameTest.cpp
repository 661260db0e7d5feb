// The editors inside the program's main window: the value box's hint and the
// record count in the window's status bar.
#include "common/EditorFixture.h"

#include "base/FileIO.h"
#include "browser/EditingView.h"
#include "browser/FieldEdit.h"
#include "editor/CMainFrame.h"
#include "tests/common/IsolatedSettings.h"

#include <QStandardPaths>
#include <QTest>

class FrameTest : public QObject {
    Q_OBJECT
private slots:
    void statusBarFollowsTheBox();
};

void FrameTest::statusBarFollowsTheBox()
{
    fixture::Files files;
    QVERIFY(!base::fileio::writeFileAtomic(files.air(), fixture::image()));
    tarlo::CMainFrame::Options options;
    options.definitionsPath = QString::fromStdString(files.ini());
    tarlo::CMainFrame frame(options);
    frame.resize(640, 560);
    frame.show();
    QVERIFY(QTest::qWaitForWindowExposed(&frame));
    frame.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&frame));
    QVERIFY(frame.openDocument(QString::fromStdString(files.air()), false));

    browser::EditingView* view = frame.view();
    const QString count = QStringLiteral("plane.air has 7 records.");
    QCOMPARE(frame.statusText(), count);
    view->expandAllRecords();
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->itemRect(7).center()); // Angle, ang16
    QVERIFY(view->fieldEdit()->isVisible());
    QCOMPARE(frame.statusText(), QStringLiteral("An angle from -180 to 180"));
    if (qEnvironmentVariableIsSet("TARLO_SHOT_DIR"))
        frame.grab().save(qEnvironmentVariable("TARLO_SHOT_DIR") + QStringLiteral("/frame-field-edit.png"));
    QTest::keyClicks(view->fieldEdit(), QStringLiteral("12.5"));
    QTest::keyClick(view->fieldEdit(), Qt::Key_Return);
    QCOMPARE(frame.statusText(), count);
    QCOMPARE(frame.document().entry(7).name, std::string("Angle"));
    QVERIFY(frame.document().isModified());
    QCOMPARE(frame.document().itemText(7), std::string("Angle=12.500"));
    frame.document().setModified(false); // no question on close
}

TARLO_TEST_MAIN(FrameTest)
#include "FrameTest.moc"
