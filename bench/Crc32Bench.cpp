// CRC-32 throughput: our dispatching CRC32Of, our portable slice-by-16, and zlib's crc32.
#include "services/Crc32.h"

#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <random>
#include <vector>

namespace {

// One random 16 MiB buffer; the smaller cases use its start and so stay in cache.
const unsigned char* Buffer() {
  static const std::vector<unsigned char> buf = [] {
    std::vector<unsigned char> v(std::size_t{16} << 20);
    std::mt19937 rng(1);
    for (auto& b : v) b = static_cast<unsigned char>(rng());
    return v;
  }();
  return buf.data();
}

template <typename F>
void Run(benchmark::State& state, F crc) {
  const auto n = static_cast<std::size_t>(state.range(0));
  const unsigned char* p = Buffer();
  for (auto _ : state) {
    std::uint32_t c = crc(p, n);
    benchmark::DoNotOptimize(c);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}

void BM_Crc32Of(benchmark::State& state) {
  state.SetLabel(pelcrow::detail::CRC32UsesCLMUL() ? "pclmul" : "portable");
  Run(state, [](const unsigned char* p, std::size_t n) { return pelcrow::CRC32Of(p, n); });
}

void BM_Crc32Portable(benchmark::State& state) {
  Run(state, [](const unsigned char* p, std::size_t n) {
    std::uint32_t reg = pelcrow::kCRC32Init;
    pelcrow::detail::UpdateCRC32Portable(p, n, reg);
    return ~reg;
  });
}

void BM_ZlibCrc32(benchmark::State& state) {
  Run(state, [](const unsigned char* p, std::size_t n) {
    return static_cast<std::uint32_t>(crc32(0L, p, static_cast<uInt>(n)));
  });
}

}  // namespace

BENCHMARK(BM_Crc32Of)->Arg(4 << 10)->Arg(64 << 10)->Arg(16 << 20);
BENCHMARK(BM_Crc32Portable)->Arg(4 << 10)->Arg(64 << 10)->Arg(16 << 20);
BENCHMARK(BM_ZlibCrc32)->Arg(4 << 10)->Arg(64 << 10)->Arg(16 << 20);
