#include "settings/FileMasks.h"

#include <utility>

#include "base/Trim.h"
#include "localization/TranslateText.h"

namespace pelcrow {

namespace {

// Blanks of the list format and of trimming: the space and every byte below it.
constexpr bool IsBlank(char c) { return static_cast<unsigned char>(c) <= 0x20; }

bool NeedsQuotes(std::string_view entry) {
  if (entry.empty()) return true;  // a bare empty entry would vanish between commas at the ends
  for (char c : entry) {
    if (IsBlank(c) || c == '\x7F' || c == ',' || c == '"') return true;
  }
  return false;
}

constexpr bool IsPatternDelimiter(char c) { return c == ';' || IsBlank(c); }

}  // namespace

// ---------------------------------------------------------------- default lists

std::vector<std::string> DefaultIncludeMaskEntries() {
  return {
      "Any File | *.*",
      "Adobe Acrobat Files | *.PDF",
      "Archive Files | *.7Z;*.ACE;*.ALZ;*.ARC;*.ARJ;*.BZ2;*.BZ2;*.CAB;*.JAR;*.LZH;*.PAK;*.RAR;*.AT3;*.TGZ;*.TAR;"
      "*.GZ;*.UHA;*.ZIP",
      "MS Office Files | *.MDB;*.ADP;*.MDA;*.MDE;*.ADE;*.XL;*.XLA;*.XLS*;*.XLT;*.XLM;*.XLC;*.XLW;*.PPS;*.PPT*;"
      "*.DOC*;*.WRI;*.CSV",
      "Music Files | *.M4A;*.M4P;*.MP2;*.AAC;*.AIFF;*.APE;*.AU;*.FLAC;*.MID;*.MP3;*.OGG;*.RAW;*.WAV;*.WMA;"
      "*.MP3PRO;*.RM;*.RA",
      "Open Office Files | *.ODT;*.ODS;*.ODG;*.ODP;*.ODM;*.ODF",
      "Photo Images | *.BMP;*.GIF;*.ICO;*.JNG;*.JPG;*.JPEG;*.JPE;*.JP2;*.JPC;*.J2K;*.PNG;*.TIF;*.TIFF;*.EPS;*.CLP;"
      "*.CRW;*.CR2;*.DCX;*.EXR;*.KDC;*.PCX;*.PSD;*.RAW;*.SFW;*.WMF",
      "Text Files | *.TXT;*.RTF",
      "Video Files | *.3GP;*.MP4;*.SWF;*.FLA;*.FLV;*.MKV;*.MPEG;*.MPG;*.M1V;*.MP2;*.MPA;*.MPE;*.MOV;*.AVI;*.WMV;"
      "*.DIVX",
      "Web Files | *.ASP;*.CSS;*.HTML;*.HTM;*.PHP;*.XHTML;*.JS",
  };
}

std::vector<std::string> DefaultExcludeMaskEntries() {
  std::vector<std::string> entries = DefaultIncludeMaskEntries();
  entries.erase(entries.begin());
  return entries;
}

std::vector<std::string> DefaultMusicMaskEntries() {
  return {
      "MPEG-4 Audio, iTunes | *.M4A",
      "MPEG-4 Protected | *.M4P",
      "MPEG Audio Layer II | *.MP2",
      "MPEG-2 Advanced Audio Coding  | *.AAC",
      "Audio Interchange File | *.AIFF",
      "Monkey's Audio | *.APE",
      "AU Audio File | *.AU",
      "Free Lossless Audio Codec | *.FLAC",
      "MIDI-sequention Sound | *.MID",
      "MPEG Audio Layer III | *.MP3",
      "Ogg Vorbis | *.OGG",
      "RAW Audio Format | *.RAW",
      "Waveform Audio | *.WAV",
      "Windows Media Audio | *.WMA",
      "mp3PRO | *.MP3PRO",
      "Real Media | *.RM",
      "Real Audio | *.RA",
  };
}

std::string DefaultIncludeFileMasks() { return BuildMaskList(DefaultIncludeMaskEntries()); }
std::string DefaultExcludeFileMasks() { return BuildMaskList(DefaultExcludeMaskEntries()); }
std::string DefaultMusicFileMasks() { return BuildMaskList(DefaultMusicMaskEntries()); }

std::string MaskListOrDefault(std::string_view stored, std::string defaultList) {
  if (TrimBlanks(stored).empty()) return defaultList;
  return std::string(stored);
}

// ---------------------------------------------------------------- field texts

std::string DefaultMusicMaskField() {
  std::string field;
  for (const std::string& entry : DefaultMusicMaskEntries()) {
    if (!field.empty()) field.push_back(';');
    field += MaskEntryPatterns(entry);
  }
  return field;
}

std::string IncludeFieldAfterSelector(std::string_view field, std::string_view result, bool musicMode) {
  if (!result.empty()) return std::string(result);
  if (TrimBlanks(field).empty()) return musicMode ? DefaultMusicMaskField() : std::string(kSelectorIncludeMaskField);
  return std::string(field);
}

std::string ExcludeFieldAfterSelector(std::string_view /*field*/, std::string_view result) {
  return std::string(result);
}

// ---------------------------------------------------------------- the stored list format

std::vector<std::string> ParseMaskList(std::string_view text) {
  std::vector<std::string> entries;
  std::size_t i = 0;
  const std::size_t n = text.size();
  auto skipBlanks = [&] {
    while (i < n && IsBlank(text[i])) ++i;
  };
  skipBlanks();
  while (i < n) {
    std::string entry;
    if (text[i] == '"') {
      ++i;
      while (i < n) {
        if (text[i] == '"') {
          if (i + 1 < n && text[i + 1] == '"') {
            entry.push_back('"');
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        entry.push_back(text[i++]);
      }
    } else {
      const std::size_t start = i;
      while (i < n && !IsBlank(text[i]) && text[i] != ',') ++i;
      entry.assign(text.substr(start, i - start));
    }
    entries.push_back(std::move(entry));
    skipBlanks();
    if (i < n && text[i] == ',') {
      ++i;
      skipBlanks();
      if (i == n) entries.emplace_back();
    }
  }
  return entries;
}

std::string BuildMaskList(const std::vector<std::string>& entries) {
  std::string text;
  bool first = true;
  for (const std::string& entry : entries) {
    if (!first) text.push_back(',');
    first = false;
    if (!NeedsQuotes(entry)) {
      text += entry;
      continue;
    }
    text.push_back('"');
    for (char c : entry) {
      if (c == '"') text.push_back('"');
      text.push_back(c);
    }
    text.push_back('"');
  }
  return text;
}

// ---------------------------------------------------------------- entries

TMaskEntryParts SplitMaskEntry(std::string_view entry) {
  constexpr std::string_view kSeparator = " | ";
  std::size_t bar = entry.rfind(kSeparator);
  std::size_t skip = kSeparator.size();
  if (bar == std::string_view::npos) {
    bar = entry.find('|');
    skip = 1;
  }
  if (bar == std::string_view::npos) return {std::string(), std::string(TrimBlanks(entry))};
  return {std::string(TrimBlanks(entry.substr(0, bar))), std::string(TrimBlanks(entry.substr(bar + skip)))};
}

std::optional<std::string> MakeMaskEntry(std::string_view mask, std::string_view description) {
  const std::string_view m = TrimBlanks(mask);
  const std::string_view d = TrimBlanks(description);
  if (m.empty()) return std::nullopt;
  if (d.empty() && m.find('|') == std::string_view::npos) return std::string(m);
  std::string entry(d);
  entry += " | ";
  entry += m;
  return entry;
}

bool PatternsInFieldText(std::string_view patterns, std::string_view fieldText) {
  if (patterns.empty()) return false;
  // Patterns that bring their own ";" at an end need no delimiter there in the field.
  const bool openStart = IsPatternDelimiter(patterns.front());
  const bool openEnd = IsPatternDelimiter(patterns.back());
  for (std::size_t at = fieldText.find(patterns); at != std::string_view::npos;
       at = fieldText.find(patterns, at + 1)) {
    const std::size_t end = at + patterns.size();
    const bool startOk = openStart || at == 0 || IsPatternDelimiter(fieldText[at - 1]);
    const bool endOk = openEnd || end == fieldText.size() || IsPatternDelimiter(fieldText[end]);
    if (startOk && endOk) return true;
  }
  return false;
}

std::string BuildMaskFieldText(const std::vector<std::string>& patterns) {
  std::string field;
  for (const std::string& p : patterns) {
    field += p;
    field.push_back(';');
  }
  return field;
}

// ---------------------------------------------------------------- mask editor

bool IsForbiddenMaskChar(TMaskType type, unsigned char c) {
  if (c < 0x20 || c == 0x7F) return true;
  return type == mtFileMask && c == '/';
}

std::string FindForbiddenMaskChars(TMaskType type, std::string_view mask) {
  bool seen[256] = {};
  for (char c : mask) {
    const auto b = static_cast<unsigned char>(c);
    if (IsForbiddenMaskChar(type, b)) seen[b] = true;
  }
  std::string found;
  for (unsigned b = 0; b < 256; ++b) {
    if (seen[b]) found.push_back(static_cast<char>(b));
  }
  return found;
}

std::string ForbiddenMaskCharsDisplay(std::string_view chars) {
  std::string shown;
  for (char c : chars) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 0x20) {
      shown.push_back('^');
      shown.push_back(static_cast<char>(b + 0x40));
    } else if (b == 0x7F) {
      shown += "^?";
    } else {
      shown.push_back(c);
    }
  }
  return shown;
}

std::optional<std::string> ValidateEditorMask(TMaskType type, std::string_view mask) {
  const std::string found = FindForbiddenMaskChars(type, mask);
  if (found.empty()) return std::nullopt;
  return TranslateText(kRemoveMaskSymbolsText) + " " + ForbiddenMaskCharsDisplay(found);
}

}  // namespace pelcrow
