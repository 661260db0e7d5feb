// Pictures of the main window, the hex dialog, the two curve windows and the
// grid for the user guide, under a light or a dark palette at the scale the
// environment sets:
//   TARLO_SHOT_DIR=DIR [QT_SCALE_FACTOR=2] appearance_shots [dark]
// Not a test: it only draws, and only when asked.
#include "common/EditorFixture.h"
#include "tests/common/DarkPalette.h"
#include "tests/common/IsolatedSettings.h"
#include "tests/tables/FakeTarget.h"

#include "base/FileIO.h"
#include "browser/EditingView.h"
#include "editor/CMainFrame.h"
#include "hexedit/CHexDataCtrl.h"
#include "hexedit/CHexDataDlg.h"
#include "tables/PageWnd.h"
#include "tables/TableWnd.h"
#include "tables/TblDblWnd.h"

#include <QApplication>
#include <QDir>
#include <QStandardPaths>
#include <QTest>

#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

void put32(std::vector<std::uint8_t>& b, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b.push_back(std::uint8_t(v >> (8 * i)));
}

void putDouble(std::vector<std::uint8_t>& b, double d)
{
    std::uint64_t u = 0;
    std::memcpy(&u, &d, sizeof u);
    for (int i = 0; i < 8; ++i)
        b.push_back(std::uint8_t(u >> (8 * i)));
}

std::vector<std::uint8_t> curve16()
{
    std::vector<std::uint8_t> b;
    for (int i = 0; i < 24; ++i) {
        const int v = int(3000 + 2500 * std::sin(i / 4.0) + 60 * i);
        b.push_back(std::uint8_t(v));
        b.push_back(std::uint8_t(v >> 8));
    }
    return b;
}

std::vector<std::uint8_t> points()
{
    std::vector<std::uint8_t> b;
    put32(b, 8);
    for (int i = 0; i < 8; ++i) {
        putDouble(b, i * 0.25);
        putDouble(b, 1.0 + std::sqrt(i) * 0.8);
    }
    return b;
}

std::vector<std::uint8_t> grid()
{
    std::vector<std::uint8_t> b;
    put32(b, 5);
    put32(b, 6);
    for (int g = 0; g < 5; ++g)
        for (int k = 0; k < 6; ++k)
            putDouble(b, g == 0 ? k * 5000.0 : (k == 0 ? g * 0.2 : 0.1 * g * k + 0.05 * k * k));
    return b;
}

void record(std::vector<std::uint8_t>& image, std::uint32_t id, const std::vector<std::uint8_t>& data)
{
    put32(image, id);
    put32(image, std::uint32_t(data.size()));
    image.insert(image.end(), data.begin(), data.end());
}

bool save(QWidget* w, const QDir& dir, const QString& name)
{
    if (!QTest::qWaitForWindowExposed(w))
        return false;
    QTest::qWait(100);
    const QString path = dir.filePath(name + QStringLiteral(".png"));
    const bool ok = w->grab().save(path);
    std::printf("%s %s\n", ok ? "wrote" : "could not write", qPrintable(path));
    return ok;
}

} // namespace

int main(int argc, char** argv)
{
    testsupport::IsolatedSettings settings;
    QApplication app(argc, argv);
    QStandardPaths::setTestModeEnabled(true);
    const QString out = qEnvironmentVariable("TARLO_SHOT_DIR");
    if (out.isEmpty()) {
        std::fprintf(stderr, "appearance_shots: set TARLO_SHOT_DIR to the folder for the pictures\n");
        return 2;
    }
    const bool dark = app.arguments().contains(QStringLiteral("dark"));
    if (dark)
        QApplication::setPalette(testsupport::darkPalette());
    const QString tag = QStringLiteral("%1-%2x-")
                                .arg(dark ? QStringLiteral("dark") : QStringLiteral("light"))
                                .arg(qRound(app.devicePixelRatio()));
    const QDir dir(out);
    bool ok = true;

    fixture::Files files;
    std::vector<std::uint8_t> image = fixture::image();
    record(image, 0x60, curve16());
    record(image, 0x61, points());
    record(image, 0x62, grid());
    if (base::fileio::writeFileAtomic(files.air(), image))
        return 1;
    tarlo::CMainFrame::Options options;
    options.definitionsPath = QString::fromStdString(files.ini());
    tarlo::CMainFrame frame(options);
    frame.resize(520, 420);
    frame.show();
    if (!frame.openDocument(QString::fromStdString(files.air()), false))
        return 1;
    frame.view()->expandAllRecords();
    frame.view()->selectEntry(5);
    ok &= save(&frame, dir, tag + QStringLiteral("main-window"));

    std::vector<std::uint8_t> bytes(image.begin(), image.begin() + 64);
    hexedit::CHexDataDlg hex(bytes);
    hex.show();
    hexedit::CHexDataCtrl* c = hex.hexCtrl();
    c->setFocus();
    QTest::keyClick(c, Qt::Key_Tab);
    QTest::keyClick(c, Qt::Key_Down);
    QTest::keyClick(c, Qt::Key_Right, Qt::ShiftModifier);
    QTest::keyClick(c, Qt::Key_Right, Qt::ShiftModifier);
    QTest::keyClick(c, Qt::Key_Right, Qt::ShiftModifier);
    QTest::keyClick(c, Qt::Key_Right, Qt::ShiftModifier);
    ok &= save(&hex, dir, tag + QStringLiteral("hex-dialog"));
    hex.hide();

    auto* t16 = tables::TableWnd::open(targetOn(stateWith(curve16())), nullptr);
    t16->resize(480, 260);
    for (int i = 0; i < 9; ++i)
        QTest::keyClick(t16, Qt::Key_Right);
    ok &= save(t16, dir, tag + QStringLiteral("tbl16"));
    auto* dbl = tables::TblDblWnd::open(targetOn(stateWith(points())), nullptr);
    dbl->resize(480, 260);
    QTest::keyClick(dbl, Qt::Key_Right);
    QTest::keyClick(dbl, Qt::Key_Right);
    ok &= save(dbl, dir, tag + QStringLiteral("tbldb"));
    auto* g = tables::openGridTable(targetOn(stateWith(grid())), nullptr);
    g->resize(560, 220);
    ok &= save(g, dir, tag + QStringLiteral("grid"));
    for (auto* w : {static_cast<QWidget*>(t16), static_cast<QWidget*>(dbl), static_cast<QWidget*>(g)})
        w->close();

    // The same curve and grid comparing with a reference a little apart.
    auto curveState = stateWith(curve16());
    curveState->reference = curve16();
    for (std::size_t i = 0; i + 1 < curveState->reference->size(); i += 2)
        (*curveState->reference)[i + 1] = std::uint8_t((*curveState->reference)[i + 1] * 9 / 10);
    auto* c16 = tables::TableWnd::open(targetOn(curveState), nullptr);
    c16->resize(480, 260);
    ok &= save(c16, dir, tag + QStringLiteral("tbl16-compare"));
    auto gridState = stateWith(grid());
    gridState->reference = grid();
    for (std::size_t at : {8 + 8 * 8, 8 + 8 * 15, 8 + 8 * 22})
        (*gridState->reference)[at + 6] ^= 0x04; // a small change of the value
    auto* cg = tables::openGridTable(targetOn(gridState), nullptr);
    cg->resize(560, 220);
    cg->selectRange(tables::CellRange{5, 4, 1, 1});
    ok &= save(cg, dir, tag + QStringLiteral("grid-compare"));
    for (auto* w : {static_cast<QWidget*>(c16), static_cast<QWidget*>(cg)})
        w->close();
    frame.document().setModified(false);
    return ok ? 0 : 1;
}
