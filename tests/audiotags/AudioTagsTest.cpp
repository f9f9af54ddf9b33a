#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "AudioBuilders.h"
#include "TestUtil.h"
#include "audiotags/AudioTags.h"
#include "audiotags/TagText.h"

namespace pelcrow {
namespace {

using namespace test;

struct TFixture {
  const char* File;
  bool Recognised;
  const char *Title, *Artist, *Album, *Track, *Year, *Genre, *Duration, *BitRate;
};

// What the music mode reads from every fixture made by tests/data/audio/make-fixtures.sh.
const TFixture kFixtures[] = {
    {"mpeg1_cbr128_id3v1.mp3", true, "Moon", "Light", "Night Songs", "7", "2001", "Rock", "1.0709375", "128"},
    {"mpeg1_vbr_xing_id3v23.mp3", true, "MoonLi", "ght", "Night Songs", "3", "2001", "Rock", "1.0448979591836736",
     "35"},
    {"mpeg2_id3v23_latin1.mp3", true, "Café", "Señor", "Album V2", "9", "1999", "Rock", "1.071", "32"},
    {"mpeg1_id3v24_utf8.mp3", true, "Café ☕ Ünïcode 🎵", "Ærøskøbing", "Ølbum", "5", "2020", "Jazz", "1.08", "96"},
    {"mpeg1_id3v23_utf16.mp3", true, "Ωmega ÿes 𝄞", "Ψ Artist", "Album Ω", "11", "2011", "Blues", "1.08", "64"},
    {"mpeg1_id3v24_utf16be.mp3", true, "Big Ēndian", "BE Artist", "BE Album", "2", "2012", "Pop", "1.08", "64"},
    {"mpeg1_apev2.mp3", true, "Ape Title", "Ape Artist", "Ape Album", "4", "2004", "Ambient", "1.0828125", "128"},
    {"mpeg1_layer2.mp2", true, "Layer Two", "Mp2 Artist", "Mp2 Album", "6", "1995", "Classical", "1.01875", "192"},
    {"flac_tags.flac", true, "Flac Title", "Flac Artist", "Flac Album", "2", "1999", "Blues", "1", "1"},
    {"flac_picture.flac", true, "Pictured", "Flac Artist", "", "", "", "", "1", "1"},
    {"flac_nocomments.flac", false, "", "", "", "", "", "", "", ""},
    {"vorbis_tags.ogg", true, "Ogg Title", "Ogg Artist", "Ogg Album", "4", "2005", "Pop", "1", "33"},
    {"wma_tags.wma", true, "Wma Title", "Wma Artist", "Wma Album", "8", "", "Country", "1.25375", "128"},
    {"wma_numeric_track.wma", true, "Wmp Title", "Wmp Artist", "Wmp Album", "5", "2003", "Folk", "1.3140625", "128"},
    {"mp4_tags.m4a", true, "Mp4 Title", "Mp4 Artist", "Mp4 Album", "12", "2012", "Reggae", "1", "0"},
    {"realmedia_tags.rm", true, "Rm Title", "Rm Author", "", "", "", "", "", ""},
    {"pcm_unsupported.wav", false, "", "", "", "", "", "", "", ""},
    {"make-fixtures.sh", false, "", "", "", "", "", "", "", ""},
};

// The key of the given tag values, in option order.
std::string TagKey(const std::vector<std::string>& values) {
  std::string key;
  for (const std::string& v : values) {
    if (!key.empty()) key += kTagKeySeparator;
    key += v;
  }
  return key;
}

TEST(AudioTagsTest, EveryFixtureGivesItsEightValues) {
  for (const auto& f : kFixtures) {
    SCOPED_TRACE(f.File);
    auto p = TAudioParserClass::Recognize(AudioFixture(f.File));
    ASSERT_EQ(p != nullptr, f.Recognised);
    if (!p) continue;
    EXPECT_EQ(p->Title(), f.Title);
    EXPECT_EQ(p->Artist(), f.Artist);
    EXPECT_EQ(p->Album(), f.Album);
    EXPECT_EQ(p->Track(), f.Track);
    EXPECT_EQ(p->Year(), f.Year);
    EXPECT_EQ(p->Genre(), f.Genre);
    EXPECT_EQ(p->Duration(), f.Duration);
    EXPECT_EQ(p->BitRate(), f.BitRate);
  }
}

TEST(AudioTagsTest, ListOfEveryFixtureUnderTheLenientRule) {
  const TMusicTagsOptions all = TMusicTagsOptions::FromBits(0xFF);
  for (const auto& f : kFixtures) {
    SCOPED_TRACE(f.File);
    TAudioTagList list{"kept=1"};
    std::string key = ReadAudioTags(AudioFixture(f.File), &list, false, all);
    if (!f.Recognised) {
      EXPECT_EQ(key, "");
      EXPECT_EQ(list, TAudioTagList{"kept=1"});  // an unrecognised file leaves the list alone
      continue;
    }
    ASSERT_EQ(list.size(), 9u);
    EXPECT_EQ(list[1], std::string("Title=") + f.Title);
    EXPECT_EQ(AudioTagValue(list, "Artist"), f.Artist);
    EXPECT_EQ(AudioTagValue(list, "Duration"), f.Duration);
    EXPECT_EQ(list[8], std::string("BitRate=") + f.BitRate);
    // Only a track of "0" counts as missing; a bit rate of 0 is a value.
    const char* const values[] = {f.Title, f.Artist, f.Album, f.Track, f.Year, f.Genre, f.Duration, f.BitRate};
    std::vector<std::string> present;
    for (int i = 0; i < 8; ++i)
      if (*values[i] != '\0' && !(i == 3 && std::string(values[i]) == "0")) present.push_back(values[i]);
    EXPECT_EQ(key, TagKey(present));
  }
}

TEST(AudioTagsTest, KeysKeepTheValuesApart) {
  const TMusicTagsOptions titleArtist{mtTitle, mtArtist};
  // Title Moon by Light is another song than title MoonLi by ght, although the letters agree.
  std::string a = ReadAudioTags(AudioFixture("mpeg1_cbr128_id3v1.mp3"), nullptr, true, titleArtist);
  std::string b = ReadAudioTags(AudioFixture("mpeg1_vbr_xing_id3v23.mp3"), nullptr, true, titleArtist);
  EXPECT_EQ(a, TagKey({"Moon", "Light"}));
  EXPECT_EQ(b, TagKey({"MoonLi", "ght"}));
  EXPECT_NE(a, b);
  // Order is Title, Artist, Album, Track, Year, Genre, Duration, BitRate whatever the set says.
  EXPECT_EQ(ReadAudioTags(AudioFixture("vorbis_tags.ogg"), nullptr, true, TMusicTagsOptions{mtGenre, mtTrack, mtTitle}),
            TagKey({"Ogg Title", "4", "Pop"}));
  // A value that holds the separator itself does not shift the boundary either.
  auto key = [&](const std::string& title, const std::string& artist) {
    TStringSource src(Id3v2Tag(3, Id3v2Text(3, "TIT2", title) + Id3v2Text(3, "TPE1", artist)) +
                      MpegFrames(Mpeg1L3Header128(), kMpeg1L3Frame128, 40));
    return ReadAudioTags(src, nullptr, true, titleArtist);
  };
  const std::string sep(1, kTagKeySeparator);
  EXPECT_NE(key("A" + sep + "B", "C"), key("A", "B" + sep + "C"));
  EXPECT_EQ(key("A", "B"), TagKey({"A", "B"}));
}

// An MPEG stream with the given tags in front and behind.
std::string Mpeg(const std::string& id3v2, const std::string& id3v1, std::size_t frames = 40) {
  return id3v2 + MpegFrames(Mpeg1L3Header128(), kMpeg1L3Frame128, frames) + id3v1;
}

std::string CommentPacket(const std::string& comments) { return std::string("\x03vorbis", 7) + comments + "\x01"; }

std::string Key(const std::string& bytes, TMusicTagsOptions options, bool strict, TAudioTagList* list = nullptr) {
  TStringSource src(bytes);
  return ReadAudioTags(src, list, strict, options);
}

TEST(AudioTagsTest, StrictAndLenientRules) {
  const std::string v10 = Id3v1Tag("Title", "Artist", "", "1999", "", 0, 17);  // ID3v1.0: track 0
  const TMusicTagsOptions withTrack{mtTitle, mtTrack, mtYear};
  TAudioTagList list{"old"};
  // Strict: a track of 0 is missing, the key is empty and the list cleared.
  EXPECT_EQ(Key(Mpeg("", v10), withTrack, true, &list), "");
  EXPECT_TRUE(list.empty());
  // Lenient: missing tags are left out of the key, and the track is listed as it is.
  list = {"old"};
  EXPECT_EQ(Key(Mpeg("", v10), withTrack, false, &list), TagKey({"Title", "1999"}));
  EXPECT_EQ(list, (TAudioTagList{"old", "Title=Title", "Artist=", "Album=", "Track=0", "Year=1999",
                                 "Genre=", "Duration=", "BitRate="}));
  // An empty album is missing under the strict rule; blanks around values do not count.
  const std::string v2 = Id3v2Tag(3, Id3v2Text(3, "TIT2", "  Spaced  ") + Id3v2Text(3, "TALB", " "));
  EXPECT_EQ(Key(Mpeg(v2, ""), TMusicTagsOptions{mtTitle}, true), "Spaced");
  EXPECT_EQ(Key(Mpeg(v2, ""), TMusicTagsOptions{mtTitle, mtAlbum}, true), "");
  // Nothing selected: no key, no list.
  list = {"old"};
  EXPECT_EQ(Key(Mpeg(v2, ""), TMusicTagsOptions{}, false, &list), "");
  EXPECT_TRUE(list.empty());
}

TEST(AudioTagsTest, Id3v2WinsOverId3v1EvenWhenEmpty) {
  const std::string v2 = Id3v2Tag(3, Id3v2Text(3, "TIT2", "From v2"));
  const std::string v1 = Id3v1Tag("From v1", "Artist v1", "Album v1", "1999", "", 5, 17);
  auto p = [&] {
    TStringSource src(Mpeg(v2, v1));
    return TAudioParserClass::Recognize(src);
  }();
  ASSERT_TRUE(p);
  EXPECT_EQ(p->Title(), "From v2");
  EXPECT_EQ(p->Artist(), "");
  EXPECT_EQ(p->Track(), "0");
  EXPECT_EQ(p->Genre(), "");
  // An ID3v2 tag of an unknown version still hides the ID3v1 values.
  TStringSource src(Mpeg(Id3v2Tag(5, Id3v2Text(3, "TIT2", "x")), v1));
  p = TAudioParserClass::Recognize(src);
  ASSERT_TRUE(p);
  EXPECT_EQ(p->Title(), "");
}

TEST(AudioTagsTest, UntaggedMpegHasStreamValuesOnly) {
  TStringSource src(Mpeg("", "", 100));
  auto p = TAudioParserClass::Recognize(src);
  ASSERT_TRUE(p);
  for (std::string v : {p->Title(), p->Artist(), p->Album(), p->Track(), p->Year(), p->Genre()}) EXPECT_EQ(v, "");
  EXPECT_EQ(p->Duration(), DurationText(100 * 417 * 8 / 128000.0));
  EXPECT_EQ(p->BitRate(), "128");
}

TEST(AudioTagsTest, DurationKeysDifferWhenTheDoublesDiffer) {
  const TMusicTagsOptions duration{mtDuration};
  const std::string v1 = Id3v1Tag("Same", "", "", "", "", 0, 0);
  std::string a = Key(Mpeg("", v1, 40), duration, true);
  std::string b = Key(Mpeg("", v1, 40) + std::string(1, '\0'), duration, true);  // one byte more audio
  EXPECT_NE(a, "");
  EXPECT_NE(a, b);
  EXPECT_EQ(a, Key(Mpeg("", v1, 40), duration, true));
}

TEST(AudioTagsTest, ReadsHeadersNotAudio) {
  // Each file carries 8 MB of audio behind its headers; recognising it reads only a few blocks.
  const std::string audio(8 << 20, '\x5A');
  const std::string comments = VorbisComments("v", {"TITLE=Big"});
  const std::string id = VorbisIdentification(2, 44100, 128000), oggComments = CommentPacket(comments);
  struct TCase {
    const char* Name;
    std::string File;
  } cases[] = {
      {"MPEG", Mpeg(Id3v2Tag(3, Id3v2Text(3, "TIT2", "Big")), "") + audio + Id3v1Tag("Big", "", "", "", "", 1, 1)},
      {"MP4", Atom("ftyp", "M4A ") + Atom("mdat", audio) +
                  Atom("moov", Mp4Mvhd(1000, 1000) + Mp4Ilst(Mp4DataItem("\xA9nam", 1, "Big")))},
      {"FLAC", "fLaC" + FlacStreamInfo(44100, 2, 16, 441000, false) + FlacBlock(4, comments, true) + audio},
      {"Ogg", OggPage(id, 0, 0, Lacing(id.size())) + OggPage(oggComments, 0, 1, Lacing(oggComments.size())) + audio +
                  OggPage("x", 441000, 2, {1})},
  };
  for (const auto& c : cases) {
    TStringSource src(c.File);
    EXPECT_EQ(ReadAudioTags(src, nullptr, true, TMusicTagsOptions{mtTitle}), "Big") << c.Name;
    EXPECT_LT(src.BytesRead, 64u * 1024) << c.Name;
  }
}

TEST(AudioTagsTest, RealMediaOffersTitleAndArtistOnly) {
  const std::string rm = AudioFixture("realmedia_tags.rm");
  EXPECT_EQ(ReadAudioTags(rm, nullptr, true, TMusicTagsOptions{mtTitle, mtArtist}), TagKey({"Rm Title", "Rm Author"}));
  for (auto tag : {mtAlbum, mtTrack, mtYear, mtGenre, mtDuration, mtBitRate})
    EXPECT_EQ(ReadAudioTags(rm, nullptr, true, TMusicTagsOptions{mtTitle, tag}), "") << tag;
}

TEST(AudioTagsTest, FilesThatAreNoMusic) {
  TTempDir dir;
  TAudioTagList list{"untouched"};
  EXPECT_EQ(ReadAudioTags(dir / "missing.mp3", &list, false, TMusicTagsOptions{mtTitle}), "");
  EXPECT_EQ(ReadAudioTags(dir.path(), &list, false, TMusicTagsOptions{mtTitle}), "");  // a folder
  EXPECT_EQ(ReadAudioTags(dir.Write("empty.mp3", ""), &list, false, TMusicTagsOptions{mtTitle}), "");
  EXPECT_EQ(list, TAudioTagList{"untouched"});
  EXPECT_FALSE(TAudioParserClass::Recognize(dir / "missing.mp3"));
}

TEST(AudioTagsTest, GlobalSettingsSelectTheTags) {
  const auto saved = Settings.MusicTagsOptions;
  Settings.MusicTagsOptions = TMusicTagsOptions{mtAlbum, mtCombined};
  EXPECT_EQ(ReadAudioTags(AudioFixture("flac_tags.flac"), nullptr, true), "Flac Album");
  Settings.MusicTagsOptions = saved;
}

}  // namespace
}  // namespace pelcrow
