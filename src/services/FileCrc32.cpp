#include "services/FileCrc32.h"

#include <cerrno>
#include <vector>

#include "platform/FileSystem.h"
#include "services/Crc32.h"

namespace pelcrow {

int ComputeFileCRC32(const std::string& path, std::uint32_t& crc, const std::stop_token& stop, std::size_t blockSize) {
  crc = 0;
  platform::TReadOnlyFile f;
  if (int err = f.Open(path, true); err != 0) return err;
  std::vector<char> buf(blockSize > 0 ? blockSize : 1);
  std::uint32_t c = kCRC32Init;
  for (;;) {
    if (stop.stop_requested()) return ECANCELED;
    std::int64_t n = f.Read(buf.data(), buf.size());
    if (n < 0) return f.LastError();
    if (n == 0) break;
    UpdateCRC32(buf.data(), static_cast<std::size_t>(n), c);
    if (n < static_cast<std::int64_t>(buf.size())) break;
  }
  crc = ~c;
  return 0;
}

}  // namespace pelcrow
