// The script host: named scripts, NAME.txt in a script folder, each run by /bin/sh with its
// arguments; what a script writes to standard output is its result. The photo library is driven
// through it, so that another photo manager needs other scripts and no other code.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace pelcrow::platform {

class TScriptHost {
 public:
  // Environment: NAME=value pairs the scripts get beside this process's environment.
  explicit TScriptHost(std::string Folder, std::vector<std::pair<std::string, std::string>> Environment = {});

  const std::string& Folder() const { return fFolder; }
  // The script's file; empty when the folder has no such script.
  std::string ScriptPath(const std::string& Name) const;
  // Runs the script to its end. 0 with its output in Result; otherwise the error (ENOENT: no such
  // script; ECHILD: it could not be started or was killed after TimeoutMs; any other value: it
  // ended with that exit status + 1000, Result still holds what it wrote).
  int Run(const std::string& Name, const std::vector<std::string>& Arguments, std::string& Result,
          int TimeoutMs = 120000) const;

 private:
  std::string fFolder;
  std::vector<std::pair<std::string, std::string>> fEnvironment;
};

// "cannot run script NAME: REASON" for an error of Run.
std::string ScriptErrorText(const std::string& Name, int Error);

// The scripts shipped with the program: Scripts/ beside the binary (the build tree), else the
// installed data folder.
std::string DefaultScriptFolder();

}  // namespace pelcrow::platform
