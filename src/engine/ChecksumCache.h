// The checksum cache: short and full CRC-32 and the 128-bit content hash of files read by earlier
// scans, kept in one file per file system under $XDG_CACHE_HOME/pelcrow/checksums/. A value is
// taken only when the file's inode, size, modification and change time (nanoseconds) all match
// what the scan found; a file that does not read back cleanly is ignored and rebuilt. The cache
// never changes a result, it only saves reads.
//
// One scan worker owns a TChecksumCache: Fill before the checksums are read, Collect after the
// sort (before files without a partner are dropped), Save at the end of the comparison phase.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "base/DateTime.h"
#include "engine/FileItem.h"

namespace pelcrow {

inline constexpr std::uint8_t kCacheHasShort = 1;
inline constexpr std::uint8_t kCacheHasFull = 2;
inline constexpr std::uint8_t kCacheHasPicture = 4;

struct TChecksumCacheEntry {
  std::uint64_t Inode = 0;
  std::int64_t Size = 0;
  std::int64_t ModifiedNs = 0;
  std::int64_t ChangedNs = 0;
  std::uint32_t ShortCRC32 = 0;
  std::uint32_t CRC32 = 0;
  std::uint64_t StrongHash[2] = {0, 0};
  // Day (since 1970) of the last scan that found the file; long unused entries are dropped.
  std::uint32_t LastUsedDay = 0;
  // The similar-pictures mode's perceptual hash.
  std::uint64_t PictureHash = 0;
  std::uint8_t Flags = 0;  // kCacheHasShort, kCacheHasFull, kCacheHasPicture
  friend bool operator==(const TChecksumCacheEntry&, const TChecksumCacheEntry&) = default;
};

// The bytes of one volume's cache file: entries sorted by inode, each inode once.
std::string ChecksumCacheBytes(std::uint64_t Seed, const std::vector<TChecksumCacheEntry>& Entries);
// Reads a volume's cache file; false (Entries empty) when it is truncated, corrupt, of another
// version or made under another hash seed.
bool ParseChecksumCache(std::string_view Bytes, std::uint64_t Seed, std::vector<TChecksumCacheEntry>& Entries);
// The seed file: the hash seed every volume file of the folder was made with.
std::string ChecksumSeedBytes(std::uint64_t Seed);
bool ParseChecksumSeed(std::string_view Bytes, std::uint64_t& Seed);

// $XDG_CACHE_HOME/pelcrow/checksums (or ~/.cache/...); empty without a home folder.
std::string ChecksumCacheFolder();
// Removes every cache file of the folder (default: the user's). Not while a scan runs: its end
// would write back what it had loaded. False with the reason in Error when a file stays.
bool ClearChecksumCache(std::string* Error = nullptr, const std::string& Folder = ChecksumCacheFolder());

class TChecksumCache {
 public:
  // SettleNs: a file whose change time lies less than this before ScanStart is not stored, since
  // a change within the clock's granularity after the read would leave its times as they were.
  TChecksumCache(std::string Folder, TDateTime ScanStart, std::int64_t SettleNs);
  ~TChecksumCache();
  TChecksumCache(const TChecksumCache&) = delete;
  TChecksumCache& operator=(const TChecksumCache&) = delete;

  // Sets the content-hash seed of the folder, loads the volumes the items lie on and fills the
  // checksum caches of the items whose key matches.
  void Fill(const std::vector<PFileItem>& Items);
  // Takes the checksums the scan computed (readable files only).
  void Collect(const std::vector<PFileItem>& Items);
  // Writes the volumes that changed, each to a temporary file renamed into place. Returns 0 or
  // the errno of the first failure (the cache is then only not updated).
  int Save();

  // The same for the perceptual hashes of pictures, by the items' index (Has[i] set: known). A
  // file's checksums and picture hash share its entry: taking one keeps the other.
  void FillPictureHashes(const std::vector<PFileItem>& Items, std::vector<std::uint64_t>& Hashes, std::vector<char>& Has);
  void CollectPictureHashes(const std::vector<PFileItem>& Items, const std::vector<std::uint64_t>& Hashes,
                            const std::vector<char>& Has);

  // Items whose checksums came from the cache in Fill.
  std::int64_t Hits() const { return fHits; }

 private:
  struct TVolume;
  TVolume* VolumeOf(const TFileItem& Item);
  void LoadSeed();
  bool fSeedLoaded = false;

  std::string fFolder;
  TDateTime fScanStart;
  std::int64_t fSettleNs;
  std::uint64_t fSeed = 0;
  bool fSeedIsNew = false;
  std::int64_t fHits = 0;
  std::unordered_map<std::uint64_t, std::unique_ptr<TVolume>> fByDevice;
  std::uint64_t fLastDevice = 0;
  TVolume* fLastVolume = nullptr;
};

}  // namespace pelcrow
