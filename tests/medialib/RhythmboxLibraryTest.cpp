// The Rhythmbox back-end on its library files, and the rewritten files loaded by a real Rhythmbox
// (needs rhythmbox, xvfb-run and dbus-run-session for that part).
#include "medialib/RhythmboxLibrary.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <vector>

#include "TestUtil.h"
#include "base/AppName.h"
#include "medialib/MpdServer.h"
#include "medialib/RhythmboxPlayer.h"

namespace pelcrow {
namespace {

namespace fs = std::filesystem;
using test::ShellQuote;

std::string Entry(const std::string& path, const std::string& extra) {
  return "  <entry type=\"song\">\n    <title>t</title>\n    <location>" + XmlEscape(RhythmboxUri(path)) +
         "</location>\n" + extra + "  </entry>\n";
}

std::string Loc(const std::string& path) { return "    <location>" + XmlEscape(RhythmboxUri(path)) + "</location>\n"; }

TEST(RhythmboxLibraryTest, EscapingFollowsGLib) {
  EXPECT_EQ(RhythmboxUri("/m/A & B/x;1 [2].wav"), "file:///m/A%20&%20B/x%3B1%20%5B2%5D.wav");
  EXPECT_EQ(XmlEscape("a&b<\""), "a&amp;b&lt;&quot;");
  EXPECT_EQ(XmlUnescape("a&amp;b&lt;&#65;&#x42;&apos;&bogus"), "a&b<AB'&bogus");
}

TEST(RhythmboxLibraryTest, DeleteAndAddNewEditOnlyTheirEntriesAndKeepTheRest) {
  // A player another test runs would make the library look busy.
  test::TRhythmboxLock lock;
  test::TTempDir dir;
  const std::string x = dir / "Music/A & B/x;1.wav", y = dir / "Music/y.wav";
  const std::string db = "<?xml version=\"1.0\" standalone=\"yes\"?>\n<rhythmdb version=\"2.0\">\n" +
                         Entry(x, "    <play-count>7</play-count>\n    <future-element a=\"1\"/>\n") + Entry(y, "") +
                         "  <entry type=\"iradio\">\n    <location>http://radio/x</location>\n  </entry>\n</rhythmdb>\n";
  const std::string lists = "<?xml version=\"1.0\"?>\n<rhythmdb-playlists>\n"
                            "  <playlist name=\"Road &amp; Rail\" show-browser=\"true\" type=\"static\">\n" +
                            Loc(y) + Loc(x) + Loc(y) + Loc(x) +
                            "  </playlist>\n  <playlist name=\"Empty\" type=\"static\"/>\n"
                            "  <playlist name=\"Auto\" type=\"automatic\">\n    <conjunction/>\n  </playlist>\n"
                            "  <playlist name=\"Gym\" type=\"static\">\n" + Loc(x) + "  </playlist>\n</rhythmdb-playlists>\n";
  dir.Write("rb/rhythmdb.xml", db);
  dir.Write("rb/playlists.xml", lists);
  TMediaLibSyncOptions o;
  o.RhythmboxDirectory = dir / "rb";
  {
    TRhythmboxMediaLibPlugin rb(o);
    ASSERT_TRUE(rb.Init()) << rb.UnavailableReason();
    std::unique_ptr<TPlaylistList> found;
    rb.Delete(x, found);
    ASSERT_EQ(found->size(), 3u);
    EXPECT_EQ((*found)[0].Name, "Gym");  // a playlist at a time, lowest position first
    EXPECT_EQ((*found)[1].Name, "Road & Rail");
    EXPECT_EQ((*found)[1].Position, 1);
    EXPECT_EQ((*found)[2].Position, 3);
    EXPECT_EQ(rb.Database().find("A%20&amp;%20B"), std::string::npos);
    EXPECT_EQ(rb.Playlists().find("x%3B1"), std::string::npos);
    rb.Done();
    EXPECT_EQ(test::ReadAll(dir / "rb/rhythmdb.xml"), rb.Database());

    // Undo: the same playlists, the same places; the other bytes as they were.
    TRhythmboxMediaLibPlugin again(o);
    ASSERT_TRUE(again.Init());
    again.AddNew(x, found.get());
    const TPlaylistList more = {{"Empty", 0, ploWMP}, {"New one", 0, ploWMP}, {"Gym", 5, ploITunes}};
    again.AddNew(y, &more);  // present already: only its playlists change
    again.Done();
  }
  const std::string after = test::ReadAll(dir / "rb/playlists.xml");
  EXPECT_NE(after.find("static\">\n" + Loc(y) + Loc(x) + Loc(y) + Loc(x) + "  </playlist>"), std::string::npos)
      << after;
  EXPECT_NE(after.find("name=\"Empty\" type=\"static\">\n" + Loc(y) + "  </playlist>"), std::string::npos) << after;
  EXPECT_NE(after.find("name=\"New one\""), std::string::npos);
  EXPECT_NE(after.find("<conjunction/>"), std::string::npos);
  const std::string dbAfter = test::ReadAll(dir / "rb/rhythmdb.xml");
  EXPECT_NE(dbAfter.find("http://radio/x"), std::string::npos);
  EXPECT_NE(dbAfter.find(XmlEscape(RhythmboxUri(x))), std::string::npos);
}

TEST(RhythmboxLibraryTest, NoLibraryIsNothingToDo) {
  // A player another test runs would make the library look busy.
  test::TRhythmboxLock lock;
  test::TTempDir dir;
  TMediaLibSyncOptions o;
  o.RhythmboxDirectory = dir / "none";
  TRhythmboxMediaLibPlugin rb(o);
  EXPECT_TRUE(rb.Init());
  std::unique_ptr<TPlaylistList> found;
  rb.Delete(dir / "a.wav", found);
  rb.Done();
  EXPECT_FALSE(fs::exists(dir / "none"));
}

// A moved song's entry, rewritten while Rhythmbox was stopped, is found by Rhythmbox over D-Bus.
TEST(RhythmboxLibraryTest, RhythmboxLoadsTheRewrittenLibraryAndFindsTheMovedSong) {
  if (test::RunShell("command -v rhythmbox && command -v xvfb-run && command -v dbus-run-session") != 0)
    GTEST_SKIP() << "rhythmbox, xvfb-run or dbus-run-session is not installed";
  test::TRhythmboxLock lock;
  test::TTempDir dir;
  const std::string home = dir / "home";
  const std::string music = home + "/Music";
  dir.Write("home/Music/A & B/x;1.wav", test::WavBytes(1));
  dir.Write("home/.config/user-dirs.dirs", "XDG_MUSIC_DIR=\"$HOME/Music\"\n");
  const std::string rbDir = home + "/.local/share/rhythmbox";
  dir.Write("home/.local/share/rhythmbox/rhythmdb.xml",
            "<?xml version=\"1.0\" standalone=\"yes\"?>\n<rhythmdb version=\"2.0\">\n" +
                Entry(music + "/A & B/x;1.wav", "    <play-count>7</play-count>\n") + "</rhythmdb>\n");
  dir.Write("home/.local/share/rhythmbox/playlists.xml",
            "<?xml version=\"1.0\"?>\n<rhythmdb-playlists>\n  <playlist name=\"Gym\" type=\"static\">\n" +
                Loc(music + "/A & B/x;1.wav") + "  </playlist>\n</rhythmdb-playlists>\n");
  // The move, as processing does it: entry out, file moved, entry in at its new place.
  TMediaLibSyncOptions o;
  o.RhythmboxDirectory = rbDir;
  TRhythmboxMediaLibPlugin rb(o);
  ASSERT_TRUE(rb.Init());
  std::unique_ptr<TPlaylistList> lists;
  rb.Delete(music + "/A & B/x;1.wav", lists);
  fs::create_directories(music + "/moved [1]");
  fs::rename(music + "/A & B/x;1.wav", music + "/moved [1]/x;1.wav");
  rb.AddNew(music + "/moved [1]/x;1.wav", lists.get());
  rb.Done();

  const std::string uri = RhythmboxUri(music + "/moved [1]/x;1.wav");
  // The session bus starts Rhythmbox when it is called: it must see the test's home too.
  const std::string env = "HOME=" + ShellQuote(home) + " XDG_DATA_HOME=" + ShellQuote(home + "/.local/share") +
                          " XDG_CONFIG_HOME=" + ShellQuote(home + "/.config") + " XDG_CACHE_HOME=" +
                          ShellQuote(home + "/.cache") + " GSETTINGS_BACKEND=memory ";
  dir.Write("run.sh", "rhythmbox >/dev/null 2>&1 &\nsleep 2\n"
                          "for i in $(seq 1 60); do gdbus call --session --dest org.gnome.Rhythmbox3 --object-path "
                          "/org/gnome/Rhythmbox3/RhythmDB --method org.gnome.Rhythmbox3.RhythmDB.GetEntryProperties " +
                          ShellQuote(uri) + " >out.txt 2>&1 && break; sleep 0.5; done\n"
                          "cat out.txt\nrhythmbox-client --quit >/dev/null 2>&1; wait\n");
  std::string out;
  test::RunShell("cd " + ShellQuote(dir.path()) + " && " + env + "timeout 120 xvfb-run -a dbus-run-session bash run.sh", &out);
  EXPECT_NE(out.find("'play-count': <uint32 7>"), std::string::npos) << out;
  EXPECT_NE(out.find("'location': <'" + uri + "'>"), std::string::npos) << out;
}

// A library with two songs in two playlists, for a running Rhythmbox.
struct TRunningLibrary {
  test::TTempDir dir;
  std::string home = dir / "home", music = home + "/Music", rbDir = home + "/.local/share/rhythmbox";
  std::string x = music + "/A & B/x [1].wav", y = music + "/y.wav";
  TMediaLibSyncOptions options;

  TRunningLibrary() {
    dir.Write("home/Music/A & B/x [1].wav", test::WavBytes(1));
    dir.Write("home/Music/y.wav", test::WavBytes(2));
    dir.Write("home/Music/z.wav", test::WavBytes(3));
    dir.Write("home/.local/share/rhythmbox/rhythmdb.xml",
              "<?xml version=\"1.0\" standalone=\"yes\"?>\n<rhythmdb version=\"2.0\">\n" +
                  Entry(x, "    <play-count>3</play-count>\n    <rating>4</rating>\n") + Entry(y, "") + "</rhythmdb>\n");
    dir.Write("home/.local/share/rhythmbox/playlists.xml",
              "<?xml version=\"1.0\"?>\n<rhythmdb-playlists>\n  <playlist name=\"Road &amp; Rail\" type=\"static\">\n" +
                  Loc(x) + Loc(y) + "  </playlist>\n  <playlist name=\"Gym\" type=\"static\">\n" + Loc(x) +
                  "  </playlist>\n</rhythmdb-playlists>\n");
    options.RhythmboxDirectory = rbDir;
  }
  std::string Playlists() const { return test::ReadAll(rbDir + "/playlists.xml"); }
  // The locations of one playlist as Rhythmbox saved it, in order.
  std::vector<std::string> Members(const std::string& name) const {
    const std::string text = Playlists();
    const std::size_t at = text.find("name=\"" + XmlEscape(name) + "\"");
    std::vector<std::string> out;
    if (at == std::string::npos) return out;
    const std::size_t gt = text.find('>', at);
    if (text[gt - 1] == '/') return out;
    const std::size_t end = text.find("</playlist>", at);
    for (std::size_t p = text.find("<location>", at); p < end; p = text.find("<location>", p + 1)) {
      const std::size_t e = text.find("</location>", p);
      out.push_back(XmlUnescape(text.substr(p + 10, e - p - 10)));
    }
    return out;
  }
};

#define REQUIRE_RHYTHMBOX(player)                                          \
  if (const std::string why = test::RhythmboxMissing(); !why.empty()) GTEST_SKIP() << why; \
  test::TRhythmboxLock lock;                                               \
  test::TRhythmboxPlayer player(lib.home, lib.dir.path());                 \
  if (!player.HasBus()) GTEST_SKIP() << "no session bus could be started"

// While Rhythmbox runs: a trashed song leaves both its playlists over D-Bus, and undo puts it back
// into both (at their ends: the bus only appends); a song Rhythmbox does not know yet is loaded
// first, since playlists ignore it until then.
TEST(RhythmboxRunningTest, TrashAndUndoFollowThePlaylistsOverDBus) {
  TRunningLibrary lib;
  REQUIRE_RHYTHMBOX(player);
  const std::string ux = RhythmboxUri(lib.x), uy = RhythmboxUri(lib.y), uz = RhythmboxUri(lib.music + "/z.wav");
  ASSERT_TRUE(player.Start(ux)) << player.Log();
  std::unique_ptr<TPlaylistList> lists;
  {
    TRhythmboxMediaLibPlugin rb(lib.options);
    ASSERT_TRUE(rb.Init()) << rb.UnavailableReason();
    EXPECT_TRUE(rb.Live());
    rb.Delete(lib.x, lists);
    fs::create_directories(lib.dir / "trash");
    fs::rename(lib.x, lib.dir / "trash/x.wav");
    rb.Done();
  }
  ASSERT_EQ(lists->size(), 2u);
  std::map<std::string, int> where;
  for (const TPlaylistInfo& i : *lists) where[i.Name] = i.Position;
  EXPECT_EQ(where, (std::map<std::string, int>{{"Gym", 0}, {"Road & Rail", 0}}));
  player.Quit();
  EXPECT_EQ(lib.Members("Road & Rail"), std::vector<std::string>{uy});
  EXPECT_TRUE(lib.Members("Gym").empty()) << lib.Playlists();

  // Undo, Rhythmbox running again.
  ASSERT_TRUE(player.Start(uy)) << player.Log();
  fs::rename(lib.dir / "trash/x.wav", lib.x);
  {
    TRhythmboxMediaLibPlugin rb(lib.options);
    ASSERT_TRUE(rb.Init()) << rb.UnavailableReason();
    rb.AddNew(lib.x, lists.get());
    const TPlaylistList more = {{"Gym", 0, ploWMP}, {"Made for undo", 0, ploWMP}, {"Road & Rail", 0, ploITunes}};
    rb.AddNew(lib.music + "/z.wav", &more);
    rb.Done();
  }
  std::string props;
  EXPECT_TRUE(player.Entry(ux, props));
  EXPECT_TRUE(player.Entry(uz, props)) << "the unknown song was not loaded";
  player.Quit();
  EXPECT_EQ(lib.Members("Road & Rail"), (std::vector<std::string>{uy, ux})) << lib.Playlists();
  EXPECT_EQ(lib.Members("Gym"), (std::vector<std::string>{ux, uz})) << lib.Playlists();
  EXPECT_EQ(lib.Members("Made for undo"), std::vector<std::string>{uz}) << lib.Playlists();
}

// A run that moves asks to close Rhythmbox: Cancel leaves the library out and Rhythmbox running;
// OK closes it, and the move is made in its files, so the moved song keeps its counts, rating and
// playlist places, and Rhythmbox finds it at the new place.
TEST(RhythmboxRunningTest, AMoveAsksToCloseRhythmboxAndKeepsTheWholeEntry) {
  TRunningLibrary lib;
  REQUIRE_RHYTHMBOX(player);
  const std::string moved = lib.music + "/moved (2)/x [1].wav";
  ASSERT_TRUE(player.Start(RhythmboxUri(lib.x))) << player.Log();
  lib.options.MovesFiles = true;
  test::TScriptedPrompt prompt;
  prompt.ConfirmAnswers = {false, true};
  const std::string question = std::string(kAppName) + " needs to close Rhythmbox application before synchronization.";
  {
    TRhythmboxMediaLibPlugin rb(lib.options);
    EXPECT_FALSE(rb.Init());
    EXPECT_FALSE(rb.UnavailableReason().empty());
    ASSERT_EQ(prompt.Questions, std::vector<std::string>{question});
    EXPECT_TRUE(player.Running());
  }
  {
    TRhythmboxMediaLibPlugin rb(lib.options);
    ASSERT_TRUE(rb.Init()) << rb.UnavailableReason();
    EXPECT_FALSE(rb.Live());
    EXPECT_FALSE(player.Running());
    EXPECT_TRUE(player.WaitEnded());
    std::unique_ptr<TPlaylistList> lists;
    rb.Delete(lib.x, lists);
    fs::create_directories(lib.music + "/moved (2)");
    fs::rename(lib.x, moved);
    rb.AddNew(moved, lists.get());
    rb.Done();
  }
  const std::string uri = RhythmboxUri(moved);
  ASSERT_TRUE(player.Start(uri)) << player.Log();
  std::string props, old;
  ASSERT_TRUE(player.Entry(uri, props));
  EXPECT_NE(props.find("'play-count': <uint32 3>"), std::string::npos) << props;
  EXPECT_NE(props.find("'rating': <4.0>"), std::string::npos) << props;
  EXPECT_FALSE(player.Entry(RhythmboxUri(lib.x), old)) << "the old location is still in the library";
  player.Quit();
  EXPECT_EQ(lib.Members("Road & Rail"), (std::vector<std::string>{uri, RhythmboxUri(lib.y)})) << lib.Playlists();
  EXPECT_EQ(lib.Members("Gym"), std::vector<std::string>{uri});
}

// Without the question (a run that only deletes) a move still follows over D-Bus: the new entry
// takes over the old one's counts and rating.
TEST(RhythmboxRunningTest, AMoveOverDBusCarriesCountsAndRating) {
  TRunningLibrary lib;
  REQUIRE_RHYTHMBOX(player);
  const std::string moved = lib.music + "/elsewhere/x.wav";
  ASSERT_TRUE(player.Start(RhythmboxUri(lib.x))) << player.Log();
  {
    TRhythmboxMediaLibPlugin rb(lib.options);
    ASSERT_TRUE(rb.Init()) << rb.UnavailableReason();
    ASSERT_TRUE(rb.Live());
    fs::create_directories(lib.music + "/elsewhere");
    fs::rename(lib.x, moved);
    rb.Rename(lib.x, moved);
    rb.Done();
  }
  std::string props;
  ASSERT_TRUE(player.Entry(RhythmboxUri(moved), props));
  EXPECT_NE(props.find("'play-count': <uint32 3>"), std::string::npos) << props;
  EXPECT_NE(props.find("'rating': <4.0>"), std::string::npos) << props;
  player.Quit();
  EXPECT_EQ(lib.Members("Gym"), std::vector<std::string>{RhythmboxUri(moved)}) << lib.Playlists();
}

}  // namespace
}  // namespace pelcrow
