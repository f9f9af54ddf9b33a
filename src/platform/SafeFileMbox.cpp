#include "platform/SafeFileMbox.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>

#include "base/PathText.h"

namespace pelcrow::platform {

namespace {

// How long a lock another program holds is waited for, and when a dotlock counts as left
// behind by a program that died (mutt and liblockfile use the same five minutes).
constexpr auto kLockWait = std::chrono::seconds(5);
constexpr std::int64_t kStaleDotLockNs = 300'000'000'000LL;

bool PidAlive(long pid) { return pid > 0 && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM); }

std::int64_t NowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::system_clock::now().time_since_epoch()).count();
}

}  // namespace

std::string MozillaProfileHolder(const std::string& ProfileDir) {
  // The `lock` link reads "ADDRESS:+PID".
  char buf[256];
  const ssize_t n = ::readlink(JoinPath(ProfileDir, "lock").c_str(), buf, sizeof buf - 1);
  if (n > 0) {
    const std::string text(buf, static_cast<std::size_t>(n));
    const std::size_t plus = text.rfind('+');
    if (plus != std::string::npos) {
      const long pid = std::strtol(text.c_str() + plus + 1, nullptr, 10);
      if (PidAlive(pid)) return "pid " + std::to_string(pid);
    }
  }
  // `.parentlock` carries a POSIX lock while the program runs.
  TFd fd(Sys().OpenAt(AT_FDCWD, JoinPath(ProfileDir, ".parentlock").c_str(), O_RDONLY | O_CLOEXEC, 0));
  if (fd.Valid()) {
    struct flock fl {};
    fl.l_type = F_WRLCK;
    fl.l_whence = SEEK_SET;
    if (::fcntl(fd.Get(), F_GETLK, &fl) == 0 && fl.l_type != F_UNLCK)
      return fl.l_pid > 0 ? "pid " + std::to_string(fl.l_pid) : std::string("a running program");
  }
  return std::string();
}

TSafeResult TLockedMbox::Open(const std::string& Path, bool Create) {
  Unlock();
  fPath = Path;
  fName = BaseOf(Path);
  fDotLock = fName + ".lock";
  if (const int err = fFolder.Open(ParentOf(Path))) return TSafeResult::System(err, ParentOf(Path));
  TSafeResult r = Lock(Create);
  if (r.Ok()) r = ReadAll();
  if (!r.Ok()) Unlock();
  return r;
}

TSafeResult TLockedMbox::Lock(bool Create) {
  const auto until = std::chrono::steady_clock::now() + kLockWait;
  for (;;) {
    const int fd = Sys().OpenAt(fFolder.Fd(), fDotLock.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd >= 0) {
      TFd lock(fd);
      const std::string pid = std::to_string(::getpid()) + "\n";
      WriteAllFd(fd, pid.data(), pid.size());
      fDotLocked = true;
      break;
    }
    if (errno != EEXIST) return TSafeResult::System(errno, fDotLock);
    TEntryStat st;
    if (StatEntry(fFolder.Fd(), fDotLock, st) == 0 && NowNs() - st.ModifiedNs > kStaleDotLockNs) {
      Sys().UnlinkAt(fFolder.Fd(), fDotLock.c_str(), 0);
      continue;
    }
    if (std::chrono::steady_clock::now() >= until) return TSafeResult::System(EBUSY, fDotLock);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  int flags = O_RDWR | O_CLOEXEC | O_NOFOLLOW;
  if (Create) flags |= O_CREAT;
  fFd.Reset(Sys().OpenAt(fFolder.Fd(), fName.c_str(), flags, 0600));
  if (!fFd.Valid()) {
    const int err = errno;
    TSafeResult r = TSafeResult::System(err, fName);
    if (err == ENOENT) r.Failure = TSafeFailure::sfGone;
    return r;
  }
  for (;;) {
    if (::flock(fFd.Get(), LOCK_EX | LOCK_NB) == 0) break;
    if (errno != EWOULDBLOCK && errno != EINTR) return TSafeResult::System(errno, fName);
    if (std::chrono::steady_clock::now() >= until) return TSafeResult::System(EBUSY, fName);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return {};
}

TSafeResult TLockedMbox::ReadAll() {
  if (const int err = StatEntry(fFolder.Fd(), fName, fStat)) return TSafeResult::System(err, fName);
  if (!fStat.IsFile()) return TSafeResult::System(EINVAL, fName);
  fBytes.assign(static_cast<std::size_t>(fStat.Size), '\0');
  std::size_t got = 0;
  if (::lseek(fFd.Get(), 0, SEEK_SET) != 0) return TSafeResult::System(errno, fName);
  if (const int err = ReadFullFd(fFd.Get(), fBytes.data(), fBytes.size(), got)) return TSafeResult::System(err, fName);
  fBytes.resize(got);
  return {};
}

void TLockedMbox::Unlock() {
  fFd.Reset();
  if (fDotLocked) Sys().UnlinkAt(fFolder.Fd(), fDotLock.c_str(), 0);
  fDotLocked = false;
}

TSafeResult TLockedMbox::Append(std::string_view Text) {
  const off_t end = static_cast<off_t>(fBytes.size());
  if (::lseek(fFd.Get(), end, SEEK_SET) != end) return TSafeResult::System(errno, fName);
  int err = WriteAllFd(fFd.Get(), Text.data(), Text.size());
  if (!err && Sys().FSync(fFd.Get()) != 0) err = errno;
  if (err) {
    // What did reach the file is no message: the file is as it was.
    if (::ftruncate(fFd.Get(), end) == 0) Sys().FSync(fFd.Get());
    return TSafeResult::System(err, fName);
  }
  fBytes.append(Text);
  StatEntry(fFolder.Fd(), fName, fStat);
  return {};
}

TSafeResult TLockedMbox::RemoveRange(std::size_t From, std::size_t To) {
  if (From > To || To > fBytes.size()) return TSafeResult::System(EINVAL, fName);
  const std::string tmp = "." + fName.substr(0, 200) + ".pelcrow-tmp";
  Sys().UnlinkAt(fFolder.Fd(), tmp.c_str(), 0);  // what a crash left: never anyone else's name
  TFd out(Sys().OpenAt(fFolder.Fd(), tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600));
  if (!out.Valid()) return TSafeResult::System(errno, tmp);
  auto fail = [&](int err, const std::string& what) {
    out.Reset();
    Sys().UnlinkAt(fFolder.Fd(), tmp.c_str(), 0);
    return TSafeResult::System(err, what);
  };
  if (Sys().FChown(out.Get(), fStat.Uid, fStat.Gid) != 0 && errno != EPERM) return fail(errno, tmp);
  if (Sys().FChmod(out.Get(), fStat.Mode & 07777) != 0) return fail(errno, tmp);
  if (int err = WriteAllFd(out.Get(), fBytes.data(), From)) return fail(err, tmp);
  if (int err = WriteAllFd(out.Get(), fBytes.data() + To, fBytes.size() - To)) return fail(err, tmp);
  if (Sys().FSync(out.Get()) != 0) return fail(errno, tmp);
  if (Sys().RenameAt(fFolder.Fd(), tmp.c_str(), fFolder.Fd(), fName.c_str(), 0) != 0) return fail(errno, fName);
  // The rename is durable only with the folder synced.
  TFd dir(Sys().OpenAt(fFolder.Fd(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0));
  if (dir.Valid()) Sys().FSync(dir.Get());
  // The flock moves to the new file: the old one is nobody's any more.
  if (::flock(out.Get(), LOCK_EX | LOCK_NB) == 0) fFd = std::move(out);
  fBytes.erase(From, To - From);
  StatEntry(fFolder.Fd(), fName, fStat);
  return {};
}

void TLockedMbox::DropIndex() const {
  const std::string index = fName + ".msf";
  Sys().UnlinkAt(fFolder.Fd(), index.c_str(), 0);
}

}  // namespace pelcrow::platform
