#include "services/Crc32.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <random>
#include <string_view>
#include <vector>

namespace pelcrow {
namespace {

std::vector<unsigned char> RandomBytes(std::size_t n, std::uint32_t seed) {
  std::mt19937 rng(seed);  // fixed seed: failures must be reproducible
  std::vector<unsigned char> v(n);
  for (auto& b : v) b = static_cast<unsigned char>(rng());
  return v;
}

std::uint32_t ZlibOf(const unsigned char* p, std::size_t n) {
  return static_cast<std::uint32_t>(crc32(0L, p, static_cast<uInt>(n)));
}

std::uint32_t PortableOf(const void* p, std::size_t n) {
  std::uint32_t reg = kCRC32Init;
  detail::UpdateCRC32Portable(p, n, reg);
  return ~reg;
}

TEST(Crc32Test, KnownValues) {
  struct TCase {
    std::string_view Text;
    std::uint32_t CRC;
  };
  const TCase cases[] = {
      {"", 0x00000000u},
      {"a", 0xE8B7BE43u},
      {"abc", 0x352441C2u},
      {"123456789", 0xCBF43926u},
      {"The quick brown fox jumps over the lazy dog", 0x414FA339u},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Text);
    EXPECT_EQ(CRC32Of(c.Text), c.CRC);
    EXPECT_EQ(PortableOf(c.Text.data(), c.Text.size()), c.CRC);
    std::uint32_t reg = kCRC32Init;
    UpdateCRC32(c.Text.data(), c.Text.size(), reg);
    EXPECT_EQ(~reg, c.CRC);
  }
}

TEST(Crc32Test, EmptyBufferGivesZeroAndKeepsRegister) {
  EXPECT_EQ(CRC32Of(nullptr, 0), 0u);
  std::uint32_t reg = 0x12345678u;
  UpdateCRC32(nullptr, 0, reg);
  EXPECT_EQ(reg, 0x12345678u);
}

// Every length 0..70000, each at a random start offset so all alignments mod 16 are hit.
TEST(Crc32Test, MatchesZlibAtEveryLength) {
  constexpr std::size_t kMaxLen = 70000, kOffsets = 16;
  const auto buf = RandomBytes(kMaxLen + kOffsets, 1);
  // zlib's CRC of every prefix from every offset, fed one byte at a time: O(n) per offset
  // instead of the O(n^2) of one zlib call per length.
  std::vector<std::uint32_t> ref(kOffsets * (kMaxLen + 1));
  for (std::size_t s = 0; s < kOffsets; ++s) {
    uLong z = crc32(0L, Z_NULL, 0);
    ref[s * (kMaxLen + 1)] = static_cast<std::uint32_t>(z);
    for (std::size_t len = 1; len <= kMaxLen; ++len) {
      z = crc32(z, &buf[s + len - 1], 1);
      ref[s * (kMaxLen + 1) + len] = static_cast<std::uint32_t>(z);
    }
    ASSERT_EQ(ref[s * (kMaxLen + 1) + kMaxLen], ZlibOf(&buf[s], kMaxLen));  // one-call zlib too
  }
  std::mt19937 rng(2);
  for (std::size_t len = 0; len <= kMaxLen; ++len) {
    const std::size_t s = rng() % kOffsets;
    ASSERT_EQ(CRC32Of(&buf[s], len), ref[s * (kMaxLen + 1) + len]) << "length " << len
                                                                    << ", offset " << s;
  }
}

TEST(Crc32Test, FastAndPortablePathsAgree) {
  SCOPED_TRACE(detail::CRC32UsesCLMUL() ? "fast path: PCLMULQDQ" : "no fast path on this CPU");
  constexpr std::size_t kBig = std::size_t{1} << 20, kSmall = 4096, kRandomLengths = 200;
  const auto buf = RandomBytes(kBig + 64, 3);
  std::mt19937 rng(4);
  // Every short length (where the path switch and the tails are), then random long ones.
  for (std::size_t i = 0; i <= kSmall + kRandomLengths; ++i) {
    const std::size_t len = i <= kSmall ? i : rng() % (kBig + 1);
    const unsigned char* p = &buf[rng() % 64];
    const std::uint32_t portable = PortableOf(p, len);
    ASSERT_EQ(CRC32Of(p, len), portable) << "length " << len;
    if (i > kSmall) {
      ASSERT_EQ(ZlibOf(p, len), portable) << "length " << len;
    }
  }
}

// Any split into chunks (empty ones too, mixing both paths) must give the one-call result.
TEST(Crc32Test, ChunkedUpdatesMatchOneCall) {
  const auto buf = RandomBytes(300000, 5);
  const std::uint32_t whole = CRC32Of(buf.data(), buf.size());
  ASSERT_EQ(whole, ZlibOf(buf.data(), buf.size()));
  for (const std::size_t maxChunk : {1u, 15u, 16u, 17u, 63u, 64u, 65u, 1000u, 70000u}) {
    SCOPED_TRACE(maxChunk);
    std::mt19937 rng(static_cast<std::uint32_t>(maxChunk));
    std::uint32_t reg = kCRC32Init;
    for (std::size_t pos = 0, k = 0; pos < buf.size(); ++k) {
      const std::size_t n = std::min<std::size_t>(buf.size() - pos, rng() % (maxChunk + 1));
      if (k % 2 == 0)
        UpdateCRC32(&buf[pos], n, reg);
      else
        detail::UpdateCRC32Portable(&buf[pos], n, reg);
      pos += n;
    }
    EXPECT_EQ(~reg, whole);
  }
}

}  // namespace
}  // namespace pelcrow
