// The ignore list (its file, how it splits groups, in a scan and on shown results) and the
// reference folders (searched, marked, never checked by any rule, check or override).
#include <gtest/gtest.h>

#include <set>

#include "TestUtil.h"
#include "engine/IgnoreList.h"
#include "engine/ItemFlags.h"

namespace pelcrow {
namespace {

using test::GroupSet;
using test::Groups;
using test::MakeItem;
using test::RunScan;
using test::TRecordingView;
using test::TScriptedPrompt;
using test::TTempDir;
using Set = std::set<std::set<std::string>>;

TEST(IgnoreListTest, FileKeepsEntriesWithAwkwardPathsAndSkipsWhatItDoesNotKnow) {
  TIgnoreList list;
  EXPECT_TRUE(list.AddFile("/a/odd[,]name\nline"));
  EXPECT_FALSE(list.AddFile("/a/odd[,]name\nline"));
  EXPECT_TRUE(list.AddPair("/z/two", "/b/one"));
  EXPECT_FALSE(list.AddPair("/b/one", "/z/two"));  // either order is the same pair
  EXPECT_FALSE(list.AddPair("/b/one", "/b/one"));
  EXPECT_EQ(list.Entries()[1], (TIgnoreEntry{"/b/one", "/z/two"}));

  TIgnoreList back;
  EXPECT_EQ(back.Parse("# note\r\n" + list.Text() + "X[,]future kind[,]\nP[,]only one[,]\n\n"), 2);
  EXPECT_EQ(back.Entries(), list.Entries());
  EXPECT_TRUE(back.IgnoresFile("/a/odd[,]name\nline"));
  EXPECT_TRUE(back.IgnoresPair("/z/two", "/b/one"));
  EXPECT_FALSE(back.IgnoresPair("/z/two", "/a/odd[,]name\nline"));

  TTempDir dir;
  const std::string file = dir / "data/pelcrow/ignore-list";
  EXPECT_EQ(back.Load(file), ENOENT);  // no file yet: an empty list
  EXPECT_TRUE(back.Empty());
  ASSERT_EQ(list.Save(file), 0);
  ASSERT_EQ(back.Load(file), 0);
  EXPECT_EQ(back.Entries(), list.Entries());
  back.Remove(0);
  EXPECT_FALSE(back.IgnoresFile("/a/odd[,]name\nline"));
  EXPECT_TRUE(back.IgnoresPair("/b/one", "/z/two"));

  test::TScopedEnv data("XDG_DATA_HOME", dir / "xdg");
  EXPECT_EQ(DefaultIgnoreListFile(), dir / "xdg/pelcrow/ignore-list");
}

struct TApplyCase {
  const char* Name;
  std::vector<std::vector<std::string>> Groups;  // names under /d, in list order
  std::vector<std::vector<std::string>> Ignore;  // one name: a file, two: a pair
  std::vector<std::vector<std::string>> Expected;
};
void PrintTo(const TApplyCase& c, std::ostream* os) { *os << c.Name; }

class IgnoreApplyTest : public ::testing::TestWithParam<TApplyCase> {};

TEST_P(IgnoreApplyTest, SplitsGroupsAndDropsLoneItems) {
  const TApplyCase& c = GetParam();
  std::vector<PFileItem> items;
  std::uint32_t group = 0;
  for (const auto& g : c.Groups) {
    ++group;
    for (const std::string& n : g) items.push_back(MakeItem("/d", n, group));
  }
  TIgnoreList list;
  for (const auto& e : c.Ignore) {
    if (e.size() == 1) list.AddFile("/d/" + e[0]);
    else list.AddPair("/d/" + e[0], "/d/" + e[1]);
  }
  std::uint32_t next = group;
  ApplyIgnoreList(items, list, next);
  // Read back as runs of equal groups: a split group's parts stay contiguous.
  std::vector<std::vector<std::string>> got;
  std::set<std::uint32_t> seen;
  for (std::size_t k = 0; k < items.size(); ++k) {
    if (k == 0 || items[k]->DupGroup != items[k - 1]->DupGroup) {
      EXPECT_TRUE(seen.insert(items[k]->DupGroup).second) << "group number reused";
      got.emplace_back();
    }
    got.back().push_back(items[k]->Name.str());
  }
  EXPECT_EQ(got, c.Expected);
  for (PFileItem it : items) delete it;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, IgnoreApplyTest,
    ::testing::Values(
        TApplyCase{"NothingIgnored", {{"a", "b"}}, {{"x", "y"}, {"z"}}, {{"a", "b"}}},
        TApplyCase{"PairOfTwoIsNoGroup", {{"a", "b"}, {"c", "d"}}, {{"b", "a"}}, {{"c", "d"}}},
        TApplyCase{"FileLeavesItsGroup", {{"a", "b", "c"}}, {{"b"}}, {{"a", "c"}}},
        TApplyCase{"FileLeavesAPartnerAlone", {{"a", "b"}}, {{"a"}}, {}},
        // The first two stay together with the third; the second, alone, leaves.
        TApplyCase{"PairInThree", {{"a", "b", "c"}}, {{"a", "b"}}, {{"a", "c"}}},
        TApplyCase{"TwoPartsOfTwo", {{"a", "b", "c", "d"}}, {{"a", "b"}, {"c", "a"}}, {{"a", "d"}, {"b", "c"}}},
        TApplyCase{"EveryPairIgnored", {{"a", "b", "c"}}, {{"a", "b"}, {"a", "c"}, {"b", "c"}}, {}},
        TApplyCase{"PairAcrossGroupsChangesNothing", {{"a", "b"}, {"c", "d"}}, {{"a", "c"}},
                   {{"a", "b"}, {"c", "d"}}}));

TEST(IgnoreListTest, ScanKeepsIgnoredPairsAndFilesOutOfEveryGroup) {
  TTempDir dir;
  for (const char* n : {"p/a", "p/b"}) dir.Write(n, "false pair");
  for (const char* n : {"t/a", "t/b", "t/c"}) dir.Write(n, "three copies");
  for (const char* n : {"f/a", "f/b", "f/c"}) dir.Write(n, "one file ignored");
  auto list = std::make_shared<TIgnoreList>();
  list->AddPair(dir / "p/a", dir / "p/b");
  list->AddPair(dir / "t/a", dir / "t/b");
  list->AddFile(dir / "f/b");
  TScanSettings options = test::TestScanSettings();
  options.IgnoreList = list;
  TScanEngine engine(cmCRC32, {});
  RunScan(engine, {dir.path()}, options);
  EXPECT_EQ(GroupSet(Groups(engine, dir.path())), (Set{{"t/a", "t/c"}, {"f/a", "f/c"}}));
  // Group numbers run from 1 without gaps, as after every scan.
  std::set<std::uint32_t> numbers;
  for (int k = 0; k < engine.ItemCount(); ++k) numbers.insert(engine.Item(k)->DupGroup);
  EXPECT_EQ(numbers, (std::set<std::uint32_t>{1, 2}));
}

TEST(IgnoreListTest, ShownResultsFollowTheListAcrossHiddenItems) {
  TScanEngine e(cmCRC32, {});
  TRecordingView view;
  for (const char* n : {"a.txt", "b.txt", "c.jpg", "d.jpg"}) e.AddItem(MakeItem("/d", n, 1));
  for (const char* n : {"x.txt", "y.txt"}) e.AddItem(MakeItem("/d", n, 2));
  e.SortResults(&view, 0, soAsc);
  e.SetCategoryFilter(fcDocuments, false, false);  // the pictures are hidden now
  ASSERT_EQ(e.FilesHiddenByCategory().size(), 2u);
  TIgnoreList list;
  list.AddPair("/d/a.txt", "/d/c.jpg");
  list.AddPair("/d/b.txt", "/d/d.jpg");
  list.AddFile("/d/y.txt");
  EXPECT_EQ(e.IgnoreInResults(list), 2u);  // y.txt and its partner x.txt
  ASSERT_EQ(e.ItemCount(), 2);
  EXPECT_EQ(e.Item(0)->DupGroup, e.Item(1)->DupGroup);  // a.txt and b.txt stay a group
  // The pictures make a group of their own and stay hidden.
  const std::vector<PFileItem>& hidden = e.FilesHiddenByCategory();
  ASSERT_EQ(hidden.size(), 2u);
  EXPECT_EQ(hidden[0]->DupGroup, hidden[1]->DupGroup);
  EXPECT_NE(hidden[0]->DupGroup, e.Item(0)->DupGroup);
  EXPECT_EQ(view.Rows, 2);
}

// ------------------------------------------------------------------ reference folders

TEST(ReferenceFolderTest, ScanSearchesThemAndDropsGroupsOfReferencesAlone) {
  TTempDir dir;
  for (const char* n : {"ref/x1", "ref/x2"}) dir.Write(n, "references only");
  for (const char* n : {"ref/m", "work/m1", "work/m2"}) dir.Write(n, "mixed");
  for (const char* n : {"work/n1", "work/n2"}) dir.Write(n, "no reference");
  for (const char* n : {"work/inner/ref/i", "work/i"}) dir.Write(n, "reference inside include");
  TScanEngine engine(cmCRC32, {});
  const std::vector<std::string> refs = {dir / "ref", dir / "work/inner/ref/"};
  engine.SetReferenceFilePaths(&refs);
  RunScan(engine, {dir / "work"});
  EXPECT_EQ(GroupSet(Groups(engine, dir.path())),
            (Set{{"ref/m", "work/m1", "work/m2"}, {"work/n1", "work/n2"}, {"work/inner/ref/i", "work/i"}}));
  std::set<std::string> refItems;
  for (int k = 0; k < engine.ItemCount(); ++k)
    if (engine.Item(k)->Reference) refItems.insert(engine.Item(k)->Name.str());
  EXPECT_EQ(refItems, (std::set<std::string>{"m", "i"}));
}

// Every way a check is made: the rules, Check all, the inverse, the folder and group rules, a
// check by hand, and the master warning switched off for the result set.
TEST(ReferenceFolderTest, NoRuleCheckOrOverrideChecksAReferenceCopy) {
  TScriptedPrompt prompt;
  const std::vector<std::pair<const char*, std::function<void(TScanEngine&, IScanView*)>>> ways = {
      {"LeaveOldest", [](TScanEngine& e, IScanView* v) { e.AutoSelect(v, smSelectAllLeaveOldest); }},
      {"LeaveNewest", [](TScanEngine& e, IScanView* v) { e.AutoSelect(v, smSelectAllLeaveNewest); }},
      {"LeaveOriginalName", [](TScanEngine& e, IScanView* v) { e.AutoSelect(v, smSelectAllLeaveOriginalName); }},
      {"CheckAll", [](TScanEngine& e, IScanView* v) { e.SelectAll(v); }},
      {"Reverse", [](TScanEngine& e, IScanView* v) { e.ReverseSelection(v); }},
      {"ExceptFolder", [](TScanEngine& e, IScanView* v) { e.SelectAllExceptThisFolder(v, "/work", true); }},
      {"InGroupButThisOne", [](TScanEngine& e, IScanView* v) {
         for (int k = 0; k < e.ItemCount(); ++k)
           if (!e.Item(k)->Reference) e.SelectAllInGroupButThisOne(v, k);
       }},
      {"SameFolder", [](TScanEngine& e, IScanView*) { e.SelectDuplicatesInSameFolder("/ref", true); }},
      {"ByHandWithMasterWarningOff", [](TScanEngine& e, IScanView*) {
         MasterWarningActive = false;
         for (int k = 0; k < e.ItemCount(); ++k) SetFileSelected(e.Item(k), true);
       }},
  };
  for (const auto& [name, way] : ways) {
    SCOPED_TRACE(name);
    TScanEngine e(cmCRC32, {});
    const std::vector<std::string> refs = {"/ref"};
    e.SetReferenceFilePaths(&refs);
    // The reference copy is the newest and has the longest name: every rule would keep another.
    e.AddItem(MakeItem("/ref/sub", "a copy.txt", 1, 1, 300));
    e.AddItem(MakeItem("/work", "a.txt", 1, 1, 100));
    e.AddItem(MakeItem("/work/old", "a.txt", 1, 1, 200));
    e.AddItem(MakeItem("/ref", "b.txt", 2, 1, 100));
    e.AddItem(MakeItem("/work", "b.txt", 2, 1, 200));
    e.MarkReferenceItems();
    TRecordingView view;
    e.SortResults(&view, 0, soAsc);
    way(e, &view);
    int checked = 0;
    for (int k = 0; k < e.ItemCount(); ++k) {
      PFileItem it = e.Item(k);
      EXPECT_EQ(it->Reference, it->Path.str().starts_with("/ref")) << it->FullPath();
      if (it->Reference) {
        EXPECT_FALSE(it->fSelected) << it->FullPath();
      }
      checked += it->fSelected;
    }
    // The folder rules aimed at the reference folder find nothing to check; the others do.
    const bool onlyReferences = std::string(name) == "ExceptFolder" || std::string(name) == "SameFolder";
    if (onlyReferences) {
      EXPECT_EQ(checked, 0);
    } else {
      EXPECT_GT(checked, 0);
    }
    if (std::string(name).starts_with("Leave")) {
      EXPECT_EQ(checked, 3);  // the reference is the kept copy
    }
  }
  EXPECT_TRUE(prompt.Messages.empty());
}

TEST(ReferenceFolderTest, LoadedListMarksReferencesAndUnchecksThem) {
  TScanEngine source(cmCRC32, {});
  PFileItem r = MakeItem("/ref", "a", 1);
  r->fSelected = true;  // checked in a list written before the folder became a reference
  source.AddItem(r);
  source.AddItem(MakeItem("/work", "a", 1));
  source.SortResults(nullptr, 0, soAsc);
  const std::string text = source.ListFileText();
  TScanEngine e(cmCRC32, {});
  const std::vector<std::string> refs = {"/ref/"};
  e.SetReferenceFilePaths(&refs);
  e.LoadFromText(nullptr, text);
  ASSERT_EQ(e.ItemCount(), 2);
  for (int k = 0; k < 2; ++k) {
    EXPECT_EQ(e.Item(k)->Reference, e.Item(k)->Path.view() == "/ref");
    EXPECT_FALSE(e.Item(k)->fSelected);
  }
  EXPECT_EQ(e.OriginalItem(e.Item(e.Item(0)->Reference ? 1 : 0))->Path.str(), "/ref");
  // "All checked" means every copy a check may take: the reference copy is not one of them.
  int selected = 0, active = 0;
  e.GetSelectedInfo(selected, active);
  EXPECT_EQ(active, 1);
}

}  // namespace
}  // namespace pelcrow
