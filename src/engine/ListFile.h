// The duplicate list file (.dup): the visible results as text, one item per line, so that a user
// can continue selecting and processing later without scanning again. TScanEngine::SaveToFile and
// LoadFromFile write and read it; this header holds what the front ends and tests share.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

#include "base/DateTime.h"

namespace pelcrow {

// A list file that cannot be written, read, or is not a list this version reads. The text says
// what went wrong for logs; users are shown the fixed messages below.
class EListFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

inline constexpr std::string_view kListFileHeader = "[Version 1]";
inline constexpr std::string_view kListFieldSeparator = "[,]";
inline constexpr int kListFieldCount = 28;

// Front-end texts (shown through TranslateText).
inline constexpr const char* kListFileFilter = "Duplicate files (*.dup)|*.dup";
inline constexpr const char* kListSavedMessage = "Duplicate list saved successfully.";
inline constexpr const char* kListSaveFailedMessage = "Failed to save Duplicate list.";
inline constexpr const char* kListLoadedMessage = "Duplicate list loaded successfully.";
inline constexpr const char* kListNotSupportedMessage =
    "Duplicate list structure is not supported by current $APP_NAME$ version.";

// "DupFiles" + "yyyymmdd-hhnnss" of the local time + ".dup": the name the save dialog proposes.
std::string DefaultListFileName(TDateTime Now);

// A value as it is written between separators. Ordinary values are written as they are; a value
// holding "[" + commas + "]" (which would read as a separator), a line break, or "[" + commas +
// "n]" / "r]" gets one more comma in each such run, and a line break becomes "[,n]" / "[,r]".
std::string EscapeListField(std::string_view AValue);
// The reverse of EscapeListField.
std::string UnescapeListField(std::string_view AField);

}  // namespace pelcrow
