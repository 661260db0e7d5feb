// The table windows' workbench on large tables: copy, paste and each
// operation on a 1,000 x 100 grid and a 65,536-value 16-bit table, and one
// repaint of each (the grid with its heat map on), and the curve picture
// alone, offscreen.
#include "tables/CurvePainter.h"
#include "tables/PageWnd.h"
#include "tables/TableWnd.h"

#include "common/AirImage.h"
#include "tests/tables/FakeTarget.h"

#include <QApplication>
#include <QClipboard>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <QUndoStack>

#include <benchmark/benchmark.h>

#include <cmath>

using namespace tables;

namespace {

constexpr int kCols = 100, kRows = 1000, kCurve = 65536;

std::vector<double> gridValues()
{
    std::vector<double> v;
    v.reserve(std::size_t(kCols) * kRows);
    for (int g = 0; g < kCols; ++g)
        for (int k = 0; k < kRows; ++k)
            v.push_back(std::sin(g * 0.1) * 1000 + k * 0.37);
    return v;
}

CPageWnd* bigGrid()
{
    static CPageWnd* w = [] {
        auto s = stateWith(airtest::doubles({kCols, kRows}, gridValues()));
        CPageWnd* g = openGridTable(targetOn(s), nullptr);
        g->undoStack()->setUndoLimit(2); // each step holds two copies of the cells
        g->resize(1200, 800);
        return g;
    }();
    return w;
}

TableWnd* bigCurve()
{
    static TableWnd* w = [] {
        std::vector<std::uint8_t> bytes;
        for (int i = 0; i < kCurve; ++i) {
            const auto v = std::uint16_t(30000 + 20000 * std::sin(i * 0.001));
            bytes.push_back(std::uint8_t(v & 0xFF));
            bytes.push_back(std::uint8_t(v >> 8));
        }
        TableWnd* t = TableWnd::open(targetOn(stateWith(bytes)), nullptr);
        t->undoStack()->setUndoLimit(2);
        t->resize(1200, 400);
        return t;
    }();
    return w;
}

void GridCopyAll(benchmark::State& state)
{
    CPageWnd* w = bigGrid();
    for (auto _ : state)
        benchmark::DoNotOptimize(w->copyText(true));
}

void GridPasteAll(benchmark::State& state)
{
    CPageWnd* w = bigGrid();
    const QString text = w->copyText(true);
    for (auto _ : state) {
        w->selectRange(CellRange{0, 0, 1, 1});
        benchmark::DoNotOptimize(w->pasteText(text));
    }
}

void GridOperation(benchmark::State& state)
{
    CPageWnd* w = bigGrid();
    const auto op = TableOp(state.range(0));
    for (auto _ : state) {
        w->selectAll();
        benchmark::DoNotOptimize(w->applyOperation(op, op == TableOp::Scale ? 100.0 : 0.0));
    }
}

void GridRepaintWithHeatMap(benchmark::State& state)
{
    CPageWnd* w = bigGrid();
    w->setHeatMap(true);
    QImage img(w->size(), QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        w->SetCellText(1, 1, QStringLiteral("1.5")); // the heat range is found again
        QPainter p(&img);
        w->render(&p);
    }
    w->setHeatMap(false);
}

void CurveCopyAll(benchmark::State& state)
{
    TableWnd* w = bigCurve();
    w->selectAll();
    for (auto _ : state)
        benchmark::DoNotOptimize(w->copyText());
}

void CurvePasteAll(benchmark::State& state)
{
    TableWnd* w = bigCurve();
    w->selectAll();
    const QString text = w->copyText();
    for (auto _ : state)
        benchmark::DoNotOptimize(w->pasteText(text));
}

void CurveOperation(benchmark::State& state)
{
    TableWnd* w = bigCurve();
    const auto op = TableOp(state.range(0));
    for (auto _ : state) {
        w->selectAll();
        benchmark::DoNotOptimize(w->applyOperation(op, op == TableOp::Scale ? 100.0 : 0.0));
    }
}

void CurveRepaint(benchmark::State& state)
{
    TableWnd* w = bigCurve();
    w->selectRange(100, 100 + std::size_t(state.range(0)));
    QImage img(w->size(), QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        QPainter p(&img);
        w->render(&p);
    }
}

// The curve picture alone (lines, axis, curve) for n points in the 16-bit
// window's 1200 x 400 area.
void CurvePicture(benchmark::State& state)
{
    const auto n = std::size_t(state.range(0));
    std::vector<QPointF> points;
    points.reserve(n);
    for (std::size_t i = 0; i < n; ++i)
        points.emplace_back(double(i), 30000 + 20000 * std::sin(double(i) * 0.001));
    QImage img(1200, 400, QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        img.fill(Qt::white);
        QPainter p(&img);
        paintCurve(p, img.size(), points, double(n - 1), 65535, n / 2);
    }
}

void ops(benchmark::internal::Benchmark* b)
{
    for (TableOp op : {TableOp::Set, TableOp::Add, TableOp::Scale, TableOp::InterpolateRows,
                 TableOp::InterpolateCols, TableOp::Bilinear, TableOp::Smooth})
        b->Arg(int(op));
    b->Unit(benchmark::kMillisecond);
}

BENCHMARK(GridCopyAll)->Unit(benchmark::kMillisecond);
BENCHMARK(GridPasteAll)->Unit(benchmark::kMillisecond);
BENCHMARK(GridOperation)->Apply(ops);
BENCHMARK(GridRepaintWithHeatMap)->Unit(benchmark::kMillisecond);
BENCHMARK(CurveCopyAll)->Unit(benchmark::kMillisecond);
BENCHMARK(CurvePasteAll)->Unit(benchmark::kMillisecond);
BENCHMARK(CurveOperation)->Apply(ops);
BENCHMARK(CurveRepaint)->Arg(0)->Arg(60000)->Unit(benchmark::kMillisecond); // range length
BENCHMARK(CurvePicture)->Arg(1000)->Arg(65536)->Unit(benchmark::kMillisecond); // points

} // namespace

int main(int argc, char** argv)
{
    QTemporaryDir config; // the heat map setting goes here, not to the user's settings
    qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
