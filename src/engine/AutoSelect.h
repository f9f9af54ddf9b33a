// Ordering used by the automatic selection rules: by duplicate group, and within a group the copy
// the rule keeps first.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/FileItem.h"
#include "engine/ScanEngine.h"

namespace pelcrow {

class TAutoSelectComp {
 public:
  // ComparisonMode is the mode the items were found in (received dates decide for e-mails).
  TAutoSelectComp(std::vector<PFileItem>* Files, TSelectMethod SelectMethod, std::uint8_t ComparisonMode)
      : fFiles(Files), fSelectMethod(SelectMethod), fComparisonMode(ComparisonMode) {}
  // Negative: Left goes first (is kept rather than Right); 0: no preference.
  int Compare(PFileItem Left, PFileItem Right) const;

 private:
  int CompareEmails(const TFileItem& Left, const TFileItem& Right) const;
  int CompareOriginalName(const TFileItem& Left, const TFileItem& Right) const;

  [[maybe_unused]] std::vector<PFileItem>* fFiles;  // the list being sorted
  TSelectMethod fSelectMethod;
  std::uint8_t fComparisonMode;
};

}  // namespace pelcrow
