// CRC throughput beside zlib's crc32 in the same run.
#include "archive/core/Crc.h"

#include <benchmark/benchmark.h>
#include <random>
#include <vector>
#include <zlib.h>

namespace {

const std::vector<std::uint8_t>& buffer(std::size_t n) {
    static std::vector<std::uint8_t> data = [] {
        std::vector<std::uint8_t> d(1 << 20);
        std::mt19937 rng(1);
        for (auto& b : d) b = static_cast<std::uint8_t>(rng());
        return d;
    }();
    (void)n;
    return data;
}

void BM_Crc32(benchmark::State& state) {
    const auto& d = buffer(0);
    std::size_t n = static_cast<std::size_t>(state.range(0));
    for (auto _ : state) {
        std::uint32_t c = 0xFFFFFFFF;
        Crc32Update(d.data(), n, c);
        benchmark::DoNotOptimize(c);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}

void BM_ZlibCrc32(benchmark::State& state) {
    const auto& d = buffer(0);
    for (auto _ : state) {
        uLong c = crc32(0L, d.data(), static_cast<uInt>(state.range(0)));
        benchmark::DoNotOptimize(c);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}

void BM_Crc16(benchmark::State& state) {
    const auto& d = buffer(0);
    std::size_t n = static_cast<std::size_t>(state.range(0));
    for (auto _ : state) {
        std::uint16_t c = 0;
        Crc16Update(d.data(), n, c);
        benchmark::DoNotOptimize(c);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}

// The plain one-lookup-per-byte loop, for reference.
void BM_Crc32Bytewise(benchmark::State& state) {
    const auto& d = buffer(0);
    std::size_t n = static_cast<std::size_t>(state.range(0));
    for (auto _ : state) {
        std::uint32_t c = 0xFFFFFFFF;
        for (std::size_t i = 0; i < n; ++i) c = Crc32Table[(c ^ d[i]) & 0xFF] ^ (c >> 8);
        benchmark::DoNotOptimize(c);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}

} // namespace

BENCHMARK(BM_Crc32)->Arg(4096)->Arg(1 << 20);
BENCHMARK(BM_ZlibCrc32)->Arg(4096)->Arg(1 << 20);
BENCHMARK(BM_Crc16)->Arg(4096)->Arg(1 << 20);
BENCHMARK(BM_Crc32Bytewise)->Arg(1 << 20);
BENCHMARK_MAIN();
