#include "localization/LanguageFile.h"

#include <fstream>
#include <iterator>
#include <stdexcept>

#include "localization/TextEncoding.h"
#include "localization/TranslateText.h"

namespace pelcrow {

namespace {

constexpr std::string_view kAppNameToken = "$APP_NAME$";
constexpr std::string_view kLangNameKey = ";LangName";

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::string LowerAscii(std::string_view s) {
  std::string r(s);
  for (char& c : r) c = LowerAscii(c);
  return r;
}

// Blank means every control character and the space, as trimming treats them elsewhere.
bool IsBlank(std::string_view s) {
  for (char c : s)
    if (static_cast<unsigned char>(c) > ' ') return false;
  return true;
}

// Texts of this platform may break lines with LF alone; both forms become the file's "\n".
std::string EscapeLineBreaks(std::string_view text) {
  std::string r;
  r.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
      r += "\\n";
      ++i;
    } else if (text[i] == '\n') {
      r += "\\n";
    } else {
      r.push_back(text[i]);
    }
  }
  return r;
}

std::string UnescapeLineBreaks(std::string_view text, std::string_view lineBreak) {
  std::string r;
  r.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == 'n') {
      r.append(lineBreak);
      ++i;
    } else {
      r.push_back(text[i]);
    }
  }
  return r;
}

// The caller's own line-break style is kept; a text without one gets CR LF.
std::string_view LineBreakOf(std::string_view text) {
  const std::size_t lf = text.find('\n');
  if (lf != std::string_view::npos && (lf == 0 || text[lf - 1] != '\r')) return "\n";
  return "\r\n";
}

}  // namespace

std::string ReplaceAppName(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    if (text[i] == '$' && text.size() - i >= kAppNameToken.size()) {
      bool match = true;
      for (std::size_t k = 0; k < kAppNameToken.size() && match; ++k)
        match = LowerAscii(text[i + k]) == LowerAscii(kAppNameToken[k]);
      if (match) {
        out.append(kAppName);
        i += kAppNameToken.size();
        continue;
      }
    }
    out.push_back(text[i++]);
  }
  return out;
}

bool TLanguageFile::LoadFromFile(const std::string& path) {
  std::string bytes;
  try {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (in.bad()) return false;
  } catch (const std::exception&) {
    // A folder opens but fails to read.
    return false;
  }
  LoadFromBytes(bytes);
  return true;
}

void TLanguageFile::LoadFromBytes(std::string_view bytes) {
  fLines.clear();
  fByKey.clear();
  fByTranslation.clear();
  const std::string text = DecodeTextBytes(bytes);
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t end = text.find_first_of("\r\n", pos);
    if (end == std::string::npos) end = text.size();
    const std::string line = ReplaceAppName(std::string_view(text).substr(pos, end - pos));
    pos = end;
    if (pos < text.size() && text[pos] == '\r') ++pos;
    if (pos < text.size() && text[pos] == '\n') ++pos;

    const std::size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    fLines.emplace_back(line.substr(0, eq), line.substr(eq + 1));
    const std::size_t index = fLines.size() - 1;
    fByKey.emplace(LowerAscii(fLines.back().first), index);
    fByTranslation.emplace(fLines.back().second, index);
  }
}

const std::string* TLanguageFile::FindTranslation(std::string_view key) const {
  auto it = fByKey.find(LowerAscii(key));
  return it == fByKey.end() ? nullptr : &fLines[it->second].second;
}

const std::string* TLanguageFile::FindKey(std::string_view translation) const {
  auto it = fByTranslation.find(std::string(translation));
  return it == fByTranslation.end() ? nullptr : &fLines[it->second].first;
}

std::string TLanguageFile::LangName() const {
  const std::string* name = FindTranslation(kLangNameKey);
  return name ? *name : std::string();
}

std::string TLanguageFile::Translate(std::string_view AText, bool reverse) const {
  if (AText.empty()) return {};
  const std::string key = EscapeLineBreaks(AText);
  const std::string* found = reverse ? FindKey(key) : FindTranslation(key);
  if (found == nullptr || IsBlank(*found)) return std::string(AText);
  return UnescapeLineBreaks(*found, LineBreakOf(AText));
}

}  // namespace pelcrow
