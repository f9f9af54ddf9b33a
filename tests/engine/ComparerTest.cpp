// The mode comparers on small hand-made lists: what makes two files duplicates in each mode, and
// what never does (an unreadable file, one file reached twice).
#include <gtest/gtest.h>

#include <random>

#include "TestUtil.h"
#include "engine/ExifCompare.h"
#include "engine/FileChecksums.h"
#include "platform/FileSystem.h"
#include "services/Crc32.h"

namespace pelcrow {
namespace {

using test::TTempDir;
using Set = std::set<std::set<std::string>>;

class ComparerTest : public ::testing::Test {
 protected:
  ~ComparerTest() override {
    for (PFileItem it : files) delete it;
  }
  // An item for a file on disk, as the enumeration makes it.
  PFileItem Add(const std::string& rel, const std::string& bytes) {
    std::string full = dir.Write(rel, bytes);
    return AddExisting(full);
  }
  PFileItem AddExisting(const std::string& full) {
    platform::TFileInfo info;
    EXPECT_EQ(platform::LStat(full, info), 0);
    auto* it = new TFileItem;
    std::size_t slash = full.rfind('/');
    it->Path = full.substr(0, slash);
    it->Name = full.substr(slash + 1);
    it->Size = info.Size;
    it->Device = info.Device;
    it->Inode = info.Inode;
    it->fSingleLink = info.LinkCount <= 1;
    files.push_back(it);
    return it;
  }
  // An item whose file cannot be read (gone since the enumeration).
  PFileItem AddGhost(const std::string& rel, std::int64_t size) {
    auto* it = new TFileItem;
    it->Path = dir.path() + "/ghosts";
    it->Name = rel;
    it->Size = size;
    files.push_back(it);
    return it;
  }
  Set Group(std::uint8_t mode, TPcwCompareOptions options = {},
            TMusicTagsOptions music = TMusicTagsOptions::FromBits(kDefaultMusicTagsOptions)) {
    auto comparer = CreateFileComparer(mode, &files, options);
    ResetComparisonCounters();
    TGroupingOptions go;
    go.MusicOptions = music;
    GroupDuplicates(*comparer, std::stop_token(), go);
    std::map<std::uint32_t, std::set<std::string>> groups;
    for (PFileItem it : files) {
      std::string full = it->FullPath();
      groups[it->DupGroup].insert(full.substr(dir.path().size() + 1));
    }
    Set r;
    for (auto& [g, members] : groups) r.insert(members);
    return r;
  }
  TTempDir dir;
  std::vector<PFileItem> files;
};

TEST_F(ComparerTest, UnreadableFilesNeverJoinAGroup) {
  Add("a", "0123456789");
  Add("b", "0123456789");
  AddGhost("g1", 10);
  AddGhost("g2", 10);
  EXPECT_EQ(Group(cmCRC32), (Set{{"a", "b"}}));
  for (PFileItem it : files) EXPECT_FALSE(it->fReadFailed);
}

TEST_F(ComparerTest, OneFileReachedThroughTwoPathTextsIsNotItsOwnDuplicate) {
  // As a bind mount shows it: another folder, the same device and inode, one link.
  PFileItem a = Add("real/f.txt", "same bytes");
  PFileItem b = Add("mount/f.txt", "same bytes");
  b->Device = a->Device;
  b->Inode = a->Inode;
  EXPECT_EQ(Group(cmCRC32), Set{});

  files.clear();
  a = Add("real/f.txt", "same bytes");
  b = Add("mount/f.txt", "same bytes");
  b->Device = a->Device;
  b->Inode = a->Inode;
  Add("copy/g.txt", "same bytes");
  Set groups = Group(cmCRC32);
  ASSERT_EQ(groups.size(), 1u);
  EXPECT_EQ(groups.begin()->size(), 2u);
  EXPECT_TRUE(groups.begin()->count("copy/g.txt"));
}

TEST_F(ComparerTest, ByteByByteComparesEveryBlock) {
  std::string big(3 * 65521 + 17, 'x');
  std::string late = big;
  late[2 * 65521 + 3] = 'y';
  Add("a", big);
  Add("b", big);
  Add("c", late);
  Add("d", "short");
  Add("e", "short");
  EXPECT_EQ(Group(cmByteByByte), (Set{{"a", "b"}, {"d", "e"}}));
}

TEST_F(ComparerTest, NameOptionKeepsExactNamesTogetherWhateverTheSortOrder) {
  // With the file-name option, names are compared with their case after the sort: the two
  // "Report" files are duplicates even when a "report" sits between them.
  for (int round = 0; round < 6; ++round) {
    for (PFileItem it : files) delete it;
    files.clear();
    std::vector<std::string> names = {"x/Report.txt", "y/report.txt", "z/Report.txt", "w/Report.txt"};
    std::shuffle(names.begin(), names.end(), std::mt19937(static_cast<unsigned>(round)));
    for (const auto& n : names) Add(n, "content of the report");
    EXPECT_EQ(Group(cmByteByByte, {coFileName}), (Set{{"x/Report.txt", "z/Report.txt", "w/Report.txt"}}))
        << "round " << round;
  }
}

struct TNameCase {
  const char* Name;
  TPcwCompareOptions Options;
  Set Expected;
};
void PrintTo(const TNameCase& c, std::ostream* os) { *os << c.Name; }

class FileNameModeTest : public ComparerTest, public ::testing::WithParamInterface<TNameCase> {};

TEST_P(FileNameModeTest, Groups) {
  Add("a/Photo.JPG", "1234");
  Add("b/photo.png", "12345");
  Add("c/PHOTO.jpg", "1234");
  Add("d/other.jpg", "1234");
  EXPECT_EQ(Group(cmFileName, GetParam().Options), GetParam().Expected);
}

INSTANTIATE_TEST_SUITE_P(
    Options, FileNameModeTest,
    ::testing::Values(TNameCase{"NoOptions", {}, Set{{"a/Photo.JPG", "b/photo.png", "c/PHOTO.jpg"}}},
                      TNameCase{"Extension", {coExtension}, Set{{"a/Photo.JPG", "c/PHOTO.jpg"}}},
                      TNameCase{"Size", {coFileSize}, Set{{"a/Photo.JPG", "c/PHOTO.jpg"}}},
                      TNameCase{"ExactName", {coFileName}, Set{}}),
    [](const auto& p) { return std::string(p.param.Name); });

std::string Jpeg(const std::string& exif, const std::string& picture) {
  std::string s = "\xFF\xD8";
  if (!exif.empty()) {
    std::size_t len = exif.size() + 2;
    s += "\xFF\xE1";
    s += static_cast<char>(len >> 8);
    s += static_cast<char>(len & 0xFF);
    s += exif;
  }
  s += "\xFF\xDA";
  s += '\0';
  s += '\x04';
  s += "ab";
  return s + picture;
}

TEST_F(ComparerTest, ExifOptionComparesPictureDataWithoutMetadata) {
  Add("a/pic.JPG", Jpeg("Exif camera A", "PIXELS"));
  Add("b/pic.JPEG", Jpeg("Exif camera B", "PIXELS"));
  Add("c/pic.jpg", Jpeg("Exif camera C", "OTHERS"));
  EXPECT_EQ(Group(cmFileName, {coEXIF}), (Set{{"a/pic.JPG", "b/pic.JPEG"}}));

  for (PFileItem it : files) delete it;
  files.clear();
  Add("a/pic.JPG", Jpeg("Exif camera A", "PIXELS"));
  Add("b/pic.JPG", Jpeg("", "PIXELS"));  // no EXIF block: equal to nothing
  EXPECT_EQ(Group(cmFileName, {coEXIF}), Set{});
}

TEST_F(ComparerTest, ExifLocationFindsApp1Blocks) {
  std::string f = dir.Write("x.jpg", Jpeg("12345", "data"));
  auto blocks = GetExifLocation(f);
  ASSERT_EQ(blocks.size(), 1u);
  EXPECT_EQ(blocks[0].Position, 2);
  EXPECT_EQ(blocks[0].Size, 2u + 2u + 5u);
  EXPECT_TRUE(GetExifLocation(dir.Write("y.jpg", "not a jpeg")).empty());
  // A length that points before itself ends the walk instead of looping.
  EXPECT_TRUE(GetExifLocation(dir.Write("z.jpg", std::string("\xFF\xD8\xFF\xE0\x00\x01", 6))).empty());
}

TEST_F(ComparerTest, MusicTagsGroupByTagTextOrByContent) {
  PFileItem a = Add("a.mp3", "audio one");
  PFileItem b = Add("b.mp3", "audio two");
  PFileItem c = Add("c.mp3", "audio three");
  a->AudioTagValues = "TitleArtist";
  b->AudioTagValues = "TitleArtist";
  c->AudioTagValues = "Other";
  Add("d.mp3", "untagged");
  Add("e.mp3", "untagged");
  Add("f.mp3", "untagged but different");
  EXPECT_EQ(Group(cmMusicTags), (Set{{"a.mp3", "b.mp3"}, {"d.mp3", "e.mp3"}}));
}

TEST_F(ComparerTest, TagKeyIsTheChecksumOfUtf16Text) {
  // "Aé" as UTF-16LE: 41 00 E9 00.
  EXPECT_EQ(TextChecksumUtf16("A\xC3\xA9"), CRC32Of(std::string("A\0\xE9\0", 4)));
}

// Group numbers are handed out inside the comparisons; whenever one class of equal items ends
// up with several numbers (an ordering that changed under the sort, a stop), grouping still
// makes every class exactly one group.
TEST_F(ComparerTest, EveryClassOfEqualNamesIsOneGroup) {
  std::mt19937 rng(7);
  for (int round = 0; round < 40; ++round) {
    for (PFileItem it : files) delete it;
    files.clear();
    std::map<std::string, int> counts;
    for (int k = 0; k < 40; ++k) {
      auto* it = new TFileItem;
      std::string name = std::string(1, static_cast<char>('a' + rng() % 6)) + ".txt";
      it->Path = "/virtual/" + std::to_string(k);
      it->Name = name;
      counts[name]++;
      files.push_back(it);
    }
    auto comparer = CreateFileComparer(cmFileName, &files, {});
    ResetComparisonCounters();
    comparer->BeginPhase(std::stop_token(), {});
    comparer->Sort();
    // Split every class the way two pivots would: some members keep a number of their own.
    for (PFileItem it : files)
      if (rng() % 3 == 0) it->DupGroup = 1000 + static_cast<std::uint32_t>(rng() % 50);
    comparer->UnifyEqualRuns();
    comparer->FindDuplicates();
    comparer->EndPhase();
    std::map<std::string, std::set<std::uint32_t>> groups;
    std::set<std::uint32_t> numbers;
    for (PFileItem it : files) {
      groups[it->Name.str()].insert(it->DupGroup);
      numbers.insert(it->DupGroup);
    }
    for (auto& [name, count] : counts) {
      if (count >= 2) {
        ASSERT_EQ(groups[name].size(), 1u) << name;
      } else {
        EXPECT_EQ(groups.count(name), 0u);
      }
    }
    EXPECT_EQ(numbers.size(), groups.size());  // no number shared by two classes
  }
}

TEST_F(ComparerTest, StopRequestEndsGroupingWithoutGroups) {
  Add("a", "same");
  Add("b", "same");
  std::stop_source stop;
  stop.request_stop();
  auto comparer = CreateFileComparer(cmCRC32, &files, {});
  GroupDuplicates(*comparer, stop.get_token(), {});
  for (PFileItem it : files) EXPECT_EQ(it->DupGroup, 0u);
}

TEST(QuickSortTest, SortsLikeAnyOrderingAndSurvivesAnInconsistentOne) {
  std::mt19937 rng(3);
  std::vector<PFileItem> items;
  std::vector<TFileItem> storage(500);
  for (auto& it : storage) {
    it.Size = static_cast<std::int64_t>(rng() % 50);
    items.push_back(&it);
  }
  QuickSortItems(items, [](PFileItem a, PFileItem b) { return a->Size < b->Size ? -1 : (a->Size > b->Size ? 1 : 0); });
  EXPECT_TRUE(std::is_sorted(items.begin(), items.end(), [](PFileItem a, PFileItem b) { return a->Size < b->Size; }));
  QuickSortItems(items, [&](PFileItem, PFileItem) { return static_cast<int>(rng() % 3) - 1; });
  EXPECT_EQ(items.size(), 500u);
}

}  // namespace
}  // namespace pelcrow
