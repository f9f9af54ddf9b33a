#include "engine/ContactProcessing.h"

#include <gtest/gtest.h>

#include "TestUtil.h"
#include "engine/ScanEngine.h"
#include "platform/FileTransfer.h"

namespace pelcrow {
namespace {

std::string Card(const std::string& name, const std::string& rev, const std::vector<std::string>& emails) {
  std::string c = "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:" + name + "\r\nN:" + name + ";;;;\r\n";
  for (const std::string& e : emails) c += "EMAIL:" + e + "\r\n";
  return c + "REV:" + rev + "\r\nEND:VCARD\r\n";
}

// Scans the address book and selects all but the oldest contact of each group.
void ScanAndSelect(TScanEngine& engine, const std::string& book) {
  engine.SetContactStores({book});
  IScanEnginePlugin* plugin = engine.ScannerPlugin();
  ASSERT_NE(plugin, nullptr);
  TPluginFolderTree tree;
  std::vector<TOlFolder> folders;
  plugin->PopulateFolderTree(tree, folders);
  for (const TOlFolder& f : folders) plugin->AddScanFolder(f);
  test::RunScan(engine, {});
  test::TRecordingView view;
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
  TScanEngine engine(cmContacts, {});
  ScanAndSelect(engine, dir / "book");
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

}  // namespace
}  // namespace pelcrow
