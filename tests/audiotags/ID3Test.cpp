#include <gtest/gtest.h>

#include <string>

#include "AudioBuilders.h"
#include "audiotags/ID3v1.h"
#include "audiotags/ID3v2.h"

namespace pelcrow {
namespace {

using namespace test;

TID3v1 ReadV1(const std::string& bytes) {
  TStringSource src(bytes);
  TID3v1 t;
  EXPECT_TRUE(t.ReadFromSource(src));
  return t;
}

TID3v2 ReadV2(const std::string& bytes) {
  TStringSource src(bytes);
  TID3v2 t;
  EXPECT_TRUE(t.ReadFromSource(src));
  return t;
}

const std::string kAudio(2000, '\x55');

TEST(ID3v1Test, VersionsTrackCommentAndGenre) {
  TID3v1 t = ReadV1(kAudio + Id3v1Tag("Title", "Artist", "Album", "1999", "A comment of exactly 28 char", 7, 17));
  EXPECT_TRUE(t.Exists);
  EXPECT_EQ(t.VersionID, 2);
  EXPECT_EQ(t.Title, "Title");
  EXPECT_EQ(t.Artist, "Artist");
  EXPECT_EQ(t.Album, "Album");
  EXPECT_EQ(t.Year, "1999");
  EXPECT_EQ(t.Comment, "A comment of exactly 28 char");
  EXPECT_EQ(t.Track, 7);
  EXPECT_EQ(t.Genre, "Rock");
  EXPECT_EQ(t.TagSize, 128u);

  t = ReadV1(kAudio + Id3v1Tag("T", "A", "B", "2000", "thirty characters of comment!!", 0, 200));
  EXPECT_EQ(t.VersionID, 1);
  EXPECT_EQ(t.Track, 0);
  EXPECT_EQ(t.Comment, "thirty characters of comment!!");
  EXPECT_EQ(t.Genre, "");  // 148 and above have no name

  // Version 1.1 marked with a blank before the track byte.
  std::string blank = Id3v1Tag("T", "A", "B", "2000", "", 0, 1);
  blank[125] = ' ';
  blank[126] = 9;
  t = ReadV1(kAudio + blank);
  EXPECT_EQ(t.VersionID, 2);
  EXPECT_EQ(t.Track, 9);
  EXPECT_EQ(t.Genre, "Classic Rock");
}

TEST(ID3v1Test, FieldsAreLatin1CutAtTheirEnd) {
  std::string title = std::string("Caf\xE9  ") + '\0' + "junk after the end";
  TID3v1 t = ReadV1(kAudio + Id3v1Tag(title, "Art\x01\x02", "   Album", "99", "", 0, 0));
  EXPECT_EQ(t.Title, "Café");
  EXPECT_EQ(t.Artist, "Art");
  EXPECT_EQ(t.Album, "   Album");  // only the end is cut
  EXPECT_EQ(t.Year, "99");
}

TEST(ID3v1Test, NoTagAndTinyFiles) {
  for (std::string s : {std::string(), std::string("TAG"), kAudio}) {
    TID3v1 t = ReadV1(s);
    EXPECT_FALSE(t.Exists);
    EXPECT_EQ(t.TagSize, 0u);
  }
}

TEST(ID3v1Test, Lyrics3ExtendedFieldsReplaceTheShortOnes) {
  const std::string longTitle = "A title much longer than the thirty bytes of ID3v1";
  std::string lyrics = Lyrics3Block({{"IND", "11"},
                                     {"ETT", longTitle},
                                     {"EAR", " Extended Artist "},
                                     {"LYR", "la la la"},
                                     {"EAL", "Extended Alb\xFBm"},
                                     {"INF", "info"}});
  TID3v1 t = ReadV1(kAudio + lyrics + Id3v1Tag(longTitle, "Artist", "Album", "2001", "c", 3, 2));
  EXPECT_TRUE(t.ExistsLyrics2);
  EXPECT_EQ(t.Title, longTitle);
  EXPECT_EQ(t.Artist, "Extended Artist");
  EXPECT_EQ(t.Album, "Extended Albûm");
  EXPECT_EQ(t.Comment, "info");
  EXPECT_EQ(t.Track, 3);
  EXPECT_EQ(t.TagSize, 128 + lyrics.size());

  // An unknown field ends the block; fields before it count.
  lyrics = Lyrics3Block({{"ETT", "Kept"}, {"XYZ", "stop"}, {"EAR", "Ignored"}});
  t = ReadV1(kAudio + lyrics + Id3v1Tag("T", "Artist", "Album", "2001", "c", 3, 2));
  EXPECT_EQ(t.Title, "Kept");
  EXPECT_EQ(t.Artist, "Artist");

  // A size that points before the file or at no LYRICSBEGIN means no block.
  std::string bad = "999999LYRICS200";
  t = ReadV1(kAudio + bad + Id3v1Tag("T", "Artist", "Album", "2001", "c", 3, 2));
  EXPECT_FALSE(t.ExistsLyrics2);
  EXPECT_EQ(t.TagSize, 128u);
  bad = kAudio + "000020LYRICS200";
  t = ReadV1(bad + Id3v1Tag("T", "Artist", "Album", "2001", "c", 3, 2));
  EXPECT_FALSE(t.ExistsLyrics2);
}

struct TTextCase {
  const char* Name;
  int Version;
  std::string Frames;
  std::string Title, Artist, Album, TrackString, Year, Genre;
  int Track;
};

TEST(ID3v2Test, TextFramesOfEveryVersionAndEncoding) {
  const std::string bomLE = "\xFF\xFE", bomBE = "\xFE\xFF";
  TTextCase cases[] = {
      {"v2.3 Latin-1", 3,
       Id3v2Text(3, "TIT2", "Caf\xE9") + Id3v2Text(3, "TPE1", "Artist") + Id3v2Text(3, "TALB", "Album") +
           Id3v2Text(3, "TRCK", "3/12") + Id3v2Text(3, "TYER", "1999") + Id3v2Text(3, "TCON", "(17)Rock"),
       "Café", "Artist", "Album", "3/12", "1999", "Rock", 3},
      {"v2.2 three-letter ids", 2,
       Id3v2Text(2, "TT2", "Old") + Id3v2Text(2, "TP1", "Timer") + Id3v2Text(2, "TAL", "Album") +
           Id3v2Text(2, "TRK", "5") + Id3v2Text(2, "TYE", "1988") + Id3v2Text(2, "TCO", "(17)"),
       "Old", "Timer", "Album", "5", "1988", "", 5},
      {"v2.4 UTF-8", 4,
       Id3v2Text(4, "TIT2", "Ünïcode 🎵", 3) + Id3v2Text(4, "TPE1", "Ærø", 3) + Id3v2Text(4, "TDRC", "2020-01-02", 3),
       "Ünïcode 🎵", "Ærø", "", "", "2020", "", 0},
      {"UTF-16 with either mark", 3,
       Id3v2Text(3, "TIT2", bomLE + Utf16LE(u"Ωmega ÿ") + std::string(2, '\0'), 1) +
           Id3v2Text(3, "TPE1", bomBE + Utf16BE(u"Big Ψ"), 1),
       "Ωmega ÿ", "Big Ψ", "", "", "", "", 0},
      {"UTF-16BE without mark", 4, Id3v2Text(4, "TIT2", Utf16BE(u"Ēndian 𝄞"), 2), "Ēndian 𝄞", "", "", "", "", "", 0},
      {"fall-backs", 3,
       Id3v2Text(3, "TIT1", "Group") + Id3v2Text(3, "TOPE", "Original") + Id3v2Text(3, "TOAL", "Orig Album") +
           Id3v2Text(3, "TDRC", "19845"),
       "Group", "Original", "Orig Album", "", "1984", "", 0},
      {"the first usable frame wins", 3,
       Id3v2Text(3, "TIT2", "bad encoding", 7) + Id3v2Text(3, "TIT2", "First") + Id3v2Text(3, "TIT2", "Second") +
           Id3v2Text(3, "TPE1", "") + Id3v2Text(3, "TPE1", "Later"),
       "First", "", "", "", "", "", 0},
      {"blanks, zeros and multiple values", 4,
       Id3v2Text(4, "TIT2", "  Padded \t") + Id3v2Text(4, "TCON", std::string("Rock\0Pop", 8), 3) +
           Id3v2Text(4, "TRCK", "x/3"),
       "Padded", "", "", "x/3", "", "Rock", 0},
  };
  for (const auto& c : cases) {
    TID3v2 t = ReadV2(Id3v2Tag(c.Version, c.Frames, 64) + kAudio);
    EXPECT_TRUE(t.Exists) << c.Name;
    EXPECT_EQ(t.VersionID, c.Version) << c.Name;
    EXPECT_EQ(t.Title, c.Title) << c.Name;
    EXPECT_EQ(t.Artist, c.Artist) << c.Name;
    EXPECT_EQ(t.Album, c.Album) << c.Name;
    EXPECT_EQ(t.TrackString, c.TrackString) << c.Name;
    EXPECT_EQ(t.Track, c.Track) << c.Name;
    EXPECT_EQ(t.Year, c.Year) << c.Name;
    EXPECT_EQ(t.Genre, c.Genre) << c.Name;
  }
}

TEST(ID3v2Test, FrameDataIsCutAt500Bytes) {
  std::string longTitle(700, 'x');
  TID3v2 t = ReadV2(Id3v2Tag(3, Id3v2Text(3, "TIT2", longTitle) + Id3v2Text(3, "TPE1", "After")) + kAudio);
  EXPECT_EQ(t.Title, std::string(TID3v2::kMaxFrameBytes - 1, 'x'));
  EXPECT_EQ(t.Artist, "After");
}

TEST(ID3v2Test, CommentSkipsLanguageAndDescription) {
  std::string comm = Id3v2Frame(3, "COMM", std::string("\0eng", 4) + "desc" + std::string(1, '\0') + "The comment");
  std::string comm16 = Id3v2Frame(3, "COMM",
                                  std::string("\x01"
                                              "eng",
                                              4) +
                                      "\xFF\xFE" + Utf16LE(u"d") + std::string(2, '\0') + "\xFF\xFE" + Utf16LE(u"Ünï"));
  EXPECT_EQ(ReadV2(Id3v2Tag(3, comm) + kAudio).Comment, "The comment");
  EXPECT_EQ(ReadV2(Id3v2Tag(3, comm16) + kAudio).Comment, "Ünï");
}

TEST(ID3v2Test, Version24SizesAreSyncSafe) {
  // A 200-byte frame before the title: its size bytes differ between the two readings.
  std::string big = Id3v2Frame(4, "TXXX", std::string(1, '\0') + std::string(199, 'p'));
  TID3v2 t = ReadV2(Id3v2Tag(4, big + Id3v2Text(4, "TIT2", "After big")) + kAudio);
  EXPECT_EQ(t.Title, "After big");
  // Some writers stored plain sizes in 2.4 tags: the reading that lands on a frame wins.
  std::string plain = "TXXX" + BE(200, 4) + std::string(2, '\0') + std::string(1, '\0') + std::string(199, 'p');
  t = ReadV2(Id3v2Tag(4, plain + Id3v2Text(4, "TIT2", "After plain")) + kAudio);
  EXPECT_EQ(t.Title, "After plain");
}

TEST(ID3v2Test, UnsynchronisationIsUndone) {
  // 2.3: the whole tag after the header; the frame sizes count the restored bytes.
  std::string frame =
      "TIT2" + BE(4, 4) + std::string(2, '\0') + std::string(1, '\0') + "A\xFF" + std::string(1, '\0') + "B";
  std::string tag = Id3v2Tag(3, frame + Id3v2Text(3, "TPE1", "Next"), 0, 0x80);
  TID3v2 t = ReadV2(tag + kAudio);
  EXPECT_EQ(t.Title,
            "A\xC3\xBF"
            "B");  // stored A FF 00 B: the zero after FF was inserted
  EXPECT_EQ(t.Artist, "Next");
  // 2.4: per frame, with a data length indicator in front.
  std::string payload = std::string(1, '\0') + "X\xFF" + std::string(1, '\0') + "\xE9";
  std::string f4 = "TIT2" + SyncSafe(static_cast<std::uint32_t>(4 + payload.size())) + std::string(1, '\0') +
                   std::string(1, '\x03') + SyncSafe(4) + payload;
  t = ReadV2(Id3v2Tag(4, f4 + Id3v2Text(4, "TPE1", "Next")) + kAudio);
  EXPECT_EQ(t.Title, "X\xC3\xBF\xC3\xA9");
  EXPECT_EQ(t.Artist, "Next");
}

TEST(ID3v2Test, ExtendedHeadersAreSkipped) {
  std::string ext3 = BE(6, 4) + std::string(6, '\0');
  TID3v2 t = ReadV2(Id3v2Tag(3, ext3 + Id3v2Text(3, "TIT2", "Three"), 0, 0x40) + kAudio);
  EXPECT_EQ(t.Title, "Three");
  std::string ext4 = SyncSafe(6) + std::string(1, '\x01') + std::string(1, '\0');
  t = ReadV2(Id3v2Tag(4, ext4 + Id3v2Text(4, "TIT2", "Four"), 0, 0x40) + kAudio);
  EXPECT_EQ(t.Title, "Four");
}

TEST(ID3v2Test, UnreadableFramesAreIgnored) {
  std::string compressed3 = Id3v2Frame(3, "TIT2", std::string(1, '\0') + "zlib", 0x80);
  std::string encrypted4 = Id3v2Frame(4, "TIT2", std::string(1, '\0') + "secret", 0x04);
  EXPECT_EQ(ReadV2(Id3v2Tag(3, compressed3 + Id3v2Text(3, "TIT2", "Plain")) + kAudio).Title, "Plain");
  EXPECT_EQ(ReadV2(Id3v2Tag(4, encrypted4 + Id3v2Text(4, "TIT2", "Plain")) + kAudio).Title, "Plain");
}

TEST(ID3v2Test, HeaderSizeVersionsAndEnds) {
  std::string frames = Id3v2Text(3, "TIT2", "T");
  // Other versions still count as a tag, without values.
  for (int v : {0, 1, 5, 255}) {
    TID3v2 t = ReadV2(Id3v2Tag(v, frames) + kAudio);
    EXPECT_TRUE(t.Exists) << v;
    EXPECT_EQ(t.Title, "") << v;
    EXPECT_GT(t.Size, 0u) << v;
  }
  // Footer flag adds ten bytes.
  std::string tag = Id3v2Tag(4, Id3v2Text(4, "TIT2", "T"), 0, 0x10);
  EXPECT_EQ(ReadV2(tag + "3DI" + std::string(7, '\0') + kAudio).Size, tag.size() + 10);
  // A tag that claims more than the file holds has size 0 and no values.
  TID3v2 t = ReadV2(Id3v2Tag(3, frames, 5000).substr(0, 500));
  EXPECT_TRUE(t.Exists);
  EXPECT_EQ(t.Size, 0u);
  EXPECT_EQ(t.Title, "");
  // The walk stops at padding and at anything that is no frame id.
  t = ReadV2(Id3v2Tag(3, Id3v2Text(3, "TIT2", "T") + "tit2" + BE(1, 4) + "xx" + "y" + Id3v2Text(3, "TPE1", "A")) +
             kAudio);
  EXPECT_EQ(t.Title, "T");
  EXPECT_EQ(t.Artist, "");
  // No tag, and too short to tell.
  EXPECT_FALSE(ReadV2(kAudio).Exists);
  TStringSource tiny("ID3\x03");
  TID3v2 none;
  EXPECT_FALSE(none.ReadFromSource(tiny));
}

}  // namespace
}  // namespace pelcrow
