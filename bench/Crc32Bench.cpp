// CRC-32 throughput: our dispatching CRC32Of, our portable slice-by-16, and zlib's crc32.
#include "services/Crc32.h"

#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "services/FileCrc32.h"

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

// ---------------------------------------------------------------- whole files, as the CRC32 tool reads them

namespace {

// A 256 MiB file of the random buffer repeated, made once; its zlib checksum is the reference.
struct TBigFile {
  std::string Path;
  std::uint32_t Zlib = 0;
  ~TBigFile() {
    std::error_code ec;
    if (!Path.empty()) std::filesystem::remove(Path, ec);
  }
};

const TBigFile& BigFile() {
  static TBigFile file;
  if (file.Path.empty()) {
    file.Path = (std::filesystem::temp_directory_path() / "pelcrow-bench-crc32.bin").string();
    std::ofstream out(file.Path, std::ios::binary | std::ios::trunc);
    uLong z = crc32(0L, Z_NULL, 0);
    for (int i = 0; i < 16; ++i) {
      out.write(reinterpret_cast<const char*>(Buffer()), std::streamsize{16} << 20);
      z = crc32(z, Buffer(), 16u << 20);
    }
    file.Zlib = static_cast<std::uint32_t>(z);
  }
  return file;
}

void BM_FileCrc32(benchmark::State& state) {
  const TBigFile& f = BigFile();
  const auto block = static_cast<std::size_t>(state.range(0));
  for (auto _ : state) {
    std::uint32_t crc = 0;
    if (pelcrow::ComputeFileCRC32(f.Path, crc, {}, block) != 0 || crc != f.Zlib) {
      state.SkipWithError("the file's checksum is not zlib's");
      break;
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * (std::int64_t{256} << 20));
}

}  // namespace

// 65521: the tool's block; 1 MiB: the scan's.
BENCHMARK(BM_FileCrc32)->Arg(65521)->Arg(1 << 20)->Unit(benchmark::kMillisecond);
