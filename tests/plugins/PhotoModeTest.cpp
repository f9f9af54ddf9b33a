// The engine's photo mode: the rows made from the scanner's items, the processing into the
// library's trash with its journal, and the fallback when no library is there.
#include <gtest/gtest.h>

#include "PhotoFixtures.h"
#include "base/MainThread.h"
#include "engine/ActionJournal.h"
#include "engine/ItemFlags.h"
#include "engine/PhotoProcessing.h"
#include "engine/ScanEngine.h"

namespace pelcrow {
namespace {

TEST(PhotoMode, FallsBackToChecksumsWithANoticeWhenNoLibraryIsThere) {
  test::TTempDir dir;
  test::TScriptedPrompt prompt;
  TScanEngine engine(cmPhotoLibrary, TPcwCompareOptions());
  engine.SetPhotoLibrary({test::PhotoScripts(), dir / "none/photo.db"});
  bool toldFrontEnd = false;
  engine.OnPhotoModeFallback = [&] { toldFrontEnd = true; };
  EXPECT_EQ(engine.PhotoScanner(), nullptr);
  EXPECT_EQ(engine.CompareMode(), cmCRC32);
  EXPECT_TRUE(toldFrontEnd);
  ASSERT_EQ(prompt.Messages.size(), 1u);
  EXPECT_NE(prompt.Messages[0].second.find("photo library is not found"), std::string::npos);
  EXPECT_THROW(engine.PhotoScanner(), EScanEngineError);  // only mode 6 has one
}

TEST(PhotoMode, RowsFollowTheScannerAndTheTrashedPictureIsJournalled) {
  test::TTempDir dir;
  test::TScopedEnv state("XDG_STATE_HOME", dir / "state");
  test::TShotwellLibrary lib(dir);
  lib.Event(1, "Holiday");
  lib.Photo(1, dir.Write("pics/a.jpg", "same"), 1, 1500000000);
  lib.Photo(2, dir.Write("pics/b.jpg", "same"), 1, 1600000000);
  lib.Photo(3, dir.Write("pics/c.jpg", "same"), 1, 1700000000);
  TScanEngine engine(cmPhotoLibrary, TPcwCompareOptions());
  engine.SetPhotoLibrary({test::PhotoScripts(), lib.Db});
  TQueueMainThread main;
  SetMainThread(&main);
  bool done = false;
  engine.OnFinishedScan = [&](const TScanEngineSummaryInfo&) { done = true; };
  test::TRecordingView view;
  engine.BuildFileList(&view, test::TestScanSettings());
  main.RunUntil([&] { return done; });
  SetMainThread(nullptr);
  ASSERT_EQ(engine.ItemCount(), 3);
  EXPECT_EQ(engine.SummaryInfo().DuplicateFiles, 2);
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(engine.ItemValid(i));
  EXPECT_EQ(engine.Item(0)->FullPath(), dir / "pics/a.jpg");

  // Two selected, one kept: each goes into the trash once, journalled with its library record.
  SetFileSelected(engine.Item(1), true);
  SetFileSelected(engine.Item(2), true);
  TActionHistory history;
  int trashed = 0;
  const TPassResult r = ProcessPhotoRows(engine, history, TPhotoActionOptions(), [&](PFileItem, const TItemOutcome& o) {
    EXPECT_TRUE(o.Ok) << o.Reason;
    trashed += o.Ok;
  });
  EXPECT_EQ(r.Failed, 0);
  EXPECT_EQ(trashed, 2);
  EXPECT_EQ(history.fActionNo, 1);
  EXPECT_EQ(lib.Trashed(2) + lib.Trashed(3), "1\n1\n");
  std::vector<TJournalAction> actions = TActionJournal::ReadAll();
  ASSERT_EQ(actions.size(), 1u);
  EXPECT_EQ(actions[0].ActionType, faTrashPhoto);
  ASSERT_EQ(actions[0].Items.size(), 2u);
  EXPECT_EQ(actions[0].Items[0].TrashDir, lib.Db);
  EXPECT_EQ(actions[0].Items[0].TrashName, "2");

  // The last copy is never trashed, whatever is checked.
  SetFileSelected(engine.Item(0), true);
  const TPassResult last = ProcessPhotoRows(engine, history, TPhotoActionOptions(), nullptr);
  EXPECT_EQ(last.Failed, 1);
  EXPECT_EQ(lib.Trashed(1), "0\n");

  std::vector<std::string> log;
  EXPECT_EQ(UndoJournalAction(actions[0], log), 2);
  EXPECT_TRUE(log.empty());
  EXPECT_EQ(lib.Trashed(2) + lib.Trashed(3), "0\n0\n");

  // Rows whose scanner item is gone leave the list.
  engine.PhotoScanner()->Items().Delete(1);
  EXPECT_FALSE(engine.ItemValid(1));
  engine.SyncPhotoRecords();
  EXPECT_EQ(engine.ItemCount(), 2);
}

}  // namespace
}  // namespace pelcrow
