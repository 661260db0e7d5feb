// Opens the three table windows on records of an AIR file and saves a
// picture of each: tables_shots FILE.air OUTDIR. Records 0x10b (16-bit
// curve), 0x10c (double curve) and 0x111 (grid) by default; other ids as
// "tbl16=ID dbl=ID grid=ID" arguments in hex. With "ref=OTHER.air", also
// pictures of the windows comparing with the same records of that file.
#include "FakeTarget.h"

#include "tables/PageWnd.h"
#include "tables/TableWnd.h"
#include "tables/TblDblWnd.h"
#include "tests/common/MessageRecorder.h"

#include <QDir>
#include <QFile>
#include <QMenu>
#include <QPainter>
#include <QTest>

#include <cstdio>
#include <map>

namespace {
// Record walk: 32-bit id, 32-bit length, data; stops at a record that does
// not fit.
std::map<std::uint32_t, std::vector<std::uint8_t>> records(const QByteArray& file)
{
    std::map<std::uint32_t, std::vector<std::uint8_t>> out;
    const auto* p = reinterpret_cast<const std::uint8_t*>(file.constData());
    const std::size_t n = std::size_t(file.size());
    std::size_t at = 0;
    auto u32 = [&](std::size_t o) {
        return std::uint32_t(p[o]) | std::uint32_t(p[o + 1]) << 8 | std::uint32_t(p[o + 2]) << 16 |
               std::uint32_t(p[o + 3]) << 24;
    };
    while (n - at >= 8) {
        const std::uint32_t id = u32(at), len = u32(at + 4);
        if (len > n - at - 8)
            break;
        out.emplace(id, std::vector<std::uint8_t>(p + at + 8, p + at + 8 + len));
        at += 8 + len;
    }
    return out;
}

void save(QWidget* w, const QString& path)
{
    if (!QTest::qWaitForWindowExposed(w))
        std::fprintf(stderr, "window not exposed\n");
    QTest::qWait(200);
    w->grab().save(path);
    std::printf("%s\n", qPrintable(path));
}

// The window with its context menu open at `at` (window coordinates), as one picture.
void saveWithMenu(QWidget* w, QMenu* m, QPoint at, const QString& path)
{
    if (!QTest::qWaitForWindowExposed(w))
        std::fprintf(stderr, "window not exposed\n");
    m->popup(w->mapToGlobal(at));
    QTest::qWait(300);
    const QRect win(w->mapToGlobal(QPoint(0, 0)), w->size());
    const QRect area = win.united(m->geometry());
    QPixmap shot(area.size());
    shot.fill(Qt::white);
    QPainter p(&shot);
    p.drawPixmap(win.topLeft() - area.topLeft(), w->grab());
    p.drawPixmap(m->geometry().topLeft() - area.topLeft(), m->grab());
    p.end();
    shot.save(path);
    m->close();
    std::printf("%s\n", qPrintable(path));
}
} // namespace

int main(int argc, char** argv)
{
    testsupport::IsolatedSettings settings;
    QApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(
                stderr, "usage: tables_shots FILE.air OUTDIR [tbl16=ID] [dbl=ID] [grid=ID] [ref=FILE.air]\n");
        return 2;
    }
    QFile f(QString::fromLocal8Bit(argv[1]));
    if (!f.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot read %s\n", argv[1]);
        return 1;
    }
    auto recs = records(f.readAll());
    const QString out = QString::fromLocal8Bit(argv[2]);
    QDir().mkpath(out);
    std::uint32_t id16 = 0x10b, idDbl = 0x10c, idGrid = 0x111;
    std::map<std::uint32_t, std::vector<std::uint8_t>> refs;
    for (int i = 3; i < argc; ++i) {
        const QString a = QString::fromLocal8Bit(argv[i]);
        const std::uint32_t v = a.section(u'=', 1).toUInt(nullptr, 16);
        if (a.startsWith(QStringLiteral("ref="))) {
            QFile r(a.section(u'=', 1));
            if (!r.open(QIODevice::ReadOnly)) {
                std::fprintf(stderr, "cannot read %s\n", qPrintable(r.fileName()));
                return 1;
            }
            refs = records(r.readAll());
        } else if (a.startsWith(QStringLiteral("tbl16=")))
            id16 = v;
        else if (a.startsWith(QStringLiteral("dbl=")))
            idDbl = v;
        else if (a.startsWith(QStringLiteral("grid=")))
            idGrid = v;
    }
    testsupport::MessageRecorder boxes; // no window's refusal may stop the run

    if (recs.count(id16)) {
        auto* w = tables::TableWnd::open(targetOn(stateWith(recs[id16])), nullptr);
        QTest::keyClick(w, Qt::Key_Right);
        QTest::keyClick(w, Qt::Key_Right);
        save(w, out + QStringLiteral("/tbl16.png"));
        for (int i = 0; i < 3; ++i)
            QTest::keyClick(w, Qt::Key_Right, Qt::ShiftModifier);
        QTest::mouseMove(w, QPoint(w->width() / 2, w->height() / 2));
        saveWithMenu(w, w->createContextMenu(), QPoint(w->width() / 2, 40),
                out + QStringLiteral("/tbl16-range.png"));
    }
    if (recs.count(idDbl)) {
        if (auto* w = tables::TblDblWnd::open(targetOn(stateWith(recs[idDbl])), nullptr)) {
            QTest::keyClick(w, Qt::Key_Right);
            save(w, out + QStringLiteral("/tbldbl.png"));
            QTest::keyClick(w, Qt::Key_Y);
            save(w, out + QStringLiteral("/tbldbl-box.png"));
        }
    }
    if (recs.count(idGrid)) {
        if (auto* w = tables::openGridTable(targetOn(stateWith(recs[idGrid])), nullptr)) {
            QTest::keyClick(w, Qt::Key_Right);
            QTest::keyClick(w, Qt::Key_Down);
            save(w, out + QStringLiteral("/tbl3d.png"));
            QTest::keyClick(w, Qt::Key_Return);
            QTest::keyClicks(w->cellEditor(), QStringLiteral("2.5"));
            save(w, out + QStringLiteral("/tbl3d-edit.png"));
            QTest::keyClick(w->cellEditor(), Qt::Key_Escape);
            w->setHeatMap(true);
            w->selectRange(tables::CellRange{
                    1, 1, std::min(3, w->GetRowCount() - 1), std::min(2, w->GetColCount() - 1)});
            save(w, out + QStringLiteral("/tbl3d-heat-selection.png"));
            saveWithMenu(w, w->createContextMenu(), w->cellRectFor(1, 1).center(),
                    out + QStringLiteral("/tbl3d-menu.png"));
        }
    }
    for (tables::TableFrame* w : tables::TableRegistry::openWindows())
        w->abandon();
    // The same windows comparing with the reference file's records.
    auto compared = [&](std::uint32_t id) {
        auto s = stateWith(recs[id]);
        s->reference = refs[id];
        return targetOn(s);
    };
    if (recs.count(id16) && refs.count(id16)) {
        auto* w = tables::TableWnd::open(compared(id16), nullptr);
        QTest::keyClick(w, Qt::Key_Right);
        save(w, out + QStringLiteral("/tbl16-compare.png"));
    }
    if (recs.count(idDbl) && refs.count(idDbl)) {
        if (auto* w = tables::TblDblWnd::open(compared(idDbl), nullptr))
            save(w, out + QStringLiteral("/tbldbl-compare.png"));
    }
    if (recs.count(idGrid) && refs.count(idGrid)) {
        if (auto* w = tables::openGridTable(compared(idGrid), nullptr)) {
            w->setHeatMap(false);
            save(w, out + QStringLiteral("/tbl3d-compare.png"));
            w->setShowDifferences(true);
            saveWithMenu(w, w->createContextMenu(), w->cellRectFor(1, 1).center(),
                    out + QStringLiteral("/tbl3d-differences.png"));
        }
    }
    for (tables::TableFrame* w : tables::TableRegistry::openWindows())
        w->abandon();
    for (const QString& t : boxes.told)
        std::fprintf(stderr, "%s\n", qPrintable(t));
    return 0;
}
