#include "platform/ShellContextMenu.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "base/AppName.h"
#include "platform/ProcessLauncher.h"
#include "platform/SpecialFolders.h"

namespace pelcrow::platform {
namespace {

constexpr std::string_view kActionId = "pelcrow-scan";
constexpr std::string_view kDesktopId = "pelcrow-scan.desktop";

int MakeParent(const std::string& file) {
  std::error_code ec;
  std::filesystem::create_directories(std::filesystem::path(file).parent_path(), ec);
  return ec ? ec.value() : 0;
}

// Temporary file + rename, so a file manager never reads half an entry.
int WriteFileAtomic(const std::string& path, const std::string& bytes, mode_t mode) {
  if (int e = MakeParent(path)) return e;
  const std::string temp = path + ".pelcrow-tmp";
  const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
  if (fd < 0) return errno;
  std::size_t done = 0;
  int err = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      err = errno;
      break;
    }
    done += static_cast<std::size_t>(n);
  }
  if (!err && ::fchmod(fd, mode) != 0) err = errno;
  if (::close(fd) != 0 && !err) err = errno;
  if (!err && ::rename(temp.c_str(), path.c_str()) != 0) err = errno;
  if (err) ::unlink(temp.c_str());
  return err;
}

bool ReadFile(const std::string& path, std::string& out) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  out.clear();
  char buf[4096];
  for (;;) {
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    out.append(buf, static_cast<std::size_t>(n));
  }
  ::close(fd);
  return true;
}

int RemoveFile(const std::string& path) {
  if (path.empty() || ::unlink(path.c_str()) == 0 || errno == ENOENT) return 0;
  return errno;
}

std::string XmlEscape(std::string_view s) {
  std::string out;
  for (char c : s) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default: out.push_back(c);
    }
  }
  return out;
}

std::string ShellQuote(std::string_view s) {
  std::string out = "'";
  for (char c : s) {
    if (c == '\'') {
      out += "'\\''";
    } else {
      out.push_back(c);
    }
  }
  return out + "'";
}

// A line of a desktop file holds no line break.
std::string OneLine(std::string s) {
  for (char& c : s)
    if (c == '\n' || c == '\r') c = ' ';
  return s;
}

// The helper runs before any language is loaded, so the entry carries the program's own text.
std::string Label() { return OneLine("Scan for Duplicates with " + std::string(kAppName)); }

// Keeps folders opening in the file manager: a user entry for inode/directory becomes the
// default handler when none is set.
void PinDefaultFolderHandler() {
  IProcessLauncher& launcher = GetProcessLauncher();
  if (!launcher.HasProgram("xdg-mime")) return;
  std::string current;
  if (launcher.Run({"xdg-mime", "query", "default", "inode/directory"}, current, 5000) != 0) return;
  while (!current.empty() && (current.back() == '\n' || current.back() == ' ')) current.pop_back();
  if (current.empty() || current == kDesktopId || current.find('\n') != std::string::npos) return;
  std::string ignored;
  launcher.Run({"xdg-mime", "default", current, "inode/directory"}, ignored, 5000);
}

void UpdateDesktopDatabase(const std::string& entry) {
  IProcessLauncher& launcher = GetProcessLauncher();
  if (!launcher.HasProgram("update-desktop-database")) return;
  std::string ignored;
  launcher.Run({"update-desktop-database", std::filesystem::path(entry).parent_path().string()}, ignored, 10000);
}

}  // namespace

TContextMenuFiles GetContextMenuFiles() {
  TContextMenuFiles f;
  const std::string data = TPcwSpecialFolders::GetUserDataDirectory();
  const std::string config = TPcwSpecialFolders::GetUserConfigDirectory();
  f.DesktopEntry = TPcwSpecialFolders::GetShellContextMenuEntryFile();
  if (!data.empty()) {
    f.DolphinServiceMenu = data + "/kio/servicemenus/" + std::string(kDesktopId);
    // A fixed name: removal after a language switch must find the same file.
    f.NautilusScript = data + "/nautilus/scripts/Scan for Duplicates with " + std::string(kAppName);
  }
  if (!config.empty()) f.ThunarActions = config + "/Thunar/uca.xml";
  return f;
}

std::string DesktopExecQuote(std::string_view arg) {
  bool needsQuotes = arg.empty();
  for (char c : arg) {
    if (std::string_view(" \t\n\"'\\><~|&;$*?#()`=").find(c) != std::string_view::npos) needsQuotes = true;
  }
  std::string quoted;
  if (needsQuotes) quoted.push_back('"');
  for (char c : arg) {
    if (needsQuotes && (c == '"' || c == '`' || c == '$' || c == '\\')) quoted.push_back('\\');
    if (c == '%') quoted.push_back('%');
    quoted.push_back(c);
  }
  if (needsQuotes) quoted.push_back('"');
  // The value of a desktop-file key escapes its backslashes once more.
  std::string out;
  for (char c : quoted) {
    if (c == '\\') out.push_back('\\');
    out.push_back(c);
  }
  return out;
}

std::string MergeThunarAction(std::string_view document, std::string_view action) {
  std::string doc(document);
  const std::string idTag = "<unique-id>" + std::string(kActionId) + "</unique-id>";
  // Drop an earlier action of ours, with the indentation and line end around it.
  if (std::size_t id = doc.find(idTag); id != std::string::npos) {
    const std::size_t open = doc.rfind("<action>", id);
    const std::size_t close = doc.find("</action>", id);
    if (open != std::string::npos && close != std::string::npos) {
      std::size_t from = open;
      while (from > 0 && (doc[from - 1] == ' ' || doc[from - 1] == '\t')) --from;
      std::size_t to = close + std::string_view("</action>").size();
      if (to < doc.size() && doc[to] == '\n') ++to;
      doc.erase(from, to - from);
    }
  }
  if (action.empty()) return doc;
  if (doc.find("</actions>") == std::string::npos) {
    doc = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<actions>\n</actions>\n";
  }
  const std::size_t end = doc.rfind("</actions>");
  return doc.insert(end, std::string(action));
}

int InstallShellContextMenu(const std::string& exePath) {
  const TContextMenuFiles f = GetContextMenuFiles();
  if (f.DesktopEntry.empty()) return ENOENT;
  const std::string label = Label();
  const std::string exec = DesktopExecQuote(exePath) + " %F";
  int first = 0;
  auto note = [&first](int e) {
    if (e && !first) first = e;
  };

  PinDefaultFolderHandler();
  note(WriteFileAtomic(f.DesktopEntry,
                       "[Desktop Entry]\nType=Application\nVersion=1.0\nName=" + label + "\nExec=" + exec +
                           "\nIcon=pelcrow\nMimeType=inode/directory;\nNoDisplay=true\nTerminal=false\n",
                       0644));
  UpdateDesktopDatabase(f.DesktopEntry);

  if (!f.DolphinServiceMenu.empty()) {
    note(WriteFileAtomic(f.DolphinServiceMenu,
                         "[Desktop Entry]\nType=Service\nMimeType=inode/directory;\nActions=scan;\n"
                         "X-KDE-ServiceTypes=KonqPopupMenu/Plugin\n\n[Desktop Action scan]\nName=" +
                             label + "\nIcon=pelcrow\nExec=" + exec + "\n",
                         0755));
  }
  if (!f.NautilusScript.empty()) {
    note(WriteFileAtomic(f.NautilusScript, "#!/bin/sh\nexec " + ShellQuote(exePath) + " \"$@\"\n", 0755));
  }
  if (!f.ThunarActions.empty()) {
    std::string doc;
    ReadFile(f.ThunarActions, doc);
    const std::string action = "<action>\n\t<icon>pelcrow</icon>\n\t<name>" + XmlEscape(label) +
                               "</name>\n\t<unique-id>" + std::string(kActionId) + "</unique-id>\n\t<command>" +
                               XmlEscape(ShellQuote(exePath)) + " %F</command>\n\t<description>" +
                               XmlEscape(label) +
                               "</description>\n\t<patterns>*</patterns>\n\t<directories/>\n</action>\n";
    note(WriteFileAtomic(f.ThunarActions, MergeThunarAction(doc, action), 0644));
  }
  return first;
}

int RemoveShellContextMenu() {
  const TContextMenuFiles f = GetContextMenuFiles();
  int first = 0;
  for (const std::string* p : {&f.DesktopEntry, &f.DolphinServiceMenu, &f.NautilusScript}) {
    if (int e = RemoveFile(*p); e && !first) first = e;
  }
  if (!f.DesktopEntry.empty()) UpdateDesktopDatabase(f.DesktopEntry);
  std::string doc;
  if (!f.ThunarActions.empty() && ReadFile(f.ThunarActions, doc)) {
    const std::string merged = MergeThunarAction(doc, "");
    if (merged != doc) {
      if (int e = WriteFileAtomic(f.ThunarActions, merged, 0644); e && !first) first = e;
    }
  }
  return first;
}

int RunShellContextMenuHelper(const std::vector<std::string>& args) {
  if (args.size() == 2 && args[0] == "-e") return InstallShellContextMenu(args[1]) == 0 ? 0 : 1;
  if (args.size() == 1 && args[0] == "-d") return RemoveShellContextMenu() == 0 ? 0 : 1;
  return -1;
}

}  // namespace pelcrow::platform
