#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "PhotoFixtures.h"
#include "base/MainThread.h"
#include "plugins/PictureScanner.h"
#include "services/Crc32.h"

namespace pelcrow {
namespace {

TEST(PictureScanner, MakesExponentNumbersPlain) {
  const std::pair<const char*, const char*> cases[] = {
      {"1.5E+2", "150"}, {"7E+3", "7000"}, {" 42\r\n", "42"}, {"1.2345E+4", "12345"}, {"12", "12"}, {"", ""},
      // An exponent no identifier has is left alone instead of asking for that many digits.
      {"1E+999999999", "1E+999999999"}, {"1E+x", "1E+x"},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(MakePlainNumber(in), out) << in;
}

TEST(PictureScanner, ParsesWholePhotoRecordsOnly) {
  std::vector<TPhotoRecord> photos;
  std::string error;
  ASSERT_TRUE(ParsePhotoList("1.5E+2\n/p/a.jpg\n640\nwide\n1600000000\n7\n/p/b.jpg\n1\n2\n3\n", photos, error)) << error;
  ASSERT_EQ(photos.size(), 2u);
  EXPECT_EQ(photos[0].Id, "150");
  EXPECT_EQ(photos[0].FilePath, "/p/a.jpg");
  EXPECT_EQ(photos[0].Width, 640);
  EXPECT_EQ(photos[0].Height, 0);  // not a number
  EXPECT_EQ(photos[0].Date, TDateTime::FromUnix(1600000000));
  EXPECT_TRUE(ParsePhotoList("", photos, error));
  EXPECT_TRUE(photos.empty());

  // A record cut short, or out of step (a line too many before it), is refused whole: one
  // photo's identifier never meets another's file.
  for (const char* bad : {"1\n/p/a.jpg\n640\n480\n", "1\n/p/a\n.jpg\n640\n480\n5\n2\n/p/b.jpg\n1\n1\n"}) {
    EXPECT_FALSE(ParsePhotoList(bad, photos, error)) << bad;
    EXPECT_TRUE(photos.empty());
  }
  EXPECT_FALSE(ParsePhotoList("1\nrelative.jpg\n1\n1\n1\n", photos, error));
}

TEST(PictureScanner, BuildsTheAlbumTreeFromTabbedTriples) {
  TFolderRoot root;
  std::string error;
  ASSERT_TRUE(ParseAlbumList("1\nTrips\nfolder\n\t2E+1\n\tRome\nevent\n\t\t3\n\t\tDay 1\nevent\n\t4\n\tParis\nevent\n"
                             "trash\nTrash\ntrash album\n",
                             root, error))
      << error;
  ASSERT_EQ(root.ChildCount(), 2);
  TFolderBase* trips = root.GetChild(0);
  EXPECT_EQ(trips->Name(), "Trips");
  ASSERT_EQ(trips->ChildCount(), 2);
  EXPECT_EQ(trips->GetChild(0)->Id(), "20");
  EXPECT_EQ(trips->GetChild(0)->GetChild(0)->FolderPath(), "Trips/Rome/Day 1/");
  EXPECT_EQ(trips->GetChild(1)->FolderPath(), "Trips/Paris/");
  EXPECT_EQ(static_cast<TFolderPictureLibrary*>(root.GetChild(1))->AlbumType(), "trash album");
  EXPECT_EQ(root.GetChild(1)->Icon(), "user-trash");

  TFolderRoot cut;
  EXPECT_FALSE(ParseAlbumList("1\nTrips\n", cut, error));
}

// A library with pictures on disk, scanned through the shipped scripts.
class ShotwellScan : public ::testing::Test {
 protected:
  ShotwellScan() : lib(dir) {}

  std::string Picture(const std::string& name, const std::string& bytes) { return dir.Write("pics/" + name, bytes); }

  std::unique_ptr<TScannerPictureLibrary> Open() {
    auto s = std::make_unique<TScannerPictureLibrary>(test::PhotoScripts(), lib.Db, &UpdateCRC32);
    s->Open();
    return s;
  }
  // Scans the albums (all of them when none is named); the groups as sets of "album|file name".
  std::set<std::set<std::string>> Scan(TScannerPictureLibrary& s, std::vector<std::string> albums = {}) {
    for (int i = 0; i < s.RootFolder().ChildCount(); ++i)
      if (albums.empty() || std::count(albums.begin(), albums.end(), s.RootFolder().GetChild(i)->Name()))
        s.ScanFolders().Add(s.RootFolder().GetChild(i));
    TQueueMainThread main;
    SetMainThread(&main);
    bool done = false;
    s.OnScanComplete = [&] { done = true; };
    s.StartScan();
    main.RunUntil([&] { return done; });
    SetMainThread(nullptr);
    std::map<int, std::set<std::string>> groups;
    for (int i = 0; i < s.Items().Count(); ++i) {
      const auto& p = static_cast<const TItemPictureBase&>(*s.Items()[i]);
      groups[p.DuplicateGroup()].insert(p.Folder()->Name() + "|" + BaseOf(p.FilePath()));
    }
    std::set<std::set<std::string>> out;
    for (auto& [g, members] : groups) out.insert(members);
    return out;
  }

  test::TTempDir dir;
  test::TShotwellLibrary lib;
};

TEST_F(ShotwellScan, FindsDuplicatesAcrossEventsAndTagsListingEachPhotoOnce) {
  lib.Event(1, "Holiday");
  lib.Event(2, "Garden");
  lib.Photo(1, Picture("a.jpg", "same bytes"), 1);
  lib.Photo(2, Picture("b.jpg", "same bytes"), 2);
  lib.Photo(3, Picture("c.jpg", "other bytes"), 2);
  lib.Photo(4, Picture("d.jpg", "same bytes"), -1);
  lib.Tag(1, "Family", {1, 3});
  auto s = Open();
  std::vector<std::string> names;
  for (int i = 0; i < s->RootFolder().ChildCount(); ++i) names.push_back(s->RootFolder().GetChild(i)->Name());
  EXPECT_EQ(names, (std::vector<std::string>{"Holiday", "Garden", "Family", "No Event", "Trash"}));
  // Photo 1 is in Holiday and in Family: listed once, in the album scanned first.
  EXPECT_EQ(Scan(*s), (std::set<std::set<std::string>>{{"Holiday|a.jpg", "Garden|b.jpg", "No Event|d.jpg"}}));
  EXPECT_EQ(s->SummaryInfo().DuplicateItemsCount, 2);
  EXPECT_TRUE(s->LeftOut().empty());
}

TEST_F(ShotwellScan, NeverScansTheTrashNorGroupsMissingUnreadableOrRepeatedFiles) {
  lib.Event(1, "Holiday");
  lib.Photo(1, Picture("a.jpg", "same bytes"), 1);
  lib.Photo(2, Picture("trashed.jpg", "same bytes"), 1, 1600000000, 4);
  // Two missing files would compare equal: listed as missing instead.
  lib.Photo(3, dir / "pics/gone1.jpg", 1);
  lib.Photo(4, dir / "pics/gone2.jpg", 1);
  // Two entries of one file are never duplicates of each other.
  const std::string x = Picture("x.jpg", "lone");
  lib.Photo(5, x, 1);
  std::filesystem::create_symlink(x, dir / "pics/x-link.jpg");
  lib.Photo(6, dir / "pics/x-link.jpg", 1);
  const std::string locked1 = Picture("l1.jpg", "locked"), locked2 = Picture("l2.jpg", "locked");
  lib.Photo(7, locked1, 1);
  lib.Photo(8, locked2, 1);
  std::filesystem::permissions(locked1, std::filesystem::perms::none);
  std::filesystem::permissions(locked2, std::filesystem::perms::none);
  const bool asRoot = ::geteuid() == 0;  // root reads them anyway
  auto s = Open();
  // The trash is left out even when it is chosen.
  EXPECT_EQ(Scan(*s), asRoot ? (std::set<std::set<std::string>>{{"Holiday|l1.jpg", "Holiday|l2.jpg"}})
                             : std::set<std::set<std::string>>{});
  std::set<std::string> left;
  for (const TLeftOutPhoto& p : s->LeftOut()) left.insert(p.Id + " " + p.Reason);
  std::set<std::string> expected{"3 missing", "4 missing", "6 the same file as photo 5"};
  if (!asRoot) expected.insert({"7 unreadable", "8 unreadable"});
  EXPECT_EQ(left, expected);
}

TEST_F(ShotwellScan, ComparesTheWholeFileNotOnlyItsFirstBlock) {
  lib.Event(1, "Holiday");
  std::string bytes(100000, 'p');
  lib.Photo(1, Picture("a.jpg", bytes), 1);
  lib.Photo(2, Picture("b.jpg", bytes), 1);
  bytes[70000] = 'q';  // past the short checksum's block
  lib.Photo(3, Picture("c.jpg", bytes), 1);
  auto s = Open();
  EXPECT_EQ(Scan(*s), (std::set<std::set<std::string>>{{"Holiday|a.jpg", "Holiday|b.jpg"}}));
  const auto& a = static_cast<const TItemPictureBase&>(*s->Items()[0]);
  TItemPictureLibrary c;
  c.SetFilePath(dir / "pics/c.jpg");
  EXPECT_EQ(a.Crc32Short(&UpdateCRC32), c.Crc32Short(&UpdateCRC32));
  EXPECT_NE(a.Crc32Full(&UpdateCRC32), c.Crc32Full(&UpdateCRC32));
  EXPECT_EQ(a.Crc32Full(&UpdateCRC32), CRC32Of(std::string(100000, 'p')));
}

TEST_F(ShotwellScan, DeletesIntoShotwellsTrashAndRestoresFromIt) {
  lib.Event(1, "Holiday");
  lib.Photo(1, Picture("a.jpg", "same"), 1);
  lib.Photo(2, Picture("b.jpg", "same"), 1);
  auto s = Open();
  Scan(*s);
  ASSERT_EQ(s->Items().Count(), 2);
  TItemBase& second = *s->Items()[1];
  const std::string id = second.ItemId();
  s->DeleteItem(second);
  EXPECT_TRUE(second.IsDeleted());
  EXPECT_EQ(lib.Trashed(std::stoi(id)), "1\n");
  // Shotwell's trash holds it now: the trash album lists it.
  EXPECT_NE(s->RunScript("iphoto_scanner_enum_photos", {"trash"}).find("/b.jpg"), std::string::npos);
  EXPECT_THROW(s->DeleteItem(second), EPhotoLibraryError);  // in the trash already: a failure, said
  // MoveItem leaves the item as it was.
  TItemBase& first = *s->Items()[0];
  s->MoveItem(first, nullptr);
  EXPECT_FALSE(first.IsDeleted());
  EXPECT_NE(first.Folder(), nullptr);

  std::string why;
  const std::string file = static_cast<TItemPictureBase&>(second).FilePath();
  EXPECT_TRUE(RestoreLibraryPhoto(test::PhotoScripts(), lib.Db, id, file, why)) << why;
  EXPECT_EQ(lib.Trashed(std::stoi(id)), "0\n");
  EXPECT_TRUE(RestoreLibraryPhoto(test::PhotoScripts(), lib.Db, id, file, why)) << why;  // out already
  lib.Sql("delete from PhotoTable where id = " + id);
  EXPECT_FALSE(RestoreLibraryPhoto(test::PhotoScripts(), lib.Db, id, file, why));
  EXPECT_NE(why.find("no longer holds it"), std::string::npos) << why;
}

TEST_F(ShotwellScan, RefusesALibraryThatIsNotThere) {
  TScannerPictureLibrary s(test::PhotoScripts(), dir / "none/photo.db", &UpdateCRC32);
  EXPECT_THROW(s.Open(), EPhotoLibraryError);
  TScannerPictureLibrary noScripts(dir / "no-scripts", lib.Db, &UpdateCRC32);
  EXPECT_THROW(noScripts.Open(), EPhotoLibraryError);
}

}  // namespace
}  // namespace pelcrow
