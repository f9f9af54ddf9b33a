// The one way to change an mbox file (a mail folder that is a single file). Mail programs agree
// on two locks for it: the dotlock "NAME.lock" beside it and flock(2) on the file. Both are held
// while the file is read and changed; a removal rewrites the whole file into a temporary file of
// the same folder and renames it over the old one, so a crash leaves the old or the new file,
// never half of one. Mozilla programs keep an index "NAME.msf" that must not outlive a change.
#pragma once

#include <string>
#include <string_view>

#include "platform/SafeFile.h"

namespace pelcrow::platform {

// The program holding a Mozilla profile: "pid N" from its `lock` link or "a running program"
// when only `.parentlock` is locked; empty when the profile is free.
std::string MozillaProfileHolder(const std::string& ProfileDir);

class TLockedMbox {
 public:
  TLockedMbox() = default;
  TLockedMbox(const TLockedMbox&) = delete;
  TLockedMbox& operator=(const TLockedMbox&) = delete;
  ~TLockedMbox() { Unlock(); }

  // Takes both locks (waiting a few seconds for another holder; a dotlock older than a few
  // minutes is stale and goes) and reads the file. Create: a missing file is made empty.
  // sfGone: no such file; sfChanged: another program holds a lock; sfSystem: Error says why.
  TSafeResult Open(const std::string& Path, bool Create);
  void Unlock();

  const std::string& Path() const { return fPath; }
  const std::string& Bytes() const { return fBytes; }
  const TEntryStat& Stat() const { return fStat; }
  const TCheckedFolder& Folder() const { return fFolder; }

  // Appends at the end and syncs; a failed write is cut off again.
  TSafeResult Append(std::string_view Text);
  // Rewrites the file without the bytes [From, To): a temporary file with the old one's mode and
  // owner, synced, renamed over it. The locks stay held on the new file.
  TSafeResult RemoveRange(std::size_t From, std::size_t To);
  // Removes the Mozilla index of the file so that its program rebuilds it.
  void DropIndex() const;

 private:
  TSafeResult Lock(bool Create);
  TSafeResult ReadAll();

  std::string fPath, fName, fDotLock;
  TCheckedFolder fFolder;
  TFd fFd;
  bool fDotLocked = false;
  std::string fBytes;
  TEntryStat fStat;
};

}  // namespace pelcrow::platform
