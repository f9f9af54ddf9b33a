#include "platform/FolderMonitor.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <fstream>
#include <thread>
#include <unordered_map>

#include "platform/FileSystem.h"

namespace pelcrow::platform {

namespace detail {
int (*InotifyAddWatch)(int fd, const char* path, std::uint32_t mask) = ::inotify_add_watch;
}  // namespace detail

namespace {

using TClock = std::chrono::steady_clock;

constexpr std::uint32_t kWatchMask = IN_MOVED_FROM | IN_MOVED_TO | IN_CREATE | IN_DELETE_SELF | IN_MOVE_SELF |
                                     IN_ONLYDIR | IN_EXCL_UNLINK;
// The two halves of a rename may come in separate reads; a first half left alone this long was a
// move out of the watched folders.
constexpr auto kPairWait = std::chrono::milliseconds(50);

bool IsSameOrBelow(const std::string& path, const std::string& folder) {
  return path.size() >= folder.size() && path.compare(0, folder.size(), folder) == 0 &&
         (path.size() == folder.size() || path[folder.size()] == '/');
}

std::string WatchLimitText() {
  std::ifstream f("/proc/sys/fs/inotify/max_user_watches");
  std::string n;
  if (f >> n) return " (fs.inotify.max_user_watches = " + n + ")";
  return {};
}

}  // namespace

class TFolderMonitor::TWorker {
 public:
  using TPost = std::function<void(std::vector<TFileRename>, std::vector<std::string>)>;

  TWorker(std::vector<std::string> folders, std::uint32_t filter, bool subtree, TPost post)
      : fFolders(std::move(folders)), fFilter(filter), fSubtree(subtree), fPost(std::move(post)) {}

  ~TWorker() {
    if (fThread.joinable()) {
      const std::uint64_t one = 1;
      // The worker sleeps in poll on this descriptor too, so it ends at once.
      [[maybe_unused]] ssize_t n = ::write(fStopFd, &one, sizeof one);
      fThread.join();
    }
    if (fNotifyFd >= 0) ::close(fNotifyFd);
    if (fStopFd >= 0) ::close(fStopFd);
  }

  int Start() {
    fNotifyFd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fNotifyFd < 0) return errno;
    fStopFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (fStopFd < 0) return errno;
    int lastError = 0;
    std::vector<std::string> roots;
    for (std::string folder : fFolders) {
      while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
      // The listed folder itself may be a link; below it links are not followed.
      const int wd = detail::InotifyAddWatch(fNotifyFd, folder.c_str(), kWatchMask);
      if (wd < 0) {
        lastError = errno;
        if (lastError == ENOSPC) NoteWatchLimit(folder);
        continue;
      }
      fPaths[wd] = folder;
      roots.push_back(folder);
    }
    if (roots.empty()) return lastError != 0 ? lastError : ENOENT;
    fRoots = std::move(roots);
    fWatchCount = static_cast<int>(fPaths.size());
    fThread = std::thread([this] { Run(); });
    return 0;
  }

  std::atomic<int> fWatchCount{0};

 private:
  struct TPending {
    std::uint32_t Cookie;
    std::string Path;
    bool IsDir;
    TClock::time_point Since;
    std::size_t FirstReport;  // the reports queued after it start here
  };

  void Run() {
    if (fSubtree) {
      for (const std::string& root : fRoots) WatchBelow(root);
      Flush();
    }
    alignas(inotify_event) char buf[64 * 1024];
    for (;;) {
      pollfd fds[2] = {{fStopFd, POLLIN, 0}, {fNotifyFd, POLLIN, 0}};
      int timeout = -1;
      if (!fPending.empty()) {
        const auto left = fPending.front().Since + kPairWait - TClock::now();
        timeout = static_cast<int>(std::max<std::int64_t>(
            1, std::chrono::duration_cast<std::chrono::milliseconds>(left).count() + 1));
      }
      const int r = ::poll(fds, 2, timeout);
      if (r < 0 && errno != EINTR) return;
      if (fds[0].revents != 0) return;
      if (fds[1].revents != 0) {
        bool overflow = false;
        for (;;) {
          const ssize_t n = ::read(fNotifyFd, buf, sizeof buf);
          if (n <= 0) break;
          for (ssize_t at = 0; at < n;) {
            const auto* ev = reinterpret_cast<const inotify_event*>(buf + at);
            at += static_cast<ssize_t>(sizeof(inotify_event) + ev->len);
            if ((ev->mask & IN_Q_OVERFLOW) != 0) {
              overflow = true;
              continue;
            }
            HandleEvent(*ev);
          }
        }
        if (overflow) Rescan();
      }
      ExpirePending(TClock::now());
      Flush();
    }
  }

  void HandleEvent(const inotify_event& ev) {
    if ((ev.mask & IN_IGNORED) != 0) {
      fPaths.erase(ev.wd);
      fWatchCount = static_cast<int>(fPaths.size());
      return;
    }
    const auto it = fPaths.find(ev.wd);
    if (it == fPaths.end() || ev.len == 0) return;
    const std::string full = it->second + "/" + std::string(ev.name, ::strnlen(ev.name, ev.len));
    const bool isDir = (ev.mask & IN_ISDIR) != 0;
    if ((ev.mask & IN_CREATE) != 0 && isDir && fSubtree) {
      WatchTree(full);
    } else if ((ev.mask & IN_MOVED_FROM) != 0) {
      fPending.push_back({ev.cookie, full, isDir, TClock::now(), fReports.size()});
    } else if ((ev.mask & IN_MOVED_TO) != 0) {
      const auto from = std::find_if(fPending.begin(), fPending.end(),
                                     [&](const TPending& p) { return p.Cookie == ev.cookie; });
      if (from == fPending.end()) {
        if (isDir && fSubtree) WatchTree(full);  // moved in from outside
        return;
      }
      const std::string old = from->Path;
      fPending.erase(from);
      if (isDir) RenameFolder(old, full);
      if ((fFilter & (isDir ? fnDirName : fnFileName)) != 0) fReports.push_back({old, full});
    }
  }

  // The folder's watches stay valid through a rename; only the paths they stand for change.
  void RenameFolder(const std::string& old, const std::string& now) {
    for (auto& [wd, path] : fPaths) {
      if (IsSameOrBelow(path, old)) path = now + path.substr(old.size());
    }
  }

  void ExpirePending(TClock::time_point now) {
    while (!fPending.empty() && now - fPending.front().Since >= kPairWait) {
      const TPending p = fPending.front();
      fPending.erase(fPending.begin());
      if (!p.IsDir) continue;
      // Moved out of the watched folders: what was renamed in it since happened outside, and its
      // watches would report under paths it no longer has.
      std::erase_if(fReports, [&, i = std::size_t{0}](const TFileRename& r) mutable {
        return i++ >= p.FirstReport && IsSameOrBelow(r.OldPath, p.Path);
      });
      for (auto it = fPaths.begin(); it != fPaths.end();) {
        if (IsSameOrBelow(it->second, p.Path)) {
          ::inotify_rm_watch(fNotifyFd, it->first);
          it = fPaths.erase(it);
        } else {
          ++it;
        }
      }
      fWatchCount = static_cast<int>(fPaths.size());
    }
  }

  // Events were dropped: what was renamed or created meanwhile is found by walking again. A
  // watch's number follows its folder, so walking first gives moved folders their new paths and
  // what is left pointing nowhere is dropped after.
  void Rescan() {
    fPending.clear();
    for (const std::string& root : fRoots) {
      const int wd = detail::InotifyAddWatch(fNotifyFd, root.c_str(), kWatchMask);
      if (wd >= 0) fPaths[wd] = root;
      if (fSubtree) WatchBelow(root);
    }
    for (auto it = fPaths.begin(); it != fPaths.end();) {
      TFileInfo info;
      if (Stat(it->second, info) != 0 || info.Type != TEntryType::etDirectory) {
        ::inotify_rm_watch(fNotifyFd, it->first);
        it = fPaths.erase(it);
      } else {
        ++it;
      }
    }
    fWatchCount = static_cast<int>(fPaths.size());
    fNotices.push_back("Folder monitor: change events were lost; the watched folders were walked again, and "
                       "renames made meanwhile are not reported");
  }

  void WatchTree(const std::string& folder) {
    const int wd = detail::InotifyAddWatch(fNotifyFd, folder.c_str(), kWatchMask | IN_DONT_FOLLOW);
    if (wd < 0) {
      if (errno == ENOSPC) NoteWatchLimit(folder);
      return;
    }
    fPaths[wd] = folder;
    fWatchCount = static_cast<int>(fPaths.size());
    // Subfolders made before the watch existed send no event of their own.
    WatchBelow(folder);
  }

  void WatchBelow(const std::string& top) {
    std::vector<std::string> stack{top};
    while (!stack.empty() && !fLimitReached) {
      const std::string dir = std::move(stack.back());
      stack.pop_back();
      std::vector<std::string> subs;
      ListDirectory(dir, [&](std::string_view name, TEntryType type) {
        std::string path = dir + "/" + std::string(name);
        if (type == TEntryType::etUnknown) {
          TFileInfo info;
          if (LStat(path, info) == 0) type = info.Type;
        }
        if (type == TEntryType::etDirectory) subs.push_back(std::move(path));
      });
      for (std::string& sub : subs) {
        const int wd = detail::InotifyAddWatch(fNotifyFd, sub.c_str(), kWatchMask | IN_DONT_FOLLOW);
        if (wd < 0) {
          if (errno == ENOSPC) {
            NoteWatchLimit(sub);
            break;
          }
          continue;
        }
        fPaths[wd] = sub;
        stack.push_back(std::move(sub));
      }
    }
    fWatchCount = static_cast<int>(fPaths.size());
  }

  void NoteWatchLimit(const std::string& folder) {
    if (fLimitReached) return;
    fLimitReached = true;
    fNotices.push_back("Folder monitor: the system's limit of inotify watches is reached" + WatchLimitText() +
                       "; renames in " + folder + " and in further folders are not seen");
  }

  void Flush() {
    // While a folder's move is unpaired, the renames after it may turn out to be outside.
    const bool folderPending =
        std::any_of(fPending.begin(), fPending.end(), [](const TPending& p) { return p.IsDir; });
    if (folderPending) {
      if (!fNotices.empty()) {
        fPost({}, std::move(fNotices));
        fNotices.clear();
      }
      return;
    }
    if (fReports.empty() && fNotices.empty()) return;
    fPost(std::move(fReports), std::move(fNotices));
    fReports.clear();
    fNotices.clear();
  }

  const std::vector<std::string> fFolders;
  const std::uint32_t fFilter;
  const bool fSubtree;
  const TPost fPost;
  int fNotifyFd = -1;
  int fStopFd = -1;
  std::vector<std::string> fRoots;
  std::unordered_map<int, std::string> fPaths;
  std::vector<TPending> fPending;
  std::vector<TFileRename> fReports;
  std::vector<std::string> fNotices;
  bool fLimitReached = false;
  std::thread fThread;
};

TFolderMonitor::TFolderMonitor(IMainThread& mainThread) : fMainThread(mainThread) {}

TFolderMonitor::~TFolderMonitor() { SetActive(false); }

bool TFolderMonitor::Active() const { return fWorker != nullptr; }

int TFolderMonitor::WatchCount() const { return fWorker ? fWorker->fWatchCount.load() : 0; }

int TFolderMonitor::SetActive(bool active) {
  if (!active) {
    // Reports already on their way to the user-interface thread are dropped with the token.
    fToken.reset();
    fWorker.reset();
    return 0;
  }
  if (fWorker) return 0;
  if (fFolders.empty()) return 0;
  fToken = std::make_shared<int>(0);
  std::weak_ptr<int> token = fToken;
  IMainThread* mainThread = &fMainThread;
  auto post = [this, token, mainThread](std::vector<TFileRename> reports, std::vector<std::string> notices) {
    mainThread->Post([this, token, reports = std::move(reports), notices = std::move(notices)] {
      // The token lives as long as this monitor runs with this worker, on this thread.
      for (const std::string& n : notices) {
        if (token.expired()) return;
        if (OnNotice) OnNotice(n);
      }
      for (const TFileRename& r : reports) {
        if (token.expired()) return;
        if (OnFileChange) OnFileChange(r);
      }
    });
  };
  auto worker = std::make_unique<TWorker>(fFolders, fFilter, fSubtree, std::move(post));
  if (const int err = worker->Start(); err != 0) {
    fToken.reset();
    return err;
  }
  fWorker = std::move(worker);
  return 0;
}

int TFolderMonitor::Restart() {
  if (!fWorker) return 0;
  SetActive(false);
  return SetActive(true);
}

int TFolderMonitor::SetFoldersList(const std::vector<std::string>& folders) {
  fFolders = folders;
  return Restart();
}

int TFolderMonitor::SetFilter(std::uint32_t filter) {
  fFilter = filter;
  return Restart();
}

int TFolderMonitor::SetMonitorSubtree(bool subtree) {
  fSubtree = subtree;
  return Restart();
}

}  // namespace pelcrow::platform
