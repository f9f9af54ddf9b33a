// The contacts mode end to end, on address books made by khard (with a temporary configuration)
// and by Python's vobject, read back by both after every merge, delete and undo.
#include <gtest/gtest.h>

#include <cstdlib>

#include "MailFixtures.h"

namespace pelcrow {
namespace {

using test::RunOutput;

std::string Script(const char* name) { return std::string(PELCROW_TEST_DATA_DIR) + "/contacts/" + name; }

class ContactsCli : public ::testing::Test {
 protected:
  void SetUp() override {
    book = dir / "book";
    dir.Write("khard/khard.conf", "[addressbooks]\n[[main]]\npath = " + book +
                                      "\n[general]\neditor = /bin/true\nmerge_editor = /bin/true\n");
    dir.Write("book/.keep", "");
    env = "KHARD_CONFIG='" + dir.path() + "/khard/khard.conf' XDG_STATE_HOME='" + dir.path() + "/state' ";
  }
  std::string Cli(const std::string& args) { return RunOutput(env + test::CliPath() + " " + args); }
  std::string Khard(const std::string& args) {
    const std::size_t pipe = args.find('|');
    const std::string head = args.substr(0, pipe), tail = pipe == std::string::npos ? "" : args.substr(pipe);
    return RunOutput(env + "khard " + head + " 2>/dev/null " + tail + " | LC_ALL=C sort");
  }
  std::string Files() { return RunOutput("ls '" + book + "'"); }
  // A contact khard makes, its REV then set so that the rules' order is known.
  std::string KhardNew(const std::string& first, const std::string& last, const std::string& emails,
                       const std::string& version, const std::string& rev) {
    const std::string yaml = dir.Write("yaml/" + first + last, "First name : " + first + "\nLast name : " + last +
                                                                 "\nEmail :\n" + emails);
    const std::string was = Files();
    const std::string out = RunOutput(env + "khard new -a main --vcard-version " + version + " -i '" + yaml + "'");
    EXPECT_NE(out.find("Creation successful"), std::string::npos) << out;
    // The one file that was not there before.
    std::string made;
    const std::string now = Files();
    for (std::size_t pos = 0; pos < now.size();) {
      const std::size_t end = now.find('\n', pos);
      const std::string name = now.substr(pos, end - pos);
      if (("\n" + was).find("\n" + name + "\n") == std::string::npos) made = name;
      pos = end + 1;
    }
    const std::string path = book + "/" + made;
    RunOutput("sed -i 's/^REV:.*/REV:" + rev + "\\r/' '" + path + "'");
    return path;
  }
  std::string VobjectNew(const std::string& name, const std::string& fn, const std::string& rev,
                         const std::string& emails, bool extras) {
    const std::string path = book + "/" + name;
    const std::string out = RunOutput("/usr/bin/python3 " + Script("make_vcard.py") + " '" + path + "' '" + fn + "' " +
                                      rev + " " + emails + (extras ? " --extras" : ""));
    EXPECT_EQ(out, "");
    return path;
  }
  std::string Vobject() { return RunOutput("/usr/bin/python3 " + Script("list_vcards.py") + " '" + book + "' | cut -f2,3"); }
  std::string Snapshot() { return RunOutput("cd '" + book + "' && find . -type f -name '*.vcf' | sort | xargs -r sha1sum"); }

  test::TTempDir dir;
  std::string book, env;
};

TEST_F(ContactsCli, MergesIntoTheKeptContactAndUndoes) {
  const std::string ann = KhardNew("Ann", "Lee", "    home : ann@example.org\n", "3.0", "20200101T000000Z");
  VobjectNew("ann2.vcf", "ANN LEE", "20210101T000000Z", "ann@example.org ann@work.example", false);
  KhardNew("Bob", "Stone", "    home : bob@example.org\n", "4.0", "20200101T000000Z");
  VobjectNew("bob2.vcf", "Bobby Stone", "20210101T000000Z", "bob@example.org", false);
  const std::string carol = VobjectNew("carol.vcf", "Carol King", "20200101T000000Z", "carol@a.example", true);
  const std::string carolKhard =
      KhardNew("Carol", "King", "    home : carol@a.example\n    work :\n      - carol@b.example\n      - carol@c.example\n",
               "4.0", "20220101T000000Z");
  const std::string before = Snapshot(), carolBefore = test::ReadAll(carol);
  ASSERT_EQ(Khard("list --parsable | cut -f2").size(), std::string("Ann Lee\nANN LEE\nBob Stone\nBobby Stone\nCarol King\nCarol King\n").size());

  const std::string mode = "--mode contacts --addressbook '" + book + "'";
  const std::string listing = Cli("scan " + mode);
  EXPECT_NE(listing.find("\tAnn Lee\tann@example.org\n"), std::string::npos) << listing;
  EXPECT_NE(listing.find("\tANN LEE\tann@example.org, ann@work.example\n"), std::string::npos) << listing;
  EXPECT_EQ(listing.find("Bob"), std::string::npos) << listing;  // one address, two names
  const std::string csv = Cli("scan --format csv " + mode);
  EXPECT_EQ(csv.rfind("Group,Size,Folder,Modified,Name,Email1,Email2,Email3\r\n", 0), 0u) << csv;
  EXPECT_NE(Cli("scan --format json " + mode).find("\"emails\": [\"ann@example.org\", \"ann@work.example\"]"),
            std::string::npos);

  const std::string dry = Cli("scan --select oldest --action merge --dry-run " + mode);
  EXPECT_NE(dry.find("would merge " + ann + " (+ann@work.example)\n"), std::string::npos) << dry;
  EXPECT_NE(dry.find("would merge " + carol + " (+carol@b.example, +carol@c.example)\n"), std::string::npos) << dry;
  EXPECT_EQ(Snapshot(), before);

  const std::string done = Cli("scan --select oldest --action merge " + mode);
  EXPECT_NE(done.find("merged " + ann + " (+ann@work.example)\n"), std::string::npos) << done;
  EXPECT_NE(done.find("moved " + book + "/ann2.vcf -> " + book + "/.Trash/ann2.vcf\n"), std::string::npos) << done;
  EXPECT_NE(done.find("moved " + carolKhard + " -> "), std::string::npos) << done;

  // khard and vobject see exactly the contacts that stay, with the merged addresses.
  EXPECT_EQ(Khard("list --parsable | cut -f2"), "Ann Lee\nBob Stone\nBobby Stone\nCarol King\n");
  EXPECT_EQ(Khard("email --parsable | grep -v '^searching for' | cut -f1,2"),
            "ann@example.org\tAnn Lee\nann@work.example\tAnn Lee\nbob@example.org\tBob Stone\n"
            "bob@example.org\tBobby Stone\ncarol@a.example\tCarol King\ncarol@b.example\tCarol King\n"
            "carol@c.example\tCarol King\n");
  const std::string seen = Vobject();
  EXPECT_NE(seen.find("Ann Lee\tann@example.org,ann@work.example\n"), std::string::npos) << seen;
  EXPECT_NE(seen.find("Carol King\tcarol@a.example,carol@b.example,carol@c.example\n"), std::string::npos) << seen;
  // Every line of the vobject card but REV is still there byte for byte (X-*, PHOTO, ADR, groups).
  const std::string carolAfter = test::ReadAll(carol);
  for (std::size_t pos = 0; pos < carolBefore.size();) {
    const std::size_t end = carolBefore.find("\r\n", pos) + 2;
    const std::string line = carolBefore.substr(pos, end - pos);
    if (line.rfind("REV:", 0) != 0) {
      EXPECT_NE(carolAfter.find(line), std::string::npos) << line;
    }
    pos = end;
  }
  EXPECT_NE(carolAfter.find("EMAIL:carol@a.example\r\nEMAIL;TYPE=INTERNET:carol@b.example\r\n"), std::string::npos);
  EXPECT_EQ(carolAfter.find("REV:20200101T000000Z"), std::string::npos);

  const std::string list = Cli("undo --list");
  EXPECT_NE(list.find("merged contacts"), std::string::npos) << list;
  EXPECT_NE(list.find(" (earlier version: " + book + "/.Trash/carol.vcf)"), std::string::npos) << list;
  const std::string undo = Cli("undo");
  EXPECT_NE(undo.find("restored " + carol + "\n"), std::string::npos) << undo;
  EXPECT_EQ(Snapshot(), before);  // every file back, byte for byte, the trash folder empty
  EXPECT_EQ(test::ReadAll(carol), carolBefore);
  EXPECT_EQ(Khard("list --parsable | cut -f2 | wc -l"), "6\n");
}

TEST_F(ContactsCli, UndoLeavesAContactEditedSinceTheMerge) {
  const std::string keep = VobjectNew("a.vcf", "Ann Lee", "20200101T000000Z", "ann@example.org", true);
  VobjectNew("b.vcf", "Ann Lee", "20210101T000000Z", "ann@example.org ann@b.example", false);
  const std::string mode = "--mode contacts --addressbook '" + book + "'";
  ASSERT_NE(Cli("scan --select oldest --action merge " + mode).find("merged " + keep), std::string::npos);
  RunOutput("sed -i 's/^END:VCARD/NOTE:edited\\r\\nEND:VCARD/' '" + keep + "'");
  const std::string undo = Cli("undo");
  EXPECT_NE(undo.find("failed " + keep + " -> the file has changed since the action"), std::string::npos) << undo;
  EXPECT_NE(test::ReadAll(keep).find("NOTE:edited"), std::string::npos);
  EXPECT_EQ(Vobject(), "Ann Lee\tann@example.org,ann@b.example\nAnn Lee\tann@example.org,ann@b.example\n");  // b.vcf came back
}

TEST_F(ContactsCli, DeletesIntoTheTrashFolderAndLeavesAFileOfManyContacts) {
  VobjectNew("a.vcf", "Ann Lee", "20200101T000000Z", "ann@example.org", false);
  VobjectNew("b.vcf", "Ann Lee", "20210101T000000Z", "ann@example.org", false);
  const std::string before = Snapshot();
  // Without --addressbook the settings' default finds the book through khard's configuration.
  const std::string found = RunOutput("HOME='" + dir.path() + "' " + env + test::CliPath() + " scan --mode contacts");
  EXPECT_EQ(found, "book/\t" + TDateTime::FromUnix(1577836800).ToIsoText() + "\tAnn Lee\tann@example.org\nbook/\t" +
                       TDateTime::FromUnix(1609459200).ToIsoText() + "\tAnn Lee\tann@example.org\n");
  const std::string mode = "--mode contacts --addressbook '" + book + "'";
  EXPECT_EQ(Cli("scan --select oldest --action delete " + mode),
            "moved " + book + "/b.vcf -> " + book + "/.Trash/b.vcf\n");
  EXPECT_EQ(Khard("list --parsable | cut -f2"), "Ann Lee\n");
  EXPECT_EQ(Cli("undo"), "restored " + book + "/b.vcf\n");
  EXPECT_EQ(Snapshot(), before);

  // One exported file of many contacts: grouped and listed, never changed.
  const std::string all = dir.Write("export/all.vcf", test::ReadAll(book + "/a.vcf") + test::ReadAll(book + "/b.vcf"));
  const std::string file = "--mode contacts --addressbook '" + all + "'";
  EXPECT_NE(Cli("scan " + file).find("all.vcf/\t"), std::string::npos);
  const std::string refused = Cli("scan --select oldest --action merge " + file);
  EXPECT_NE(refused.find("only read in this version: nothing was changed"), std::string::npos) << refused;
  EXPECT_EQ(test::ReadAll(all), test::ReadAll(book + "/a.vcf") + test::ReadAll(book + "/b.vcf"));
  EXPECT_NE(Cli("scan --select oldest --action trash " + mode).find("--action merge or --action delete"), std::string::npos);
  EXPECT_NE(Cli("scan --select oldest --action merge '" + dir.path() + "'").find("goes with --mode contacts"),
            std::string::npos);
}

}  // namespace
// A contact that stays with three addresses already cannot take a fourth: the contact that has
// it is not merged away, so the address is not lost.
TEST_F(ContactsCli, MergeNeverDropsAnAddressTheKeptContactCannotTake) {
  const std::string kept = VobjectNew("dan.vcf", "Dan Park", "20200101T000000Z", "dan@a.example dan@b.example dan@c.example", false);
  const std::string other = VobjectNew("dan2.vcf", "Dan Park", "20210101T000000Z", "dan@a.example dan@d.example", false);
  const std::string before = Snapshot();
  const std::string mode = "--mode contacts --addressbook '" + book + "'";
  const std::string done = Cli("scan --select oldest --action merge " + mode);
  EXPECT_NE(done.find("failed " + other + ": the contact that stays cannot take every ticked address\n"), std::string::npos)
      << done;
  EXPECT_EQ(Snapshot(), before);
  EXPECT_NE(test::ReadAll(other).find("dan@d.example"), std::string::npos);
}

}  // namespace pelcrow
