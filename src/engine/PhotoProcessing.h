// Processing of the checked picture rows of the photo mode: each picture goes into its photo
// library's trash (its file stays where it is). Every picture is recorded in the action journal
// before the library changes (as faTrashPhoto), so the app's Undo and `pelcrow-cli undo` take it
// out of the trash again, after a restart too. The library is never changed while Shotwell runs
// on it: Shotwell would write its own state back over ours.
#pragma once

#include <functional>
#include <string>

#include "engine/Processing.h"

namespace pelcrow {

// The photo manager's process name, and what is said while it runs.
inline constexpr const char* kPhotoManagerProcess = "shotwell";
inline constexpr const char* kPhotoManagerRunningText =
    "Shotwell is running: close it first, its library is only changed while it is closed.";

// Whether Shotwell runs on this library (its data folder holds data/photo.db): a Shotwell of
// another library never writes this one. One whose folder cannot be told counts as running on it.
bool PhotoManagerRunsOn(const std::string& Library);

// The folder of the photo library's scripts, for the undo of a picture (which may run in another
// process than the scan): the scripts beside the program unless a front end set another.
std::string PhotoScriptFolder();
void SetPhotoScriptFolder(std::string Folder);

struct TPhotoActionOptions {
  bool DryRun = false;  // touch nothing: say what each row would become
  int JournalExpireDays = 30;
};

// One pass over the visible rows; OnItem after each checked, unprocessed row. The picture and the
// copy its group keeps must still be the files the scan found.
TPassResult ProcessPhotoRows(TScanEngine& Engine, TActionHistory& History, const TPhotoActionOptions& Options,
                             const std::function<void(PFileItem, const TItemOutcome&)>& OnItem);

}  // namespace pelcrow
