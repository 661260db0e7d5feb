// The three-way merge of generated AIR files of 10k and 100k records against
// the diff listing of the same files: OURS and THEIRS each change fields of
// one record in ten, a third of them the same records (other fields).
#include "tool/Merge.h"
#include "tool/ToolDefinitions.h"

#include "bench/DiffYardstick.h"
#include "bench/GeneratedAir.h"

#include <benchmark/benchmark.h>

#include <map>
#include <string>

namespace {

using airtest::Bytes;
using benchair::make;
using namespace patchwise;

struct Files {
    std::string definitions; // its path
    Bytes base, ours, theirs;
};

const Files& files(int records)
{
    static std::map<int, Files> cache;
    auto it = cache.find(records);
    if (it != cache.end())
        return it->second;
    Files f;
    f.definitions = benchair::writeDefinitions("bench-merge");
    f.base = make(records, records + 1, -1, 0);
    f.ours = make(records, 10, 0, 0); // the first field of records 0, 10, 20, ...
    f.theirs = make(records, 15, 0, 8); // the third field of records 0, 15, 30, ...
    return cache.emplace(records, std::move(f)).first->second;
}

void BM_Merge(benchmark::State& state)
{
    const Files& f = files(int(state.range(0)));
    std::size_t size = 0;
    for (auto _ : state) {
        ToolDefinitions defs;
        MergeOutcome m = mergeFiles(f.base, f.ours, f.theirs, f.definitions, defs, false);
        size += m.merged.size() + m.conflicts.size();
    }
    benchmark::DoNotOptimize(size);
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(f.ours.size()));
}

// The yardstick: the listing of what differs between OURS and THEIRS.
void BM_Diff(benchmark::State& state)
{
    const Files& f = files(int(state.range(0)));
    benchair::measureDiffListing(state, f.ours, f.theirs, f.definitions);
}

BENCHMARK(BM_Merge)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Diff)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
