#include "platform/DesktopApps.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string_view>

#include "platform/SpecialFolders.h"
#include "platform/UriEncoding.h"

namespace pelcrow::platform {
namespace {

namespace fs = std::filesystem;

// How long a started application may take to fail; one still running after it has started.
constexpr int kAppFailureWaitMs = 1000;

std::vector<std::string> SplitList(std::string_view text, char sep) {
  std::vector<std::string> out;
  std::size_t start = 0;
  while (start <= text.size()) {
    const std::size_t end = std::min(text.find(sep, start), text.size());
    if (end > start) out.emplace_back(text.substr(start, end - start));
    start = end + 1;
  }
  return out;
}

// An XDG folder list: the variable's absolute entries, else the default.
std::vector<std::string> EnvDirs(const char* name, const char* fallback) {
  const char* v = std::getenv(name);
  std::vector<std::string> out;
  for (std::string& d : SplitList(v && *v ? v : fallback, ':'))
    if (d.front() == '/') out.push_back(std::move(d));
  return out;
}

std::vector<std::string> ApplicationDirs() {
  std::vector<std::string> dirs;
  const std::string home = TPcwSpecialFolders::GetUserDataDirectory();
  if (!home.empty()) dirs.push_back(home + "/applications");
  for (const std::string& d : EnvDirs("XDG_DATA_DIRS", "/usr/local/share:/usr/share")) dirs.push_back(d + "/applications");
  return dirs;
}

// mimeapps.list files, the user's first.
std::vector<std::string> MimeAppsFiles() {
  std::vector<std::string> files;
  const std::string config = TPcwSpecialFolders::GetUserConfigDirectory();
  if (!config.empty()) files.push_back(config + "/mimeapps.list");
  for (const std::string& d : EnvDirs("XDG_CONFIG_DIRS", "/etc/xdg")) files.push_back(d + "/mimeapps.list");
  for (const std::string& d : ApplicationDirs()) files.push_back(d + "/mimeapps.list");
  return files;
}

// A key file's groups as key -> raw value; comments, blank lines and localized keys are skipped.
using TGroups = std::map<std::string, std::map<std::string, std::string>>;

TGroups ReadKeyFile(const std::string& file) {
  TGroups groups;
  std::ifstream in(file, std::ios::binary);
  std::string line;
  std::string group;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line.front() == '#') continue;
    if (line.front() == '[') {
      const std::size_t close = line.find(']');
      group = close == std::string::npos ? std::string() : line.substr(1, close - 1);
      continue;
    }
    const std::size_t eq = line.find('=');
    if (eq == std::string::npos || group.empty()) continue;
    std::string key = line.substr(0, eq);
    while (!key.empty() && key.back() == ' ') key.pop_back();
    if (key.find('[') != std::string::npos) continue;
    std::size_t v = eq + 1;
    while (v < line.size() && line[v] == ' ') ++v;
    groups[group].emplace(std::move(key), line.substr(v));
  }
  return groups;
}

// The escapes of a string value: \s \n \t \r \\.
std::string Unescape(std::string_view v) {
  std::string out;
  for (std::size_t i = 0; i < v.size(); ++i) {
    if (v[i] != '\\' || i + 1 == v.size()) {
      out.push_back(v[i]);
      continue;
    }
    switch (v[++i]) {
      case 's': out.push_back(' '); break;
      case 'n': out.push_back('\n'); break;
      case 't': out.push_back('\t'); break;
      case 'r': out.push_back('\r'); break;
      case '\\': out.push_back('\\'); break;
      default:
        out.push_back('\\');
        out.push_back(v[i]);
    }
  }
  return out;
}

struct TEntry {
  TDesktopApp App;
  std::vector<std::string> MimeTypes;
  bool Usable = false;
};

// Every desktop entry of the application folders by id; an id found in an earlier folder hides
// the later ones.
std::map<std::string, TEntry> ReadEntries(const std::vector<std::string>& dirs) {
  std::map<std::string, TEntry> entries;
  for (const std::string& dir : dirs) {
    std::error_code ec;
    if (!fs::is_directory(dir, ec)) continue;
    for (fs::recursive_directory_iterator it(dir, fs::directory_options::skip_permission_denied, ec), end;
         it != end && !ec; it.increment(ec)) {
      const fs::path& p = it->path();
      if (p.extension() != ".desktop" || !it->is_regular_file(ec)) continue;
      std::string id = p.lexically_relative(dir).generic_string();
      std::replace(id.begin(), id.end(), '/', '-');
      if (entries.count(id)) continue;
      TGroups groups = ReadKeyFile(p.string());
      auto& keys = groups["Desktop Entry"];
      TEntry e;
      e.App.Id = id;
      e.App.File = p.string();
      e.App.Name = keys.count("Name") ? Unescape(keys["Name"]) : id;
      e.App.Exec = Unescape(keys["Exec"]);
      e.MimeTypes = SplitList(keys["MimeType"], ';');
      const std::string tryExec = Unescape(keys["TryExec"]);
      e.Usable = keys["Type"] == "Application" && keys["Hidden"] != "true" && !e.App.Exec.empty() &&
                 (tryExec.empty() || !FindProgram(tryExec).empty());
      entries.emplace(std::move(id), std::move(e));
    }
  }
  return entries;
}

void AddUnique(std::vector<std::string>& list, const std::string& id) {
  if (std::find(list.begin(), list.end(), id) == list.end()) list.push_back(id);
}

}  // namespace

std::vector<TDesktopApp> ApplicationsForTypes(const std::vector<std::string>& mimeTypes) {
  const std::vector<std::string> dirs = ApplicationDirs();
  const std::map<std::string, TEntry> entries = ReadEntries(dirs);
  std::vector<std::string> first;   // defaults and added associations, in file order
  std::vector<std::string> others;  // the rest, sorted by name below
  std::set<std::string> removed;
  for (const std::string& file : MimeAppsFiles()) {
    TGroups groups = ReadKeyFile(file);
    for (const std::string& type : mimeTypes) {
      for (const char* group : {"Default Applications", "Added Associations"})
        for (const std::string& id : SplitList(groups[group][type], ';'))
          if (!removed.count(id)) AddUnique(first, id);
      for (const std::string& id : SplitList(groups["Removed Associations"][type], ';')) removed.insert(id);
    }
  }
  for (const std::string& dir : dirs) {
    TGroups cache = ReadKeyFile(dir + "/mimeinfo.cache");
    for (const std::string& type : mimeTypes)
      for (const std::string& id : SplitList(cache["MIME Cache"][type], ';')) AddUnique(others, id);
  }
  // A folder whose cache was not rebuilt still counts: the entries say their types themselves.
  for (const auto& [id, e] : entries)
    for (const std::string& type : mimeTypes)
      if (std::find(e.MimeTypes.begin(), e.MimeTypes.end(), type) != e.MimeTypes.end()) AddUnique(others, id);

  std::vector<TDesktopApp> out;
  std::set<std::string> taken;
  const auto take = [&](const std::string& id) {
    const auto it = entries.find(id);
    if (it == entries.end() || !it->second.Usable || removed.count(id) || !taken.insert(id).second) return;
    out.push_back(it->second.App);
  };
  for (const std::string& id : first) take(id);
  const std::size_t sorted = out.size();
  for (const std::string& id : others) take(id);
  std::sort(out.begin() + static_cast<std::ptrdiff_t>(sorted), out.end(),
            [](const TDesktopApp& a, const TDesktopApp& b) { return a.Name < b.Name; });
  return out;
}

std::vector<std::string> ExpandExec(const std::string& exec, const std::string& path) {
  // Split into arguments first: field codes never split or join them.
  std::vector<std::string> args;
  std::string current;
  bool inArg = false;
  for (std::size_t i = 0; i < exec.size(); ++i) {
    const char c = exec[i];
    if (c == '"') {
      inArg = true;
      for (++i;; ++i) {
        if (i >= exec.size()) return {};  // unclosed quote
        if (exec[i] == '"') break;
        if (exec[i] == '\\' && i + 1 < exec.size() && std::string_view("\"`$\\").find(exec[i + 1]) != std::string_view::npos)
          ++i;
        current.push_back(exec[i]);
      }
    } else if (c == ' ' || c == '\t' || c == '\n') {
      if (inArg) args.push_back(std::move(current));
      current.clear();
      inArg = false;
    } else {
      current.push_back(c);
      inArg = true;
    }
  }
  if (inArg) args.push_back(std::move(current));

  std::vector<std::string> argv;
  bool gaveFile = false;
  for (const std::string& a : args) {
    std::string out;
    bool dropped = false;
    for (std::size_t i = 0; i < a.size(); ++i) {
      if (a[i] != '%' || i + 1 == a.size()) {
        out.push_back(a[i]);
        continue;
      }
      switch (a[++i]) {
        case 'f':
        case 'F':
          out += path;
          gaveFile = true;
          break;
        case 'u':
        case 'U':
          out += FileUriFromPath(path);
          gaveFile = true;
          break;
        case '%': out.push_back('%'); break;
        default: dropped = true;  // %i %c %k and the deprecated codes
      }
    }
    if (out.empty() && dropped) continue;
    argv.push_back(std::move(out));
  }
  if (argv.empty()) return {};
  if (!gaveFile) argv.push_back(path);
  return argv;
}

bool OpenWithApplication(const TDesktopApp& app, const std::string& path, TLaunchFailure& failure) {
  std::error_code ec;
  if (!fs::exists(fs::symlink_status(path, ec))) {
    failure = {TLaunchFailure::lfMissing, {}, 0};
    return false;
  }
  const std::vector<std::string> argv = ExpandExec(app.Exec, path);
  if (argv.empty()) {
    failure = {TLaunchFailure::lfNotFound, app.Exec, 0};
    return false;
  }
  return GetProcessLauncher().StartChecked(argv, kAppFailureWaitMs, failure);
}

}  // namespace pelcrow::platform
