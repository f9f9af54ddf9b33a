// Small helpers every tag reader shares: bounded reads from a byte source, byte-order decoding,
// text decoding into UTF-8, trimming and the lenient number rules of tag fields.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

#include "audiotags/ByteSource.h"

namespace pelcrow {

// A reader met data it cannot use (truncated, out of range); the read fails like any unknown file.
class EAudioFormat : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The longest text value read from formats that set no limit of their own; the rest is skipped.
inline constexpr std::size_t kMaxTagTextBytes = 4096;

// Reads exactly `count` bytes at `offset` or throws EAudioFormat.
void ReadExact(IByteSource& source, std::uint64_t offset, void* buffer, std::size_t count);
// Reads up to `count` bytes at `offset` (fewer at the end of the data). Callers bound `count`.
std::string ReadUpTo(IByteSource& source, std::uint64_t offset, std::size_t count);

inline std::uint16_t BE16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] << 8 | p[1]); }
inline std::uint32_t BE24(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) << 16 | static_cast<std::uint32_t>(p[1]) << 8 | p[2];
}
inline std::uint32_t BE32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) << 24 | static_cast<std::uint32_t>(p[1]) << 16 |
         static_cast<std::uint32_t>(p[2]) << 8 | p[3];
}
inline std::uint64_t BE64(const std::uint8_t* p) { return static_cast<std::uint64_t>(BE32(p)) << 32 | BE32(p + 4); }
inline std::uint16_t LE16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[1] << 8 | p[0]); }
inline std::uint32_t LE32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[3]) << 24 | static_cast<std::uint32_t>(p[2]) << 16 |
         static_cast<std::uint32_t>(p[1]) << 8 | p[0];
}
inline std::uint64_t LE64(const std::uint8_t* p) { return static_cast<std::uint64_t>(LE32(p + 4)) << 32 | LE32(p); }
inline const std::uint8_t* Bytes(const std::string& s) { return reinterpret_cast<const std::uint8_t*>(s.data()); }

// 8-bit text as ISO 8859-1.
std::string Latin1ToUtf8(std::string_view bytes);
// UTF-16 code units up to the first zero unit; unpaired surrogates become U+FFFD.
std::string Utf16ToUtf8(std::string_view bytes, bool bigEndian);
// Keeps valid UTF-8, replaces each invalid byte by U+FFFD and drops a sequence cut off at the end.
std::string SanitizeUtf8(std::string_view bytes);
// The rule of the Vorbis comment readers: decodes well-formed sequences and stops at the first
// malformed one, keeping what came before.
std::string Utf8Prefix(std::string_view bytes);
// The text before the first zero byte.
std::string_view CutAtNul(std::string_view bytes);

// Drops bytes up to the space (blanks and control characters) at both ends / at the end.
std::string_view TrimText(std::string_view s);
std::string_view TrimRightText(std::string_view s);
std::string UpperAscii(std::string_view s);
bool SameTextAscii(std::string_view a, std::string_view b);

// A whole decimal integer, optionally signed, nothing else; false otherwise or when it overflows.
bool ParseInteger(std::string_view s, std::int64_t& value);
// The number before the first "/" of a track text ("3/12" -> 3); 0 when it is not a number or
// does not fit `maxValue`.
std::int64_t TrackNumberOf(std::string_view text, std::int64_t maxValue);

// A duration in seconds as the tag key carries it: the shortest text that reads back as the
// same double, so two durations give the same text exactly when they are the same number.
std::string DurationText(double seconds);

}  // namespace pelcrow
