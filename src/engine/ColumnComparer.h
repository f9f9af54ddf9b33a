// Ordering of the result list by a grid column. The key numbers name what is compared; the grid
// maps its columns to them per mode.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/FileItem.h"

namespace pelcrow {

enum TColumnSortOrder : std::uint8_t { soAsc, soDesc };
// The similar-pictures mode's Similarity column (after the mail and contact keys).
inline constexpr std::int32_t kSimilaritySortKey = 28;

class TColumnComparer {
 public:
  TColumnComparer(std::vector<PFileItem>* Files, std::int32_t Index, TColumnSortOrder Order)
      : fFiles(Files), fIndex(Index), fOrder(Order) {}
  // -1, 0 or 1; throws EScanEngineError("Invalid column index") for an unknown key.
  int Compare(PFileItem Left, PFileItem Right) const;
  // Whether Compare knows the key.
  static bool ValidKey(std::int32_t Index);

 private:
  [[maybe_unused]] std::vector<PFileItem>* fFiles;  // the list being sorted
  std::int32_t fIndex;
  TColumnSortOrder fOrder;
};

// Sorts Files by a key exactly as QuickSortItems with TColumnComparer does (the same comparisons
// in the same sequence, so ties end up in the same places), but on keys copied beside the items:
// no item is visited during the sort. False, and nothing done, for keys it does not cover.
bool SortByColumnKey(std::vector<PFileItem>& Files, std::int32_t Index, TColumnSortOrder Order);

}  // namespace pelcrow
