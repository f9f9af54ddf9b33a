#include "services/Crc32.h"

#include <array>

#if defined(__x86_64__) || defined(__i386__)
#define PELCROW_CRC32_CLMUL 1
#include <immintrin.h>
#endif

namespace pelcrow {

namespace {

constexpr std::uint32_t kPolynomial = 0xEDB88320u;  // 0x04C11DB7 bit-reflected

using TCRCTables = std::array<std::array<std::uint32_t, 256>, 16>;

// Tables[k][b]: the register contribution of byte b followed by k zero bytes, so 16 bytes can
// be looked up independently and XORed (slice-by-16).
constexpr TCRCTables MakeTables() {
  TCRCTables t{};
  for (std::uint32_t b = 0; b < 256; ++b) {
    std::uint32_t c = b;
    for (int bit = 0; bit < 8; ++bit) c = (c & 1u) ? (c >> 1) ^ kPolynomial : c >> 1;
    t[0][b] = c;
  }
  for (std::size_t k = 1; k < t.size(); ++k)
    for (std::size_t b = 0; b < 256; ++b) t[k][b] = (t[k - 1][b] >> 8) ^ t[0][t[k - 1][b] & 0xFFu];
  return t;
}

constexpr TCRCTables kTables = MakeTables();
static_assert(kTables[0][1] == 0x77073096u && kTables[0][255] == 0x2D02EF8Du);

// Byte-wise assembly keeps the code endian-neutral; compilers turn it into one load on x86.
inline std::uint32_t Load32LE(const unsigned char* p) {
  return std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16) |
         (std::uint32_t{p[3]} << 24);
}

inline std::uint32_t Byte(std::uint32_t v, int i) { return (v >> (8 * i)) & 0xFFu; }

std::uint32_t SliceBy16(const unsigned char* p, std::size_t n, std::uint32_t crc) {
  const auto& t = kTables;
  while (n >= 16) {
    const std::uint32_t w0 = Load32LE(p) ^ crc;
    const std::uint32_t w1 = Load32LE(p + 4);
    const std::uint32_t w2 = Load32LE(p + 8);
    const std::uint32_t w3 = Load32LE(p + 12);
    // The byte at offset i is followed by 15 - i more bytes of this block.
    crc = t[15][Byte(w0, 0)] ^ t[14][Byte(w0, 1)] ^ t[13][Byte(w0, 2)] ^ t[12][Byte(w0, 3)] ^
          t[11][Byte(w1, 0)] ^ t[10][Byte(w1, 1)] ^ t[9][Byte(w1, 2)] ^ t[8][Byte(w1, 3)] ^
          t[7][Byte(w2, 0)] ^ t[6][Byte(w2, 1)] ^ t[5][Byte(w2, 2)] ^ t[4][Byte(w2, 3)] ^
          t[3][Byte(w3, 0)] ^ t[2][Byte(w3, 1)] ^ t[1][Byte(w3, 2)] ^ t[0][Byte(w3, 3)];
    p += 16;
    n -= 16;
  }
  while (n--) crc = (crc >> 8) ^ t[0][(crc ^ *p++) & 0xFFu];
  return crc;
}

#ifdef PELCROW_CRC32_CLMUL

#define PELCROW_CLMUL_TARGET __attribute__((target("pclmul,sse4.1")))

// Lambdas would not inherit the target attribute, hence small attributed helpers.
PELCROW_CLMUL_TARGET inline __m128i Load128(const unsigned char* q) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(q));
}

// One fold: moves x forward by the distance that k encodes (two 64x64 products), adds next.
PELCROW_CLMUL_TARGET inline __m128i Fold(__m128i x, __m128i k, __m128i next) {
  const __m128i lo = _mm_clmulepi64_si128(x, k, 0x00);
  const __m128i hi = _mm_clmulepi64_si128(x, k, 0x11);
  return _mm_xor_si128(_mm_xor_si128(lo, hi), next);
}

// Carry-less folding after Gopal et al., "Fast CRC Computation for Generic Polynomials Using
// PCLMULQDQ" (Intel, 2009), constants for the reflected IEEE polynomial.
// Precondition: n >= 64 and n % 16 == 0. Works on the register value like SliceBy16.
PELCROW_CLMUL_TARGET std::uint32_t FoldCLMUL(const unsigned char* p, std::size_t n,
                                             std::uint32_t crc) {
  const __m128i k1k2 = _mm_set_epi64x(0x01c6e41596, 0x0154442bd4);
  const __m128i k3k4 = _mm_set_epi64x(0x00ccaa009e, 0x01751997d0);
  const __m128i k5 = _mm_set_epi64x(0, 0x0163cd6124);
  const __m128i poly_mu = _mm_set_epi64x(0x01f7011641, 0x01db710641);
  const __m128i low32 = _mm_setr_epi32(-1, 0, -1, 0);

  // Four independent accumulators hide the multiplier latency.
  __m128i x0 = _mm_xor_si128(Load128(p), _mm_cvtsi32_si128(static_cast<int>(crc)));
  __m128i x1 = Load128(p + 16);
  __m128i x2 = Load128(p + 32);
  __m128i x3 = Load128(p + 48);
  p += 64;
  n -= 64;
  while (n >= 64) {
    x0 = Fold(x0, k1k2, Load128(p));
    x1 = Fold(x1, k1k2, Load128(p + 16));
    x2 = Fold(x2, k1k2, Load128(p + 32));
    x3 = Fold(x3, k1k2, Load128(p + 48));
    p += 64;
    n -= 64;
  }

  // Fold the four lanes into one, then the remaining 16-byte blocks.
  __m128i x = Fold(x0, k3k4, x1);
  x = Fold(x, k3k4, x2);
  x = Fold(x, k3k4, x3);
  for (; n >= 16; p += 16, n -= 16) x = Fold(x, k3k4, Load128(p));

  // 128 -> 64 bits.
  x = _mm_xor_si128(_mm_srli_si128(x, 8), _mm_clmulepi64_si128(x, k3k4, 0x10));
  x = _mm_xor_si128(_mm_srli_si128(x, 4),
                    _mm_clmulepi64_si128(_mm_and_si128(x, low32), k5, 0x00));

  // Barrett reduction 64 -> 32 bits.
  __m128i t = _mm_clmulepi64_si128(_mm_and_si128(x, low32), poly_mu, 0x10);
  t = _mm_clmulepi64_si128(_mm_and_si128(t, low32), poly_mu, 0x00);
  x = _mm_xor_si128(x, t);
  return static_cast<std::uint32_t>(_mm_extract_epi32(x, 1));
}

bool DetectCLMUL() {
  __builtin_cpu_init();  // also safe when first called during static initialisation
  return __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
}

// Decided once; a function-local static keeps the first call thread-safe.
bool HasCLMUL() {
  static const bool has = DetectCLMUL();
  return has;
}

#endif  // PELCROW_CRC32_CLMUL

}  // namespace

void UpdateCRC32(const void* Buffer, std::size_t Length, std::uint32_t& CRC) {
  const auto* p = static_cast<const unsigned char*>(Buffer);
  std::uint32_t crc = CRC;
#ifdef PELCROW_CRC32_CLMUL
  // Below 64 bytes the setup of the fold costs more than the tables.
  if (Length >= 64 && HasCLMUL()) {
    const std::size_t bulk = Length & ~std::size_t{15};
    crc = FoldCLMUL(p, bulk, crc);
    p += bulk;
    Length -= bulk;
  }
#endif
  CRC = SliceBy16(p, Length, crc);
}

std::uint32_t CRC32Of(const void* Data, std::size_t Length) {
  std::uint32_t crc = kCRC32Init;
  UpdateCRC32(Data, Length, crc);
  return ~crc;
}

namespace detail {

void UpdateCRC32Portable(const void* Buffer, std::size_t Length, std::uint32_t& CRC) {
  CRC = SliceBy16(static_cast<const unsigned char*>(Buffer), Length, CRC);
}

bool CRC32UsesCLMUL() {
#ifdef PELCROW_CRC32_CLMUL
  return HasCLMUL();
#else
  return false;
#endif
}

}  // namespace detail

}  // namespace pelcrow
