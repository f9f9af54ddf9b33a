// Named mask groups: the stored list format, the default lists, the mask field texts and the
// checks of the mask editor. Matching a name against one mask is TFileMask (FileMask.h).
//
// A mask group entry is "Description | patterns", or the patterns alone; the patterns are file
// masks joined by ";". A list of entries is stored as a comma list in which an entry holding a
// blank, a control character, a comma or a double quote is quoted ("" inside quotes is one ").
// A mask field holds the chosen patterns, each followed by ";".
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pelcrow {

enum TMaskType : std::uint8_t {
  mtFileMask = 0,    // a file-name pattern
  mtFolderMask = 1,  // a folder pattern of the permanent exclusions
};

// ---------------------------------------------------------------- default lists (stored format)

std::string DefaultIncludeFileMasks();
std::string DefaultExcludeFileMasks();
std::string DefaultMusicFileMasks();  // default of both music lists

std::vector<std::string> DefaultIncludeMaskEntries();
std::vector<std::string> DefaultExcludeMaskEntries();
std::vector<std::string> DefaultMusicMaskEntries();

// A stored list that is blank after trimming stands for the default list.
std::string MaskListOrDefault(std::string_view stored, std::string defaultList);

// ---------------------------------------------------------------- field texts

// Include field of the file modes when nothing was saved, or when a scan starts with it empty.
inline constexpr std::string_view kDefaultIncludeMaskField = "*.*";
// Include field of the file modes after the selector closed with the field still empty.
inline constexpr std::string_view kSelectorIncludeMaskField = "*.*;";
// Include field of the music mode: the music patterns without names and without a final ";".
std::string DefaultMusicMaskField();

// The include field after its "File Types" button: a non-empty selector result replaces the field;
// an empty one leaves it, and an empty field becomes the mode's default.
std::string IncludeFieldAfterSelector(std::string_view field, std::string_view result, bool musicMode);
// The exclude field after its button is the result, also when that is empty.
std::string ExcludeFieldAfterSelector(std::string_view field, std::string_view result);

// ---------------------------------------------------------------- the stored list format

// Never fails. A bare entry ends at a comma or a blank (any byte up to 0x20), so "a b" is two
// entries; a quoted entry ends at its closing quote, and one left open takes the rest of the text;
// a comma at the very end adds an empty entry. Blanks around entries are skipped.
std::vector<std::string> ParseMaskList(std::string_view text);
// Inverse of ParseMaskList: ParseMaskList(BuildMaskList(x)) == x for every list x.
std::string BuildMaskList(const std::vector<std::string>& entries);

// ---------------------------------------------------------------- entries

struct TMaskEntryParts {
  std::string Description;
  std::string Patterns;
  bool operator==(const TMaskEntryParts&) const = default;
};

// Splits at the last " | " (patterns hold no blanks, descriptions may hold bars), else at the
// first "|"; blanks around both parts are dropped. An entry without a bar is patterns only.
TMaskEntryParts SplitMaskEntry(std::string_view entry);
inline std::string MaskEntryPatterns(std::string_view entry) { return SplitMaskEntry(entry).Patterns; }

// The entry the editor's OK makes from its two fields (both trimmed): "D | M", or M alone without
// a description, or nothing when M is empty. A mask holding "|" keeps a leading " | " so that it
// is not read back as a description.
std::optional<std::string> MakeMaskEntry(std::string_view mask, std::string_view description);

// True when the patterns occur in the field text as whole patterns (delimited by ";", blanks or
// the ends), so that "*.RA" is not taken for a part of "*.RAW". Empty patterns never occur.
bool PatternsInFieldText(std::string_view patterns, std::string_view fieldText);

// The field text of the chosen patterns: each followed by ";".
std::string BuildMaskFieldText(const std::vector<std::string>& patterns);

// ---------------------------------------------------------------- mask editor

inline constexpr const char* kAddFileMaskCaption = "Add File Mask";
inline constexpr const char* kAddFileMaskOkText = "Add";
inline constexpr const char* kEditFileMaskCaption = "Edit File Mask";
inline constexpr const char* kEditFileMaskOkText = "Save";
inline constexpr const char* kRemoveMaskSymbolsText = "Please remove following symbols from the mask: ";

// Characters that cannot stand in a file name (mtFileMask: "/" and control characters) or in a
// path (mtFolderMask: control characters); "*" and "?" are never among them.
bool IsForbiddenMaskChar(TMaskType type, unsigned char c);
// The forbidden characters that occur in mask, each once, in byte order (raw bytes).
std::string FindForbiddenMaskChars(TMaskType type, std::string_view mask);
// Readable form of such characters: control characters in caret notation ("^I" for a tab).
std::string ForbiddenMaskCharsDisplay(std::string_view chars);
// Editor OK: nullopt when the mask may be taken; otherwise the translated warning to show (the
// editor then stays open).
std::optional<std::string> ValidateEditorMask(TMaskType type, std::string_view mask);

}  // namespace pelcrow
