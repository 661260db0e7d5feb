// The editor's recovery record on a million-record file: what an edit costs
// the log, what building the record costs (snapshot + encode), and what
// writing it atomically costs (temporary, fsync, rename, folder fsync).
#include "base/FileIO.h"
#include "model/CTLDoc.h"
#include "model/Recovery.h"

#include "common/AirImage.h"
#include "common/TempDir.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr int kRecords = 1000000;

struct Files {
    airtest::TempDir dir{"bench-recovery"};
    std::string air, record;
    Files()
    {
        airtest::AirImage img;
        for (int r = 0; r < kRecords; ++r)
            img.record(0x100 + std::uint32_t(r % 1300), Bytes(8, std::uint8_t(r)));
        air = dir.write("million.air", img.bytes());
        record = dir.file("million.rec");
    }
};

Files& files()
{
    static Files f;
    return f;
}

// A loaded document with `edits` byte edits spread over the file and one
// record added and one removed, as an afternoon's work leaves it.
struct Edited {
    model::CTLDoc doc;
    model::recovery::Log log{doc};
    explicit Edited(int edits)
    {
        doc.load(files().air);
        const int step = int(doc.entryCount()) / (edits + 1);
        for (int e = 1; e <= edits; ++e)
            doc.setBytes(e * step, 0, Bytes{std::uint8_t(e), std::uint8_t(e >> 8)});
        doc.insertRecord(int(doc.entryCount()), 0x20, Bytes(16, 1));
        doc.removeRecord(1);
    }
};

// One keystroke's worth: an edit and its undo, as the log hears them. The
// first edit after an insert or removal pays for a scan of the list.
void BM_Million_EditHeardByTheLog(benchmark::State& state)
{
    Edited e(int(state.range(0)));
    const int i = int(e.doc.entryCount()) / 2;
    std::uint8_t v = 0;
    for (auto _ : state) {
        e.doc.setBytes(i, 0, Bytes{++v});
        benchmark::DoNotOptimize(e.log.edits().size());
    }
    state.counters["edits"] = double(e.log.edits().size());
}
BENCHMARK(BM_Million_EditHeardByTheLog)->Arg(1000)->Unit(benchmark::kMicrosecond);

// The part that stays on the user-interface thread: the record's bytes.
void BM_Million_BuildRecord(benchmark::State& state)
{
    Edited e(int(state.range(0)));
    std::size_t size = 0;
    for (auto _ : state) {
        const Bytes bytes = model::recovery::encode(e.log.snapshot(1700000000));
        size = bytes.size();
        benchmark::DoNotOptimize(bytes.data());
    }
    state.counters["record_bytes"] = double(size);
}
BENCHMARK(BM_Million_BuildRecord)->Arg(10)->Arg(1000)->Arg(100000)->Unit(benchmark::kMillisecond);

// The part that goes to the writer thread: the atomic write with its fsyncs.
void BM_Million_WriteRecord(benchmark::State& state)
{
    Edited e(int(state.range(0)));
    const Bytes bytes = model::recovery::encode(e.log.snapshot(1700000000));
    for (auto _ : state)
        if (base::fileio::writeFileAtomic(files().record, bytes))
            state.SkipWithError("write failed");
    state.counters["record_bytes"] = double(bytes.size());
}
BENCHMARK(BM_Million_WriteRecord)
        ->Arg(10)
        ->Arg(1000)
        ->Arg(100000)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();

} // namespace

BENCHMARK_MAIN();
