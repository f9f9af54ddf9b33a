#include <gtest/gtest.h>

#include "MailFixtures.h"
#include "base/MainThread.h"
#include "plugins/MaildirScanner.h"

namespace pelcrow {
namespace {

using test::Mail;
using test::TTestMail;

// Scans the whole store with the options; the groups as "FOLDER|SUBJECT" lines per group.
struct TScanResult {
  std::vector<std::vector<std::string>> Groups;
  std::int32_t Total = 0;
};

TScanResult Scan(TMaildirScanner& s, std::uint8_t options) {
  TQueueMainThread main;
  SetMainThread(&main);
  s.SetScanOptionBits(options);
  bool done = false;
  s.IScanEnginePlugin::OnScanComplete = [&] { done = true; };
  s.StartScan();
  main.RunUntil([&] { return done; });
  SetMainThread(nullptr);
  TScanResult r;
  r.Total = s.SummaryInfo().TotalItemsCount;
  for (int i = 0; i < s.GetCount(); ++i) {
    TExportData d;
    s.ExportItem(i, d);
    if (static_cast<int>(r.Groups.size()) < d.DupGroup) r.Groups.emplace_back();
    r.Groups.back().push_back(d.Path + "|" + d.Subject);
  }
  return r;
}

std::unique_ptr<TMaildirScanner> Open(const std::string& root, bool scanAll = true) {
  auto s = std::make_unique<TMaildirScanner>(std::vector<std::string>{root});
  s->Connect();
  if (scanAll)
    for (int i = 0; i < s->RootFolder().ChildCount(); ++i) s->ScanFolders().Add(s->RootFolder().GetChild(i));
  return s;
}

constexpr std::uint8_t kDefaults = kDefaultOlScanOptions;  // subfolders, From, To, Subject, body

TEST(MaildirScanner, BuildsTheFolderTreeOfAMaildirPlusPlusStore) {
  test::TTempDir dir;
  const std::string root = dir / "Maildir";
  test::MakeMaildir(dir, root, {Mail().SetFolder(""), Mail().SetFolder("Work"), Mail().SetFolder("Work.Sub"), Mail().SetFolder("Trash"),
                                Mail().SetFolder("Caf&AOk-")});
  auto s = Open(root, false);
  TPluginFolderTree tree;
  std::vector<TOlFolder> folders;
  s->PopulateFolderTree(tree, folders);
  std::vector<std::string> paths;
  for (const TOlFolder& f : folders) paths.push_back(f.FolderPath);
  EXPECT_EQ(paths, (std::vector<std::string>{"Maildir/", "Maildir/Caf\xC3\xA9/", "Maildir/Trash/", "Maildir/Work/",
                                             "Maildir/Work/Sub/"}));
  ASSERT_EQ(tree.size(), 5u);
  EXPECT_EQ(tree[4].Caption, "     Sub");
  EXPECT_EQ(tree[tree[4].Parent].Caption, "     Work");
  EXPECT_EQ(folders[4].EntryID, root + "/.Work.Sub");
}

TEST(MaildirScanner, FindsDuplicatesAcrossFoldersButNotInTheTrash) {
  test::TTempDir dir;
  const std::string root = dir / "Maildir";
  test::MakeMaildir(dir, root,
                    {Mail().SetFolder(""), Mail().SetFolder("Work").SetSub("new"), Mail().SetFolder("Work.Sub"), Mail().SetFolder("Trash"),
                     Mail().SetFolder("").SetSubject("Other"), Mail().SetFolder("Work").SetBody("Hi Bob,\nsee you!\n")});
  auto s = Open(root);
  const TScanResult r = Scan(*s, kDefaults);
  EXPECT_EQ(r.Total, 5);  // the trash is never read
  ASSERT_EQ(r.Groups.size(), 1u);
  EXPECT_EQ(r.Groups[0], (std::vector<std::string>{"Maildir/|Hello", "Maildir/Work/|Hello", "Maildir/Work/Sub/|Hello"}));
  EXPECT_EQ(s->GetDuplicateCount(), 2);
  EXPECT_GT(s->GetSizeOriginals(), 0);
}

struct TOptionCase {
  const char* Name;
  TTestMail A, B;
  std::uint8_t Options;
  bool Grouped;
};

TEST(MaildirScanner, GroupsAsTheOptionsSay) {
  const std::uint8_t kDay = TOlScanOptions{TOlScanOption::olSubfolders, TOlScanOption::olEmailFrom, TOlScanOption::olSubject, TOlScanOption::olReceivedDate}.ToBits();
  const std::uint8_t kCase = static_cast<std::uint8_t>(kDefaults | TOlScanOptions{TOlScanOption::olCaseSensitive}.ToBits());
  const std::uint8_t kSize = TOlScanOptions{TOlScanOption::olSubfolders, TOlScanOption::olBodySize}.ToBits();
  const TOptionCase cases[] = {
      {"one body byte", {}, Mail().SetBody("Hi Bob,\nsee you?\n"), kDefaults, false},
      {"one body byte, size only", {}, Mail().SetBody("Hi Bob,\nsee you?\n"), kSize, true},
      {"body case", {}, Mail().SetBody("HI BOB,\nSEE YOU.\n"), kDefaults, true},
      {"body case, case-sensitive", {}, Mail().SetBody("HI BOB,\nSEE YOU.\n"), kCase, false},
      {"subject case", {}, Mail().SetSubject("HELLO"), kDefaults, true},
      {"subject case, case-sensitive", {}, Mail().SetSubject("HELLO"), kCase, false},
      {"same day, other time", {}, Mail().SetDate("Tue, 01 Jul 2003 18:00:00 +0200"), kDay, true},
      {"other day", {}, Mail().SetDate("Wed, 02 Jul 2003 10:52:37 +0200"), kDay, false},
      {"received differs, date not compared", {}, Mail().SetDate("Wed, 02 Jul 2003 10:52:37 +0200"), kDefaults, true},
      {"other sender", {}, Mail().SetFrom("Eve <eve@example.org>"), kDefaults, false},
      {"encoded subject equals plain", Mail().SetSubject("Gr\xC3\xBC\xC3\x9F" "e"), Mail().SetSubject("=?iso-8859-1?q?Gr=FC=DFe?="),
       kDefaults, true},
      {"no field compared", Mail().SetSubject("a"), Mail().SetSubject("b").SetBody("x"), TOlScanOptions{TOlScanOption::olSubfolders}.ToBits(), true},
  };
  for (const TOptionCase& c : cases) {
    test::TTempDir dir;
    const std::string root = dir / "Maildir";
    TTestMail a = c.A, b = c.B;
    b.Folder = "Work";
    test::MakeMaildir(dir, root, {a, b});
    auto s = Open(root);
    EXPECT_EQ(Scan(*s, c.Options).Groups.size(), c.Grouped ? 1u : 0u) << c.Name;
  }
}

TEST(MaildirScanner, ReadsNestedMaildirsAndKMailFolders) {
  test::TTempDir dir;
  // mbsync's Verbatim layout: one store per account, folders as nested Maildirs.
  const std::string account = dir / "mail/work";
  test::MakeMaildir(dir, account + "/INBOX", {Mail().SetFolder("")});
  test::MakeMaildir(dir, account + "/Archive/2024", {Mail().SetFolder("")});
  // KMail: children of "inbox" under ".inbox.directory".
  test::MakeMaildir(dir, dir / "local-mail/inbox", {Mail().SetFolder("")});
  test::MakeMaildir(dir, dir / "local-mail/.inbox.directory/lists", {Mail().SetFolder("")});
  TMaildirScanner s({dir / "mail", dir / "local-mail", dir / "missing"});
  s.Connect();
  for (int i = 0; i < s.RootFolder().ChildCount(); ++i) s.ScanFolders().Add(s.RootFolder().GetChild(i));
  TPluginFolderTree tree;
  std::vector<TOlFolder> folders;
  s.PopulateFolderTree(tree, folders);
  std::vector<std::string> paths;
  for (const TOlFolder& f : folders) paths.push_back(f.FolderPath);
  EXPECT_EQ(paths, (std::vector<std::string>{"mail/", "mail/work/", "mail/work/Archive/", "mail/work/Archive/2024/",
                                             "mail/work/INBOX/", "local-mail/", "local-mail/inbox/",
                                             "local-mail/inbox/lists/"}));
  // Only real Maildirs can take a moved message; the nodes above them only hold folders.
  std::vector<std::string> movable;
  for (const TOlFolder& f : folders)
    if (f.CanStoreItems) movable.push_back(f.FolderPath);
  EXPECT_EQ(movable, (std::vector<std::string>{"mail/work/Archive/2024/", "mail/work/INBOX/", "local-mail/inbox/",
                                               "local-mail/inbox/lists/"}));
  const TScanResult r = Scan(s, kDefaults);
  ASSERT_EQ(r.Groups.size(), 1u);
  EXPECT_EQ(r.Groups[0].size(), 4u);
}

TEST(MaildirScanner, ConnectFailsWithoutAStore) {
  test::TTempDir dir;
  TMaildirScanner s({dir / "none"});
  EXPECT_THROW(s.Connect(), EMailStoreError);
}

TEST(ScannerFramework, FolderListsAndEmptyScans) {
  test::TTempDir dir;
  const std::string root = dir / "Maildir";
  test::MakeMaildir(dir, root, {Mail().SetFolder(""), Mail().SetFolder("Work"), Mail().SetFolder("Work.Sub")});
  auto s = Open(root, false);
  // No folder to scan: nothing, and the completion still comes.
  TScanResult r = Scan(*s, kDefaults);
  EXPECT_EQ(r.Total, 0);
  EXPECT_EQ(s->ScanInfo().Status, ssBuildingList);
  // A folder both scanned and excluded is not scanned, nor (with subfolders) what is below it.
  TFolderBase* work = FindFolderByPath(s->RootFolder(), "Maildir/Work/");
  ASSERT_NE(work, nullptr);
  s->ScanFolders().Add(&s->RootFolder());
  s->ScanFolders().Add(s->RootFolder().GetChild(0));
  s->ExcludeFolders().Add(work);
  r = Scan(*s, kDefaults);
  EXPECT_EQ(r.Total, 1);
  // The dialog's choice of a folder already listed adds nothing.
  EXPECT_EQ(s->AddScanFolderFromDialog(s->RootFolder().GetChild(0)), nullptr);
  std::vector<std::string> names;
  s->SetScanFolderPaths({"Maildir/Work/Sub/", "Maildir/Nowhere/"});
  s->GetScanFolderNames(names);
  EXPECT_EQ(names.back(), "Maildir/Work/Sub/");
  // One identifier twice: the second item is refused.
  TItems items;
  auto a = std::make_unique<TItemBase>(), b = std::make_unique<TItemBase>();
  a->SetItemId("x");
  b->SetItemId("x");
  EXPECT_TRUE(items.AddIfUnique(a));
  EXPECT_FALSE(items.AddIfUnique(b));
  EXPECT_EQ(items.Count(), 1);
}

TEST(ScannerFramework, GroupingCountsAndOrder) {
  std::vector<std::unique_ptr<TItemBase>> items;
  TFolderRoot root;
  auto* b = new TMailFolder(&root);
  b->SetName("B");
  auto* a = new TMailFolder(&root);
  a->SetName("a");
  auto add = [&](const char* key, TFolderBase* f, std::int64_t size, int day) {
    auto it = std::make_unique<TMailItem>();
    it->Subject = key;
    it->SetFolder(f);
    it->SetSize(size);
    it->SetDate(TDateTime::FromUnix(day * 86400));
    items.push_back(std::move(it));
  };
  add("x", b, 10, 3);
  add("y", a, 5, 1);
  add("x", a, 20, 2);
  add("x", a, 30, 1);
  TSummaryInfo sum;
  GroupScannedItems(items,
                    [](const TItemBase& l, const TItemBase& r) {
                      return CompareMails(static_cast<const TMailItem&>(l), static_cast<const TMailItem&>(r),
                                          TOlScanOptions{TOlScanOption::olSubject});
                    },
                    sum);
  ASSERT_EQ(items.size(), 3u);
  EXPECT_EQ(sum.TotalItemsCount, 4);
  EXPECT_EQ(sum.OriginalItemsCount, 1);
  EXPECT_EQ(sum.DuplicateItemsCount, 2);
  // Ordered by folder path without regard to case, then by date: a (day 1), a (day 2), B.
  EXPECT_EQ(items[0]->Size(), 30);
  EXPECT_EQ(items[1]->Size(), 20);
  EXPECT_EQ(items[2]->Size(), 10);
  EXPECT_EQ(sum.OriginalItemsSize, 30);
  EXPECT_EQ(sum.DuplicateItemsSize, 30);
}

}  // namespace
}  // namespace pelcrow
