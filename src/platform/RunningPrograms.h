// Whether a program runs for this user (a player that rewrites its library files on exit).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace pelcrow::platform {

// True when a live process of the current user has this command name (/proc/PID/comm); one that
// ended and waits to be reaped does not count.
bool IsProgramRunning(std::string_view Name);
// True while the process lives (one that ended and waits to be reaped does not).
bool IsProcessAlive(int Pid);
// The arguments (argv[0] first) of each such process.
std::vector<std::vector<std::string>> RunningProgramArguments(std::string_view Name);

}  // namespace pelcrow::platform
