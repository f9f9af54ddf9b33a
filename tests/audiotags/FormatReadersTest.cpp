#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "AudioBuilders.h"
#include "audiotags/FLACfile.h"
#include "audiotags/MP4Tags.h"
#include "audiotags/OggVorbis.h"
#include "audiotags/RealMediaFile.h"
#include "audiotags/WMAfile.h"

namespace pelcrow {
namespace {

using namespace test;

template <typename TReader>
TReader Read(const std::string& bytes, bool expectRead = true) {
  TStringSource src(bytes);
  TReader r;
  EXPECT_EQ(r.ReadFromSource(src), expectRead);
  return r;
}

// ------------------------------------------------------------------ FLAC

std::string Flac(const std::string& blocks, std::uint64_t samples = 441000, bool streamInfoLast = false) {
  return "fLaC" + FlacStreamInfo(44100, 2, 16, samples, streamInfoLast) + blocks + std::string(10000, '\x33');
}

TEST(FLACfileTest, StreamInfoCommentsAndBitRate) {
  std::string comments =
      VorbisComments("vendor", {"title=Flac Title", "ARTIST=Ärtist", "ALBUM=Album", "TRACKNUMBER=3/9", "DATE=1999",
                                "GENRE=Blues", "TITLE=Second", "no equals sign", "X=extra"});
  std::string file = Flac(FlacBlock(4, comments, true));
  auto f = Read<TFLACfile>(file);
  EXPECT_TRUE(f.IsValid());
  EXPECT_TRUE(f.Exists);
  EXPECT_EQ(f.SampleRate, 44100u);
  EXPECT_EQ(f.Channels, 2);
  EXPECT_EQ(f.BitsPerSample, 16);
  EXPECT_EQ(f.Samples, 441000u);
  EXPECT_DOUBLE_EQ(f.Duration(), 10.0);
  EXPECT_EQ(f.AudioOffset, file.size() - 10000);
  EXPECT_EQ(f.Bitrate, 8u);  // 10000 bytes in 10 s
  EXPECT_EQ(f.Vendor, "vendor");
  EXPECT_EQ(f.Title, "Flac Title");  // the first occurrence counts
  EXPECT_EQ(f.Artist, "Ärtist");
  EXPECT_EQ(f.TrackString, "3/9");
  EXPECT_EQ(f.Year, "1999");
  EXPECT_EQ(f.Genre, "Blues");
  ASSERT_EQ(f.ExtraFields.size(), 1u);
  EXPECT_EQ(f.ExtraFields[0].second, "extra");
}

TEST(FLACfileTest, BlocksAroundTheComments) {
  std::string comments = VorbisComments("v", {"TITLE=T"});
  struct TCase {
    const char* Name;
    std::string File;
    bool Read, Valid, Exists;
  } cases[] = {
      {"no comment block", Flac("", 441000, true), true, true, false},
      {"empty comment block", Flac(FlacBlock(4, VorbisComments("v", {}), true)), true, true, false},
      {"seek table, picture, padding",
       Flac(FlacBlock(3, std::string(36, '\0'), false) + FlacBlock(6, std::string(300, 'p'), false) +
            FlacBlock(4, comments, false) + FlacBlock(1, std::string(100, '\0'), true)),
       true, true, true},
      {"invalid block type 127", Flac(FlacBlock(4, comments, false) + FlacBlock(127, "x", true)), true, false, true},
      {"no samples", Flac(FlacBlock(4, comments, true), 0), true, false, true},
      {"comment beyond the file",
       ("fLaC" + FlacStreamInfo(44100, 2, 16, 441000, false) + FlacBlock(4, comments, true)).substr(0, 60), false,
       false, false},
      {"comment count beyond its block", Flac(FlacBlock(4, LE(1, 4) + "v" + LE(5, 4) + LE(6, 4) + "TITLE=", true)),
       false, false, false},
      {"not FLAC", std::string("fLaX") + std::string(100, '\0'), false, false, false},
  };
  for (const auto& c : cases) {
    auto f = Read<TFLACfile>(c.File, c.Read);
    EXPECT_EQ(f.IsValid(), c.Valid) << c.Name;
    EXPECT_EQ(f.Exists, c.Exists) << c.Name;
  }
}

TEST(FLACfileTest, LeadingId3v2TagAndLongStreams) {
  std::string tag = Id3v2Tag(3, Id3v2Text(3, "TIT2", "id3 title"), 100);
  auto f = Read<TFLACfile>(tag + Flac(FlacBlock(4, VorbisComments("v", {"TITLE=Flac"}), true)));
  EXPECT_TRUE(f.IsValid());
  EXPECT_EQ(f.Title, "Flac");
  // The sample count has 36 bits.
  const std::uint64_t samples = (std::uint64_t{1} << 32) + 44100;
  f = Read<TFLACfile>(Flac(FlacBlock(4, VorbisComments("v", {"TITLE=Long"}), true), samples));
  EXPECT_EQ(f.Samples, samples);
  EXPECT_DOUBLE_EQ(f.Duration(), static_cast<double>(samples) / 44100);
}

// ------------------------------------------------------------------ Ogg Vorbis

std::string CommentPacket(const std::vector<std::string>& comments) {
  return std::string("\x03vorbis", 7) + VorbisComments("Xiph.Org libVorbis", comments) + "\x01";
}

std::string Ogg(const std::vector<std::string>& comments, std::uint64_t lastGranule, std::size_t audioBytes = 20000) {
  std::string id = VorbisIdentification(2, 44100, 128000);
  std::string c = CommentPacket(comments);
  std::string s = OggPage(id, 0, 0, Lacing(id.size())) + OggPage(c, 0, 1, Lacing(c.size()));
  std::string audio(audioBytes, '\x11');
  return s + OggPage(audio.substr(0, 255 * 20), 0, 2, std::vector<std::uint8_t>(20, 255)) + audio.substr(255 * 20) +
         OggPage("xx", lastGranule, 3, {2});
}

TEST(OggVorbisTest, HeadersCommentsAndLastGranule) {
  std::string file = Ogg({"TITLE=First", "title=Ögg Title", "PERFORMER=Performer", "ALBUM= Album ", "TRACKNUMBER=4/10",
                          "DATE=2005", "GENRE=Pop", "DESCRIPTION=desc"},
                         441000);
  auto o = Read<TOggVorbis>(file);
  EXPECT_EQ(o.ChannelModeID, 2);
  EXPECT_EQ(o.SampleRate, 44100u);
  EXPECT_EQ(o.BitRateNominal, 128);
  EXPECT_EQ(o.Vendor, "Xiph.Org libVorbis");
  EXPECT_EQ(o.Title, "Ögg Title");  // a later occurrence replaces an earlier one
  EXPECT_EQ(o.Artist, "Performer");
  EXPECT_EQ(o.Album, "Album");
  EXPECT_EQ(o.Track, 4);
  EXPECT_EQ(o.Date, "2005");
  EXPECT_EQ(o.Genre, "Pop");
  EXPECT_EQ(o.Comment, "desc");
  EXPECT_EQ(o.Samples, 441000u);
  EXPECT_DOUBLE_EQ(o.Duration(), 10.0);
  EXPECT_EQ(o.BitRate(), static_cast<int>(std::nearbyint(file.size() / 10.0 / 125)));
  EXPECT_TRUE(o.Valid());
}

TEST(OggVorbisTest, DurationFromTheNominalRateWhenNoPageIsFound) {
  // Shorter than one step of the last-page search.
  std::string id = VorbisIdentification(2, 44100, 128000);
  std::string file = OggPage(id, 0, 0, Lacing(id.size())) +
                     OggPage(CommentPacket({"TITLE=t"}), 0, 1, Lacing(CommentPacket({"TITLE=t"}).size()));
  ASSERT_LT(file.size(), 251u);
  auto o = Read<TOggVorbis>(file);
  EXPECT_EQ(o.Title, "t");
  EXPECT_EQ(o.Samples, 0u);
  EXPECT_DOUBLE_EQ(o.Duration(), file.size() / 128000.0 / 2 / 125 * 2);
  EXPECT_FALSE(o.Valid());  // far below 0.1 s
  // A last page whose granule is -1 gives no sample count either.
  o = Read<TOggVorbis>(Ogg({"TITLE=t"}, ~std::uint64_t{0}));
  EXPECT_EQ(o.Samples, 0u);
}

TEST(OggVorbisTest, CommentPacketAcrossPages) {
  std::string big = "METADATA_BLOCK_PICTURE=" + std::string(700, 'A');
  std::string c = CommentPacket({big, "TITLE=After the picture", "ARTIST=A"});
  std::string id = VorbisIdentification(1, 22050, 64000);
  // 510 bytes on the second page, the rest on the third.
  std::string file = OggPage(id, 0, 0, Lacing(id.size())) + OggPage(c.substr(0, 510), 0, 1, {255, 255}) +
                     OggPage(c.substr(510), 0, 2, Lacing(c.size() - 510)) +
                     OggPage(std::string(5000, 'z'), 44100, 3, std::vector<std::uint8_t>(20, 250));
  auto o = Read<TOggVorbis>(file);
  EXPECT_EQ(o.Title, "After the picture");
  EXPECT_EQ(o.Artist, "A");
  EXPECT_EQ(o.ChannelModeID, 1);
  EXPECT_TRUE(o.Valid());
}

TEST(OggVorbisTest, NotVorbis) {
  std::string opus = std::string("OpusHead") + std::string(22, '\0');
  Read<TOggVorbis>(OggPage(opus, 0, 0, Lacing(opus.size())) + std::string(500, '\0'), false);
  Read<TOggVorbis>(std::string("OggX") + std::string(500, '\0'), false);
  // A truncated comment header fails the read.
  std::string file = Ogg({"TITLE=t"}, 44100);
  Read<TOggVorbis>(file.substr(0, 90), false);
}

// ------------------------------------------------------------------ WMA

std::string Wma(int channels, std::uint32_t rate, std::uint32_t bytesPerSecond, std::uint32_t maxBitRate,
                const std::vector<std::string>& more = {}) {
  std::vector<std::string> objects = {AsfFileProperties(maxBitRate),
                                      AsfStreamProperties(channels, rate, bytesPerSecond)};
  objects.insert(objects.end(), more.begin(), more.end());
  return AsfHeader(objects) + std::string(4000, '\0');
}

TEST(WMAfileTest, PropertiesAndDescriptions) {
  std::string file = Wma(2, 44100, 16000, 128000,
                         {AsfContentDescription(u"Title Ω", u"Author"),
                          AsfExtendedContent({{u"WM/Year", 3, LE(1999, 4)},
                                              {u"WM/AlbumTitle", 0, AsfString(u"Album")},
                                              {u"wm/genre ", 0, AsfString(u"  Rock ")},
                                              {u"WM/Track", 0, AsfString(u"6")},
                                              {u"WM/Year", 0, AsfString(u"2001")},
                                              {u"WM/Title", 0, AsfString(u"Extended title")}})});
  auto w = Read<TWMAfile>(file);
  ASSERT_TRUE(w.Valid);
  EXPECT_EQ(w.BitRate, 128u);
  EXPECT_DOUBLE_EQ(w.Duration, file.size() * 8.0 / 128000);
  EXPECT_EQ(w.ChannelModeID, 2);
  EXPECT_EQ(w.SampleRate, 44100u);
  EXPECT_EQ(w.Title, "Extended title");  // a later value replaces the content description's
  EXPECT_EQ(w.Artist, "Author");
  EXPECT_EQ(w.Album, "Album");  // the numeric descriptor before it is skipped whole
  EXPECT_EQ(w.Genre, "Rock");
  EXPECT_EQ(w.Year, "2001");
  EXPECT_EQ(w.Track, 6u);
}

TEST(WMAfileTest, TrackNumberOfPlayersComesFirst) {
  auto w =
      Read<TWMAfile>(Wma(2, 44100, 16000, 128000,
                         {AsfExtendedContent({{u"WM/TrackNumber", 3, LE(5, 4)}, {u"WM/Track", 0, AsfString(u"4")}})}));
  EXPECT_EQ(w.Track, 5u);
  w = Read<TWMAfile>(Wma(2, 44100, 16000, 128000, {AsfExtendedContent({{u"WM/TrackNumber", 0, AsfString(u"x")}})}));
  EXPECT_EQ(w.Track, 0u);
}

TEST(WMAfileTest, ValidityBounds) {
  struct TCase {
    const char* Name;
    int Channels;
    std::uint32_t Rate, BytesPerSecond, MaxBitRate;
    bool Valid;
  } cases[] = {
      {"stereo 44100", 2, 44100, 16000, 128000, true},     {"mono 8000", 1, 8000, 1000, 8000, true},
      {"three channels", 3, 44100, 16000, 128000, false},  {"no channels", 0, 44100, 16000, 128000, false},
      {"rate too low", 2, 7999, 16000, 128000, false},     {"rate too high", 2, 96001, 16000, 128000, false},
      {"no bytes per second", 2, 44100, 0, 128000, false}, {"40000 bytes per second", 2, 44100, 40000, 128000, false},
      {"no maximum rate", 2, 44100, 16000, 0, false},      {"320000 maximum", 2, 44100, 16000, 320000, false},
  };
  for (const auto& c : cases) {
    auto w =
        Read<TWMAfile>(Wma(c.Channels, c.Rate, c.BytesPerSecond, c.MaxBitRate, {AsfContentDescription(u"T", u"A")}));
    EXPECT_EQ(w.Valid, c.Valid) << c.Name;
    EXPECT_EQ(w.Title, c.Valid ? "T" : "") << c.Name;  // values only for a valid header
  }
}

TEST(WMAfileTest, OnlyAudioStreamsAndSaneObjects) {
  // A video stream after the audio one does not replace its properties.
  auto w = Read<TWMAfile>(Wma(2, 44100, 16000, 128000, {AsfStreamProperties(7, 1, 1, false)}));
  EXPECT_TRUE(w.Valid);
  EXPECT_EQ(w.ChannelModeID, 2);
  // An object claiming less than its own header ends the walk instead of looping.
  std::string stuck =
      AsfHeader({AsfFileProperties(128000), Guid(1, 2, 3, 4) + LE(0, 8), AsfStreamProperties(2, 44100, 16000)});
  w = Read<TWMAfile>(stuck);
  EXPECT_FALSE(w.Valid);
  // A descriptor longer than its object fails the read.
  std::string broken = AsfObject(Guid(0xD2D0A440, 0xE307, 0x11D2, 0x97F000A0C95EA850ULL), LE(1, 2) + LE(200, 2) + "ab");
  Read<TWMAfile>(Wma(2, 44100, 16000, 128000, {broken}), false);
  Read<TWMAfile>(std::string(100, '\0'), false);
}

// ------------------------------------------------------------------ MP4

std::string Stsz(std::uint32_t sampleSize, const std::vector<std::uint32_t>& sizes, std::uint32_t count) {
  std::string s = BE(0, 4) + BE(sampleSize, 4) + BE(count, 4);
  for (auto v : sizes) s += BE(v, 4);
  return s;
}

TEST(MP4TagsTest, DurationBitRateAndItems) {
  std::string items = Mp4DataItem("\xA9nam", 1, "Mp4 Tïtle") +
                      Mp4DataItem(
                          "\xA9"
                          "ART",
                          1, "Artist") +
                      Mp4DataItem(
                          "\xA9"
                          "alb",
                          1, "Album") +
                      Mp4DataItem(
                          "\xA9"
                          "day",
                          1, "2012-01-01") +
                      Mp4DataItem("trkn", 0, BE(0, 2) + BE(7, 2) + BE(12, 2) + BE(0, 2)) +
                      Mp4DataItem("gnre", 0, BE(1, 2));
  std::string file = Mp4File(Mp4Mvhd(1000, 10000) + Mp4SoundTrack(Stsz(1000, {}, 10000)) + Mp4Ilst(items));
  auto m = Read<TMP4Tags>(file);
  EXPECT_TRUE(m.IsValid);
  EXPECT_DOUBLE_EQ(m.Duration, 10.0);
  EXPECT_EQ(m.BitRate, 7816u);  // round(9765.625 / 10) * 8
  EXPECT_EQ(m.Title, "Mp4 Tïtle");
  EXPECT_EQ(m.Artist, "Artist");
  EXPECT_EQ(m.Album, "Album");
  EXPECT_EQ(m.Year, "2012-01-01");
  EXPECT_EQ(m.Track, 7u);
  EXPECT_EQ(m.Genre, "Classic Rock");
}

TEST(MP4TagsTest, ItemVariants) {
  struct TCase {
    const char* Name;
    std::string Items;
    std::string Genre, Year;
    std::uint32_t Track;
  } cases[] = {
      {"genre number beyond the list", Mp4DataItem("gnre", 0, BE(148, 2)), "", "", 0},
      {"genre text", Mp4DataItem("\xA9gen", 1, "Reggae"), "Reggae", "", 0},
      {"upper-case day is not the year",
       Mp4DataItem("\xA9"
                   "DAY",
                   1, "1999"),
       "", "", 0},
      {"track with a short value", Mp4DataItem("trkn", 0, BE(0, 2) + BE(7, 2)), "", "", 0},
  };
  for (const auto& c : cases) {
    auto m = Read<TMP4Tags>(Mp4File(Mp4Mvhd(1000, 5000) + Mp4Ilst(c.Items)));
    EXPECT_EQ(m.Genre, c.Genre) << c.Name;
    EXPECT_EQ(m.Year, c.Year) << c.Name;
    EXPECT_EQ(m.Track, c.Track) << c.Name;
  }
}

TEST(MP4TagsTest, SampleTablesAndTracks) {
  // Listed sizes, a video track that does not count, and a 64-bit movie header.
  std::string mvhd1 =
      Atom("mvhd", BE(0x01000000, 4) + BE(0, 8) + BE(0, 8) + BE(100, 4) + BE(1000, 8) + std::string(80, '\0'));
  std::string video = Mp4SoundTrack(Stsz(99999, {}, 99999), "vide");
  std::string sound = Mp4SoundTrack(Stsz(0, {2048, 1024, 1024}, 3));
  auto m = Read<TMP4Tags>(Mp4File(mvhd1 + video + sound));
  EXPECT_DOUBLE_EQ(m.Duration, 10.0);
  EXPECT_EQ(m.BitRate, 0u);  // round(4 KiB / 10 s) = 0
  m = Read<TMP4Tags>(Mp4File(Mp4Mvhd(1, 1) + sound));
  EXPECT_EQ(m.BitRate, 32u);  // 4 KiB in one second
  // A sample table that claims more entries than it holds fails the read.
  Read<TMP4Tags>(Mp4File(Mp4Mvhd(1, 1) + Mp4SoundTrack(Stsz(0, {1, 2}, 1000))), false);
}

TEST(MP4TagsTest, MetaAfterOtherUserDataAndBrokenAtoms) {
  std::string udta = Atom("udta", Atom("\xA9xyz", "+12.3+045.6/") +
                                      Atom("meta", BE(0, 4) + Atom("ilst", Mp4DataItem("\xA9nam", 1, "Found"))));
  auto m = Read<TMP4Tags>(Mp4File(udta));
  EXPECT_TRUE(m.IsValid);
  EXPECT_EQ(m.Title, "Found");
  // Neither a movie header nor any item: not valid.
  EXPECT_FALSE(Read<TMP4Tags>(Mp4File(Atom("free", ""))).IsValid);
  // No ftyp or no moov: not MP4.
  Read<TMP4Tags>(Atom("moov", Mp4Mvhd(1, 1)), false);
  Read<TMP4Tags>(Atom("ftyp", "M4A ") + Atom("mdat", "x"), false);
  // An atom size below its header stops the walk.
  Read<TMP4Tags>(Atom("ftyp", "M4A ") + BE(3, 4) + "junk" + Atom("moov", Mp4Mvhd(1, 1)), false);
  // A 64-bit size and a size of 0 (to the end of the file).
  std::string large = BE(1, 4) + "free" + BE(24, 8) + std::string(8, '\0');
  m = Read<TMP4Tags>(Atom("ftyp", "M4A ") + large + BE(0, 4) + "moov" + Mp4Mvhd(10, 20));
  EXPECT_DOUBLE_EQ(m.Duration, 2.0);
}

// ------------------------------------------------------------------ RealMedia

std::string Rm(const std::string& chunks, std::uint32_t headerSize = 18) {
  return ".RMF" + BE(headerSize, 4) + BE(0, 2) + BE(0, 4) + BE(4, 4) + chunks;
}
std::string RmChunk(const std::string& id, const std::string& payload) {
  return id + BE(10 + payload.size(), 4) + BE(0, 2) + payload;
}
std::string RmString(const std::string& s) { return BE(s.size(), 2) + s; }

TEST(RealMediaFileTest, ContentDescription) {
  std::string cont =
      RmChunk("CONT", RmString("Rm Title") + RmString("Rm Auth\xF6r") + RmString("(c)") + RmString("Comment"));
  auto r =
      Read<TRealMediaFile>(Rm(RmChunk("PROP", std::string(40, '\0')) + cont + RmChunk("DATA", std::string(100, '\0'))));
  EXPECT_TRUE(r.IsValid);
  EXPECT_EQ(r.MediaFormat, TRealMediaFormat::RealMedia);
  EXPECT_EQ(r.Title, "Rm Title");
  EXPECT_EQ(r.Author, "Rm Authör");
  EXPECT_EQ(r.Copyright, "(c)");
  EXPECT_EQ(r.Comment, "Comment");
}

TEST(RealMediaFileTest, WithoutContentDescription) {
  struct TCase {
    const char* Name;
    std::string File;
  } cases[] = {
      {"no CONT chunk", Rm(RmChunk("PROP", std::string(40, '\0')) + RmChunk("DATA", std::string(100, '\0')))},
      {"short header", Rm(RmChunk("CONT", RmString("T") + RmString("A") + RmString("") + RmString("")), 12)},
      {"chunk size below its header", Rm(".BAD" + BE(4, 4) + BE(0, 2) + RmChunk("CONT", RmString("T")))},
      {"truncated CONT", Rm(RmChunk("CONT", RmString("Title"))).substr(0, 30)},
      {"not RealMedia", std::string(".RMX") + std::string(50, '\0')},
  };
  for (const auto& c : cases) {
    auto r = Read<TRealMediaFile>(c.File, false);
    EXPECT_FALSE(r.IsValid) << c.Name;
    EXPECT_EQ(r.Title, "") << c.Name;
  }
}

}  // namespace
}  // namespace pelcrow
