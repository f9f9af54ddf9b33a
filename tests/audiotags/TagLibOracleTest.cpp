// TagLib reads the same fixtures as a second opinion. Where the two disagree on purpose the
// reason is given here: our values follow the music mode's own rules, not TagLib's.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>

#include "AudioBuilders.h"
#include "audiotags/AudioTags.h"

#ifdef PELCROW_HAVE_TAGLIB
#include <taglib/audioproperties.h>
#include <taglib/fileref.h>
#include <taglib/tag.h>
#endif

namespace pelcrow {
namespace {

#ifdef PELCROW_HAVE_TAGLIB
using test::AudioFixture;

enum TFamily { fMpeg, fFlac, fOgg, fWma, fMp4 };

struct TOracleCase {
  const char* File;
  TFamily Family;
};

const TOracleCase kCases[] = {
    {"mpeg1_cbr128_id3v1.mp3", fMpeg},  {"mpeg1_vbr_xing_id3v23.mp3", fMpeg},
    {"mpeg2_id3v23_latin1.mp3", fMpeg}, {"mpeg1_id3v24_utf8.mp3", fMpeg},
    {"mpeg1_id3v23_utf16.mp3", fMpeg},  {"mpeg1_id3v24_utf16be.mp3", fMpeg},
    {"mpeg1_apev2.mp3", fMpeg},         {"mpeg1_layer2.mp2", fMpeg},
    {"flac_tags.flac", fFlac},          {"flac_picture.flac", fFlac},
    {"vorbis_tags.ogg", fOgg},          {"wma_tags.wma", fWma},
    {"wma_numeric_track.wma", fWma},    {"mp4_tags.m4a", fMp4},
};

int Number(const std::string& s) { return s.empty() ? 0 : std::atoi(s.c_str()); }
#endif

TEST(TagLibOracleTest, SameFactsAsTagLib) {
#ifndef PELCROW_HAVE_TAGLIB
  GTEST_SKIP() << "built without TagLib";
#else
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.File);
    const std::string path = AudioFixture(c.File);
    auto ours = TAudioParserClass::Recognize(path);
    ASSERT_TRUE(ours);
    TagLib::FileRef ref(path.c_str());
    ASSERT_FALSE(ref.isNull());
    const TagLib::Tag* tag = ref.tag();
    const TagLib::AudioProperties* props = ref.audioProperties();
    ASSERT_TRUE(tag && props);

    // TagLib joins repeated Vorbis comments with a blank; the music mode keeps the first.
    std::string title = tag->title().to8Bit(true);
    if (c.Family == fFlac) title = title.substr(0, ours->Title().size());
    EXPECT_EQ(ours->Title(), title);
    EXPECT_EQ(ours->Artist(), tag->artist().to8Bit(true));
    EXPECT_EQ(ours->Album(), tag->album().to8Bit(true));
    EXPECT_EQ(ours->Genre(), tag->genre().to8Bit(true));
    EXPECT_EQ(Number(ours->Track()), static_cast<int>(tag->track()));
    EXPECT_EQ(Number(ours->Year().substr(0, 4)), static_cast<int>(tag->year()));

    const double duration = std::stod(ours->Duration());
    const double tagLibDuration = props->lengthInMilliseconds() / 1000.0;
    const int bitRate = std::stoi(ours->BitRate());
    switch (c.Family) {
      case fMpeg:
        // A CBR file is timed by its audio bytes, which include the encoder's info frame and an
        // APE tag; TagLib counts frames. Bit rates: the frame's table rate against TagLib's average.
        EXPECT_NEAR(duration, tagLibDuration, 0.05);
        EXPECT_NEAR(bitRate, props->bitrate(), 0.05 * props->bitrate() + 1);
        break;
      case fFlac:
        EXPECT_NEAR(duration, tagLibDuration, 0.001);
        EXPECT_EQ(bitRate, props->bitrate());
        break;
      case fOgg:
        // Our bit rate is the whole file over the duration, TagLib's the stream's own figure.
        EXPECT_NEAR(duration, tagLibDuration, 0.001);
        break;
      case fWma:
        // The duration is estimated as file size over the maximum bit rate: not compared.
        EXPECT_EQ(bitRate, props->bitrate());
        break;
      case fMp4:
        // The movie header's duration; the bit rate rounds kibibytes per second.
        EXPECT_NEAR(duration, tagLibDuration, 0.05);
        break;
    }
  }
#endif
}

}  // namespace
}  // namespace pelcrow
