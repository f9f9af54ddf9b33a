#include "engine/GroupWalk.h"

#include "engine/ScanEngine.h"

namespace pelcrow {

PFileItem TGroupRows::Item(int Row) const { return Engine.Item(Row); }

void WalkVisibleGroups(const TScanEngine& Engine, IGroupWalkHandler& Handler) {
  const int rows = Engine.ItemCount();
  Handler.Head();
  for (int first = 0; first < rows;) {
    const std::uint32_t group = Engine.Item(first)->DupGroup;
    int last = first + 1;
    while (last < rows && Engine.Item(last)->DupGroup == group) ++last;
    const TGroupRows g{Engine, first, last};
    Handler.GroupHead(g);
    for (int r = first; r < last; ++r) Handler.Row(r, *Engine.Item(r));
    Handler.GroupFoot(g);
    first = last;
  }
  Handler.Foot();
}

}  // namespace pelcrow
