// One walk over the visible rows, group by group, that every output of the results shares (the
// .dup writer, the exports, the command line's listings). A handler says what each step writes;
// the walk alone decides where a group starts and ends.
#pragma once

#include <cstdint>

#include "engine/FileItem.h"

namespace pelcrow {

class TScanEngine;

// The rows [First, Last) of one duplicate group: consecutive visible rows of one DupGroup.
struct TGroupRows {
  const TScanEngine& Engine;
  int First;
  int Last;

  PFileItem Item(int Row) const;
  std::uint32_t DupGroup() const { return Item(First)->DupGroup; }
  int Count() const { return Last - First; }
};

class IGroupWalkHandler {
 public:
  virtual ~IGroupWalkHandler() = default;
  // Before the first group, also when there is none.
  virtual void Head() {}
  virtual void GroupHead(const TGroupRows&) {}
  // Row is the visible row's index.
  virtual void Row(int Row, const TFileItem& Item) = 0;
  virtual void GroupFoot(const TGroupRows&) {}
  // After the last group.
  virtual void Foot() {}
};

void WalkVisibleGroups(const TScanEngine& Engine, IGroupWalkHandler& Handler);

}  // namespace pelcrow
