#include "platform/WholeFile.h"

#include <cerrno>

#include "platform/FileSystem.h"

namespace pelcrow::platform {

int ReadWholeFile(const std::string& Path, std::string& Text, std::int64_t Limit) {
  Text.clear();
  std::int64_t size = 0;
  if (const int err = ReadableFileSize(Path, size)) return err;
  if (size > Limit) return EFBIG;
  TReadOnlyFile f;
  if (const int err = f.Open(Path, true)) return err;
  char buf[65536];
  for (;;) {
    const std::int64_t n = f.Read(buf, sizeof buf);
    if (n < 0) return f.LastError();
    if (n == 0) return 0;
    Text.append(buf, static_cast<std::size_t>(n));
    if (static_cast<std::int64_t>(Text.size()) > Limit) return EFBIG;
  }
}

}  // namespace pelcrow::platform
