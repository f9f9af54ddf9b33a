#include "platform/MountTable.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace pelcrow::platform {

namespace {

// mountinfo writes blank, tab, newline and backslash in paths as \ooo.
std::string Unescape(std::string_view field) {
  std::string out;
  out.reserve(field.size());
  for (std::size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '\\' && i + 3 < field.size()) {
      const char a = field[i + 1], b = field[i + 2], c = field[i + 3];
      if (a >= '0' && a <= '3' && b >= '0' && b <= '7' && c >= '0' && c <= '7') {
        out.push_back(static_cast<char>((a - '0') * 64 + (b - '0') * 8 + (c - '0')));
        i += 3;
        continue;
      }
    }
    out.push_back(field[i]);
  }
  return out;
}

std::vector<std::string_view> SplitFields(std::string_view line) {
  std::vector<std::string_view> fields;
  std::size_t pos = 0;
  while (pos < line.size()) {
    while (pos < line.size() && line[pos] == ' ') ++pos;
    if (pos >= line.size()) break;
    std::size_t end = line.find(' ', pos);
    if (end == std::string_view::npos) end = line.size();
    fields.push_back(line.substr(pos, end - pos));
    pos = end;
  }
  return fields;
}

std::string OptionValue(std::string_view options, std::string_view key) {
  std::size_t pos = 0;
  while (pos <= options.size()) {
    std::size_t end = options.find(',', pos);
    if (end == std::string_view::npos) end = options.size();
    std::string_view opt = options.substr(pos, end - pos);
    if (opt.size() > key.size() && opt.substr(0, key.size()) == key && opt[key.size()] == '=')
      return std::string(opt.substr(key.size() + 1));
    pos = end + 1;
  }
  return {};
}

}  // namespace

std::vector<TMountEntry> ParseMountInfo(std::string_view text) {
  std::vector<TMountEntry> table;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    const std::vector<std::string_view> f = SplitFields(text.substr(pos, end - pos));
    pos = end + 1;
    // id parent major:minor root mountpoint options [optional...] - fstype source superoptions
    std::size_t dash = 6;
    while (dash < f.size() && f[dash] != "-") ++dash;
    if (f.size() < 7 || dash >= f.size()) continue;
    TMountEntry e;
    const std::string_view dev = f[2];
    const std::size_t colon = dev.find(':');
    if (colon == std::string_view::npos) continue;
    e.Major = static_cast<std::uint32_t>(std::strtoul(std::string(dev.substr(0, colon)).c_str(), nullptr, 10));
    e.Minor = static_cast<std::uint32_t>(std::strtoul(std::string(dev.substr(colon + 1)).c_str(), nullptr, 10));
    e.Root = Unescape(f[3]);
    e.MountPoint = Unescape(f[4]);
    if (dash + 1 < f.size()) e.FsType = Unescape(f[dash + 1]);
    if (dash + 2 < f.size()) e.Source = Unescape(f[dash + 2]);
    if (dash + 3 < f.size()) e.SuperOptions = Unescape(f[dash + 3]);
    if (e.MountPoint.empty() || e.MountPoint.front() != '/') continue;
    table.push_back(std::move(e));
  }
  return table;
}

std::vector<TMountEntry> ReadMountTable() {
  int fd = ::open("/proc/self/mountinfo", O_RDONLY | O_CLOEXEC);
  if (fd < 0) return {};
  std::string text;
  char buf[16384];
  for (;;) {
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    text.append(buf, static_cast<std::size_t>(n));
  }
  ::close(fd);
  return ParseMountInfo(text);
}

bool IsPathOrParentOf(std::string_view parent, std::string_view path) {
  if (parent == "/") return !path.empty() && path.front() == '/';
  if (path.size() < parent.size() || path.substr(0, parent.size()) != parent) return false;
  return path.size() == parent.size() || path[parent.size()] == '/';
}

int FindMountOf(const std::vector<TMountEntry>& table, std::string_view resolvedPath) {
  int best = -1;
  std::size_t bestLength = 0;
  for (std::size_t i = 0; i < table.size(); ++i) {
    const std::string& mp = table[i].MountPoint;
    if (!IsPathOrParentOf(mp, resolvedPath)) continue;
    if (best < 0 || mp.size() >= bestLength) {
      best = static_cast<int>(i);
      bestLength = mp.size();
    }
  }
  return best;
}

bool IsBindMount(const std::vector<TMountEntry>& table, std::size_t index) {
  if (index >= table.size()) return false;
  const TMountEntry& e = table[index];
  const std::string subvolume = OptionValue(e.SuperOptions, "subvol");
  if (e.Root != "/" && e.Root != subvolume) return true;
  for (std::size_t i = 0; i < index; ++i) {
    const TMountEntry& other = table[i];
    if (other.Major == e.Major && other.Minor == e.Minor && other.Root == e.Root) return true;
  }
  return false;
}

}  // namespace pelcrow::platform
