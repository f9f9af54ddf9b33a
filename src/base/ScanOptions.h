// The switches of a file scan. Shared vocabulary: the settings store them, the scan and the
// platform's folder checks read them.
#pragma once

#include <cstdint>

#include "base/Set.h"

namespace pelcrow {

enum TPcwScanOption : unsigned {
  soSkipTemp,
  soProtectSystem,
  soSkipSysAppFolders,
  soSkipCompressed,
  soSkipZero,
  soScanSubdirs,
  soSkipRecycler,
  soIncludeHidden,
  soRemoveEmpty,
  soSkipNtfsJunction,
  soSkipNtfsHardLinks,
  soExcludeContainer,
  soSkipMacApp,
};
using TPcwScanOptions = TSet<TPcwScanOption, std::uint16_t>;
inline constexpr std::uint16_t kDefaultScanOptions = 4727;

}  // namespace pelcrow
