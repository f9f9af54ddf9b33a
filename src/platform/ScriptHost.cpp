#include "platform/ScriptHost.h"

#include <cerrno>
#include <filesystem>

#include "platform/FileSystem.h"
#include "platform/ProcessInfo.h"
#include "platform/ProcessLauncher.h"

namespace pelcrow::platform {

TScriptHost::TScriptHost(std::string Folder, std::vector<std::pair<std::string, std::string>> Environment)
    : fFolder(std::move(Folder)), fEnvironment(std::move(Environment)) {
  while (fFolder.size() > 1 && fFolder.back() == '/') fFolder.pop_back();
}

std::string TScriptHost::ScriptPath(const std::string& Name) const {
  // A name is one file of the folder, never a path out of it.
  if (Name.empty() || Name.find('/') != std::string::npos || Name[0] == '.') return {};
  const std::string path = fFolder + "/" + Name + ".txt";
  TFileInfo info;
  if (Stat(path, info) != 0 || info.Type != TEntryType::etFile) return {};
  return path;
}

int TScriptHost::Run(const std::string& Name, const std::vector<std::string>& Arguments, std::string& Result,
                     int TimeoutMs) const {
  Result.clear();
  const std::string path = ScriptPath(Name);
  if (path.empty()) return ENOENT;
  // env(1) hands the variables over: the launcher passes this process's environment unchanged,
  // and setting variables here would race with other threads.
  std::vector<std::string> argv{"/usr/bin/env"};
  for (const auto& [name, value] : fEnvironment) argv.push_back(name + "=" + value);
  argv.insert(argv.end(), {"/bin/sh", path});
  argv.insert(argv.end(), Arguments.begin(), Arguments.end());
  const int status = GetProcessLauncher().Run(argv, Result, TimeoutMs);
  if (status < 0) return ECHILD;
  return status == 0 ? 0 : 1000 + status;
}

std::string ScriptErrorText(const std::string& Name, int Error) {
  std::string why;
  if (Error == ENOENT)
    why = "no such script";
  else if (Error == ECHILD)
    why = "it could not be started or did not end in time";
  else if (Error >= 1000)
    why = "it failed with exit status " + std::to_string(Error - 1000);
  else
    why = ErrorText(Error);
  return "cannot run script " + Name + ": " + why;
}

std::string DefaultScriptFolder() {
  const std::filesystem::path exe = ExecutablePath();
  if (exe.empty()) return "Scripts";
  const std::filesystem::path beside = exe.parent_path() / "Scripts";
  std::error_code ec;
#ifdef PELCROW_INSTALLED_SCRIPTS
  if (!std::filesystem::is_directory(beside, ec))
    return (exe.parent_path() / PELCROW_INSTALLED_SCRIPTS).lexically_normal().string();
#endif
  return beside.string();
}

}  // namespace pelcrow::platform
