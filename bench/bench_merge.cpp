// The three-way merge of generated AIR files of 10k and 100k records against
// the diff listing of the same files: OURS and THEIRS each change fields of
// one record in ten, a third of them the same records (other fields).
#include "base/FileIO.h"
#include "tool/Diff.h"
#include "tool/Merge.h"
#include "tool/ToolDefinitions.h"

#include "common/AirImage.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <unistd.h>

namespace {

using airtest::Bytes;
using namespace patchwise;

constexpr int kIds = 200;
constexpr std::uint32_t kFirstId = 0x10000;
constexpr std::uint32_t kDataSize = 112;

struct Files {
    std::string definitions; // its path
    Bytes base, ours, theirs;
};

std::string text(int r)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "%x", kFirstId + std::uint32_t(r));
    return buf;
}

Bytes make(int records, int changeEvery, int firstChanged, std::uint32_t offset)
{
    airtest::AirImage file;
    Bytes data(kDataSize);
    for (int r = 0; r < records; ++r) {
        for (std::uint32_t i = 0; i < kDataSize; ++i)
            data[i] = std::uint8_t(r * 31 + i * 7);
        if (r % changeEvery == firstChanged)
            for (std::uint32_t i = offset; i < offset + 4; ++i)
                data[i] ^= 0x5A;
        file.record(kFirstId + std::uint32_t(r % kIds), data);
    }
    return file.bytes();
}

const Files& files(int records)
{
    static std::map<int, Files> cache;
    auto it = cache.find(records);
    if (it != cache.end())
        return it->second;
    Files f;
    std::string d = "[records]\n";
    for (int r = 0; r < kIds; ++r)
        d += text(r) + "=Generated record " + std::to_string(r) + ",record\n";
    for (int r = 0; r < kIds; ++r)
        d += "[" + text(r) + "]\n1=0,int32,First\n2=4,int32,Second\n3=8,double,Third\n";
    f.definitions =
            (std::filesystem::temp_directory_path() / ("bench-merge-" + std::to_string(::getpid()) + ".ini"))
                    .string();
    (void)base::fileio::writeFileAtomic(
            f.definitions, std::span(reinterpret_cast<const std::uint8_t*>(d.data()), d.size()));
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
    std::size_t size = 0;
    for (auto _ : state) {
        ToolDefinitions defs;
        size += diffListing(f.ours, f.theirs, f.definitions, defs).text.size();
    }
    benchmark::DoNotOptimize(size);
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(f.ours.size()));
}

BENCHMARK(BM_Merge)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Diff)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
