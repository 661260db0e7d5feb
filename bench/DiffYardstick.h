#pragma once
// The yardstick of the benchmarks that compare two files: Patchwise's listing
// of what differs between them, the definitions loaded on every run.
#include "tool/Diff.h"
#include "tool/ToolDefinitions.h"

#include "common/AirImage.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>

namespace benchair {

inline void measureDiffListing(benchmark::State& state, const airtest::Bytes& a, const airtest::Bytes& b,
                               const std::string& definitions)
{
    std::size_t size = 0;
    for (auto _ : state) {
        patchwise::ToolDefinitions defs;
        size += patchwise::diffListing(a, b, definitions, defs).text.size();
    }
    benchmark::DoNotOptimize(size);
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(b.size()));
}

} // namespace benchair
