#include "engine/PhotoProcessing.h"

#include <mutex>

#include "engine/ActionJournal.h"
#include "engine/ItemFlags.h"
#include "engine/ScanEngine.h"
#include "localization/TranslateText.h"
#include "platform/FileSystem.h"
#include "platform/ProcessInfo.h"
#include "platform/RunningPrograms.h"
#include "platform/SpecialFolders.h"
#include "platform/ScriptHost.h"
#include "plugins/PictureScanner.h"

namespace pelcrow {

namespace {

std::mutex gScriptFolderLock;
std::string gScriptFolder;

// The picture's file as the scan saw it.
platform::TScannedFile ScannedPicture(const TItemPictureBase& P) {
  return {ParentOf(P.FilePath()), BaseOf(P.FilePath()), P.FolderId(), P.FileId()};
}

// Shotwell's data folder as its arguments give it (-d DIR, -dDIR, --datadir DIR, --datadir=DIR);
// empty when they give none.
std::string DataFolderArgument(const std::vector<std::string>& args) {
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string& a = args[i];
    if ((a == "-d" || a == "--datadir") && i + 1 < args.size()) return args[i + 1];
    if (a.rfind("--datadir=", 0) == 0) return a.substr(10);
    if (a.size() > 2 && a.rfind("-d", 0) == 0 && a[2] != '-') return a.substr(2);
  }
  return {};
}

std::string Resolved(const std::string& path) {
  const std::string r = platform::ResolvedPath(path);
  return r.empty() ? path : r;
}

}  // namespace

bool PhotoManagerRunsOn(const std::string& Library) {
  const std::string ours = Resolved(ParentOf(ParentOf(Library)));
  for (const std::vector<std::string>& args : platform::RunningProgramArguments(kPhotoManagerProcess)) {
    std::string folder = DataFolderArgument(args);
    if (folder.empty()) folder = TPcwSpecialFolders::GetUserDataDirectory() + "/shotwell";
    if (folder[0] != '/' || Resolved(folder) == ours) return true;
  }
  return false;
}

std::string PhotoScriptFolder() {
  std::lock_guard<std::mutex> g(gScriptFolderLock);
  return gScriptFolder.empty() ? platform::DefaultScriptFolder() : gScriptFolder;
}

void SetPhotoScriptFolder(std::string Folder) {
  std::lock_guard<std::mutex> g(gScriptFolderLock);
  gScriptFolder = std::move(Folder);
}

TPassResult ProcessPhotoRows(TScanEngine& Engine, TActionHistory& History, const TPhotoActionOptions& Options,
                             const std::function<void(PFileItem, const TItemOutcome&)>& OnItem) {
  TPassResult result;
  auto* scanner = dynamic_cast<TScannerPictureLibrary*>(Engine.PhotoScannerIfMade());
  if (!scanner) return result;
  const bool running = !Options.DryRun && PhotoManagerRunsOn(scanner->Library());
  const TDateTime started = TDateTime::Now();
  TActionJournal journal;
  bool opened = false, counted = false;
  for (int i = 0; i < Engine.ItemCount(); ++i) {
    const PFileItem it = Engine.Item(i);
    if (!it->fSelected || it->fProcessed || !it->PhotoScannerItem) continue;
    auto& picture = static_cast<TItemPictureBase&>(*it->PhotoScannerItem);
    TItemOutcome o;
    o.Target = TranslateText("the photo library's trash");
    ++result.Total;
    const std::vector<PFileItem> kept = Engine.KeptCandidates(it, false);
    TJournalItem rec;
    if (kept.empty() || !kept.front()->PhotoScannerItem) {
      o.Reason = TranslateText("No copy of its group would stay");
    } else if (running) {
      o.Reason = TranslateText(kPhotoManagerRunningText);
    } else {
      const auto& keep = static_cast<const TItemPictureBase&>(*kept.front()->PhotoScannerItem);
      const platform::TScannedFile item = ScannedPicture(picture), keptFile = ScannedPicture(keep);
      platform::TSafeFileAction act;
      // The library's record is what changes, but only while the picture and the copy that stays
      // are still the files the scan compared.
      const platform::TSafeResult r = act.Prepare(item, &keptFile, true);
      if (!r.Ok()) {
        o.Reason = SafeFailureText(r);
      } else if (Options.DryRun) {
        o.Ok = true;
      } else {
        rec.ActionType = faTrashPhoto;
        rec.Folder = item.Folder;
        rec.Name = item.Name;
        rec.FolderId = act.Folder().Identity();
        rec.Source = act.ItemStat();
        rec.Target = keep.FilePath();
        rec.TrashDir = scanner->Library();
        rec.TrashName = picture.ItemId();
        int err = opened ? 0 : journal.Begin(faTrashPhoto, started, Options.JournalExpireDays);
        opened = opened || err == 0;
        std::vector<TJournalItem*> plan{&rec};
        if (err == 0) err = journal.Plan(plan);
        if (err != 0) {
          o.ErrorCode = err;
          o.Reason = TranslateText("Cannot write the action journal") + ": " + platform::ErrorText(err);
        } else {
          try {
            scanner->DeleteItem(picture);
            o.Ok = true;
            rec.State = TJournalItem::jsDone;
            journal.Done(rec);
          } catch (const std::exception& e) {
            o.Reason = e.what();
            rec.State = TJournalItem::jsFailed;
            journal.Failed(rec);
          }
          journal.Flush(true);
        }
      }
    }
    if (o.Ok && !Options.DryRun) {
      MarkStoreRowDone(History, counted, started, it, faTrashPhoto, o.Target, rec);
    }
    if (!o.Ok) ++result.Failed;
    if (OnItem) OnItem(it, o);
  }
  return result;
}

}  // namespace pelcrow
