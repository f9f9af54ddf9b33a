// Reading a duplicate list file away from the engine: into a list of items of its own, on a
// worker, so that a front end stays responsive while a million rows are read. The engine is not
// touched until the front end hands it the finished list (TScanEngine::TakeList) in one step.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <stop_token>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <vector>

#include "base/FormatSettings.h"
#include "engine/ListFile.h"
#include "engine/ScanEngine.h"

namespace pelcrow {

// Items read from a list file, owned here until an engine takes them.
struct TLoadedList {
  TLoadedList() = default;
  TLoadedList(TLoadedList&& Other) noexcept;
  TLoadedList& operator=(TLoadedList&& Other) noexcept;
  TLoadedList(const TLoadedList&) = delete;
  TLoadedList& operator=(const TLoadedList&) = delete;
  ~TLoadedList();

  std::vector<PFileItem> Items;
  // Folder text -> the folder's identity as the list recorded it.
  std::unordered_map<std::string, platform::TFolderIdentity> FolderIds;
  // The figures of the list in the file's order (TotalFiles: the item count).
  TScanEngineSummaryInfo Summary;
  // Items are in the order the engine shows a loaded list in, their bands numbered.
  bool SortedByGroup = false;
};

// How a list is read: what the engine's mode and the locale say at the start of the load.
struct TListReadOptions {
  std::uint8_t CompareMode = 0;
  std::shared_ptr<const TFormatSettings> Format;
};

// Called now and then while a list is read, with the share done so far (0 to 100).
using TListReadProgress = std::function<void(int Percent)>;

// Reads the bytes of a list file into List. Throws EListFileError; false when Stop was asked for
// (List is then incomplete). Runs on any thread: it touches no engine.
bool ReadListBytes(std::string_view Bytes, const TListReadOptions& Options, TLoadedList& List,
                   const std::stop_token& Stop = {}, const TListReadProgress& Progress = {});
// The same from a file.
bool ReadListFile(const std::string& FileName, const TListReadOptions& Options, TLoadedList& List,
                  const std::stop_token& Stop = {}, const TListReadProgress& Progress = {});

// One list load at a time on a worker. OnProgress and OnDone run on the user-interface thread
// (through the main-thread hand-over); a cancelled load calls neither again.
class TListFileLoader {
 public:
  struct TResult {
    std::string FileName;
    bool Loaded = false;
    // When not loaded: why (the fault, line, field and detail of the EListFileError).
    TListFileFault Fault = TListFileFault::lfUnreadable;
    std::size_t Line = 0;
    int Field = 0;
    std::string Detail;
    std::string LogText;
    TLoadedList List;
  };

  TListFileLoader();
  // Cancels a running load and waits for the worker.
  ~TListFileLoader();
  TListFileLoader(const TListFileLoader&) = delete;
  TListFileLoader& operator=(const TListFileLoader&) = delete;

  std::function<void(int Percent)> OnProgress;
  std::function<void(TResult& Result)> OnDone;

  // Starts reading the file; false while another load runs.
  bool Start(const std::string& FileName, TListReadOptions Options);
  // Ends the running load without a result; returns at once.
  void Cancel();
  // From Start until OnDone has run or the load was cancelled.
  bool Running() const { return fRunning; }
  // Frees items (the results a load replaced) on a worker, so that a million of them do not
  // hold up the user-interface thread.
  void Discard(std::vector<PFileItem> Items);

 private:
  void Finish(std::uint64_t Load, const std::shared_ptr<TResult>& Result);

  // Lets the hand-overs the worker posted notice that this loader is gone.
  std::shared_ptr<TListFileLoader*> fSelf;
  std::uint64_t fLoad = 0;  // the number of the load whose hand-overs count
  bool fRunning = false;
  int fPercent = -1;
  std::jthread fWorker;
  std::jthread fDisposer;
};

}  // namespace pelcrow
