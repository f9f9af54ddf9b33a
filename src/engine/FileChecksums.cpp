#include "engine/FileChecksums.h"

#include <algorithm>
#include <memory>
#include <new>
#include <random>

#define XXH_INLINE_ALL
#include <xxhash.h>

#include "logging/Logger.h"
#include "platform/FileSystem.h"
#include "platform/FolderFiles.h"
#include "services/Crc32.h"

namespace pelcrow {

namespace {

// Whole blocks per read, so block boundaries fall on buffer boundaries.
constexpr std::size_t kBlocksPerRead = 16;
constexpr std::size_t kReadSize = kCRCBlockSize * kBlocksPerRead;

// Page-aligned, so the kernel copies from the page cache into whole pages.
char* ThreadBuffer() {
  struct TFree {
    void operator()(char* p) const { ::operator delete[](p, std::align_val_t(4096)); }
  };
  thread_local std::unique_ptr<char[], TFree> buf(static_cast<char*>(::operator new[](kReadSize, std::align_val_t(4096))));
  return buf.get();
}

// The reads come folder by folder (the items are in the walk's order): each thread keeps the
// folder of its last file open.
platform::TFolderFiles& ThreadFiles() {
  thread_local platform::TFolderFiles files;
  return files;
}

XXH3_state_t* ThreadHashState() {
  struct TFree {
    void operator()(XXH3_state_t* s) const { XXH3_freeState(s); }
  };
  thread_local std::unique_ptr<XXH3_state_t, TFree> state(XXH3_createState());
  return state.get();
}

// An unreadable file leaves the comparison quietly for the user, but not for the log.
void LogReadFailure(const std::string& path, int err) {
  WriteLog("cannot read " + path + ": " + platform::ErrorText(err), lsvError);
}

void StoreHash(TFileItem& item, XXH128_hash_t h) {
  item.StrongHash[0] = h.low64;
  item.StrongHash[1] = h.high64;
}

// A random seed per process (or per checksum cache): colliding inputs cannot be prepared in advance.
std::atomic<std::uint64_t> gSeed{RandomSeed()};

}  // namespace

std::uint64_t RandomSeed() {
  std::random_device rd;
  return (static_cast<std::uint64_t>(rd()) << 32) ^ rd();
}

std::uint64_t StrongHashSeed() { return gSeed.load(std::memory_order_relaxed); }
void SetStrongHashSeed(std::uint64_t Seed) { gSeed.store(Seed, std::memory_order_relaxed); }

void ReleaseChecksumFolder() { ThreadFiles().CloseFolder(); }

void ComputeShortChecksum(TFileItem& item, std::atomic<std::uint64_t>* bytesRead) {
  item.fHasShortCRC = true;
  item.ShortCRC32 = kCRC32Init;
  platform::TFolderFiles& f = ThreadFiles();
  if (int err = f.Open(item.Path.view(), item.Name.view(), false); err != 0) {
    item.fReadFailed = true;
    LogReadFailure(item.FullPath(), err);
    return;
  }
  char* buf = ThreadBuffer();
  std::int64_t n = f.Read(buf, kCRCBlockSize);
  const int readError = f.LastError();
  f.Close();
  if (n < 0) {
    item.fReadFailed = true;
    LogReadFailure(item.FullPath(), readError);
    return;
  }
  if (bytesRead) bytesRead->fetch_add(static_cast<std::uint64_t>(n), std::memory_order_relaxed);
  std::uint32_t crc = kCRC32Init;
  UpdateCRC32(buf, static_cast<std::size_t>(n), crc);
  item.ShortCRC32 = ~crc;
  if (n == item.Size) {
    // The block was the whole file: its full checksum is known too.
    item.CRC32 = item.ShortCRC32;
    item.fHasFullCRC = true;
    StoreHash(item, XXH3_128bits_withSeed(buf, static_cast<std::size_t>(n), StrongHashSeed()));
  } else if (n < item.Size && n < static_cast<std::int64_t>(kCRCBlockSize)) {
    // Shorter than the scan saw it: changed since, its content is not what was found.
    item.fReadFailed = true;
  }
}

void ComputeFullChecksum(TFileItem& item, std::vector<std::uint32_t>* blockCRCs,
                         const std::stop_token& stop, std::atomic<std::uint64_t>* bytesRead) {
  item.fHasFullCRC = true;
  item.CRC32 = kCRC32Init;
  if (blockCRCs) blockCRCs->clear();
  XXH3_state_t* state = ThreadHashState();
  if (!state) {
    item.fReadFailed = true;
    return;
  }
  platform::TFolderFiles& f = ThreadFiles();
  if (int err = f.Open(item.Path.view(), item.Name.view(), true); err != 0) {
    item.fReadFailed = true;
    LogReadFailure(item.FullPath(), err);
    return;
  }
  XXH3_128bits_reset_withSeed(state, StrongHashSeed());
  char* buf = ThreadBuffer();
  std::uint32_t crc = kCRC32Init;
  std::int64_t total = 0;
  bool failed = false;
  for (;;) {
    if (stop.stop_requested()) {
      failed = true;
      break;
    }
    std::int64_t n = f.Read(buf, kReadSize);
    if (n < 0) {
      failed = true;
      LogReadFailure(item.FullPath(), f.LastError());
      break;
    }
    if (n == 0) break;
    total += n;
    if (bytesRead) bytesRead->fetch_add(static_cast<std::uint64_t>(n), std::memory_order_relaxed);
    XXH3_128bits_update(state, buf, static_cast<std::size_t>(n));
    if (blockCRCs) {
      for (std::int64_t off = 0; off < n; off += static_cast<std::int64_t>(kCRCBlockSize)) {
        std::size_t len = static_cast<std::size_t>(std::min<std::int64_t>(kCRCBlockSize, n - off));
        std::uint32_t b = kCRC32Init;
        UpdateCRC32(buf + off, len, b);
        blockCRCs->push_back(~b);
      }
    }
    UpdateCRC32(buf, static_cast<std::size_t>(n), crc);
    if (n < static_cast<std::int64_t>(kReadSize)) break;
  }
  f.Close();
  StoreHash(item, XXH3_128bits_digest(state));
  item.CRC32 = ~crc;
  if (failed || total != item.Size) item.fReadFailed = true;
}

std::uint32_t TextChecksumUtf16(std::string_view utf8) {
  // Decode to code points, emit UTF-16LE units; invalid bytes are taken as Latin-1.
  std::uint32_t crc = kCRC32Init;
  unsigned char out[512];
  std::size_t o = 0;
  auto put = [&](std::uint16_t u) {
    out[o++] = static_cast<unsigned char>(u & 0xFF);
    out[o++] = static_cast<unsigned char>(u >> 8);
    if (o == sizeof out) {
      UpdateCRC32(out, o, crc);
      o = 0;
    }
  };
  for (std::size_t i = 0; i < utf8.size();) {
    auto c = static_cast<unsigned char>(utf8[i]);
    char32_t cp = c;
    std::size_t len = 1;
    if (c >= 0x80) {
      std::size_t need = (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 0;
      bool ok = need != 0 && i + need <= utf8.size();
      char32_t v = need == 2 ? (c & 0x1F) : need == 3 ? (c & 0x0F) : (c & 0x07);
      for (std::size_t k = 1; ok && k < need; ++k) {
        auto b = static_cast<unsigned char>(utf8[i + k]);
        if ((b & 0xC0) != 0x80) ok = false;
        v = (v << 6) | (b & 0x3F);
      }
      if (ok) {
        cp = v;
        len = need;
      }
    }
    if (cp >= 0x10000) {
      cp -= 0x10000;
      put(static_cast<std::uint16_t>(0xD800 + (cp >> 10)));
      put(static_cast<std::uint16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      put(static_cast<std::uint16_t>(cp));
    }
    i += len;
  }
  UpdateCRC32(out, o, crc);
  return ~crc;
}

}  // namespace pelcrow
