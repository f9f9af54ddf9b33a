#include "platform/RunningPrograms.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <string>

namespace pelcrow::platform {

bool IsProgramRunning(std::string_view Name) {
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
    if (c == Name) {
      found = true;
      break;
    }
  }
  ::closedir(proc);
  return found;
}

}  // namespace pelcrow::platform
