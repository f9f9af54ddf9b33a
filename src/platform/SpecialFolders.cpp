#include "platform/SpecialFolders.h"

#include <dirent.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <initializer_list>

namespace pelcrow {

namespace {

// Collapses repeated "/" and drops a trailing one, so that equal folders compare equal as text.
std::string NormalizeDir(std::string_view dir) {
  std::string out;
  out.reserve(dir.size());
  for (char c : dir) {
    if (c == '/' && !out.empty() && out.back() == '/') continue;
    out.push_back(c);
  }
  if (out.size() > 1 && out.back() == '/') out.pop_back();
  return out;
}

std::string JoinPath(const std::string& dir, std::string_view name) {
  std::string out = dir;
  if (out.empty() || out.back() != '/') out.push_back('/');
  out.append(name);
  return out;
}

// An environment value that is an absolute path; anything else counts as unset, as the XDG
// base-directory rules ask for relative values.
std::string AbsoluteEnv(const char* name) {
  const char* v = std::getenv(name);
  if (v == nullptr || v[0] != '/') return {};
  return NormalizeDir(v);
}

std::string XdgDirectory(const char* envName, std::string_view homeRelative) {
  std::string dir = AbsoluteEnv(envName);
  if (!dir.empty()) return dir;
  const std::string home = TPcwSpecialFolders::GetHomeDirectory();
  if (home.empty()) return {};
  return JoinPath(home, homeRelative);
}

bool IsDirectory(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Appends dir unless it is empty, already listed, or the root: a list entry of "/" would make
// every folder special.
void AddUnique(std::vector<std::string>& list, std::string_view dir) {
  std::string d = NormalizeDir(dir);
  if (d.empty() || d == "/") return;
  if (std::find(list.begin(), list.end(), d) == list.end()) list.push_back(std::move(d));
}

void AddAll(std::vector<std::string>& list, std::initializer_list<const char*> dirs) {
  for (const char* d : dirs) AddUnique(list, d);
}

// The /lib, /lib32, /lib64, /libx32 ... folders of this system, sorted.
std::vector<std::string> RootLibDirectories() {
  std::vector<std::string> found;
  if (DIR* d = ::opendir("/")) {
    while (const dirent* e = ::readdir(d)) {
      const std::string_view name = e->d_name;
      if (name.substr(0, 3) != "lib") continue;
      std::string path = JoinPath("/", name);
      if (IsDirectory(path)) found.push_back(std::move(path));
    }
    ::closedir(d);
  }
  std::sort(found.begin(), found.end());
  return found;
}

void AddProgramDirectories(std::vector<std::string>& list) {
  AddAll(list, {"/usr", "/opt", "/snap"});
}

void AddCommonAppDataDirectories(std::vector<std::string>& list) {
  AddAll(list, {"/var/lib", "/var/cache"});
}

void AddUserAppDataDirectories(std::vector<std::string>& list) {
  // Local application data first, then the roaming one, as in the exclusion list.
  AddUnique(list, TPcwSpecialFolders::GetUserDataDirectory());
  AddUnique(list, TPcwSpecialFolders::GetUserStateDirectory());
  AddUnique(list, TPcwSpecialFolders::GetUserCacheDirectory());
  AddUnique(list, TPcwSpecialFolders::GetUserConfigDirectory());
}

std::vector<std::string> OneEntry(std::string dir) {
  std::vector<std::string> list;
  if (!dir.empty()) list.push_back(std::move(dir));
  return list;
}

}  // namespace

const std::vector<std::string>& TPcwSpecialFolders::GetSystemDirectories() {
  static const std::vector<std::string> list = [] {
    std::vector<std::string> l;
    AddAll(l, {"/bin", "/sbin"});
    for (const std::string& lib : RootLibDirectories()) AddUnique(l, lib);
    AddAll(l, {"/boot", "/etc", "/proc", "/sys", "/dev", "/run"});
    return l;
  }();
  return list;
}

const std::vector<std::string>& TPcwSpecialFolders::GetAppDirectories() {
  static const std::vector<std::string> list = [] {
    std::vector<std::string> l;
    AddProgramDirectories(l);
    AddCommonAppDataDirectories(l);
    AddUserAppDataDirectories(l);
    return l;
  }();
  return list;
}

const std::vector<std::string>& TPcwSpecialFolders::GetTempDirectories() {
  static const std::vector<std::string> list = [] {
    std::vector<std::string> l;
    AddUnique(l, GetTempPath());
    AddUnique(l, "/var/tmp");
    AddUnique(l, GetUserCacheDirectory());  // the browsers' caches live here
    return l;
  }();
  return list;
}

const std::vector<std::string>& TPcwSpecialFolders::GetRecyclerNames() {
  static const std::vector<std::string> list = [] {
    std::vector<std::string> l{".Trash", ".Trash-" + std::to_string(::getuid())};
    const std::string data = GetUserDataDirectory();
    if (!data.empty()) AddUnique(l, JoinPath(data, "Trash"));
    return l;
  }();
  return list;
}

const std::vector<std::string>& TPcwSpecialFolders::GetDocumentsDirectory() {
  static const std::vector<std::string> list = OneEntry(ReadUserDirectory("XDG_DOCUMENTS_DIR"));
  return list;
}

const std::vector<std::string>& TPcwSpecialFolders::GetMusicDirectory() {
  static const std::vector<std::string> list = OneEntry(ReadUserDirectory("XDG_MUSIC_DIR"));
  return list;
}

const std::vector<std::string>& TPcwSpecialFolders::GetPicturesDirectory() {
  static const std::vector<std::string> list = OneEntry(ReadUserDirectory("XDG_PICTURES_DIR"));
  return list;
}

const std::vector<std::string>& TPcwSpecialFolders::GetVideosDirectory() {
  static const std::vector<std::string> list = OneEntry(ReadUserDirectory("XDG_VIDEOS_DIR"));
  return list;
}

std::vector<std::string> TPcwSpecialFolders::GetDefaultExclusions() {
  std::vector<std::string> l;
  // "/lib*" stays a pattern so that lib folders added later are covered too.
  AddAll(l, {"/bin", "/sbin", "/lib*", "/boot", "/etc", "/proc", "/sys", "/dev", "/run"});
  AddProgramDirectories(l);
  AddCommonAppDataDirectories(l);
  AddUserAppDataDirectories(l);
  return l;
}

std::string TPcwSpecialFolders::GetHomeDirectory() {
  std::string home = AbsoluteEnv("HOME");
  if (!home.empty()) return home;

  long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
  std::string buffer(size > 0 ? static_cast<std::size_t>(size) : 16384, '\0');
  for (;;) {
    passwd pw{};
    passwd* result = nullptr;
    const int rc = ::getpwuid_r(::getuid(), &pw, buffer.data(), buffer.size(), &result);
    if (rc == ERANGE && buffer.size() < (1u << 20)) {
      buffer.resize(buffer.size() * 2);
      continue;
    }
    if (rc != 0 || result == nullptr || pw.pw_dir == nullptr || pw.pw_dir[0] != '/') return {};
    return NormalizeDir(pw.pw_dir);
  }
}

std::string TPcwSpecialFolders::GetUserConfigDirectory() {
  return XdgDirectory("XDG_CONFIG_HOME", ".config");
}

std::string TPcwSpecialFolders::GetUserDataDirectory() {
  return XdgDirectory("XDG_DATA_HOME", ".local/share");
}

std::string TPcwSpecialFolders::GetUserStateDirectory() {
  return XdgDirectory("XDG_STATE_HOME", ".local/state");
}

std::string TPcwSpecialFolders::GetUserCacheDirectory() {
  return XdgDirectory("XDG_CACHE_HOME", ".cache");
}

std::string TPcwSpecialFolders::GetTempPath() {
  std::string tmp = AbsoluteEnv("TMPDIR");
  return tmp.empty() ? std::string("/tmp") : tmp;
}

std::string TPcwSpecialFolders::GetExecutableBaseName() {
  std::string target(256, '\0');
  for (;;) {
    const ssize_t n = ::readlink("/proc/self/exe", target.data(), target.size());
    if (n < 0) return "pelcrow";
    if (static_cast<std::size_t>(n) < target.size()) {
      target.resize(static_cast<std::size_t>(n));
      break;
    }
    if (target.size() >= (1u << 16)) return "pelcrow";
    target.resize(target.size() * 2);
  }
  // A binary replaced while running reads back with this suffix.
  constexpr std::string_view kDeleted = " (deleted)";
  if (target.size() > kDeleted.size() && target.ends_with(kDeleted)) {
    target.resize(target.size() - kDeleted.size());
  }
  std::string name = target.substr(target.rfind('/') + 1);
  const std::size_t dot = name.rfind('.');
  if (dot != std::string::npos && dot > 0) name.resize(dot);
  return name.empty() ? std::string("pelcrow") : name;
}

std::string TPcwSpecialFolders::ReadUserDirectory(std::string_view key) {
  const std::string config = GetUserConfigDirectory();
  if (config.empty() || key.empty()) return {};
  std::ifstream in(JoinPath(config, "user-dirs.dirs"));
  if (!in) return {};

  // Lines look like XDG_MUSIC_DIR="$HOME/Music" or XDG_MUSIC_DIR="/abs"; the last one wins.
  std::string value;
  bool found = false;
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::size_t i = line.find_first_not_of(" \t");
    if (i == std::string::npos || line[i] == '#') continue;
    if (line.compare(i, key.size(), key) != 0) continue;
    i = line.find_first_not_of(" \t", i + key.size());
    if (i == std::string::npos || line[i] != '=') continue;
    i = line.find_first_not_of(" \t", i + 1);
    if (i == std::string::npos || line[i] != '"') continue;
    ++i;
    std::size_t end = line.find('"', i);
    if (end == std::string::npos) end = line.size();
    value = line.substr(i, end - i);
    found = true;
  }
  if (!found || value.empty()) return {};

  const std::string home = GetHomeDirectory();
  std::string path;
  constexpr std::string_view kHome = "$HOME";
  if (value.starts_with(kHome)) {
    const std::string_view rest = std::string_view(value).substr(kHome.size());
    if (home.empty() || (!rest.empty() && rest.front() != '/')) return {};
    path = NormalizeDir(home + std::string(rest));
  } else if (value.front() == '/') {
    path = NormalizeDir(value);
  } else {
    return {};
  }
  // The home folder itself means "disabled" for these entries.
  if (path == home || !IsDirectory(path)) return {};
  return path;
}

std::string TPcwSpecialFolders::GetShellContextMenuEntryFile() {
  const std::string data = GetUserDataDirectory();
  if (data.empty()) return {};
  return JoinPath(data, "applications/pelcrow-scan.desktop");
}

bool TPcwSpecialFolders::IsShellContextMenuInstalled() {
  const std::string file = GetShellContextMenuEntryFile();
  if (file.empty()) return false;
  struct stat st {};
  return ::stat(file.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool TPcwSpecialFolders::IsInFolder(std::string_view dir, std::string_view folder) {
  while (folder.size() > 1 && folder.back() == '/') folder.remove_suffix(1);
  while (dir.size() > 1 && dir.back() == '/') dir.remove_suffix(1);
  if (folder == "/") return !dir.empty() && dir[0] == '/';
  return dir.substr(0, folder.size()) == folder && (dir.size() == folder.size() || dir[folder.size()] == '/');
}

bool TPcwSpecialFolders::CheckSpecialPathName(const std::string& APath, int& ReasonCode, TPcwScanOptions options) {
  try {
    std::string p = NormalizeDir(APath);
    if (p.rfind("\\\\?\\", 0) == 0) p = p.substr(4);
    if (p.empty() || p == "/") return false;
    struct stat st {};
    bool haveAttributes = false;
    if (options.Contains(soSkipSysAppFolders)) {
      if (::lstat(p.c_str(), &st) != 0) return false;
      haveAttributes = true;
      for (const auto* list : {&GetSystemDirectories(), &GetAppDirectories()}) {
        for (const std::string& e : *list) {
          if (IsInFolder(p, e)) {
            ReasonCode = 2;
            return true;
          }
        }
      }
    }
    if (options.Contains(soIncludeHidden)) return false;
    if (!haveAttributes && ::lstat(p.c_str(), &st) != 0) return false;
    const std::string_view name = std::string_view(p).substr(p.rfind('/') + 1);
    if (!name.empty() && name[0] == '.') {
      ReasonCode = 7;
      return true;
    }
    return false;
  } catch (...) {
    return false;
  }
}



}  // namespace pelcrow
