// pelcrow-cli with a real MPD: trash and move a song that is in two playlists, undo, and clean
// dead tracks (needs mpd and mpc).
#include <gtest/gtest.h>

#include <utime.h>

#include <filesystem>

#include "TestUtil.h"
#include "medialib/MpdServer.h"

namespace pelcrow {
namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;
using test::ShellQuote;

class MpdCliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!test::TMpdServer::Available()) GTEST_SKIP() << "mpd and mpc are not installed";
    fServer = std::make_unique<test::TMpdServer>(
        fDir / "mpd", std::map<std::string, int>{{"A & B/x.wav", 1}, {"copy/x.wav", 1}, {"y.wav", 2}, {"z.wav", 3}},
        std::map<std::string, Lines>{{"P1", {"y.wav", "A & B/x.wav", "z.wav", "A & B/x.wav"}},
                                     {"P2", {"A & B/x.wav", "y.wav"}}});
    // The copy is older: --select oldest keeps it and selects "A & B/x.wav".
    utimbuf old{1'600'000'000, 1'600'000'000};
    ::utime((fServer->Music() + "/copy/x.wav").c_str(), &old);
    fs::create_directories(fDir / "home/data");
  }
  int Cli(const std::string& args, std::string* out) {
    const std::string env = "HOME=" + ShellQuote(fDir / "home") + " XDG_DATA_HOME=" + ShellQuote(fDir / "home/data") +
                            " XDG_STATE_HOME=" + ShellQuote(fDir / "home/state") + " XDG_CONFIG_HOME=" +
                            ShellQuote(fDir / "home/config") + " MPD_HOST=" + ShellQuote(fServer->Socket()) + " ";
    return test::RunShell(env + ShellQuote(test::CliPath()) + " " + args, out);
  }
  std::string Music(const std::string& rel) const { return fServer->Music() + "/" + rel; }

  test::TTempDir fDir;
  std::unique_ptr<test::TMpdServer> fServer;
};

TEST_F(MpdCliTest, TrashAndMoveFollowThePlaylistsAndUndoPutsThemBack) {
  const Lines p1 = {"y.wav", "A & B/x.wav", "z.wav", "A & B/x.wav"}, p2 = {"A & B/x.wav", "y.wav"};
  std::string out;
  ASSERT_EQ(Cli("scan --no-skip-temp --select oldest --action trash --sync mpd " + ShellQuote(fServer->Music()), &out), 0)
      << out;
  EXPECT_EQ(out, "trashed " + Music("A & B/x.wav") + "\n");
  EXPECT_EQ(fServer->Playlist("P1"), (Lines{"y.wav", "z.wav"}));
  EXPECT_EQ(fServer->Playlist("P2"), (Lines{"y.wav"}));
  EXPECT_EQ(fServer->Database(), (Lines{"y.wav", "z.wav", "copy/x.wav"}));
  ASSERT_EQ(Cli("undo --sync mpd", &out), 0) << out;
  EXPECT_EQ(out, "restored " + Music("A & B/x.wav") + "\n");
  EXPECT_EQ(fServer->Playlist("P1"), p1);
  EXPECT_EQ(fServer->Playlist("P2"), p2);

  ASSERT_EQ(Cli("scan --no-skip-temp --select oldest --action move " + ShellQuote(Music("moved")) + " --sync mpd " +
                    ShellQuote(Music("A & B")) + " " + ShellQuote(Music("copy")),
                &out),
            0)
      << out;
  EXPECT_EQ(out, "moved " + Music("A & B/x.wav") + " -> " + Music("moved/x.wav") + "\n");
  EXPECT_EQ(fServer->Playlist("P1"), (Lines{"y.wav", "moved/x.wav", "z.wav", "moved/x.wav"}));
  EXPECT_EQ(fServer->Playlist("P2"), (Lines{"moved/x.wav", "y.wav"}));
  ASSERT_EQ(Cli("undo --sync mpd", &out), 0) << out;
  EXPECT_EQ(fServer->Playlist("P1"), p1);
  EXPECT_EQ(fServer->Playlist("P2"), p2);

  // --no-sync leaves the library alone (its playlists then hold a dead entry).
  ASSERT_EQ(Cli("scan --no-skip-temp --select oldest --action trash --no-sync " + ShellQuote(fServer->Music()), &out), 0);
  EXPECT_EQ(fServer->Playlist("P2"), p2);
}

TEST_F(MpdCliTest, RepointingLetsThePlaylistsPlayTheKeptCopyUntilUndo) {
  fDir.Write("home/config/pelcrow/pelcrow.settings", "[Preferences]\nSync_RepointToKept=1\n");
  std::string out;
  ASSERT_EQ(Cli("scan --no-skip-temp --select oldest --action trash --sync mpd " + ShellQuote(fServer->Music()), &out), 0)
      << out;
  EXPECT_EQ(fServer->Playlist("P1"), (Lines{"y.wav", "copy/x.wav", "z.wav", "copy/x.wav"}));
  EXPECT_EQ(fServer->Playlist("P2"), (Lines{"copy/x.wav", "y.wav"}));
  ASSERT_EQ(Cli("undo", &out), 0) << out;
  EXPECT_EQ(fServer->Playlist("P1"), (Lines{"y.wav", "A & B/x.wav", "z.wav", "A & B/x.wav"}));
  EXPECT_EQ(fServer->Playlist("P2"), (Lines{"A & B/x.wav", "y.wav"}));
}

TEST_F(MpdCliTest, CleanRemovesTheDeadEntriesAndDryRunOnlyListsThem) {
  fs::remove(Music("y.wav"));  // gone behind the library's back
  std::string out;
  ASSERT_EQ(Cli("medialib clean --dry-run", &out), 0) << out;
  EXPECT_NE(out.find("would remove P1 0 " + Music("y.wav") + "\n"), std::string::npos) << out;
  EXPECT_NE(out.find("would remove P2 1 " + Music("y.wav") + "\n"), std::string::npos) << out;
  EXPECT_NE(out.find("2 Invalid Tracks Found."), std::string::npos) << out;
  EXPECT_EQ(fServer->Playlist("P2"), (Lines{"A & B/x.wav", "y.wav"}));

  ASSERT_EQ(Cli("medialib clean", &out), 0) << out;
  EXPECT_NE(out.find("cannot be undone"), std::string::npos) << out;
  EXPECT_NE(out.find("2 Invalid Tracks Deleted.\nMPD Dead Track Cleaner was Successful!\n"), std::string::npos) << out;
  EXPECT_EQ(fServer->Playlist("P1"), (Lines{"A & B/x.wav", "z.wav", "A & B/x.wav"}));
  EXPECT_EQ(fServer->Playlist("P2"), (Lines{"A & B/x.wav"}));
  EXPECT_EQ(fServer->Database(), (Lines{"z.wav", "A & B/x.wav", "copy/x.wav"}));

  // A server that is not there: the cleaner says so and fails.
  EXPECT_EQ(test::RunShell("MPD_HOST=127.0.0.1 MPD_PORT=" + std::to_string(test::FreeLoopbackPort()) + " " +
                               ShellQuote(test::CliPath()) + " medialib clean",
                           &out),
            3);
  EXPECT_NE(out.find("Connecting to MPD FAILED!"), std::string::npos) << out;
}

}  // namespace
}  // namespace pelcrow
