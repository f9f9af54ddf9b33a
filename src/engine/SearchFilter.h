// The criteria of the search and filter dialog and the rule that tests one result item against
// them. The dialog, the engine's filter and the CLI share the rule and the group-text parser.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/DateTime.h"
#include "engine/FileItem.h"

namespace pelcrow {

enum TSizeSearchCondition : std::uint8_t { sscEqual, sscLargeThan, sscLessThan };
enum TSizeSearchMeathure : std::uint8_t { ssmBytes, ssmKBytes, ssmMBytes, ssmGBytes };

struct TDupGroupRange {
  std::uint32_t GroupFrom = 0;
  std::uint32_t GroupTo = 0;
  friend bool operator==(const TDupGroupRange&, const TDupGroupRange&) = default;
};

struct TSearchFilterFiles {
  std::string fFileNamePattern = "*";
  bool fSearchByDate = false;
  // Only the days count: a file matches when it was modified on a day from the start day to the
  // end day, both whole days included.
  TDateTime fStartDate;
  TDateTime fEndDate;
  bool fSearchBySize = false;
  TSizeSearchCondition fSizeCondition = sscEqual;
  std::int64_t fFileSize = 0;
  TSizeSearchMeathure fSizeMeasure = ssmBytes;
  bool fSearchByDupGroup = false;
  std::string fDupGroupPattern;
  std::vector<TDupGroupRange> fPrepareadDupGroupPattern;

  // Normalises the group text into fDupGroupPattern and parses it into fPrepareadDupGroupPattern.
  void SetDupGroupPattern(std::string_view AText);
  // All active criteria hold for the item.
  bool Matches(const TFileItem& AItem) const;
};

// The current criteria of the program (the search dialog's, kept in the settings file).
extern TSearchFilterFiles SearchFilterFiles;

// The criteria prepared once for testing many items: the pattern decoded, the day bounds as
// points in time. Keeps a reference to the criteria.
class TSearchFilterMatcher {
 public:
  explicit TSearchFilterMatcher(const TSearchFilterFiles& AFilter);
  bool Matches(const TFileItem& AItem) const;

 private:
  const TSearchFilterFiles& fFilter;
  std::vector<char32_t> fPattern;
  bool fMatchAll = false;  // the pattern is stars only
  TDateTime fFrom, fTo;
};

// Keeps digits, and "," and "-" only where a digit follows; a run of separators keeps its last
// one; no separator leads. "1,,2" -> "1,2", "1,-2" -> "1-2", "3," -> "3".
std::string NormalizeDupGroupPattern(std::string_view AText);

// "," ends a range and "-" joins numbers inside one; a range spans its smallest to its largest
// number ("7-3" is 3 to 7); 0 and numbers beyond 32 bits are ignored, and a range without a
// number is not stored.
std::vector<TDupGroupRange> ParseDupGroupPattern(std::string_view AText);

// '*' any run of characters, '?' exactly one character (a UTF-8 sequence, or else one byte), every
// other character itself; letters compare without regard to case. An empty pattern is "*".
bool MatchesFileNamePattern(std::string_view AName, std::string_view APattern);

}  // namespace pelcrow
