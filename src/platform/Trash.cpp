#include "platform/Trash.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <set>
#include <utility>

#include "base/Trim.h"
#include "base/PathText.h"
#include "platform/FileSystem.h"
#include "platform/MountTable.h"
#include "platform/SpecialFolders.h"
#include "platform/SysCalls.h"
#include "platform/UriEncoding.h"

namespace pelcrow::platform {

namespace {

constexpr std::string_view kInfoSuffix = ".trashinfo";
constexpr std::size_t kNameMax = NAME_MAX;
// Info files are a few hundred bytes; anything far larger is not one.
constexpr std::size_t kMaxInfoSize = 64 * 1024;

// ---------------------------------------------------------------- paths

// Absolute and without ".", ".." or repeated "/" (by text, as the shell would see it).
std::string AbsolutePath(std::string_view path) {
  std::string full;
  if (path.empty() || path.front() != '/') {
    std::unique_ptr<char, decltype(&std::free)> cwd(::getcwd(nullptr, 0), &std::free);
    if (!cwd) return {};
    full = cwd.get();
    full.push_back('/');
  }
  full.append(path);
  std::vector<std::string_view> parts;
  std::string_view rest = full;
  while (!rest.empty()) {
    const std::size_t slash = rest.find('/');
    const std::string_view part = rest.substr(0, slash);
    rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
    if (part.empty() || part == ".") continue;
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
      continue;
    }
    parts.push_back(part);
  }
  std::string out;
  for (std::string_view p : parts) {
    out.push_back('/');
    out.append(p);
  }
  return out.empty() ? "/" : out;
}

std::string RealPath(const std::string& path) {
  std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(path.c_str(), nullptr), &std::free);
  return resolved ? std::string(resolved.get()) : std::string();
}

// The path with the symbolic links of its existing folders resolved; the missing tail and the
// last component are kept as text. Two spellings of one original location compare equal.
std::string ResolveLoose(std::string_view path) {
  const std::string abs = AbsolutePath(path);
  if (abs.empty() || abs == "/") return abs;
  std::string head = ParentOf(abs);
  std::string tail(BaseOf(abs));
  for (;;) {
    std::string real = RealPath(head);
    if (!real.empty()) return JoinPath(real, tail);
    if (head == "/") return abs;
    tail = std::string(BaseOf(head)) + "/" + tail;
    head = ParentOf(head);
  }
}

bool Exists(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

// Creates dir and its missing parents; the ones created get `mode` (less the umask).
int MakeDirs(const std::string& dir, mode_t mode) {
  struct stat st {};
  if (::stat(dir.c_str(), &st) == 0) return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
  if (dir == "/" || dir.empty()) return ENOENT;
  if (int err = MakeDirs(ParentOf(dir), mode); err != 0) return err;
  if (::mkdir(dir.c_str(), mode) != 0 && errno != EEXIST) return errno;
  return 0;
}

// A folder of this user's own (not a link, owned by the user), as the trash rules ask of every
// trash folder that is not the home one.
bool IsOwnDirectory(const std::string& dir) {
  struct stat st {};
  return ::lstat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::getuid();
}

// ---------------------------------------------------------------- files

int ReadSmallFile(const std::string& path, std::string& text, std::size_t limit) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return errno;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return EINVAL;
  }
  text.clear();
  char buf[4096];
  int err = 0;
  for (;;) {
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      err = errno;
      break;
    }
    if (n == 0) break;
    text.append(buf, static_cast<std::size_t>(n));
    if (text.size() > limit) {
      err = EFBIG;
      break;
    }
  }
  ::close(fd);
  return err;
}

int WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return errno;
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return 0;
}

// rename() that never replaces what is at `to`. File systems without RENAME_NOREPLACE get a
// hard link and an unlink, which fail on an existing name too.
int RenameNoReplaceAt(int fromDir, const std::string& from, const std::string& to) {
  if (Sys().RenameAt(fromDir, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
  const int err = errno;
  if (err != EINVAL && err != ENOSYS && err != ENOTSUP) return err;
  if (Sys().LinkAt(fromDir, from.c_str(), AT_FDCWD, to.c_str(), 0) != 0) return errno;
  if (Sys().UnlinkAt(fromDir, from.c_str(), 0) == 0) return 0;
  const int e = errno;
  Sys().UnlinkAt(AT_FDCWD, to.c_str(), 0);
  return e;
}

int RenameNoReplace(const std::string& from, const std::string& to) { return RenameNoReplaceAt(AT_FDCWD, from, to); }

// ---------------------------------------------------------------- trash folders

std::string UidText() { return std::to_string(::getuid()); }

struct TTrashPlace {
  std::string Dir;     // holds files/ and info/
  std::string TopDir;  // what relative info paths are relative to
  bool Home = false;   // the home trash records absolute paths
};

// $topdir/.Trash/$uid when .Trash is a real, sticky folder. create: make the $uid folder.
std::string VolumeAdminTrash(const std::string& topDir, bool create) {
  const std::string shared = JoinPath(topDir, ".Trash");
  struct stat st {};
  if (::lstat(shared.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || (st.st_mode & S_ISVTX) == 0) return {};
  const std::string dir = JoinPath(shared, UidText());
  if (create && !Exists(dir)) ::mkdir(dir.c_str(), 0700);
  return IsOwnDirectory(dir) ? dir : std::string();
}

std::string VolumeUserTrash(const std::string& topDir, bool create) {
  const std::string dir = JoinPath(topDir, ".Trash-" + UidText());
  if (create && !Exists(dir)) ::mkdir(dir.c_str(), 0700);
  return IsOwnDirectory(dir) ? dir : std::string();
}

int MakeTrashSubdirs(const std::string& dir) {
  for (const char* sub : {"files", "info"}) {
    const std::string p = JoinPath(dir, sub);
    if (::mkdir(p.c_str(), 0700) != 0 && errno != EEXIST) return errno;
    struct stat st {};
    if (::stat(p.c_str(), &st) != 0) return errno;
    if (!S_ISDIR(st.st_mode)) return ENOTDIR;
  }
  return 0;
}

// The top folder of the volume holding the folder realDir (symbolic links resolved), whose
// device is dev. The mount table decides; where it is unreadable or names a folder of another
// device (a btrfs subvolume inside the mount), the highest folder of that device above realDir.
std::string VolumeTopDir(const std::string& realDir, dev_t dev) {
  const std::vector<TMountEntry> table = ReadMountTable();
  const int index = FindMountOf(table, realDir);
  if (index >= 0) {
    const std::string& mp = table[static_cast<std::size_t>(index)].MountPoint;
    struct stat st {};
    if (::stat(mp.c_str(), &st) == 0 && st.st_dev == dev) return mp;
  }
  std::string top = realDir;
  while (top != "/") {
    const std::string up = ParentOf(top);
    struct stat st {};
    if (::stat(up.c_str(), &st) != 0 || st.st_dev != dev) break;
    top = up;
  }
  return top;
}

// The device of the nearest existing folder at or above path.
bool DeviceOfNearest(const std::string& path, dev_t& dev) {
  std::string p = path;
  for (;;) {
    struct stat st {};
    if (::stat(p.c_str(), &st) == 0) {
      dev = st.st_dev;
      return true;
    }
    if (p == "/" || p.empty()) return false;
    p = ParentOf(p);
  }
}

TTrashPlace HomeTrashPlace() {
  TTrashPlace place;
  place.Home = true;
  place.Dir = GetHomeTrashDirectory();
  if (place.Dir.empty()) return place;
  const std::string real = RealPath(place.Dir);
  if (!real.empty()) place.Dir = real;
  dev_t dev = 0;
  if (DeviceOfNearest(place.Dir, dev)) place.TopDir = VolumeTopDir(ParentOf(place.Dir), dev);
  if (place.TopDir.empty()) place.TopDir = "/";
  return place;
}

// The top folder a volume trash folder belongs to.
std::string TopDirOfTrash(const std::string& trashDir) {
  const std::string parent = ParentOf(trashDir);
  if (BaseOf(trashDir) == ".Trash-" + UidText()) return parent;
  if (BaseOf(trashDir) == UidText() && BaseOf(parent) == ".Trash") return ParentOf(parent);
  return {};
}

bool IsPseudoFileSystem(std::string_view type) {
  static constexpr std::string_view kTypes[] = {
      "proc",    "sysfs",    "devpts",  "cgroup", "cgroup2",     "mqueue",    "debugfs",
      "tracefs", "securityfs", "pstore", "bpf",   "configfs",    "fusectl",   "hugetlbfs",
      "binfmt_misc", "autofs", "efivarfs", "rpc_pipefs", "nsfs", "devtmpfs"};
  for (std::string_view t : kTypes)
    if (type == t) return true;
  return false;
}

std::vector<TTrashPlace> AllTrashPlaces() {
  std::vector<TTrashPlace> places;
  std::set<std::pair<dev_t, ino_t>> seen;
  auto add = [&](const TTrashPlace& place) {
    struct stat st {};
    if (place.Dir.empty() || ::stat(place.Dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return;
    if (!seen.insert({st.st_dev, st.st_ino}).second) return;
    places.push_back(place);
  };
  add(HomeTrashPlace());
  for (const TMountEntry& m : ReadMountTable()) {
    // Looking inside an automount point would mount it; pseudo file systems hold no trash.
    if (IsPseudoFileSystem(m.FsType)) continue;
    add({VolumeAdminTrash(m.MountPoint, false), m.MountPoint});
    add({VolumeUserTrash(m.MountPoint, false), m.MountPoint});
  }
  return places;
}

// ---------------------------------------------------------------- info files

struct TInfo {
  std::string Path;  // decoded, as written
  TDateTime DeletionDate;
  bool Valid = false;
};

bool ParseDeletionDate(std::string_view text, TDateTime& out) {
  // YYYY-MM-DDThh:mm:ss, local time; anything after the seconds is ignored.
  if (text.size() < 19 || text[4] != '-' || text[7] != '-' || (text[10] != 'T' && text[10] != ' ') ||
      text[13] != ':' || text[16] != ':')
    return false;
  auto num = [&](std::size_t pos, std::size_t len, int& v) {
    v = 0;
    for (std::size_t i = pos; i < pos + len; ++i) {
      if (text[i] < '0' || text[i] > '9') return false;
      v = v * 10 + (text[i] - '0');
    }
    return true;
  };
  TDateTimeParts p;
  if (!num(0, 4, p.Year) || !num(5, 2, p.Month) || !num(8, 2, p.Day) || !num(11, 2, p.Hour) ||
      !num(14, 2, p.Minute) || !num(17, 2, p.Second))
    return false;
  return TDateTime::FromLocal(p, out);
}

TInfo ParseInfo(std::string_view text) {
  TInfo info;
  bool inGroup = false;
  std::size_t pos = 0;
  while (pos <= text.size()) {
    std::size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view line = TrimBlanks(text.substr(pos, end - pos));
    pos = end + 1;
    if (line.empty() || line.front() == '#') continue;
    if (line.front() == '[') {
      inGroup = line == "[Trash Info]";
      continue;
    }
    if (!inGroup) continue;
    const std::size_t eq = line.find('=');
    if (eq == std::string_view::npos) continue;
    const std::string_view key = TrimBlanks(line.substr(0, eq));
    const std::string_view value = TrimBlanks(line.substr(eq + 1));
    if (key == "Path" && info.Path.empty()) {
      info.Path = PercentDecode(value);
    } else if (key == "DeletionDate") {
      ParseDeletionDate(value, info.DeletionDate);
    }
  }
  info.Valid = !info.Path.empty();
  return info;
}

std::string AbsoluteOriginal(const std::string& infoPath, const std::string& topDir) {
  if (!infoPath.empty() && infoPath.front() == '/') return infoPath;
  return AbsolutePath(JoinPath(topDir.empty() ? "/" : topDir, infoPath));
}

std::string DeletionDateText(TDateTime t) {
  const TDateTimeParts p = t.ToLocal();
  char buf[48];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d", p.Year, p.Month, p.Day, p.Hour, p.Minute,
                p.Second);
  return buf;
}

// ---------------------------------------------------------------- directorysizes

// Disk usage in bytes, as `du -B1` counts it: allocated blocks, each inode once, links not
// followed.
std::uint64_t DiskUsage(const std::string& path, std::set<std::pair<dev_t, ino_t>>& seen) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) return 0;
  if (st.st_nlink > 1 && !S_ISDIR(st.st_mode) && !seen.insert({st.st_dev, st.st_ino}).second) return 0;
  std::uint64_t total = static_cast<std::uint64_t>(st.st_blocks) * 512u;
  if (S_ISDIR(st.st_mode)) {
    std::vector<std::string> children;
    ListDirectory(path, [&](std::string_view name, TEntryType) { children.push_back(JoinPath(path, name)); });
    for (const std::string& child : children) total += DiskUsage(child, seen);
  }
  return total;
}

// Rewrites directorysizes without the line of `name`, and with `newLine` when given. A cache
// for file managers: a failure here never fails the trash operation.
void UpdateDirectorySizes(const std::string& trashDir, const std::string& name, const std::string& newLine) {
  const std::string file = JoinPath(trashDir, "directorysizes");
  const std::string encoded = PercentEncodeTrash(name);
  std::string old;
  if (ReadSmallFile(file, old, 64u * 1024u * 1024u) != 0) old.clear();
  std::string text;
  bool changed = !newLine.empty();
  std::size_t pos = 0;
  while (pos < old.size()) {
    std::size_t end = old.find('\n', pos);
    if (end == std::string::npos) end = old.size();
    const std::string_view line(old.data() + pos, end - pos);
    pos = end + 1;
    // SIZE MTIME NAME
    const std::size_t first = line.find(' ');
    const std::size_t second = first == std::string_view::npos ? first : line.find(' ', first + 1);
    if (second != std::string_view::npos && line.substr(second + 1) == encoded) {
      changed = true;
      continue;
    }
    if (!line.empty()) text.append(line).push_back('\n');
  }
  if (!changed) return;
  text += newLine;
  std::string temp = JoinPath(trashDir, "directorysizes.XXXXXX");
  int fd = ::mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) return;
  const int err = WriteAll(fd, text);
  ::fchmod(fd, 0600);
  ::close(fd);
  if (err != 0 || ::rename(temp.c_str(), file.c_str()) != 0) ::unlink(temp.c_str());
}

void RecordDirectorySize(const std::string& trashDir, const std::string& name) {
  std::set<std::pair<dev_t, ino_t>> seen;
  const std::uint64_t size = DiskUsage(JoinPath(JoinPath(trashDir, "files"), name), seen);
  struct stat info {};
  const std::string infoPath = JoinPath(JoinPath(trashDir, "info"), name + std::string(kInfoSuffix));
  if (::stat(infoPath.c_str(), &info) != 0) return;
  UpdateDirectorySizes(trashDir, name,
                       std::to_string(size) + " " + std::to_string(static_cast<long long>(info.st_mtime)) + " " +
                           PercentEncodeTrash(name) + "\n");
}

// ---------------------------------------------------------------- names

// Cuts text to at most `size` bytes without splitting a UTF-8 sequence.
std::string CutBytes(std::string_view text, std::size_t size) {
  if (text.size() <= size) return std::string(text);
  std::size_t cut = size;
  while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
  return std::string(text.substr(0, cut));
}

// The NAME to try: the item's own name first, then "stem.2.ext" ... "stem.10.ext", then a tag
// from the clock, so that many namesakes (every album's cover.jpg) do not cost a growing number
// of tries, and later names sort after earlier ones. Shortened so that NAME.trashinfo fits the
// file-name limit.
std::string CandidateName(std::string_view base, unsigned attempt) {
  std::string tag;
  if (attempt > 0 && attempt < 10) {
    tag = "." + std::to_string(attempt + 1);
  } else if (attempt >= 10) {
    char buf[24];
    std::snprintf(buf, sizeof buf, ".%016llx",
                  static_cast<unsigned long long>(TDateTime::Now().UnixNanoseconds()));
    tag = buf;
  }
  std::size_t dot = base.rfind('.');
  if (dot == std::string_view::npos || dot == 0) dot = base.size();
  std::string_view stem = base.substr(0, dot);
  std::string_view ext = base.substr(dot);
  const std::size_t room = kNameMax - kInfoSuffix.size();
  if (ext.size() + tag.size() > room / 2) ext = {};  // an absurdly long "extension" is no extension
  if (ext.empty()) stem = base;
  std::string name = CutBytes(stem, room - tag.size() - ext.size());
  name += tag;
  name.append(ext);
  return name;
}

TTrashResult MoveFailure(const std::string& path, TTrashFailure failure, std::string_view reason) {
  TTrashResult r;
  r.Failure = failure;
  r.Error = "cannot move " + path + " to the trash: " + std::string(reason);
  return r;
}

TTrashResult RestoreFailure(const std::string& path, TTrashFailure failure, std::string_view reason) {
  TTrashResult r;
  r.Failure = failure;
  r.Error = "cannot restore " + path + " from the trash: " + std::string(reason);
  return r;
}

// Reserves NAME with the info file, then renames the item into files/NAME.
// The item is `name` in the open folder parentFd, whose real path makes `item`.
TTrashResult TrashInto(const std::string& shownPath, const std::string& item, int parentFd, const std::string& name0,
                       const TTrashPlace& place, bool isDirectory) {
  if (int err = MakeTrashSubdirs(place.Dir); err != 0)
    return MoveFailure(shownPath, TTrashFailure::tfNoTrash,
                       std::string(kNoTrashText) + " (" + place.Dir + ": " + ErrorText(err) + ")");
  if (IsPathOrParentOf(place.Dir, item) || IsPathOrParentOf(item, place.Dir))
    return MoveFailure(shownPath, TTrashFailure::tfOther, "the item is or holds a trash folder");

  // Relative to the volume's top folder outside the home trash, so that the entry stays right
  // when the volume is mounted elsewhere.
  std::string recorded = item;
  if (!place.Home && IsPathOrParentOf(place.TopDir, item) && item.size() > place.TopDir.size())
    recorded = item.substr(place.TopDir == "/" ? 1 : place.TopDir.size() + 1);

  const std::string filesDir = JoinPath(place.Dir, "files");
  const std::string infoDir = JoinPath(place.Dir, "info");
  const std::string base = BaseOf(item);
  for (unsigned attempt = 0; attempt < 1000; ++attempt) {
    const std::string name = CandidateName(base, attempt);
    const std::string infoPath = JoinPath(infoDir, name + std::string(kInfoSuffix));
    const std::string target = JoinPath(filesDir, name);
    int fd = Sys().OpenAt(AT_FDCWD, infoPath.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      return MoveFailure(shownPath, TTrashFailure::tfOther, "cannot create " + infoPath + ": " + ErrorText(errno));
    }
    if (Exists(target)) {  // a stray item without an info file keeps its name
      Sys().Close(fd);
      Sys().UnlinkAt(AT_FDCWD, infoPath.c_str(), 0);
      continue;
    }
    const TDateTime now = TDateTime::Now();
    const std::string content = "[Trash Info]\nPath=" + PercentEncodeTrash(recorded) +
                                "\nDeletionDate=" + DeletionDateText(now) + "\n";
    int err = WriteAllFd(fd, content.data(), content.size());
    if (err == 0 && Sys().FSync(fd) != 0) err = errno;
    if (Sys().Close(fd) != 0 && err == 0) err = errno;
    if (err != 0) {
      Sys().UnlinkAt(AT_FDCWD, infoPath.c_str(), 0);
      return MoveFailure(shownPath, TTrashFailure::tfOther, "cannot write " + infoPath + ": " + ErrorText(err));
    }
    err = RenameNoReplaceAt(parentFd, name0, target);
    if (err != 0) {
      Sys().UnlinkAt(AT_FDCWD, infoPath.c_str(), 0);
      if (err == EEXIST) continue;
      TTrashResult r = MoveFailure(shownPath, err == ENOENT ? TTrashFailure::tfNotFound : TTrashFailure::tfOther,
                                   ErrorText(err));
      r.TrashDir = place.Dir;  // tells the caller which trash refused (EXDEV: try another)
      if (err == EXDEV) r.Failure = TTrashFailure::tfNoTrash;
      return r;
    }
    if (isDirectory) RecordDirectorySize(place.Dir, name);
    TTrashResult r;
    r.Failure = TTrashFailure::tfNone;
    r.TrashDir = place.Dir;
    r.TrashName = name;
    r.OriginalPath = item;
    return r;
  }
  return MoveFailure(shownPath, TTrashFailure::tfOther, "no free name in " + place.Dir);
}

TTrashResult RestoreEntryTo(const std::string& shownPath, const std::string& trashDir, const std::string& name,
                            const std::string& target) {
  const std::string from = JoinPath(JoinPath(trashDir, "files"), name);
  const std::string infoPath = JoinPath(JoinPath(trashDir, "info"), name + std::string(kInfoSuffix));
  if (!Exists(from)) return RestoreFailure(shownPath, TTrashFailure::tfNotFound, from + ": " + ErrorText(ENOENT));
  if (Exists(target)) return RestoreFailure(shownPath, TTrashFailure::tfTargetExists, target + ": " + ErrorText(EEXIST));
  if (int err = MakeDirs(ParentOf(target), 0777); err != 0)
    return RestoreFailure(shownPath, TTrashFailure::tfOther, "cannot create " + ParentOf(target) + ": " + ErrorText(err));
  struct stat st {};
  const bool isDirectory = ::lstat(from.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
  if (int err = RenameNoReplace(from, target); err != 0)
    return RestoreFailure(shownPath, err == EEXIST ? TTrashFailure::tfTargetExists : TTrashFailure::tfOther,
                          ErrorText(err));
  ::unlink(infoPath.c_str());
  if (isDirectory) UpdateDirectorySizes(trashDir, name, {});
  TTrashResult r;
  r.Failure = TTrashFailure::tfNone;
  r.TrashDir = trashDir;
  r.TrashName = name;
  r.OriginalPath = target;
  return r;
}

// Deletion dates have whole seconds. Within one second the later info file wins, and where the
// file system's clock is too coarse for that, the later of our collision names ("x.2.txt" after
// "x.txt", "x.10.txt" after "x.9.txt").
bool IsNewer(const TTrashEntry& a, std::int64_t aInfoTime, const TTrashEntry& b, std::int64_t bInfoTime) {
  if (a.DeletionDate != b.DeletionDate) return a.DeletionDate > b.DeletionDate;
  if (aInfoTime != bInfoTime) return aInfoTime > bInfoTime;
  if (a.TrashName.size() != b.TrashName.size()) return a.TrashName.size() > b.TrashName.size();
  return a.TrashName > b.TrashName;
}

bool EndsWith(std::string_view s, std::string_view suffix) {
  return s.size() >= suffix.size() && s.substr(s.size() - suffix.size()) == suffix;
}

// Reads the entries of one trash folder.
template <typename OnEntry>
void ForEachEntry(const TTrashPlace& place, OnEntry onEntry) {
  const std::string infoDir = JoinPath(place.Dir, "info");
  std::vector<std::string> names;
  ListDirectory(infoDir, [&](std::string_view file, TEntryType) {
    if (EndsWith(file, kInfoSuffix) && file.size() > kInfoSuffix.size()) names.emplace_back(file);
  });
  std::string text;
  for (const std::string& file : names) {
    if (ReadSmallFile(JoinPath(infoDir, file), text, kMaxInfoSize) != 0) continue;
    const TInfo info = ParseInfo(text);
    if (!info.Valid) continue;
    TTrashEntry e;
    e.TrashDir = place.Dir;
    e.TrashName = file.substr(0, file.size() - kInfoSuffix.size());
    e.OriginalPath = AbsoluteOriginal(info.Path, place.TopDir);
    e.DeletionDate = info.DeletionDate;
    onEntry(e);
  }
}

}  // namespace

// ---------------------------------------------------------------- public

std::string TTrashResult::TrashedPath() const {
  return TrashDir.empty() || TrashName.empty() ? std::string() : JoinPath(JoinPath(TrashDir, "files"), TrashName);
}

std::string TTrashResult::InfoPath() const {
  return TrashDir.empty() || TrashName.empty()
             ? std::string()
             : JoinPath(JoinPath(TrashDir, "info"), TrashName + std::string(kInfoSuffix));
}

std::string TTrashEntry::TrashedPath() const { return JoinPath(JoinPath(TrashDir, "files"), TrashName); }

std::string GetHomeTrashDirectory() {
  const std::string data = TPcwSpecialFolders::GetUserDataDirectory();
  return data.empty() ? std::string() : JoinPath(data, "Trash");
}

TTrashResult MoveToTrash(const std::string& path) {
  // Like rm, no "." or "..": an empty or dotted path must never stand for the working folder.
  std::string_view trimmed = path;
  while (trimmed.size() > 1 && trimmed.back() == '/') trimmed.remove_suffix(1);
  const std::string last = BaseOf(trimmed);
  if (path.empty() || last == "." || last == "..")
    return MoveFailure(path, TTrashFailure::tfOther, ErrorText(EINVAL));
  const std::string abs = AbsolutePath(path);
  if (abs.empty() || abs == "/") return MoveFailure(path, TTrashFailure::tfOther, ErrorText(EINVAL));
  // The folder is resolved, the item itself is not: a symbolic link goes to the trash as a link.
  TFd parent(Sys().OpenAt(AT_FDCWD, ParentOf(abs).c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC, 0));
  if (!parent.Valid())
    return MoveFailure(path, errno == ENOENT ? TTrashFailure::tfNotFound : TTrashFailure::tfOther, ErrorText(errno));
  return MoveToTrashAt(parent.Get(), std::string(BaseOf(abs)), path);
}

TTrashResult MoveToTrashAt(int parentFd, const std::string& name, const std::string& path) {
  if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos)
    return MoveFailure(path, TTrashFailure::tfOther, ErrorText(EINVAL));
  const std::string realParent = FolderRealPath(parentFd);
  if (realParent.empty()) return MoveFailure(path, TTrashFailure::tfNotFound, ErrorText(ENOENT));
  const std::string item = JoinPath(realParent, name);
  struct statx stx {};
  if (Sys().StatxAt(parentFd, name.c_str(), AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT, STATX_TYPE | STATX_INO, &stx) != 0) {
    const int err = errno;
    return MoveFailure(path, err == ENOENT ? TTrashFailure::tfNotFound : TTrashFailure::tfOther, ErrorText(err));
  }
  const dev_t itemDev = makedev(stx.stx_dev_major, stx.stx_dev_minor);
  const bool isDirectory = S_ISDIR(stx.stx_mode);
  // A mount point cannot be renamed away; no trash folder is made on its parent for it.
  struct stat parent {};
  if (Sys().FStat(parentFd, &parent) == 0 && parent.st_dev != itemDev)
    return MoveFailure(path, TTrashFailure::tfOther, ErrorText(EBUSY));

  // The home trash for items on its file system.
  TTrashResult homeResult;
  const std::string homeDir = GetHomeTrashDirectory();
  dev_t homeDev = 0;
  if (!homeDir.empty() && DeviceOfNearest(homeDir, homeDev) && homeDev == itemDev) {
    if (int err = MakeDirs(homeDir, 0700); err == 0) {
      // Absolute paths in the home trash: no need to look for the volume's top folder.
      const std::string realHome = RealPath(homeDir);
      homeResult = TrashInto(path, item, parentFd, name, TTrashPlace{realHome.empty() ? homeDir : realHome, {}, true},
                             isDirectory);
      // Same device but another mount of it (a bind mount) cannot rename: the volume's trash can.
      if (homeResult.Ok() || homeResult.Failure != TTrashFailure::tfNoTrash) return homeResult;
    } else {
      homeResult = MoveFailure(path, TTrashFailure::tfNoTrash,
                               std::string(kNoTrashText) + " (" + homeDir + ": " + ErrorText(err) + ")");
    }
  }

  // Otherwise the volume's own trash.
  const std::string topDir = VolumeTopDir(realParent, itemDev);
  std::string dir = VolumeAdminTrash(topDir, true);
  if (dir.empty()) dir = VolumeUserTrash(topDir, true);
  if (dir.empty()) {
    if (!homeResult.Ok() && !homeResult.Error.empty()) return homeResult;
    return MoveFailure(path, TTrashFailure::tfNoTrash, kNoTrashText);
  }
  TTrashResult r = TrashInto(path, item, parentFd, name, TTrashPlace{dir, topDir, false}, isDirectory);
  if (!r.Ok() && r.Failure == TTrashFailure::tfNoTrash && r.Error.find(kNoTrashText) == std::string::npos)
    r.Error = "cannot move " + path + " to the trash: " + std::string(kNoTrashText);
  return r;
}

std::vector<std::string> GetTrashDirectories() {
  std::vector<std::string> dirs;
  for (const TTrashPlace& p : AllTrashPlaces()) dirs.push_back(p.Dir);
  return dirs;
}

std::vector<TTrashEntry> ListTrashEntries() {
  std::vector<TTrashEntry> entries;
  for (const TTrashPlace& p : AllTrashPlaces())
    ForEachEntry(p, [&](const TTrashEntry& e) { entries.push_back(e); });
  return entries;
}

TTrashResult RestoreFromTrash(const std::string& path) {
  const std::string target = ResolveLoose(path);
  if (target.empty() || target == "/") return RestoreFailure(path, TTrashFailure::tfOther, ErrorText(EINVAL));
  const std::string wantName = BaseOf(target);

  TTrashEntry best;
  bool found = false;
  std::int64_t bestInfoTime = 0;
  for (const TTrashPlace& place : AllTrashPlaces()) {
    ForEachEntry(place, [&](const TTrashEntry& e) {
      if (BaseOf(e.OriginalPath) != wantName) return;
      if (ResolveLoose(e.OriginalPath) != target) return;
      if (!Exists(e.TrashedPath())) return;  // an info file whose item is gone
      // Newest deletion first; within one second the later info file.
      struct stat st {};
      const std::string infoPath = JoinPath(JoinPath(e.TrashDir, "info"), e.TrashName + std::string(kInfoSuffix));
      const std::int64_t infoTime =
          ::stat(infoPath.c_str(), &st) == 0 ? st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec : 0;
      if (!found || IsNewer(e, infoTime, best, bestInfoTime)) {
        best = e;
        bestInfoTime = infoTime;
        found = true;
      }
    });
  }
  if (!found) return RestoreFailure(path, TTrashFailure::tfNotFound, "not in the trash");
  TTrashResult r = RestoreEntryTo(path, best.TrashDir, best.TrashName, target);
  return r;
}

bool RestoreFromRecycleBin(const std::string& path) { return RestoreFromTrash(path).Ok(); }

TTrashResult RestoreTrashedItem(const std::string& trashedPath) { return RestoreTrashedItem(trashedPath, {}); }

TTrashResult RestoreTrashedItem(const std::string& trashedPath, TTrashedIdentity expected) {
  const std::string abs = AbsolutePath(trashedPath);
  const std::string filesDir = ParentOf(abs);
  if (abs.empty() || BaseOf(filesDir) != "files")
    return RestoreFailure(trashedPath, TTrashFailure::tfNotFound, "not in a trash folder");
  const std::string trashDir = ParentOf(filesDir);
  const std::string name(BaseOf(abs));
  const std::string infoPath = JoinPath(JoinPath(trashDir, "info"), name + std::string(kInfoSuffix));
  std::string text;
  if (int err = ReadSmallFile(infoPath, text, kMaxInfoSize); err != 0)
    return RestoreFailure(trashedPath, err == ENOENT ? TTrashFailure::tfNotFound : TTrashFailure::tfOther,
                          "cannot read " + infoPath + ": " + ErrorText(err));
  const TInfo info = ParseInfo(text);
  if (!info.Valid) return RestoreFailure(trashedPath, TTrashFailure::tfOther, infoPath + " names no path");
  std::string topDir = TopDirOfTrash(trashDir);
  if (topDir.empty()) topDir = HomeTrashPlace().TopDir;
  const std::string target = AbsoluteOriginal(info.Path, topDir);
  if (expected.Inode != 0) {
    struct statx stx {};
    if (Sys().StatxAt(AT_FDCWD, abs.c_str(), AT_SYMLINK_NOFOLLOW, STATX_INO | STATX_SIZE | STATX_MTIME, &stx) != 0)
      return RestoreFailure(target, TTrashFailure::tfNotFound, abs + ": " + ErrorText(errno));
    // The name was emptied and reused (trash-cli and the file manager reuse free names, the file
    // system reuses inode numbers).
    const std::int64_t mtime = stx.stx_mtime.tv_sec * 1'000'000'000LL + stx.stx_mtime.tv_nsec;
    if (stx.stx_ino != expected.Inode || static_cast<std::int64_t>(stx.stx_size) != expected.Size ||
        mtime != expected.ModifiedNs)
      return RestoreFailure(target, TTrashFailure::tfNotFound, abs + " holds another item now");
  }
  return RestoreEntryTo(target, trashDir, name, target);
}

}  // namespace pelcrow::platform
