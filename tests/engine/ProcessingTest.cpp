// Processing on real trees: each operation, what the disk looks like afterwards, and the way back
// through the engine's undo.
#include "engine/Processing.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <memory>

#include "FileFixtures.h"
#include "TestUtil.h"
#include "engine/ItemFlags.h"
#include "logging/Logger.h"
#include "platform/FileTransfer.h"
#include "platform/Trash.h"

namespace pelcrow {
namespace {

using pelcrow::test::Exists;
using pelcrow::test::IsLink;
using pelcrow::test::ModeOf;
using pelcrow::test::SetImmutable;

namespace fs = std::filesystem;
using test::ReadAll;
using test::TScopedEnv;

// A time with a fraction of a second, so that a whole-second copy would show.
const TDateTime kModified = TDateTime::FromUnixNanoseconds(1'600'000'000'123'456'789LL);
const TDateTime kAccessed = TDateTime::FromUnixNanoseconds(1'650'000'000'000'000'000LL);

std::int64_t MTimeNs(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) return -1;
  return static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1'000'000'000LL + st.st_mtim.tv_nsec;
}





// Public: the case tables reach the helpers through a reference.
class ProcessingTest : public ::testing::Test {
 public:
  void SetUp() override {
    fRoot = fs::canonical(fDir.path()).string();
    fs::create_directories(fRoot + "/home/data");
    fHome = std::make_unique<TScopedEnv>("HOME", fRoot + "/home");
    fData = std::make_unique<TScopedEnv>("XDG_DATA_HOME", fRoot + "/home/data");
  }
  void TearDown() override {
    fData.reset();
    fHome.reset();
  }

  std::string P(const std::string& rel) const { return fRoot + "/" + rel; }
  // A file with known times below tree/.
  std::string Write(const std::string& rel, const std::string& bytes) {
    const std::string path = fDir.Write("tree/" + rel, bytes);
    EXPECT_EQ(platform::WriteFileTimes(path, kAccessed, kModified), 0);
    return path;
  }
  void Scan() { test::RunScan(fEngine, {P("tree")}); }
  PFileItem ItemAt(const std::string& rel) const {
    const std::string full = P("tree/" + rel);
    for (int i = 0; i < fEngine.ItemCount(); ++i)
      if (fEngine.Item(i)->FullPath() == full) return fEngine.Item(i);
    ADD_FAILURE() << "no item " << rel;
    return nullptr;
  }
  PFileItem Select(const std::string& rel) {
    PFileItem it = ItemAt(rel);
    if (it) SetFileSelected(it, true);
    return it;
  }
  TPassResult Run(const TProcessingOptions& options) {
    TProcessingRun run(fEngine, fHistory, options);
    return run.RunPass();
  }
  // The file at rel has the bytes and the modification time it was written with.
  void ExpectOriginal(const std::string& rel, const std::string& bytes) {
    const std::string f = P("tree/" + rel);
    EXPECT_FALSE(IsLink(f)) << f;
    EXPECT_EQ(ReadAll(f), bytes) << f;
    EXPECT_EQ(MTimeNs(f), kModified.UnixNanoseconds()) << f;
  }
  void Undo() {
    ASSERT_TRUE(UndoLastAction(fEngine, fHistory, TMediaLibSyncOptions()));
    ASSERT_FALSE(fPrompt.Messages.empty());
    EXPECT_EQ(fPrompt.Messages.back().second, "The operation completed successfully.    ");
    EXPECT_TRUE(fPrompt.UndoStatus.empty()) << fPrompt.UndoStatus.front();
  }

  test::TTempDir fDir;
  std::string fRoot;
  std::unique_ptr<TScopedEnv> fHome, fData;
  TScanEngine fEngine{cmCRC32, TPcwCompareOptions()};
  TActionHistory fHistory;
  test::TScriptedPrompt fPrompt;
};

TEST_F(ProcessingTest, TrashedFilesHaveTheirInfoAndComeBackOnUndo) {
  Write("keep/x.txt", "same bytes");
  Write("dup/x.txt", "same bytes");
  Scan();
  PFileItem dup = Select("dup/x.txt");
  TProcessingOptions o;
  o.Operation = poDelete;
  const TPassResult r = Run(o);
  EXPECT_EQ(r.Total, 1);
  EXPECT_EQ(r.Failed, 0);
  EXPECT_FALSE(Exists(P("tree/dup/x.txt")));
  const std::string trash = P("home/data/Trash");
  EXPECT_EQ(ReadAll(trash + "/files/x.txt"), "same bytes");
  const std::string info = ReadAll(trash + "/info/x.txt.trashinfo");
  EXPECT_EQ(info.rfind("[Trash Info]\nPath=" + P("tree/dup/x.txt") + "\nDeletionDate=", 0), 0u) << info;
  EXPECT_TRUE(dup->fProcessed);
  EXPECT_FALSE(dup->fSelected);
  EXPECT_EQ(dup->ActionGroup, 1);
  EXPECT_EQ(dup->ActionType, faRecycle);
  EXPECT_EQ(dup->TargetPath.str(), P("tree/keep/x.txt"));
  EXPECT_EQ(fHistory.fActionNo, 1);
  ASSERT_EQ(fHistory.fActionStarted.size(), 1u);

  Undo();
  ExpectOriginal("dup/x.txt", "same bytes");
  EXPECT_FALSE(Exists(trash + "/files/x.txt"));
  EXPECT_FALSE(dup->fProcessed);
  EXPECT_EQ(fHistory.fActionNo, 0);
  EXPECT_TRUE(fHistory.fActionStarted.empty());
}

TEST_F(ProcessingTest, PermanentDeleteComesBackAsACopyOfTheKeptFile) {
  Write("keep/x.txt", "same bytes");
  Write("dup/x.txt", "same bytes");
  Scan();
  PFileItem dup = Select("dup/x.txt");
  TProcessingOptions o;
  o.Operation = poDelete;
  o.Permanent = true;
  o.RemoveEmpty = true;
  TProcessingRun run(fEngine, fHistory, o);
  EXPECT_EQ(run.RunPass().Failed, 0);
  run.RemoveEmptyFolders();
  EXPECT_FALSE(Exists(P("tree/dup")));  // recorded and empty: removed
  EXPECT_EQ(dup->ActionType, faDelete);
  EXPECT_EQ(fs::directory_iterator(P("home/data")), fs::directory_iterator());  // nothing trashed
  Undo();
  ExpectOriginal("dup/x.txt", "same bytes");
}

TEST_F(ProcessingTest, MoveNamesCollisionsAndUndoRemovesTheFoldersItMade) {
  Write("k1/n.txt", "first content");
  Write("d1/n.txt", "first content");
  Write("k2/n.txt", "second content!");
  Write("d2/n.txt", "second content!");
  fs::create_directories(P("out"));
  Scan();
  Select("d1/n.txt");
  Select("d2/n.txt");
  TProcessingOptions o;
  o.Operation = poMove;
  o.MoveFolder = P("out/new");
  EXPECT_EQ(Run(o).Failed, 0);
  EXPECT_FALSE(Exists(P("tree/d1/n.txt")));
  EXPECT_EQ(test::FolderEntries(P("out/new")), (std::vector<std::string>{"n(1).txt", "n.txt"}));
  EXPECT_EQ(ReadAll(P("out/new/n.txt")) + ReadAll(P("out/new/n(1).txt")), "first contentsecond content!");
  EXPECT_EQ(MTimeNs(P("out/new/n(1).txt")), kModified.UnixNanoseconds());
  EXPECT_EQ(ItemAt("d2/n.txt")->TargetPath.str(), P("out/new/n(1).txt"));
  Undo();
  ExpectOriginal("d1/n.txt", "first content");
  ExpectOriginal("d2/n.txt", "second content!");
  EXPECT_FALSE(Exists(P("out/new")));
  EXPECT_TRUE(Exists(P("out")));
}

TEST_F(ProcessingTest, MoveKeepingTheFolderStructure) {
  Write("keep/n.txt", "content");
  Write("dup/deep/n.txt", "content");
  fs::create_directories(P("out"));
  Scan();
  Select("dup/deep/n.txt");
  TProcessingOptions o;
  o.Operation = poMove;
  o.MoveFolder = P("out");
  o.KeepFolderStructure = true;
  EXPECT_EQ(Run(o).Failed, 0);
  const std::string target = P("out") + P("tree/dup/deep/n.txt");
  EXPECT_EQ(ReadAll(target), "content");
  Undo();
  ExpectOriginal("dup/deep/n.txt", "content");
  EXPECT_EQ(test::FolderEntries(P("out")), std::vector<std::string>{});
}

TEST_F(ProcessingTest, RenameWithPrefixOrPostfixAndBack) {
  struct TCase {
    bool Prefix;
    const char* NewName;
  };
  for (const TCase& c : {TCase{true, "_xa.b.txt"}, TCase{false, "a.b_x.txt"}}) {
    SCOPED_TRACE(c.NewName);
    EXPECT_EQ(RenamedName("a.b.txt", "_x", c.Prefix), c.NewName);
    fEngine.ClearResults();
    fs::remove_all(P("tree"));
    Write("keep/a.b.txt", "content");
    Write("dup/a.b.txt", "content");
    Scan();
    PFileItem dup = Select("dup/a.b.txt");
    TProcessingOptions o;
    o.Operation = poRename;
    o.RenameText = "_x";
    o.RenamePrefix = c.Prefix;
    EXPECT_EQ(Run(o).Failed, 0);
    EXPECT_EQ(test::FolderEntries(P("tree/dup")), std::vector<std::string>{c.NewName});
    EXPECT_EQ(dup->TargetPath.str(), P("tree/dup/") + c.NewName);
    Undo();
    ExpectOriginal("dup/a.b.txt", "content");
    EXPECT_EQ(test::FolderEntries(P("tree/dup")), std::vector<std::string>{"a.b.txt"});
  }
  EXPECT_EQ(RenamedName(".hidden", "_x", false), ".hidden_x");
  EXPECT_EQ(RenamedName("noext", "_x", false), "noext_x");
}

TEST_F(ProcessingTest, RenameOntoAnExistingNameFails) {
  Write("keep/a.txt", "content");
  Write("dup/a.txt", "content");
  Write("dup/_xa.txt", "someone else's");
  Scan();
  PFileItem dup = Select("dup/a.txt");
  TProcessingOptions o;
  o.Operation = poRename;
  o.RenameText = "_x";
  EXPECT_EQ(Run(o).Failed, 1);
  EXPECT_EQ(ReadAll(P("tree/dup/_xa.txt")), "someone else's");
  EXPECT_FALSE(dup->fProcessed);
  EXPECT_TRUE(dup->fSelected);
  EXPECT_EQ(fHistory.fActionNo, 0);
}

TEST_F(ProcessingTest, LinkPointsToTheKeptCopyAndUndoBringsARealFile) {
  Write("keep/x.bin", "linked bytes");
  Write("dup/x.bin", "linked bytes");
  Scan();
  Select("dup/x.bin");
  TProcessingOptions o;
  o.Operation = poLink;
  EXPECT_EQ(Run(o).Failed, 0);
  EXPECT_TRUE(IsLink(P("tree/dup/x.bin")));
  EXPECT_EQ(fs::read_symlink(P("tree/dup/x.bin")).string(), P("tree/keep/x.bin"));
  EXPECT_EQ(ReadAll(P("tree/dup/x.bin")), "linked bytes");
  EXPECT_EQ(test::FolderEntries(P("tree/dup")), std::vector<std::string>{"x.bin"});  // no .sltmp left
  Undo();
  ExpectOriginal("dup/x.bin", "linked bytes");
}

TEST_F(ProcessingTest, LinkWithoutAKeptCopyFails) {
  Write("a/x.bin", "bytes");
  Write("b/x.bin", "bytes");
  Scan();
  Select("a/x.bin");
  Select("b/x.bin");
  TProcessingOptions o;
  o.Operation = poLink;
  std::vector<std::string> reasons;
  TProcessingRun run(fEngine, fHistory, o);
  run.OnItem = [&](PFileItem, const TItemOutcome& r) { reasons.push_back(r.Reason); };
  EXPECT_EQ(run.RunPass().Failed, 2);
  EXPECT_EQ(reasons, (std::vector<std::string>(2, "Its group has no kept copy to link to.")));
  ExpectOriginal("a/x.bin", "bytes");
  ExpectOriginal("b/x.bin", "bytes");
}

// The file or its kept copy changed after the scan: nothing irreversible happens to it.
TEST_F(ProcessingTest, ChangesSinceTheScanMakeTheItemFail) {
  struct TCase {
    const char* Name;
    TProcessingOperation Operation;
    std::function<void(ProcessingTest&)> Change;
    const char* Reason;
  };
  const char* kChanged = "The file has changed since the scan.";
  const char* kKeptGone = "The kept copy of its group no longer exists or has changed.";
  const std::vector<TCase> cases = {
      {"same size, new time", poDelete,
       [](ProcessingTest& t) { platform::WriteFileTimes(t.P("tree/dup/x.txt"), kAccessed, kAccessed); }, kChanged},
      {"new content and size", poDelete, [](ProcessingTest& t) { t.fDir.Write("tree/dup/x.txt", "different!!"); },
       kChanged},
      {"replaced by another file", poDelete,
       [](ProcessingTest& t) {
         // Written beside it first, so it cannot reuse the old file's inode.
         const std::string other = t.Write("dup/x.new", "same bytes");
         EXPECT_EQ(::rename(other.c_str(), t.P("tree/dup/x.txt").c_str()), 0);
       },
       kChanged},
      {"kept copy deleted", poDelete, [](ProcessingTest& t) { EXPECT_EQ(::unlink(t.P("tree/keep/x.txt").c_str()), 0); }, kKeptGone},
      {"kept copy truncated", poLink, [](ProcessingTest& t) { EXPECT_EQ(::truncate(t.P("tree/keep/x.txt").c_str(), 2), 0); },
       kKeptGone},
      {"kept copy is now a link to the item", poLink,
       [](ProcessingTest& t) {
         EXPECT_EQ(::unlink(t.P("tree/keep/x.txt").c_str()), 0);
         EXPECT_EQ(::symlink(t.P("tree/dup/x.txt").c_str(), t.P("tree/keep/x.txt").c_str()), 0);
       },
       kKeptGone},
      {"file gone", poLink, [](ProcessingTest& t) { EXPECT_EQ(::unlink(t.P("tree/dup/x.txt").c_str()), 0); },
       "The file no longer exists."},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    fEngine.ClearResults();
    fs::remove_all(P("tree"));
    Write("keep/x.txt", "same bytes");
    Write("dup/x.txt", "same bytes");
    Scan();
    PFileItem dup = Select("dup/x.txt");
    c.Change(*this);
    const std::string before = ReadAll(P("tree/dup/x.txt"));
    TProcessingOptions o;
    o.Operation = c.Operation;
    o.Permanent = true;
    TProcessingRun run(fEngine, fHistory, o);
    std::string reason;
    run.OnItem = [&](PFileItem, const TItemOutcome& r) { reason = r.Reason; };
    EXPECT_EQ(run.RunPass().Failed, 1);
    EXPECT_EQ(reason, c.Reason);
    EXPECT_FALSE(dup->fProcessed);
    EXPECT_EQ(ReadAll(P("tree/dup/x.txt")), before);
    EXPECT_FALSE(IsLink(P("tree/dup/x.txt")));
  }
  EXPECT_EQ(fHistory.fActionNo, 0);
}

// A loaded list knows whole seconds and no identity.
TEST_F(ProcessingTest, LoadedItemsCompareTheTimeToTheSecond) {
  const std::string path = Write("dup/x.txt", "bytes");
  const std::int64_t second = kModified.UnixNanoseconds() / 1'000'000'000LL;
  std::unique_ptr<TFileItem> same(test::MakeItem(P("tree/dup"), "x.txt", 1, 5, second));
  std::unique_ptr<TFileItem> older(test::MakeItem(P("tree/dup"), "x.txt", 1, 5, second - 1));
  std::unique_ptr<TFileItem> bigger(test::MakeItem(P("tree/dup"), "x.txt", 1, 6, second));
  EXPECT_EQ(CheckUnchangedSinceScan(*same, nullptr), "");
  EXPECT_EQ(CheckUnchangedSinceScan(*older, nullptr), "The file has changed since the scan.");
  EXPECT_EQ(CheckUnchangedSinceScan(*bigger, nullptr), "The file has changed since the scan.");
  // A scanned item knows the nanoseconds.
  same->Device = 1;
  EXPECT_EQ(CheckUnchangedSinceScan(*same, nullptr), "The file has changed since the scan.");
}

TEST_F(ProcessingTest, ReadOnlyQuestionAndItsAnswersForTheRun) {
  struct TCase {
    const char* Name;
    std::vector<TReadOnlyAnswer> Answers;
    int Questions;
    int Failed;
  };
  for (const TCase& c : std::vector<TCase>{
           {"No to All", {TReadOnlyAnswer::raNoToAll}, 1, 2},
           {"Yes to All", {TReadOnlyAnswer::raYesToAll}, 1, 0},
           {"No, then Yes", {TReadOnlyAnswer::raNo, TReadOnlyAnswer::raYes}, 2, 1},
       }) {
    SCOPED_TRACE(c.Name);
    fEngine.ClearResults();
    fs::remove_all(P("tree"));
    for (const char* g : {"1", "2"}) {
      Write(std::string("keep/") + g + ".txt", std::string("content ") + g);
      ::chmod(Write(std::string("dup/") + g + ".txt", std::string("content ") + g).c_str(), 0444);
    }
    Scan();
    Select("dup/1.txt");
    Select("dup/2.txt");
    fPrompt.ReadOnlyAnswers = c.Answers;
    fPrompt.ReadOnlyQuestions.clear();
    TProcessingOptions o;
    o.Operation = poDelete;
    o.Permanent = true;
    EXPECT_EQ(Run(o).Failed, c.Failed);
    ASSERT_EQ(static_cast<int>(fPrompt.ReadOnlyQuestions.size()), c.Questions);
    const std::string question = fPrompt.ReadOnlyQuestions[0];
    const std::string asked = question.substr(0, question.find(' '));
    EXPECT_TRUE(asked == P("tree/dup/1.txt") || asked == P("tree/dup/2.txt")) << question;
    EXPECT_EQ(question, asked + " is marked as READ ONLY.\nDo you really want to process a read only file?");
    // What is left is still read-only.
    for (const char* g : {"tree/dup/1.txt", "tree/dup/2.txt"})
      if (Exists(P(g))) {
        EXPECT_EQ(ModeOf(P(g)), 0444u);
      }
  }
}

// A failed item stays checked; the retry pass processes only it, under the same action number.
TEST_F(ProcessingTest, RetryAfterAFailureKeepsOneActionNumber) {
  Write("keep/1.txt", "content 1");
  Write("keep/2.txt", "content 2");
  Write("dup/1.txt", "content 1");
  ::chmod(Write("dup/2.txt", "content 2").c_str(), 0444);
  Scan();
  PFileItem d1 = Select("dup/1.txt");
  PFileItem d2 = Select("dup/2.txt");
  TProcessingOptions o;
  o.Operation = poMove;
  o.MoveFolder = P("out");
  o.KeepFolderStructure = true;
  o.MoveSettleMilliseconds = 0;
  TProcessingRun run(fEngine, fHistory, o);
  fPrompt.ReadOnlyAnswers = {TReadOnlyAnswer::raNo};
  TPassResult r = run.RunPass();
  EXPECT_EQ(r.Total, 2);
  EXPECT_EQ(r.Failed, 1);
  EXPECT_EQ(run.FailureHead(r), "1 of 2 files were not moved.");
  EXPECT_TRUE(d2->fSelected);
  EXPECT_FALSE(d2->fProcessed);
  EXPECT_FALSE(d2->PFileTimes);
  EXPECT_EQ(test::FolderEntries(P("out") + P("tree/dup")), std::vector<std::string>{"1.txt"});
  fPrompt.ReadOnlyAnswers = {TReadOnlyAnswer::raYes};
  r = run.RunPass();
  EXPECT_EQ(r.Total, 1);
  EXPECT_EQ(r.Failed, 0);
  EXPECT_EQ(fHistory.fActionNo, 1);
  EXPECT_EQ(d1->ActionGroup, 1);
  EXPECT_EQ(d2->ActionGroup, 1);
  EXPECT_EQ(ReadAll(P("out") + P("tree/dup/2.txt")), "content 2");
  // A second operation gets the next number; undo goes back one at a time.
  TProcessingOptions rename;
  rename.Operation = poRename;
  rename.RenameText = "x_";
  SetFileSelected(ItemAt("keep/1.txt"), true);
  // keep/1's group has d1 processed already: only the safety lock would stop this; here the
  // run itself processes what is checked.
  EXPECT_EQ(Run(rename).Failed, 0);
  EXPECT_EQ(fHistory.fActionNo, 2);
  Undo();
  EXPECT_TRUE(Exists(P("tree/keep/1.txt")));
  Undo();
  ExpectOriginal("dup/1.txt", "content 1");
  EXPECT_EQ(ReadAll(P("tree/dup/2.txt")), "content 2");
}

// A file the system will not let go (immutable) fails; once freed, the retry succeeds.
TEST_F(ProcessingTest, LockedFileFailsThenRetrySucceeds) {
  Write("keep/x.txt", "same bytes");
  const std::string dup = Write("dup/x.txt", "same bytes");
  Scan();
  Select("dup/x.txt");
  if (!SetImmutable(dup, true)) GTEST_SKIP() << "no immutable flag here";
  TProcessingOptions o;
  o.Operation = poDelete;
  o.Permanent = true;
  TProcessingRun run(fEngine, fHistory, o);
  std::string reason;
  run.OnItem = [&](PFileItem, const TItemOutcome& r) { reason = r.Reason; };
  EXPECT_EQ(run.RunPass().Failed, 1);
  EXPECT_EQ(reason, "Operation not permitted");
  EXPECT_TRUE(Exists(dup));
  SetImmutable(dup, false);
  EXPECT_EQ(run.RunPass().Failed, 0);
  EXPECT_FALSE(Exists(dup));
  EXPECT_EQ(fHistory.fActionNo, 1);
}

// The lines a run leaves in the log: the success with its new name, the failure with its code.
TEST_F(ProcessingTest, LogLinesOfSuccessAndFailure) {
  Write("keep/a.txt", "content a");
  Write("dup/a.txt", "content a");
  Write("keep/b.txt", "content b");
  Write("dup/b.txt", "content b");
  Write("dup/_b.txt", "in the way");
  Scan();
  Select("dup/a.txt");
  Select("dup/b.txt");
  TLogOptions logOptions;
  logOptions.EnableLogging = true;
  logOptions.LogDirectory = P("logs");
  fs::create_directories(P("logs"));
  StartLogging(logOptions, TPcwLogEvents{leInfo});
  TProcessingOptions o;
  o.Operation = poRename;
  o.RenameText = "_";
  o.LogEvents = TPcwLogEvents{leFileRenamed};
  EXPECT_EQ(Run(o).Failed, 1);
  StopLogging();
  std::string text;  // the log is UTF-16 LE; these paths are ASCII
  for (const auto& e : fs::directory_iterator(P("logs"))) {
    const std::string bytes = ReadAll(e.path().string());
    for (std::size_t i = 2; i < bytes.size(); i += 2) text += bytes[i];
  }
  EXPECT_NE(text.find(P("tree/dup/") + "a.txt" + "  -> _a.txt"), std::string::npos) << text;
  EXPECT_NE(text.find(P("tree/dup/") + "b.txt" + " [17] Failed to rename file. - File exists"), std::string::npos)
      << text;
}

// The single delete takes its row alone, opens its own action, and undo goes back one at a time.
TEST_F(ProcessingTest, SingleDeleteIsItsOwnAction) {
  Write("keep/a.txt", "content a");
  Write("dup/a.txt", "content a");
  Write("keep/b.txt", "content b");
  Write("dup/b.txt", "content b");
  Scan();
  Select("dup/a.txt");
  TProcessingOptions o;
  o.Operation = poDelete;
  o.Permanent = true;
  EXPECT_EQ(Run(o).Failed, 0);
  PFileItem b = Select("dup/b.txt");
  PFileItem other = Select("keep/a.txt");  // checked too, but not the focused row
  int row = -1;
  for (int i = 0; i < fEngine.ItemCount(); ++i)
    if (fEngine.Item(i) == b) row = i;
  o.OnlyRow = row;
  const TPassResult r = Run(o);
  EXPECT_EQ(r.Total, 1);
  EXPECT_EQ(r.Failed, 0);
  EXPECT_FALSE(Exists(P("tree/dup/b.txt")));
  EXPECT_TRUE(Exists(P("tree/keep/a.txt")));
  EXPECT_FALSE(other->fProcessed);
  EXPECT_EQ(b->ActionGroup, 2);
  EXPECT_TRUE(UndoAvailable(fEngine, fHistory));
  Undo();
  ExpectOriginal("dup/b.txt", "content b");
  EXPECT_FALSE(Exists(P("tree/dup/a.txt")));
  Undo();
  ExpectOriginal("dup/a.txt", "content a");
  EXPECT_FALSE(UndoAvailable(fEngine, fHistory));
  EXPECT_FALSE(UndoLastAction(fEngine, fHistory, TMediaLibSyncOptions()));
}

TEST_F(ProcessingTest, DryRunTouchesNothing) {
  Write("keep/n.txt", "content");
  Write("dup/n.txt", "content");
  Scan();
  PFileItem dup = Select("dup/n.txt");
  for (TProcessingOperation op : {poDelete, poMove, poRename, poLink}) {
    TProcessingOptions o;
    o.Operation = op;
    o.MoveFolder = P("out");
    o.RenameText = "_x";
    o.DryRun = true;
    std::string target;
    TProcessingRun run(fEngine, fHistory, o);
    run.OnItem = [&](PFileItem, const TItemOutcome& r) { target = r.Target; };
    EXPECT_EQ(run.RunPass().Failed, 0);
    EXPECT_FALSE(target.empty());
  }
  EXPECT_FALSE(Exists(P("out")));
  EXPECT_FALSE(dup->fProcessed);
  EXPECT_EQ(fHistory.fActionNo, 0);
  ExpectOriginal("dup/n.txt", "content");
}

TEST_F(ProcessingTest, NothingToProcessAndReportTexts) {
  EXPECT_FALSE(HasPendingSelection(fEngine));
  Write("keep/n.txt", "content");
  Write("dup/n.txt", "content");
  Scan();
  EXPECT_FALSE(HasPendingSelection(fEngine));
  ASSERT_EQ(fPrompt.Messages.size(), 2u);
  EXPECT_EQ(fPrompt.Messages[0].second, "Nothing to process. Duplicate files list is empty.");
  EXPECT_EQ(fPrompt.Messages[1].second, "Nothing to process. No items selected in duplicate files list.");
  Select("dup/n.txt");
  EXPECT_TRUE(HasPendingSelection(fEngine));

  const std::string text = FailureReportText("1 of 2 files were not deleted.", true);
  EXPECT_EQ(text.rfind("1 of 2 files were not deleted.     \n\nThe most common reasons are:      \n"
                       " - missing required permissions (access rigths) for file     \n",
                       0),
            0u)
      << text;
  EXPECT_NE(text.find(" - operation timeout (while moving files over network)     \n\n"
                      "Please see program log for detailed information.     "),
            std::string::npos);
  EXPECT_EQ(FailureReportText("h", false).find("Please see"), std::string::npos);
  EXPECT_EQ(UndoActionText(faRecycle, 3), "Move 3 items to Recycle Bin.");
  TPcwSettings record;
  record.EnableLogging = false;
  EXPECT_FALSE(FailureReportLogged(record, leFileDeleted));
  EnableLoggingFor(record, leFileDeleted);
  EXPECT_TRUE(FailureReportLogged(record, leFileDeleted));
}

TEST_F(ProcessingTest, OptionsOfASettingsRecord) {
  TPcwSettings record;
  record.UndoJournalDays = 7;
  record.LogEvents = TPcwLogEvents{leFileMoved};
  record.Sync_WMP = true;
  record.Sync_iTunes = false;
  for (bool removeEmpty : {false, true}) {
    record.ScanOptions = removeEmpty ? record.ScanOptions.Include(soRemoveEmpty) : record.ScanOptions.Exclude(soRemoveEmpty);
    const TProcessingOptions o = ProcessingOptionsOf(record);
    EXPECT_EQ(o.JournalExpireDays, 7);
    EXPECT_EQ(o.LogEvents, TPcwLogEvents{leFileMoved});
    EXPECT_TRUE(o.MediaLibs.WMP);
    EXPECT_FALSE(o.MediaLibs.iTunes);
    EXPECT_EQ(o.RemoveEmpty, removeEmpty);
    EXPECT_EQ(o.Operation, poDelete);
  }
}

}  // namespace
}  // namespace pelcrow
