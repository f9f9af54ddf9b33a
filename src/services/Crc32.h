// The CRC-32 of IEEE 802.3 (zlib, PNG, ZIP), shared by the engine, the photo scanner and the
// CRC32 tool. Slice-by-16 tables everywhere, PCLMULQDQ folding on x86 CPUs that have it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace pelcrow {

inline constexpr std::uint32_t kCRC32Init = 0xFFFFFFFFu;

// Standard CRC-32 of IEEE 802.3 (reflected polynomial 0xEDB88320). Updates the running register
// value in place WITHOUT the final inversion: start from kCRC32Init, invert (~) at the end.
void UpdateCRC32(const void* Buffer, std::size_t Length, std::uint32_t& CRC);

// The finished checksum of one buffer (init 0xFFFFFFFF, final inversion).
std::uint32_t CRC32Of(const void* Data, std::size_t Length);
inline std::uint32_t CRC32Of(std::string_view s) { return CRC32Of(s.data(), s.size()); }

namespace detail {
// For tests and benchmarks only: UpdateCRC32 forced onto the portable slice-by-16 path.
void UpdateCRC32Portable(const void* Buffer, std::size_t Length, std::uint32_t& CRC);
// For tests and benchmarks only: true when UpdateCRC32 uses the PCLMULQDQ path on this CPU.
bool CRC32UsesCLMUL();
}  // namespace detail

}  // namespace pelcrow
