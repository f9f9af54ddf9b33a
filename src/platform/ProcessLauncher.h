// Starting other programs. Arguments always travel as an argument vector, never through a shell,
// so no file name can become a command. Tests install a recording launcher instead of the real one.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace pelcrow::platform {

// Why a program, or the desktop helper that was to open something, did not do its part.
struct TLaunchFailure {
  enum TKind {
    lfNone,
    lfMissing,      // the file or folder to open does not exist
    lfNoOpener,     // neither xdg-open nor gio is installed
    lfNotFound,     // Program is not installed / not in PATH
    lfCannotStart,  // exec failed; Code is the errno
    lfExitStatus,   // Program ended at once with the failure status Code
    lfSignal        // Program was killed by the signal Code at once
  };
  TKind Kind = lfNone;
  std::string Program;
  int Code = 0;
};

class IProcessLauncher {
 public:
  virtual ~IProcessLauncher() = default;
  // True when the program can be started (a name is looked up in PATH).
  virtual bool HasProgram(const std::string& name) = 0;
  // Starts argv[0] with the arguments argv detached: in a session of its own, standard input from
  // /dev/null, and reaped by the system. True when the program was started.
  virtual bool Start(const std::vector<std::string>& argv) = 0;
  // Start, then up to waitMs for the program to end: helpers such as gio report "no application
  // for this type" only through a quick failure status. A program still running then counts as
  // started. False with the reason otherwise.
  virtual bool StartChecked(const std::vector<std::string>& argv, int waitMs, TLaunchFailure& failure) {
    (void)waitMs;
    if (Start(argv)) return true;
    failure = {HasProgram(argv.empty() ? std::string() : argv[0]) ? TLaunchFailure::lfCannotStart
                                                                   : TLaunchFailure::lfNotFound,
               argv.empty() ? std::string() : argv[0], 0};
    return false;
  }
  // Runs argv to its end with standard input and error on /dev/null and returns its exit status
  // with its standard output in `output`; -1 when it could not be started, ended by a signal or
  // ran longer than timeoutMs (it is then killed).
  virtual int Run(const std::vector<std::string>& argv, std::string& output, int timeoutMs) = 0;
};

class TProcessLauncher final : public IProcessLauncher {
 public:
  bool HasProgram(const std::string& name) override;
  bool Start(const std::vector<std::string>& argv) override;
  bool StartChecked(const std::vector<std::string>& argv, int waitMs, TLaunchFailure& failure) override;
  int Run(const std::vector<std::string>& argv, std::string& output, int timeoutMs) override;
};

// The launcher in use; the real one unless SetProcessLauncher installed another (nullptr puts the
// real one back).
IProcessLauncher& GetProcessLauncher();
void SetProcessLauncher(IProcessLauncher* launcher);

// The executable file that a program name stands for: the name itself when it holds a "/",
// otherwise the first match in $PATH. Empty when there is none.
std::string FindProgram(std::string_view name);

}  // namespace pelcrow::platform
