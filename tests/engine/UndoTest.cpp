// Undo on real files: each test processes small files the way the processing commands do (file
// times saved, the file operation, then the action record) and undoes the action.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "FileFixtures.h"
#include "TestUtil.h"
#include "engine/ItemFlags.h"
#include "engine/ScanEngine.h"
#include "medialib/RecordingMediaLibraries.h"
#include "platform/FileTransfer.h"
#include "platform/Trash.h"

namespace pelcrow {
namespace {

using pelcrow::test::Exists;
using pelcrow::test::IsLink;
using pelcrow::test::SetImmutable;

namespace fs = std::filesystem;
using test::ReadAll;
using test::TScopedEnv;
using Lines = std::vector<std::string>;

const TDateTime kAccessed = TDateTime::FromUnix(1100000000, 222);
const TDateTime kModified = TDateTime::FromUnix(1000000000, 123456789);
const TDateTime kKeptModified = TDateTime::FromUnix(1200000000, 5);
const std::string kSuccess = "The operation completed successfully.    ";

std::int64_t MTimeNs(const std::string& path) {
  struct stat st {};
  ::lstat(path.c_str(), &st);
  return st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec;
}


class TRecordingProgress final : public IUndoProgress {
 public:
  void ShowUndoProgress(const std::string& WaitText, int Percent) override {
    Shown.push_back(WaitText + " | " + std::to_string(Percent));
  }
  void SetUndoEnabled(bool Enabled) override { Shown.push_back(Enabled ? "enabled" : "disabled"); }
  void HideUndoProgress() override { Shown.push_back("hidden"); }
  Lines Shown;
};

// Public: the case tables reach the helpers through a reference.
class UndoTest : public ::testing::Test {
 public:
  void SetUp() override {
    fRoot = fs::canonical(fDir.path()).string();
    fs::create_directories(fRoot + "/home/data");
    // A trash of the test's own.
    fHome = std::make_unique<TScopedEnv>("HOME", fRoot + "/home");
    fData = std::make_unique<TScopedEnv>("XDG_DATA_HOME", fRoot + "/home/data");
    fEngine.SetUndoProgress(&fProgress);
  }
  void TearDown() override {
    fData.reset();
    fHome.reset();
  }

  std::string P(const std::string& rel) const { return fRoot + "/" + rel; }

  // A file with known times, and its result item in the given list (the engine owns it).
  PFileItem AddFile(const std::string& rel, const std::string& bytes, std::vector<PFileItem>* list = nullptr,
                    TDateTime modified = kModified) {
    const std::string path = fDir.Write(rel, bytes);
    EXPECT_EQ(platform::WriteFileTimes(path, kAccessed, modified), 0);
    const fs::path p(P(rel));
    PFileItem it = test::MakeItem(p.parent_path().string(), p.filename().string(), 1,
                                  static_cast<std::int64_t>(bytes.size()));
    if (list != nullptr) {
      list->push_back(it);
    } else {
      fEngine.AddItem(it);
    }
    return it;
  }
  PFileItem AddKept(const std::string& rel, const std::string& bytes) { return AddFile(rel, bytes, nullptr, kKeptModified); }

  // What a processing command does for one item: save the times, act, record.
  void Process(PFileItem it, std::uint8_t type, int action, const std::string& target,
               const std::function<void()>& operation) {
    TScanEngine::SaveFileTimes(it);
    ASSERT_TRUE(it->PFileTimes);
    operation();
    SetFileProcessed(it, true);
    it->ActionGroup = action;
    it->ActionType = type;
    it->TargetPath = TItemString(target);
  }
  // The file operations of the five actions, with the target each records.
  void Delete(PFileItem it, int action, const std::string& kept) {
    Process(it, faDelete, action, kept, [&] { ASSERT_EQ(::unlink(it->FullPath().c_str()), 0); });
  }
  void Recycle(PFileItem it, int action, const std::string& kept) {
    Process(it, faRecycle, action, kept, [&] { ASSERT_TRUE(platform::MoveToTrash(it->FullPath()).Ok()); });
  }
  void Move(PFileItem it, int action, const std::string& to) {
    Process(it, faMove, action, to, [&] {
      ASSERT_EQ(platform::CreateFolders(fs::path(to).parent_path().string()), 0);
      ASSERT_EQ(::rename(it->FullPath().c_str(), to.c_str()), 0);
    });
  }
  void Rename(PFileItem it, int action) {
    const std::string to = it->Path.str() + "/Copy of " + it->Name.str();
    Process(it, faRename, action, to, [&] { ASSERT_EQ(::rename(it->FullPath().c_str(), to.c_str()), 0); });
  }
  void Link(PFileItem it, int action, const std::string& kept) {
    Process(it, faCreateLink, action, kept, [&] {
      ASSERT_EQ(::unlink(it->FullPath().c_str()), 0);
      ASSERT_EQ(::symlink(kept.c_str(), it->FullPath().c_str()), 0);
    });
  }

  static void ExpectReverted(PFileItem it) {
    EXPECT_FALSE(it->fProcessed);
    EXPECT_EQ(it->ActionGroup, 0);
    EXPECT_EQ(it->ActionType, kNoAction);
    EXPECT_TRUE(it->TargetPath.empty());
    EXPECT_FALSE(it->PFileTimes);
  }
  static void ExpectStillProcessed(PFileItem it, int action, std::uint8_t type) {
    EXPECT_TRUE(it->fProcessed);
    EXPECT_EQ(it->ActionGroup, action);
    EXPECT_EQ(it->ActionType, type);
    EXPECT_TRUE(it->PFileTimes);
  }
  // The file is back with its bytes and modification time, as a real file.
  void ExpectBack(PFileItem it, const std::string& bytes) {
    const std::string f = it->FullPath();
    EXPECT_FALSE(IsLink(f)) << f;
    EXPECT_EQ(ReadAll(f), bytes) << f;
    EXPECT_EQ(MTimeNs(f), kModified.UnixNanoseconds()) << f;
  }
  std::vector<platform::TTrashEntry> OwnTrashEntries() const {
    std::vector<platform::TTrashEntry> own;
    for (platform::TTrashEntry& e : platform::ListTrashEntries())
      if (e.OriginalPath.rfind(fRoot, 0) == 0) own.push_back(std::move(e));
    return own;
  }

  test::TTempDir fDir;
  std::string fRoot;
  std::unique_ptr<TScopedEnv> fHome, fData;
  TScanEngine fEngine{cmCRC32, TPcwCompareOptions()};
  TMediaLibSyncOptions fMediaLibs;  // both off unless a test switches them on
  test::TScriptedPrompt fPrompt;
  TRecordingProgress fProgress;
};

TEST_F(UndoTest, EveryActionTypeBringsBackBytesAndTimes) {
  // Bytes that a text-mode copy or a lossy path would change.
  const std::string bytes = std::string("\0\x01\xFF\r\n\x1A tail", 10) + std::string(70000, 'q');
  struct TCase {
    const char* Name;
    std::function<void(UndoTest&, PFileItem, const std::string& kept)> Act;
  };
  const TCase cases[] = {
      {"delete", [](UndoTest& t, PFileItem it, const std::string& kept) { t.Delete(it, 1, kept); }},
      {"recycle", [](UndoTest& t, PFileItem it, const std::string& kept) { t.Recycle(it, 1, kept); }},
      {"move", [](UndoTest& t, PFileItem it, const std::string&) { t.Move(it, 1, t.P("moved/new/a b.bin")); }},
      {"rename", [](UndoTest& t, PFileItem it, const std::string&) { t.Rename(it, 1); }},
      {"link", [](UndoTest& t, PFileItem it, const std::string& kept) { t.Link(it, 1, kept); }},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    const std::string base = std::string(c.Name) + "/";
    PFileItem kept = AddKept(base + "keep/a b.bin", bytes);
    PFileItem dup = AddFile(base + "dup/a b.bin", bytes);
    c.Act(*this, dup, kept->FullPath());
    ASSERT_FALSE(Exists(dup->FullPath()) && !IsLink(dup->FullPath()));

    int count = 0;
    std::uint8_t type = kNoAction;
    fEngine.GetActionInfo(1, count, type);
    EXPECT_EQ(count, 1);

    fPrompt.Messages.clear();
    EXPECT_TRUE(fEngine.UndoAction(1, count, TDateTime::Now(), fMediaLibs));
    ExpectReverted(dup);
    ExpectBack(dup, bytes);
    // The kept copy is untouched.
    EXPECT_EQ(ReadAll(kept->FullPath()), bytes);
    EXPECT_EQ(MTimeNs(kept->FullPath()), kKeptModified.UnixNanoseconds());
    // Only the success message, no error log.
    EXPECT_TRUE(fPrompt.UndoStatus.empty());
    ASSERT_EQ(fPrompt.Messages.size(), 1u);
    EXPECT_EQ(fPrompt.Messages[0].first, TMessageKind::mkInformation);
    EXPECT_EQ(fPrompt.Messages[0].second, kSuccess);
    fEngine.GetActionInfo(1, count, type);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(type, kNoAction);
  }
  // Nothing left behind: the trash is empty again, the moved and renamed names are gone, and
  // the folder the move made has been removed.
  EXPECT_TRUE(OwnTrashEntries().empty());
  EXPECT_FALSE(Exists(P("moved")));
  EXPECT_EQ(test::FolderEntries(P("rename/dup")), (Lines{"a b.bin"}));
}

TEST_F(UndoTest, FailuresStayWithTheirItemsAndAreListed) {
  struct TCase {
    const char* Name;
    std::uint8_t Type;
    // Processes the item (the kept copy is given) and then spoils the undo.
    std::function<void(UndoTest&, PFileItem, PFileItem kept)> Act;
    std::string Line;    // after "<path> -> "
    std::string Counts;  // the status text's middle sentence
  };
  const TCase cases[] = {
      {"kept copy deleted meanwhile", faDelete,
       [](UndoTest& t, PFileItem it, PFileItem kept) {
         t.Delete(it, 1, kept->FullPath());
         ::unlink(kept->FullPath().c_str());
       },
       "Original file does not exist", "1 of 1 items were not restored."},
      {"no kept copy", faDelete, [](UndoTest& t, PFileItem it, PFileItem) { t.Delete(it, 1, ""); },
       "Original file does not exist", "1 of 1 items were not restored."},
      {"folder replaced by a file", faDelete,
       [](UndoTest& t, PFileItem it, PFileItem kept) {
         t.Delete(it, 1, kept->FullPath());
         fs::remove_all(it->Path.str());
         t.fDir.Write(fs::path(it->Path.str()).lexically_relative(t.fRoot).string(), "in the way");
       },
       "Cannot write to destination file", "1 of 1 items were not restored."},
      {"trash emptied and kept copy gone", faRecycle,
       [](UndoTest& t, PFileItem it, PFileItem kept) {
         t.Recycle(it, 1, kept->FullPath());
         fs::remove_all(t.P("home/data/Trash"));
         ::unlink(kept->FullPath().c_str());
       },
       "Original file does not exist", "1 of 1 items were not restored."},
      {"moved file gone", faMove,
       [](UndoTest& t, PFileItem it, PFileItem) {
         t.Move(it, 1, t.P("elsewhere/a.bin"));
         ::unlink(t.P("elsewhere/a.bin").c_str());
       },
       "Source file does not exist", "1 of 1 items were not moved back."},
      {"old name taken after a move", faMove,
       [](UndoTest& t, PFileItem it, PFileItem) {
         t.Move(it, 1, t.P("elsewhere/a.bin"));
         t.fDir.Write("case/dup/a.bin", "newcomer");
       },
       "Cannot write to destination file", "1 of 1 items were not moved back."},
      {"old name taken after a rename", faRename,
       [](UndoTest& t, PFileItem it, PFileItem) {
         t.Rename(it, 1);
         t.fDir.Write("case/dup/a.bin", "newcomer");
       },
       "Cannot write to destination file", "1 of 1 items were not renamed."},
      {"renamed file gone", faRename,
       [](UndoTest& t, PFileItem it, PFileItem) {
         t.Rename(it, 1);
         ::unlink(it->TargetPath.c_str());
       },
       "Source file does not exist", "1 of 1 items were not renamed."},
      {"link target gone", faCreateLink,
       [](UndoTest& t, PFileItem it, PFileItem kept) {
         t.Link(it, 1, kept->FullPath());
         ::unlink(kept->FullPath().c_str());
       },
       "Original file does not exist", "1 of 1 items were not restored."},
      {"unknown action", 100,
       [](UndoTest& t, PFileItem it, PFileItem kept) {
         t.Process(it, 100, 1, kept->FullPath(), [] {});
       },
       "Unknown action", ""},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    fs::remove_all(P("case"));
    fs::remove_all(P("elsewhere"));
    fEngine.ClearResults();
    PFileItem kept = AddKept("case/keep/a.bin", "content");
    PFileItem dup = AddFile("case/dup/a.bin", "content");
    c.Act(*this, dup, kept);
    const std::string before = Exists(dup->FullPath()) ? ReadAll(dup->FullPath()) : "<none>";
    const std::string target = dup->TargetPath.str();

    fPrompt.Messages.clear();
    fPrompt.UndoStatus.clear();
    fPrompt.UndoLines.clear();
    EXPECT_TRUE(fEngine.UndoAction(1, 1, TDateTime::Now(), fMediaLibs));  // no Retry chosen
    ExpectStillProcessed(dup, 1, c.Type);
    EXPECT_EQ(dup->TargetPath.str(), target);
    EXPECT_TRUE(fPrompt.Messages.empty());
    ASSERT_EQ(fPrompt.UndoStatus.size(), 1u);
    EXPECT_EQ(fPrompt.UndoStatus[0], "The operation completed with the following warnings:\n" +
                                         (c.Counts.empty() ? "" : c.Counts + " ") + "See error log below.");
    EXPECT_EQ(fPrompt.UndoLines[0], (Lines{dup->FullPath() + " -> " + c.Line}));
    // Whatever has the item's name now was left alone.
    EXPECT_EQ(Exists(dup->FullPath()) ? ReadAll(dup->FullPath()) : "<none>", before);
  }
}


TEST_F(UndoTest, ALinkThatCannotBeDeletedStays) {
  PFileItem kept = AddKept("keep/a.txt", "same");
  PFileItem dup = AddFile("dup/a.txt", "same");
  Link(dup, 1, kept->FullPath());
  if (!SetImmutable(dup->Path.str(), true)) GTEST_SKIP() << "no immutable flag here";
  const bool done = fEngine.UndoAction(1, 1, TDateTime::Now(), fMediaLibs);
  SetImmutable(dup->Path.str(), false);
  EXPECT_TRUE(done);
  ExpectStillProcessed(dup, 1, faCreateLink);
  ASSERT_EQ(fPrompt.UndoLines.size(), 1u);
  EXPECT_EQ(fPrompt.UndoLines[0], (Lines{dup->FullPath() + " -> Unable to delete a symbolic link"}));
  EXPECT_TRUE(IsLink(dup->FullPath()));
}

TEST_F(UndoTest, MoveRemovesOnlyTheEmptyFoldersItMade) {
  fs::create_directories(P("archive/old"));
  // Older than the action by more than the clock's slack.
  std::this_thread::sleep_for(std::chrono::milliseconds(1200));
  const TDateTime started = TDateTime::Now();
  PFileItem a = AddFile("src/a.bin", "A");
  PFileItem b = AddFile("src/b.bin", "B");
  PFileItem c = AddFile("src/c.bin", "C");
  PFileItem d = AddFile("src/d.bin", "D");
  Move(a, 1, P("archive/new1/new2/a.bin"));
  Move(b, 1, P("archive/b.bin"));
  Move(c, 1, P("archive/new3/c.bin"));
  Move(d, 1, P("archive/old/d.bin"));
  fDir.Write("archive/new3/user.txt", "put here by the user");

  EXPECT_TRUE(fEngine.UndoAction(1, 4, started, fMediaLibs));
  for (PFileItem it : {a, b, c, d}) ExpectReverted(it);
  EXPECT_EQ(ReadAll(P("src/a.bin")), "A");
  EXPECT_EQ(ReadAll(P("src/d.bin")), "D");
  // new1/new2 went; archive and archive/old existed before and stay; new3 is not empty.
  EXPECT_EQ(test::FolderEntries(P("archive")), (Lines{"new3", "old"}));
  EXPECT_EQ(test::FolderEntries(P("archive/new3")), (Lines{"user.txt"}));
  EXPECT_TRUE(test::FolderEntries(P("archive/old")).empty());
}

TEST_F(UndoTest, MoveBackAcrossVolumes) {
  fs::create_directories(P("vol"));
  if (::mount("tmpfs", P("vol").c_str(), "tmpfs", 0, "size=4m") != 0) GTEST_SKIP() << "cannot mount a tmpfs here";
  const std::string bytes(300000, '\x7F');
  PFileItem it = AddFile("src/a.bin", bytes);
  Process(it, faMove, 1, P("vol/new/a.bin"), [&] {
    ASSERT_EQ(platform::CreateFolders(P("vol/new")), 0);
    ASSERT_EQ(platform::MoveFileNoOverwrite(it->FullPath(), P("vol/new/a.bin")), 0);
  });
  const bool ok = fEngine.UndoAction(1, 1, TDateTime::Now(), fMediaLibs);
  const Lines left = test::FolderEntries(P("vol"));
  ::umount2(P("vol").c_str(), MNT_DETACH);
  EXPECT_TRUE(ok);
  ExpectReverted(it);
  ExpectBack(it, bytes);
  EXPECT_TRUE(left.empty());
}

TEST_F(UndoTest, TrashedFileRestoredByHandCountsAsSuccess) {
  PFileItem kept = AddKept("keep/a.txt", "same");
  PFileItem dup = AddFile("dup/a.txt", "same");
  Recycle(dup, 1, kept->FullPath());
  fDir.Write("dup/a.txt", "brought back by hand");

  EXPECT_TRUE(fEngine.UndoAction(1, 1, TDateTime::Now(), fMediaLibs));
  ExpectReverted(dup);
  EXPECT_EQ(ReadAll(dup->FullPath()), "brought back by hand");
  // No file operation: the trashed copy is still in the trash.
  EXPECT_EQ(OwnTrashEntries().size(), 1u);
  EXPECT_TRUE(fPrompt.UndoStatus.empty());
}

TEST_F(UndoTest, ALaterNamesakeInTheTrashStaysThere) {
  const TDateTime started = TDateTime::Now();
  PFileItem kept = AddKept("keep/a.txt", "ours");
  PFileItem dup = AddFile("dup/a.txt", "ours");
  Recycle(dup, 1, kept->FullPath());
  // Afterwards a new file of that name was made and trashed as well, an hour later.
  fDir.Write("dup/a.txt", "a later namesake");
  const platform::TTrashResult later = platform::MoveToTrash(dup->FullPath());
  ASSERT_TRUE(later.Ok());
  const TDateTimeParts t = TDateTime::FromUnix(started.UnixSeconds() + 3600).ToLocal();
  char date[32];
  std::snprintf(date, sizeof date, "%04d-%02d-%02dT%02d:%02d:%02d", t.Year, t.Month, t.Day, t.Hour, t.Minute, t.Second);
  fDir.Write(fs::path(later.InfoPath()).lexically_relative(fRoot).string(),
             "[Trash Info]\nPath=" + dup->FullPath() + "\nDeletionDate=" + date + "\n");

  EXPECT_TRUE(fEngine.UndoAction(1, 1, started, fMediaLibs));
  ExpectReverted(dup);
  ExpectBack(dup, "ours");
  const auto left = OwnTrashEntries();
  ASSERT_EQ(left.size(), 1u);
  EXPECT_EQ(ReadAll(left[0].TrashedPath()), "a later namesake");
}

TEST_F(UndoTest, EmptiedTrashFallsBackToTheKeptCopy) {
  PFileItem kept = AddKept("keep/a.txt", "same bytes");
  PFileItem dup = AddFile("dup/a.txt", "same bytes");
  Recycle(dup, 1, kept->FullPath());
  fs::remove_all(P("home/data/Trash"));
  EXPECT_TRUE(fEngine.UndoAction(1, 1, TDateTime::Now(), fMediaLibs));
  ExpectReverted(dup);
  ExpectBack(dup, "same bytes");
}

TEST_F(UndoTest, LinkReplacedByARealFileMeanwhileIsLeftAlone) {
  PFileItem kept = AddKept("keep/a.txt", "same");
  PFileItem dup = AddFile("dup/a.txt", "same");
  Link(dup, 1, kept->FullPath());
  ::unlink(dup->FullPath().c_str());
  fDir.Write("dup/a.txt", "the user's own file");
  EXPECT_TRUE(fEngine.UndoAction(1, 1, TDateTime::Now(), fMediaLibs));
  ExpectReverted(dup);
  EXPECT_EQ(ReadAll(dup->FullPath()), "the user's own file");
}

TEST_F(UndoTest, RetryRevertsOnlyWhatIsLeft) {
  PFileItem kept = AddKept("keep/a.txt", "same");
  PFileItem one = AddFile("one/a.txt", "same");
  PFileItem two = AddFile("two/a.txt", "same");
  PFileItem other = AddFile("other/a.txt", "same");
  Delete(one, 3, kept->FullPath());
  Delete(two, 3, P("gone/a.txt"));  // its kept copy is missing for now
  Delete(other, 2, kept->FullPath());

  fPrompt.RetryAnswers = {true};
  EXPECT_FALSE(fEngine.UndoAction(3, 2, TDateTime::Now(), fMediaLibs));
  EXPECT_EQ(fPrompt.UndoStatus, (Lines{"The operation completed with the following warnings:\n"
                                       "1 of 2 items were not restored. See error log below."}));
  ExpectReverted(one);
  ExpectStillProcessed(two, 3, faDelete);
  ExpectStillProcessed(other, 2, faDelete);
  EXPECT_EQ(fProgress.Shown, (Lines{"Processing ... | 0", "disabled", "Processing ... (50%) | 50",
                                    "Processing ... (100%) | 100", "hidden"}));

  // The main window recounts and runs the undo again once the user has fixed the cause.
  int count = 0;
  std::uint8_t type = kNoAction;
  fEngine.GetActionInfo(3, count, type);
  EXPECT_EQ(count, 1);
  EXPECT_EQ(type, faDelete);
  fDir.Write("gone/a.txt", "same");
  fDir.Write("one/a.txt", "changed since its undo");
  EXPECT_TRUE(fEngine.UndoAction(3, count, TDateTime::Now(), fMediaLibs));
  ExpectReverted(two);
  EXPECT_EQ(ReadAll(two->FullPath()), "same");
  EXPECT_EQ(ReadAll(one->FullPath()), "changed since its undo");
  ExpectStillProcessed(other, 2, faDelete);
  EXPECT_FALSE(Exists(other->FullPath()));
  EXPECT_EQ(fPrompt.Messages.back().second, kSuccess);
}

TEST_F(UndoTest, AStaleCountNeverHidesAFailure) {
  PFileItem kept = AddKept("keep/a.txt", "same");
  PFileItem one = AddFile("one/a.txt", "same");
  PFileItem two = AddFile("two/a.txt", "same");
  Delete(one, 1, kept->FullPath());
  Delete(two, 1, P("gone/a.txt"));
  // One reverted item matches the count handed in, but the other failed: that is no success.
  EXPECT_TRUE(fEngine.UndoAction(1, 1, TDateTime::Now(), fMediaLibs));
  EXPECT_TRUE(fPrompt.Messages.empty());
  EXPECT_EQ(fPrompt.UndoStatus, (Lines{"The operation completed with the following warnings:\n"
                                       "1 of 2 items were not restored. See error log below."}));
  EXPECT_EQ(fProgress.Shown, (Lines{"Processing ... | 0", "disabled", "Processing ... (100%) | 100", "hidden"}));

  // A count of 0 divides nothing.
  fPrompt.UndoStatus.clear();
  EXPECT_TRUE(fEngine.UndoAction(1, 0, TDateTime::Now(), fMediaLibs));
  EXPECT_EQ(fPrompt.UndoStatus.size(), 1u);
  ExpectStillProcessed(two, 1, faDelete);
}

TEST_F(UndoTest, AnErrorOutsideAnItemEndsTheWalk) {
  // A grid that fails while being told about a reverted row.
  class TBrokenView final : public IScanView {
   public:
    void ListChanged(int) override {}
    void RowChanged(int) override { throw std::runtime_error("grid gone"); }
    void Refresh() override {}
  } view;
  PFileItem kept = AddKept("keep/a.txt", "same");
  PFileItem one = AddFile("one/a.txt", "same");
  PFileItem two = AddFile("two/a.txt", "same");
  Delete(one, 1, kept->FullPath());
  Delete(two, 1, kept->FullPath());
  fEngine.SortResults(&view, -1, soAsc);
  EXPECT_TRUE(fEngine.UndoAction(1, 2, TDateTime::Now(), fMediaLibs));
  ASSERT_EQ(fPrompt.UndoLines.size(), 1u);
  EXPECT_EQ(fPrompt.UndoLines[0], (Lines{"General error: grid gone"}));
  ExpectReverted(one);
  ExpectStillProcessed(two, 1, faDelete);
  EXPECT_EQ(fProgress.Shown.back(), "hidden");
}

TEST_F(UndoTest, ActionsSpanEveryListAndAnyNumber) {
  PFileItem kept = AddKept("keep/a.txt", "x");
  PFileItem visible = AddFile("v/a.txt", "x");
  PFileItem filtered = AddFile("f/a.txt", "x", &fEngine.FilesHiddenByFilter());
  PFileItem byCategory = AddFile("c/a.txt", "x", &fEngine.FilesHiddenByCategory());
  PFileItem notProcessed = AddFile("n/a.txt", "x");
  // Numbers past 127 stay distinct.
  Delete(visible, 300, kept->FullPath());
  Delete(filtered, 300, kept->FullPath());
  Rename(byCategory, 300);
  Delete(notProcessed, 44, kept->FullPath());
  SetFileProcessed(notProcessed, false);
  notProcessed->ActionGroup = 300;

  int count = 0;
  std::uint8_t type = kNoAction;
  fEngine.GetActionInfo(300, count, type);
  EXPECT_EQ(count, 3);
  EXPECT_EQ(type, faRename);  // the last one found
  fEngine.GetActionInfo(300 - 256, count, type);
  EXPECT_EQ(count, 0);
  // A processed item of a loaded list carries no action: number 0 is never an action.
  SetFileProcessed(notProcessed, true);
  notProcessed->ActionGroup = 0;
  fEngine.GetActionInfo(0, count, type);
  EXPECT_EQ(count, 0);

  EXPECT_TRUE(fEngine.UndoAction(300, 3, TDateTime::Now(), fMediaLibs));
  for (PFileItem it : {visible, filtered, byCategory}) {
    ExpectReverted(it);
    ExpectBack(it, "x");
  }
  EXPECT_TRUE(notProcessed->fProcessed);
}

TEST_F(UndoTest, MediaLibrariesFollowMusicAndMediaItems) {
  test::TRecordingMediaLibraries libs(true, true);
  fMediaLibs = libs.Options();
  libs.Memberships[0] = {{"Road", 0, ploWMP}};
  PFileItem keptSong = AddKept("keep/s.mp3", "ID3");
  PFileItem moved = AddFile("music/m.mp3", "ID3 moved");
  PFileItem deleted = AddFile("music/s.mp3", "ID3");
  PFileItem picture = AddFile("pics/p.jpg", "JFIF");
  PFileItem keptPicture = AddKept("keep/p.jpg", "JFIF");
  PFileItem text = AddFile("docs/t.txt", "text");
  PFileItem keptText = AddKept("keep/t.txt", "text");
  Move(moved, 1, P("sorted/m.mp3"));
  Delete(deleted, 1, keptSong->FullPath());
  // Processing remembered the memberships of the deleted song in both libraries.
  deleted->PlayLists = std::make_unique<TPlaylistList>(TPlaylistList{{"Road", 0, ploWMP}, {"Gym", 0, ploITunes}});
  Delete(picture, 1, keptPicture->FullPath());
  Delete(text, 1, keptText->FullPath());

  EXPECT_TRUE(fEngine.UndoAction(1, 4, TDateTime::Now(), fMediaLibs));
  for (PFileItem it : {moved, deleted, picture, text}) ExpectReverted(it);
  EXPECT_EQ(libs.Calls, (Lines{"iTunes.Init", "WMP.Init",
                               // the move: out of the player's library at the old place, in at the new
                               "WMP.Delete " + P("sorted/m.mp3"), "WMP.AddNew " + P("music/m.mp3") + " [WMP:Road]",
                               "iTunes.Rename " + P("sorted/m.mp3") + " -> " + P("music/m.mp3"),
                               // the deletion: back into both, with the remembered playlists
                               "WMP.AddNew " + P("music/s.mp3") + " [WMP:Road,iTunes:Gym]",
                               "iTunes.AddNew " + P("music/s.mp3") + " [WMP:Road,iTunes:Gym]",
                               "WMP.AddNew " + P("pics/p.jpg") + " none", "iTunes.AddNew " + P("pics/p.jpg") + " none",
                               "iTunes.Done", "WMP.Done"}));
  EXPECT_EQ(libs.Moving, std::vector<bool>{true});  // a running player is asked to close
  EXPECT_FALSE(moved->PlayLists);

  // A failed move of a song puts its entry back where the file still is; a text file action
  // opens no synchronisation at all.
  libs.Calls.clear();
  PFileItem song = AddFile("music/n.mp3", "ID3 n");
  Move(song, 2, P("sorted/n.mp3"));
  fDir.Write("music/n.mp3", "newcomer");
  EXPECT_TRUE(fEngine.UndoAction(2, 1, TDateTime::Now(), fMediaLibs));
  EXPECT_EQ(libs.Calls, (Lines{"iTunes.Init", "WMP.Init", "WMP.Delete " + P("sorted/n.mp3"),
                               "WMP.AddNew " + P("sorted/n.mp3") + " [WMP:Road]", "iTunes.Done", "WMP.Done"}));
  // Restoring a deleted song moves nothing: the player may keep running.
  PFileItem gone = AddFile("music/g.mp3", "ID3 g");
  Delete(gone, 4, keptSong->FullPath());
  libs.Moving.clear();
  EXPECT_TRUE(fEngine.UndoAction(4, 1, TDateTime::Now(), fMediaLibs));
  EXPECT_EQ(libs.Moving, std::vector<bool>{false});
  libs.Calls.clear();
  PFileItem other = AddFile("docs/u.txt", "u");
  Rename(other, 3);
  EXPECT_TRUE(fEngine.UndoAction(3, 1, TDateTime::Now(), fMediaLibs));
  EXPECT_TRUE(libs.Calls.empty());
}

TEST_F(UndoTest, FileTimesAreKeptOnlyWhileReadable) {
  PFileItem it = AddFile("a.txt", "a");
  TScanEngine::SaveFileTimes(it);
  ASSERT_TRUE(it->PFileTimes);
  EXPECT_EQ(it->PFileTimes->Modified, kModified);
  EXPECT_EQ(it->PFileTimes->Accessed, kAccessed);
  ASSERT_EQ(platform::WriteFileTimes(it->FullPath(), TDateTime::FromUnix(5), TDateTime::FromUnix(5)), 0);
  TScanEngine::RestoreFileTimes(it, it->FullPath());
  EXPECT_EQ(MTimeNs(it->FullPath()), kModified.UnixNanoseconds());
  TScanEngine::RestoreFileTimes(it, P("missing"));  // errors are ignored

  ::unlink(it->FullPath().c_str());
  TScanEngine::SaveFileTimes(it);
  EXPECT_FALSE(it->PFileTimes);
  TScanEngine::SaveFileTimes(nullptr);
  TScanEngine::ReleaseFileTimes(it);
  EXPECT_FALSE(it->PFileTimes);
}

}  // namespace
}  // namespace pelcrow
