// The editor's compare view on generated files of 10k and 100k records (the
// same pair bench_merge uses: one record in ten and one in fifteen changed)
// against Patchwise's diff listing of the same files.
#include "model/CTLDoc.h"
#include "model/DocCompare.h"

#include "bench/DiffYardstick.h"
#include "bench/GeneratedAir.h"

#include <benchmark/benchmark.h>

#include <map>
#include <string>

namespace {

using airtest::Bytes;
using benchair::make;

struct Files {
    std::string definitions; // its path
    Bytes reference, current;
};

const Files& files(int records)
{
    static std::map<int, Files> cache;
    auto it = cache.find(records);
    if (it != cache.end())
        return it->second;
    Files f;
    f.definitions = benchair::writeDefinitions("bench-compare");
    f.reference = make(records, 10, 0, 0);
    f.current = make(records, 15, 0, 8);
    return cache.emplace(records, std::move(f)).first->second;
}

struct Docs {
    model::CTLDoc reference, current;
};

Docs& docs(int records)
{
    static std::map<int, Docs> cache;
    auto it = cache.find(records);
    if (it != cache.end())
        return it->second;
    const Files& f = files(records);
    Docs& d = cache[records];
    for (auto [doc, bytes] : {std::pair{&d.reference, &f.reference}, {&d.current, &f.current}}) {
        doc->setDefinitionsPath(f.definitions);
        doc->loadImage(*bytes, "bench.air");
    }
    return d;
}

// What every edit costs while comparing: the marks computed anew.
void BM_EditorCompare(benchmark::State& state)
{
    Docs& d = docs(int(state.range(0)));
    std::size_t marked = 0;
    for (auto _ : state)
        marked += model::compareDocuments(d.reference, d.current).differingRecords;
    benchmark::DoNotOptimize(marked);
    state.SetBytesProcessed(
            std::int64_t(state.iterations()) * std::int64_t(files(int(state.range(0))).current.size()));
}

// Compare With...: the reference read with the definitions, then compared.
void BM_EditorCompareWith(benchmark::State& state)
{
    const Files& f = files(int(state.range(0)));
    Docs& d = docs(int(state.range(0)));
    std::size_t marked = 0;
    for (auto _ : state) {
        model::CTLDoc reference;
        reference.setDefinitionsPath(f.definitions);
        reference.loadImage(f.reference, "reference.air");
        marked += model::compareDocuments(reference, d.current).differingRecords;
    }
    benchmark::DoNotOptimize(marked);
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(f.current.size()));
}

// The yardstick: Patchwise's listing of what differs between the same files.
void BM_Diff(benchmark::State& state)
{
    const Files& f = files(int(state.range(0)));
    benchair::measureDiffListing(state, f.reference, f.current, f.definitions);
}

BENCHMARK(BM_EditorCompare)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EditorCompareWith)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Diff)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
