// Arbitrary bytes as a language file: parsing and both lookups must neither crash nor give back
// invalid UTF-8, and every loaded line must be found again by its own key.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "localization/LanguageFile.h"
#include "localization/TextEncoding.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

bool IsValidUtf8(std::string_view s) { return pelcrow::ToValidUtf8(s) == s; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  pelcrow::TLanguageFile file;
  file.LoadFromBytes(bytes);
  Check(IsValidUtf8(file.LangName()));

  std::size_t n = 0;
  for (const auto& [key, value] : file.Lines()) {
    if (++n > 64) break;
    Check(IsValidUtf8(key) && IsValidUtf8(value));
    Check(file.FindTranslation(key) != nullptr);
    Check(file.FindKey(value) != nullptr);
    Check(IsValidUtf8(file.Translate(key, false)));
    Check(IsValidUtf8(file.Translate(value, true)));
  }
  // The input itself as a text to translate (it may hold any bytes a caller passes).
  const std::string text = pelcrow::ToValidUtf8(bytes.substr(0, 256));
  Check(IsValidUtf8(file.Translate(text, false)));
  Check(IsValidUtf8(file.Translate(text, true)));

  std::string utf16;
  pelcrow::AppendUtf16LE(utf16, bytes);
  Check(utf16.size() % 2 == 0);
  return 0;
}
