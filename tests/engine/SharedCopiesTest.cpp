// Replacing duplicates with hard links and copy-on-write clones, on the test's own folder and on
// ext4, btrfs and XFS images made and loop-mounted here (skipped where the kernel refuses the
// mount): which blocks the files share (`filefrag -v`), their bytes, and the way back.
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>

#include "FileFixtures.h"
#include "TestUtil.h"
#include "engine/ActionJournal.h"
#include "engine/ItemFlags.h"
#include "engine/Processing.h"
#include "platform/FileTransfer.h"

namespace pelcrow {
namespace {

namespace fs = std::filesystem;
using test::ReadAll;
using test::TScopedEnv;

const TDateTime kModified = TDateTime::FromUnixNanoseconds(1'600'000'000'123'456'789LL);
const TDateTime kAccessed = TDateTime::FromUnixNanoseconds(1'650'000'000'000'000'000LL);

struct stat StatOf(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
  return st;
}

std::int64_t MTimeNs(const struct stat& st) {
  return static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1'000'000'000LL + st.st_mtim.tv_nsec;
}

// Random bytes, large enough to have extents of their own (never inline in metadata).
std::string Bytes(std::size_t n, unsigned seed) {
  std::mt19937 gen(seed);
  std::string s(n, '\0');
  for (char& c : s) c = static_cast<char>(gen());
  return s;
}

std::string Shell(const std::string& command) {
  std::string out;
  if (FILE* p = ::popen((command + " 2>&1").c_str(), "r")) {
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    ::pclose(p);
  }
  return out;
}

bool HaveTool(const std::string& name) {
  return std::system(("command -v " + name + " >/dev/null 2>&1 || test -x /usr/sbin/" + name + " || test -x /sbin/" + name).c_str()) == 0;
}

// Whether filefrag -v marks any extent of the file as shared with another file.
bool HasSharedExtents(const std::string& path) {
  const std::string out = Shell("filefrag -v '" + path + "'");
  return out.find("shared") != std::string::npos;
}

// A file system image made with mkfs and loop-mounted for the test's scope.
class TImageMount {
 public:
  // Empty Skip: mounted at Path.
  TImageMount(const std::string& dir, const std::string& type, int megabytes) {
    const std::string mkfs = "mkfs." + type;
    if (!HaveTool(mkfs)) {
      Skip = mkfs + " is not installed";
      return;
    }
    fImage = dir + "/" + type + ".img";
    Path = dir + "/" + type + "-mnt";
    fs::create_directories(Path);
    { std::ofstream(fImage, std::ios::binary); }
    fs::resize_file(fImage, static_cast<std::uintmax_t>(megabytes) << 20);
    const std::string quiet = type == "ext4" ? "-q -F" : type == "btrfs" ? "-q -f" : "-q -f";
    const std::string made = Shell("PATH=$PATH:/usr/sbin:/sbin " + mkfs + " " + quiet + " '" + fImage + "'");
    if (!fs::exists(fImage) || made.find("rror") != std::string::npos) {
      Skip = mkfs + " failed: " + made;
      return;
    }
    const std::string mounted = Shell("mount -o loop '" + fImage + "' '" + Path + "'");
    struct stat a {}, b {};
    if (::stat(Path.c_str(), &a) != 0 || ::stat(dir.c_str(), &b) != 0 || a.st_dev == b.st_dev) {
      Skip = "cannot loop-mount a " + type + " image here (an unprivileged container?): " + mounted;
      return;
    }
    fMounted = true;
  }
  ~TImageMount() {
    if (fMounted) ::umount2(Path.c_str(), MNT_DETACH);
    std::error_code ec;
    if (!fImage.empty()) fs::remove(fImage, ec);
  }
  TImageMount(const TImageMount&) = delete;
  TImageMount& operator=(const TImageMount&) = delete;

  std::string Path, Skip;

 private:
  std::string fImage;
  bool fMounted = false;
};

class SharedCopiesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fRoot = fs::canonical(fDir.path()).string();
    fs::create_directories(fRoot + "/home/data");
    fs::create_directories(fRoot + "/state");
    fHome = std::make_unique<TScopedEnv>("HOME", fRoot + "/home");
    fData = std::make_unique<TScopedEnv>("XDG_DATA_HOME", fRoot + "/home/data");
    fState = std::make_unique<TScopedEnv>("XDG_STATE_HOME", fRoot + "/state");
  }
  void TearDown() override {
    fState.reset();
    fData.reset();
    fHome.reset();
  }

  // A file with known bytes, mode and times; synced so that its extents are on the disk.
  static std::string Write(const std::string& path, const std::string& bytes, mode_t mode = 0640) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    ::chmod(path.c_str(), mode);
    EXPECT_EQ(platform::WriteFileTimes(path, kAccessed, kModified), 0);
    Shell("sync '" + path + "'");
    return path;
  }
  void Scan(const std::vector<std::string>& roots) { test::RunScan(fEngine, roots); }
  PFileItem Select(const std::string& full) {
    for (int i = 0; i < fEngine.ItemCount(); ++i)
      if (fEngine.Item(i)->FullPath() == full) {
        SetFileSelected(fEngine.Item(i), true);
        return fEngine.Item(i);
      }
    ADD_FAILURE() << "no item " << full;
    return nullptr;
  }
  // One pass of the operation; the reasons of the failures in Reasons.
  TPassResult Process(TProcessingOperation op) {
    TProcessingOptions o;
    o.Operation = op;
    TProcessingRun run(fEngine, fHistory, o);
    Reasons.clear();
    run.OnItem = [&](PFileItem, const TItemOutcome& r) {
      if (!r.Ok) Reasons.push_back(r.Reason);
    };
    return run.RunPass();
  }
  void Undo() {
    ASSERT_TRUE(UndoLastAction(fEngine, fHistory, TMediaLibSyncOptions()));
    ASSERT_FALSE(fPrompt.Messages.empty());
    EXPECT_EQ(fPrompt.Messages.back().second, "The operation completed successfully.    ");
    EXPECT_TRUE(fPrompt.UndoStatus.empty()) << fPrompt.UndoStatus.front();
  }
  // The duplicate is a file of its own again: other inode, its bytes, mode and time.
  static void ExpectOwnFile(const std::string& dup, const std::string& kept, const std::string& bytes, mode_t mode) {
    const struct stat d = StatOf(dup), k = StatOf(kept);
    EXPECT_TRUE(S_ISREG(d.st_mode));
    EXPECT_NE(d.st_ino, k.st_ino);
    EXPECT_EQ(d.st_nlink, 1u);
    EXPECT_EQ(d.st_mode & 07777, mode);
    EXPECT_EQ(MTimeNs(d), kModified.UnixNanoseconds());
    EXPECT_EQ(ReadAll(dup), bytes);
    EXPECT_EQ(ReadAll(kept), bytes);
  }
  // No temporary file of the action or its undo is left beside the duplicate.
  static void ExpectNoLeftovers(const std::string& folder, std::size_t entries) {
    EXPECT_EQ(test::FolderEntries(folder).size(), entries) << folder;
  }

  // A hard link on the folder at Base: the duplicate becomes the kept file's inode, and undo gives
  // it its own again.
  void HardLinkAndBack(const std::string& Base) {
    const std::string bytes = Bytes(200'000, 7);
    const std::string kept = Write(Base + "/keep/song.flac", bytes, 0644);
    const std::string dup = Write(Base + "/dup/song.flac", bytes, 0600);
    Scan({Base});
    PFileItem it = Select(dup);
    ASSERT_NE(it, nullptr);
    ASSERT_EQ(Process(poHardLink).Failed, 0) << (Reasons.empty() ? "" : Reasons.front());
    EXPECT_EQ(StatOf(dup).st_ino, StatOf(kept).st_ino);
    EXPECT_EQ(StatOf(kept).st_nlink, 2u);
    EXPECT_EQ(ReadAll(dup), bytes);
    EXPECT_EQ(it->ActionType, faHardLink);
    EXPECT_EQ(it->TargetPath.str(), kept);
    ExpectNoLeftovers(Base + "/dup", 1);
    Undo();
    ExpectOwnFile(dup, kept, bytes, 0600);
    EXPECT_EQ(StatOf(kept).st_nlink, 1u);
    ExpectNoLeftovers(Base + "/dup", 1);
  }

  test::TTempDir fDir;
  std::string fRoot;
  std::unique_ptr<TScopedEnv> fHome, fData, fState;
  TScanEngine fEngine{cmCRC32, TPcwCompareOptions()};
  TActionHistory fHistory;
  test::TScriptedPrompt fPrompt;
  std::vector<std::string> Reasons;
};

TEST_F(SharedCopiesTest, HardLinkOnTheTestFolderAndUndo) { HardLinkAndBack(fRoot + "/tree"); }

TEST_F(SharedCopiesTest, HardLinkOnAnExt4ImageAndUndo) {
  TImageMount m(fRoot, "ext4", 64);
  if (!m.Skip.empty()) GTEST_SKIP() << m.Skip;
  HardLinkAndBack(m.Path);
}

// Refusals leave both files as they were, with the reason in the failure list.
TEST_F(SharedCopiesTest, RefusalsTouchNothing) {
  struct TCase {
    const char* Name;
    TProcessingOperation Op;
    bool OtherFileSystem;  // the kept copy on an ext4 image, the duplicate on the test folder
    bool Ext4;             // both on an ext4 image (no clones there)
    bool NamesOnly;        // by name: the bytes differ
    const char* Reason;
  };
  const TCase cases[] = {
      {"different bytes, hard link", poHardLink, false, false, true,
       "The kept copy of its group has changed, or no longer holds the same bytes."},
      {"different bytes, clone", poClone, false, false, true, nullptr},
      {"another file system, hard link", poHardLink, true, false, false,
       "The kept copy is on another file system: a hard link or clone cannot reach across file systems."},
      {"another file system, clone", poClone, true, false, false,
       "The kept copy is on another file system: a hard link or clone cannot reach across file systems."},
      {"no clones on ext4", poClone, false, true, false, "The file system does not support copy-on-write clones."},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    fHistory.Clear();
    const std::string base = fRoot + "/case";
    fs::remove_all(base);
    std::unique_ptr<TImageMount> m;
    if (c.OtherFileSystem || c.Ext4) {
      m = std::make_unique<TImageMount>(fRoot, "ext4", 64);
      if (!m->Skip.empty()) {
        std::printf("skipped: %s\n", m->Skip.c_str());
        continue;
      }
    }
    const std::string keptBase = m ? m->Path : base;
    const std::string dupBase = c.Ext4 ? m->Path : base;
    const std::string keptBytes = Bytes(100'000, 1);
    const std::string dupBytes = c.NamesOnly ? Bytes(100'000, 2) : keptBytes;
    const std::string kept = Write(keptBase + "/a/x.bin", keptBytes);
    const std::string dup = Write(dupBase + "/b/x.bin", dupBytes);
    TScanEngine engine{c.NamesOnly ? cmFileName : cmCRC32, TPcwCompareOptions()};
    std::vector<std::string> roots = {keptBase};
    if (dupBase != keptBase) roots.push_back(dupBase);
    test::RunScan(engine, roots);
    PFileItem it = nullptr;
    for (int i = 0; i < engine.ItemCount(); ++i)
      if (engine.Item(i)->FullPath() == dup) it = engine.Item(i);
    ASSERT_NE(it, nullptr);
    SetFileSelected(it, true);
    TProcessingOptions o;
    o.Operation = c.Op;
    TProcessingRun run(engine, fHistory, o);
    std::vector<std::string> reasons;
    run.OnItem = [&](PFileItem, const TItemOutcome& r) {
      if (!r.Ok) reasons.push_back(r.Reason);
    };
    EXPECT_EQ(run.RunPass().Failed, 1);
    ASSERT_EQ(reasons.size(), 1u);
    if (c.Reason) {
      EXPECT_EQ(reasons[0], c.Reason);
    } else {
      EXPECT_FALSE(reasons[0].empty());
    }
    EXPECT_FALSE(it->fProcessed);
    EXPECT_EQ(ReadAll(dup), dupBytes);
    EXPECT_EQ(ReadAll(kept), keptBytes);
    EXPECT_NE(StatOf(dup).st_ino, StatOf(kept).st_ino);
    EXPECT_FALSE(HasSharedExtents(dup));
    ExpectNoLeftovers(dupBase + "/b", 1);
  }
}

class CloneTest : public SharedCopiesTest, public ::testing::WithParamInterface<const char*> {};

// A clone shares the kept file's extents (filefrag -v says "shared") with the same bytes; undo
// gives the duplicate blocks of its own again.
TEST_P(CloneTest, SharesExtentsAndUndoUnshares) {
  const std::string type = GetParam();
  TImageMount m(fRoot, type, type == "xfs" ? 320 : 160);
  if (!m.Skip.empty()) GTEST_SKIP() << m.Skip;
  if (!HaveTool("filefrag")) GTEST_SKIP() << "filefrag (e2fsprogs) is not installed";
  const std::string bytes = Bytes(1'000'000, 3);
  const std::string kept = Write(m.Path + "/keep/movie.mkv", bytes, 0644);
  const std::string dup = Write(m.Path + "/copy/movie.mkv", bytes, 0600);
  const std::string dup2 = Write(m.Path + "/copy2/movie.mkv", bytes, 0604);
  EXPECT_FALSE(HasSharedExtents(kept));
  Scan({m.Path});
  Select(dup);
  Select(dup2);
  ASSERT_EQ(Process(poClone).Failed, 0) << (Reasons.empty() ? "" : Reasons.front());
  Shell("sync");
  for (const std::string& d : {dup, dup2}) {
    EXPECT_TRUE(HasSharedExtents(d)) << Shell("filefrag -v '" + d + "'");
    EXPECT_EQ(ReadAll(d), bytes);
    // Still a file of its own name-wise: its own inode, mode and time.
    EXPECT_NE(StatOf(d).st_ino, StatOf(kept).st_ino);
    EXPECT_EQ(MTimeNs(StatOf(d)), kModified.UnixNanoseconds());
  }
  EXPECT_TRUE(HasSharedExtents(kept));
  EXPECT_EQ(StatOf(dup).st_mode & 07777, 0600u);
  ExpectNoLeftovers(m.Path + "/copy", 1);

  // The journal is what `pelcrow-cli undo` reads: its records say where each clone is.
  const std::vector<TJournalAction> actions = TActionJournal::ReadAll();
  ASSERT_EQ(actions.size(), 1u);
  EXPECT_EQ(actions[0].ActionType, faClone);
  ASSERT_EQ(actions[0].Items.size(), 2u);
  for (const TJournalItem& i : actions[0].Items) {
    EXPECT_EQ(i.State, TJournalItem::jsDone);
    EXPECT_EQ(i.Target, kept);
    EXPECT_NE(i.Result.Inode, 0u);
  }

  Undo();
  Shell("sync");
  ExpectOwnFile(dup, kept, bytes, 0600);
  ExpectOwnFile(dup2, kept, bytes, 0604);
  EXPECT_FALSE(HasSharedExtents(dup)) << Shell("filefrag -v '" + dup + "'");
  EXPECT_FALSE(HasSharedExtents(dup2));
  EXPECT_FALSE(HasSharedExtents(kept)) << Shell("filefrag -v '" + kept + "'");
  ExpectNoLeftovers(m.Path + "/copy", 1);
}

INSTANTIATE_TEST_SUITE_P(FileSystems, CloneTest, ::testing::Values("btrfs", "xfs"),
                         [](const ::testing::TestParamInfo<const char*>& i) { return std::string(i.param); });

// Undo from the journal alone (after a restart) refuses a file saved at the name since: that one
// is the user's.
TEST_F(SharedCopiesTest, UndoFromTheJournalLeavesANewerFileAlone) {
  const std::string base = fRoot + "/tree";
  const std::string bytes = Bytes(50'000, 9);
  const std::string kept = Write(base + "/a/x.bin", bytes);
  const std::string dup = Write(base + "/b/x.bin", bytes);
  const std::string other = Write(base + "/c/y.bin", Bytes(70'000, 4));
  const std::string other2 = Write(base + "/d/y.bin", Bytes(70'000, 4));
  Scan({base});
  Select(dup);
  Select(other2);
  ASSERT_EQ(Process(poHardLink).Failed, 0);
  // The user replaces one of them by a file of their own.
  fs::remove(other2);
  Write(other2, "the user's own");
  std::vector<TJournalAction> actions = TActionJournal::ReadAll();
  ASSERT_EQ(actions.size(), 1u);
  std::vector<std::string> log;
  EXPECT_EQ(UndoJournalAction(actions[0], log), 1);
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0], other2 + " -> the file has changed since the action");
  EXPECT_EQ(ReadAll(other2), "the user's own");
  EXPECT_EQ(ReadAll(other), Bytes(70'000, 4));
  ExpectOwnFile(dup, kept, bytes, 0640);
}

}  // namespace
}  // namespace pelcrow
