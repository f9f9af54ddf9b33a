// What processing and undo must never do, on real trees: act on a file that is not the one the
// scan found, rely on a kept copy that no longer holds the bytes, put back the wrong file, or
// lose a byte when a system call fails at any point of an operation or of its undo.
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>

#include "TestUtil.h"
#include "engine/ActionJournal.h"
#include "engine/FileComparer.h"
#include "engine/ItemFlags.h"
#include "engine/Processing.h"
#include "platform/FileTransfer.h"
#include "platform/SysCalls.h"
#include "platform/Trash.h"

namespace pelcrow {
namespace {

namespace fs = std::filesystem;
using platform::TSysCall;
using test::ReadAll;
using test::TScopedEnv;

const TDateTime kModified = TDateTime::FromUnixNanoseconds(1'600'000'000'123'456'789LL);

std::int64_t MTimeNs(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) return -1;
  return static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1'000'000'000LL + st.st_mtim.tv_nsec;
}

unsigned ModeOf(const std::string& path) {
  struct stat st {};
  ::lstat(path.c_str(), &st);
  return st.st_mode & 07777;
}

// Fails the N-th call of one kind with an errno, or makes reads and writes short.
class TFaultySys final : public platform::TRealSysCalls {
 public:
  TFaultySys() : fPrevious(platform::SetSysCalls(this)) {}
  ~TFaultySys() override { platform::SetSysCalls(fPrevious); }
  TFaultySys(const TFaultySys&) = delete;
  TFaultySys& operator=(const TFaultySys&) = delete;

  void FailAt(TSysCall kind, int nth, int err) {
    fKind = kind;
    fNth = nth;
    fErr = err;
    fCount = 0;
    fHit = false;
  }
  bool Hit() const { return fHit; }
  bool Short = false;

  int OpenAt(int d, const char* p, int f, mode_t m) override { return Trip(TSysCall::scOpenAt) ? -1 : TRealSysCalls::OpenAt(d, p, f, m); }
  ssize_t Read(int fd, void* b, std::size_t n) override {
    if (Trip(TSysCall::scRead)) return -1;
    return TRealSysCalls::Read(fd, b, Short && n > 1 ? n / 2 : n);
  }
  ssize_t Write(int fd, const void* b, std::size_t n) override {
    if (Trip(TSysCall::scWrite)) return -1;
    return TRealSysCalls::Write(fd, b, Short && n > 1 ? n / 2 : n);
  }
  int UnlinkAt(int d, const char* n, int f) override { return Trip(TSysCall::scUnlinkAt) ? -1 : TRealSysCalls::UnlinkAt(d, n, f); }
  int RenameAt(int a, const char* b, int c, const char* d, unsigned f) override {
    if (ForceExdev && f == RENAME_NOREPLACE && !Trip(TSysCall::scRenameAt)) {
      errno = EXDEV;
      return -1;
    }
    return Trip(TSysCall::scRenameAt) ? -1 : TRealSysCalls::RenameAt(a, b, c, d, f);
  }
  int LinkAt(int a, const char* b, int c, const char* d, int f) override {
    return Trip(TSysCall::scLinkAt) ? -1 : TRealSysCalls::LinkAt(a, b, c, d, f);
  }
  int SymlinkAt(const char* t, int d, const char* n) override { return Trip(TSysCall::scSymlinkAt) ? -1 : TRealSysCalls::SymlinkAt(t, d, n); }
  int FChmod(int fd, mode_t m) override { return Trip(TSysCall::scFChmod) ? -1 : TRealSysCalls::FChmod(fd, m); }
  int FUtimens(int fd, const struct timespec t[2]) override { return Trip(TSysCall::scFUtimens) ? -1 : TRealSysCalls::FUtimens(fd, t); }
  int FSync(int fd) override { return Trip(TSysCall::scFSync) ? -1 : TRealSysCalls::FSync(fd); }
  ssize_t CopyFileRange(int i, int o, std::size_t n) override {
    return Trip(TSysCall::scCopyFileRange) ? -1 : TRealSysCalls::CopyFileRange(i, o, n);
  }
  int SetXattr(int fd, const char* n, const void* v, std::size_t s) override {
    return Trip(TSysCall::scSetXattr) ? -1 : TRealSysCalls::SetXattr(fd, n, v, s);
  }
  // Every no-replace rename says the target is on another file system: the copy path runs.
  bool ForceExdev = false;

 private:
  bool Trip(TSysCall kind) {
    if (kind != fKind || fHit) return false;
    if (++fCount != fNth) return false;
    fHit = true;
    errno = fErr;
    return true;
  }
  platform::ISysCalls* fPrevious;
  TSysCall fKind = TSysCall::scCount;
  int fNth = 0, fErr = 0, fCount = 0;
  bool fHit = false;
};

// Every operation, each one way a file can go; "move across" makes every rename say EXDEV.
struct TOp {
  const char* Name;
  TProcessingOperation Operation;
  bool Permanent;
  bool Exdev;
};
const TOp kOps[] = {{"trash", poDelete, false, false}, {"delete", poDelete, true, false},
                    {"move", poMove, false, false},    {"move across", poMove, false, true},
                    {"rename", poRename, false, false}, {"link", poLink, false, false}};

class NothingLostTest : public ::testing::Test {
 public:
  void SetUp() override {
    fRoot = fs::canonical(fDir.path()).string();
    fs::create_directories(fRoot + "/home/data");
    fHome = std::make_unique<TScopedEnv>("HOME", fRoot + "/home");
    fData = std::make_unique<TScopedEnv>("XDG_DATA_HOME", fRoot + "/home/data");
    fState = std::make_unique<TScopedEnv>("XDG_STATE_HOME", fRoot + "/home/state");
    fSaved = Settings;
    Settings.ScanOptions = Settings.ScanOptions.Exclude(soRemoveEmpty);
    Settings.LogEvents = TPcwLogEvents{};
  }
  void TearDown() override { Settings = fSaved; }

  std::string P(const std::string& rel) const { return fRoot + "/tree/" + rel; }
  std::string Write(const std::string& rel, const std::string& bytes) {
    const std::string path = fDir.Write("tree/" + rel, bytes);
    EXPECT_EQ(platform::WriteFileTimes(path, kModified, kModified), 0);
    return path;
  }
  void Scan() {
    fEngine.ClearResults();
    fHistory.Clear();
    test::RunScan(fEngine, {fRoot + "/tree"});
  }
  PFileItem Select(const std::string& rel) {
    for (int i = 0; i < fEngine.ItemCount(); ++i)
      if (fEngine.Item(i)->FullPath() == P(rel)) {
        SetFileSelected(fEngine.Item(i), true);
        return fEngine.Item(i);
      }
    ADD_FAILURE() << "no item " << rel;
    return nullptr;
  }
  // One pass; the reason of the last item.
  std::string Run(TProcessingOptions o, int* failed = nullptr) {
    o.MoveSettleMilliseconds = 0;
    TProcessingRun run(fEngine, fHistory, o);
    std::string reason;
    run.OnItem = [&](PFileItem, const TItemOutcome& r) { reason = r.Reason; };
    const TPassResult r = run.RunPass();
    if (failed) *failed = r.Failed;
    return reason;
  }
  bool Undo() { return UndoLastAction(fEngine, fHistory, TMediaLibSyncOptions()); }
  // A new tree with one pair, keep/x.bin and the selected dup/x.bin, and no trash or journal.
  void FreshPair(const std::string& bytes) {
    for (const char* dir : {"/tree", "/out", "/home/data/Trash", "/home/state"}) fs::remove_all(fRoot + dir);
    Write("keep/x.bin", bytes);
    Write("dup/x.bin", bytes);
    Scan();
    Select("dup/x.bin");
  }
  // The operation of the table, moving into out/ and renaming with the postfix "_x".
  TProcessingOptions OptionsFor(const TOp& op) const {
    TProcessingOptions o;
    o.Operation = op.Operation;
    o.Permanent = op.Permanent;
    o.MoveFolder = fRoot + "/out";
    o.RenameText = "_x";
    o.RenamePrefix = false;
    return o;
  }

  test::TTempDir fDir;
  std::string fRoot;
  std::unique_ptr<TScopedEnv> fHome, fData, fState;
  TPcwSettings fSaved;
  TScanEngine fEngine{cmCRC32, TPcwCompareOptions()};
  TActionHistory fHistory;
  test::TScriptedPrompt fPrompt;
};

// 1. A kept copy rewritten with other bytes of the same size, its time set back: nothing goes.
TEST_F(NothingLostTest, KeptCopyRewrittenInPlaceIsComparedByContent) {
  for (TProcessingOperation op : {poDelete, poLink}) {
    SCOPED_TRACE(static_cast<int>(op));
    fs::remove_all(fRoot + "/tree");
    Write("keep/x.bin", "original!!");
    Write("dup/x.bin", "original!!");
    Scan();
    Select("dup/x.bin");
    Write("keep/x.bin", "rewritten!");  // same size, same time: only the change time tells
    TProcessingOptions o;
    o.Operation = op;
    o.Permanent = true;
    int failed = 0;
    EXPECT_EQ(Run(o, &failed), "The kept copy of its group no longer exists or has changed.");
    EXPECT_EQ(failed, 1);
    EXPECT_EQ(ReadAll(P("dup/x.bin")), "original!!");
  }
}

// 2. The single delete of one row of {a, b}, both checked, after b was removed outside.
TEST_F(NothingLostTest, SingleDeleteNeedsAnotherCopyStillThere) {
  Write("a/x.bin", "bytes");
  Write("b/x.bin", "bytes");
  Scan();
  PFileItem a = Select("a/x.bin");
  Select("b/x.bin");
  ASSERT_EQ(::unlink(P("b/x.bin").c_str()), 0);
  TProcessingOptions o;
  o.Operation = poDelete;
  o.Permanent = true;
  for (int i = 0; i < fEngine.ItemCount(); ++i)
    if (fEngine.Item(i) == a) o.OnlyRow = i;
  int failed = 0;
  EXPECT_EQ(Run(o, &failed), "The kept copy of its group no longer exists or has changed.");
  EXPECT_EQ(failed, 1);
  EXPECT_EQ(ReadAll(P("a/x.bin")), "bytes");
}

// 3 and 5. Undo of a trash restores the entry the action made, or nothing.
TEST_F(NothingLostTest, UndoOfTrashRestoresOnlyItsOwnEntry) {
  struct TCase {
    const char* Name;
    std::function<void(NothingLostTest&)> Meanwhile;
    bool Restored;
  };
  const TCase cases[] = {
      {"plain", [](NothingLostTest&) {}, true},
      {"entry emptied, a namesake trashed since",
       [](NothingLostTest& t) {
         for (const platform::TTrashEntry& e : platform::ListTrashEntries())
           fs::remove_all(e.TrashedPath());
         t.Write("dup/x.bin", "a namesake");
         ASSERT_TRUE(platform::MoveToTrash(t.P("dup/x.bin")).Ok());
       },
       true},
      {"a new file saved at the old name",
       [](NothingLostTest& t) { t.fDir.Write("tree/dup/x.bin", "new work"); }, false},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    fs::remove_all(fRoot + "/tree");
    fs::remove_all(fRoot + "/home/data/Trash");
    Write("keep/x.bin", "our bytes");
    Write("dup/x.bin", "our bytes");
    Scan();
    Select("dup/x.bin");
    TProcessingOptions o;
    EXPECT_EQ(Run(o), "");
    c.Meanwhile(*this);
    const std::int64_t before = MTimeNs(P("dup/x.bin"));
    Undo();
    if (c.Restored) {
      EXPECT_EQ(ReadAll(P("dup/x.bin")), "our bytes");
      EXPECT_EQ(MTimeNs(P("dup/x.bin")), kModified.UnixNanoseconds());
    } else {
      // The user's file is untouched, times and all; ours stays in the trash.
      EXPECT_EQ(ReadAll(P("dup/x.bin")), "new work");
      EXPECT_EQ(MTimeNs(P("dup/x.bin")), before);
      ASSERT_EQ(platform::ListTrashEntries().size(), 1u);
      EXPECT_EQ(ReadAll(platform::ListTrashEntries().front().TrashedPath()), "our bytes");
    }
    // A namesake trashed by hand is never the one that comes back: it stays in the trash.
    int namesakes = 0;
    for (const platform::TTrashEntry& e : platform::ListTrashEntries())
      namesakes += fs::exists(e.TrashedPath()) && ReadAll(e.TrashedPath()) == "a namesake";
    EXPECT_EQ(namesakes, std::string(c.Name).find("namesake") != std::string::npos ? 1 : 0);
  }
}

// 4. The folder replaced by a link to another folder after the scan.
TEST_F(NothingLostTest, SwappedFolderRedirectsNothing) {
  Write("keep/x.bin", "bytes");
  Write("dup/x.bin", "bytes");
  Write("elsewhere/x.bin", "bytes");
  Scan();
  Select("dup/x.bin");
  fs::rename(P("dup"), P("dup.old"));
  fs::create_directory_symlink(P("elsewhere"), P("dup"));
  TProcessingOptions o;
  for (bool permanent : {true, false}) {
    o.Permanent = permanent;
    EXPECT_EQ(Run(o), "The folder of the file is no longer the one the scan saw.");
  }
  o.Operation = poLink;
  EXPECT_EQ(Run(o), "The folder of the file is no longer the one the scan saw.");
  EXPECT_EQ(ReadAll(P("elsewhere/x.bin")), "bytes");
  EXPECT_FALSE(fs::is_symlink(P("elsewhere/x.bin")));
  EXPECT_EQ(ReadAll(P("dup.old/x.bin")), "bytes");
}

// 6. A move across file systems keeps every mode bit, extended attributes and times; undo too.
TEST_F(NothingLostTest, MoveAcrossFileSystemsKeepsWhatTheFileHad) {
  Write("keep/x.bin", "payload");
  const std::string dup = Write("dup/x.bin", "payload");
  ASSERT_EQ(::chmod(dup.c_str(), 02751), 0);
  const bool xattrs = ::setxattr(dup.c_str(), "user.pelcrow", "v1", 2, 0) == 0;
  ASSERT_EQ(platform::WriteFileTimes(dup, kModified, kModified), 0);
  Scan();
  Select("dup/x.bin");
  TFaultySys sys;
  sys.ForceExdev = true;
  TProcessingOptions o;
  o.Operation = poMove;
  o.MoveFolder = fRoot + "/out";
  EXPECT_EQ(Run(o), "");
  const std::string moved = fRoot + "/out/x.bin";
  EXPECT_EQ(ReadAll(moved), "payload");
  EXPECT_EQ(ModeOf(moved), 02751u);
  EXPECT_EQ(MTimeNs(moved), kModified.UnixNanoseconds());
  char value[8] = {};
  if (xattrs) {
    EXPECT_EQ(::getxattr(moved.c_str(), "user.pelcrow", value, sizeof value), 2);
  }
  EXPECT_FALSE(fs::exists(dup));
  ASSERT_TRUE(Undo());
  EXPECT_EQ(ModeOf(dup), 02751u);
  EXPECT_EQ(MTimeNs(dup), kModified.UnixNanoseconds());
  if (xattrs) {
    EXPECT_EQ(::getxattr(dup.c_str(), "user.pelcrow", value, sizeof value), 2);
  }
}

// 7. One file seen on two devices (overlay, FUSE, NFS) is never its own duplicate.
TEST(NothingLostSameFile, InodeSizeAndTimeOnAnotherDeviceIsOneFile) {
  TFileItem a, b;
  a.Inode = b.Inode = 77;
  a.Device = 1;
  b.Device = 2;
  a.Size = b.Size = 10;
  a.Modified = b.Modified = kModified;
  a.Name = "x";
  b.Name = "x";
  a.Path = "/lower";
  b.Path = "/merged";
  EXPECT_TRUE(SameEntry(a, b));
  b.Modified = TDateTime::FromUnixNanoseconds(kModified.UnixNanoseconds() + 1);
  EXPECT_FALSE(SameEntry(a, b));
  platform::TEntryStat x, y;
  x.Inode = y.Inode = 77;
  x.Device = 1;
  y.Device = 2;
  x.Size = y.Size = 10;
  x.ModifiedNs = y.ModifiedNs = 5;
  EXPECT_TRUE(platform::PossiblySameFile(x, y));
}

// 8. Yes to the read-only question changes no mode, whatever happens next.
TEST_F(NothingLostTest, ReadOnlyFilesKeepTheirMode) {
  Write("keep/a.bin", "aaaa");
  Write("keep/b.bin", "bbbb");
  ::chmod(Write("dup/a.bin", "aaaa").c_str(), 0444);
  ::chmod(Write("dup/b.bin", "bbbb").c_str(), 0444);
  Scan();
  Select("dup/a.bin");
  fPrompt.ReadOnlyAnswers = {TReadOnlyAnswer::raYesToAll};
  TProcessingOptions o;
  o.Operation = poMove;
  o.MoveFolder = fRoot + "/out";
  EXPECT_EQ(Run(o), "");
  EXPECT_EQ(ModeOf(fRoot + "/out/a.bin"), 0444u);
  ASSERT_TRUE(Undo());
  EXPECT_EQ(ModeOf(P("dup/a.bin")), 0444u);
  // A delete that fails leaves the mode as it was.
  Select("dup/b.bin");
  TFaultySys sys;
  sys.FailAt(TSysCall::scUnlinkAt, 1, EACCES);
  fPrompt.ReadOnlyAnswers = {TReadOnlyAnswer::raYes};
  o = {};
  o.Permanent = true;
  int failed = 0;
  Run(o, &failed);
  EXPECT_EQ(failed, 1);
  EXPECT_EQ(ModeOf(P("dup/b.bin")), 0444u);
}

// Every operation and its undo with a system call failing at each point: the bytes are always
// whole at the source or at the target, and undo brings back what was done.
TEST_F(NothingLostTest, AFailingCallAtAnyPointLosesNoByte) {
  const std::string bytes = std::string(300000, 'z') + "end";
  const TSysCall calls[] = {TSysCall::scOpenAt, TSysCall::scRead,   TSysCall::scWrite,  TSysCall::scRenameAt,
                            TSysCall::scLinkAt, TSysCall::scUnlinkAt, TSysCall::scFSync, TSysCall::scFChmod,
                            TSysCall::scFUtimens, TSysCall::scSymlinkAt, TSysCall::scCopyFileRange};
  const int errnos[] = {EIO, ENOSPC, EACCES};
  auto where = [&](const std::string& name) {
    // Every place the item's bytes may be: its own name, the move's or rename's target, the trash.
    std::vector<std::string> found;
    for (const std::string& p : {P("dup/x.bin"), fRoot + "/out/x.bin", P("dup/x_x.bin")})
      if (fs::exists(p) && !fs::is_symlink(p) && ReadAll(p) == bytes) found.push_back(p);
    for (const platform::TTrashEntry& e : platform::ListTrashEntries())
      if (fs::exists(e.TrashedPath()) && ReadAll(e.TrashedPath()) == bytes) found.push_back(e.TrashedPath());
    (void)name;
    return found;
  };
  for (const TOp& op : kOps) {
    for (TSysCall call : calls) {
      for (int err : errnos) {
        for (int nth = 1; nth < 40; ++nth) {
          SCOPED_TRACE(std::string(op.Name) + " call " + std::to_string(static_cast<int>(call)) + " #" +
                       std::to_string(nth) + " errno " + std::to_string(err));
          FreshPair(bytes);
          bool hit = false;
          int failed = 0;
          {
            TFaultySys sys;
            sys.ForceExdev = op.Exdev;
            sys.FailAt(call, nth, err);
            Run(OptionsFor(op), &failed);
            hit = sys.Hit();
          }
          // The kept copy is never touched; a partial copy never stands under a name.
          ASSERT_EQ(ReadAll(P("keep/x.bin")), bytes);
          const std::vector<std::string> copies = where("");
          if (failed == 1) {
            ASSERT_EQ(copies, std::vector<std::string>{P("dup/x.bin")});
          } else if (!op.Permanent && op.Operation != poLink) {
            ASSERT_EQ(copies.size(), 1u);
          }
          // Nothing of the operation's own is left beside the file or at the target.
          for (const std::string& dir : {P("dup"), fRoot + "/out"}) {
            if (!fs::exists(dir)) continue;
            for (const std::string& name : test::FolderEntries(dir)) ASSERT_EQ(name.find(".pelcrow"), std::string::npos) << name;
          }
          if (failed == 0) {
            ASSERT_TRUE(Undo());
            ASSERT_EQ(ReadAll(P("dup/x.bin")), bytes);
            ASSERT_FALSE(fs::is_symlink(P("dup/x.bin")));
            ASSERT_EQ(MTimeNs(P("dup/x.bin")), kModified.UnixNanoseconds());
          }
          if (!hit) break;  // past the last call of this kind
        }
      }
    }
  }
}

// The same for undo: a call failing at any point of putting a file back leaves it where the
// action put it, and a second undo (from the journal, as after a restart) brings it back.
TEST_F(NothingLostTest, AFailingCallDuringUndoLosesNoByte) {
  const std::string bytes = std::string(200000, 'u') + "end";
  const TSysCall calls[] = {TSysCall::scOpenAt, TSysCall::scRead,  TSysCall::scWrite,    TSysCall::scRenameAt,
                            TSysCall::scLinkAt, TSysCall::scUnlinkAt, TSysCall::scFSync, TSysCall::scFChmod,
                            TSysCall::scFUtimens, TSysCall::scCopyFileRange};
  for (const TOp& op : kOps) {
    for (TSysCall call : calls) {
      for (int nth = 1; nth < 40; ++nth) {
        SCOPED_TRACE(std::string(op.Name) + " call " + std::to_string(static_cast<int>(call)) + " #" + std::to_string(nth));
        FreshPair(bytes);
        const TProcessingOptions o = OptionsFor(op);
        bool hit = false;
        {
          TFaultySys sys;
          sys.ForceExdev = op.Exdev;
          int failed = 0;
          Run(o, &failed);
          ASSERT_EQ(failed, 0);
          sys.FailAt(call, nth, EIO);
          Undo();
          hit = sys.Hit();
        }
        ASSERT_EQ(ReadAll(P("keep/x.bin")), bytes);
        std::vector<TJournalAction> actions = TActionJournal::ReadAll();
        ASSERT_EQ(actions.size(), 1u);
        std::vector<std::string> log;
        UndoJournalAction(actions[0], log);
        ASSERT_TRUE(log.empty()) << log.front();
        ASSERT_EQ(ReadAll(P("dup/x.bin")), bytes);
        ASSERT_FALSE(fs::is_symlink(P("dup/x.bin")));
        ASSERT_EQ(MTimeNs(P("dup/x.bin")), kModified.UnixNanoseconds());
        // Nothing of the undo's own is left beside it.
        ASSERT_EQ(test::FolderEntries(P("dup")), std::vector<std::string>{"x.bin"});
        if (!hit) break;
      }
    }
  }
}

// Short reads and writes everywhere: the operations still complete and copy every byte.
TEST_F(NothingLostTest, ShortReadsAndWritesStillCopyEveryByte) {
  const std::string bytes = std::string(100000, 'q') + "tail";
  Write("keep/x.bin", bytes);
  Write("dup/x.bin", bytes);
  Scan();
  Select("dup/x.bin");
  TFaultySys sys;
  sys.Short = true;
  sys.ForceExdev = true;
  sys.FailAt(TSysCall::scCopyFileRange, 1, EXDEV);  // the buffered path
  TProcessingOptions o;
  o.Operation = poMove;
  o.MoveFolder = fRoot + "/out";
  EXPECT_EQ(Run(o), "");
  EXPECT_EQ(ReadAll(fRoot + "/out/x.bin"), bytes);
  ASSERT_TRUE(Undo());
  EXPECT_EQ(ReadAll(P("dup/x.bin")), bytes);
}

// The journal outlives the engine: an action is undone from it alone, as after a restart.
TEST_F(NothingLostTest, JournalUndoesAfterARestart) {
  Write("keep/a.bin", "aaaa");
  Write("dup/a.bin", "aaaa");
  Write("keep/b.bin", "bbbb");
  Write("dup/b.bin", "bbbb");
  Scan();
  Select("dup/a.bin");
  Select("dup/b.bin");
  TProcessingOptions o;
  o.Operation = poMove;
  o.MoveFolder = fRoot + "/out";
  EXPECT_EQ(Run(o), "");
  fEngine.ClearResults();  // the program ends
  std::vector<TJournalAction> actions = TActionJournal::ReadAll();
  ASSERT_EQ(actions.size(), 1u);
  EXPECT_EQ(actions[0].Undoable(), 2);
  std::vector<std::string> log;
  EXPECT_EQ(UndoJournalAction(actions[0], log), 2);
  EXPECT_TRUE(log.empty());
  EXPECT_EQ(ReadAll(P("dup/a.bin")), "aaaa");
  EXPECT_EQ(ReadAll(P("dup/b.bin")), "bbbb");
  EXPECT_EQ(TActionJournal::ReadAll()[0].Undoable(), 0);
}

// A plan on disk without outcomes (the program was killed) is settled from what the disk shows.
TEST_F(NothingLostTest, UnfinishedPlansAreSettledFromTheDisk) {
  Write("dup/moved.bin", "m");
  Write("dup/stayed.bin", "s");
  fs::create_directories(fRoot + "/out");
  auto journal = std::make_unique<TActionJournal>();
  ASSERT_EQ(journal->Begin(faMove, TDateTime::Now(), 0), 0);
  std::vector<std::unique_ptr<TJournalItem>> items;
  std::vector<TJournalItem*> recs;
  for (const char* name : {"moved.bin", "stayed.bin"}) {
    auto it = std::make_unique<TJournalItem>();
    it->ActionType = faMove;
    it->Folder = P("dup");
    it->Name = name;
    platform::TCheckedFolder dir;
    ASSERT_EQ(dir.Open(it->Folder), 0);
    ASSERT_EQ(platform::StatEntry(dir.Fd(), name, it->Source), 0);
    it->Target = fRoot + "/out/" + name;
    recs.push_back(it.get());
    items.push_back(std::move(it));
  }
  ASSERT_EQ(journal->Plan(recs), 0);
  ASSERT_EQ(::rename(P("dup/moved.bin").c_str(), (fRoot + "/out/moved.bin").c_str()), 0);
  // The process dies here: no outcome is written, its lock goes.
  const std::string id = journal->Id();
  journal.reset();
  TJournalAction a;
  ASSERT_EQ(TActionJournal::Read(id, a), 0);
  ASSERT_EQ(a.Items.size(), 2u);
  EXPECT_EQ(a.Items[0].State, TJournalItem::jsDone);
  EXPECT_EQ(a.Items[1].State, TJournalItem::jsFailed);
  std::vector<std::string> log;
  EXPECT_EQ(UndoJournalAction(a, log), 1);
  EXPECT_EQ(ReadAll(P("dup/moved.bin")), "m");
}

// A pass that still runs holds its journal: a reader (another process's undo or --list) neither
// settles nor undoes it, whatever the disk shows meanwhile.
TEST_F(NothingLostTest, AJournalInUseIsNeitherSettledNorUndone) {
  Write("dup/a.bin", "a");
  auto journal = std::make_unique<TActionJournal>();
  ASSERT_EQ(journal->Begin(faMove, TDateTime::Now(), 0), 0);
  TJournalItem item;
  item.ActionType = faMove;
  item.Folder = P("dup");
  item.Name = "a.bin";
  platform::TCheckedFolder dir;
  ASSERT_EQ(dir.Open(item.Folder), 0);
  ASSERT_EQ(platform::StatEntry(dir.Fd(), item.Name, item.Source), 0);
  item.Target = fRoot + "/out/a.bin";
  std::vector<TJournalItem*> recs{&item};
  ASSERT_EQ(journal->Plan(recs), 0);
  fs::create_directories(fRoot + "/out");
  fs::rename(P("dup/a.bin"), fRoot + "/out/a.bin");  // moved; its outcome is not written yet
  TJournalAction a;
  ASSERT_EQ(TActionJournal::Read(journal->Id(), a), 0);
  EXPECT_TRUE(a.InProgress);
  EXPECT_EQ(a.Undoable(), 0);
  std::vector<std::string> log;
  EXPECT_EQ(UndoJournalAction(a, log), 0);
  EXPECT_TRUE(fs::exists(fRoot + "/out/a.bin"));
  const std::string id = journal->Id();
  journal.reset();  // the pass ends (or its process dies): the lock goes
  ASSERT_EQ(TActionJournal::Read(id, a), 0);
  EXPECT_FALSE(a.InProgress);
  EXPECT_EQ(a.Undoable(), 1);
  EXPECT_EQ(UndoJournalAction(a, log), 1);
  EXPECT_EQ(ReadAll(P("dup/a.bin")), "a");
}

// Names with the journal's own separators, and a last line cut short by a crash.
TEST_F(NothingLostTest, JournalKeepsAnyNameAndSurvivesACutLine) {
  const std::string name = "t\tab %41 new\nline.bin";
  Write("keep/" + name, "same");
  Write("dup/" + name, "same");
  Scan();
  Select("dup/" + name);
  TProcessingOptions o;
  o.Operation = poMove;
  o.MoveFolder = fRoot + "/out";
  EXPECT_EQ(Run(o), "");
  std::vector<TJournalAction> actions = TActionJournal::ReadAll();
  ASSERT_EQ(actions.size(), 1u);
  ASSERT_EQ(actions[0].Items.size(), 1u);
  EXPECT_EQ(actions[0].Items[0].Name, name);
  EXPECT_EQ(actions[0].Items[0].Target, fRoot + "/out/" + name);
  // A crash in the middle of a line: the fragment never counts, and the next record starts a line.
  const std::string file = TActionJournal::Directory() + "/" + actions[0].Id + ".journal";
  { std::ofstream(file, std::ios::app) << "D\t1\t/nowhere"; }
  std::vector<std::string> log;
  ASSERT_EQ(UndoJournalAction(actions[0], log), 1) << (log.empty() ? "" : log[0]);
  EXPECT_EQ(ReadAll(P("dup/" + name)), "same");
  EXPECT_EQ(TActionJournal::ReadAll()[0].Undoable(), 0);
}

}  // namespace
}  // namespace pelcrow
