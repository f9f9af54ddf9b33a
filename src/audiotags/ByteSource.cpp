#include "audiotags/ByteSource.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "platform/FileSystem.h"

namespace pelcrow {

namespace {

constexpr std::size_t kWindowSize = 32768;
constexpr std::size_t kWindowAlign = 4096;

}  // namespace

std::size_t TMemoryByteSource::ReadAt(std::uint64_t offset, void* buffer, std::size_t count) {
  if (offset >= fSize) return 0;
  std::size_t n = std::min<std::uint64_t>(count, fSize - offset);
  std::memcpy(buffer, fData + offset, n);
  return n;
}

int TFileByteSource::Open(const std::string& path) {
  Close();
  // Only regular files: a FIFO or device in the music folder must not block the scan.
  platform::TFileInfo info;
  if (int err = platform::Stat(path, info)) return err;
  if (info.Type != platform::TEntryType::etFile)
    return info.Type == platform::TEntryType::etDirectory ? EISDIR : EINVAL;
  std::FILE* f = std::fopen(path.c_str(), "rbe");
  if (!f) return errno ? errno : EIO;
  // The window below is the only buffer; stdio's would just copy twice.
  std::setvbuf(f, nullptr, _IONBF, 0);
  fFile = f;
  fPath = path;
  fSize = static_cast<std::uint64_t>(std::max<std::int64_t>(info.Size, 0));
  return 0;
}

void TFileByteSource::Close() {
  if (fFile) std::fclose(fFile);
  fFile = nullptr;
  fWindow.clear();
  fWindowStart = 0;
}

std::size_t TFileByteSource::ReadDirect(std::uint64_t offset, void* buffer, std::size_t count) {
  if (!fFile) throw std::runtime_error("cannot read file: not open");
  if (fseeko(fFile, static_cast<off_t>(offset), SEEK_SET) != 0)
    throw std::runtime_error("cannot read " + fPath + ": " + platform::ErrorText(errno));
  std::size_t n = std::fread(buffer, 1, count, fFile);
  if (n < count && std::ferror(fFile)) {
    int err = errno;
    std::clearerr(fFile);
    throw std::runtime_error("cannot read " + fPath + ": " + platform::ErrorText(err));
  }
  return n;
}

std::size_t TFileByteSource::ReadAt(std::uint64_t offset, void* buffer, std::size_t count) {
  if (count == 0 || offset >= fSize) return 0;
  if (count > kWindowSize / 2) return ReadDirect(offset, buffer, count);
  if (offset < fWindowStart || offset + count > fWindowStart + fWindow.size()) {
    std::uint64_t start = offset - offset % kWindowAlign;
    // Near the end, let the window reach the end: the trailing tags are read from there.
    if (fSize - start < kWindowSize) start = fSize > kWindowSize ? fSize - kWindowSize : 0;
    fWindow.resize(static_cast<std::size_t>(std::min<std::uint64_t>(kWindowSize, fSize - start)));
    fWindow.resize(ReadDirect(start, fWindow.data(), fWindow.size()));
    fWindowStart = start;
  }
  if (offset >= fWindowStart + fWindow.size()) return 0;
  std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(count, fWindowStart + fWindow.size() - offset));
  std::memcpy(buffer, fWindow.data() + (offset - fWindowStart), n);
  return n;
}

}  // namespace pelcrow
