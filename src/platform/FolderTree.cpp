#include "platform/FolderTree.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>

#include "platform/FileSystem.h"
#include "platform/SpecialFolders.h"

namespace pelcrow::platform {
namespace {

bool StartsWith(std::string_view s, std::string_view p) { return s.substr(0, p.size()) == p; }

// "." and ".." resolved in the text, so that one folder is always listed under one name.
std::string LexicalFolder(const std::string& path) {
  std::vector<std::string> parts;
  std::size_t at = 0;
  while (at <= path.size()) {
    std::size_t end = path.find('/', at);
    if (end == std::string::npos) end = path.size();
    const std::string part = path.substr(at, end - at);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    at = end + 1;
  }
  std::string out;
  for (const std::string& part : parts) out += "/" + part;
  return out.empty() ? std::string("/") : out;
}

std::string LowerAscii(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

std::string BaseName(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos || slash + 1 == path.size() ? path : path.substr(slash + 1);
}

std::string StripSlashes(std::string p) {
  while (p.size() > 1 && p.back() == '/') p.pop_back();
  return p;
}

}  // namespace

TFolderNodeKind VolumeKind(const TMountEntry& m) {
  const std::string& fs = m.FsType;
  const std::string& mp = m.MountPoint;
  if (mp == "/") return fkFolder;
  for (const char* sys : {"/proc", "/sys", "/dev", "/boot", "/snap", "/var/lib", "/run"}) {
    // Removable media mount below /run/media and stay visible.
    if (TPcwSpecialFolders::IsInFolder(mp, sys) && !TPcwSpecialFolders::IsInFolder(mp, "/run/media")) return fkFolder;
  }
  if (fs == "nfs" || fs == "nfs4" || fs == "cifs" || fs == "smb3" || fs == "smbfs" || fs == "fuse.sshfs") {
    return fkNetwork;
  }
  if (fs == "iso9660" || fs == "udf") return fkOptical;
  if (fs == "tmpfs" || fs == "ramfs") return fkRamDisk;
  const bool device = StartsWith(m.Source, "/dev/");
  if (!device && !StartsWith(fs, "fuse")) return fkFolder;  // proc, cgroup2, autofs, overlay ...
  if (TPcwSpecialFolders::IsInFolder(mp, "/media") || TPcwSpecialFolders::IsInFolder(mp, "/run/media")) {
    return fkRemovable;
  }
  if (fs == "squashfs") return fkFolder;  // snap images and the like
  return fkVolume;
}

std::vector<TFolderNode> GetFolderTreeRoots(const std::vector<TMountEntry>& mounts, const std::string& home,
                                            const std::string& desktop) {
  std::vector<TFolderNode> roots;
  if (!home.empty()) roots.push_back({"Home", StripSlashes(home), fkHome});
  if (!desktop.empty() && StripSlashes(desktop) != StripSlashes(home)) {
    roots.push_back({"Desktop", StripSlashes(desktop), fkDesktop});
  }
  roots.push_back({"File System", "/", fkFileSystem});
  for (const TMountEntry& m : mounts) {
    const TFolderNodeKind kind = VolumeKind(m);
    if (kind == fkFolder) continue;
    // The home folder on a partition of its own is already the first node.
    if (!home.empty() && StripSlashes(home) == m.MountPoint) continue;
    const bool seen = std::any_of(roots.begin(), roots.end(), [&](const TFolderNode& n) { return n.Path == m.MountPoint; });
    if (!seen) roots.push_back({BaseName(m.MountPoint), m.MountPoint, kind});
  }
  return roots;
}

std::vector<TFolderNode> GetFolderTreeRoots() {
  std::vector<std::string> desktop = {TPcwSpecialFolders::ReadUserDirectory("XDG_DESKTOP_DIR")};
  return GetFolderTreeRoots(ReadMountTable(), TPcwSpecialFolders::GetHomeDirectory(), desktop.front());
}

std::vector<TFolderNode> ListSubfolders(const std::string& path, TPcwScanOptions options) {
  std::vector<TFolderNode> out;
  const std::string base = path == "/" ? std::string() : StripSlashes(path);
  ListDirectory(path, [&](std::string_view name, TEntryType type) {
    const std::string full = base + "/" + std::string(name);
    if (type == TEntryType::etUnknown) {
      TFileInfo info;
      if (LStat(full, info) != 0) return;
      type = info.Type;
    }
    if (type != TEntryType::etDirectory) return;
    if (!options.Contains(soIncludeHidden) && name.front() == '.') return;
    int reason = 0;
    if (TPcwSpecialFolders::CheckSpecialPathName(full + "/", reason, options)) return;
    out.push_back({std::string(name), full, fkFolder});
  });
  std::sort(out.begin(), out.end(), [](const TFolderNode& a, const TFolderNode& b) {
    const std::string la = LowerAscii(a.Caption), lb = LowerAscii(b.Caption);
    return la != lb ? la < lb : a.Caption < b.Caption;
  });
  return out;
}

std::string NormalizeTypedPath(std::string_view text, const std::string& home) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) text.remove_prefix(1);
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.remove_suffix(1);
  if (text.empty()) return {};
  std::string p(text);
  if ((p == "~" || StartsWith(p, "~/")) && !home.empty()) p = home + "/" + p.substr(1);
  // Otherwise the path would mean a folder below wherever the program was started. "~name" and
  // masks stay as typed: the caller refuses the one and the exclude list takes the other.
  const bool mask = p.find_first_of("*?") != std::string::npos;
  if (p[0] != '/' && p[0] != '~' && !mask && !home.empty()) p = home + "/" + p;
  if (p[0] == '/' && !mask) p = LexicalFolder(p);
  std::string out;
  for (char c : p) {
    if (c == '/' && !out.empty() && out.back() == '/') continue;
    out.push_back(c);
  }
  if (out.back() != '/') out.push_back('/');
  return out;
}

std::string FolderEntry(std::string_view path) {
  std::string p(path);
  while (p.size() > 1 && p.back() == '/') p.pop_back();
  if (p != "/") p.push_back('/');
  return p;
}

}  // namespace pelcrow::platform
