// ComputeCrc16 over a buffer far larger than the caches, against the
// bytewise reference on the same bytes.

#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "package/Crc16.h"
#include "package/Crc16Paths.h"

namespace {

const std::vector<std::uint8_t>& Data() {
    static const std::vector<std::uint8_t> data = [] {
        std::vector<std::uint8_t> d(64u << 20);
        std::mt19937_64 rng(0xC0FFEE);
        for (std::size_t i = 0; i < d.size(); i += 8) {
            const std::uint64_t word = rng();
            for (std::size_t k = 0; k < 8; ++k) d[i + k] = static_cast<std::uint8_t>(word >> (8 * k));
        }
        return d;
    }();
    return data;
}

template <std::uint16_t (*Crc)(std::uint16_t, const std::uint8_t*, std::size_t)>
void BenchCrc(benchmark::State& state) {
    const auto& data = Data();
    for (auto _ : state) benchmark::DoNotOptimize(Crc(0xFFFF, data.data(), data.size()));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(data.size()));
}

void BM_ComputeCrc16(benchmark::State& state) { BenchCrc<carillon::ComputeCrc16>(state); }
void BM_ComputeCrc16Bytewise(benchmark::State& state) { BenchCrc<carillon::ComputeCrc16Bytewise>(state); }
// The two paths ComputeCrc16 chooses between.
void BM_Crc16Sliced(benchmark::State& state) { BenchCrc<carillon::crc16::Sliced>(state); }
void BM_Crc16Clmul(benchmark::State& state) {
    if (!carillon::crc16::HasClmul()) return state.SkipWithError("no carry-less multiplication on this processor");
    BenchCrc<carillon::crc16::Clmul>(state);
}

BENCHMARK(BM_ComputeCrc16)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ComputeCrc16Bytewise)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Crc16Sliced)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Crc16Clmul)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
