#include "engine/ContactProcessing.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>

#include "TestUtil.h"
#include "engine/ScanEngine.h"
#include "platform/FileSystem.h"
#include "platform/FileTransfer.h"
#include "platform/SafeFile.h"

namespace pelcrow {
namespace {

std::string Card(const std::string& name, const std::string& rev, const std::vector<std::string>& emails) {
  std::string c = "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:" + name + "\r\nN:" + name + ";;;;\r\n";
  for (const std::string& e : emails) c += "EMAIL:" + e + "\r\n";
  return c + "REV:" + rev + "\r\nEND:VCARD\r\n";
}

// Scans the address book and selects all but the oldest contact of each group; the engine keeps
// the view.
void ScanAndSelect(TScanEngine& engine, const std::string& book, test::TRecordingView& view) {
  engine.SetContactStores({book});
  IScanEnginePlugin* plugin = engine.ScannerPlugin();
  ASSERT_NE(plugin, nullptr);
  TPluginFolderTree tree;
  std::vector<TOlFolder> folders;
  plugin->PopulateFolderTree(tree, folders);
  for (const TOlFolder& f : folders) plugin->AddScanFolder(f);
  test::RunScan(engine, {});
  engine.AutoSelect(&view, smSelectAllLeaveOldest);
}

// A contact that stays but changed since the scan is not rewritten, and the others of its group
// keep their files: deleting them would lose the addresses the merge was to keep.
TEST(ContactProcessing, AChangedContactStopsItsGroupsMerge) {
  test::TTempDir dir;
  const std::string keep = dir.Write("book/a.vcf", Card("Ann", "20200101T000000Z", {"a@x.org"}));
  const std::string other = dir.Write("book/b.vcf", Card("Ann", "20210101T000000Z", {"a@x.org", "b@x.org"}));
  dir.Write("book/c.vcf", Card("Bob", "20200101T000000Z", {"bob@x.org"}));
  const std::string third = dir.Write("book/d.vcf", Card("Bob", "20210101T000000Z", {"bob@x.org"}));
  test::TRecordingView view;
  TScanEngine engine(cmContacts, {});
  ScanAndSelect(engine, dir / "book", view);
  ASSERT_EQ(engine.ItemCount(), 4);
  const std::string edited = Card("Ann", "20200101T000000Z", {"a@x.org", "new@x.org"});
  dir.Write("book/a.vcf", edited);

  TActionHistory history;
  TContactActionOptions options;
  options.Merge = true;
  options.CheckAllAddresses = true;
  std::vector<std::string> lines;
  const TPassResult r = ProcessContactRows(engine, history, options,
                                           [&](PFileItem, TContactStep step, const TItemOutcome& o, const std::vector<std::string>&) {
                                             lines.push_back(std::string(step == TContactStep::csMerged ? "merge " : "delete ") +
                                                             (o.Ok ? "ok" : o.Reason));
                                           });
  EXPECT_EQ(lines, (std::vector<std::string>{"merge the contact has changed since the scan",
                                             "delete the merge into the contact that stays failed", "delete ok"}));
  EXPECT_EQ(r.Failed, 2);
  EXPECT_EQ(test::ReadAll(keep), edited);
  EXPECT_TRUE(platform::PathExists(other));
  EXPECT_FALSE(platform::PathExists(third));  // Bob's group had nothing to merge and went on
  EXPECT_TRUE(platform::PathExists(dir / "book/.Trash/d.vcf"));
  EXPECT_EQ(history.fActionNo, 1);
}

// The app's Undo: the merged contact gets its earlier version back, the deleted one its file, and
// the rows show what they showed after the scan.
TEST(ContactProcessing, UndoOfTheResultsPutsTheGroupBack) {
  test::TTempDir dir;
  const std::string a = Card("Ann", "20200101T000000Z", {"a@x.org"}), b = Card("Ann", "20210101T000000Z", {"a@x.org", "b@x.org"});
  const std::string keep = dir.Write("book/a.vcf", a), other = dir.Write("book/b.vcf", b);
  test::TRecordingView view;
  TScanEngine engine(cmContacts, {});
  ScanAndSelect(engine, dir / "book", view);
  TActionHistory history;
  TContactActionOptions options;
  options.Merge = options.CheckAllAddresses = true;
  EXPECT_EQ(ProcessContactRows(engine, history, options, nullptr).Failed, 0);
  EXPECT_NE(test::ReadAll(keep).find("EMAIL;TYPE=INTERNET:b@x.org\r\n"), std::string::npos);
  EXPECT_FALSE(platform::PathExists(other));
  int count = 0;
  std::uint8_t type = 0;
  engine.GetActionInfo(history.fActionNo, count, type);
  EXPECT_EQ(count, 2);
  EXPECT_TRUE(engine.UndoAction(history.fActionNo, count, history.fActionStarted.back(), {}));
  EXPECT_EQ(test::ReadAll(keep), a);
  EXPECT_EQ(test::ReadAll(other), b);
  EXPECT_EQ(test::FolderEntries(dir / "book/.Trash"), std::vector<std::string>{});
  for (int i = 0; i < engine.ItemCount(); ++i) {
    engine.UpdateItem(i);
    EXPECT_FALSE(engine.Item(i)->fProcessed);
  }
  EXPECT_EQ(engine.Item(0)->Emails->Address2, "");
}

// A merge cut short by a crash is settled from what the disk shows, and undone from there.
TEST(ContactProcessing, AMergeCutShortIsSettledAndUndone) {
  test::TTempDir dir;
  const std::string before = Card("Ann", "20200101T000000Z", {"a@x.org"});
  const std::string file = dir.Write("book/a.vcf", before);
  platform::TCheckedFolder home;
  ASSERT_EQ(home.Open(dir / "book"), 0);
  TJournalItem it;
  it.ActionType = faMergeContact;
  it.Folder = dir / "book";
  it.Name = "a.vcf";
  it.Target = dir / "book/.Trash/a.vcf";
  ASSERT_EQ(platform::StatEntry(home.Fd(), "a.vcf", it.Source), 0);
  TJournalItem notYet = it;
  SettleUnfinished(notYet, {});
  EXPECT_EQ(notYet.State, TJournalItem::jsFailed);  // the file at the name is still the earlier one

  ASSERT_EQ(platform::CreateFolders(dir / "book/.Trash"), 0);
  ASSERT_EQ(::link(file.c_str(), it.Target.c_str()), 0);
  const std::string written = dir.Write("book/.a.vcf.tmp", Card("Ann", "20230101T000000Z", {"a@x.org", "b@x.org"}));
  ASSERT_EQ(::rename(written.c_str(), file.c_str()), 0);
  SettleUnfinished(it, {});
  EXPECT_EQ(it.State, TJournalItem::jsDone);
  std::string why;
  EXPECT_TRUE(RevertJournalItem(it, TDateTime::Now(), why)) << why;
  EXPECT_EQ(test::ReadAll(file), before);
  EXPECT_FALSE(platform::PathExists(it.Target));
}

}  // namespace
}  // namespace pelcrow
