// Load + ParseImage + ComposeImage on a realistic file (300 records, a
// definition file of about 200 KB) and on a synthetic 100,000-record file.
#include "model/CTLDoc.h"
#include "model/Definitions.h"
#include "model/Ini.h"

#include "common/AirImage.h"
#include "common/TempDir.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr int kDefined = 1300;

const char* kTypes[] = {"int16", "int32", "double", "text", "tbl16", "tbldb", "tbl3d",
                        "aspd", "mach", "bool", "ang16", "fwgt", "m256"};

// About 200 KB: 1,300 records with names and help texts, every fifth one
// structured with 12 fields.
std::string makeDefinitions()
{
    std::string s = "[Records]\n";
    for (int id = 0x100; id < 0x100 + kDefined; ++id) {
        const std::string key = model::hexId(std::uint32_t(id));
        // Every fifth record is structured.
        const char* type = id % 5 == 0 ? "record" : kTypes[id % 13];
        s += key + "=Benchmark record " + std::to_string(id) + "," + type + "\n";
        s += key + "h=Help text of record " + key + ".|Second line of the help text.\n";
    }
    for (int id = 0x100; id < 0x100 + kDefined; ++id) {
        if (id % 5 != 0)
            continue;
        s += '[';
        s += model::hexId(std::uint32_t(id));
        s += "]\n";
        for (int n = 1; n <= 12; ++n) {
            s += std::to_string(n) + "=" + model::hexId(std::uint32_t(n * 4)) + ",int32,Field " +
                 std::to_string(n) + "\n";
            if (n % 3 == 0)
                s += std::to_string(n) + "h=Help of field " + std::to_string(n) + "\n";
        }
    }
    return s;
}

Bytes makeImage(int records, std::size_t dataSize)
{
    airtest::AirImage img;
    Bytes data(dataSize);
    for (int r = 0; r < records; ++r) {
        for (std::size_t i = 0; i < dataSize; ++i)
            data[i] = std::uint8_t(i * 31 + std::size_t(r));
        img.record(0x100 + std::uint32_t(r * 7 % kDefined), data);
    }
    return img.bytes();
}

struct Files {
    airtest::TempDir dir{"bench"};
    std::string defs, realistic, synthetic;
    std::size_t defsSize = 0;
    Files()
    {
        const std::string d = makeDefinitions();
        defsSize = d.size();
        defs = dir.write("Tarlo.ini", d);
        realistic = dir.write("realistic.air", makeImage(300, 700));
        synthetic = dir.write("synthetic.air", makeImage(100000, 24));
    }
};

Files& files()
{
    static Files f;
    return f;
}

void loadParseCompose(benchmark::State& state, const std::string& path)
{
    model::CTLDoc doc;
    doc.setDefinitionsPath(files().defs);
    for (auto _ : state) {
        if (doc.load(path))
            state.SkipWithError("load failed");
        doc.ComposeImage();
        benchmark::DoNotOptimize(doc.image().data());
    }
    state.counters["records"] = double(doc.recordCount());
    state.counters["entries"] = double(doc.entryCount());
    state.counters["defs_bytes"] = double(files().defsSize);
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(doc.imageLength()));
}

void BM_Realistic_LoadParseCompose(benchmark::State& state)
{
    loadParseCompose(state, files().realistic);
}
BENCHMARK(BM_Realistic_LoadParseCompose)->Unit(benchmark::kMillisecond);

void BM_Synthetic100k_LoadParseCompose(benchmark::State& state)
{
    loadParseCompose(state, files().synthetic);
}
BENCHMARK(BM_Synthetic100k_LoadParseCompose)->Unit(benchmark::kMillisecond);

// The parts on their own: parsing the definition file, and ParseImage and
// ComposeImage with the definitions already parsed.
void BM_DefinitionFileParse(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(model::Ini::load(files().defs));
}
BENCHMARK(BM_DefinitionFileParse)->Unit(benchmark::kMillisecond);

void BM_Synthetic100k_ParseImageOnly(benchmark::State& state)
{
    const model::Ini ini = model::Ini::load(files().defs);
    model::CTLDoc doc;
    doc.load(files().synthetic);
    for (auto _ : state)
        doc.ParseImage(ini);
    state.counters["entries"] = double(doc.entryCount());
}
BENCHMARK(BM_Synthetic100k_ParseImageOnly)->Unit(benchmark::kMillisecond);

void BM_Synthetic100k_ComposeImageOnly(benchmark::State& state)
{
    model::CTLDoc doc;
    doc.setDefinitionsPath(files().defs);
    doc.load(files().synthetic);
    for (auto _ : state) {
        doc.ComposeImage();
        benchmark::DoNotOptimize(doc.image().data());
    }
}
BENCHMARK(BM_Synthetic100k_ComposeImageOnly)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
