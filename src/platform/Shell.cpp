#include "platform/Shell.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <memory>
#include <string_view>
#include <vector>

#include "platform/ProcessLauncher.h"
#include "platform/Trash.h"
#include "platform/UriEncoding.h"

namespace pelcrow::platform {

namespace {

constexpr const char* kFileManagerName = "org.freedesktop.FileManager1";
constexpr const char* kFileManagerPath = "/org/freedesktop/FileManager1";
constexpr const char* kPortalName = "org.freedesktop.portal.Desktop";
constexpr const char* kPortalPath = "/org/freedesktop/portal/desktop";
// A bus query is answered by the bus daemon itself; a few seconds mean it is stuck.
constexpr int kBusQueryTimeoutMs = 3000;
// How long a helper may take to fail; one still running after it is taken as doing its part.
constexpr int kHelperFailureWaitMs = 1000;

std::string AbsolutePath(const std::string& path) {
  if (path.empty() || path.front() == '/') return path;
  std::unique_ptr<char, decltype(&std::free)> cwd(::getcwd(nullptr, 0), &std::free);
  if (!cwd) return {};
  std::string out = cwd.get();
  if (out.back() != '/') out.push_back('/');
  return out + path;
}

bool Exists(const std::string& path) {
  struct stat st {};
  return !path.empty() && ::lstat(path.c_str(), &st) == 0;
}

// "scheme:..." with an RFC 3986 scheme of two letters or more (one letter would be a drive).
bool IsUrl(std::string_view text) {
  const std::size_t colon = text.find(':');
  if (colon == std::string_view::npos || colon < 2) return false;
  if (!std::isalpha(static_cast<unsigned char>(text[0]))) return false;
  for (std::size_t i = 1; i < colon; ++i) {
    const char c = text[i];
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '+' && c != '-' && c != '.') return false;
  }
  return true;
}

// A string in GVariant text form, as gdbus parses its arguments.
std::string GVariantString(std::string_view s) {
  std::string out = "'";
  for (char c : s) {
    if (c == '\\' || c == '\'') out.push_back('\\');
    out.push_back(c);
  }
  out.push_back('\'');
  return out;
}

std::vector<std::string> GDBusCall(const char* dest, const char* objectPath, const std::string& method,
                                   std::vector<std::string> args) {
  std::vector<std::string> argv{"gdbus", "call", "--session", "--dest", dest, "--object-path", objectPath,
                                "--method", method};
  for (std::string& a : args) argv.push_back(std::move(a));
  return argv;
}

// Hands a path or address to the default application: xdg-open, else gio.
bool OpenWithDefault(const std::string& target) {
  IProcessLauncher& launcher = GetProcessLauncher();
  if (launcher.HasProgram("xdg-open")) return launcher.Start({"xdg-open", target});
  if (launcher.HasProgram("gio")) return launcher.Start({"gio", "open", target});
  return false;
}

bool OpenWithDefault(const std::string& target, TLaunchFailure& failure) {
  IProcessLauncher& launcher = GetProcessLauncher();
  if (launcher.HasProgram("xdg-open")) return launcher.StartChecked({"xdg-open", target}, kHelperFailureWaitMs, failure);
  if (launcher.HasProgram("gio")) return launcher.StartChecked({"gio", "open", target}, kHelperFailureWaitMs, failure);
  failure = {TLaunchFailure::lfNoOpener, {}, 0};
  return false;
}

// gdbus waits for the reply, so a method the file manager refuses ends it with a failure status.
bool FileManagerCall(const std::string& method, const std::string& uri, TLaunchFailure& failure) {
  if (!SessionBusHasName(kFileManagerName)) return false;
  return GetProcessLauncher().StartChecked(
      GDBusCall(kFileManagerName, kFileManagerPath, std::string(kFileManagerName) + "." + method,
                {"[" + GVariantString(uri) + "]", GVariantString("")}),
      kHelperFailureWaitMs, failure);
}

bool FileManagerCall(const std::string& method, const std::string& uri) {
  if (!SessionBusHasName(kFileManagerName)) return false;
  return GetProcessLauncher().Start(GDBusCall(kFileManagerName, kFileManagerPath,
                                              std::string(kFileManagerName) + "." + method,
                                              {"[" + GVariantString(uri) + "]", GVariantString("")}));
}

}  // namespace

bool SessionBusHasName(const std::string& name) {
  IProcessLauncher& launcher = GetProcessLauncher();
  if (!launcher.HasProgram("gdbus")) return false;
  std::string output;
  const int owned = launcher.Run(
      GDBusCall("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus.NameHasOwner",
                {GVariantString(name)}),
      output, kBusQueryTimeoutMs);
  if (owned == 0 && output.find("true") != std::string::npos) return true;
  if (owned != 0) return false;  // no session bus at all
  const int listed = launcher.Run(
      GDBusCall("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus.ListActivatableNames", {}),
      output, kBusQueryTimeoutMs);
  return listed == 0 && output.find(GVariantString(name)) != std::string::npos;
}

bool OpenDocument(const std::string& target) {
  if (target.empty()) return false;
  if (IsUrl(target)) return OpenWithDefault(target);
  // A file: absolute, so that it can never be read as an option of the opener.
  const std::string path = AbsolutePath(target);
  return Exists(path) && OpenWithDefault(path);
}

bool OpenFile(const std::string& path) {
  TLaunchFailure ignored;
  return OpenFile(path, ignored);
}

bool OpenFile(const std::string& path, TLaunchFailure& failure) {
  const std::string abs = AbsolutePath(path);
  if (!Exists(abs)) {
    failure = {TLaunchFailure::lfMissing, {}, 0};
    return false;
  }
  return OpenWithDefault(abs, failure);
}

bool OpenWithProgram(const std::string& program, const std::string& path, TLaunchFailure& failure) {
  const std::string abs = AbsolutePath(path);
  if (!Exists(abs)) {
    failure = {TLaunchFailure::lfMissing, {}, 0};
    return false;
  }
  return GetProcessLauncher().StartChecked({program, abs}, kHelperFailureWaitMs, failure);
}

bool OpenFolderInExplorer(const std::string& path, TLaunchFailure& failure) {
  const std::string abs = AbsolutePath(path);
  if (!Exists(abs)) {
    failure = {TLaunchFailure::lfMissing, {}, 0};
    return false;
  }
  TLaunchFailure busFailure;
  if (FileManagerCall("ShowFolders", FileUriFromPath(abs), busFailure)) return true;
  return OpenWithDefault(abs, failure);
}

bool ShowFileProperties(const std::string& path, TLaunchFailure& failure) {
  const std::string abs = AbsolutePath(path);
  if (!Exists(abs)) {
    failure = {TLaunchFailure::lfMissing, {}, 0};
    return false;
  }
  return FileManagerCall("ShowItemProperties", FileUriFromPath(abs), failure);
}

bool OpenWith(const std::string& path) {
  const std::string abs = AbsolutePath(path);
  if (!Exists(abs) || !SessionBusHasName(kPortalName)) return false;
  // A portal that refuses the call leaves the caller its own chooser.
  TLaunchFailure ignored;
  return GetProcessLauncher().StartChecked(
      GDBusCall(kPortalName, kPortalPath, "org.freedesktop.portal.OpenURI.OpenURI",
                {GVariantString(""), GVariantString(FileUriFromPath(abs)), "{'ask': <true>}"}),
      kHelperFailureWaitMs, ignored);
}

bool OpenFolderInExplorer(const std::string& path) {
  TLaunchFailure ignored;
  return OpenFolderInExplorer(path, ignored);
}

bool ShowInFileManager(const std::string& path) {
  const std::string abs = AbsolutePath(path);
  if (!Exists(abs)) return false;
  if (FileManagerCall("ShowItems", FileUriFromPath(abs))) return true;
  const auto slash = abs.find_last_of('/');
  return OpenFolderInExplorer(slash == 0 ? std::string("/") : abs.substr(0, slash));
}

bool HasDefaultApplication(const std::string& mimeType) {
  IProcessLauncher& launcher = GetProcessLauncher();
  if (mimeType.empty() || !launcher.HasProgram("xdg-mime")) return false;
  std::string output;
  return launcher.Run({"xdg-mime", "query", "default", mimeType}, output, kBusQueryTimeoutMs) == 0 &&
         output.find(".desktop") != std::string::npos;
}

bool ShowFileProperties(const std::string& path) {
  TLaunchFailure ignored;
  return ShowFileProperties(path, ignored);
}

bool OpenRecycleBin() {
  if (FileManagerCall("ShowFolders", "trash:///")) return true;
  const std::string trash = GetHomeTrashDirectory();
  if (trash.empty()) return false;
  // A fresh account has no trash yet: make the folder so that there is something to show.
  const std::string files = trash + "/files";
  std::string dir;
  for (std::size_t pos = 1; pos != std::string::npos;) {
    pos = files.find('/', pos + 1);
    dir = files.substr(0, pos);
    if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) return false;
  }
  return OpenWithDefault(files);
}

}  // namespace pelcrow::platform
