// Arbitrary bytes as a checksum cache file and as a seed file. Besides not crashing:
// - a file the reader accepts is exactly the file the writer makes of what was read (so nothing
//   it did not write can pass);
// - the same holds for the bytes as the entries of a file whose header and hash are right, which
//   takes the entry checks past the hash that random bytes never match.
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#define XXH_INLINE_ALL
#include <xxhash.h>

#include "engine/ChecksumCache.h"

namespace {

using namespace pelcrow;

void Put(std::string& out, std::uint64_t v, int bytes) {
  for (int k = 0; k < bytes; ++k) out += static_cast<char>((v >> (8 * k)) & 0xFF);
}

void CheckRoundTrip(std::string_view bytes, std::uint64_t seed) {
  std::vector<TChecksumCacheEntry> entries;
  if (!ParseChecksumCache(bytes, seed, entries)) {
    if (!entries.empty()) __builtin_trap();
    return;
  }
  if (ChecksumCacheBytes(seed, entries) != bytes) __builtin_trap();
}

// The header the writer would put before `payload` (its length rounded down to whole entries).
std::string WithValidHeader(std::string_view payload, std::uint64_t seed) {
  const std::size_t count = payload.size() / 64;
  std::string out = "PCWCKSUM";
  Put(out, 1, 4);
  Put(out, 64, 4);
  Put(out, seed, 8);
  Put(out, count, 8);
  Put(out, 0, 8);
  Put(out, 0, 8);
  out.append(payload.substr(0, count * 64));
  XXH3_state_t state;
  XXH3_INITSTATE(&state);
  XXH3_64bits_reset(&state);
  XXH3_64bits_update(&state, out.data(), 40);
  XXH3_64bits_update(&state, out.data() + 48, out.size() - 48);
  const std::uint64_t h = XXH3_64bits_digest(&state);
  for (int k = 0; k < 8; ++k) out[40 + static_cast<std::size_t>(k)] = static_cast<char>((h >> (8 * k)) & 0xFF);
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  // The seed the file names, so that a well-formed input is not refused for its seed alone.
  std::uint64_t seed = 0;
  if (size >= 24) std::memcpy(&seed, data + 16, sizeof seed);
  CheckRoundTrip(bytes, seed);
  CheckRoundTrip(bytes, seed + 1);
  CheckRoundTrip(WithValidHeader(bytes, seed), seed);
  std::uint64_t fromSeedFile = 0;
  if (ParseChecksumSeed(bytes, fromSeedFile) && ChecksumSeedBytes(fromSeedFile) != bytes) __builtin_trap();
  return 0;
}
