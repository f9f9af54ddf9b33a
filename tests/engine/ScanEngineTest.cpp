// The engine object: lists and properties, progress, the worker's lifecycle, master groups.
#include <gtest/gtest.h>

#include "TestUtil.h"

namespace pelcrow {
namespace {

using test::GroupSet;
using test::Groups;
using test::RunScan;
using test::TTempDir;
using Set = std::set<std::set<std::string>>;

struct TMaskCase {
  const char* Text;
  std::vector<std::string> Masks;
  const char* ReadBack;
};
void PrintTo(const TMaskCase& c, std::ostream* os) { *os << '"' << c.Text << '"'; }

class MaskPropertyTest : public ::testing::TestWithParam<TMaskCase> {};

TEST_P(MaskPropertyTest, SplitsAndJoins) {
  TScanEngine engine(cmCRC32, {});
  engine.SetIncludeFileMasks(GetParam().Text);
  EXPECT_EQ(engine.IncludeFileMaskList(), GetParam().Masks);
  EXPECT_EQ(engine.GetIncludeFileMasks(), GetParam().ReadBack);
  engine.SetExcludeFileMasks(GetParam().Text);
  EXPECT_EQ(engine.ExcludeFileMaskList(), GetParam().Masks);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, MaskPropertyTest,
    ::testing::Values(TMaskCase{"  *.jpg ; *.png  ", {"*.jpg", "*.png"}, "*.jpg;*.png"},
                      TMaskCase{"*.jpg *.png", {"*.jpg", "*.png"}, "*.jpg;*.png"},
                      TMaskCase{"*.jpg;;*.png", {"*.jpg", "", "*.png"}, "*.jpg;;*.png"},
                      TMaskCase{"*.jpg;", {"*.jpg", ""}, "*.jpg;"},
                      TMaskCase{"", {}, ""},
                      TMaskCase{"a\tb", {"a", "b"}, "a;b"}),
    [](const auto& p) { return "Case" + std::to_string(p.index); });

TEST(ScanEngineTest, ContractErrorsCarryTheirTexts) {
  TScanEngine engine(cmCRC32, {});
  try {
    engine.Item(0);
    FAIL();
  } catch (const EScanEngineError& e) {
    EXPECT_STREQ(e.what(), "TScanEngine.Item: Invalid item index specified.");
  }
  try {
    engine.SetCompareMode(kLastComparisonMode + 1, {});
    FAIL();
  } catch (const EScanEngineError& e) {
    EXPECT_STREQ(e.what(), "Invalid Comparison Mode specified");
  }
  EXPECT_EQ(engine.FileComparer(), nullptr);  // left without a comparer
  engine.SetCompareMode(cmEmails, {});
  EXPECT_EQ(engine.FileComparer(), nullptr);
  engine.SetCompareMode(cmByteByByte, {coFileName});
  ASSERT_NE(engine.FileComparer(), nullptr);
  EXPECT_TRUE(engine.FileComparer()->CompareOptions().Contains(coFileName));
  EXPECT_FALSE(engine.CheckRow(5));
  EXPECT_FALSE(engine.CheckProcessed(-1));
}

TEST(ScanEngineTest, PathPropertiesCopyTheirValue) {
  TScanEngine engine(cmCRC32, {});
  std::vector<std::string> p = {"/a", "/b"};
  engine.SetIncludeFilePaths(&p);
  engine.SetExcludeFilePaths(&p);
  engine.SetMasterFilePaths(&p);
  p.push_back("/c");
  EXPECT_EQ(engine.GetIncludeFilePaths().size(), 2u);
  engine.SetMasterFilePaths(nullptr);
  EXPECT_TRUE(engine.GetMasterFilePaths().empty());
}

struct TPercentCase {
  std::int64_t Current, Total;
  int Percent;
};

TEST(ScanEngineTest, PercentKeepsTheLowEightBits) {
  TScanEngine engine(cmCRC32, {});
  for (TPercentCase c : {TPercentCase{0, 0, 0}, TPercentCase{50, 100, 50}, TPercentCase{300, 100, 44},
                         TPercentCase{5, -1, 0}}) {
    {
      std::lock_guard<std::mutex> g(ScanEngineLock);
      ScanEngineProgress.Current = c.Current;
      ScanEngineProgress.Total = c.Total;
      ScanEngineProgress.Scanned = (std::int64_t{1} << 32) + 7;
      ScanEngineProgress.Path = "here";
    }
    TScanEngineStatusInfo info;
    engine.GetCurrentProgress(info);
    EXPECT_EQ(info.PercentComplete, c.Percent) << c.Current << "/" << c.Total;
    EXPECT_EQ(info.FilesScanned, 7);
    EXPECT_EQ(info.Path, "here");
  }
  engine.ResetProgress();
  TScanEngineStatusInfo info;
  engine.GetCurrentProgress(info);
  EXPECT_EQ(info.EngineStatus, esScanning);
  EXPECT_TRUE(info.Path.empty());
}

TEST(ScanEngineTest, ScanWithoutCandidatesCountsExaminedFiles) {
  TTempDir dir;
  dir.Write("only.txt", "x");
  dir.Write("empty.txt", "");
  TScanEngine engine(cmCRC32, {});
  TScanEngineSummaryInfo finished;
  int calls = 0;
  RunScan(engine, {dir.path()});
  EXPECT_EQ(engine.ItemCount(), 0);
  EXPECT_EQ(engine.SummaryInfo().TotalFiles, 2);
  EXPECT_FALSE(engine.ScanThreadExecuting());
  // The finish event carries the statistics.
  TQueueMainThread loop;
  SetMainThread(&loop);
  engine.OnFinishedScan = [&](const TScanEngineSummaryInfo& s) {
    finished = s;
    ++calls;
  };
  engine.BuildFileList(nullptr, test::TestScanSettings());
  loop.RunUntil([&] { return calls > 0; });
  SetMainThread(nullptr);
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(finished.TotalFiles, 2);
}

TEST(ScanEngineTest, StopEndsTheWorkerAndStillReportsTheEnd) {
  TTempDir dir;
  for (int i = 0; i < 300; ++i) dir.Write("d" + std::to_string(i % 30) + "/f" + std::to_string(i), "same");
  TScanEngine engine(cmCRC32, {});
  engine.Stop();  // no scan: nothing happens
  EXPECT_FALSE(engine.ScanThreadExecuting());
  TQueueMainThread loop;
  SetMainThread(&loop);
  int calls = 0;
  engine.OnFinishedScan = [&](const TScanEngineSummaryInfo&) { ++calls; };
  std::vector<std::string> inc = {dir.path()};
  engine.SetIncludeFilePaths(&inc);
  engine.SetIncludeFileMasks("*.*");
  engine.BuildFileList(nullptr, test::TestScanSettings());
  EXPECT_TRUE(engine.ScanThreadExecuting());
  EXPECT_THROW(engine.SetIncludeFileMasks("*.x"), EScanEngineError);
  EXPECT_THROW(engine.SetIncludeFilePaths(&inc), EScanEngineError);
  engine.Stop();
  loop.RunUntil([&] { return calls > 0; });
  SetMainThread(nullptr);
  EXPECT_EQ(calls, 1);
  EXPECT_FALSE(engine.ScanThreadExecuting());
  engine.ClearResults();  // what the window does after a stop
  EXPECT_EQ(engine.ItemCount(), 0);
}

TEST(ScanEngineTest, DestroyingDuringAScanWaitsForTheWorker) {
  TTempDir dir;
  for (int i = 0; i < 200; ++i) dir.Write("f" + std::to_string(i), std::string(1000, static_cast<char>(i % 3)));
  TQueueMainThread loop;
  SetMainThread(&loop);
  {
    TScanEngine engine(cmCRC32, {});
    std::vector<std::string> inc = {dir.path()};
    engine.SetIncludeFilePaths(&inc);
    engine.SetIncludeFileMasks("*.*");
    engine.BuildFileList(nullptr, test::TestScanSettings());
  }
  loop.ProcessEvents();  // the queued end hand-over finds the engine gone
  SetMainThread(nullptr);
}

TEST(ScanEngineTest, MasterModeKeepsOnlyMixedGroups) {
  TTempDir dir;
  dir.Write("master/only1", "master only");
  dir.Write("master/only2", "master only");
  dir.Write("other/none1", "no master here");
  dir.Write("other/none2", "no master here");
  dir.Write("master/mixed", "mixed group");
  dir.Write("other/mixed", "mixed group");
  dir.Write("other/mixed2", "mixed group");
  TScanSettings options = test::TestScanSettings();
  options.MasterSelectMode = true;
  TScanEngine engine(cmCRC32, {});
  std::vector<std::string> masters = {dir / "master"};
  engine.SetMasterFilePaths(&masters);
  RunScan(engine, {dir / "master", dir / "other"}, options);
  auto groups = Groups(engine, dir.path());
  ASSERT_EQ(groups.size(), 1u);
  EXPECT_EQ(groups[0].front(), "master/mixed");  // the master comes first
  EXPECT_EQ(GroupSet(groups), (Set{{"master/mixed", "other/mixed", "other/mixed2"}}));
  EXPECT_TRUE(engine.Item(0)->Master);
  for (int i = 0; i < engine.ItemCount(); ++i) EXPECT_FALSE(engine.Item(i)->fProcessed);
  EXPECT_TRUE(MasterWarningActive);
}

TEST(ScanEngineTest, DefaultOptionsSkipEmptyAndHiddenFilesAndHonourSizeLimits) {
  TTempDir dir;
  dir.Write("a", "");
  dir.Write("b", "");
  dir.Write(".hidden1", "h");
  dir.Write(".hidden2", "h");
  dir.Write(".git/x", "g");
  dir.Write("y/x", "g");
  dir.Write("big1", std::string(100, 'b'));
  dir.Write("big2", std::string(100, 'b'));
  TScanEngine engine(cmCRC32, {});
  engine.FileSizeMax = 50;
  RunScan(engine, {dir.path()});
  EXPECT_EQ(engine.ItemCount(), 0);
  engine.FileSizeMax = 0;
  TPcwScanOptions all = test::TestScanOptions();
  all.Exclude(soSkipZero).Include(soIncludeHidden);
  RunScan(engine, {dir.path()}, all);
  EXPECT_EQ(GroupSet(Groups(engine, dir.path())),
            (Set{{"a", "b"}, {".hidden1", ".hidden2"}, {".git/x", "y/x"}, {"big1", "big2"}}));
}

TEST(ScanEngineTest, ExcludeContainerScansOnlySubfolders) {
  TTempDir dir;
  dir.Write("top1", "same");
  dir.Write("top2", "same");
  dir.Write("sub/s1", "same");
  dir.Write("sub/s2", "same");
  TScanEngine engine(cmCRC32, {});
  TPcwScanOptions options = test::TestScanOptions();
  RunScan(engine, {dir.path()}, TPcwScanOptions(options).Include(soExcludeContainer));
  EXPECT_EQ(GroupSet(Groups(engine, dir.path())), (Set{{"sub/s1", "sub/s2"}}));
  RunScan(engine, {dir.path()}, TPcwScanOptions(options).Exclude(soScanSubdirs));
  EXPECT_EQ(GroupSet(Groups(engine, dir.path())), (Set{{"top1", "top2"}}));
}

TEST(ScanEngineTest, SymbolicLinksAreNotFollowed) {
  TTempDir dir;
  dir.Write("real/f", "content");
  ASSERT_EQ(::symlink((dir / "real").c_str(), (dir / "loop").c_str()), 0);
  ASSERT_EQ(::symlink((dir / "real/f").c_str(), (dir / "flink").c_str()), 0);
  TScanEngine engine(cmCRC32, {});
  RunScan(engine, {dir.path()});
  EXPECT_EQ(engine.ItemCount(), 0);
}

TEST(ScanEngineTest, SummaryCountsFirstItemOfEachGroupAsOriginal) {
  TScanEngine engine(cmCRC32, {});
  for (auto [group, size] : std::vector<std::pair<std::uint32_t, std::int64_t>>{{1, 10}, {1, 10}, {2, 5}, {2, 5}, {2, 5}}) {
    auto* it = new TFileItem;
    it->DupGroup = group;
    it->Size = size;
    engine.AddItem(it);
  }
  engine.UpdateSummaryInfo();
  TScanEngineSummaryInfo expected{0, 2, 15, 3, 20};
  EXPECT_EQ(engine.SummaryInfo(), expected);
  EXPECT_EQ(engine.RealItemCount(), 5);
  std::vector<std::string> paths;
  engine.FillPathList(paths);
  EXPECT_EQ(paths.size(), 5u);
  engine.ClearResults();
  EXPECT_EQ(engine.ItemCount(), 0);
  EXPECT_EQ(engine.SummaryInfo(), TScanEngineSummaryInfo{});
}

// The change time and the undo record's handle (16 bytes) are what processing needs to check a
// kept copy and to undo after a restart.
TEST(ScanEngineTest, ItemsStaySmall) { EXPECT_LE(sizeof(TFileItem), 168u); }

struct TCategoryCase {
  const char* Name;
  TFilterCategory Category;
};

TEST(ScanEngineTest, DetectCategoryByExtension) {
  for (TCategoryCase c : {TCategoryCase{"song.mp3", fcMusic}, {"clip.MP2", fcMusic}, {"raw.raw", fcMusic},
                          {"a.tar.gz", fcArchives}, {"doc.Docx", fcDocuments}, {"x.jpeg", fcPictures},
                          {"m.mkv", fcVideo}, {"README", fcOther}, {"a.", fcOther}, {"a.b;c", fcOther}})
    EXPECT_EQ(TScanEngine::DetectCategory(c.Name), c.Category) << c.Name;
}

TEST(ScanEngineTest, DeleteExtendedPrefix) {
  EXPECT_EQ(DeleteExtendedPrefix("\\\\?\\C:\\x"), "C:\\x");
  EXPECT_EQ(DeleteExtendedPrefix("\\\\?\\UNC\\srv\\s"), "\\\\srv\\s");
  EXPECT_EQ(DeleteExtendedPrefix("/home/ann"), "/home/ann");
}

}  // namespace
}  // namespace pelcrow
