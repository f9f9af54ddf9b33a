// Reading a file's checksums into its item's caches. The short checksum covers the first block
// of 65521 bytes; the full checksum the whole file. Every read also feeds a seeded 128-bit hash,
// so equal CRC-32 values are never taken alone as proof of equal content.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <stop_token>
#include <string_view>
#include <vector>

#include "engine/FileItem.h"

namespace pelcrow {

inline constexpr std::size_t kCRCBlockSize = 65521;

// The seed of the 128-bit hash. Hashes are comparable only under one seed: a checksum cache sets
// its own before a comparison phase starts.
std::uint64_t RandomSeed();
std::uint64_t StrongHashSeed();
void SetStrongHashSeed(std::uint64_t Seed);

// Sets ShortCRC32 (and, when the block was the whole file, CRC32 and StrongHash too). A file that
// cannot be opened or read gets fReadFailed. `bytesRead`, when given, counts what was read.
void ComputeShortChecksum(TFileItem& item, std::atomic<std::uint64_t>* bytesRead = nullptr);

// Sets CRC32 and StrongHash from one sequential read of the whole file. `blockCRCs`, when given,
// receives the CRC-32 of every 65521-byte block (the byte-by-byte mode orders files by them).
// A read error, a stop request or a size that differs from the scan's sets fReadFailed.
void ComputeFullChecksum(TFileItem& item, std::vector<std::uint32_t>* blockCRCs,
                         const std::stop_token& stop, std::atomic<std::uint64_t>* bytesRead = nullptr);

// The reads keep the folder of the last file open on each thread; this lets go of the calling
// thread's (threads that end let go of theirs).
void ReleaseChecksumFolder();

// CRC-32 of a UTF-8 text taken as UTF-16 little-endian code units (the music tag key).
std::uint32_t TextChecksumUtf16(std::string_view utf8);

}  // namespace pelcrow
