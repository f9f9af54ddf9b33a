#include "platform/Charset.h"

#include <iconv.h>

#include <cerrno>

namespace pelcrow::platform {

bool ConvertToUtf8(std::string_view Bytes, std::string_view Charset, std::string& Out) {
  const std::string name(Charset);
  iconv_t cd = ::iconv_open("UTF-8", name.c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  std::string result;
  result.reserve(Bytes.size() * 2);
  char* in = const_cast<char*>(Bytes.data());
  std::size_t inLeft = Bytes.size();
  char buf[4096];
  while (inLeft > 0) {
    char* out = buf;
    std::size_t outLeft = sizeof buf;
    const std::size_t r = ::iconv(cd, &in, &inLeft, &out, &outLeft);
    result.append(buf, static_cast<std::size_t>(out - buf));
    if (r != static_cast<std::size_t>(-1)) continue;
    if (errno == E2BIG) continue;
    // An invalid or cut-off sequence: one byte is replaced and skipped.
    result += "\xEF\xBF\xBD";
    ++in;
    --inLeft;
    ::iconv(cd, nullptr, nullptr, nullptr, nullptr);
  }
  char* out = buf;
  std::size_t outLeft = sizeof buf;
  ::iconv(cd, nullptr, nullptr, &out, &outLeft);
  result.append(buf, static_cast<std::size_t>(out - buf));
  ::iconv_close(cd);
  Out = std::move(result);
  return true;
}

}  // namespace pelcrow::platform
