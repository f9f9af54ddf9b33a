#include <gtest/gtest.h>

#include <string>

#include "AudioBuilders.h"
#include "audiotags/CoverArt.h"

namespace pelcrow {
namespace {

using namespace test;

const std::string kJpeg = "\xFF\xD8\xFF\xE0" + std::string(40, 'j');
const std::string kPng = "\x89PNG\r\n\x1A\n" + std::string(40, 'p');

std::string Mp3(const std::string& frames, std::uint8_t version = 3, std::uint8_t flags = 0) {
  return Id3v2Tag(version, frames, 16, flags) + MpegFrames(Mpeg1L3Header128(), 417, 20);
}

std::string Flac(const std::string& blocks) {
  return "fLaC" + FlacStreamInfo(44100, 2, 16, 441000, false) + blocks + std::string(1000, '\x33');
}

struct TCase {
  const char* Name;
  std::string File;
  bool Found;
  std::string Mime;
  int Type;
  std::string Data;
};

TEST(CoverArt, ReadsThePictureOfEachFormat) {
  const TCase cases[] = {
      {"ID3v2.3 front cover", Mp3(Id3v2Text(3, "TIT2", "Song") + Id3v2Picture(3, "image/jpeg", 3, "Cover", kJpeg)), true,
       "image/jpeg", 3, kJpeg},
      {"front cover wins over an earlier back cover",
       Mp3(Id3v2Picture(3, "image/png", 4, "", kPng) + Id3v2Picture(3, "image/jpeg", 3, "", kJpeg)), true, "image/jpeg", 3,
       kJpeg},
      {"first picture without a front cover",
       Mp3(Id3v2Picture(3, "image/png", 4, "", kPng) + Id3v2Picture(3, "image/jpeg", 5, "", kJpeg)), true, "image/png", 4,
       kPng},
      {"ID3v2.4, UTF-16 description", Mp3(Id3v2Picture(4, "image/png", 3, Utf16LE(u"\uFEFFBild"), kPng, 1), 4), true,
       "image/png", 3, kPng},
      {"ID3v2.2 PIC", Mp3(Id3v2Picture(2, "JPG", 3, "", kJpeg), 2), true, "image/jpeg", 3, kJpeg},
      {"a link is no picture", Mp3(Id3v2Picture(3, "-->", 3, "", "http://example.org/c.jpg")), false, "", 0, ""},
      {"no picture frame", Mp3(Id3v2Text(3, "TIT2", "Song")), false, "", 0, ""},
      {"picture frame cut short", Mp3(Id3v2Frame(3, "APIC", std::string("\0image/jpeg", 11))), false, "", 0, ""},
      {"FLAC PICTURE block", Flac(FlacBlock(4, VorbisComments("v", {"TITLE=x"}), false) +
                                  FlacBlock(6, FlacPicture(3, "image/png", kPng), true)),
       true, "image/png", 3, kPng},
      {"FLAC picture length beyond its block",
       Flac(FlacBlock(6, FlacPicture(3, "image/png", kPng).substr(0, 60), true)), false, "", 0, ""},
      {"MP4 covr, PNG", Mp4File(Mp4Mvhd(1000, 5000) + Mp4Ilst(Mp4DataItem("\xA9nam", 1, "T") + Mp4DataItem("covr", 14, kPng))),
       true, "image/png", 3, kPng},
      {"MP4 without covr", Mp4File(Mp4Mvhd(1000, 5000) + Mp4Ilst(Mp4DataItem("\xA9nam", 1, "T"))), false, "", 0, ""},
      {"not audio", std::string(200, 'x'), false, "", 0, ""},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TStringSource src(c.File);
    TCoverArt art;
    ASSERT_EQ(ReadCoverArt(src, art), c.Found);
    if (!c.Found) continue;
    EXPECT_EQ(art.MimeType, c.Mime);
    EXPECT_EQ(art.PictureType, c.Type);
    EXPECT_EQ(art.Data, c.Data);
  }
}

// A whole-tag unsynchronised 2.3 tag: the 0xFF 0x00 pairs of the JPEG must come back as 0xFF.
TEST(CoverArt, UndoesUnsynchronisation) {
  std::string frame = Id3v2Picture(3, "image/jpeg", 3, "", kJpeg);
  std::string unsynced;
  for (char ch : frame) {
    unsynced += ch;
    if (static_cast<unsigned char>(ch) == 0xFF) unsynced += '\0';
  }
  // The frame's size field counts the bytes after resynchronisation.
  TStringSource src(Mp3(unsynced, 3, 0x80));
  TCoverArt art;
  ASSERT_TRUE(ReadCoverArt(src, art));
  EXPECT_EQ(art.Data, kJpeg);
}

TEST(CoverArt, MissingFileIsNoPicture) {
  TCoverArt art;
  EXPECT_FALSE(ReadCoverArt(std::string("/nonexistent/song.mp3"), art));
}

}  // namespace
}  // namespace pelcrow
