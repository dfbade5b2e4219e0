// How long the report-descriptor parser takes: once per board open, so only pathological inputs
// could ever matter. Run: build/bench/bench_report_descriptor

#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

#include "hid/report_descriptor.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// The Rotorix board's descriptor: 16 buttons of input, an 8-byte vendor feature report.
const Bytes kRotorix = {0x05, 0x01, 0x09, 0x04, 0xA1, 0x01, 0x05, 0x09, 0x19, 0x01,
                        0x29, 0x10, 0x15, 0x00, 0x25, 0x01, 0x75, 0x01, 0x95, 0x10,
                        0x81, 0x02, 0x06, 0x00, 0xFF, 0x09, 0x01, 0x15, 0x00, 0x26,
                        0xFF, 0x00, 0x75, 0x08, 0x95, 0x08, 0xB1, 0x02, 0xC0};

void BM_Rotorix(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(rotorix::hid::reportLengthsFromDescriptor(kRotorix));
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(kRotorix.size()));
}
BENCHMARK(BM_Rotorix);

// The kernel's largest descriptor (4096 bytes), filled with Input items cycling through all 255
// report IDs: the most per-ID bookkeeping a real device could ask for.
void BM_DistinctReportIds(benchmark::State& state) {
    Bytes descriptor = {0x75, 0x08, 0x95, 0x01};
    for (std::uint32_t id = 1; descriptor.size() + 4 <= 4096; ++id) {
        descriptor.insert(descriptor.end(),
                          {0x85, static_cast<std::uint8_t>(id % 255 + 1), 0x81, 0x02});
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(rotorix::hid::reportLengthsFromDescriptor(descriptor));
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(descriptor.size()));
}
BENCHMARK(BM_DistinctReportIds);

// 4096 random bytes: mostly short walks that end on a truncated or odd item.
void BM_RandomBytes(benchmark::State& state) {
    std::mt19937 rng(0x2B7E0103);
    Bytes descriptor(4096);
    for (auto& b : descriptor) {
        b = static_cast<std::uint8_t>(rng());
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(rotorix::hid::reportLengthsFromDescriptor(descriptor));
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(descriptor.size()));
}
BENCHMARK(BM_RandomBytes);

}  // namespace
