// The duplicate list file: exact bytes, round trips of every stored field and of awkward names,
// and files that must be refused without leaving a half-loaded list.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <map>

#include "TestUtil.h"
#include "base/FormatSettings.h"
#include "base/MainThread.h"
#include "engine/ListFile.h"
#include "engine/ListFileLoader.h"
#include "engine/ScanEngine.h"
#include "platform/FileSystem.h"

namespace pelcrow {
namespace {

using test::MakeItem;
using test::TRecordingView;
using test::TTempDir;

TDateTime Local(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) { return test::LocalTime(y, mo, d, h, mi, s); }

// Restores the format settings and the master warning a test changes.
class ListFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetFormatSettings(TFormatSettings());
    MasterWarningActive = false;
  }
  void TearDown() override {
    SetFormatSettings(TFormatSettings());
    MasterWarningActive = false;
  }
};

constexpr const char* kBom = "\xEF\xBB\xBF";

TEST_F(ListFileTest, WritesHeaderAndTwentyEightFieldsPerItem) {
  TScanEngine engine(cmCRC32, {});
  PFileItem a = MakeItem("/data/a", "x.txt", 1, 1234);
  a->Modified = Local(2024, 3, 5, 14, 7, 9);
  a->CRC32 = 4294967295u;
  a->ShortCRC32 = 17;
  a->fSelected = true;
  a->AudioTagValues = "tags";
  PFileItem b = MakeItem("/data/b", "x.txt", 1, 1234);
  b->Modified = Local(2024, 12, 31);  // midnight: the time is left out
  b->fProcessed = true;
  b->Master = true;
  b->SortGroup = 7;
  b->MusicTags = std::make_unique<TMusicTagsInfo>(TMusicTagsInfo{"T", "Ar", "Al", "3", "1999", "Rock", "3:05", "192"});
  PFileItem c = MakeItem("/mail", "m", 2, 10);
  c->Modified = Local(2024, 1, 2, 0, 0, 1);
  c->Emails = std::make_unique<TEmailInfo>();
  c->Emails->From = "f";
  c->Emails->To_ = "t";
  c->Emails->Subject = "s";
  c->Emails->ReceivedDate = Local(2023, 7, 8, 23, 59, 59);
  c->Emails->OutlookIndex = 42;
  c->Emails->Address1 = "a1";
  c->Emails->Address3 = "a3";
  engine.AddItem(a);
  engine.AddItem(b);
  engine.AddItem(c);
  EXPECT_EQ(engine.ListFileText(),
            std::string(kBom) +
                "[Version 1]\r\n"
                "x.txt[,]/data/a[,]tags[,]1234[,]4294967295[,]17[,]3/5/2024 2:07:09 PM[,]1[,]1[,]1[,]0[,]"
                "[,][,][,][,][,][,][,][,][,][,][,][,][,]0[,][,][,][,]\r\n"
                "x.txt[,]/data/b[,][,]1234[,]0[,]0[,]12/31/2024[,]1[,]7[,]0[,]1[,]"
                "T[,]Ar[,]Al[,]3[,]1999[,]Rock[,]3:05[,]192[,][,][,][,][,][,]1[,][,][,][,]\r\n"
                "m[,]/mail[,][,]10[,]0[,]0[,]1/2/2024 12:00:01 AM[,]2[,]2[,]0[,]0[,]"
                "[,][,][,][,][,][,][,][,]f[,]t[,]s[,]7/8/2023 11:59:59 PM[,]42[,]0[,]a1[,][,]a3[,]\r\n");
}

TEST_F(ListFileTest, EmptyListIsTheHeaderAloneAndLoadsEmpty) {
  TTempDir dir;
  TScanEngine engine(cmCRC32, {});
  const std::string file = dir / "empty.dup";
  engine.SaveToFile(file);
  EXPECT_EQ(test::ReadAll(file), std::string(kBom) + "[Version 1]\r\n");
  engine.AddItem(MakeItem("/p", "old", 1));
  TRecordingView view;
  view.Rows = 5;
  engine.LoadFromFile(&view, file);
  EXPECT_EQ(engine.RealItemCount(), 0);
  EXPECT_EQ(view.Rows, 0);
  EXPECT_EQ(engine.GridRowCount(), 0);
}

TEST_F(ListFileTest, EveryStoredFieldSurvivesSaveAndLoad) {
  TTempDir dir;
  TScanEngine engine(cmCRC32, {});
  PFileItem a = MakeItem("/d1", "song.mp3", 3, 5000000000LL);
  a->Modified = Local(2021, 6, 30, 9, 15, 0);
  a->CRC32 = 0xDEADBEEF;
  a->ShortCRC32 = 0x12345678;
  a->AudioTagValues = "artist title";
  a->fSelected = true;
  PFileItem b = MakeItem("/d2", "song.mp3", 3, 5000000000LL);
  b->Modified = Local(2021, 6, 30);
  b->fProcessed = true;
  b->Master = true;
  engine.AddItem(a);
  engine.AddItem(b);
  const std::string file = dir / "list.dup";
  engine.SaveToFile(file);

  TScanEngine loaded(cmCRC32, {});
  TRecordingView view;
  loaded.LoadFromFile(&view, file);
  ASSERT_EQ(loaded.ItemCount(), 2);
  EXPECT_EQ(view.Rows, 2);
  for (PFileItem want : {a, b}) {
    PFileItem got = loaded.Item(want == a ? 0 : 1);
    if (got->Path != want->Path) got = loaded.Item(want == a ? 1 : 0);
    SCOPED_TRACE(want->Path.str());
    EXPECT_EQ(got->Name, want->Name);
    EXPECT_EQ(got->Path, want->Path);
    EXPECT_EQ(got->AudioTagValues, want->AudioTagValues);
    EXPECT_EQ(got->Size, want->Size);
    EXPECT_EQ(got->CRC32, want->CRC32);
    EXPECT_EQ(got->ShortCRC32, want->ShortCRC32);
    EXPECT_EQ(got->Modified, want->Modified);
    EXPECT_EQ(got->DupGroup, want->DupGroup);
    EXPECT_EQ(got->fSelected, want->fSelected);
    EXPECT_EQ(got->fProcessed, want->fProcessed);
    EXPECT_EQ(got->Master, want->Master);
    EXPECT_EQ(got->Category, fcMusic);
    EXPECT_EQ(got->ActionType, kNoAction);
    EXPECT_EQ(got->ActionGroup, 0);
    EXPECT_FALSE(got->MusicTags);  // not the music mode
    EXPECT_FALSE(got->Emails);
  }
  EXPECT_EQ(loaded.SummaryInfo().TotalFiles, 2);
  EXPECT_EQ(loaded.SummaryInfo().DuplicateFiles, 1);
  EXPECT_EQ(loaded.SummaryInfo().DuplicateSize, 5000000000LL);
}

struct TNameCase {
  const char* Label;
  std::string Name, Path;
};

TEST_F(ListFileTest, AwkwardNamesAndPathsSurvive) {
  const std::vector<TNameCase> cases = {
      {"plain", "a.txt", "/home/ann"},
      {"scripts", "Привет 日本語 ελληνικά.txt", "/home/ann/مجلد"},
      {"separator", "a[,]b.txt", "/x[,]/y"},
      {"separator at the ends", "[,]", "/p/[,]"},
      {"escaped-looking runs", "a[,,]b[,,,]c[,n]d[,r]e[,,n]", "/q"},
      {"brackets", "[[,]]x[,", "/r[,[,]"},
      {"line breaks", "one\ntwo\r\nthree\r", "/s\n"},
      {"not UTF-8", "caf\xE9\xFF.txt", "/t/\xC3"},
      {"tab and quotes", "a\tb\"c'.txt", "/u"},
  };
  TTempDir dir;
  TScanEngine engine(cmCRC32, {});
  for (std::size_t k = 0; k < cases.size(); ++k)
    engine.AddItem(MakeItem(cases[k].Path, cases[k].Name, static_cast<std::uint32_t>(k + 1), 10));
  const std::string file = dir / "names.dup";
  engine.SaveToFile(file);
  TScanEngine loaded(cmCRC32, {});
  loaded.LoadFromFile(nullptr, file);
  ASSERT_EQ(loaded.ItemCount(), static_cast<int>(cases.size()));
  for (std::size_t k = 0; k < cases.size(); ++k) {
    SCOPED_TRACE(cases[k].Label);
    EXPECT_EQ(loaded.Item(static_cast<int>(k))->Name.str(), cases[k].Name);
    EXPECT_EQ(loaded.Item(static_cast<int>(k))->Path.str(), cases[k].Path);
  }
}

TEST_F(ListFileTest, EscapeLeavesOrdinaryValuesAloneAndReversesExactly) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"", ""},
      {"plain name.txt", "plain name.txt"},
      {"[draft] a,b.txt", "[draft] a,b.txt"},
      {"[,", "[,"},
      {"[,]", "[,,]"},
      {"[,,]", "[,,,]"},
      {"\n", "[,n]"},
      {"\r", "[,r]"},
      {"[,n]", "[,,n]"},
      {"[,x]", "[,x]"},
  };
  for (const auto& [raw, written] : cases) {
    EXPECT_EQ(EscapeListField(raw), written) << raw;
    EXPECT_EQ(UnescapeListField(written), raw) << written;
    EXPECT_EQ(EscapeListField(raw).find("[,]"), std::string::npos) << raw;
  }
}

TEST_F(ListFileTest, LoadSortsByGroupAndTakesTheMasterWarningFromTheMasterMode) {
  TTempDir dir;
  const std::string file = dir.Write(
      "groups.dup", std::string(kBom) +
                        "[Version 1]\r\n"
                        "b[,]/p[,][,]1[,]0[,]0[,]1/1/2020[,]2[,]0[,]0[,]0[,][,][,][,][,][,][,][,][,][,][,][,][,][,]0[,][,][,][,]\r\n"
                        "a[,]/p[,][,]1[,]0[,]0[,]1/1/2020[,]1[,]0[,]0[,]0[,][,][,][,][,][,][,][,][,][,][,][,][,][,]1[,][,][,][,]\r\n"
                        "c[,]/q[,][,]1[,]0[,]0[,]1/1/2020[,]2[,]0[,]0[,]0[,][,][,][,][,][,][,][,][,][,][,][,][,][,]0[,][,][,][,]\r\n"
                        "d[,]/q[,][,]1[,]0[,]0[,]1/1/2020[,]1[,]0[,]0[,]0[,][,][,][,][,][,][,][,][,][,][,][,][,][,]0[,][,][,][,]\r\n");
  for (bool masterMode : {false, true}) {
    TScanEngine engine(cmCRC32, {});
    TRecordingView view;
    engine.LoadFromFile(&view, file, masterMode);
    ASSERT_EQ(engine.ItemCount(), 4);
    EXPECT_EQ(engine.Item(0)->DupGroup, 1u);
    EXPECT_EQ(engine.Item(1)->DupGroup, 1u);
    EXPECT_EQ(engine.Item(2)->DupGroup, 2u);
    EXPECT_EQ(engine.LastSortColumn(), 2);
    EXPECT_EQ(view.Rows, 4);
    EXPECT_EQ(MasterWarningActive.load(), masterMode);
  }
}

TEST_F(ListFileTest, ASelectedMasterLoadsWithoutAQuestion) {
  // The check mark is read before the master mark, so the master-file confirmation never asks.
  test::TScriptedPrompt prompt;
  MasterWarningActive = true;
  TTempDir dir;
  const std::string file =
      dir.Write("m.dup", "[Version 1]\r\n" + std::string("a[,]/p[,][,]1[,]0[,]0[,]1/1/2020[,]1[,]1[,]1[,]0[,]") +
                             "[,][,][,][,][,][,][,][,][,][,][,][,][,]1[,][,][,][,]\r\n");
  TScanEngine engine(cmCRC32, {});
  engine.LoadFromFile(nullptr, file);
  ASSERT_EQ(engine.ItemCount(), 1);
  EXPECT_TRUE(engine.Item(0)->fSelected);
  EXPECT_TRUE(engine.Item(0)->Master);
  EXPECT_TRUE(prompt.Questions.empty());
}

TEST_F(ListFileTest, MusicTagsAreKeptOnlyInTheMusicMode) {
  TTempDir dir;
  TScanEngine engine(cmMusicTags, {});
  PFileItem a = MakeItem("/m", "a.mp3", 1, 10);
  a->MusicTags = std::make_unique<TMusicTagsInfo>(TMusicTagsInfo{"T", "Ar", "Al", "3", "1999", "Rock", "3:05", "192"});
  engine.AddItem(a);
  const std::string file = dir / "music.dup";
  engine.SaveToFile(file);
  for (std::uint8_t mode : {cmMusicTags, cmCRC32}) {
    TScanEngine loaded(mode, {});
    loaded.LoadFromFile(nullptr, file);
    ASSERT_EQ(loaded.ItemCount(), 1);
    if (mode == cmMusicTags) {
      ASSERT_TRUE(loaded.Item(0)->MusicTags);
      EXPECT_EQ(loaded.Item(0)->MusicTags->Genre, "Rock");
      EXPECT_EQ(loaded.Item(0)->MusicTags->BitRate, "192");
    } else {
      EXPECT_FALSE(loaded.Item(0)->MusicTags);
    }
  }
}

TEST_F(ListFileTest, ItemsHiddenByACategoryAreNotSavedAndSingletonsStay) {
  TTempDir dir;
  TScanEngine engine(cmCRC32, {});
  engine.AddItem(MakeItem("/p", "a.jpg", 1, 10));
  engine.AddItem(MakeItem("/q", "a.txt", 1, 10));
  engine.SetCategoryFilter(fcPictures, false, false);
  const std::string file = dir / "part.dup";
  engine.SaveToFile(file);
  TScanEngine loaded(cmCRC32, {});
  loaded.LoadFromFile(nullptr, file);
  ASSERT_EQ(loaded.ItemCount(), 1);
  EXPECT_EQ(loaded.Item(0)->Name, "a.jpg");
}

TEST_F(ListFileTest, DatesFollowTheLocaleFormats) {
  TFormatSettings german;
  german.ShortDateFormat = "dd.mm.yyyy";
  german.LongTimeFormat = "hh:nn:ss";
  TTempDir dir;
  TScanEngine engine(cmCRC32, {});
  PFileItem a = MakeItem("/p", "a", 1, 1);
  a->Modified = Local(2024, 11, 9, 17, 3, 4);
  engine.AddItem(a);
  SetFormatSettings(german);
  const std::string file = dir / "de.dup";
  engine.SaveToFile(file);
  EXPECT_NE(test::ReadAll(file).find("[,]09.11.2024 17:03:04[,]"), std::string::npos);
  TScanEngine loaded(cmCRC32, {});
  loaded.LoadFromFile(nullptr, file);
  ASSERT_EQ(loaded.ItemCount(), 1);
  EXPECT_EQ(loaded.Item(0)->Modified, a->Modified);
  // The same file under the English formats: "09.11.2024" is no M/d/yyyy date.
  SetFormatSettings(TFormatSettings());
  EXPECT_THROW(loaded.LoadFromFile(nullptr, file), EListFileError);
  EXPECT_EQ(loaded.RealItemCount(), 0);
}

// A valid line with the given fields replaced.
std::string Line(std::map<int, std::string> replace = {}) {
  std::string line;
  for (int f = 1; f <= kListFieldCount; ++f) {
    std::string v;
    if (f == 1) v = "a.txt";
    if (f == 2) v = "/p";
    if (f == 4 || f == 5 || f == 6 || f == 8 || f == 9 || f == 10 || f == 11 || f == 25) v = "1";
    if (f == 7) v = "1/2/2020 3:04:05 PM";
    if (auto it = replace.find(f); it != replace.end()) v = it->second;
    line += v + "[,]";
  }
  return line;
}

struct TBadFileCase {
  const char* Label;
  std::string Bytes;
};

TEST_F(ListFileTest, MalformedFilesLeaveNoResults) {
  const std::string head = std::string(kBom) + "[Version 1]\r\n";
  const std::string good = Line() + "\r\n";
  const std::vector<TBadFileCase> cases = {
      {"wrong header", std::string(kBom) + "[Version 2]\r\n" + good},
      {"header with a blank", std::string(kBom) + "[Version 1] \r\n" + good},
      {"no header", good},
      {"truncated line", head + good + good.substr(0, 40)},
      {"short line", head + good + "a.txt[,]/p[,][,]1[,]\r\n"},
      {"field 27 missing", head + Line().substr(0, Line().size() - 3) + "\r\n"},
      {"size not a number", head + good + Line({{4, "12x"}}) + "\r\n"},
      {"size empty", head + Line({{4, ""}}) + "\r\n"},
      {"size beyond 64 bits", head + Line({{4, "99999999999999999999"}}) + "\r\n"},
      {"group beyond 32 bits", head + Line({{8, "4294967296"}}) + "\r\n"},
      {"flag not a number", head + Line({{10, "yes"}}) + "\r\n"},
      {"master not a number", head + Line({{25, "x"}}) + "\r\n"},
      {"date garbage", head + Line({{7, "yesterday"}}) + "\r\n"},
      {"date that does not exist", head + Line({{7, "2/30/2020"}}) + "\r\n"},
      {"time out of range", head + Line({{7, "1/2/2020 13:04:05 PM"}}) + "\r\n"},
      {"date with trailing text", head + Line({{7, "1/2/2020 3:04:05 PM x"}}) + "\r\n"},
      {"text field moved by a raw separator", head + Line({{1, "a[,]b"}}) + "\r\n"},
      {"binary garbage", std::string("\x00\x01\xFF\xFE\x80[,]\x00", 9)},
      {"utf-16 with a wrong header", std::string("\xFF\xFE[\0V\0", 6)},
  };
  TTempDir dir;
  for (const TBadFileCase& c : cases) {
    SCOPED_TRACE(c.Label);
    const std::string file = dir.Write("bad.dup", c.Bytes);
    TScanEngine engine(cmCRC32, {});
    engine.AddItem(MakeItem("/old", "old.txt", 1));
    engine.FilesHiddenByFilter().push_back(MakeItem("/old", "hidden.txt", 1));
    TRecordingView view;
    view.Rows = 2;
    EXPECT_THROW(engine.LoadFromFile(&view, file), EListFileError);
    EXPECT_EQ(engine.RealItemCount(), 0);
    EXPECT_EQ(view.Rows, 0);
    EXPECT_EQ(engine.SummaryInfo(), TScanEngineSummaryInfo{});
  }
  TScanEngine engine(cmCRC32, {});
  EXPECT_THROW(engine.LoadFromFile(nullptr, dir / "missing.dup"), EListFileError);
  EXPECT_THROW(engine.LoadFromFile(nullptr, dir.path()), EListFileError);
}

TEST_F(ListFileTest, TolerableVariantsLoad) {
  const std::string good = Line();
  const std::vector<TBadFileCase> cases = {
      {"no byte-order mark", "[Version 1]\r\n" + good + "\r\n"},
      {"LF line ends, no final break", "[Version 1]\n" + good + "\n" + good},
      {"blank lines", "[Version 1]\r\n\r\n" + good + "\r\n\r\n"},
      {"text after the last field", "[Version 1]\r\n" + good + "later\r\n"},
      {"date without time", "[Version 1]\r\n" + Line({{7, "1/2/2020"}}) + "\r\n"},
      {"24-hour time", "[Version 1]\r\n" + Line({{7, "1/2/2020 15:04:05"}}) + "\r\n"},
      {"signed numbers", "[Version 1]\r\n" + Line({{5, "-1"}, {8, "+1"}}) + "\r\n"},
  };
  TTempDir dir;
  for (const TBadFileCase& c : cases) {
    SCOPED_TRACE(c.Label);
    const std::string file = dir.Write("ok.dup", c.Bytes);
    TScanEngine engine(cmCRC32, {});
    ASSERT_NO_THROW(engine.LoadFromFile(nullptr, file));
    EXPECT_GE(engine.ItemCount(), 1);
    EXPECT_EQ(engine.Item(0)->Name, "a.txt");
  }
  // A UTF-16 file (the mark selects the encoding).
  std::string utf16 = "\xFF\xFE";
  for (char ch : "[Version 1]\r\n" + good + "\r\n") {
    utf16 += ch;
    utf16 += '\0';
  }
  TScanEngine engine(cmCRC32, {});
  ASSERT_NO_THROW(engine.LoadFromFile(nullptr, dir.Write("utf16.dup", utf16)));
  EXPECT_EQ(engine.ItemCount(), 1);
}

TEST_F(ListFileTest, SaveReplacesTheFileWholeOrNotAtAll) {
  TTempDir dir;
  TScanEngine engine(cmCRC32, {});
  engine.AddItem(MakeItem("/p", "a", 1));
  const std::string file = dir.Write("list.dup", "old contents");
  engine.SaveToFile(file);
  EXPECT_EQ(test::ReadAll(file), engine.ListFileText());
  EXPECT_EQ(test::FolderEntries(dir.path()), std::vector<std::string>{"list.dup"});
  // A folder in the way: the save fails and says so.
  const std::string blocker = dir.Write("blocker", "a file");
  EXPECT_THROW(engine.SaveToFile(blocker + "/list.dup"), EListFileError);
  EXPECT_EQ(test::ReadAll(blocker), "a file");
  EXPECT_EQ(test::FolderEntries(dir.path()), (std::vector<std::string>{"blocker", "list.dup"}));
}

// The loader's hand-overs reach this thread through a queue the test drives.
class ListFileLoaderTest : public ListFileTest {
 protected:
  void SetUp() override {
    ListFileTest::SetUp();
    SetMainThread(&fMain);
  }
  void TearDown() override {
    SetMainThread(nullptr);
    ListFileTest::TearDown();
  }
  // A list of many groups of two, so that a load takes a while.
  static std::string BigList(int rows) {
    std::string text = std::string(kBom) + "[Version 1]\r\n";
    for (int k = 0; k < rows; ++k)
      text += Line({{1, "f" + std::to_string(k) + ".jpg"}, {2, "/d" + std::to_string(k % 97)}, {8, std::to_string(rows - k / 2)}}) +
              "\r\n";
    return text;
  }
  TQueueMainThread fMain;
};

TEST_F(ListFileLoaderTest, ReadsOnAWorkerWhatTheEngineWouldHaveRead) {
  TTempDir dir;
  const std::string file = dir.Write("big.dup", BigList(20000));
  TScanEngine direct(cmCRC32, {});
  direct.LoadFromFile(nullptr, file);

  TListFileLoader loader;
  std::vector<int> reports;
  bool done = false;
  TScanEngine engine(cmCRC32, {});
  engine.AddItem(MakeItem("/old", "old.txt", 1));
  engine.FilesHiddenByCategory().push_back(MakeItem("/old", "hidden.txt", 1));
  TRecordingView view;
  std::vector<PFileItem> previous;
  loader.OnProgress = [&](int percent) { reports.push_back(percent); };
  loader.OnDone = [&](TListFileLoader::TResult& r) {
    ASSERT_TRUE(r.Loaded) << r.LogText;
    // Nothing of the engine changed while the list was read.
    EXPECT_EQ(engine.RealItemCount(), 2);
    engine.TakeList(&view, std::move(r.List), true, &previous);
    done = true;
  };
  ASSERT_TRUE(loader.Start(file, {cmCRC32, GetFormatSettings()}));
  EXPECT_TRUE(loader.Running());
  EXPECT_FALSE(loader.Start(file, {cmCRC32, GetFormatSettings()}));
  fMain.RunUntil([&] { return done; });
  EXPECT_FALSE(loader.Running());
  EXPECT_EQ(engine.ListFileText(), direct.ListFileText());
  EXPECT_EQ(engine.SummaryInfo(), direct.SummaryInfo());
  EXPECT_EQ(engine.LastSortColumn(), direct.LastSortColumn());
  EXPECT_EQ(view.Rows, 20000);
  EXPECT_TRUE(engine.MasterSelectMode());
  // The files of one folder share its text.
  std::map<std::string, PFileItem> firstOfFolder;
  for (int k = 0; k < engine.ItemCount(); ++k) {
    const PFileItem it = engine.Item(k);
    const auto [at, added] = firstOfFolder.emplace(it->Path.str(), it);
    if (!added) {
      ASSERT_TRUE(it->Path.SharesBufferWith(at->second->Path)) << k;
    }
  }
  EXPECT_EQ(firstOfFolder.size(), 97u);
  // The replaced items, hidden ones included, were handed back to be freed elsewhere.
  ASSERT_EQ(previous.size(), 2u);
  loader.Discard(std::move(previous));
  ASSERT_FALSE(reports.empty());
  EXPECT_TRUE(std::is_sorted(reports.begin(), reports.end()));
  EXPECT_EQ(reports.back(), 100);
}

TEST_F(ListFileLoaderTest, SaysWhyAFileDidNotLoad) {
  struct TCase {
    const char* Label;
    std::string Bytes;  // empty: the path is a folder
    TListFileFault Fault;
    std::size_t Line;
    int Field;
    std::string Detail;
  };
  const std::string head = std::string(kBom) + "[Version 1]\r\n";
  const std::vector<TCase> cases = {
      {"not a list", "a shopping list\r\n", TListFileFault::lfNotAList, 0, 0, ""},
      {"size not a number", head + Line() + "\r\n" + Line({{4, "12x"}}) + "\r\n", TListFileFault::lfBadLine, 3, 4,
       kListNotANumber},
      {"a blank line still counts", head + "\r\n" + Line({{7, "yesterday"}}) + "\r\n", TListFileFault::lfBadLine, 3, 7,
       kListNotADate},
      {"group beyond 32 bits", head + Line({{8, "4294967296"}}) + "\r\n", TListFileFault::lfBadLine, 2, 8,
       kListNumberOutOfRange},
      {"short line", head + "a.txt[,]/p[,]\r\n", TListFileFault::lfBadLine, 2, 3, kListTooFewFields},
      {"a folder", "", TListFileFault::lfUnreadable, 0, 0, platform::ErrorText(EISDIR)},
  };
  TTempDir dir;
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Label);
    const std::string file = c.Bytes.empty() ? dir.path() : dir.Write("bad.dup", c.Bytes);
    TListFileLoader loader;
    bool done = false;
    TListFileLoader::TResult got;
    loader.OnDone = [&](TListFileLoader::TResult& r) {
      got.Loaded = r.Loaded;
      got.Fault = r.Fault;
      got.Line = r.Line;
      got.Field = r.Field;
      got.Detail = r.Detail;
      got.List = std::move(r.List);
      done = true;
    };
    ASSERT_TRUE(loader.Start(file, {cmCRC32, GetFormatSettings()}));
    fMain.RunUntil([&] { return done; });
    EXPECT_FALSE(got.Loaded);
    EXPECT_EQ(got.Fault, c.Fault);
    EXPECT_EQ(got.Line, c.Line);
    EXPECT_EQ(got.Field, c.Field);
    EXPECT_EQ(got.Detail, c.Detail);
    EXPECT_TRUE(got.List.Items.empty());
  }
}

TEST_F(ListFileLoaderTest, ACancelledLoadReportsNothingAndTheNextOneLoads) {
  TTempDir dir;
  const std::string file = dir.Write("big.dup", BigList(50000));
  int dones = 0;
  int loadedRows = 0;
  {
    TListFileLoader loader;
    loader.OnDone = [&](TListFileLoader::TResult& r) {
      ++dones;
      loadedRows = static_cast<int>(r.List.Items.size());
    };
    ASSERT_TRUE(loader.Start(file, {cmCRC32, GetFormatSettings()}));
    loader.Cancel();
    EXPECT_FALSE(loader.Running());
    // A load started after the cancel is the one that reports.
    ASSERT_TRUE(loader.Start(file, {cmCRC32, GetFormatSettings()}));
    fMain.RunUntil([&] { return dones > 0; });
    EXPECT_EQ(loadedRows, 50000);
    // Cancelled when its worker is all but done: the end it queued is dropped.
    bool cancelled = false;
    loader.OnProgress = [&](int percent) {
      if (percent < 100) return;
      loader.Cancel();
      cancelled = true;
    };
    ASSERT_TRUE(loader.Start(file, {cmCRC32, GetFormatSettings()}));
    fMain.RunUntil([&] { return cancelled; });
    // Gone while a load runs: nothing is reported afterwards.
    ASSERT_TRUE(loader.Start(file, {cmCRC32, GetFormatSettings()}));
  }
  fMain.ProcessEvents();
  EXPECT_EQ(dones, 1);
}

TEST_F(ListFileTest, DefaultFileNameCarriesTheLocalTime) {
  EXPECT_EQ(DefaultListFileName(Local(2025, 1, 2, 3, 4, 5)), "DupFiles20250102-030405.dup");
}

}  // namespace
}  // namespace pelcrow
