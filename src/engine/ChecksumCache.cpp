#include "engine/ChecksumCache.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#define XXH_INLINE_ALL
#include <xxhash.h>

#include "engine/FileChecksums.h"
#include "logging/Logger.h"
#include "platform/AtomicFile.h"
#include "platform/FileSystem.h"
#include "platform/SpecialFolders.h"
#include "platform/VolumeId.h"

namespace pelcrow {

namespace {

// Layout (little-endian): magic, version, entry size, seed, count, 8 reserved zero bytes, hash of
// everything else, then the entries. Any change of layout or meaning takes a new version.
constexpr char kMagic[8] = {'P', 'C', 'W', 'C', 'K', 'S', 'U', 'M'};
constexpr char kSeedMagic[8] = {'P', 'C', 'W', 'S', 'E', 'E', 'D', '1'};
// Version 2 added the picture hash.
constexpr std::uint32_t kVersion = 2;
constexpr std::size_t kHeaderSize = 48;
constexpr std::size_t kHashOffset = 40;
constexpr std::size_t kEntrySize = 72;
// Entries of files no scan has found for this long are dropped when their volume is written.
constexpr std::uint32_t kKeepDays = 60;
constexpr const char* kSeedFile = "seed";

void Put(std::string& out, std::uint64_t v, int bytes) {
  for (int k = 0; k < bytes; ++k) out += static_cast<char>((v >> (8 * k)) & 0xFF);
}

std::uint64_t Get(const char* p, int bytes) {
  std::uint64_t v = 0;
  for (int k = bytes - 1; k >= 0; --k) v = (v << 8) | static_cast<unsigned char>(p[k]);
  return v;
}

std::uint64_t HashWithoutHashField(std::string_view bytes) {
  XXH3_state_t state;
  XXH3_INITSTATE(&state);
  XXH3_64bits_reset(&state);
  XXH3_64bits_update(&state, bytes.data(), kHashOffset);
  XXH3_64bits_update(&state, bytes.data() + kHashOffset + 8, bytes.size() - kHashOffset - 8);
  return XXH3_64bits_digest(&state);
}

void PutEntry(std::string& out, const TChecksumCacheEntry& e) {
  Put(out, e.Inode, 8);
  Put(out, static_cast<std::uint64_t>(e.Size), 8);
  Put(out, static_cast<std::uint64_t>(e.ModifiedNs), 8);
  Put(out, static_cast<std::uint64_t>(e.ChangedNs), 8);
  Put(out, e.ShortCRC32, 4);
  Put(out, e.CRC32, 4);
  Put(out, e.StrongHash[0], 8);
  Put(out, e.StrongHash[1], 8);
  Put(out, e.LastUsedDay, 4);
  Put(out, e.Flags, 1);
  Put(out, 0, 3);
  Put(out, e.PictureHash, 8);
}

// One entry, or false when its fields cannot have been written by this version.
bool GetEntry(const char* p, TChecksumCacheEntry& e) {
  e.Inode = Get(p, 8);
  e.Size = static_cast<std::int64_t>(Get(p + 8, 8));
  e.ModifiedNs = static_cast<std::int64_t>(Get(p + 16, 8));
  e.ChangedNs = static_cast<std::int64_t>(Get(p + 24, 8));
  e.ShortCRC32 = static_cast<std::uint32_t>(Get(p + 32, 4));
  e.CRC32 = static_cast<std::uint32_t>(Get(p + 36, 4));
  e.StrongHash[0] = Get(p + 40, 8);
  e.StrongHash[1] = Get(p + 48, 8);
  e.LastUsedDay = static_cast<std::uint32_t>(Get(p + 56, 4));
  e.Flags = static_cast<std::uint8_t>(p[60]);
  e.PictureHash = Get(p + 64, 8);
  if (Get(p + 61, 3) != 0 || e.Inode == 0 || e.Size < 0) return false;
  const std::uint8_t sums = e.Flags & ~kCacheHasPicture;
  if (e.Flags > (kCacheHasShort | kCacheHasFull | kCacheHasPicture) || sums == kCacheHasFull) return false;
  if (sums == 0 && (e.Flags == 0 || e.ShortCRC32 != 0)) return false;
  if (!(e.Flags & kCacheHasPicture) && e.PictureHash != 0) return false;
  // A file within one block is read whole: both checksums at once, and equal.
  if (sums != 0 && e.Size <= static_cast<std::int64_t>(kCRCBlockSize) &&
      (sums != (kCacheHasShort | kCacheHasFull) || e.ShortCRC32 != e.CRC32))
    return false;
  if (!(e.Flags & kCacheHasFull) && (e.CRC32 != 0 || e.StrongHash[0] != 0 || e.StrongHash[1] != 0)) return false;
  return true;
}

bool KeyMatches(const TChecksumCacheEntry& e, const TFileItem& it) {
  return e.Inode == it.Inode && e.Size == it.Size && e.ModifiedNs == it.Modified.UnixNanoseconds() &&
         e.ChangedNs == it.Changed.UnixNanoseconds();
}

// The whole file, or false when it cannot be read (missing, not a regular file).
bool ReadWhole(const std::string& path, std::string& bytes) {
  std::int64_t size = 0;
  if (platform::ReadableFileSize(path, size) != 0) return false;
  platform::TReadOnlyFile f;
  if (f.Open(path, true) != 0) return false;
  bytes.resize(static_cast<std::size_t>(size));
  const std::int64_t n = f.Read(bytes.data(), bytes.size());
  if (n != size) return false;
  char extra;
  return f.Read(&extra, 1) == 0;  // grew meanwhile: written under our feet, not trusted
}

std::uint32_t DayOf(TDateTime t) {
  const std::int64_t s = t.UnixSeconds();
  return s <= 0 ? 0 : static_cast<std::uint32_t>(s / 86400);
}

}  // namespace

std::string ChecksumCacheBytes(std::uint64_t Seed, const std::vector<TChecksumCacheEntry>& Entries) {
  std::string out(kMagic, sizeof kMagic);
  out.reserve(kHeaderSize + Entries.size() * kEntrySize);
  Put(out, kVersion, 4);
  Put(out, kEntrySize, 4);
  Put(out, Seed, 8);
  Put(out, Entries.size(), 8);
  Put(out, 0, 8);  // reserved
  Put(out, 0, 8);  // the hash, filled in below
  for (const TChecksumCacheEntry& e : Entries) PutEntry(out, e);
  const std::uint64_t h = HashWithoutHashField(out);
  for (int k = 0; k < 8; ++k) out[kHashOffset + static_cast<std::size_t>(k)] = static_cast<char>((h >> (8 * k)) & 0xFF);
  return out;
}

bool ParseChecksumCache(std::string_view Bytes, std::uint64_t Seed, std::vector<TChecksumCacheEntry>& Entries) {
  Entries.clear();
  if (Bytes.size() < kHeaderSize || std::memcmp(Bytes.data(), kMagic, sizeof kMagic) != 0) return false;
  const char* p = Bytes.data();
  if (Get(p + 8, 4) != kVersion || Get(p + 12, 4) != kEntrySize || Get(p + 16, 8) != Seed || Get(p + 32, 8) != 0)
    return false;
  const std::uint64_t count = Get(p + 24, 8);
  if (count > (Bytes.size() - kHeaderSize) / kEntrySize || Bytes.size() != kHeaderSize + count * kEntrySize) return false;
  if (Get(p + kHashOffset, 8) != HashWithoutHashField(Bytes)) return false;
  Entries.resize(static_cast<std::size_t>(count));
  for (std::size_t k = 0; k < Entries.size(); ++k) {
    if (!GetEntry(p + kHeaderSize + k * kEntrySize, Entries[k]) || (k > 0 && Entries[k - 1].Inode >= Entries[k].Inode)) {
      Entries.clear();
      return false;
    }
  }
  return true;
}

std::string ChecksumSeedBytes(std::uint64_t Seed) {
  std::string out(kSeedMagic, sizeof kSeedMagic);
  Put(out, Seed, 8);
  Put(out, XXH3_64bits(out.data(), out.size()), 8);
  return out;
}

bool ParseChecksumSeed(std::string_view Bytes, std::uint64_t& Seed) {
  if (Bytes.size() != 24 || std::memcmp(Bytes.data(), kSeedMagic, sizeof kSeedMagic) != 0) return false;
  if (Get(Bytes.data() + 16, 8) != XXH3_64bits(Bytes.data(), 16)) return false;
  Seed = Get(Bytes.data() + 8, 8);
  return true;
}

std::string ChecksumCacheFolder() {
  const std::string base = TPcwSpecialFolders::GetUserCacheDirectory();
  return base.empty() ? std::string() : base + "/pelcrow/checksums";
}

bool ClearChecksumCache(std::string* Error, const std::string& Folder) {
  if (Folder.empty()) return true;
  std::error_code ec;
  std::filesystem::remove_all(Folder, ec);
  if (ec && Error) *Error = "cannot remove " + Folder + ": " + ec.message();
  return !ec;
}

// ------------------------------------------------------------------ the cache of one scan

struct TChecksumCache::TVolume {
  std::string File;
  std::vector<TChecksumCacheEntry> Entries;  // as loaded, sorted by inode
  std::vector<char> Used;                    // by entry: a scan item matched it
  std::vector<TChecksumCacheEntry> Added;    // computed by this scan
  bool Dirty = false;

  const TChecksumCacheEntry* Find(std::uint64_t inode, std::size_t& index) const {
    auto it = std::lower_bound(Entries.begin(), Entries.end(), inode,
                               [](const TChecksumCacheEntry& e, std::uint64_t i) { return e.Inode < i; });
    if (it == Entries.end() || it->Inode != inode) return nullptr;
    index = static_cast<std::size_t>(it - Entries.begin());
    return &*it;
  }
};

TChecksumCache::TChecksumCache(std::string Folder, TDateTime ScanStart, std::int64_t SettleNs)
    : fFolder(std::move(Folder)), fScanStart(ScanStart), fSettleNs(SettleNs) {}

TChecksumCache::~TChecksumCache() = default;

TChecksumCache::TVolume* TChecksumCache::VolumeOf(const TFileItem& Item) {
  if (fLastVolume && Item.Device == fLastDevice) return fLastVolume;
  auto& slot = fByDevice[Item.Device];
  if (!slot) {
    slot = std::make_unique<TVolume>();
    slot->File = fFolder + "/" + platform::VolumeKey(Item.Device, Item.Path.str()) + ".cache";
    std::string bytes;
    // A file that does not parse is simply not used; the next save replaces it.
    if (!fSeedIsNew && ReadWhole(slot->File, bytes) && !ParseChecksumCache(bytes, fSeed, slot->Entries))
      WriteLog("checksum cache " + slot->File + " is damaged or of another version; it is rebuilt", lsvWarning);
    slot->Used.assign(slot->Entries.size(), 0);
  }
  fLastDevice = Item.Device;
  fLastVolume = slot.get();
  return fLastVolume;
}

void TChecksumCache::LoadSeed() {
  if (fSeedLoaded) return;
  fSeedLoaded = true;
  std::string bytes;
  if (ReadWhole(fFolder + "/" + kSeedFile, bytes) && ParseChecksumSeed(bytes, fSeed)) {
    fSeedIsNew = false;
  } else {
    fSeed = RandomSeed();
    fSeedIsNew = true;  // no volume file can hold hashes of this seed
  }
  SetStrongHashSeed(fSeed);
}

void TChecksumCache::Fill(const std::vector<PFileItem>& Items) {
  LoadSeed();
  for (PFileItem it : Items) {
    if (it->Inode == 0 || it->fHasShortCRC) continue;
    TVolume* v = VolumeOf(*it);
    std::size_t k = 0;
    const TChecksumCacheEntry* e = v->Find(it->Inode, k);
    if (!e || !KeyMatches(*e, *it) || !(e->Flags & kCacheHasShort)) continue;
    v->Used[k] = 1;
    it->ShortCRC32 = e->ShortCRC32;
    it->fHasShortCRC = true;
    if (e->Flags & kCacheHasFull) {
      it->CRC32 = e->CRC32;
      it->StrongHash[0] = e->StrongHash[0];
      it->StrongHash[1] = e->StrongHash[1];
      it->fHasFullCRC = true;
    }
    ++fHits;
  }
}

void TChecksumCache::Collect(const std::vector<PFileItem>& Items) {
  const std::uint32_t today = DayOf(fScanStart);
  const std::int64_t settled = fScanStart.UnixNanoseconds() - fSettleNs;
  for (PFileItem it : Items) {
    if (it->Inode == 0 || !it->fHasShortCRC || it->fReadFailed) continue;
    if (it->Changed.UnixNanoseconds() > settled) continue;
    TVolume* v = VolumeOf(*it);
    std::size_t k = 0;
    const TChecksumCacheEntry* old = v->Find(it->Inode, k);
    const std::uint8_t flags = kCacheHasShort | (it->fHasFullCRC ? kCacheHasFull : 0);
    const bool same = old && KeyMatches(*old, *it);
    if (same && (old->Flags & flags) == flags) {
      if (old->LastUsedDay != today) v->Dirty = true;
      continue;
    }
    TChecksumCacheEntry e;
    if (same && (old->Flags & kCacheHasPicture)) {
      e.PictureHash = old->PictureHash;
      e.Flags = kCacheHasPicture;
    }
    e.Inode = it->Inode;
    e.Size = it->Size;
    e.ModifiedNs = it->Modified.UnixNanoseconds();
    e.ChangedNs = it->Changed.UnixNanoseconds();
    e.ShortCRC32 = it->ShortCRC32;
    if (it->fHasFullCRC) {
      e.CRC32 = it->CRC32;
      e.StrongHash[0] = it->StrongHash[0];
      e.StrongHash[1] = it->StrongHash[1];
    }
    e.Flags |= flags;
    e.LastUsedDay = today;
    v->Added.push_back(e);
    v->Dirty = true;
  }
}

void TChecksumCache::FillPictureHashes(const std::vector<PFileItem>& Items, std::vector<std::uint64_t>& Hashes,
                                       std::vector<char>& Has) {
  LoadSeed();
  for (std::size_t i = 0; i < Items.size() && i < Hashes.size() && i < Has.size(); ++i) {
    const TFileItem& it = *Items[i];
    if (it.Inode == 0 || Has[i]) continue;
    TVolume* v = VolumeOf(it);
    std::size_t k = 0;
    const TChecksumCacheEntry* e = v->Find(it.Inode, k);
    if (!e || !KeyMatches(*e, it) || !(e->Flags & kCacheHasPicture)) continue;
    v->Used[k] = 1;
    Hashes[i] = e->PictureHash;
    Has[i] = 1;
    ++fHits;
  }
}

void TChecksumCache::CollectPictureHashes(const std::vector<PFileItem>& Items, const std::vector<std::uint64_t>& Hashes,
                                          const std::vector<char>& Has) {
  const std::uint32_t today = DayOf(fScanStart);
  const std::int64_t settled = fScanStart.UnixNanoseconds() - fSettleNs;
  for (std::size_t i = 0; i < Items.size() && i < Hashes.size() && i < Has.size(); ++i) {
    const TFileItem& it = *Items[i];
    if (it.Inode == 0 || !Has[i] || it.Changed.UnixNanoseconds() > settled) continue;
    TVolume* v = VolumeOf(it);
    std::size_t k = 0;
    const TChecksumCacheEntry* old = v->Find(it.Inode, k);
    const bool same = old && KeyMatches(*old, it);
    if (same && (old->Flags & kCacheHasPicture) && old->PictureHash == Hashes[i]) {
      if (old->LastUsedDay != today) v->Dirty = true;
      continue;
    }
    TChecksumCacheEntry e;
    if (same) e = *old;  // its checksums stay
    e.Inode = it.Inode;
    e.Size = it.Size;
    e.ModifiedNs = it.Modified.UnixNanoseconds();
    e.ChangedNs = it.Changed.UnixNanoseconds();
    if (!same) e.Flags = 0, e.ShortCRC32 = e.CRC32 = 0, e.StrongHash[0] = e.StrongHash[1] = 0;
    e.PictureHash = Hashes[i];
    e.Flags |= kCacheHasPicture;
    e.LastUsedDay = today;
    v->Added.push_back(e);
    v->Dirty = true;
  }
}

int TChecksumCache::Save() {
  const std::uint32_t today = DayOf(fScanStart);
  int firstError = 0;
  bool anyDirty = false;
  for (auto& [device, v] : fByDevice) anyDirty |= v->Dirty;
  if (!anyDirty) return 0;
  // The folder is the user's alone: the values tell what their files hold.
  std::error_code ec;
  std::filesystem::create_directories(fFolder, ec);
  std::filesystem::permissions(fFolder, std::filesystem::perms::owner_all, ec);
  if (fSeedIsNew) {
    if (int err = WriteFileAtomically(fFolder + "/" + kSeedFile, ChecksumSeedBytes(fSeed)); err != 0) return err;
    fSeedIsNew = false;
  }
  for (auto& [device, v] : fByDevice) {
    if (!v->Dirty) continue;
    // Newest first per inode: this scan's values, then entries it found, then the others while
    // they are young enough.
    std::vector<TChecksumCacheEntry> all = std::move(v->Added);
    for (std::size_t k = 0; k < v->Entries.size(); ++k) {
      TChecksumCacheEntry& e = v->Entries[k];
      if (v->Used[k]) e.LastUsedDay = today;
      if (e.LastUsedDay + kKeepDays >= today) all.push_back(e);
    }
    std::stable_sort(all.begin(), all.end(),
                     [](const TChecksumCacheEntry& a, const TChecksumCacheEntry& b) { return a.Inode < b.Inode; });
    all.erase(std::unique(all.begin(), all.end(),
                          [](const TChecksumCacheEntry& a, const TChecksumCacheEntry& b) { return a.Inode == b.Inode; }),
              all.end());
    if (int err = WriteFileAtomically(v->File, ChecksumCacheBytes(fSeed, all)); err != 0 && firstError == 0)
      firstError = err;
    v->Dirty = false;
  }
  return firstError;
}

}  // namespace pelcrow
