#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "MailFixtures.h"
#include "base/MainThread.h"
#include "engine/ActionJournal.h"
#include "engine/ItemFlags.h"
#include "platform/SafeFileMbox.h"
#include "plugins/MboxMove.h"
#include "plugins/ThunderbirdScanner.h"

namespace pelcrow {
namespace {

using test::Mail;
using test::TTestMail;

// ---------------------------------------------------------------- splitting, cutting, appending

std::vector<std::string> Digests(std::string_view mbox) {
  std::vector<std::string> out;
  for (const TMboxMessage& m : SplitMbox(mbox)) {
    std::uint64_t d[2];
    std::int64_t len = 0;
    MboxDigest(mbox.substr(m.Offset, m.Length), d, len);
    out.push_back(std::to_string(d[0]) + ":" + std::to_string(len));
  }
  return out;
}

// Taking any one message out, or adding one, leaves every other message's bytes as they were.
TEST(MboxEdit, CutAndAppendLeaveTheOtherMessagesAlone) {
  const char* const cases[] = {
      "From a Tue Jul  1 10:52:37 2003\nSubject: 1\n\nbody\n\nFrom b Tue Jul  1 10:52:37 2003\nSubject: 2\n\n>From x\n",
      "From a Tue Jul  1 10:52:37 2003\nSubject: 1\n\nno final break",
      "From a Tue Jul  1 10:52:37 2003\nSubject: 1\n\nbody\n\n\nFrom b Tue Jul  1 10:52:37 2003\n\nb\n\n",
      "From a Tue Jul  1 10:52:37 2003\r\nSubject: 1\r\n\r\nbody\r\n\r\nFrom b Tue Jul  1 10:52:37 2003\r\n\r\nb\r\n",
      "junk before\n\nFrom a Tue Jul  1 10:52:37 2003\n\n1\n\nFrom b Tue Jul  1 10:52:37 2003\n\n2\n\nFrom c Tue Jul  1 10:52:37 2003\n\n3\n",
  };
  for (const char* text : cases) {
    const std::string mbox = text;
    const std::vector<TMboxMessage> split = SplitMbox(mbox);
    const std::vector<std::string> all = Digests(mbox);
    for (std::size_t i = 0; i < split.size(); ++i) {
      std::size_t from = 0, to = 0;
      MboxCut(split, i, mbox.size(), from, to);
      const std::string cut = mbox.substr(0, from) + mbox.substr(to);
      std::vector<std::string> expected = all;
      expected.erase(expected.begin() + static_cast<long>(i));
      EXPECT_EQ(Digests(cut), expected) << text << " without " << i;
    }
    const std::string added = "Subject: new\n\n>From the start\nFrom a line\n>>From quoted";
    const std::string grown = mbox + MboxAppendText(mbox, "From n Tue Jul  1 10:52:37 2003", added);
    std::vector<std::string> expected = all;
    expected.push_back(Digests("From n Tue Jul  1 10:52:37 2003\n" + added).front());
    EXPECT_EQ(Digests(grown), expected) << text;
    TMboxMessageRef ref;
    MboxDigest(added, ref.Digest, ref.Length);
    ref.FromLine = "From n Tue Jul  1 10:52:37 2003";
    const std::vector<TMboxMessage> after = SplitMbox(grown);
    EXPECT_EQ(FindMboxMessage(grown, after, ref, -1, true), static_cast<long>(after.size()) - 1) << text;
    ref.FromLine = "From other Tue Jul  1 10:52:37 2003";
    EXPECT_EQ(FindMboxMessage(grown, after, ref, -1, true), -1) << text;
  }
}

// ---------------------------------------------------------------- a store of Python's making

struct TStore {
  test::TTempDir Dir;
  std::string Profile = Dir / "profile";
  std::string Root = Profile + "/Mail/Local Folders";
};

// Inbox and Work hold the same two mails (Work's a day later), one with a body line "From ...";
// Work also a mail of its own; Trash and Archive one each.
void MakeStore(TStore& s) {
  const TTestMail quoted = Mail().SetSubject("Quoted").SetBody("Hi,\n\nFrom now on we meet at ten.\n");
  const std::string later = "Wed, 02 Jul 2003 10:00:00 +0200";
  test::MakeMbox(s.Dir, s.Root,
                 {Mail(), TTestMail(quoted), Mail().SetFolder("Work").SetDate(later),
                  TTestMail(quoted).SetFolder("Work").SetDate(later), Mail().SetFolder("Work").SetSubject("Unique"),
                  Mail().SetFolder("Trash").SetSubject("Old"), Mail().SetFolder("Archive").SetSubject("Kept")});
  s.Dir.Write("profile/Mail/Local Folders/Work.msf", "// index\n");
  s.Dir.Write("profile/Mail/Local Folders/Trash.msf", "// index\n");
}

// The rows of `before` with these messages in another folder.
std::string Moved(const std::string& before, const std::string& from, const std::vector<std::string>& subjects,
                  const std::string& to) {
  std::vector<std::string> rows;
  std::size_t pos = 0;
  while (pos < before.size()) {
    const std::size_t end = before.find('\n', pos);
    std::string row = before.substr(pos, end - pos);
    pos = end + 1;
    for (const std::string& s : subjects)
      if (row.starts_with(from + "\t" + s + "\t")) row = to + row.substr(from.size());
    rows.push_back(row);
  }
  std::sort(rows.begin(), rows.end());
  std::string out;
  for (const std::string& r : rows) out += r + "\n";
  return out;
}

std::string Cli(const test::TTempDir& dir, const std::string& args) {
  return test::RunOutput("XDG_STATE_HOME='" + dir.path() + "/state' " + test::CliPath() + " " + args);
}

TEST(MailCli, DeletesThunderbirdMailIntoItsTrashAndUndoes) {
  TStore s;
  MakeStore(s);
  const std::string before = test::ListMbox(s.Root);
  const std::string store = " --mode mail --store '" + s.Profile + "'";
  const std::string done = Cli(s.Dir, "scan --select oldest --action delete" + store);
  EXPECT_NE(done.find("moved Local Folders/Work/ \"Hello\" -> " + s.Root + "/Trash"), std::string::npos) << done;
  EXPECT_NE(done.find("moved Local Folders/Work/ \"Quoted\" -> " + s.Root + "/Trash"), std::string::npos) << done;
  // Exactly the two messages moved, each byte for byte with its From_ line and its quoted body line.
  EXPECT_EQ(test::ListMbox(s.Root), Moved(before, "Work", {"Hello", "Quoted"}, "Trash"));
  EXPECT_FALSE(std::filesystem::exists(s.Root + "/Work.msf"));
  EXPECT_FALSE(std::filesystem::exists(s.Root + "/Trash.msf"));
  EXPECT_FALSE(std::filesystem::exists(s.Root + "/Work.lock"));
  EXPECT_NE(test::ReadAll(s.Root + "/Trash").find("\n>From now on we meet at ten.\n"), std::string::npos);

  // Undo waits for Thunderbird too.
  const std::string moved = test::ListMbox(s.Root);
  std::filesystem::create_symlink("127.0.1.1:+" + std::to_string(::getpid()), s.Profile + "/lock");
  EXPECT_NE(Cli(s.Dir, "undo").find("Thunderbird is running"), std::string::npos);
  EXPECT_EQ(test::ListMbox(s.Root), moved);
  std::filesystem::remove(s.Profile + "/lock");

  const std::string undo = Cli(s.Dir, "undo");
  EXPECT_EQ(undo, "restored " + s.Root + "/Work\nrestored " + s.Root + "/Work\n") << undo;
  EXPECT_EQ(test::ListMbox(s.Root), before);
  EXPECT_NE(Cli(s.Dir, "undo").find("nothing left to undo"), std::string::npos);
}

TEST(MailCli, MovesThunderbirdMailIntoAFolderAndUndoes) {
  TStore s;
  MakeStore(s);
  const std::string before = test::ListMbox(s.Root);
  const std::string store = " --mode mail --store '" + s.Profile + "' --folder 'Local Folders/Inbox'" +
                            " --folder 'Local Folders/Work'";
  const std::string moved = Cli(s.Dir, "scan --select oldest --action move 'Local Folders/Archive'" + store);
  EXPECT_NE(moved.find("-> " + s.Root + "/Archive"), std::string::npos) << moved;
  EXPECT_EQ(test::ListMbox(s.Root), Moved(before, "Work", {"Hello", "Quoted"}, "Archive"));
  EXPECT_EQ(Cli(s.Dir, "undo").find("failed"), std::string::npos);
  EXPECT_EQ(test::ListMbox(s.Root), before);
}

TEST(MailCli, ThunderbirdTrashIsMadeByTheFirstDelete) {
  TStore s;
  MakeStore(s);
  std::filesystem::remove(s.Root + "/Trash");
  const std::string before = test::ListMbox(s.Root);
  const std::string done = Cli(s.Dir, "scan --select oldest --action delete --mode mail --store '" + s.Profile + "'");
  EXPECT_EQ(done.find("failed"), std::string::npos) << done;
  EXPECT_EQ(test::ListMbox(s.Root), Moved(before, "Work", {"Hello", "Quoted"}, "Trash"));
  EXPECT_EQ(Cli(s.Dir, "undo").find("failed"), std::string::npos);
  EXPECT_EQ(test::ListMbox(s.Root), before);
}

TEST(MailCli, ThunderbirdRunningOnTheProfileChangesNothing) {
  TStore s;
  MakeStore(s);
  const std::string before = test::ListMbox(s.Root);
  // Thunderbird's own lock: a link to "ADDRESS:+PID" of a live process (this one).
  std::filesystem::create_symlink("127.0.1.1:+" + std::to_string(::getpid()), s.Profile + "/lock");
  const std::string out = Cli(s.Dir, "scan --select oldest --action delete --mode mail --store '" + s.Profile + "'");
  EXPECT_NE(out.find("failed Local Folders/Work/ \"Hello\": Thunderbird is running"), std::string::npos) << out;
  EXPECT_NE(out.find(s.Profile + " (pid " + std::to_string(::getpid()) + ")"), std::string::npos) << out;
  EXPECT_EQ(test::ListMbox(s.Root), before);
  EXPECT_TRUE(std::filesystem::exists(s.Root + "/Work.msf"));
  // A lock left behind by a process that ended holds nothing.
  std::filesystem::remove(s.Profile + "/lock");
  std::filesystem::create_symlink("127.0.1.1:+999999999", s.Profile + "/lock");
  EXPECT_EQ(platform::MozillaProfileHolder(s.Profile), "");
}

TEST(ThunderbirdMove, ParentLockOfARunningProgramHoldsTheProfile) {
  test::TTempDir dir;
  const std::string lock = dir.Write(".parentlock", "");
  EXPECT_EQ(platform::MozillaProfileHolder(dir.path()), "");
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    const int fd = ::open(lock.c_str(), O_RDWR);
    struct flock fl {};
    fl.l_type = F_WRLCK;
    fl.l_whence = SEEK_SET;
    ::fcntl(fd, F_SETLK, &fl);
    (void)!::write(ready[1], "x", 1);
    ::pause();
    ::_exit(0);
  }
  char c;
  ASSERT_EQ(::read(ready[0], &c, 1), 1);
  EXPECT_EQ(platform::MozillaProfileHolder(dir.path()), "pid " + std::to_string(child));
  ::kill(child, SIGKILL);
  ::waitpid(child, nullptr, 0);
  ::close(ready[0]);
  ::close(ready[1]);
}

// ---------------------------------------------------------------- the scanner with the journal

// The journal as the engine keeps it for a pass of store moves.
class TJournalRecorder final : public IStoreActionRecorder {
 public:
  int Planned(TStoreMove& Move) override {
    if (!fJournal.IsOpen())
      if (const int err = fJournal.Begin(faMoveMessage, TDateTime::Now(), 0)) return err;
    fItem = {};
    fItem.ActionType = faMoveMessage;
    fItem.Folder = Move.Folder;
    fItem.Name = Move.Name;
    fItem.FolderId = Move.FolderId;
    fItem.Source = Move.Source;
    fItem.Target = Move.Target;
    fItem.Mbox = Move.Mbox;
    std::vector<TJournalItem*> plan{&fItem};
    ++PlannedCount;
    return fJournal.Plan(plan);
  }
  void Done(TStoreMove& Move) override {
    fItem.TargetId = Move.TargetId;
    fJournal.Done(fItem);
    fJournal.Flush(true);
  }
  void Failed(TStoreMove&) override {
    fJournal.Failed(fItem);
    fJournal.Flush(true);
  }
  int PlannedCount = 0;

 private:
  TActionJournal fJournal;
  TJournalItem fItem;
};

struct TScanned {
  std::unique_ptr<TThunderbirdScanner> Scanner;
  int Index(const std::string& folder, const std::string& subject) const {
    for (int i = 0; i < Scanner->GetCount(); ++i) {
      TExportData d;
      Scanner->ExportItem(i, d);
      if (d.Path == folder && d.Subject == subject) return i;
    }
    return -1;
  }
};

TScanned ScanStore(const TStore& s) {
  TScanned r;
  r.Scanner = std::make_unique<TThunderbirdScanner>(std::vector<std::string>{s.Profile});
  r.Scanner->Connect();
  for (int i = 0; i < r.Scanner->RootFolder().ChildCount(); ++i) r.Scanner->ScanFolders().Add(r.Scanner->RootFolder().GetChild(i));
  TQueueMainThread main;
  SetMainThread(&main);
  r.Scanner->SetScanOptionBits(kDefaultOlScanOptions);
  bool done = false;
  r.Scanner->IScanEnginePlugin::OnScanComplete = [&] { done = true; };
  r.Scanner->StartScan();
  main.RunUntil([&] { return done; });
  SetMainThread(nullptr);
  return r;
}

std::vector<TJournalAction> UndoAll() {
  std::vector<TJournalAction> actions = TActionJournal::ReadAll();
  for (TJournalAction& a : actions) {
    std::vector<std::string> log;
    UndoJournalAction(a, log);
    for (const std::string& l : log) ADD_FAILURE() << l;
  }
  return actions;
}

// Two messages of one mbox in one pass (the second moved up by the first's cut), one changed
// since the scan (refused before anything is written), then undone from the journal.
TEST(ThunderbirdMove, DeletesInOnePassAndRefusesWhatChangedSinceTheScan) {
  TStore s;
  test::TScopedEnv state("XDG_STATE_HOME", s.Dir / "state");
  MakeStore(s);
  const std::string before = test::ListMbox(s.Root);
  TScanned scan = ScanStore(s);
  auto recorder = std::make_unique<TJournalRecorder>();
  scan.Scanner->SetActionRecorder(recorder.get());
  const int hello = scan.Index("Local Folders/Work/", "Hello"), quoted = scan.Index("Local Folders/Work/", "Quoted");
  const int inbox = scan.Index("Local Folders/Inbox/", "Hello");
  ASSERT_GE(hello, 0);
  ASSERT_GE(quoted, 0);
  ASSERT_GE(inbox, 0);
  scan.Scanner->SetItemChecked(hello, true);
  scan.Scanner->SetItemChecked(quoted, true);
  scan.Scanner->DeleteItem(hello);
  scan.Scanner->DeleteItem(quoted);
  EXPECT_EQ(test::ListMbox(s.Root), Moved(before, "Work", {"Hello", "Quoted"}, "Trash"));

  // Thunderbird marks a message read in place: the same length, other bytes.
  std::string inboxText = test::ReadAll(s.Root + "/Inbox");
  inboxText.replace(inboxText.find("Subject: Hello"), 14, "Subject: Hallo");
  s.Dir.Write("profile/Mail/Local Folders/Inbox", inboxText);
  const std::string changed = test::ListMbox(s.Root);
  try {
    scan.Scanner->DeleteItem(inbox);
    ADD_FAILURE() << "a changed message was deleted";
  } catch (const EMailStoreError& e) {
    EXPECT_STREQ(e.what(), "the message has changed since the scan");
  }
  EXPECT_EQ(recorder->PlannedCount, 2);
  EXPECT_EQ(test::ListMbox(s.Root), changed);
  scan.Scanner->SetActionRecorder(nullptr);
  recorder.reset();  // the pass ends: its journal is no longer in progress

  const std::vector<TJournalAction> actions = UndoAll();
  ASSERT_EQ(actions.size(), 1u);
  EXPECT_EQ(test::ListMbox(s.Root), Moved(changed, "Trash", {"Hello", "Quoted"}, "Work"));
}

// What a failed rewrite leaves: nothing, or (its own append not taken back either) a copy in
// both files that the journal finds and undo removes; the message itself is never lost.
TEST(ThunderbirdMove, AFailedRewriteNeverLosesTheMessage) {
  struct TCase {
    const char* Name;
    int FailedRenames;
    bool CopyLeft;
  };
  for (const TCase& c : {TCase{"rewrite fails", 1, false}, TCase{"its undo fails too", 2, true}}) {
    TStore s;
    test::TScopedEnv state("XDG_STATE_HOME", s.Dir / "state");
    MakeStore(s);
    const std::string before = test::ListMbox(s.Root);
    TScanned scan = ScanStore(s);
    const int hello = scan.Index("Local Folders/Work/", "Hello");
    ASSERT_GE(hello, 0);
    scan.Scanner->SetItemChecked(hello, true);
    {
      TJournalRecorder recorder;
      scan.Scanner->SetActionRecorder(&recorder);
      struct TFailRenames final : platform::TRealSysCalls {
        explicit TFailRenames(int n) : Left(n), Previous(platform::SetSysCalls(this)) {}
        ~TFailRenames() override { platform::SetSysCalls(Previous); }
        int RenameAt(int a, const char* b, int d, const char* e, unsigned f) override {
          if (Left > 0) {
            --Left;
            errno = EIO;
            return -1;
          }
          return TRealSysCalls::RenameAt(a, b, d, e, f);
        }
        int Left;
        platform::ISysCalls* Previous;
      } fail(c.FailedRenames);
      EXPECT_THROW(scan.Scanner->DeleteItem(hello), EMailStoreError) << c.Name;
      scan.Scanner->SetActionRecorder(nullptr);
    }
    const std::string after = test::ListMbox(s.Root);
    if (!c.CopyLeft) {
      EXPECT_EQ(after, before) << c.Name;
    } else {
      EXPECT_EQ(std::count(after.begin(), after.end(), '\n'), std::count(before.begin(), before.end(), '\n') + 1)
          << c.Name;
      EXPECT_NE(after.find("Work\tHello"), std::string::npos) << c.Name;
      EXPECT_NE(after.find("Trash\tHello"), std::string::npos) << c.Name;
    }
    std::vector<TJournalAction> actions = TActionJournal::ReadAll();
    ASSERT_EQ(actions.size(), 1u) << c.Name;
    EXPECT_EQ(actions[0].Undoable(), c.CopyLeft ? 1 : 0) << c.Name;
    UndoAll();
    EXPECT_EQ(test::ListMbox(s.Root), before) << c.Name;
    EXPECT_FALSE(std::filesystem::exists(s.Root + "/.Work.pelcrow-tmp")) << c.Name;
  }
}

}  // namespace
}  // namespace pelcrow
