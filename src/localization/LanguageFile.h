// One language file (".lng"): lines "English text=translated text". The part before the first "="
// is the key, the rest the translation; "\n" (backslash, n) stands for a line break; the key
// ";LangName" names the language; lines without "=" are ignored.
#pragma once

#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace pelcrow {

// Replaces every $APP_NAME$, in any letter case, by the product name.
std::string ReplaceAppName(std::string_view text);

class TLanguageFile {
 public:
  // Reads the file with byte-order-mark detection. False (and nothing loaded) when it cannot be
  // read.
  bool LoadFromFile(const std::string& path);
  // Parses the bytes of a file; never fails: what cannot be decoded is read as far as it is sound.
  void LoadFromBytes(std::string_view bytes);

  // The translation of the first line whose key equals `key` without regard to letter case.
  const std::string* FindTranslation(std::string_view key) const;
  // The key of the first line whose translation equals `translation` exactly.
  const std::string* FindKey(std::string_view translation) const;
  // The value of ";LangName", empty when the file has none.
  std::string LangName() const;

  // Translates a text shown by the program. reverse: turn a translated text back into the English
  // key. A text without an entry, or whose entry is blank, comes back unchanged.
  std::string Translate(std::string_view AText, bool reverse) const;

  const std::vector<std::pair<std::string, std::string>>& Lines() const { return fLines; }

 private:
  std::vector<std::pair<std::string, std::string>> fLines;
  std::unordered_map<std::string, std::size_t> fByKey;  // lower-cased key -> first line
  std::unordered_map<std::string, std::size_t> fByTranslation;
};

}  // namespace pelcrow
