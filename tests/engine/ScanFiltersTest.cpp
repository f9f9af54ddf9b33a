// Which files a scan accepts, and which check turns each other one away, on one real tree.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <map>

#include "TestUtil.h"
#include "logging/Logger.h"

namespace pelcrow {
namespace {

using test::TestScanOptions;
using test::TTempDir;
using Accepted = std::multiset<std::string>;
using Rejected = std::map<std::string, std::int64_t>;

// Every kind of entry the checks tell apart.
void MakeTree(const TTempDir& d) {
  d.Write("a.txt", "hello");
  d.Write("b.TXT", "world");
  d.Write("empty.txt", "");
  d.Write("limit.bin", std::string(50, 'l'));
  d.Write("big.bin", std::string(51, 'b'));
  d.Write("x.tmp", "t");
  d.Write("sub/c.txt", "c");
  d.Write(".hid.txt", "h");
  d.Write(".hdir/d.txt", "d");
  d.Write("lib.so.1", "so");
  d.Write("mod.ko", "ko");
  d.Write("NTLDR", "n");
  d.Write("Boot.Ini", "b");
  d.Write("skip/e.txt", "e");
  d.Write("skipme2/f.txt", "f");
  ASSERT_EQ(::mkfifo((d / "fifo").c_str(), 0600), 0);
  ASSERT_EQ(::symlink((d / "a.txt").c_str(), (d / "link.txt").c_str()), 0);
  ASSERT_EQ(::symlink((d / "sub").c_str(), (d / "dirlink").c_str()), 0);
  std::filesystem::create_directories(d / "cycle");
  ASSERT_EQ(::symlink("..", (d / "cycle/up").c_str()), 0);
}

const Accepted kDefault = {"a.txt", "b.TXT", "limit.bin", "big.bin", "x.tmp", "sub/c.txt", "skip/e.txt", "skipme2/f.txt"};

struct TFilterCase {
  const char* Name;
  std::function<void(TScanEngine&, TPcwScanOptions&, const std::string& root)> Setup;
  Accepted Expected;
  Rejected Checks;  // rejections per check; checks not named rejected nothing
};

class ScanFiltersTest : public ::testing::TestWithParam<TFilterCase> {};

TEST_P(ScanFiltersTest, AcceptsAndRejects) {
  TTempDir dir;
  MakeTree(dir);
  TScanEngine engine(cmCRC32, {});
  TPcwScanOptions options = TestScanOptions();
  GetParam().Setup(engine, options, dir.path());
  Accepted accepted;
  engine.OnFilter = [&](const std::string& path, const TSearchRec& rec) {
    // By the real folder, so a folder reached through a link is recognised (and counted twice if
    // it were walked twice).
    accepted.insert(std::filesystem::relative(std::filesystem::canonical(path) / rec.Name, dir.path()).string());
    return true;
  };
  test::RunScan(engine, {dir.path()}, options);
  EXPECT_EQ(accepted, GetParam().Expected);
  Rejected checks;
  for (const TScanRejection& r : engine.FileRejections()) checks[r.Check] = r.Count;
  EXPECT_EQ(checks, GetParam().Checks);
}

const Rejected kDefaultChecks = {{"Skip Zero-sized files check", 2},  // empty.txt, the FIFO
                                 {"Protect system files check", 2},   // lib.so.1, mod.ko
                                 {"[System Critical]", 2},           // NTLDR, Boot.Ini
                                 {"Include Hidden objects check", 1},
                                 {"Symbolic link check", 1}};

Rejected With(Rejected r, const std::string& check, std::int64_t count) {
  if (count == 0)
    r.erase(check);
  else
    r[check] = count;
  return r;
}

Accepted Without(Accepted a, std::initializer_list<const char*> names) {
  for (const char* n : names) a.erase(n);
  return a;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ScanFiltersTest,
    ::testing::Values(
        TFilterCase{"Defaults", [](auto&, auto&, const auto&) {}, kDefault, kDefaultChecks},
        TFilterCase{"SizeLimitsAreInclusive",
                    [](TScanEngine& e, auto&, const auto&) {
                      e.FileSizeMin = 5;
                      e.FileSizeMax = 50;
                    },
                    {"a.txt", "b.TXT", "limit.bin"},
                    // The link's own size is its target's path length.
                    {{"Skip Zero-sized files check", 2}, {"Min FileSize check", 9}, {"Max FileSize check", 2}}},
        TFilterCase{"ExclusionFoldersAndPatterns",
                    [](TScanEngine& e, auto&, const std::string& root) {
                      const std::vector<std::string> ex = {root + "/sub", "*/skip*"};
                      e.SetExcludeFilePaths(&ex);
                    },
                    Without(kDefault, {"sub/c.txt", "skip/e.txt", "skipme2/f.txt"}), kDefaultChecks},
        TFilterCase{"IncludeAndExcludeMasksIgnoreCase",
                    [](TScanEngine& e, auto&, const auto&) {
                      e.SetIncludeFileMasks("*.txt");
                      e.SetExcludeFileMasks("b*");
                    },
                    {"a.txt", "sub/c.txt", "skip/e.txt", "skipme2/f.txt"},
                    // empty.txt and .hid.txt pass the masks and meet their own checks.
                    {{"Include masks check", 8},
                     {"Exclude masks check", 1},
                     {"Skip Zero-sized files check", 1},
                     {"Include Hidden objects check", 1},
                     {"Symbolic link check", 1}}},
        TFilterCase{"MalformedMaskRejectsEveryFile",
                    [](TScanEngine& e, auto&, const auto&) { e.SetIncludeFileMasks("["); }, {},
                    {{"Error:", 16}}},
        TFilterCase{"HiddenIncluded",
                    [](auto&, TPcwScanOptions& o, const auto&) { o.Include(soIncludeHidden); },
                    [] {
                      Accepted a = kDefault;
                      a.insert({".hid.txt", ".hdir/d.txt"});
                      return a;
                    }(),
                    With(kDefaultChecks, "Include Hidden objects check", 0)},
        TFilterCase{"SystemProtectionOffStillSkipsFifosAndCriticalNames",
                    [](auto&, TPcwScanOptions& o, const auto&) { o.Exclude(soProtectSystem).Exclude(soSkipZero); },
                    [] {
                      Accepted a = kDefault;
                      a.insert({"lib.so.1", "mod.ko", "empty.txt"});
                      return a;
                    }(),
                    With(With(kDefaultChecks, "Protect system files check", 1), "Skip Zero-sized files check", 0)},
        TFilterCase{"ContainerFolderFilesAreLeftOut",
                    [](auto&, TPcwScanOptions& o, const auto&) { o.Include(soExcludeContainer); },
                    {"sub/c.txt", "skip/e.txt", "skipme2/f.txt"}, {}},
        // Links to folders followed: the cycle and the second way into sub are walked once.
        TFilterCase{"FollowedFolderLinksNeverLoopOrRepeat",
                    [](auto&, TPcwScanOptions& o, const auto&) { o.Exclude(soSkipNtfsJunction); },
                    kDefault, kDefaultChecks}),
    [](const auto& p) { return std::string(p.param.Name); });

TEST(ScanFilters, ScannedFilesCarryTheirCategory) {
  TTempDir dir;
  dir.Write("a/song.MP3", "x");
  dir.Write("b/song.MP3", "x");
  dir.Write("a/report.pdf", "y");
  dir.Write("b/report.pdf", "y");
  TScanEngine engine(cmCRC32, {});
  test::RunScan(engine, {dir.path()});
  ASSERT_EQ(engine.ItemCount(), 4);
  for (int k = 0; k < 4; ++k) {
    const PFileItem it = engine.Item(k);
    EXPECT_EQ(it->Category, it->Name == "song.MP3" ? fcMusic : fcDocuments) << it->Name.str();
  }
}

// The log names each rejecting check; a broken mask logs the mask error for every file.
TEST(ScanFilters, RejectionsAreLoggedWithTheirCheck) {
  TTempDir dir;
  dir.Write("files/a.txt", "a");
  dir.Write("files/.b.txt", "b");
  TLogOptions logOptions;
  logOptions.EnableLogging = true;
  logOptions.LogDirectory = dir / "logs";
  logOptions.LogEvents = TPcwLogEvents{leFileSkipped, leFolderSkipped};
  StartLogging(logOptions, TPcwLogEvents{leInfo});
  auto logText = [] {
    // The log is UTF-16 LE; its texts here are ASCII.
    const std::string bytes = test::ReadAll(GetLogger().LogFileName());
    std::string text;
    for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) text.push_back(bytes[i]);
    return text;
  };
  TScanSettings options = test::TestScanSettings();
  options.LogEvents = TPcwLogEvents{leFileSkipped, leFolderSkipped};
  TScanEngine engine(cmCRC32, {});
  test::RunScan(engine, {dir / "files"}, options);
  EXPECT_NE(logText().find(".b.txt [Include Hidden objects check]"), std::string::npos) << logText();
  engine.SetIncludeFileMasks("[");
  test::RunScan(engine, {dir / "files"}, options);
  const std::string text = logText();
  StopLogging();
  EXPECT_NE(text.find("a.txt [Error: "), std::string::npos) << text;
  EXPECT_NE(text.find(".b.txt [Error: "), std::string::npos) << text;
}

}  // namespace
}  // namespace pelcrow
