// An ini document held whole in memory: "[Section]" lines and "Key=Value" lines. Sections and keys
// compare without regard to ASCII case; the first of two equal names wins on reading and is the one
// changed on writing. Sections, keys and comment lines that nobody asks for are kept, in their
// order, and written back as they came, so one owner can rewrite its keys without losing another's.
//
// Values are kept byte for byte: everything after the first "=" up to the line end, blanks
// included, because a rename postfix such as " (copy)" or a folder ending in a blank must survive a
// save. Numbers and Booleans ignore surrounding blanks when they are read.
//
// The file is UTF-8 with a byte-order mark. On reading, a UTF-8 mark is dropped, a UTF-16 mark
// (either byte order) converts the text to UTF-8 (an unpaired surrogate becomes U+FFFD, an odd last
// byte is dropped), and text without a mark is taken as UTF-8 bytes unchanged, so path bytes that
// are not UTF-8 still come back as they were written.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pelcrow {

class TIniFile {
 public:
  TIniFile() = default;

  // Replaces the document by the file's contents. A missing file (also one below a path part that
  // is not a folder) gives an empty document and returns 0; any other failure also leaves the document empty and returns the errno value.
  int LoadFromFile(const std::string& path);
  // Writes the whole document to path through a temporary file in the same folder (created when
  // missing), flushed to disk and renamed over path; a symbolic link at path is written through.
  // Returns 0 or an errno value; on failure the file at path is left as it was.
  int UpdateFile(const std::string& path) const;

  // Replaces the document by the bytes of a file (byte-order mark honoured).
  void SetText(std::string_view bytes);
  // The bytes of the file: UTF-8 byte-order mark, LF line ends, a blank line between sections.
  std::string GetText() const;
  void Clear();

  bool SectionExists(std::string_view section) const;
  bool ValueExists(std::string_view section, std::string_view key) const;
  // Section names in file order (a repeated name once), and the keys of one section.
  std::vector<std::string> ReadSections() const;
  std::vector<std::string> ReadSection(std::string_view section) const;
  void EraseSection(std::string_view section);
  void DeleteKey(std::string_view section, std::string_view key);

  // The stored text; nullopt when the key is missing.
  std::optional<std::string> ReadValue(std::string_view section, std::string_view key) const;
  std::string ReadString(std::string_view section, std::string_view key,
                         std::string_view defaultValue) const;
  // A missing key or a value that is not a 32-bit integer gives the default.
  std::int32_t ReadInteger(std::string_view section, std::string_view key,
                           std::int32_t defaultValue) const;
  // Any non-zero integer is true; "true"/"false" are understood too; anything else: the default.
  bool ReadBool(std::string_view section, std::string_view key, bool defaultValue) const;
  // The locale's decimal separator, "." or ",".
  double ReadFloat(std::string_view section, std::string_view key, double defaultValue) const;
  // A string of hexadecimal digit pairs decoded to bytes; nullopt when the key is missing or the
  // value is not whole pairs of hexadecimal digits (an empty value is zero bytes).
  std::optional<std::string> ReadBinary(std::string_view section, std::string_view key) const;
  // A binary value holding lines of text (see SplitTextLines); nullopt as for ReadBinary.
  std::optional<std::vector<std::string>> ReadTextList(std::string_view section,
                                                       std::string_view key) const;

  // A value holding CR or LF cannot be stored on one line: the key is removed instead (a later
  // read gives the default) and the result is false. Sections and keys are created at the end of
  // the file, respectively of the section. A key must be non-empty, without "=", line breaks or
  // surrounding blanks, and must not start with "[", ";" or "#"; a section name must be without
  // line breaks or surrounding blanks. Otherwise std::invalid_argument is thrown.
  bool WriteString(std::string_view section, std::string_view key, std::string_view value);
  void WriteInteger(std::string_view section, std::string_view key, std::int32_t value);
  void WriteBool(std::string_view section, std::string_view key, bool value);
  // With the locale's decimal separator.
  void WriteFloat(std::string_view section, std::string_view key, double value);
  // Upper-case hexadecimal digit pairs, two per byte.
  void WriteBinary(std::string_view section, std::string_view key, std::string_view bytes);
  void WriteTextList(std::string_view section, std::string_view key,
                     const std::vector<std::string>& lines);

 private:
  struct TEntry {
    std::string Key;    // empty for a comment or any other line without a key
    std::string Value;  // the value, or the whole line when Key is empty
    std::string Line;   // the line as read; empty once the value has been written
  };
  struct TSection {
    std::string Name;
    std::string Line;   // the header as read, so a kept section is written back unchanged
    std::vector<TEntry> Entries;
  };

  const TSection* FindSection(std::string_view section) const;
  TSection* FindSection(std::string_view section);
  const TEntry* FindEntry(std::string_view section, std::string_view key) const;
  TEntry& EntryForWriting(std::string_view section, std::string_view key);

  std::vector<TEntry> fPreamble;  // lines before the first section, kept as they are
  std::vector<TSection> fSections;
};

// Upper-case hexadecimal digit pairs. HexDecode accepts either case and nothing else (no blanks);
// an odd number of digits gives nullopt.
std::string HexEncode(std::string_view bytes);
std::optional<std::string> HexDecode(std::string_view hex);

// Lines of a list of text: each ended by CR LF. Splitting accepts CR LF, LF or CR; a last line
// without an ending counts, an ending at the very end adds no empty entry. A byte-order mark at
// the start is honoured as for the whole file, so joining puts a UTF-8 mark in front of a first
// entry that itself begins like one.
std::string JoinTextLines(const std::vector<std::string>& lines);
std::vector<std::string> SplitTextLines(std::string_view bytes);

// A 32-bit integer: blanks around it allowed, an optional sign, then decimal digits, or "$" or
// "0x" and up to eight hexadecimal digits (taken as the 32 bits of the value).
std::optional<std::int32_t> ParseIniInteger(std::string_view text);

}  // namespace pelcrow
