// The duplicate list file (.dup): the visible results as text, one item per line, so that a user
// can continue selecting and processing later without scanning again. TScanEngine::SaveToFile and
// LoadFromFile write and read it; this header holds what the front ends and tests share.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

#include "base/DateTime.h"

namespace pelcrow {

// What kept a list file from loading, so that a front end can say why in the user's language.
enum class TListFileFault : std::uint8_t {
  lfUnreadable,  // the file cannot be opened or read; Detail holds the system's reason
  lfNotAList,    // the first line is not kListFileHeader
  lfBadLine,     // a line with too few fields or a value that does not read; Detail says which
  lfNotWritten,  // saving failed; Detail holds the system's reason
};

// A list file that cannot be written, read, or is not a list this version reads. The text says
// what went wrong for logs; users are shown the fixed messages below, with the fault's reason.
class EListFileError : public std::runtime_error {
 public:
  explicit EListFileError(const std::string& What, TListFileFault Fault = TListFileFault::lfUnreadable,
                          std::size_t Line = 0, int Field = 0, std::string Detail = {})
      : std::runtime_error(What), fFault(Fault), fLine(Line), fField(Field), fDetail(std::move(Detail)) {}
  TListFileFault Fault() const { return fFault; }
  // Line (from 1, the header being line 1) and field (from 1) of a bad line.
  std::size_t Line() const { return fLine; }
  int Field() const { return fField; }
  // lfBadLine: one of kListTooFewFields ... kListNotADate; otherwise the system's reason.
  const std::string& Detail() const { return fDetail; }

 private:
  TListFileFault fFault;
  std::size_t fLine;
  int fField;
  std::string fDetail;
};

// What is wrong with a bad line (the English texts; front ends translate them).
inline constexpr const char* kListTooFewFields = "too few fields";
inline constexpr const char* kListNotANumber = "not a number";
inline constexpr const char* kListNumberOutOfRange = "number out of range";
inline constexpr const char* kListNotADate = "not a date";

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
