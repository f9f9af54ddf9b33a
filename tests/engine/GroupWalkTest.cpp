// The one walk every output of the results uses: steps in order, groups cut where DupGroup changes.
#include "engine/GroupWalk.h"

#include <gtest/gtest.h>

#include "TestUtil.h"
#include "engine/ScanEngine.h"

namespace pelcrow {
namespace {

using test::MakeItem;

class TRecorder final : public IGroupWalkHandler {
 public:
  void Head() override { fSteps += "H"; }
  void GroupHead(const TGroupRows& g) override {
    fSteps += " [" + std::to_string(g.DupGroup()) + ":" + std::to_string(g.First) + "-" + std::to_string(g.Last);
  }
  void Row(int Row, const TFileItem& Item) override { fSteps += " " + std::to_string(Row) + std::string(Item.Name.view()); }
  void GroupFoot(const TGroupRows& g) override { fSteps += " " + std::to_string(g.Count()) + "]"; }
  void Foot() override { fSteps += " F"; }
  std::string fSteps;
};

TEST(GroupWalk, StepsInOrderAndGroupsWhereTheNumberChanges) {
  struct TCase {
    std::vector<std::uint32_t> Groups;
    const char* Steps;
  };
  for (const TCase& c : std::vector<TCase>{
           {{}, "H F"},
           {{1}, "H [1:0-1 0a 1] F"},
           {{1, 1, 2, 3, 3}, "H [1:0-2 0a 1a 2] [2:2-3 2a 1] [3:3-5 3a 4a 2] F"},
           // A group number that comes back after another is a group of its own, as the rows show it.
           {{4, 5, 4}, "H [4:0-1 0a 1] [5:1-2 1a 1] [4:2-3 2a 1] F"},
       }) {
    TScanEngine engine(cmCRC32, {});
    for (std::uint32_t g : c.Groups) engine.AddItem(MakeItem("/p", "a", g));
    TRecorder r;
    WalkVisibleGroups(engine, r);
    EXPECT_EQ(r.fSteps, c.Steps);
  }
}

}  // namespace
}  // namespace pelcrow
