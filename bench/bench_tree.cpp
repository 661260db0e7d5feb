// Load -> tree rebuilt, sorted and painted, for a realistic file (300
// records with a large definition file), for 100,000 records and for a
// million records of 120 bytes (128 MB).

#include "browser/EditingView.h"
#include "model/CTLDoc.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace {

void putU32(std::vector<std::uint8_t>& out, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i) out.push_back(std::uint8_t(v >> (8 * i)));
}

struct Files {
    QTemporaryDir dir;
    std::string ini, realistic, huge, million;

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
        ini = write("Tarlo.ini", def + sections);

        std::vector<std::uint8_t> img;
        for (int r = 299; r >= 0; --r) { // reverse order, so the sort has work
            putU32(img, 0x100 + unsigned(r) * 7);
            putU32(img, 160);
            img.insert(img.end(), 160, std::uint8_t(r));
        }
        realistic = write("realistic.air", std::string(img.begin(), img.end()));

        img.clear();
        std::uint32_t x = 12345;
        for (int r = 0; r < 100000; ++r) {
            x = x * 1103515245u + 12345u;
            putU32(img, x >> 8);
            putU32(img, 4);
            putU32(img, x);
        }
        huge = write("huge.air", std::string(img.begin(), img.end()));

        // A million records of 120 bytes: nine in ten named plain records,
        // one in ten structured with 20 fields (3 million entries).
        img.clear();
        img.reserve(128000000);
        for (int r = 0; r < 1000000; ++r) {
            const int n = r % 10 == 0 ? (r / 10 % 100) * 3 : (r % 100) * 3 + 1;
            putU32(img, 0x100 + unsigned(n) * 7);
            putU32(img, 120);
            img.insert(img.end(), 120, std::uint8_t(r));
        }
        million = write("million.air", std::string(img.begin(), img.end()));
    }

    std::string write(const char* name, const std::string& bytes)
    {
        const QString p = dir.filePath(QString::fromLatin1(name));
        QFile f(p);
        f.open(QIODevice::WriteOnly);
        f.write(bytes.data(), qint64(bytes.size()));
        return p.toStdString();
    }
};

Files& files()
{
    static Files f;
    return f;
}

void loadAndShow(benchmark::State& state, const std::string& path)
{
    model::CTLDoc doc;
    doc.setDefinitionsPath(files().ini);
    browser::EditingView view(doc);
    view.resize(600, 800);
    view.show();
    doc.setRebuildCallback([&] { view.rebuildTree(); });
    for (auto _ : state) {
        if (doc.load(path)) state.SkipWithError("load failed");
        // Lay out and paint what is visible.
        view.viewport()->repaint();
        QCoreApplication::processEvents();
        benchmark::DoNotOptimize(view.currentEntry());
    }
    state.counters["records"] = doc.recordCount();
}

void BM_LoadToTree_Realistic(benchmark::State& state) { loadAndShow(state, files().realistic); }
void BM_LoadToTree_100k(benchmark::State& state) { loadAndShow(state, files().huge); }
void BM_LoadToTree_1M(benchmark::State& state) { loadAndShow(state, files().million); }

// The sort toggle alone (a rebuild without reading the file).
void BM_SortToggle_100k(benchmark::State& state)
{
    model::CTLDoc doc;
    doc.setDefinitionsPath(files().ini);
    browser::EditingView view(doc);
    view.resize(600, 800);
    view.show();
    doc.setRebuildCallback([&] { view.rebuildTree(); });
    doc.load(files().huge);
    bool on = true;
    for (auto _ : state) {
        on = !on;
        view.setSortEntries(on);
        view.viewport()->repaint();
        QCoreApplication::processEvents();
    }
}

} // namespace

BENCHMARK(BM_LoadToTree_Realistic)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadToTree_100k)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadToTree_1M)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_SortToggle_100k)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
