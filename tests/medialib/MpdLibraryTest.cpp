// The MPD back-end against a real MPD (needs mpd and mpc).
#include "medialib/MpdLibrary.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "TestUtil.h"
#include "medialib/MpdServer.h"

namespace pelcrow {
namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

TEST(MpdProtocolTest, AddressQuotingAndReplies) {
  struct TCase {
    const char* Host;
    const char* Port;
    const char* WantHost;
    int WantPort;
    const char* WantPassword;
  };
  const TCase cases[] = {
      {"", "", "localhost", 6600, ""},
      {"music.box", "6601", "music.box", 6601, ""},
      {"secret@music.box", "x", "music.box", 6600, "secret"},
      {"/run/mpd/socket", "", "/run/mpd/socket", 6600, ""},
      {"~/.mpd/socket", "", "/home/ann/.mpd/socket", 6600, ""},
      {"@mpd", "", "@mpd", 6600, ""},
      {"pw@@mpd", "70000", "@mpd", 6600, "pw"},
  };
  for (const TCase& c : cases) {
    const TMpdAddress a = ParseMpdAddress(c.Host, c.Port, "/home/ann");
    EXPECT_EQ(a.Host, c.WantHost) << c.Host;
    EXPECT_EQ(a.Port, c.WantPort) << c.Host;
    EXPECT_EQ(a.Password, c.WantPassword) << c.Host;
  }
  EXPECT_EQ(MpdQuote("A \"B\"\\C"), "\"A \\\"B\\\"\\\\C\"");
  EXPECT_EQ(MpdFileFilter("A & \"B\".wav"), "\"(file == \\\"A & \\\\\\\"B\\\\\\\".wav\\\")\"");

  TMpdReplyParser p;
  EXPECT_TRUE(p.Feed("file: a: b.wav"));
  EXPECT_TRUE(p.Feed("Time: 1"));
  EXPECT_FALSE(p.Feed("OK"));
  EXPECT_TRUE(p.Reply().Ok);
  EXPECT_EQ(p.Reply().Value("file"), "a: b.wav");
  TMpdReplyParser ack;
  EXPECT_FALSE(ack.Feed("ACK [50@0] {playlistadd} No such directory"));
  EXPECT_FALSE(ack.Reply().Ok);
  EXPECT_EQ(ack.Reply().AckCode, 50);
  EXPECT_EQ(ack.Reply().AckText, "No such directory");

  EXPECT_EQ(MpdMusicDirectoryFromConfig("# x\nmusic_directory\t\"~/Music\"\nport \"1\"\n", "/home/ann"),
            "/home/ann/Music");
  EXPECT_EQ(MpdMusicDirectoryFromConfig("playlist_directory \"/p\"\n", "/h"), "");
}

class MpdLibraryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!test::TMpdServer::Available()) GTEST_SKIP() << "mpd and mpc are not installed";
    fServer = std::make_unique<test::TMpdServer>(
        fDir.path(), std::map<std::string, int>{{"A & B/x.wav", 1}, {"y.wav", 2}, {"z.wav", 3}},
        std::map<std::string, Lines>{{"P1", {"y.wav", "A & B/x.wav", "z.wav", "A & B/x.wav"}},
                                     {"P2", {"A & B/x.wav", "y.wav"}}});
    fOptions.iTunes = true;
  }
  // Over TCP, where the server does not tell its music folder.
  std::unique_ptr<TMpdMediaLibPlugin> OverTcp() {
    TMpdAddress a;
    a.Host = "127.0.0.1";
    a.Port = fServer->Port();
    TMediaLibSyncOptions o = fOptions;
    o.MpdMusicDirectory = fServer->Music() + "/";
    return std::make_unique<TMpdMediaLibPlugin>(o, a);
  }
  std::string Music(const std::string& rel) const { return fServer->Music() + "/" + rel; }

  test::TTempDir fDir;
  std::unique_ptr<test::TMpdServer> fServer;
  TMediaLibSyncOptions fOptions;
};

TEST_F(MpdLibraryTest, DeleteThenAddNewPutsTheEntriesBackAtTheirPositions) {
  auto mpd = OverTcp();
  ASSERT_TRUE(mpd->Init()) << mpd->UnavailableReason();
  fs::rename(Music("A & B/x.wav"), fDir / "x.wav");  // the file went (to the trash, say)
  std::unique_ptr<TPlaylistList> lists;
  mpd->Delete(Music("A & B/x.wav"), lists);
  EXPECT_EQ(fServer->Playlist("P1"), (Lines{"y.wav", "z.wav"}));
  EXPECT_EQ(fServer->Playlist("P2"), (Lines{"y.wav"}));
  EXPECT_EQ(fServer->Database(), (Lines{"y.wav", "z.wav"}));
  ASSERT_TRUE(lists);
  ASSERT_EQ(lists->size(), 3u);
  EXPECT_EQ((*lists)[0].Name, "P1");
  EXPECT_EQ((*lists)[0].Position, 1);
  EXPECT_EQ((*lists)[1].Position, 3);
  EXPECT_EQ((*lists)[2].Name, "P2");
  EXPECT_EQ((*lists)[2].Origin, ploITunes);

  fs::rename(fDir / "x.wav", Music("A & B/x.wav"));  // undo brought it back
  mpd->AddNew(Music("A & B/x.wav"), lists.get());
  EXPECT_EQ(fServer->Playlist("P1"), (Lines{"y.wav", "A & B/x.wav", "z.wav", "A & B/x.wav"}));
  EXPECT_EQ(fServer->Playlist("P2"), (Lines{"A & B/x.wav", "y.wav"}));
  mpd->Done();
}

TEST_F(MpdLibraryTest, RenameRepointsEntriesInPlaceAndAFileOutsideIsIgnored) {
  // Over the local socket the server tells its music folder itself.
  TMpdAddress local;
  local.Host = fServer->Socket();
  TMpdMediaLibPlugin mpd(fOptions, local);
  ASSERT_TRUE(mpd.Init()) << mpd.UnavailableReason();
  EXPECT_EQ(mpd.MusicDirectory(), fServer->Music());
  fs::create_directories(Music("new dir"));
  fs::rename(Music("A & B/x.wav"), Music("new dir/x \"2\".wav"));
  mpd.Rename(Music("A & B/x.wav"), Music("new dir/x \"2\".wav"));
  EXPECT_EQ(fServer->Playlist("P1"), (Lines{"y.wav", "new dir/x \"2\".wav", "z.wav", "new dir/x \"2\".wav"}));
  EXPECT_EQ(fServer->Playlist("P2"), (Lines{"new dir/x \"2\".wav", "y.wav"}));
  EXPECT_EQ(fServer->Database(), (Lines{"y.wav", "z.wav", "new dir/x \"2\".wav"}));

  std::unique_ptr<TPlaylistList> lists;
  mpd.Delete(fDir / "elsewhere/y.wav", lists);  // not in the music folder
  EXPECT_TRUE(!lists || lists->empty());
  EXPECT_EQ(fServer->Playlist("P2"), (Lines{"new dir/x \"2\".wav", "y.wav"}));
}

TEST_F(MpdLibraryTest, RepointingPutsTheKeptCopyInPlaceAndAddNewTakesItOutAgain) {
  auto mpd = OverTcp();
  ASSERT_TRUE(mpd->Init());
  fs::rename(Music("A & B/x.wav"), fDir / "x.wav");
  std::unique_ptr<TPlaylistList> lists;
  mpd->DeleteRepointing(Music("A & B/x.wav"), Music("z.wav"), lists);
  EXPECT_EQ(fServer->Playlist("P1"), (Lines{"y.wav", "z.wav", "z.wav", "z.wav"}));
  EXPECT_EQ(fServer->Playlist("P2"), (Lines{"z.wav", "y.wav"}));
  ASSERT_EQ(lists->size(), 3u);
  EXPECT_EQ((*lists)[0].ReplacedBy, Music("z.wav"));
  fs::rename(fDir / "x.wav", Music("A & B/x.wav"));
  mpd->AddNew(Music("A & B/x.wav"), lists.get());
  EXPECT_EQ(fServer->Playlist("P1"), (Lines{"y.wav", "A & B/x.wav", "z.wav", "A & B/x.wav"}));
  EXPECT_EQ(fServer->Playlist("P2"), (Lines{"A & B/x.wav", "y.wav"}));
}

TEST(MpdUnreachableTest, AClosedPortIsUnavailableAndSkippedForTheRunWithOneNotice) {
  TMpdAddress a;
  a.Host = "127.0.0.1";
  a.Port = test::FreeLoopbackPort();
  TMediaLibSyncOptions o;
  o.iTunes = true;
  TMpdMediaLibPlugin mpd(o, a);
  EXPECT_FALSE(mpd.Init());
  EXPECT_NE(mpd.UnavailableReason().find("Connection refused"), std::string::npos) << mpd.UnavailableReason();

  struct TNotices : IMediaLibStatus {
    void ShowWaitText(const std::string&) override {}
    void ShowStatusText(const std::string&) override {}
    void ShowLibraryUnavailable(TMediaLibrary, const std::string& text) override { Texts.push_back(text); }
    std::vector<std::string> Texts;
  } notices;
  SetMediaLibStatus(&notices);
  const TMediaLibraryFactory saved =
      RegisterMediaLibrary(mliTunes, [a](const TMediaLibSyncOptions& x) { return std::make_unique<TMpdMediaLibPlugin>(x, a); });
  const TMediaLibraryFactory savedPlayer = RegisterMediaLibrary(mlWMP, nullptr);
  TMediaLibSyncOptions run = o;
  EXPECT_TRUE(BeginMediaLibSync(run));  // processing goes on
  EndMediaLibSync();
  EXPECT_FALSE(run.iTunes);
  EXPECT_TRUE(BeginMediaLibSync(run));  // the run's next begin does not try again
  EndMediaLibSync();
  RegisterMediaLibrary(mliTunes, saved);
  RegisterMediaLibrary(mlWMP, savedPlayer);
  SetMediaLibStatus(nullptr);
  ASSERT_EQ(notices.Texts.size(), 1u);
  EXPECT_NE(notices.Texts[0].find("MPD is not reachable: MPD at 127.0.0.1:"), std::string::npos) << notices.Texts[0];
}

}  // namespace
}  // namespace pelcrow
