// Load -> tree rebuilt, sorted and painted, for a realistic file (300
// records with a large definition file), for 100,000 records and for a
// million records of 120 bytes (128 MB).

#include "browser/EditingView.h"
#include "browser/FilterBox.h"
#include "document/DocNotifier.h"
#include "model/CTLDoc.h"

#include "common/AirImage.h"
#include "common/TempDir.h"

#include <benchmark/benchmark.h>

#include <QApplication>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace {

using airtest::Bytes;

struct Files {
    airtest::TempDir dir{"bench"};
    std::string ini, realistic;

    Files()
    {
        // About 200 KB of definitions: 300 records, every third structured
        // with 20 fields, plus help texts.
        std::string def = "[Records]\n";
        std::string sections;
        const char* types[] = {"int16", "bool", "int8", "int32", "double", "ang16", "mach", "aspd", "fwgt", "16pct"};
        for (int r = 0; r < 300; ++r) {
            const unsigned id = 0x100 + unsigned(r) * 7;
            char key[16];
            std::snprintf(key, sizeof key, "%x", id);
            const bool structured = r % 3 == 0;
            def += std::string(key) + "=Record number " + std::to_string(r) + (structured ? ",record\n" : ",int32\n");
            def += std::string(key) + "h=" + std::string(120, 'h') + "|second line of help\n";
            if (structured) {
                sections.append("[").append(key).append("]\n");
                for (int f = 1; f <= 20; ++f) {
                    char off[16];
                    std::snprintf(off, sizeof off, "%x", (f - 1) * 8);
                    sections += std::to_string(f) + "=" + off + "," + types[f % 10] + ",Field " + std::to_string(f) + "\n";
                    sections += std::to_string(f) + "h=" + std::string(200, 'f') + "\n";
                }
            }
        }
        ini = dir.write("Tarlo.ini", def + sections);

        airtest::AirImage img;
        for (int r = 299; r >= 0; --r) // reverse order, so the sort has work
            img.record(0x100 + unsigned(r) * 7, Bytes(160, std::uint8_t(r)));
        realistic = dir.write("realistic.air", img.bytes());
    }

    // The large files are written when a benchmark first asks for them.
    const std::string& huge()
    {
        if (!huge_.empty())
            return huge_;
        airtest::AirImage img;
        std::uint32_t x = 12345;
        for (int r = 0; r < 100000; ++r) {
            x = x * 1103515245u + 12345u;
            img.record(x >> 8, airtest::u32s({x}));
        }
        huge_ = dir.write("huge.air", img.bytes());
        return huge_;
    }

    const std::string& million()
    {
        if (!million_.empty())
            return million_;
        // A million records of 120 bytes: nine in ten named plain records,
        // one in ten structured with 20 fields (3 million entries).
        airtest::AirImage img;
        img.reserve(128000000);
        Bytes data(120);
        for (int r = 0; r < 1000000; ++r) {
            const int n = r % 10 == 0 ? (r / 10 % 100) * 3 : (r % 100) * 3 + 1;
            std::fill(data.begin(), data.end(), std::uint8_t(r));
            img.record(0x100 + unsigned(n) * 7, data);
        }
        million_ = dir.write("million.air", img.bytes());
        return million_;
    }

private:
    std::string huge_, million_;
};

Files& files()
{
    static Files f;
    return f;
}

// A document and its editing view, shown, whose tree follows every load.
struct ShownView {
    model::CTLDoc doc;
    document::DocNotifier notifier{doc};
    browser::EditingView view{notifier};
    ShownView()
    {
        doc.setDefinitionsPath(files().ini);
        view.resize(600, 800);
        view.show();
    }
    // Lays out and paints what is visible.
    void paint()
    {
        view.viewport()->repaint();
        QCoreApplication::processEvents();
    }
};

void loadAndShow(benchmark::State& state, const std::string& path)
{
    ShownView shown;
    for (auto _ : state) {
        if (shown.doc.load(path))
            state.SkipWithError("load failed");
        shown.paint();
        benchmark::DoNotOptimize(shown.view.currentEntry());
    }
    state.counters["records"] = shown.doc.recordCount();
}

void BM_LoadToTree_Realistic(benchmark::State& state) { loadAndShow(state, files().realistic); }
void BM_LoadToTree_100k(benchmark::State& state)
{
    loadAndShow(state, files().huge());
}
void BM_LoadToTree_1M(benchmark::State& state)
{
    loadAndShow(state, files().million());
}

// Files of n records, the ids of the 300 defined ones in turn: one in three
// is structured with 20 fields.
const std::string& structuredFile(int n)
{
    static std::vector<std::pair<int, std::string>> made;
    for (const auto& [count, path] : made)
        if (count == n)
            return path;
    airtest::AirImage img;
    for (int r = 0; r < n; ++r)
        img.record(0x100 + unsigned(r % 300) * 7, Bytes(160, std::uint8_t(r)));
    made.emplace_back(n, files().dir.write("structured-" + std::to_string(n) + ".air", img.bytes()));
    return made.back().second;
}

// Special > Expand All and Collapse All, each with the repaint that follows.
void expandCollapse(benchmark::State& state, bool expand)
{
    ShownView shown;
    if (shown.doc.load(structuredFile(int(state.range(0)))))
        state.SkipWithError("load failed");
    shown.paint();
    for (auto _ : state) {
        state.PauseTiming();
        if (expand)
            shown.view.collapseAllRecords();
        else
            shown.view.expandAllRecords();
        shown.paint();
        state.ResumeTiming();
        if (expand)
            shown.view.expandAllRecords();
        else
            shown.view.collapseAllRecords();
        shown.paint();
    }
    state.counters["entries"] = double(shown.doc.entryCount());
}

void BM_ExpandAll(benchmark::State& state)
{
    expandCollapse(state, true);
}
void BM_CollapseAll(benchmark::State& state)
{
    expandCollapse(state, false);
}

// The sort toggle alone (a rebuild without reading the file).
void BM_SortToggle_100k(benchmark::State& state)
{
    ShownView shown;
    if (shown.doc.load(files().huge()))
        state.SkipWithError("load failed");
    bool on = true;
    for (auto _ : state) {
        on = !on;
        shown.view.setSortEntries(on);
        shown.paint();
    }
}

// Filter as you type: each keystroke's pass over the list, the rows reset
// and the view painted. The list's text is built at the first key and kept
// until the document changes; the "first key" cases include building it.
void filterTyping(benchmark::State& state, const std::string& path, bool firstKey)
{
    ShownView shown;
    browser::FilterBox box(shown.view, shown.notifier);
    if (shown.doc.load(path))
        state.SkipWithError("load failed");
    const QString keys[] = {QStringLiteral("1"), QStringLiteral("12"), QStringLiteral("12a"),
            QStringLiteral("number 1"), QStringLiteral("field")};
    std::size_t k = 0;
    for (auto _ : state) {
        if (firstKey) {
            state.PauseTiming();
            box.setText({});
            box.applyNow();
            state.ResumeTiming();
        }
        box.setText(keys[k++ % std::size(keys)]);
        box.applyNow();
        shown.paint();
    }
    state.counters["entries"] = double(shown.doc.entryCount());
}

void BM_FilterKeystroke_100k(benchmark::State& state)
{
    filterTyping(state, files().huge(), false);
}
void BM_FilterFirstKey_100k(benchmark::State& state)
{
    filterTyping(state, files().huge(), true);
}
void BM_FilterKeystroke_1M(benchmark::State& state)
{
    filterTyping(state, files().million(), false);
}

} // namespace

BENCHMARK(BM_FilterKeystroke_100k)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FilterFirstKey_100k)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FilterKeystroke_1M)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_LoadToTree_Realistic)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadToTree_100k)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadToTree_1M)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_SortToggle_100k)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ExpandAll)->Unit(benchmark::kMillisecond)->Arg(1000)->Arg(10000)->Arg(100000);
BENCHMARK(BM_CollapseAll)->Unit(benchmark::kMillisecond)->Arg(1000)->Arg(10000)->Arg(100000);

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
