#include "medialib/MediaLibSync.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestUtil.h"
#include "logging/Logger.h"
#include "medialib/RecordingMediaLibraries.h"

namespace pelcrow {
namespace {

using Calls = std::vector<std::string>;
using test::TRecordingMediaLibraries;

TEST(MediaLibSyncTest, BeginCreatesTheBackEndsSwitchedOnServerFirst) {
  struct TCase {
    bool SyncWMP, SyncITunes, WMPInit, ITunesInit;
    bool Result;
    Calls Expected;  // Begin, then End
  };
  const TCase cases[] = {
      {false, false, true, true, true, {}},
      {true, true, true, true, true, {"iTunes.Init", "WMP.Init", "iTunes.Done", "WMP.Done"}},
      {true, false, true, true, true, {"WMP.Init", "WMP.Done"}},
      {false, true, true, true, true, {"iTunes.Init", "iTunes.Done"}},
      // The player's back-end is not tried after the server's failed; a failed one is not ended.
      {true, true, true, false, false, {"iTunes.Init"}},
      {true, true, false, true, false, {"iTunes.Init", "WMP.Init", "iTunes.Done"}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.SyncWMP << c.SyncITunes << c.WMPInit << c.ITunesInit);
    TRecordingMediaLibraries libs(c.SyncWMP, c.SyncITunes);
    libs.InitResult[0] = c.WMPInit;
    libs.InitResult[1] = c.ITunesInit;
    EXPECT_EQ(BeginMediaLibSync(libs.Options()), c.Result);
    EndMediaLibSync();
    EXPECT_EQ(libs.Calls, c.Expected);
  }
}

TEST(MediaLibSyncTest, ABeginRetriedWithoutEndEndsWhatTheFirstStarted) {
  TRecordingMediaLibraries libs(true, true);
  libs.InitResult[0] = false;
  EXPECT_FALSE(BeginMediaLibSync(libs.Options()));
  libs.InitResult[0] = true;
  EXPECT_TRUE(BeginMediaLibSync(libs.Options()));
  EndMediaLibSync();
  EXPECT_EQ(libs.Calls, (Calls{"iTunes.Init", "WMP.Init", "iTunes.Done", "iTunes.Init", "WMP.Init", "iTunes.Done",
                               "WMP.Done"}));
}

TEST(MediaLibSyncTest, PerFileOperationsReachOnlyInitialisedBackEnds) {
  TRecordingMediaLibraries libs(true, true);
  libs.Memberships[0] = {{"Road", 0, ploWMP}};
  libs.Memberships[1] = {{"Gym", 0, ploITunes}, {"Gym", 0, ploITunes}};
  std::unique_ptr<TPlaylistList> lists;
  MediaLibDeleteWMP("/m/a.mp3", lists);  // no bracket open: nothing happens
  EXPECT_TRUE(libs.Calls.empty());
  EXPECT_EQ(lists, nullptr);

  ASSERT_TRUE(BeginMediaLibSync(libs.Options()));
  libs.Calls.clear();
  MediaLibDeleteWMP("\\\\?\\/m/a.mp3", lists);
  MediaLibDeleteITunes("/m/a.mp3", lists);
  MediaLibAddWMP("/m/b.mp3", lists.get());
  MediaLibAddAll("/m/c.mp3", nullptr, libs.Options());
  MediaLibRenameITunes("/m/c.mp3", "/n/c.mp3");
  EndMediaLibSync();
  MediaLibAddAll("/m/d.mp3", nullptr, libs.Options());  // closed again
  EXPECT_EQ(libs.Calls, (Calls{"WMP.Delete /m/a.mp3", "iTunes.Delete /m/a.mp3",
                               "WMP.AddNew /m/b.mp3 [WMP:Road,iTunes:Gym,iTunes:Gym]", "WMP.AddNew /m/c.mp3 none",
                               "iTunes.AddNew /m/c.mp3 none", "iTunes.Rename /m/c.mp3 -> /n/c.mp3", "iTunes.Done",
                               "WMP.Done"}));
  EXPECT_EQ(libs.WaitTexts, (Calls{"Initializing synchronization...", "Finalizing synchronization..."}));
  EXPECT_EQ(libs.StatusTexts,
            (Calls{"Initializing synchronization...", "", "Synchronizing: /m/a.mp3", "Synchronizing: /m/a.mp3",
                   "Synchronizing: /m/b.mp3", "Synchronizing: /m/c.mp3", "Synchronizing: /m/c.mp3",
                   "Synchronizing: /m/c.mp3 -> /n/c.mp3", "Finalizing synchronization...", ""}));
}

TEST(MediaLibSyncTest, AddAllFollowsTheSwitchesItIsGivenAndAMissingBackEndIsSkipped) {
  TRecordingMediaLibraries libs(true, true);
  ASSERT_TRUE(BeginMediaLibSync(libs.Options()));
  TMediaLibSyncOptions serverOff = libs.Options();
  serverOff.iTunes = false;
  MediaLibAddAll("/m/a.mp3", nullptr, serverOff);
  EndMediaLibSync();
  EXPECT_EQ(libs.Calls, (Calls{"iTunes.Init", "WMP.Init", "WMP.AddNew /m/a.mp3 none", "iTunes.Done", "WMP.Done"}));

  // This platform may lack a library's back-end: it is left out without a complaint.
  libs.Calls.clear();
  const TMediaLibraryFactory saved = RegisterMediaLibrary(mliTunes, nullptr);
  EXPECT_TRUE(BeginMediaLibSync(libs.Options()));
  MediaLibRenameITunes("/a", "/b");
  EndMediaLibSync();
  RegisterMediaLibrary(mliTunes, saved);
  EXPECT_EQ(libs.Calls, (Calls{"WMP.Init", "WMP.Done"}));
}

TEST(MediaLibSyncTest, AFailingCallIsLoggedAndStopsNothing) {
  test::TTempDir dir;
  TRecordingMediaLibraries libs(true, true);
  TLogOptions logOptions;
  logOptions.EnableLogging = true;
  logOptions.LogDirectory = dir / "logs";
  logOptions.LogEvents = {leMediaLibSyncOk, leMediaLibSyncFail};
  StartLogging(logOptions, logOptions.LogEvents);
  libs.ThrowOnPath = "/m/bad.mp3";
  TMediaLibSyncOptions options = libs.Options();
  options.LogEvents = {leMediaLibSyncOk, leMediaLibSyncFail};
  ASSERT_TRUE(BeginMediaLibSync(options));
  MediaLibAddAll("/m/bad.mp3", nullptr, options);
  MediaLibAddWMP("/m/good.mp3", nullptr);
  EndMediaLibSync();
  const std::string logFile = GetLogger().LogFileName();
  StopLogging();

  EXPECT_EQ(libs.Calls, (Calls{"iTunes.Init", "WMP.Init", "WMP.AddNew /m/bad.mp3 none", "iTunes.AddNew /m/bad.mp3 none",
                               "WMP.AddNew /m/good.mp3 none", "iTunes.Done", "WMP.Done"}));
  // The log is UTF-16: keep the ASCII.
  std::string text;
  const std::string bytes = test::ReadAll(logFile);
  for (std::size_t i = 2; i + 1 < bytes.size(); i += 2)
    if (bytes[i + 1] == '\0') text += bytes[i];
  EXPECT_NE(text.find("WMP track add /m/bad.mp3 library not answering"), std::string::npos) << text;
  EXPECT_NE(text.find("iTunes track add /m/bad.mp3 library not answering"), std::string::npos) << text;
  EXPECT_NE(text.find("WMP track add /m/good.mp3 OK"), std::string::npos) << text;
}

}  // namespace
}  // namespace pelcrow
