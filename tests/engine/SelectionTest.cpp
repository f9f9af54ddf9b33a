// Selection rules: which copy each automatic rule keeps, the folder and group rules, master files
// and refusals, and the original item of a group.
#include <gtest/gtest.h>

#include <functional>
#include <set>

#include "TestUtil.h"
#include "engine/ItemFlags.h"

namespace pelcrow {
namespace {

using test::MakeItem;
using test::TRecordingView;
using test::TScriptedPrompt;

struct TItemSpec {
  const char* Path;
  const char* Name;
  std::uint32_t Group;
  std::int64_t Modified = 0;
  bool Processed = false;
  bool Master = false;
};

void Fill(TScanEngine& e, const std::vector<TItemSpec>& items) {
  for (const TItemSpec& s : items) {
    PFileItem it = MakeItem(s.Path, s.Name, s.Group, 1, s.Modified);
    it->fProcessed = s.Processed;
    it->Master = s.Master;
    e.AddItem(it);
  }
}

// Shows the list in the grid, ordered by name (the specs name their items in list order).
void Show(TScanEngine& e, TRecordingView& view) {
  e.SortResults(&view, 0, soAsc);
  view.ChangedRows.clear();
}

std::set<std::string> Selected(const TScanEngine& e) {
  std::set<std::string> names;
  for (int k = 0; k < e.ItemCount(); ++k)
    if (e.Item(k)->fSelected) names.insert(e.Item(k)->Name.str());
  return names;
}

int IndexOf(const TScanEngine& e, const std::string& name) {
  for (int k = 0; k < e.ItemCount(); ++k)
    if (e.Item(k)->Name.view() == name) return k;
  return -1;
}

// Keeps the settings and the master warning of one test to that test.
class SelectionTest : public ::testing::Test {
 protected:
  void SetUp() override { MasterWarningActive = false; }
  void TearDown() override { MasterWarningActive = false; }
  TScriptedPrompt fPrompt;
  TRecordingView fView;
};

// ------------------------------------------------------------------ AutoSelect

struct TAutoCase {
  const char* Name;
  std::uint8_t Mode;
  TSelectMethod Method;
  std::vector<TItemSpec> Items;
  std::set<std::string> Expected;  // names checked afterwards
};

void PrintTo(const TAutoCase& c, std::ostream* os) { *os << c.Name; }

class AutoSelectTest : public SelectionTest, public ::testing::WithParamInterface<TAutoCase> {};

TEST_P(AutoSelectTest, KeepsOneCopyPerGroup) {
  const TAutoCase& c = GetParam();
  TScanEngine e(c.Mode, {});
  Fill(e, c.Items);
  if (c.Mode == cmEmails) {
    // The received date decides, not the file time.
    for (int k = 0; k < e.ItemCount(); ++k) {
      PFileItem it = e.Item(k);
      it->Emails = std::make_unique<TEmailInfo>();
      it->Emails->ReceivedDate = TDateTime::FromUnix(1000 - it->Modified.UnixSeconds());
    }
  }
  Show(e, fView);
  e.AutoSelect(&fView, c.Method);
  EXPECT_EQ(Selected(e), c.Expected);
  EXPECT_TRUE(fPrompt.Questions.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Rules, AutoSelectTest,
    ::testing::Values(
        TAutoCase{"OldestKeepsTheOldest", cmCRC32, smSelectAllLeaveOldest,
                  {{"/d", "a", 1, 20}, {"/d", "b", 1, 10}, {"/d", "c", 1, 30}}, {"a", "c"}},
        TAutoCase{"NewestKeepsTheNewest", cmCRC32, smSelectAllLeaveNewest,
                  {{"/d", "a", 1, 20}, {"/d", "b", 1, 10}, {"/d", "c", 1, 30}}, {"a", "b"}},
        TAutoCase{"EachGroupOnItsOwn", cmCRC32, smSelectAllLeaveOldest,
                  {{"/d", "a", 2, 10}, {"/d", "b", 1, 50}, {"/d", "c", 2, 5}, {"/d", "d", 1, 40}}, {"a", "b"}},
        // Equal times: the full path without regard to case ("/d/a" before "/d/B").
        TAutoCase{"EqualTimesByPathIgnoringCase", cmCRC32, smSelectAllLeaveNewest,
                  {{"/d", "B", 1, 10}, {"/d", "a", 1, 10}}, {"B"}},
        TAutoCase{"ProcessedFirstCandidateIsSkipped", cmCRC32, smSelectAllLeaveOldest,
                  {{"/d", "a", 1, 10, true}, {"/d", "b", 1, 20}, {"/d", "c", 1, 30}}, {"c"}},
        TAutoCase{"ProcessedGroupKeepsNothingChecked", cmCRC32, smSelectAllLeaveOldest,
                  {{"/d", "a", 1, 10, true}, {"/d", "b", 1, 20, true}}, {}},
        // A system copy's name contains the original's: the shorter name wins whatever the times.
        TAutoCase{"OriginalNameBeatsAge", cmCRC32, smSelectAllLeaveOriginalName,
                  {{"/d", "report - Copy.txt", 1, 10}, {"/d", "report.txt", 1, 90}}, {"report - Copy.txt"}},
        TAutoCase{"OriginalNameIgnoresCase", cmCRC32, smSelectAllLeaveOriginalName,
                  {{"/d", "photo (1).jpg", 1, 10}, {"/e", "Photo.JPG", 1, 90}}, {"photo (1).jpg"}},
        TAutoCase{"SameNameKeepsTheOlder", cmCRC32, smSelectAllLeaveOriginalName,
                  {{"/d", "Song.mp3", 1, 90}, {"/e", "song.MP3", 1, 10}}, {"Song.mp3"}},
        TAutoCase{"UnrelatedNamesKeepTheOlder", cmCRC32, smSelectAllLeaveOriginalName,
                  {{"/d", "alpha.txt", 1, 90}, {"/d", "beta.txt", 1, 10}}, {"alpha.txt"}},
        // A dot file is not an empty name that every other name contains.
        TAutoCase{"DotFileIsNoEmptyName", cmCRC32, smSelectAllLeaveOriginalName,
                  {{"/d", ".txt", 1, 90}, {"/d", "notes.txt", 1, 10}}, {".txt"}},
        // E-mails: by received date (here the reverse of the file time).
        TAutoCase{"MailNewestByReceivedDate", cmEmails, smSelectAllLeaveNewest,
                  {{"/m", "a", 1, 10}, {"/m", "b", 1, 20}}, {"b"}},
        TAutoCase{"MailOldestByReceivedDate", cmEmails, smSelectAllLeaveOldest,
                  {{"/m", "a", 1, 10}, {"/m", "b", 1, 20}}, {"a"}}),
    [](const auto& p) { return std::string(p.param.Name); });

TEST_F(SelectionTest, AutoSelectLeavesTheListInGroupOrderForTheNextColumnSort) {
  TScanEngine e(cmCRC32, {});
  Fill(e, {{"/d", "a", 2, 10}, {"/d", "b", 1, 20}, {"/d", "c", 2, 30}, {"/d", "d", 1, 5}});
  Show(e, fView);  // by name: a b c d, bands 1 2 3 4
  e.AutoSelect(&fView, smSelectAllLeaveOldest);
  std::vector<std::pair<std::string, std::uint32_t>> order;
  for (int k = 0; k < e.ItemCount(); ++k) order.emplace_back(e.Item(k)->Name.str(), e.Item(k)->SortGroup);
  EXPECT_EQ(order, (std::vector<std::pair<std::string, std::uint32_t>>{{"d", 1}, {"b", 1}, {"a", 2}, {"c", 2}}));
  EXPECT_GE(fView.Refreshes, 2);
  EXPECT_EQ(fView.Rows, 4);
  EXPECT_EQ(e.LastSortColumn(), -1);
  e.SortResults(&fView, 0, soAsc);  // the same column as before sorts again
  EXPECT_EQ(e.Item(0)->Name, "a");
}

TEST_F(SelectionTest, AutoSelectClearsEarlierChecks) {
  TScanEngine e(cmCRC32, {});
  Fill(e, {{"/d", "a", 1, 10}, {"/d", "b", 1, 20}});
  Show(e, fView);
  SetFileSelected(e.Item(0), true);
  e.AutoSelect(&fView, smSelectAllLeaveOldest);
  EXPECT_EQ(Selected(e), std::set<std::string>{"b"});
}

// ------------------------------------------------------------------ master files

TEST_F(SelectionTest, AutoSelectStopsWhereAMasterFileIsRefused) {
  MasterWarningActive = true;
  TScanEngine e(cmCRC32, {});
  e.SetMasterSelectMode(true);
  // Group 1 keeps its older copy and would check the master; group 2 is never reached.
  Fill(e, {{"/m", "a", 1, 90, false, true}, {"/d", "b", 1, 10}, {"/d", "c", 1, 50},
           {"/m", "d", 2, 10, false, true}, {"/d", "e", 2, 20}});
  Show(e, fView);
  e.AutoSelect(&fView, smSelectAllLeaveOldest);
  ASSERT_EQ(fPrompt.Questions.size(), 1u);
  EXPECT_EQ(Selected(e), std::set<std::string>{"c"});
  EXPECT_TRUE(MasterWarningActive);
}

TEST_F(SelectionTest, SelectAllInMasterModeLeavesMastersUncheckedWithoutAsking) {
  MasterWarningActive = true;
  TScanEngine e(cmCRC32, {});
  e.SetMasterSelectMode(true);
  Fill(e, {{"/m", "a", 1, 0, false, true}, {"/d", "b", 1}, {"/m", "c", 2, 0, false, true}, {"/d", "d", 2},
           {"/d", "e", 2, 0, true}});
  Show(e, fView);
  e.SelectAll(&fView);
  EXPECT_EQ(Selected(e), (std::set<std::string>{"b", "d"}));
  EXPECT_TRUE(fPrompt.Questions.empty());
}

TEST_F(SelectionTest, RefusedMasterStopsTheRuleThere) {
  MasterWarningActive = true;  // warning on, but not in master select mode: SelectAll asks
  TScanEngine e(cmCRC32, {});
  Fill(e, {{"/d", "a", 1}, {"/m", "b", 1, 0, false, true}, {"/d", "c", 1}});
  Show(e, fView);
  fPrompt.ConfirmAnswers = {false};
  fPrompt.CheckAnswers = {true};  // "Disable this warning for this result set"
  e.SelectAll(&fView);
  EXPECT_EQ(Selected(e), std::set<std::string>{"a"});
  EXPECT_EQ(fView.ChangedRows, std::vector<int>{0});
  // Disabled for the result set: the next rule checks the master without a question.
  e.SelectAll(&fView);
  EXPECT_EQ(Selected(e), (std::set<std::string>{"a", "b", "c"}));
  EXPECT_EQ(fPrompt.Questions.size(), 1u);
}

// ------------------------------------------------------------------ the other rules

struct TRuleCase {
  const char* Name;
  std::set<std::string> Before;  // names checked before the rule
  std::function<void(TScanEngine&, IScanView*)> Rule;
  std::set<std::string> Expected;
};

// a..d unprocessed, e processed; "/d/xy" must not count as inside "/d/x"; a's folder carries a
// trailing delimiter, d's does not.
const std::vector<TItemSpec> kFolderItems = {
    {"/d/x/", "a", 1}, {"/d/x/sub", "b", 1}, {"/d/xy", "c", 1}, {"/d/x", "d", 2}, {"/e", "e", 2, 0, true}};

void PrintTo(const TRuleCase& c, std::ostream* os) { *os << c.Name; }

class RuleTest : public SelectionTest, public ::testing::WithParamInterface<TRuleCase> {};

TEST_P(RuleTest, ChecksTheRightRowsAndUpdatesOnlyThose) {
  const TRuleCase& c = GetParam();
  TScanEngine e(cmCRC32, {});
  Fill(e, kFolderItems);
  Show(e, fView);
  for (const std::string& n : c.Before) SetFileSelected(e.Item(IndexOf(e, n)), true);
  c.Rule(e, &fView);
  EXPECT_EQ(Selected(e), c.Expected);
  std::set<int> changed;
  for (int k = 0; k < e.ItemCount(); ++k) {
    const std::string n = e.Item(k)->Name.str();
    if (c.Before.count(n) != c.Expected.count(n)) changed.insert(k);
  }
  EXPECT_EQ(std::set<int>(fView.ChangedRows.begin(), fView.ChangedRows.end()), changed);
  EXPECT_EQ(fView.ChangedRows.size(), changed.size());
}

INSTANTIATE_TEST_SUITE_P(
    Rules, RuleTest,
    ::testing::Values(
        TRuleCase{"SelectAll", {}, [](TScanEngine& e, IScanView* v) { e.SelectAll(v); }, {"a", "b", "c", "d"}},
        TRuleCase{"UnSelectAll", {"a", "c"}, [](TScanEngine& e, IScanView* v) { e.UnSelectAll(v); }, {}},
        TRuleCase{"Reverse", {"a"}, [](TScanEngine& e, IScanView* v) { e.ReverseSelection(v); }, {"b", "c", "d"}},
        TRuleCase{"ExceptFolder", {"a"},
                  [](TScanEngine& e, IScanView* v) { e.SelectAllExceptThisFolder(v, "/d/x", false); },
                  {"b", "c"}},
        TRuleCase{"ExceptFolderAndSubfolders", {},
                  [](TScanEngine& e, IScanView* v) { e.SelectAllExceptThisFolder(v, "/d/x/", true); }, {"c"}},
        TRuleCase{"ExceptFolderOfARow", {},
                  [](TScanEngine& e, IScanView* v) { e.SelectAllExceptThisFolder(v, IndexOf(e, "b"), false); },
                  {"a", "c", "d"}},
        TRuleCase{"AllInGroupButThisOne", {"b", "d"},
                  [](TScanEngine& e, IScanView* v) { e.SelectAllInGroupButThisOne(v, IndexOf(e, "b")); },
                  {"a", "c", "d"}},
        TRuleCase{"SameFolder", {"c"},
                  [](TScanEngine& e, IScanView*) { e.SelectDuplicatesInSameFolder("/d/x", false); },
                  {"a", "c", "d"}},
        TRuleCase{"SameFolderAndSubfolders", {},
                  [](TScanEngine& e, IScanView*) { e.SelectDuplicatesInSameFolder("/d/x", true); },
                  {"a", "b", "d"}},
        TRuleCase{"WholeDrive", {},
                  [](TScanEngine& e, IScanView*) { e.SelectDuplicatesInSameFolder("/", true); },
                  {"a", "b", "c", "d"}}),
    [](const auto& p) { return std::string(p.param.Name); });

TEST_F(SelectionTest, SelectAllAndUnSelectAllNeedRowsInTheGrid) {
  TScanEngine e(cmCRC32, {});
  Fill(e, {{"/d", "a", 1}, {"/d", "b", 1}});
  SetFileSelected(e.Item(0), true);
  e.SelectAll(&fView);
  e.UnSelectAll(&fView);
  EXPECT_EQ(Selected(e), std::set<std::string>{"a"});
  EXPECT_TRUE(fView.ChangedRows.empty());
}

TEST_F(SelectionTest, RulesRefuseWhileAScanRuns) {
  test::TTempDir dir;
  dir.Write("a.txt", "same");
  dir.Write("b.txt", "same");
  TScanEngine e(cmCRC32, {});
  e.SetIncludeFileMasks("*.*");
  const std::vector<std::string> paths{dir.path()};
  e.SetIncludeFilePaths(&paths);
  TQueueMainThread loop;
  SetMainThread(&loop);
  bool finished = false;
  e.OnFinishedScan = [&](const TScanEngineSummaryInfo&) { finished = true; };
  e.BuildFileList(&fView, test::TestScanSettings());
  // Until its end is handed back the worker may still be sorting the list.
  EXPECT_THROW(e.AutoSelect(&fView, smSelectAllLeaveOldest), EScanEngineError);
  EXPECT_THROW(e.SelectAll(&fView), EScanEngineError);
  loop.RunUntil([&] { return finished; });
  SetMainThread(nullptr);
  e.AutoSelect(&fView, smSelectAllLeaveOldest);
  EXPECT_EQ(Selected(e).size(), 1u);
}

TEST_F(SelectionTest, OriginalItemIsTheFirstUncheckedUnprocessedOtherCopy) {
  TScanEngine e(cmCRC32, {});
  Fill(e, {{"/d", "a", 1, 0, true}, {"/d", "b", 2}, {"/d", "c", 1}, {"/d", "d", 1}, {"/d", "e", 1}});
  Show(e, fView);
  SetFileSelected(e.Item(2), true);  // c
  EXPECT_EQ(e.OriginalItem(e.Item(2)), e.Item(3));
  // An unchecked item is not its own original: d's is e.
  EXPECT_EQ(e.OriginalItem(e.Item(3)), e.Item(4));
  EXPECT_EQ(e.OriginalItem(e.Item(1)), nullptr);  // b is alone in its group
  EXPECT_EQ(e.OriginalItem(nullptr), nullptr);
  SetFileSelected(e.Item(3), true);
  SetFileSelected(e.Item(4), true);
  EXPECT_EQ(e.OriginalItem(e.Item(2)), nullptr);
}

}  // namespace
}  // namespace pelcrow
