// The music mode end to end: tags read during the enumeration, files grouped by their tags.
#include <gtest/gtest.h>

#include <filesystem>

#include "TestUtil.h"
#include "audiotags/AudioBuilders.h"

namespace pelcrow {
namespace {

namespace fs = std::filesystem;
using test::TTempDir;

std::string Fixture(const std::string& name) {
  return (fs::path(__FILE__).parent_path().parent_path() / "data" / "audio" / name).string();
}

class MusicScanTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Two encodings of one song (title Moon by Light: CBR with ID3v1, and a shorter stream with
    // an ID3v2.3 tag), a song whose title and artist hold the same letters (MoonLi by ght),
    // another song, and files without the selected tags.
    for (const char* f : {"mpeg1_cbr128_id3v1.mp3", "mpeg1_vbr_xing_id3v23.mp3", "flac_tags.flac",
                          "flac_nocomments.flac", "pcm_unsupported.wav"})
      fs::copy_file(Fixture(f), dir / f);
    const std::string tag = test::Id3v2Text(3, "TIT2", "Moon") + test::Id3v2Text(3, "TPE1", "Light");
    dir.Write("moon_light_v2.mp3",
              test::Id3v2Tag(3, tag) + test::MpegFrames(test::Mpeg1L3Header128(), test::kMpeg1L3Frame128, 30));
  }
  TTempDir dir;
};

TEST_F(MusicScanTest, TwoEncodingsOfOneSongFormOneGroup) {
  TScanEngine engine(cmMusicTags, {});
  test::RunScan(engine, {dir.path()});
  auto groups = test::Groups(engine, dir.path());
  ASSERT_EQ(groups.size(), 1u);
  // MoonLi by ght is another song, however the letters run on.
  EXPECT_EQ(test::GroupSet(groups),
            (std::set<std::set<std::string>>{{"mpeg1_cbr128_id3v1.mp3", "moon_light_v2.mp3"}}));
  for (int i = 0; i < engine.ItemCount(); ++i) {
    PFileItem it = engine.Item(i);
    EXPECT_FALSE(it->AudioTagValues.empty());
    ASSERT_NE(it->MusicTags, nullptr);
    EXPECT_FALSE(it->MusicTags->Title.empty());
    EXPECT_EQ(it->MusicTags->Album, "");  // only the selected tags are shown
  }
}

TEST_F(MusicScanTest, DisplayValuesOfDurationAndBitRate) {
  fs::copy_file(Fixture("flac_tags.flac"), dir / "again.flac");
  TScanSettings options = test::TestScanSettings();
  options.MusicTagsOptions = TMusicTagsOptions{mtTitle, mtDuration, mtBitRate};
  TScanEngine engine(cmMusicTags, {});
  test::RunScan(engine, {dir.path()}, options);
  ASSERT_EQ(engine.ItemCount(), 2);
  for (int i = 0; i < 2; ++i) {
    ASSERT_NE(engine.Item(i)->MusicTags, nullptr);
    EXPECT_EQ(engine.Item(i)->MusicTags->Duration, "0:01");
    EXPECT_NE(engine.Item(i)->MusicTags->BitRate.find(" kbps"), std::string::npos);
  }
}

TEST_F(MusicScanTest, FilesWithoutTagsAreLeftOutUnlessCombined) {
  fs::copy_file(Fixture("flac_nocomments.flac"), dir / "copy.flac");
  TScanSettings options = test::TestScanSettings();
  options.MusicTagsOptions = TMusicTagsOptions{mtTitle, mtArtist};
  TScanEngine engine(cmMusicTags, {});
  test::RunScan(engine, {dir.path()}, options);
  bool emptyCheck = false;
  for (const TScanRejection& r : engine.FileRejections())
    emptyCheck |= r.Check == std::string("AudioTags empty check") && r.Count >= 3;
  EXPECT_TRUE(emptyCheck);
  EXPECT_EQ(engine.ItemCount(), 2);  // only the song with equal tags

  // Combined: the untagged copies are compared by content.
  options.MusicTagsOptions = TMusicTagsOptions{mtTitle, mtArtist, mtCombined};
  test::RunScan(engine, {dir.path()}, options);
  auto set = test::GroupSet(test::Groups(engine, dir.path()));
  EXPECT_TRUE(set.count({"flac_nocomments.flac", "copy.flac"})) << engine.ItemCount();
}

// "Files scanned" in the music mode counts the files the audio masks let through: the text and
// picture files beside the songs were never candidates.
TEST_F(MusicScanTest, FilesScannedCountsOnlyAudioFiles) {
  dir.Write("notes.txt", "not a song");
  dir.Write("cover.jpg", "not a song either");
  dir.Write("sub/readme.md", "nor this");
  TScanEngine engine(cmMusicTags, {});
  engine.SetIncludeFileMasks("*.mp3;*.flac;*.wav");
  test::RunScan(engine, {dir.path()});
  EXPECT_EQ(engine.SummaryInfo().TotalFiles, 6);

  // The file search still counts every file it walked.
  TScanEngine files(cmCRC32, {});
  files.SetIncludeFileMasks("*.mp3;*.flac;*.wav");
  test::RunScan(files, {dir.path()});
  EXPECT_EQ(files.SummaryInfo().TotalFiles, 9);
}

}  // namespace
}  // namespace pelcrow
