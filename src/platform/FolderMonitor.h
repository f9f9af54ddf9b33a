// Watches folders (and their subfolders) for renames and reports each one, old and new full
// path, on the user-interface thread. Built on inotify: one watch per folder, folders that appear
// later are watched as they come, the two halves of a rename are paired by their cookie, and a
// lost event queue is answered by walking the folders again. A move from one watched folder to
// another is a rename too (both paths are known); a move out of or into the watched folders is not.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/MainThread.h"

namespace pelcrow::platform {

// Which renames are reported (the values of the other platform's change classes; only the two
// name classes mean something here: inotify has no size or time class worth a watch).
enum TFileChangeFilter : std::uint32_t {
  fnFileName = 0x1,
  fnDirName = 0x2,
  fnAttributes = 0x4,
  fnSize = 0x8,
  fnLastWrite = 0x10,
  fnLastAccess = 0x20,
  fnCreation = 0x40,
  fnSecurity = 0x100,
};
inline constexpr std::uint32_t kDefaultChangeFilter = fnFileName | fnDirName | fnSize | fnLastWrite;

struct TFileRename {
  std::string OldPath, NewPath;
  // "old->new", the form the log and the tests read.
  std::string Text() const { return OldPath + "->" + NewPath; }
};

class TFolderMonitor {
 public:
  explicit TFolderMonitor(IMainThread& mainThread = GetMainThread());
  ~TFolderMonitor();
  TFolderMonitor(const TFolderMonitor&) = delete;
  TFolderMonitor& operator=(const TFolderMonitor&) = delete;

  // Each setter restarts a running monitor with the new value; the result is that of the restart.
  int SetFoldersList(const std::vector<std::string>& folders);
  int SetFilter(std::uint32_t filter);
  int SetMonitorSubtree(bool subtree);
  const std::vector<std::string>& FoldersList() const { return fFolders; }
  std::uint32_t Filter() const { return fFilter; }
  bool MonitorSubtree() const { return fSubtree; }

  // Starts (true) or stops (false) watching. Starting with no folders starts nothing and is no
  // error; starting fails with the errno of the last failure when not one folder can be watched.
  int SetActive(bool active);
  bool Active() const;

  // Called on the user-interface thread, once per rename, in the order they happened.
  std::function<void(const TFileRename&)> OnFileChange;
  // Called on the user-interface thread with a line for the log: the watch limit was reached, or
  // events were lost and the folders were walked again.
  std::function<void(const std::string&)> OnNotice;

  // For tests: the number of folders watched now (read from any thread).
  int WatchCount() const;

 private:
  class TWorker;
  int Restart();

  IMainThread& fMainThread;
  std::vector<std::string> fFolders;
  std::uint32_t fFilter = kDefaultChangeFilter;
  bool fSubtree = true;
  std::unique_ptr<TWorker> fWorker;
  // Reports already posted by a worker that has been stopped since are dropped by their token.
  std::shared_ptr<int> fToken;
};

namespace detail {
// For tests: the inotify_add_watch the monitor calls (the real one unless replaced), so that the
// system's watch limit can be met without lowering it for the whole machine.
extern int (*InotifyAddWatch)(int fd, const char* path, std::uint32_t mask);
}  // namespace detail

}  // namespace pelcrow::platform
