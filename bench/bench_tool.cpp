// Patchwise's dump (plain and full) and update on generated AIR files of 1k,
// 10k and 100k records, with every id different (the definition file then
// names every record) or with ids repeated from a set of 200, and an update
// script of 10,000 lines. A copy of the file is the yardstick.
//
//   bench_tool [--benchmark_filter=...]     run the benchmarks
//   bench_tool --write-files DIR            write the inputs for timing the
//                                           programs themselves (see README.md)
#include "base/FileIO.h"
#include "tool/Dump.h"
#include "tool/ToolDefinitions.h"
#include "tool/Update.h"

#include "common/AirImage.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;
using airtest::Bytes;
using namespace patchwise;

constexpr std::uint32_t kFirstId = 0x10000;  // clear of the fixed table ids
constexpr int kRepeatedIds = 200;
constexpr int kScriptLines = 10000;
constexpr std::size_t kFields = 8;  // per structured record: 2+4+8+2+2+4+2+2 bytes
const char* const kFieldTypes[kFields] = {"int16", "int32", "double", "ang16", "mach", "aspd", "fwgt", "16pct"};
constexpr std::uint32_t kFieldWidths[kFields] = {2, 4, 8, 2, 2, 4, 2, 2};
constexpr std::uint32_t kStructSize = 26;
constexpr std::uint32_t kDataSize = 112;  // a structured record: its fields, then room

enum class Ids { Unique, Repeated };

struct Input {
    std::string definitions;
    Bytes file;
    std::string script;
};

std::string hex(std::uint32_t v)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "%x", v);
    return buf;
}

std::uint32_t idOf(Ids ids, int record)
{
    return kFirstId + std::uint32_t(ids == Ids::Unique ? record : record % kRepeatedIds);
}

// One record in ten is a table (an int16 list or a point table), listed by
// the plain dump too; the others are structured records with eight fields.
Input makeInput(Ids ids, int records)
{
    Input in;
    const int distinct = ids == Ids::Unique ? records : std::min(records, kRepeatedIds);
    std::string& d = in.definitions;
    d = "[records]\n";
    for (int r = 0; r < distinct; ++r) {
        const std::string key = hex(idOf(ids, r));
        d += key + "=Generated record " + std::to_string(r) + ",record\n";
        d += key + "h=Help text of record " + key + "\n";
    }
    d += "410=Int16 list,tbl16\n341=Point table,tbldb\n";
    for (int r = 0; r < distinct; ++r) {
        d += "[" + hex(idOf(ids, r)) + "]\n";
        std::uint32_t offset = 0;
        for (std::size_t f = 0; f < kFields; ++f) {
            d += std::to_string(f + 1) + "=" + hex(offset) + "," + kFieldTypes[f] + ",Field " + std::to_string(f + 1) + "\n";
            offset += kFieldWidths[f];
        }
    }
    airtest::AirImage file;
    file.reserve(std::size_t(records) * (8 + kDataSize));
    Bytes data(kDataSize);
    for (int r = 0; r < records; ++r) {
        if (r % 10 == 5) {
            if (r % 20 == 5) {
                Bytes list;
                for (int v = 0; v < 52; ++v)
                    list.push_back(std::uint8_t(v + r)), list.push_back(0);
                file.record(0x410, list);
            } else {
                std::vector<double> xs(12);
                for (int v = 0; v < 12; ++v)
                    xs[std::size_t(v)] = v * 0.5 + r;
                file.record(0x341, airtest::doubles({6}, xs));
            }
            continue;
        }
        for (std::uint32_t i = 0; i < kDataSize; ++i) data[i] = std::uint8_t(r * 31 + i * 7);
        file.record(idOf(ids, r), data);
    }
    in.file = file.bytes();
    // The script: field assignments over the whole file, text replacements
    // and insertions, deletions, table replacements.
    std::string& s = in.script;
    for (int line = 0; line < kScriptLines; ++line) {
        const int r = int((std::uint64_t(line) * 7919) % std::uint64_t(records));
        const std::string id = hex(idOf(ids, (r / 10) * 10 + 2));
        switch (line % 10) {
        case 0: s += "text " + hex(0x900000 + std::uint32_t(line)) + " Inserted text " + std::to_string(line) + "\n"; break;
        case 1: s += "delete " + hex(idOf(ids, (r / 10) * 10)) + "\n"; break;
        case 2: s += "text " + id + " Replaced|text\n"; break;
        case 3: s += "record: 410\nPoints: 4\n1 2 3 " + std::to_string(line % 1000) + "\n"; break;
        case 4: s += "; a comment line\n"; break;
        default: s += "field " + hex(idOf(ids, (r / 10) * 10 + 1)) + " 6 double " + std::to_string(line) + ".25\n"; break;
        }
    }
    return in;
}

const Input& input(Ids ids, int records)
{
    static std::map<std::pair<int, int>, Input> cache;
    auto key = std::make_pair(int(ids), records);
    auto it = cache.find(key);
    if (it == cache.end()) it = cache.emplace(key, makeInput(ids, records)).first;
    return it->second;
}

std::string scratch()
{
    static const std::string dir = [] {
        fs::path base = fs::is_directory("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path();
        fs::path d = base / ("bench-tool-" + std::to_string(::getpid()));
        fs::create_directories(d);
        return d.string();
    }();
    return dir;
}

std::string definitionsFile(Ids ids, int records)
{
    std::string path = scratch() + "/tarlo-" + std::to_string(int(ids)) + "-" + std::to_string(records) + ".ini";
    if (!fs::exists(path)) {
        const std::string& d = input(ids, records).definitions;
        (void)base::fileio::writeFileAtomic(
                path, std::span(reinterpret_cast<const std::uint8_t*>(d.data()), d.size()));
    }
    return path;
}

void setCounters(benchmark::State& state, const Input& in)
{
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(in.file.size()));
    state.counters["file_MB"] = double(in.file.size()) / 1e6;
}

// The dump into a sink that only counts, definitions loaded once per run.
void BM_Dump(benchmark::State& state, Ids ids, bool full)
{
    const int records = int(state.range(0));
    const Input& in = input(ids, records);
    const std::string defsPath = definitionsFile(ids, records);
    std::size_t written = 0;
    for (auto _ : state) {
        ToolDefinitions defs;
        dumpTo(in.file, defsPath, full, defs, [&](std::string_view piece) {
            written += piece.size();
            return true;
        });
    }
    benchmark::DoNotOptimize(written);
    setCounters(state, in);
}

void BM_Update(benchmark::State& state, Ids ids)
{
    const int records = int(state.range(0));
    const Input& in = input(ids, records);
    const std::string defsPath = definitionsFile(ids, records);
    std::size_t size = 0;
    for (auto _ : state) {
        ToolDefinitions defs;
        ScriptResult r = runUpdateScript(in.file, in.script, defsPath, defs, 1700000000);
        size += r.file.size() + r.log.size();
    }
    benchmark::DoNotOptimize(size);
    setCounters(state, in);
}

// The yardstick: the file read and written whole, as a copy does.
void BM_CopyFile(benchmark::State& state)
{
    const int records = int(state.range(0));
    const Input& in = input(Ids::Unique, records);
    const std::string from = scratch() + "/copy-from.air", to = scratch() + "/copy-to.air";
    (void)base::fileio::writeFileAtomic(from, in.file);
    for (auto _ : state) {
        Bytes b;
        (void)base::fileio::readFile(from, b);
        (void)base::fileio::writeFileAtomic(to, b);
    }
    setCounters(state, in);
}

void sizes(benchmark::internal::Benchmark* b)
{
    b->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
}

BENCHMARK_CAPTURE(BM_Dump, plain_unique, Ids::Unique, false)->Apply(sizes);
BENCHMARK_CAPTURE(BM_Dump, plain_repeated, Ids::Repeated, false)->Apply(sizes);
BENCHMARK_CAPTURE(BM_Dump, full_unique, Ids::Unique, true)->Apply(sizes);
BENCHMARK_CAPTURE(BM_Dump, full_repeated, Ids::Repeated, true)->Apply(sizes);
BENCHMARK_CAPTURE(BM_Update, unique, Ids::Unique)->Apply(sizes);
BENCHMARK_CAPTURE(BM_Update, repeated, Ids::Repeated)->Apply(sizes);
BENCHMARK(BM_CopyFile)->Apply(sizes);

// Writes <dir>/{unique,repeated}-{1k,10k,100k}.{air,ini,txt} for timing the
// programs, the .txt being the 10,000-line script.
int writeFiles(const std::string& dir)
{
    fs::create_directories(dir);
    for (Ids ids : {Ids::Unique, Ids::Repeated}) {
        for (int records : {1000, 10000, 100000}) {
            const Input& in = input(ids, records);
            const std::string base = dir + "/" + (ids == Ids::Unique ? "unique-" : "repeated-") +
                                     std::to_string(records / 1000) + "k";
            auto text = [](const std::string& s) {
                return std::span(reinterpret_cast<const std::uint8_t*>(s.data()), s.size());
            };
            if (base::fileio::writeFileAtomic(base + ".air", in.file)
                    || base::fileio::writeFileAtomic(base + ".ini", text(in.definitions))
                    || base::fileio::writeFileAtomic(base + ".txt", text(in.script))) {
                std::fprintf(stderr, "bench_tool: cannot write %s\n", base.c_str());
                return 1;
            }
        }
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::strcmp(argv[1], "--write-files") == 0) return writeFiles(argv[2]);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::error_code ec;
    fs::remove_all(scratch(), ec);
    return 0;
}
