#include "engine/ListFileLoader.h"

#include <exception>
#include <utility>

#include "base/MainThread.h"

namespace pelcrow {

TListFileLoader::TListFileLoader() : fSelf(std::make_shared<TListFileLoader*>(this)) {}

TListFileLoader::~TListFileLoader() {
  // Hand-overs still queued find the loader gone; the workers are stopped and joined by their
  // own destructors.
  *fSelf = nullptr;
  fSelf.reset();
  fWorker.request_stop();
}

bool TListFileLoader::Start(const std::string& FileName, TListReadOptions Options) {
  if (fRunning) return false;
  if (!Options.Format) Options.Format = GetFormatSettings();
  fRunning = true;
  fPercent = -1;
  const std::uint64_t load = ++fLoad;
  const std::weak_ptr<TListFileLoader*> self = fSelf;
  // The thread of a cancelled load ends at its next check; joining it here is quick.
  fWorker = std::jthread([FileName, options = std::move(Options), load, self](std::stop_token stop) {
    IMainThread& main = GetMainThread();
    const auto result = std::make_shared<TResult>();
    result->FileName = FileName;
    const TListReadProgress progress = [&main, load, self](int percent) {
      main.Post([self, load, percent] {
        const auto s = self.lock();
        TListFileLoader* loader = s ? *s : nullptr;
        if (!loader || loader->fLoad != load || !loader->fRunning || percent == loader->fPercent) return;
        loader->fPercent = percent;
        if (loader->OnProgress) loader->OnProgress(percent);
      });
    };
    try {
      if (!ReadListFile(FileName, options, result->List, stop, progress)) return;  // cancelled
      result->Loaded = true;
    } catch (const EListFileError& e) {
      result->Fault = e.Fault();
      result->Line = e.Line();
      result->Field = e.Field();
      result->Detail = e.Detail();
      result->LogText = e.what();
      result->List = TLoadedList();
    } catch (const std::exception& e) {
      // Out of memory, mostly: the list cannot be read here.
      result->Fault = TListFileFault::lfUnreadable;
      result->Detail = e.what();
      result->LogText = "cannot read " + FileName + ": " + e.what();
      result->List = TLoadedList();
    }
    if (stop.stop_requested()) return;
    main.Post([self, load, result] {
      const auto s = self.lock();
      TListFileLoader* loader = s ? *s : nullptr;
      if (loader) loader->Finish(load, result);
      // Otherwise the loader is gone and the items are freed with the result.
    });
  });
  return true;
}

void TListFileLoader::Finish(std::uint64_t Load, const std::shared_ptr<TResult>& Result) {
  if (Load != fLoad || !fRunning) {
    // Cancelled after the worker had ended: its items are not wanted.
    Discard(std::move(Result->List.Items));
    Result->List.Items.clear();
    return;
  }
  fRunning = false;
  if (OnDone) OnDone(*Result);
  if (!Result->List.Items.empty()) {
    // The receiver left them: they go the way of replaced results.
    Discard(std::move(Result->List.Items));
    Result->List.Items.clear();
  }
}

void TListFileLoader::Cancel() {
  if (!fRunning) return;
  fRunning = false;
  ++fLoad;
  fWorker.request_stop();
}

void TListFileLoader::Discard(std::vector<PFileItem> Items) {
  if (Items.empty()) return;
  // One disposer at a time; the one before has had the whole load to finish.
  fDisposer = std::jthread([items = std::move(Items)]() {
    for (PFileItem it : items) delete it;
  });
}

}  // namespace pelcrow
