// The checksum cache: its file format refuses what it did not write, a scan takes a value only
// for an unchanged file, and the groups never depend on the cache.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "TestUtil.h"
#include "engine/ChecksumCache.h"
#include "engine/FileChecksums.h"
#include "platform/ProcessLauncher.h"

namespace pelcrow {
namespace {

namespace fs = std::filesystem;
using test::GroupSet;
using test::Groups;
using test::TTempDir;
using Set = std::set<std::set<std::string>>;

TChecksumCacheEntry Entry(std::uint64_t inode, std::int64_t size, std::uint8_t flags) {
  TChecksumCacheEntry e;
  e.Inode = inode;
  e.Size = size;
  e.ModifiedNs = 1700000000123456789;
  e.ChangedNs = 1700000001987654321;
  e.ShortCRC32 = 0x1234ABCDu;
  if (flags & kCacheHasFull) {
    e.CRC32 = size <= static_cast<std::int64_t>(kCRCBlockSize) ? e.ShortCRC32 : 0x9876FEDCu;
    e.StrongHash[0] = 0x0123456789ABCDEFull;
    e.StrongHash[1] = 0xFEDCBA9876543210ull;
  }
  e.Flags = flags;
  e.LastUsedDay = 20000;
  return e;
}

std::vector<TChecksumCacheEntry> SampleEntries() {
  return {Entry(5, 10, kCacheHasShort | kCacheHasFull), Entry(9, 100000, kCacheHasShort),
          Entry(12, 200000, kCacheHasShort | kCacheHasFull)};
}

TEST(ChecksumCacheFileTest, ReadsBackWhatItWrote) {
  const auto entries = SampleEntries();
  std::vector<TChecksumCacheEntry> back;
  ASSERT_TRUE(ParseChecksumCache(ChecksumCacheBytes(77, entries), 77, back));
  EXPECT_EQ(back, entries);
  ASSERT_TRUE(ParseChecksumCache(ChecksumCacheBytes(77, {}), 77, back));
  EXPECT_TRUE(back.empty());
  std::uint64_t seed = 0;
  ASSERT_TRUE(ParseChecksumSeed(ChecksumSeedBytes(0xDEADBEEFCAFEull), seed));
  EXPECT_EQ(seed, 0xDEADBEEFCAFEull);
}

TEST(ChecksumCacheFileTest, RefusesEveryFileItDidNotWriteThisWay) {
  const std::string good = ChecksumCacheBytes(77, SampleEntries());
  auto flipped = [&](std::size_t at) {
    std::string b = good;
    b[at] = static_cast<char>(b[at] ^ 0x01);
    return b;
  };
  struct TCase {
    const char* Name;
    std::string Bytes;
    std::uint64_t Seed;
  };
  auto unsorted = SampleEntries();
  std::swap(unsorted[0], unsorted[2]);
  auto twice = SampleEntries();
  twice[1].Inode = twice[0].Inode;
  auto badFlags = SampleEntries();
  badFlags[1].Flags = kCacheHasFull;
  auto smallWithoutFull = SampleEntries();
  smallWithoutFull[0].Flags = kCacheHasShort;
  smallWithoutFull[0].CRC32 = 0;
  smallWithoutFull[0].StrongHash[0] = smallWithoutFull[0].StrongHash[1] = 0;
  const TCase cases[] = {
      {"empty", "", 77},
      {"header cut short", good.substr(0, 20), 77},
      {"last entry cut short", good.substr(0, good.size() - 1), 77},
      {"one byte too many", good + "x", 77},
      {"magic", flipped(0), 77},
      {"version", flipped(8), 77},
      {"entry size", flipped(12), 77},
      {"count", flipped(24), 77},
      {"reserved", flipped(32), 77},
      {"hash", flipped(40), 77},
      {"entry inode", flipped(48), 77},
      {"entry checksum", flipped(48 + 64 + 32), 77},
      {"another seed", good, 78},
      {"entries out of order", ChecksumCacheBytes(77, unsorted), 77},
      {"one inode twice", ChecksumCacheBytes(77, twice), 77},
      {"full without short", ChecksumCacheBytes(77, badFlags), 77},
      {"small file without its full checksum", ChecksumCacheBytes(77, smallWithoutFull), 77},
  };
  for (const TCase& c : cases) {
    std::vector<TChecksumCacheEntry> back{Entry(1, 1, 3)};
    EXPECT_FALSE(ParseChecksumCache(c.Bytes, c.Seed, back)) << c.Name;
    EXPECT_TRUE(back.empty()) << c.Name;
  }
  std::uint64_t seed = 0;
  std::string seedBytes = ChecksumSeedBytes(5);
  seedBytes[9] ^= 1;
  EXPECT_FALSE(ParseChecksumSeed(seedBytes, seed));
  EXPECT_FALSE(ParseChecksumSeed(ChecksumSeedBytes(5).substr(1), seed));
}

// Scans of real files with a cache folder of their own.
class ChecksumCacheScanTest : public ::testing::Test {
 protected:
  Set Scan(std::int64_t settleNs = 0, std::vector<std::string> includes = {}) {
    if (includes.empty()) includes = {dir.path()};
    engine = std::make_unique<TScanEngine>(cmCRC32, TPcwCompareOptions());
    TScanSettings s = test::TestScanSettings();
    s.ChecksumCacheFolder = cache;
    s.ChecksumCacheSettleNs = settleNs;
    test::RunScan(*engine, includes, s);
    return GroupSet(Groups(*engine, dir.path()));
  }
  std::vector<std::string> CacheFiles() const {
    std::vector<std::string> files;
    if (fs::is_directory(cache))
      for (const auto& e : fs::directory_iterator(cache))
        if (e.path().extension() == ".cache") files.push_back(e.path().string());
    return files;
  }
  TTempDir dir;
  std::string cache = dir / ".cache";  // hidden: never scanned itself
  std::unique_ptr<TScanEngine> engine;
};

std::string Bytes(std::size_t n, unsigned seed) {
  std::string s(n, '\0');
  for (std::size_t k = 0; k < n; ++k) s[k] = static_cast<char>((k * 131 + seed * 7919 + (k >> 7) * seed) & 0xFF);
  return s;
}

// Same size, same modification time, other content: only the change time tells.
void RewriteKeepingMtime(const std::string& path, const std::string& bytes) {
  struct stat st {};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  { std::ofstream(path, std::ios::binary | std::ios::trunc).write(bytes.data(), static_cast<std::streamsize>(bytes.size())); }
  const struct timespec times[2] = {st.st_atim, st.st_mtim};
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

TEST_F(ChecksumCacheScanTest, SecondScanTakesEveryChecksumFromTheCache) {
  const std::string big = Bytes(200000, 1);
  dir.Write("a/big1", big);
  dir.Write("b/big2", big);
  dir.Write("a/small1", "0123456789");
  dir.Write("b/small2", "0123456789");
  dir.Write("c/alone", "no partner of this size at all");
  const Set expected{{"a/big1", "b/big2"}, {"a/small1", "b/small2"}};
  EXPECT_EQ(Scan(), expected);
  EXPECT_EQ(engine->ChecksumCacheHits(), 0);
  EXPECT_EQ(CacheFiles().size(), 1u);
  EXPECT_EQ(Scan(), expected);
  // Only files that had to be read are kept: the one without a partner never was.
  EXPECT_EQ(engine->ChecksumCacheHits(), 4);
}

TEST_F(ChecksumCacheScanTest, ChangedFilesAreReadAgain) {
  struct TCase {
    const char* Name;
    void (*Change)(const TTempDir& dir);
  };
  const std::string big = Bytes(100000, 3);
  for (const TCase& c : {
           TCase{"same size and time, other content",
                 [](const TTempDir& d) { RewriteKeepingMtime(d / "x/b", Bytes(100000, 4)); }},
           TCase{"other size", [](const TTempDir& d) { d.Write("x/b", Bytes(100001, 3)); }},
           TCase{"replaced by another file",
                 [](const TTempDir& d) {
                   d.Write("x/new", Bytes(100000, 5));
                   fs::rename(d / "x/new", d / "x/b");
                 }},
       }) {
    fs::remove_all(dir / "x");
    fs::remove_all(cache);
    dir.Write("x/a", big);
    dir.Write("x/b", big);
    EXPECT_EQ(Scan(), (Set{{"x/a", "x/b"}})) << c.Name;
    c.Change(dir);
    EXPECT_EQ(Scan(), Set{}) << c.Name;
    EXPECT_LE(engine->ChecksumCacheHits(), 1) << c.Name;
  }
}

TEST_F(ChecksumCacheScanTest, FilesChangedJustBeforeTheScanAreNotStored) {
  dir.Write("a", "same bytes");
  dir.Write("b", "same bytes");
  EXPECT_EQ(Scan(3'000'000'000), (Set{{"a", "b"}}));
  EXPECT_EQ(Scan(3'000'000'000), (Set{{"a", "b"}}));
  EXPECT_EQ(engine->ChecksumCacheHits(), 0);
}

TEST_F(ChecksumCacheScanTest, DamagedCacheFilesAreIgnoredAndRebuilt) {
  const std::string big = Bytes(150000, 8);
  dir.Write("a", big);
  dir.Write("b", big);
  dir.Write("c", Bytes(150000, 9));
  const Set expected{{"a", "b"}};
  EXPECT_EQ(Scan(), expected);
  struct TCase {
    const char* Name;
    void (*Damage)(const std::string& cacheFile, const std::string& folder);
  };
  for (const TCase& c : {
           TCase{"truncated", [](const std::string& f, const std::string&) { fs::resize_file(f, fs::file_size(f) - 10); }},
           TCase{"a checksum flipped",
                 [](const std::string& f, const std::string&) {
                   std::string b = test::ReadAll(f);
                   b[48 + 64 + 33] ^= 0x40;
                   std::ofstream(f, std::ios::binary | std::ios::trunc) << b;
                 }},
           TCase{"not a cache at all", [](const std::string& f, const std::string&) { std::ofstream(f) << "garbage"; }},
           TCase{"the seed file lost", [](const std::string&, const std::string& folder) { fs::remove(folder + "/seed"); }},
       }) {
    ASSERT_EQ(CacheFiles().size(), 1u) << c.Name;
    c.Damage(CacheFiles()[0], cache);
    EXPECT_EQ(Scan(), expected) << c.Name;
    EXPECT_EQ(engine->ChecksumCacheHits(), 0) << c.Name;
    EXPECT_EQ(Scan(), expected) << c.Name;
    EXPECT_EQ(engine->ChecksumCacheHits(), 3) << c.Name << ": rebuilt";
  }
}

TEST_F(ChecksumCacheScanTest, ClearingTheCacheForgetsEverything) {
  dir.Write("a", "twins");
  dir.Write("b", "twins");
  Scan();
  ASSERT_FALSE(CacheFiles().empty());
  std::string error;
  EXPECT_TRUE(ClearChecksumCache(&error, cache)) << error;
  EXPECT_FALSE(fs::exists(cache));
  EXPECT_EQ(Scan(), (Set{{"a", "b"}}));
  EXPECT_EQ(engine->ChecksumCacheHits(), 0);
}

TEST_F(ChecksumCacheScanTest, OtherModesNeitherReadNorWriteIt) {
  dir.Write("a", "twins");
  dir.Write("b", "twins");
  engine = std::make_unique<TScanEngine>(cmByteByByte, TPcwCompareOptions());
  TScanSettings s = test::TestScanSettings();
  s.ChecksumCacheFolder = cache;
  s.ChecksumCacheSettleNs = 0;
  test::RunScan(*engine, {dir.path()}, s);
  EXPECT_EQ(engine->ItemCount(), 2);
  EXPECT_FALSE(fs::exists(cache));
}

TEST_F(ChecksumCacheScanTest, CommandLineNoCacheLeavesTheCacheAlone) {
  dir.Write("t/a", "twins");
  dir.Write("t/b", "twins");
  const std::string home = dir / "home";
  // The program does not store files changed in the last three seconds.
  ::sleep(4);
  for (bool noCache : {true, false}) {
    std::string cmd = "XDG_CACHE_HOME='" + home + "' '" + test::CliPath() + "' scan '" + (dir / "t") + "'" +
                      (noCache ? " --no-cache" : "") + " >/dev/null";
    ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
    EXPECT_EQ(fs::exists(home + "/pelcrow/checksums"), !noCache) << cmd;
  }
}

// A disk mounted again (here through another loop device, so another device number) keeps its
// cache: volumes are named by their file-system id.
TEST_F(ChecksumCacheScanTest, RemountedVolumeKeepsItsCache) {
  std::filesystem::create_directories(test::TestWorkDir());
  const int lock = ::open((std::string(test::TestWorkDir()) + "/loop-volume.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (lock >= 0) ::flock(lock, LOCK_EX);
  platform::IProcessLauncher& run = platform::GetProcessLauncher();
  const std::string image = dir / "vol.img", vol = dir / "vol";
  fs::create_directories(vol);
  std::string out, loopA, loopB;
  auto attach = [&](std::string& dev) {
    if (run.Run({"losetup", "-f", "--show", image}, dev, 30000) != 0) return false;
    while (!dev.empty() && (dev.back() == '\n' || dev.back() == ' ')) dev.pop_back();
    return run.Run({"mount", dev, vol}, out, 30000) == 0;
  };
  if (::geteuid() != 0 || run.Run({"truncate", "-s", "8M", image}, out, 30000) != 0 ||
      run.Run({"mkfs.ext4", "-q", "-F", image}, out, 60000) != 0 || !attach(loopA)) {
    if (!loopA.empty()) run.Run({"losetup", "-d", loopA}, out, 30000);
    if (lock >= 0) ::close(lock);
    GTEST_SKIP() << "cannot mount a loop volume here";
  }
  const std::string big = Bytes(120000, 2);
  dir.Write("vol/a", big);
  dir.Write("vol/b", big);
  EXPECT_EQ(Scan(0, {vol}).size(), 1u);
  const std::uint64_t firstDevice = engine->Item(0)->Device;
  run.Run({"umount", vol}, out, 30000);
  // loopA stays attached, so the image comes back on another device.
  if (attach(loopB)) {
    EXPECT_EQ(Scan(0, {vol}).size(), 1u);
    EXPECT_NE(engine->Item(0)->Device, firstDevice);
    EXPECT_EQ(engine->ChecksumCacheHits(), 2);
    run.Run({"umount", vol}, out, 30000);
  } else {
    ADD_FAILURE() << "cannot mount the image again";
  }
  for (const std::string& dev : {loopA, loopB})
    if (!dev.empty()) run.Run({"losetup", "-d", dev}, out, 30000);
  if (lock >= 0) ::close(lock);
}

}  // namespace
}  // namespace pelcrow
