// The editor's compare view on generated files of 10k and 100k records (the
// same pair bench_merge uses: one record in ten and one in fifteen changed)
// against Patchwise's diff listing of the same files.
#include "base/FileIO.h"
#include "model/CTLDoc.h"
#include "model/DocCompare.h"
#include "tool/Diff.h"
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

constexpr int kIds = 200;
constexpr std::uint32_t kFirstId = 0x10000;
constexpr std::uint32_t kDataSize = 112;

struct Files {
    std::string definitions; // its path
    Bytes reference, current;
};

std::string text(int r)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "%x", kFirstId + std::uint32_t(r));
    return buf;
}

Bytes make(int records, int changeEvery, std::uint32_t offset)
{
    airtest::AirImage file;
    Bytes data(kDataSize);
    for (int r = 0; r < records; ++r) {
        for (std::uint32_t i = 0; i < kDataSize; ++i)
            data[i] = std::uint8_t(r * 31 + i * 7);
        if (r % changeEvery == 0)
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
    f.definitions = (std::filesystem::temp_directory_path()
            / ("bench-compare-" + std::to_string(::getpid()) + ".ini"))
                            .string();
    (void)base::fileio::writeFileAtomic(
            f.definitions, std::span(reinterpret_cast<const std::uint8_t*>(d.data()), d.size()));
    f.reference = make(records, 10, 0);
    f.current = make(records, 15, 8);
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
    std::size_t size = 0;
    for (auto _ : state) {
        patchwise::ToolDefinitions defs;
        size += patchwise::diffListing(f.reference, f.current, f.definitions, defs).text.size();
    }
    benchmark::DoNotOptimize(size);
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(f.current.size()));
}

BENCHMARK(BM_EditorCompare)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EditorCompareWith)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Diff)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
