// Similar names: the words a name is compared by, the measure, the grouping through the index,
// and a name-mode scan with the option on.
#include "engine/SimilarNames.h"

#include <string>
#include <vector>

#include "TestUtil.h"

namespace pelcrow {
namespace {

TEST(SimilarNamesTest, KeysDropCaseMarksAndOrder) {
  const std::pair<const char*, const char*> cases[] = {
      {"Rhapsody (Remastered).mp3", "RHAPSODY"},
      {"Rapsody.mp3", "RAPSODY"},
      {"report - Copy.txt", "REPORT"},
      {"report - Copy (2).txt", "REPORT"},
      {"Copy of report.txt", "REPORT"},
      {"report Kopie 3.txt", "REPORT"},
      {"report (1).txt", "REPORT"},
      {"report [12].txt", "REPORT"},
      {"Holiday_2019-07.jpg", "07 2019 HOLIDAY"},   // a bare number is a word
      {"2019 Holiday 07.jpg", "07 2019 HOLIDAY"},   // the order of the words does not count
      {"noir – Café.flac", "CAFÉ NOIR"},            // the dash separates; letters fold to upper case
      {"Copy (2).txt", "2 COPY"},                   // nothing but marks: they stay
      {".bashrc", ""},
  };
  for (const auto& [name, key] : cases) EXPECT_EQ(SimilarNameKey(name), key) << name;
}

TEST(SimilarNamesTest, SimilarityIsEditDistanceOverTheLongerKey) {
  EXPECT_EQ(KeySimilarity("RHAPSODY", "RHAPSODY"), 100);
  EXPECT_EQ(KeySimilarity("RHAPSODY", "RAPSODY"), 87);  // one of eight letters
  EXPECT_EQ(KeySimilarity("ÄBC", "ABC"), 66);           // code points, not bytes
  EXPECT_EQ(KeySimilarity("ABC", "XYZ"), 0);
  EXPECT_EQ(KeySimilarity("", ""), 100);
}

TEST(SimilarNamesTest, GroupsChainThroughTheIndexAndKeepOthersApart) {
  const std::vector<std::string> keys = {
      SimilarNameKey("Rhapsody (Remastered).mp3"),  // 0
      SimilarNameKey("Rapsody.mp3"),                // 1: a slip at the start
      SimilarNameKey("Yesterday.mp3"),              // 2
      SimilarNameKey("Yesterdy.mp3"),               // 3: a slip at the end
      SimilarNameKey("Something.mp3"),              // 4
      SimilarNameKey("Rhapsody - Copy.mp3"),        // 5: equal key to 0
  };
  const std::vector<std::size_t> g = GroupSimilarKeys(keys, 80);
  EXPECT_EQ(g, (std::vector<std::size_t>{0, 0, 2, 2, 4, 0}));
  // Stricter than the slips: only the equal keys meet.
  EXPECT_EQ(GroupSimilarKeys(keys, 95), (std::vector<std::size_t>{0, 1, 2, 3, 4, 0}));
}

TEST(SimilarNamesTest, CommonWordsMakeNoCandidatesAlone) {
  // Every name shares "TRACK": that bucket is past the limit, yet the names that are alike still
  // meet through their other words.
  std::vector<std::string> keys;
  for (std::size_t i = 0; i < kSimilarBucketLimit + 10; ++i) keys.push_back("TRACK W" + std::to_string(100000 + i));
  keys.push_back("TRACK ZEBRAFISH");
  keys.push_back("TRACK ZEBRAFISCH");
  const std::vector<std::size_t> g = GroupSimilarKeys(keys, 90);
  EXPECT_EQ(g[keys.size() - 1], keys.size() - 2);
  EXPECT_EQ(g[0], 0u);
  // "TRACK W100000" and "TRACK W100001" are 92 alike, but share only keys too common to count.
  EXPECT_EQ(g[1], 1u);
}

TEST(SimilarNamesTest, NameModeScanGroupsSimilarNames) {
  test::TTempDir dir;
  dir.Write("a/Rhapsody (Remastered).mp3", "one");
  dir.Write("b/Rapsody.mp3", "two");
  dir.Write("c/Rhapsody.MP3", "three");
  dir.Write("d/Other.mp3", "four");
  for (const int similarity : {0, 80}) {
    SCOPED_TRACE(similarity);
    TScanEngine engine{cmFileName, TPcwCompareOptions()};
    TScanSettings settings = test::TestScanSettings(test::TestScanOptions());
    settings.NameSimilarity = similarity;
    test::RunScan(engine, {dir.path()}, settings);
    const auto groups = test::Groups(engine, dir.path());
    if (similarity == 0) {
      EXPECT_TRUE(groups.empty());
    } else {
      ASSERT_EQ(groups.size(), 1u);
      EXPECT_EQ(groups[0].size(), 3u);
    }
  }
}

}  // namespace
}  // namespace pelcrow
