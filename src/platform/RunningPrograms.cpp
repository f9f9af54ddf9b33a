#include "platform/RunningPrograms.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <functional>
#include <string>

namespace pelcrow::platform {

namespace {

// Calls Fn with the folder of every live process of this user that has the command name; stops
// when Fn returns true.
bool ForEachProcess(std::string_view Name, const std::function<bool(const std::string& Dir)>& Fn) {
  DIR* proc = ::opendir("/proc");
  if (proc == nullptr) return false;
  bool found = false;
  const uid_t me = ::getuid();
  while (dirent* e = ::readdir(proc)) {
    if (!std::isdigit(static_cast<unsigned char>(e->d_name[0]))) continue;
    const std::string dir = std::string("/proc/") + e->d_name;
    struct stat st {};
    if (::stat(dir.c_str(), &st) != 0 || st.st_uid != me) continue;
    // A process that ended but was not reaped yet keeps its name and writes nothing any more.
    if (FILE* statFile = std::fopen((dir + "/stat").c_str(), "r")) {
      char text[512] = {};
      const std::size_t n = std::fread(text, 1, sizeof text - 1, statFile);
      std::fclose(statFile);
      const std::string_view line(text, n);
      const std::size_t close = line.rfind(')');
      if (close != std::string_view::npos && close + 2 < line.size() && line[close + 2] == 'Z') continue;
    }
    FILE* f = std::fopen((dir + "/comm").c_str(), "r");
    if (f == nullptr) continue;
    char comm[64] = {};
    const bool read = std::fgets(comm, sizeof comm, f) != nullptr;
    std::fclose(f);
    std::string_view c = read ? std::string_view(comm) : std::string_view();
    if (!c.empty() && c.back() == '\n') c.remove_suffix(1);
    if (c == Name && Fn(dir)) {
      found = true;
      break;
    }
  }
  ::closedir(proc);
  return found;
}

}  // namespace

bool IsProcessAlive(int Pid) {
  if (Pid <= 0) return false;
  FILE* f = std::fopen(("/proc/" + std::to_string(Pid) + "/stat").c_str(), "r");
  if (f == nullptr) return false;
  char text[512] = {};
  const std::size_t n = std::fread(text, 1, sizeof text - 1, f);
  std::fclose(f);
  const std::string_view line(text, n);
  const std::size_t close = line.rfind(')');
  return close == std::string_view::npos || close + 2 >= line.size() || line[close + 2] != 'Z';
}

bool IsProgramRunning(std::string_view Name) {
  return ForEachProcess(Name, [](const std::string&) { return true; });
}

std::vector<std::vector<std::string>> RunningProgramArguments(std::string_view Name) {
  std::vector<std::vector<std::string>> all;
  ForEachProcess(Name, [&](const std::string& dir) {
    std::vector<std::string> args;
    if (FILE* f = std::fopen((dir + "/cmdline").c_str(), "r")) {
      std::string text;
      char buf[4096];
      std::size_t n;
      while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) text.append(buf, n);
      std::fclose(f);
      std::size_t start = 0;
      while (start < text.size()) {
        std::size_t end = text.find('\0', start);
        if (end == std::string::npos) end = text.size();
        args.push_back(text.substr(start, end - start));
        start = end + 1;
      }
    }
    all.push_back(std::move(args));
    return false;
  });
  return all;
}

}  // namespace pelcrow::platform
