// Picture data of a JPEG file apart from its EXIF blocks, for the file-name mode's EXIF option:
// two JPEG files with the same picture data at the start but different metadata count as equal.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace pelcrow {

struct TExifBlock {
  std::int64_t Position = 0;
  std::uint32_t Size = 0;
};

// The APP1 blocks of a JPEG file, found by walking its markers up to the start of scan.
std::vector<TExifBlock> GetExifLocation(const std::string& fileName);

// CRC-32 of the first 65521 bytes with every EXIF block zeroed. False when the file has no EXIF
// block (such files are never EXIF-equal to anything).
bool ExifStrippedChecksum(const std::string& fileName, std::uint32_t& crc);

// Two files are EXIF-equal when both have EXIF blocks and equal stripped checksums.
bool CompareExif(const std::string& file1, const std::string& file2);

}  // namespace pelcrow
