// Result views: the search filter's match rule and group text, the filter and category lists,
// the remove commands, the clean-up of resolved groups and the statistics, on small hand-made
// result lists.
#include <gtest/gtest.h>

#include <algorithm>

#include "TestUtil.h"
#include "engine/ScanEngine.h"
#include "engine/SearchFilter.h"

namespace pelcrow {
namespace {

using test::MakeItem;
using test::TRecordingView;

TDateTime Local(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) { return test::LocalTime(y, mo, d, h, mi, s); }

std::vector<std::string> Names(const std::vector<PFileItem>& list) {
  std::vector<std::string> r;
  for (PFileItem it : list) r.push_back(it->Name.str());
  std::sort(r.begin(), r.end());
  return r;
}

std::vector<std::string> Visible(const TScanEngine& e) {
  std::vector<PFileItem> list;
  for (int i = 0; i < e.ItemCount(); ++i) list.push_back(e.Item(i));
  return Names(list);
}

// ------------------------------------------------------------------ match rule

struct TPatternCase {
  const char* Pattern;
  const char* Name;
  bool Match;
};

TEST(SearchFilterTest, NamePattern) {
  for (const TPatternCase& c : std::vector<TPatternCase>{
           {"*.JPG", "a.jpg", true},
           {"a?c", "abc", true},
           {"a?c", "ac", false},
           {"a?c", "abbc", false},
           {"*", "", true},
           {"", "anything", true},
           {"*a*b*", "xxaxxbxx", true},
           {"*a*b", "xxaxxbxxc", false},
           {"?.txt", "é.txt", true},  // one character, two bytes
           {"ÄBC*", "äbc.txt", true},
           {"ПРИВЕТ*", "привет.doc", true},
           {"[1]*", "[1]x", true},  // brackets are plain characters
           {"[1]*", "1x", false},
           {"a*", "b", false},
       }) {
    EXPECT_EQ(MatchesFileNamePattern(c.Name, c.Pattern), c.Match) << c.Pattern << " / " << c.Name;
  }
}

struct TSizeCase {
  TSizeSearchCondition Condition;
  std::int64_t Value;
  TSizeSearchMeathure Unit;
  std::int64_t Size;
  bool Match;
};

TEST(SearchFilterTest, SizeCriterionTruncatesToTheUnit) {
  for (const TSizeCase& c : std::vector<TSizeCase>{
           {sscEqual, 1, ssmMBytes, 1048576, true},
           {sscEqual, 1, ssmMBytes, 2097151, true},
           {sscEqual, 1, ssmMBytes, 2097152, false},
           {sscEqual, 1, ssmMBytes, 1048575, false},
           {sscLargeThan, 2, ssmKBytes, 3072, true},
           {sscLargeThan, 2, ssmKBytes, 3071, false},
           {sscLessThan, 1, ssmGBytes, 1073741823, true},
           {sscLessThan, 1, ssmGBytes, 1073741824, false},
           {sscEqual, 100, ssmBytes, 100, true},
       }) {
    TSearchFilterFiles f;
    f.fSearchBySize = true;
    f.fSizeCondition = c.Condition;
    f.fFileSize = c.Value;
    f.fSizeMeasure = c.Unit;
    std::unique_ptr<TFileItem> it(MakeItem("/p", "a", 1, c.Size));
    EXPECT_EQ(f.Matches(*it), c.Match) << c.Size;
  }
}

TEST(SearchFilterTest, DateCriterionTakesWholeDays) {
  TSearchFilterFiles f;
  f.fSearchByDate = true;
  f.fStartDate = Local(2024, 5, 10, 12);  // a time in the dialog's dates does not narrow the day
  f.fEndDate = Local(2024, 5, 12);
  for (const auto& [when, match] : std::vector<std::pair<TDateTime, bool>>{
           {Local(2024, 5, 9, 23, 59, 59), false},
           {Local(2024, 5, 10), true},
           {Local(2024, 5, 11, 8), true},
           {Local(2024, 5, 12, 18, 30), true},  // later on the end day still matches
           {Local(2024, 5, 13), false},
       }) {
    std::unique_ptr<TFileItem> it(MakeItem("/p", "a", 1));
    it->Modified = when;
    EXPECT_EQ(f.Matches(*it), match) << when.ToIsoText();
  }
}

TEST(SearchFilterTest, GroupTextNormalisesAndParses) {
  const std::vector<std::pair<std::string, std::string>> normal = {
      {"1,,2", "1,2"}, {"1,-2", "1-2"}, {"3,", "3"}, {",5", "5"}, {"-,1", "1"},
      {"1a2", "12"},   {"", ""},        {",-,", ""}, {"1-5,8,10-12", "1-5,8,10-12"},
  };
  for (const auto& [in, out] : normal) EXPECT_EQ(NormalizeDupGroupPattern(in), out) << in;
  using R = std::vector<TDupGroupRange>;
  const std::vector<std::pair<std::string, R>> parsed = {
      {"1-5,8,10-12", R{{1, 5}, {8, 8}, {10, 12}}},
      {"7-3", R{{3, 7}}},
      {"0,4", R{{4, 4}}},
      {"0", R{}},
      {"2-9-4", R{{2, 9}}},
      {"99999999999,6", R{{6, 6}}},
      {"4294967295", R{{4294967295u, 4294967295u}}},
  };
  for (const auto& [in, out] : parsed) EXPECT_EQ(ParseDupGroupPattern(in), out) << in;

  TSearchFilterFiles f;
  f.fSearchByDupGroup = true;
  f.SetDupGroupPattern("5-1,,9,");
  EXPECT_EQ(f.fDupGroupPattern, "5-1,9");
  for (std::uint32_t g = 0; g <= 10; ++g) {
    std::unique_ptr<TFileItem> it(MakeItem("/p", "a", g));
    EXPECT_EQ(f.Matches(*it), (g >= 1 && g <= 5) || g == 9) << g;
  }
}

// ------------------------------------------------------------------ lists

// Three pairs: pictures, music and documents, in two folders.
class ResultViewsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    engine.AddItem(MakeItem("/a", "p1.jpg", 1, 1000));
    engine.AddItem(MakeItem("/b", "p2.jpg", 1, 1000));
    engine.AddItem(MakeItem("/a", "m1.mp3", 2, 3000));
    engine.AddItem(MakeItem("/b", "m2.mp3", 2, 3000));
    engine.AddItem(MakeItem("/a", "d1.txt", 3, 6000));
    engine.AddItem(MakeItem("/b/sub", "d2.txt", 3, 6000));
    engine.SortResults(&view, 2, soAsc);
  }
  int Row(const std::string& name) const {
    for (int i = 0; i < engine.ItemCount(); ++i)
      if (engine.Item(i)->Name.view() == name) return i;
    ADD_FAILURE() << name;
    return -1;
  }
  TSearchFilterFiles NameFilter(const char* pattern) {
    TSearchFilterFiles f;
    f.fFileNamePattern = pattern;
    return f;
  }
  TScanEngine engine{cmCRC32, {}};
  TRecordingView view;
};

TEST_F(ResultViewsTest, FilterHidesAndCloseBringsBack) {
  engine.FilterResults(&view, NameFilter("*1.*"));
  EXPECT_EQ(Visible(engine), (std::vector<std::string>{"d1.txt", "m1.mp3", "p1.jpg"}));
  EXPECT_EQ(Names(engine.FilesHiddenByFilter()), (std::vector<std::string>{"d2.txt", "m2.mp3", "p2.jpg"}));
  EXPECT_EQ(view.Rows, 3);
  EXPECT_EQ(engine.GridRowCount(), 3);
  EXPECT_EQ(engine.SummaryInfo().OriginalFiles, 3);
  EXPECT_EQ(engine.SummaryInfo().DuplicateFiles, 0);
  // A second filter starts from all items, not from the filtered ones.
  engine.FilterResults(&view, NameFilter("m*"));
  EXPECT_EQ(Visible(engine), (std::vector<std::string>{"m1.mp3", "m2.mp3"}));
  engine.CloseFilterResults(&view);
  EXPECT_EQ(engine.ItemCount(), 6);
  EXPECT_TRUE(engine.FilesHiddenByFilter().empty());
  EXPECT_EQ(view.Rows, 6);
  // Visible rows stay in group order.
  for (int i = 1; i < engine.ItemCount(); ++i) EXPECT_LE(engine.Item(i - 1)->DupGroup, engine.Item(i)->DupGroup);
}

TEST_F(ResultViewsTest, CategoryWithAFilterActive) {
  engine.FilterResults(&view, NameFilter("*1.*"));
  // The window: category set only, then the filter applied again.
  engine.SetCategoryFilter(fcMusic, true, false);
  engine.FilterResults(&view, NameFilter("*1.*"));
  EXPECT_EQ(Visible(engine), std::vector<std::string>{"m1.mp3"});
  // Matching items of other categories wait in the category's list, not in the filter's.
  EXPECT_EQ(Names(engine.FilesHiddenByCategory()), (std::vector<std::string>{"d1.txt", "d2.txt", "p1.jpg", "p2.jpg"}));
  EXPECT_EQ(Names(engine.FilesHiddenByFilter()), std::vector<std::string>{"m2.mp3"});
  // Back to all files with the filter still active: exactly the matching items.
  engine.SetCategoryFilter(fcAllFiles, true, false);
  engine.FilterResults(&view, NameFilter("*1.*"));
  EXPECT_EQ(Visible(engine), (std::vector<std::string>{"d1.txt", "m1.mp3", "p1.jpg"}));
  EXPECT_TRUE(engine.FilesHiddenByCategory().empty());
  EXPECT_EQ(engine.RealItemCount(), 6);
}

TEST_F(ResultViewsTest, CloseFilterKeepsTheCategory) {
  engine.SetCategoryFilter(fcPictures, false, false);
  engine.FilterResults(&view, NameFilter("p1*"));
  EXPECT_EQ(Visible(engine), std::vector<std::string>{"p1.jpg"});
  engine.CloseFilterResults(&view);
  EXPECT_EQ(Visible(engine), (std::vector<std::string>{"p1.jpg", "p2.jpg"}));
  EXPECT_EQ(engine.CurrentCategoryFilter(), fcPictures);
  engine.SetCategoryFilter(fcAllFiles, false, false);
  EXPECT_EQ(engine.ItemCount(), 6);
  EXPECT_EQ(view.Rows, 6);
}

TEST_F(ResultViewsTest, CategoryInternalCallLeavesTheGridAlone) {
  const int changes = view.ListChanges;
  engine.SetCategoryFilter(fcVideo, false, true);
  EXPECT_EQ(engine.ItemCount(), 0);
  EXPECT_EQ(view.ListChanges, changes);
  engine.SetCategoryFilter(fcAllFiles, false, false);
  EXPECT_EQ(engine.ItemCount(), 6);
  EXPECT_EQ(view.Rows, 6);
}

// Loading a list or scanning again starts with every category shown, as the window's buttons say:
// a later filter change must not bring back the category picked for the old results.
TEST_F(ResultViewsTest, NewResultsShowEveryCategory) {
  const std::string listText = engine.ListFileText();
  test::TTempDir dir;
  for (const char* f : {"a/p.jpg", "b/p.jpg", "a/d.txt", "b/d.txt"}) dir.Write(f, std::string("same ") + f[2]);
  struct TCase {
    const char* Label;
    bool Scan;
    bool CloseFilter;
    int Rows;
  };
  for (const TCase& c : {TCase{"load, then filter", false, false, 6}, TCase{"load, then close the filter", false, true, 6},
                         TCase{"scan, then filter", true, false, 4}, TCase{"scan, then close the filter", true, true, 4}}) {
    SCOPED_TRACE(c.Label);
    engine.SetCategoryFilter(fcPictures, false, false);
    ASSERT_EQ(engine.ItemCount(), 2);
    if (c.Scan) {
      engine.ClearResults();
      test::RunScan(engine, {dir.path()});
      engine.SortResults(&view, 2, soAsc);
    } else {
      engine.LoadFromText(&view, listText);
    }
    EXPECT_EQ(engine.CurrentCategoryFilter(), fcAllFiles);
    ASSERT_EQ(engine.ItemCount(), c.Rows);
    if (c.CloseFilter)
      engine.CloseFilterResults(&view);
    else
      engine.FilterResults(&view, NameFilter("*"));
    EXPECT_EQ(engine.ItemCount(), c.Rows);
    EXPECT_EQ(view.Rows, c.Rows);
    EXPECT_TRUE(engine.FilesHiddenByCategory().empty());
  }
}

struct TRemoveCase {
  const char* Label;
  void (TScanEngine::*Remove)(int);
  const char* Row;
  std::vector<std::string> Left;
};

TEST_F(ResultViewsTest, RemoveCommands) {
  for (const TRemoveCase& c : std::vector<TRemoveCase>{
           {"extension", &TScanEngine::RemoveByExtension, "m1.mp3", {"d1.txt", "d2.txt", "p1.jpg", "p2.jpg"}},
           // One copy of each pair lives in /a: three groups of one remain.
           {"folder", &TScanEngine::RemoveByFolder, "p1.jpg", {"d2.txt", "m2.mp3", "p2.jpg"}},
           {"folder only, not below", &TScanEngine::RemoveByFolder, "p2.jpg", {"d1.txt", "d2.txt", "m1.mp3", "p1.jpg"}},
           {"folder and below", &TScanEngine::RemoveByFolderSub, "p2.jpg", {"d1.txt", "m1.mp3", "p1.jpg"}},
       }) {
    SCOPED_TRACE(c.Label);
    engine.ClearResults();
    SetUp();
    (engine.*c.Remove)(Row(c.Row));
    EXPECT_EQ(Visible(engine), c.Left);
    EXPECT_EQ(view.Rows, static_cast<int>(c.Left.size()));
    EXPECT_EQ(engine.SummaryInfo().OriginalFiles + engine.SummaryInfo().DuplicateFiles,
              static_cast<int>(c.Left.size()));
  }
}

TEST(ResultViewsPruneTest, ExtensionIsCaseSensitiveAndFolderIsAPrefixOfWholeNames) {
  TScanEngine engine(cmCRC32, {});
  engine.AddItem(MakeItem("/x", "a.JPG", 1));
  engine.AddItem(MakeItem("/x", "b.jpg", 1));
  engine.AddItem(MakeItem("/x", "c", 2));
  engine.AddItem(MakeItem("/x", "d", 2));
  engine.RemoveByExtension(1);
  EXPECT_EQ(Visible(engine), (std::vector<std::string>{"a.JPG", "c", "d"}));
  engine.RemoveByExtension(2);  // no extension: every name without one
  EXPECT_EQ(Visible(engine), std::vector<std::string>{"a.JPG"});

  TScanEngine folders(cmCRC32, {});
  folders.AddItem(MakeItem("/m/b", "1", 1));
  folders.AddItem(MakeItem("/m/bc", "2", 1));
  folders.AddItem(MakeItem("/m/b/deep/er", "3", 1));
  folders.AddItem(MakeItem("/m/B", "4", 1));
  folders.RemoveByFolderSub(0);
  EXPECT_EQ(Visible(folders), (std::vector<std::string>{"2", "4"}));
  EXPECT_THROW(folders.RemoveByFolder(5), EScanEngineError);
}

TEST(ResultViewsPruneTest, RemoveByExtensionOutOfRangeIsLoggedAndKeepsTheList) {
  TScanEngine engine(cmCRC32, {});
  engine.AddItem(MakeItem("/x", "a.txt", 1));
  EXPECT_NO_THROW(engine.RemoveByExtension(3));
  EXPECT_EQ(engine.ItemCount(), 1);
}

TEST_F(ResultViewsTest, CleanResolvedRemovesProcessedItemsAndTheirLonePartners) {
  // Nothing processed: nothing changes, not even the order.
  std::vector<PFileItem> before;
  for (int i = 0; i < engine.ItemCount(); ++i) before.push_back(engine.Item(i));
  const int changes = view.ListChanges;
  engine.CleanResolved();
  for (int i = 0; i < engine.ItemCount(); ++i) EXPECT_EQ(engine.Item(i), before[static_cast<std::size_t>(i)]);
  EXPECT_EQ(view.ListChanges, changes);

  // One copy of the pictures deleted; a processed document hidden by the filter counts too.
  engine.Item(Row("p1.jpg"))->fProcessed = true;
  engine.FilterResults(&view, NameFilter("*.jpg"));
  engine.FilesHiddenByFilter().push_back(MakeItem("/c", "d3.txt", 3, 6000));
  engine.FilesHiddenByFilter().back()->fProcessed = true;
  engine.CleanResolved();
  EXPECT_EQ(engine.ItemCount(), 0);
  EXPECT_EQ(view.Rows, 0);
  EXPECT_EQ(Names(engine.FilesHiddenByFilter()), (std::vector<std::string>{"d1.txt", "d2.txt", "m1.mp3", "m2.mp3"}));
}

TEST(ResultViewsPruneTest, CleanResolvedCountsLargeGroupsAndGroupNumbersInFull) {
  TScanEngine engine(cmCRC32, {});
  // More than 65535 items in one group: a 16-bit counter would wrap to a group of none.
  for (int k = 0; k < 65537; ++k) engine.AddItem(MakeItem("/g", "f", 7));
  engine.AddItem(MakeItem("/g", "x", 4000000000u));
  engine.AddItem(MakeItem("/g", "y", 4000000000u));
  engine.AddItem(MakeItem("/g", "z", 4000000000u));
  engine.Item(65537)->fProcessed = true;
  engine.CleanResolved();
  EXPECT_EQ(engine.ItemCount(), 65537 + 2);
}

TEST_F(ResultViewsTest, StatsAndSelectedInfo) {
  bool found = true;
  TScanEngine empty(cmCRC32, {});
  EXPECT_EQ(empty.GetStatsByCategory(fcMusic, found), 0.0);
  EXPECT_FALSE(found);
  // Hidden items count too.
  engine.SetCategoryFilter(fcPictures, false, false);
  EXPECT_DOUBLE_EQ(engine.GetStatsByCategory(fcMusic, found), 6000.0 * 100 / 20000);
  EXPECT_TRUE(found);
  EXPECT_EQ(engine.GetStatsByCategory(fcVideo, found), 0.0);
  EXPECT_FALSE(found);

  engine.SetCategoryFilter(fcAllFiles, false, false);
  engine.Item(Row("p1.jpg"))->fSelected = true;
  engine.Item(Row("m1.mp3"))->fSelected = true;
  engine.Item(Row("d1.txt"))->fProcessed = true;
  int sel = 0, active = 0;
  // 1000 + 2000 bytes would be "2 KB"; here 1000 + 3000.
  EXPECT_EQ(engine.GetSelectedInfo(sel, active), "2 / 3 KB");
  EXPECT_EQ(sel, 2);
  EXPECT_EQ(active, 5);
}

TEST(ResultViewsPruneTest, SelectedInfoOfTwoFilesOfOneAndTwoThousandBytes) {
  TScanEngine engine(cmCRC32, {});
  engine.AddItem(MakeItem("/x", "a", 1, 1000));
  engine.AddItem(MakeItem("/x", "b", 1, 2000));
  engine.Item(0)->fSelected = engine.Item(1)->fSelected = true;
  int sel = 0, active = 0;
  EXPECT_EQ(engine.GetSelectedInfo(sel, active), "2 / 2 KB");
}

TEST_F(ResultViewsTest, ReShowKeepsTheLastSortAndRowIndexesAreChecked) {
  engine.SortResults(&view, 3, soDesc);
  engine.FilterResults(&view, NameFilter("*"));
  EXPECT_EQ(engine.LastSortColumn(), 3);
  EXPECT_EQ(engine.LastSortOrder(), soDesc);
  EXPECT_EQ(engine.Item(0)->Size, 6000);
  EXPECT_THROW(engine.UpdateItem(6), EScanEngineError);
  EXPECT_THROW(engine.UpdateItem(-1), EScanEngineError);
  EXPECT_NO_THROW(engine.UpdateItem(5));
  EXPECT_THROW(engine.UpdateGrid(6, false), EScanEngineError);
}

}  // namespace
}  // namespace pelcrow
