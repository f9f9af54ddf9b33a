// One running copy per user, and the hand-over of folders from a later start to it.
//
// A later start writes its arguments into a queue folder first (one file per argument), then
// pokes the running copy through a local socket. The first copy takes an exclusive lock, listens
// on the socket and only then drains the queue, and drains it again on every poke: writing before
// poking and listening before draining means no hand-over is lost, whichever start wins the race.
// The lock is an flock on a file, which the kernel drops when its holder dies, so a crashed copy
// never blocks the next start.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace pelcrow::platform {

// $XDG_RUNTIME_DIR/pelcrow (per user, 0700), else <temporary folder>/pelcrow-<uid>. Created on
// the spot; empty when no private folder can be had.
std::string GetInstanceDirectory();

// The queue folder: one file per handed-over argument, named <ns-time>_<pid>_<n>, holding the
// argument's bytes. Files are written under a dot name and renamed into place, so a reader never
// sees half an argument.
class TShellQueue {
 public:
  explicit TShellQueue(std::string folder);
  const std::string& Folder() const { return fFolder; }
  // Writes the arguments in order; false when one of them could not be written.
  bool Add(const std::vector<std::string>& args, long pid);
  // Takes every queued argument out of the folder, in the order they were queued (by time, then
  // process, then argument number, compared as numbers).
  std::vector<std::string> Drain();

 private:
  std::string fFolder;
};

class TSingleInstance {
 public:
  // folder: where the lock, the socket and the queue live (GetInstanceDirectory()).
  explicit TSingleInstance(std::string folder);
  ~TSingleInstance();
  TSingleInstance(const TSingleInstance&) = delete;
  TSingleInstance& operator=(const TSingleInstance&) = delete;

  // Queues the arguments for whichever copy drains first (ShellQueueAdd).
  void ShellQueueAdd(const std::vector<std::string>& args);
  // True when this is the first copy: it then holds the lock and listens. Otherwise the running
  // copy has been poked (retried for up to retryMs while that copy is still starting) and this
  // one should end. Without a usable folder this copy counts as the first.
  bool CheckSingleInstance(int retryMs = 2000);
  // The listening socket (for the app's event loop); -1 when not listening.
  int ServerHandle() const { return fServer; }
  // Accepts and reads every pending poke; true when at least one came.
  bool AcceptWakeUps();
  // The window-activation token the last poke carried (Wayland lets a window take the focus only
  // with the token the launcher gave the later start); empty when it had none.
  const std::string& ActivationToken() const { return fActivationToken; }
  // Drains the queue (CheckShellQueue's source).
  std::vector<std::string> DrainQueue();

  std::string LockPath() const;
  std::string SocketPath() const;
  std::string QueuePath() const;

 private:
  bool TryLock();
  bool Listen();

  std::string fFolder;
  int fLock = -1;
  int fServer = -1;
  std::string fActivationToken;
};

// Sends one poke to the copy listening on socketPath, with this process's activation token
// ($XDG_ACTIVATION_TOKEN) when it has one; true when a copy was listening.
bool WakeRunningInstance(const std::string& socketPath);

// Arguments as the running copy needs them: absolute (it has another working folder), with "."
// and ".." parts and repeated "/" removed. Empty arguments are dropped.
std::vector<std::string> MakeArgumentsAbsolute(const std::vector<std::string>& args, const std::string& cwd);

}  // namespace pelcrow::platform
