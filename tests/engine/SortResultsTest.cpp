// Ordering of the result list by grid column, and the item flag setters.
#include <gtest/gtest.h>

#include "TestUtil.h"
#include "engine/ItemFlags.h"

#include <functional>
#include <memory>
#include <random>

namespace pelcrow {
namespace {

using test::MakeItem;
using test::TRecordingView;

std::vector<std::string> Names(const TScanEngine& e) {
  std::vector<std::string> out;
  for (int k = 0; k < e.ItemCount(); ++k) out.push_back(e.Item(k)->Name.str());
  return out;
}

PFileItem WithTags(PFileItem it, const std::string& track, const std::string& duration) {
  it->MusicTags = std::make_unique<TMusicTagsInfo>();
  it->MusicTags->Track = track;
  it->MusicTags->Duration = duration;
  return it;
}

struct TSortCase {
  const char* Name;
  int Column;
  TColumnSortOrder Order;
  std::vector<std::string> Expected;
};

class SortResultsTest : public ::testing::TestWithParam<TSortCase> {};

// Four items: names, folders, groups, sizes, times and track/duration texts chosen so every key
// gives a different order.
TEST_P(SortResultsTest, OrdersByKey) {
  TScanEngine e(cmMusicTags, {});
  e.AddItem(WithTags(MakeItem("/b/", "c.mp3", 2, 300, 10), "10", "2.5"));
  e.AddItem(WithTags(MakeItem("/a/", "a.mp3", 1, 100, 30), "9", "10"));
  e.AddItem(WithTags(MakeItem("/c/", "B.mp3", 2, 200, 20), "x", "abc"));
  e.AddItem(WithTags(MakeItem("/a/", "d.mp3", 1, 400, 40), "09", "2.50"));
  TRecordingView view;
  view.MusicColumns = {-1, -1, -1, 9, -1, -1, 11, -1};  // Track at grid column 9, Duration at 11
  e.SortResults(&view, GetParam().Column, GetParam().Order);
  EXPECT_EQ(Names(e), GetParam().Expected);
  EXPECT_EQ(view.Rows, 4);
}

INSTANTIATE_TEST_SUITE_P(
    Keys, SortResultsTest,
    ::testing::Values(
        TSortCase{"NameIsCaseSensitive", 0, soAsc, {"B.mp3", "a.mp3", "c.mp3", "d.mp3"}},
        TSortCase{"NameDescending", 0, soDesc, {"d.mp3", "c.mp3", "a.mp3", "B.mp3"}},
        TSortCase{"Size", 3, soAsc, {"a.mp3", "B.mp3", "c.mp3", "d.mp3"}},
        TSortCase{"Modified", 4, soDesc, {"d.mp3", "a.mp3", "B.mp3", "c.mp3"}},
        // "x" is no number: compared as text, after every digit text.
        TSortCase{"TrackAsNumbers", 8, soAsc, {"d.mp3", "a.mp3", "c.mp3", "B.mp3"}},
        TSortCase{"DurationAsDecimals", 10, soAsc, {"d.mp3", "c.mp3", "a.mp3", "B.mp3"}}),
    [](const auto& p) { return std::string(p.param.Name); });

TEST(SortResults, GroupKeyRenumbersBandsAndSkipsARepeat) {
  TScanEngine e(cmCRC32, {});
  e.AddItem(MakeItem("/x/", "a", 7));
  e.AddItem(MakeItem("/x/", "b", 3));
  e.AddItem(MakeItem("/x/", "c", 7));
  TRecordingView view;
  e.SortResults(&view, 2, soAsc);
  EXPECT_EQ(e.Item(0)->DupGroup, 3u);
  EXPECT_EQ(e.Item(0)->SortGroup, 1u);
  EXPECT_EQ(e.Item(1)->SortGroup, 2u);
  EXPECT_EQ(e.Item(2)->SortGroup, 2u);
  EXPECT_TRUE(e.CheckRow(0));
  EXPECT_FALSE(e.CheckRow(2));
  EXPECT_EQ(view.ListChanges, 1);
  e.SortResults(&view, 2, soAsc);  // same column, order and count: nothing to do
  EXPECT_EQ(view.ListChanges, 1);
  e.SortResults(&view, 2, soDesc);
  EXPECT_EQ(view.ListChanges, 2);
  EXPECT_EQ(e.Item(0)->DupGroup, 7u);
}

// The band of the first row is 1 whatever ordered the list last (a scan, a header sort, a
// selection rule, a list load, also one written with bands from 0), so the shading does not flip
// and a saved list keeps the scan's numbers.
TEST(SortResults, BandsNumberFromOneWhateverOrderedTheList) {
  test::TTempDir dir;
  for (const char* f : {"a/x.bin", "b/x.bin", "a/y.bin", "b/y.bin", "c/y.bin"})
    dir.Write(f, std::string("content of ") + f[2]);
  // The band field of each item line of a list file.
  auto savedBands = [](const std::string& text) {
    std::vector<std::string> bands;
    for (std::size_t line = text.find("\r\n"); line != std::string::npos && line + 2 < text.size();
         line = text.find("\r\n", line + 2)) {
      std::size_t at = line + 2;
      for (int field = 0; field < 8; ++field) at = text.find("[,]", at) + 3;
      bands.push_back(text.substr(at, text.find("[,]", at) - at));
    }
    return bands;
  };
  struct TCase {
    const char* Label;
    std::function<void(TScanEngine&, TRecordingView&)> Step;
  };
  const TCase cases[] = {
      {"scan", [](TScanEngine&, TRecordingView&) {}},
      {"header sort", [](TScanEngine& e, TRecordingView& v) { e.SortResults(&v, 3, soDesc); }},
      {"group sort", [](TScanEngine& e, TRecordingView& v) { e.SortResults(&v, 2, soDesc); }},
      {"selection rule", [](TScanEngine& e, TRecordingView& v) { e.AutoSelect(&v, smSelectAllLeaveNewest); }},
      {"list load", [](TScanEngine& e, TRecordingView& v) { e.LoadFromText(&v, e.ListFileText()); }},
      {"list with bands from 0",
       [](TScanEngine& e, TRecordingView& v) {
         for (int k = 0; k < e.ItemCount(); ++k) --e.Item(k)->SortGroup;
         e.LoadFromText(&v, e.ListFileText());
       }},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Label);
    TScanEngine e(cmCRC32, {});
    TRecordingView view;
    test::RunScan(e, {dir.path()});
    ASSERT_EQ(e.ItemCount(), 5);
    c.Step(e, view);
    std::uint32_t band = 0;
    for (int k = 0; k < e.ItemCount(); ++k) {
      if (k == 0 || e.Item(k)->DupGroup != e.Item(k - 1)->DupGroup) ++band;
      EXPECT_EQ(e.Item(k)->SortGroup, band) << k;
    }
    EXPECT_TRUE(e.CheckRow(0));
    const std::vector<std::string> bands = savedBands(e.ListFileText());
    ASSERT_EQ(bands.size(), 5u);
    EXPECT_EQ(bands.front(), "1");
  }
}

TEST(SortResults, UnknownKeyAndEmptyList) {
  TScanEngine e(cmCRC32, {});
  TRecordingView view;
  e.SortResults(&view, 99, soAsc);  // no items: nothing is compared
  EXPECT_EQ(view.ListChanges, 0);
  e.AddItem(MakeItem("/x/", "a", 1));
  e.AddItem(MakeItem("/x/", "b", 1));
  EXPECT_THROW(e.SortResults(&view, 99, soAsc), EScanEngineError);
  TScanEngine mail(cmEmails, {});
  mail.AddItem(MakeItem("/x/", "a", 1));
  mail.AddItem(MakeItem("/x/", "b", 1));
  EXPECT_THROW(mail.SortResults(&view, 8, soAsc), EScanEngineError);
}

TEST(ItemFlags, MasterConfirmationAsksUntilDisabled) {
  test::TScriptedPrompt prompt;
  MasterWarningActive = true;
  TFileItem master;
  master.Master = true;
  prompt.ConfirmAnswers = {false, true};
  prompt.CheckAnswers = {false, true};
  SetFileSelected(&master, true);  // No, box unticked: still asks next time
  EXPECT_FALSE(master.fSelected);
  EXPECT_TRUE(MasterWarningActive);
  SetFileSelected(&master, true);  // Yes with the box ticked
  EXPECT_TRUE(master.fSelected);
  EXPECT_FALSE(MasterWarningActive);
  ASSERT_EQ(prompt.Questions.size(), 2u);
  EXPECT_EQ(prompt.Questions[0], "Are you sure you want to select master file?    ");
  EXPECT_EQ(prompt.CheckTexts[0], "Disable this warning for this result set    ");
  SetFileSelected(&master, false);
  SetFileSelected(&master, true);  // warning off: no question
  EXPECT_EQ(prompt.Questions.size(), 2u);
  SetFileProcessed(&master, true);
  EXPECT_TRUE(master.fProcessed);
  EXPECT_FALSE(master.fSelected);
  MasterWarningActive = false;
}

}  // namespace
}  // namespace pelcrow

namespace pelcrow {
namespace {

// The keyed sort puts every item, ties included, where the item comparer puts it: many equal
// keys, texts that share long prefixes or end inside the first eight bytes, bytes above 0x7F.
TEST(SortByColumnKeyTest, SameOrderAsTheItemComparer) {
  std::mt19937 rng(11);
  const char* const stems[] = {"", "a", "ab", "abcdefgh", "abcdefghi", "abcdefgh\xC3\xA9", "\xC3\xA9t\xC3\xA9", "Z"};
  std::vector<std::unique_ptr<TFileItem>> owned;
  std::vector<PFileItem> base;
  for (int k = 0; k < 3000; ++k) {
    auto it = std::make_unique<TFileItem>();
    it->Name = std::string(stems[rng() % 8]) + std::string(rng() % 3, 'x');
    it->Path = std::string("/p/") + stems[rng() % 8];
    it->DupGroup = rng() % 50;
    it->Size = static_cast<std::int64_t>(rng() % 40) - 5;
    it->Modified = TDateTime::FromUnix(static_cast<std::int64_t>(rng() % 30));
    base.push_back(it.get());
    owned.push_back(std::move(it));
  }
  for (int key : {0, 1, 2, 3, 4, 13, 20, 24}) {
    for (TColumnSortOrder order : {soAsc, soDesc}) {
      std::vector<PFileItem> expected = base;
      const TColumnComparer cmp(&expected, key, order);
      QuickSortItems(expected, [&cmp](PFileItem l, PFileItem r) { return cmp.Compare(l, r); });
      std::vector<PFileItem> got = base;
      ASSERT_TRUE(SortByColumnKey(got, key, order));
      EXPECT_EQ(got, expected) << "key " << key << " order " << int(order);
    }
  }
  std::vector<PFileItem> untouched = base;
  EXPECT_FALSE(SortByColumnKey(untouched, 5, soAsc));  // music tags go through the comparer
  EXPECT_EQ(untouched, base);
}

}  // namespace
}  // namespace pelcrow
