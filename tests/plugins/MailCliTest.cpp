#include <gtest/gtest.h>

#include "MailFixtures.h"

namespace pelcrow {
namespace {

using test::Mail;

std::string Cli(const test::TTempDir& dir, const std::string& args) {
  return test::RunOutput("XDG_STATE_HOME='" + dir.path() + "/state' MBLAZE='" + dir.path() + "/mblaze' " +
                         test::CliPath() + " " + args);
}

// Scan, delete all but one copy into the store's trash, undo: Python's mailbox module and mblaze
// see each message where it should be, byte for byte.
TEST(MailCli, DeletesIntoTheStoreTrashAndUndoes) {
  test::TTempDir dir;
  const std::string root = dir / "Maildir";
  test::MakeMaildir(dir, root,
                    {Mail().SetFolder(""), Mail().SetFolder("Work").SetDate("Wed, 02 Jul 2003 10:00:00 +0200"),
                     Mail().SetFolder("Work").SetSubject("Unique")});
  const std::string before = test::ListMaildir(root);
  const std::string store = " --mode mail --store '" + root + "'";

  EXPECT_EQ(Cli(dir, "scan" + store), "Maildir/\t" + TDateTime::FromUnix(1057049557).ToIsoText() +
                                          "\tAnn Smith\tHello\nMaildir/Work/\t" +
                                          TDateTime::FromUnix(1057132800).ToIsoText() + "\tAnn Smith\tHello\n");
  const std::string json = Cli(dir, "scan --format json" + store);
  EXPECT_NE(json.find("\"folder\": \"Maildir/Work/\""), std::string::npos) << json;
  EXPECT_NE(json.find("\"DuplicateFiles\": 1"), std::string::npos) << json;

  const std::string dry = Cli(dir, "scan --select oldest --action delete --dry-run" + store);
  EXPECT_EQ(dry, "would move Maildir/Work/ \"Hello\" -> the store's trash\n");
  EXPECT_EQ(test::ListMaildir(root), before);

  const std::string done = Cli(dir, "scan --select oldest --action delete" + store);
  EXPECT_EQ(done.rfind("moved Maildir/Work/ \"Hello\" -> " + root + "/.Trash/cur/", 0), 0u) << done;
  const std::string after = test::ListMaildir(root);
  EXPECT_NE(after.find("Trash\tHello\t"), std::string::npos) << after;
  EXPECT_EQ(after.find("Work\tHello\t"), std::string::npos) << after;
  EXPECT_NE(test::RunOutput("mlist '" + root + "/.Trash' | MBLAZE='" + dir.path() + "/mblaze' mhdr -h subject"), "");
  EXPECT_EQ(test::RunOutput("mlist '" + root + "/.Work' | wc -l"), "1\n");

  const std::string undo = Cli(dir, "undo");
  EXPECT_EQ(undo.rfind("restored " + root + "/.Work/", 0), 0u) << undo;
  EXPECT_EQ(test::ListMaildir(root), before);  // every message back in its folder, byte for byte
  EXPECT_EQ(Cli(dir, "undo").find("nothing left to undo") != std::string::npos, true);
}

TEST(MailCli, MovesIntoAFolderOfTheStoreAndRefusesWhatIsGone) {
  test::TTempDir dir;
  const std::string root = dir / "Maildir";
  test::MakeMaildir(dir, root, {Mail().SetFolder(""), Mail().SetFolder("Work"), Mail().SetFolder("Archive").SetSubject("x")});
  const std::string store = " --mode mail --store '" + root + "' --folder Maildir/ --folder Maildir/Work";
  const std::string moved = Cli(dir, "scan --select newest --action move Maildir/Archive" + store);
  EXPECT_NE(moved.find("-> " + root + "/.Archive/cur/"), std::string::npos) << moved;
  const std::string after = test::ListMaildir(root);
  EXPECT_NE(after.find("Archive\tHello\t"), std::string::npos) << after;
  EXPECT_EQ(Cli(dir, "scan --mode mail --store '" + dir.path() + "/none'"),
            "pelcrow-cli: no mail store found (Maildir or Thunderbird); --store names one\n");
  EXPECT_NE(Cli(dir, "scan --folder Nowhere" + store).find("no folder Nowhere/ in the mail store"), std::string::npos);
}

}  // namespace
}  // namespace pelcrow
