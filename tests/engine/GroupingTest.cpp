// Duplicate grouping end to end: real files, real scans, every prefetch configuration.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "TestUtil.h"
#include "engine/FileChecksums.h"
#include "services/Crc32.h"

namespace pelcrow {
namespace {

using test::GroupSet;
using test::Groups;
using test::RunScan;
using test::TTempDir;
using Set = std::set<std::set<std::string>>;

// How the checksum cache takes part: not at all; empty; filled by an identical scan just before;
// filled and then damaged on disk.
enum TCacheRun { crNone, crCold, crWarm, crCorrupt };

struct TConfig {
  bool Prefetch;
  unsigned Threads;
  TCacheRun Cache = crNone;
};
void PrintTo(const TConfig& c, std::ostream* os) {
  *os << "prefetch " << (c.Prefetch ? "on" : "off") << ", " << c.Threads << " thread(s), cache " << c.Cache;
}

const char* CacheRunName(TCacheRun c) {
  switch (c) {
    case crCold: return "CacheCold";
    case crWarm: return "CacheWarm";
    case crCorrupt: return "CacheCorrupt";
    default: return "";
  }
}

// Flips a byte in the middle of every cache file, and cuts the seed file short.
void DamageCache(const std::string& folder) {
  if (!std::filesystem::is_directory(folder)) return;
  for (const auto& e : std::filesystem::directory_iterator(folder)) {
    std::string b = test::ReadAll(e.path().string());
    if (b.empty()) continue;
    if (e.path().filename() == "seed") {
      b.pop_back();
    } else {
      b[b.size() / 2] = static_cast<char>(b[b.size() / 2] ^ 0x10);
    }
    std::ofstream(e.path(), std::ios::binary | std::ios::trunc) << b;
  }
}

std::string Bytes(std::size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::string s(n, '\0');
  for (char& c : s) c = static_cast<char>(rng());
  return s;
}

// Four bytes that, appended to `data`, give the CRC-32 `target`: the classic forgery that
// makes two different files agree in size and checksum.
std::string ForgeCrcSuffix(const std::string& data, std::uint32_t target) {
  std::uint32_t table[256];
  for (std::uint32_t i = 0; i < 256; ++i) {
    std::uint32_t c = i;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
    table[i] = c;
  }
  std::uint32_t state = ~CRC32Of(data.data(), data.size());
  std::uint32_t r = ~target;
  // Undo four zero-byte steps: the top byte of each table entry is unique.
  for (int step = 0; step < 4; ++step) {
    std::uint32_t i = 0;
    while ((table[i] >> 24) != (r >> 24)) ++i;
    r = ((r ^ table[i]) << 8) | i;
  }
  std::uint32_t w = r ^ state;
  std::string suffix(4, '\0');
  for (int k = 0; k < 4; ++k) suffix[static_cast<std::size_t>(k)] = static_cast<char>((w >> (8 * k)) & 0xFF);
  return suffix;
}

class GroupingTest : public ::testing::TestWithParam<TConfig> {
 protected:
  void SetUp() override {
    engine = std::make_unique<TScanEngine>(cmCRC32, TPcwCompareOptions());
    engine->SetChecksumPrefetch(GetParam().Prefetch);
    engine->SetChecksumThreads(GetParam().Threads);
  }
  Set Scan(std::vector<std::string> includes) {
    for (auto& p : includes) p = p == "." ? dir.path() : dir / p;
    TScanSettings settings = test::TestScanSettings();
    const std::string cache = dir / ".checksum-cache";  // hidden: never scanned itself
    if (GetParam().Cache != crNone) {
      std::filesystem::remove_all(cache);
      settings.ChecksumCacheFolder = cache;
      settings.ChecksumCacheSettleNs = 0;
    }
    Set first;
    if (GetParam().Cache == crWarm || GetParam().Cache == crCorrupt) {
      RunScan(*engine, includes, settings);
      first = GroupSet(Groups(*engine, dir.path()));
      if (GetParam().Cache == crCorrupt) DamageCache(cache);
    }
    RunScan(*engine, includes, settings);
    Set groups = GroupSet(Groups(*engine, dir.path()));
    if (GetParam().Cache == crWarm || GetParam().Cache == crCorrupt) {
      EXPECT_EQ(groups, first);
    }
    return groups;
  }
  TTempDir dir;
  std::unique_ptr<TScanEngine> engine;
};

TEST_P(GroupingTest, SmallIdenticalFilesReadOnceAndGroupedTogether) {
  dir.Write("a/one.txt", "0123456789");
  dir.Write("b/two.txt", "0123456789");
  dir.Write("b/other.txt", "0123456788");
  EXPECT_EQ(Scan({"."}), (Set{{"a/one.txt", "b/two.txt"}}));
  ASSERT_EQ(engine->ItemCount(), 2);
  for (int i = 0; i < 2; ++i) {
    EXPECT_TRUE(engine->Item(i)->fHasShortCRC);
    EXPECT_EQ(engine->Item(i)->ShortCRC32, engine->Item(i)->CRC32);
    EXPECT_EQ(engine->Item(i)->CRC32, CRC32Of("0123456789"));
  }
}

TEST_P(GroupingTest, LateDifferenceSeparatesFilesWithEqualFirstBlocks) {
  std::string a = Bytes(100000, 1), b = a;
  b[70000] ^= 1;
  dir.Write("a.bin", a);
  dir.Write("b.bin", b);
  dir.Write("c.bin", a);
  EXPECT_EQ(Scan({"."}), (Set{{"a.bin", "c.bin"}}));
}

TEST_P(GroupingTest, EqualFilesFormExactlyOneGroup) {
  for (int i = 0; i < 7; ++i) dir.Write("d" + std::to_string(i) + "/same.txt", "identical content");
  for (int i = 0; i < 5; ++i) dir.Write("e" + std::to_string(i) + "/x.txt", "other content!!!!");
  Set groups = Scan({"."});
  ASSERT_EQ(groups.size(), 2u);
  for (const auto& g : groups) EXPECT_TRUE(g.size() == 7 || g.size() == 5);
}

TEST_P(GroupingTest, EqualSizeAndCrcButDifferentContentIsNoDuplicate) {
  std::string a = Bytes(5000, 7) + std::string(4, '\0');
  std::string b = Bytes(5000, 8);
  b += ForgeCrcSuffix(b, CRC32Of(a.data(), a.size()));
  ASSERT_EQ(a.size(), b.size());
  ASSERT_EQ(CRC32Of(a.data(), a.size()), CRC32Of(b.data(), b.size()));
  ASSERT_NE(a, b);
  // Also past the first block, so the full checksum is the deciding one.
  std::string big = Bytes(200000, 9), bigB = big;
  bigB[150000] ^= 0x55;
  bigB.resize(bigB.size() - 4);
  bigB += ForgeCrcSuffix(bigB, CRC32Of(big.data(), big.size()));
  ASSERT_EQ(CRC32Of(big.data(), big.size()), CRC32Of(bigB.data(), bigB.size()));
  dir.Write("small/a", a);
  dir.Write("small/b", b);
  dir.Write("big/a", big);
  dir.Write("big/b", bigB);
  EXPECT_EQ(Scan({"."}), Set{});
}

TEST_P(GroupingTest, OverlappingIncludesNeverMakeAFileItsOwnDuplicate) {
  dir.Write("top/sub/f.txt", "payload");
  EXPECT_EQ(Scan({"top", "top/sub"}), Set{});  // the same file twice, no copy
  dir.Write("elsewhere/g.txt", "payload");
  Set groups = Scan({"top", "top/sub", "elsewhere"});
  EXPECT_EQ(groups, (Set{{"top/sub/f.txt", "elsewhere/g.txt"}}));
  EXPECT_EQ(engine->ItemCount(), 2);
}

TEST_P(GroupingTest, HardLinksAreDuplicatesOfEachOther) {
  std::string a = dir.Write("a.txt", "linked");
  ASSERT_EQ(::link(a.c_str(), (dir / "b.txt").c_str()), 0);
  EXPECT_EQ(Scan({"."}), (Set{{"a.txt", "b.txt"}}));
}

TEST_P(GroupingTest, ResultsAreNumberedInListOrder) {
  dir.Write("a1", "AAAA");
  dir.Write("a2", "AAAA");
  dir.Write("b1", "BBBBBBBB");
  dir.Write("b2", "BBBBBBBB");
  dir.Write("b3", "BBBBBBBB");
  Scan({"."});
  ASSERT_EQ(engine->ItemCount(), 5);
  std::uint32_t expected = 1;
  for (int i = 0; i < engine->ItemCount(); ++i) {
    if (i > 0 && engine->Item(i)->DupGroup != engine->Item(i - 1)->DupGroup) ++expected;
    EXPECT_EQ(engine->Item(i)->DupGroup, expected);
    EXPECT_EQ(engine->Item(i)->SortGroup, expected);
  }
  EXPECT_EQ(expected, 2u);
  const TScanEngineSummaryInfo& s = engine->SummaryInfo();
  EXPECT_EQ(s.TotalFiles, 5);
  EXPECT_EQ(s.OriginalFiles, 2);
  EXPECT_EQ(s.OriginalSize, 4 + 8);
  EXPECT_EQ(s.DuplicateFiles, 3);
  EXPECT_EQ(s.DuplicateSize, 4 + 8 + 8);
}

// The prefetch and the thread count change nothing: a random tree with sizes around the block
// boundary and late differences, checked against grouping by the bytes themselves.
TEST_P(GroupingTest, RandomTreeMatchesGroupingByContent) {
  std::mt19937 rng(42);
  std::vector<std::string> pool;
  for (int k = 0; k < 12; ++k) {
    std::size_t size = k % 3 == 0 ? 65521 : (k % 3 == 1 ? 65522 + k : 300 + k % 2);
    pool.push_back(Bytes(size, 100 + static_cast<unsigned>(k)));
    if (k % 4 == 1) {  // a near twin that differs in its last byte
      std::string twin = pool.back();
      twin.back() ^= 1;
      pool.push_back(twin);
    }
  }
  std::map<std::string, std::set<std::string>> byContent;
  for (int f = 0; f < 60; ++f) {
    const std::string& content = pool[rng() % pool.size()];
    std::string rel = "d" + std::to_string(f % 5) + "/f" + std::to_string(f);
    dir.Write(rel, content);
    byContent[content].insert(rel);
  }
  Set expected;
  for (auto& [content, files] : byContent)
    if (files.size() >= 2) expected.insert(files);
  EXPECT_EQ(Scan({"."}), expected);
}

INSTANTIATE_TEST_SUITE_P(Prefetch, GroupingTest,
                         ::testing::Values(TConfig{false, 1}, TConfig{true, 1}, TConfig{true, 4},
                                           TConfig{true, 1, crCold}, TConfig{true, 4, crWarm},
                                           TConfig{false, 1, crWarm}, TConfig{true, 1, crCorrupt}),
                         [](const auto& p) {
                           return std::string(p.param.Prefetch ? "On" : "Off") + std::to_string(p.param.Threads) +
                                  CacheRunName(p.param.Cache);
                         });

TEST(GroupingOrderTest, SameResultsInTheSameOrderWithAndWithoutPrefetch) {
  TTempDir dir;
  for (int f = 0; f < 40; ++f) dir.Write("d" + std::to_string(f % 4) + "/f" + std::to_string(f), Bytes(1000 + 70000 * (f % 2), f % 6));
  std::vector<std::vector<std::string>> reference;
  for (TConfig c : {TConfig{false, 1}, TConfig{true, 1}, TConfig{true, 3}}) {
    TScanEngine engine(cmCRC32, TPcwCompareOptions());
    engine.SetChecksumPrefetch(c.Prefetch);
    engine.SetChecksumThreads(c.Threads);
    RunScan(engine, {dir.path()});
    auto groups = Groups(engine, dir.path());
    if (reference.empty())
      reference = groups;
    else
      EXPECT_EQ(groups, reference);
  }
  EXPECT_EQ(reference.size(), 6u);
}

}  // namespace
}  // namespace pelcrow
