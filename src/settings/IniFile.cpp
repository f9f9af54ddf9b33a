#include "settings/IniFile.h"
#include "base/Trim.h"
#include "base/Utf8.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <limits>
#include <stdexcept>
#include <system_error>
#include <utility>

#include "base/FormatSettings.h"
#include "platform/FileSystem.h"
#include "platform/AtomicFile.h"

namespace pelcrow {

namespace {

// A settings file is a few kilobytes; anything this large is not one and is not read into memory.
constexpr std::size_t kMaxFileSize = 16u << 20;

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";


char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return true;
}

bool HasLineBreak(std::string_view s) { return s.find_first_of("\r\n") != std::string_view::npos; }

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Splits on CR LF, LF or CR; calls onLine for every line, including a last one without an ending.
template <typename F>
void ForEachLine(std::string_view text, F&& onLine) {
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = text.find_first_of("\r\n", start);
    if (end == std::string_view::npos) {
      onLine(text.substr(start));
      return;
    }
    onLine(text.substr(start, end - start));
    start = end + ((text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ? 2 : 1);
  }
}

void CheckSectionName(std::string_view section) {
  if (HasLineBreak(section) || TrimSpaces(section).size() != section.size()) {
    throw std::invalid_argument("TIniFile: invalid section name");
  }
}

void CheckKey(std::string_view key) {
  if (key.empty() || HasLineBreak(key) || key.find('=') != std::string_view::npos ||
      TrimSpaces(key).size() != key.size() || key.front() == '[' || key.front() == ';' ||
      key.front() == '#') {
    throw std::invalid_argument("TIniFile: invalid key name");
  }
}

// Byte-order-mark rule of the readers; without a mark the bytes stay as they are (paths are bytes).
std::string DecodeFileText(std::string_view bytes) {
  if (bytes.starts_with(kUtf8Bom)) return std::string(bytes.substr(kUtf8Bom.size()));
  if (bytes.starts_with("\xFF\xFE")) return DecodeUtf16(bytes.substr(2), false);
  if (bytes.starts_with("\xFE\xFF")) return DecodeUtf16(bytes.substr(2), true);
  return std::string(bytes);
}

}  // namespace

// ------------------------------------------------------------------------------------- helpers


std::string HexEncode(std::string_view bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(bytes.size() * 2);
  for (char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    out.push_back(kDigits[b >> 4]);
    out.push_back(kDigits[b & 0x0F]);
  }
  return out;
}

std::optional<std::string> HexDecode(std::string_view hex) {
  if (hex.size() % 2 != 0) return std::nullopt;
  std::string out;
  out.reserve(hex.size() / 2);
  for (std::size_t i = 0; i < hex.size(); i += 2) {
    const int hi = HexDigit(hex[i]);
    const int lo = HexDigit(hex[i + 1]);
    if (hi < 0 || lo < 0) return std::nullopt;
    out.push_back(static_cast<char>((hi << 4) | lo));
  }
  return out;
}

std::string JoinTextLines(const std::vector<std::string>& lines) {
  std::string out;
  // A first entry that begins like a byte-order mark would lose it on reading; a real mark in
  // front keeps it.
  if (!lines.empty()) {
    const std::string_view first = lines.front();
    if (first.starts_with(kUtf8Bom) || first.starts_with("\xFF\xFE") || first.starts_with("\xFE\xFF")) {
      out = kUtf8Bom;
    }
  }
  for (const std::string& line : lines) {
    out += line;
    out += "\r\n";
  }
  return out;
}

std::vector<std::string> SplitTextLines(std::string_view bytes) {
  const std::string text = DecodeFileText(bytes);
  std::vector<std::string> lines;
  ForEachLine(text, [&](std::string_view line) { lines.emplace_back(line); });
  return lines;
}

std::optional<std::int32_t> ParseIniInteger(std::string_view text) {
  text = TrimSpaces(text);
  bool negative = false;
  if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  if (text.empty()) return std::nullopt;

  int base = 10;
  if (text.front() == '$') {
    base = 16;
    text.remove_prefix(1);
  } else if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    text.remove_prefix(2);
  }
  // from_chars would take a second sign; only digits may follow.
  if (text.empty() || text.front() == '-' || text.front() == '+') return std::nullopt;

  std::uint64_t magnitude = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), magnitude, base);
  if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;

  if (base == 16) {
    if (magnitude > 0xFFFFFFFFu) return std::nullopt;
    const auto bits = static_cast<std::uint32_t>(magnitude);
    const auto value = static_cast<std::int32_t>(negative ? 0u - bits : bits);
    return value;
  }
  constexpr auto kMax = static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max());
  if (magnitude > kMax + (negative ? 1 : 0)) return std::nullopt;
  const auto value = static_cast<std::int64_t>(magnitude);
  return static_cast<std::int32_t>(negative ? -value : value);
}

// ------------------------------------------------------------------------------------ TIniFile

int TIniFile::LoadFromFile(const std::string& path) {
  Clear();
  platform::TReadOnlyFile file;
  if (const int err = file.Open(path, true)) {
    // ENOTDIR: a file where a folder of the path should be; the file cannot exist either.
    return (err == ENOENT || err == ENOTDIR) ? 0 : err;
  }
  std::string bytes;
  char buffer[65536];
  for (;;) {
    const std::int64_t n = file.Read(buffer, sizeof buffer);
    if (n < 0) return file.LastError();
    if (n == 0) break;
    if (bytes.size() + static_cast<std::size_t>(n) > kMaxFileSize) return EFBIG;
    bytes.append(buffer, static_cast<std::size_t>(n));
  }
  SetText(bytes);
  return 0;
}

int TIniFile::UpdateFile(const std::string& path) const {
  return WriteFileAtomically(path, GetText());
}

void TIniFile::Clear() {
  fPreamble.clear();
  fSections.clear();
}

void TIniFile::SetText(std::string_view bytes) {
  Clear();
  const std::string text = DecodeFileText(bytes);
  ForEachLine(text, [&](std::string_view line) {
    const std::string_view trimmed = TrimSpaces(line);
    // Blank lines are not kept: the writer puts one between sections itself, and keeping both
    // would grow the file by a line per save.
    if (trimmed.empty()) return;
    if (trimmed.size() >= 2 && trimmed.front() == '[' && trimmed.back() == ']') {
      TSection section;
      section.Name = TrimSpaces(trimmed.substr(1, trimmed.size() - 2));
      section.Line = line;
      fSections.push_back(std::move(section));
      return;
    }
    TEntry entry;
    entry.Line = line;
    const std::size_t eq = line.find('=');
    const std::string_view key = eq == std::string_view::npos ? std::string_view() : TrimSpaces(line.substr(0, eq));
    if (!key.empty() && trimmed.front() != ';' && trimmed.front() != '#') {
      entry.Key = key;
      entry.Value = line.substr(eq + 1);
    } else {
      entry.Value = line;
    }
    (fSections.empty() ? fPreamble : fSections.back().Entries).push_back(std::move(entry));
  });
}

std::string TIniFile::GetText() const {
  std::string out(kUtf8Bom);
  const auto writeEntries = [&](const std::vector<TEntry>& entries) {
    for (const TEntry& e : entries) {
      if (!e.Line.empty()) {
        out += e.Line;
      } else if (e.Key.empty()) {
        out += e.Value;
      } else {
        out += e.Key;
        out += '=';
        out += e.Value;
      }
      out += '\n';
    }
  };
  writeEntries(fPreamble);
  bool first = fPreamble.empty();
  for (const TSection& s : fSections) {
    if (!first) out += '\n';
    first = false;
    if (!s.Line.empty()) {
      out += s.Line;
    } else {
      out += '[';
      out += s.Name;
      out += ']';
    }
    out += '\n';
    writeEntries(s.Entries);
  }
  return out;
}

const TIniFile::TSection* TIniFile::FindSection(std::string_view section) const {
  for (const TSection& s : fSections) {
    if (SameName(s.Name, section)) return &s;
  }
  return nullptr;
}

TIniFile::TSection* TIniFile::FindSection(std::string_view section) {
  return const_cast<TSection*>(std::as_const(*this).FindSection(section));
}

const TIniFile::TEntry* TIniFile::FindEntry(std::string_view section, std::string_view key) const {
  const TSection* s = FindSection(section);
  if (s == nullptr) return nullptr;
  for (const TEntry& e : s->Entries) {
    if (!e.Key.empty() && SameName(e.Key, key)) return &e;
  }
  return nullptr;
}

TIniFile::TEntry& TIniFile::EntryForWriting(std::string_view section, std::string_view key) {
  CheckSectionName(section);
  CheckKey(key);
  TSection* s = FindSection(section);
  if (s == nullptr) {
    fSections.push_back(TSection{std::string(section), std::string(), {}});
    s = &fSections.back();
  }
  for (TEntry& e : s->Entries) {
    if (!e.Key.empty() && SameName(e.Key, key)) return e;
  }
  s->Entries.push_back(TEntry{std::string(key), std::string(), std::string()});
  return s->Entries.back();
}

bool TIniFile::SectionExists(std::string_view section) const { return FindSection(section) != nullptr; }

bool TIniFile::ValueExists(std::string_view section, std::string_view key) const {
  return FindEntry(section, key) != nullptr;
}

std::vector<std::string> TIniFile::ReadSections() const {
  std::vector<std::string> names;
  for (const TSection& s : fSections) {
    if (FindSection(s.Name) == &s) names.push_back(s.Name);
  }
  return names;
}

std::vector<std::string> TIniFile::ReadSection(std::string_view section) const {
  std::vector<std::string> keys;
  const TSection* s = FindSection(section);
  if (s == nullptr) return keys;
  for (const TEntry& e : s->Entries) {
    if (!e.Key.empty() && FindEntry(section, e.Key) == &e) keys.push_back(e.Key);
  }
  return keys;
}

void TIniFile::EraseSection(std::string_view section) {
  std::erase_if(fSections, [&](const TSection& s) { return SameName(s.Name, section); });
}

void TIniFile::DeleteKey(std::string_view section, std::string_view key) {
  // Every copy goes, or the next one would surface on the following read.
  for (TSection& s : fSections) {
    if (!SameName(s.Name, section)) continue;
    std::erase_if(s.Entries, [&](const TEntry& e) { return !e.Key.empty() && SameName(e.Key, key); });
  }
}

std::optional<std::string> TIniFile::ReadValue(std::string_view section, std::string_view key) const {
  const TEntry* e = FindEntry(section, key);
  if (e == nullptr) return std::nullopt;
  return e->Value;
}

std::string TIniFile::ReadString(std::string_view section, std::string_view key,
                                 std::string_view defaultValue) const {
  const TEntry* e = FindEntry(section, key);
  return e != nullptr ? e->Value : std::string(defaultValue);
}

std::int32_t TIniFile::ReadInteger(std::string_view section, std::string_view key,
                                   std::int32_t defaultValue) const {
  const TEntry* e = FindEntry(section, key);
  if (e == nullptr) return defaultValue;
  return ParseIniInteger(e->Value).value_or(defaultValue);
}

bool TIniFile::ReadBool(std::string_view section, std::string_view key, bool defaultValue) const {
  const TEntry* e = FindEntry(section, key);
  if (e == nullptr) return defaultValue;
  if (const auto value = ParseIniInteger(e->Value)) return *value != 0;
  const std::string_view word = TrimSpaces(e->Value);
  if (SameName(word, "true")) return true;
  if (SameName(word, "false")) return false;
  return defaultValue;
}

double TIniFile::ReadFloat(std::string_view section, std::string_view key, double defaultValue) const {
  const TEntry* e = FindEntry(section, key);
  if (e == nullptr) return defaultValue;
  std::string text(TrimSpaces(e->Value));
  // The locale's separator (which may be more than one byte), and "." or "," whichever locale
  // wrote the file.
  const std::string& separator = GetFormatSettings()->DecimalSeparator;
  if (separator.size() > 1)
    for (std::size_t at = text.find(separator); at != std::string::npos; at = text.find(separator, at + 1))
      text.replace(at, separator.size(), ".");
  for (char& c : text) {
    if (c == ',' || (separator.size() == 1 && c == separator[0])) c = '.';
  }
  if (!text.empty() && text.front() == '+') text.erase(0, 1);
  double value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) {
    return defaultValue;
  }
  return value;
}

std::optional<std::string> TIniFile::ReadBinary(std::string_view section, std::string_view key) const {
  const TEntry* e = FindEntry(section, key);
  if (e == nullptr) return std::nullopt;
  return HexDecode(TrimSpaces(e->Value));
}

std::optional<std::vector<std::string>> TIniFile::ReadTextList(std::string_view section,
                                                               std::string_view key) const {
  const std::optional<std::string> bytes = ReadBinary(section, key);
  if (!bytes) return std::nullopt;
  return SplitTextLines(*bytes);
}

bool TIniFile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
  if (HasLineBreak(value)) {
    CheckSectionName(section);
    CheckKey(key);
    DeleteKey(section, key);
    return false;
  }
  TEntry& e = EntryForWriting(section, key);
  e.Value = value;
  e.Line.clear();
  return true;
}

void TIniFile::WriteInteger(std::string_view section, std::string_view key, std::int32_t value) {
  WriteString(section, key, std::to_string(value));
}

void TIniFile::WriteBool(std::string_view section, std::string_view key, bool value) {
  WriteString(section, key, value ? "1" : "0");
}

void TIniFile::WriteFloat(std::string_view section, std::string_view key, double value) {
  char buffer[64];
  const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
  std::string text = ec == std::errc() ? std::string(buffer, end) : std::string("0");
  // Written in the locale's format; the shortest form that reads back as the same number.
  const std::string& separator = GetFormatSettings()->DecimalSeparator;
  if (const std::size_t dot = text.find('.'); dot != std::string::npos && !separator.empty())
    text.replace(dot, 1, separator);
  WriteString(section, key, text);
}

void TIniFile::WriteBinary(std::string_view section, std::string_view key, std::string_view bytes) {
  WriteString(section, key, HexEncode(bytes));
}

void TIniFile::WriteTextList(std::string_view section, std::string_view key,
                             const std::vector<std::string>& lines) {
  WriteBinary(section, key, JoinTextLines(lines));
}

}  // namespace pelcrow
