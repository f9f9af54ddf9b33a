#include "base/PathText.h"

namespace pelcrow {

std::string DeleteExtendedPrefix(std::string_view Path) {
  if (Path.substr(0, 8) == "\\\\?\\UNC\\") return "\\\\" + std::string(Path.substr(8));
  if (Path.substr(0, 4) == "\\\\?\\") return std::string(Path.substr(4));
  return std::string(Path);
}

std::string JoinPath(std::string_view Folder, std::string_view Name) {
  std::string out(Folder);
  if (out.empty() || out.back() != '/') out.push_back('/');
  out.append(Name);
  return out;
}

std::string ParentOf(std::string_view Path) {
  const std::size_t slash = Path.find_last_of('/');
  if (slash == std::string_view::npos) return ".";
  if (slash == 0) return "/";
  return std::string(Path.substr(0, slash));
}

std::string BaseOf(std::string_view Path) {
  const std::size_t slash = Path.find_last_of('/');
  return std::string(slash == std::string_view::npos ? Path : Path.substr(slash + 1));
}

}  // namespace pelcrow
