// pelcrow-cli with a real, running Rhythmbox: a trashed song leaves its playlists and undo puts
// it back; a move asks to close Rhythmbox, which the CLI declines (needs rhythmbox, xvfb-run,
// dbus-daemon and gdbus).
#include <gtest/gtest.h>

#include <utime.h>

#include <filesystem>

#include "TestUtil.h"
#include "medialib/RhythmboxLibrary.h"
#include "medialib/RhythmboxPlayer.h"

namespace pelcrow {
namespace {

namespace fs = std::filesystem;
using test::ShellQuote;

std::string Loc(const std::string& path) { return "    <location>" + XmlEscape(RhythmboxUri(path)) + "</location>\n"; }

TEST(RhythmboxCliTest, TrashAndUndoFollowTheRunningPlayerAndAMoveLeavesItOut) {
  if (const std::string why = test::RhythmboxMissing(); !why.empty()) GTEST_SKIP() << why;
  test::TRhythmboxLock lock;
  test::TTempDir dir;
  const std::string home = dir / "home", music = home + "/Music", rbDir = home + "/.local/share/rhythmbox";
  const std::string x = music + "/A & B/x.wav";
  dir.Write("home/Music/A & B/x.wav", test::WavBytes(1));
  dir.Write("home/Music/copy/x.wav", test::WavBytes(1));
  dir.Write("home/Music/y.wav", test::WavBytes(2));
  // The copy is older: --select oldest keeps it and selects "A & B/x.wav".
  utimbuf old{1'600'000'000, 1'600'000'000};
  ::utime((music + "/copy/x.wav").c_str(), &old);
  dir.Write("home/.local/share/rhythmbox/rhythmdb.xml",
            "<?xml version=\"1.0\" standalone=\"yes\"?>\n<rhythmdb version=\"2.0\">\n"
            "  <entry type=\"song\">\n    <title>x</title>\n" + Loc(x) + "  </entry>\n"
            "  <entry type=\"song\">\n    <title>y</title>\n" + Loc(music + "/y.wav") + "  </entry>\n</rhythmdb>\n");
  dir.Write("home/.local/share/rhythmbox/playlists.xml",
            "<?xml version=\"1.0\"?>\n<rhythmdb-playlists>\n  <playlist name=\"P1\" type=\"static\">\n" + Loc(x) +
                Loc(music + "/y.wav") + "  </playlist>\n  <playlist name=\"P2\" type=\"static\">\n" + Loc(x) +
                "  </playlist>\n</rhythmdb-playlists>\n");
  test::TRhythmboxPlayer player(home, dir.path());
  if (!player.HasBus()) GTEST_SKIP() << "no session bus could be started";
  auto cli = [&](const std::string& args, std::string* out) {
    const std::string env = "HOME=" + ShellQuote(home) + " XDG_DATA_HOME=" + ShellQuote(home + "/.local/share") +
                            " XDG_STATE_HOME=" + ShellQuote(home + "/.local/state") + " XDG_CONFIG_HOME=" +
                            ShellQuote(dir / "cli-config") + " ";
    return test::RunShell(env + ShellQuote(test::CliPath()) + " " + args, out);
  };
  auto count = [&](const std::string& path) {
    const std::string text = test::ReadAll(rbDir + "/playlists.xml"), loc = Loc(path);
    std::size_t n = 0;
    for (std::size_t p = text.find(loc); p != std::string::npos; p = text.find(loc, p + 1)) ++n;
    return n;
  };
  const std::string ux = RhythmboxUri(x);

  ASSERT_TRUE(player.Start(ux)) << player.Log();
  std::string out;
  ASSERT_EQ(cli("scan --no-skip-temp --select oldest --action trash --sync rhythmbox " + ShellQuote(music), &out), 0) << out;
  EXPECT_EQ(out, "trashed " + x + "\n");
  player.Quit();
  EXPECT_EQ(count(x), 0u) << test::ReadAll(rbDir + "/playlists.xml");

  ASSERT_TRUE(player.Start(RhythmboxUri(music + "/y.wav"))) << player.Log();
  ASSERT_EQ(cli("undo --sync rhythmbox", &out), 0) << out;
  EXPECT_EQ(out, "restored " + x + "\n");
  player.Quit();
  EXPECT_EQ(count(x), 2u) << test::ReadAll(rbDir + "/playlists.xml");

  // Nobody to answer the question: the CLI declines, the move goes on without the library.
  ASSERT_TRUE(player.Start(ux)) << player.Log();
  ASSERT_EQ(cli("scan --no-skip-temp --select oldest --action move " + ShellQuote(dir / "moved") +
                    " --sync rhythmbox " + ShellQuote(music),
                &out),
            0)
      << out;
  EXPECT_NE(out.find("pelcrow-cli: Rhythmbox is not reachable: it is running and was not closed."), std::string::npos)
      << out;
  EXPECT_NE(out.find("moved " + x + " -> " + dir / "moved/x.wav"), std::string::npos) << out;
  EXPECT_TRUE(player.Running());
  player.Quit();
  EXPECT_EQ(count(x), 2u);
}

}  // namespace
}  // namespace pelcrow
