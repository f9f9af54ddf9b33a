// A real Rhythmbox for a test: a private session bus (installed in this process's environment,
// so the back-end's calls reach it), a virtual display, and a temporary HOME whose music folder is
// the test's. Started and quit on demand: Rhythmbox saves its files only when it ends, which is
// when a test can read them. Tests that run Rhythmbox hold a machine-wide lock, since the
// back-end looks for any running Rhythmbox of the user.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

#include <chrono>
#include <optional>
#include <string>
#include <thread>

#include "TestUtil.h"
#include "medialib/MpdServer.h"
#include "platform/RunningPrograms.h"
#include "platform/SessionBus.h"

namespace pelcrow::test {

// Empty when Rhythmbox can be run here, else why not.
inline std::string RhythmboxMissing() {
  if (RunShell("command -v rhythmbox && command -v xvfb-run && command -v dbus-daemon && command -v gdbus") != 0)
    return "rhythmbox, xvfb-run, dbus-daemon or gdbus is not installed";
  return {};
}

// Held while a test runs Rhythmbox.
class TRhythmboxLock {
 public:
  TRhythmboxLock() : fFd(::open("/tmp/pelcrow-rhythmbox-tests.lock", O_RDWR | O_CREAT | O_CLOEXEC, 0666)) {
    if (fFd >= 0) ::flock(fFd, LOCK_EX);
  }
  ~TRhythmboxLock() {
    if (fFd >= 0) ::close(fFd);
  }
  TRhythmboxLock(const TRhythmboxLock&) = delete;
  TRhythmboxLock& operator=(const TRhythmboxLock&) = delete;

 private:
  int fFd;
};

class TRhythmboxPlayer {
 public:
  // Home: the temporary HOME (its Music folder is the library's); Work: for logs.
  TRhythmboxPlayer(std::string Home, std::string Work) : fHome(std::move(Home)), fWork(std::move(Work)) {
    WriteFile(fHome + "/.config/user-dirs.dirs", "XDG_MUSIC_DIR=\"$HOME/Music\"\n");
    std::string out;
    if (RunShell("dbus-daemon --session --fork --print-address=1 --print-pid=1", &out) == 0) {
      const std::size_t nl = out.find('\n');
      fAddress = out.substr(0, nl);
      if (nl != std::string::npos) fBusPid = std::atoi(out.c_str() + nl + 1);
    }
    if (!fAddress.empty()) fEnv.emplace("DBUS_SESSION_BUS_ADDRESS", fAddress);
  }
  ~TRhythmboxPlayer() {
    Quit();
    if (fPid > 0) ::kill(fPid, SIGTERM);
    if (fBusPid > 0) ::kill(fBusPid, SIGTERM);
  }
  TRhythmboxPlayer(const TRhythmboxPlayer&) = delete;
  TRhythmboxPlayer& operator=(const TRhythmboxPlayer&) = delete;

  bool HasBus() const { return !fAddress.empty(); }

  // Starts Rhythmbox and waits until it has loaded its library (the entry of Uri answers).
  bool Start(const std::string& Uri) {
    const std::string env = "HOME=" + ShellQuote(fHome) + " XDG_DATA_HOME=" + ShellQuote(fHome + "/.local/share") +
                            " XDG_CONFIG_HOME=" + ShellQuote(fHome + "/.config") + " XDG_CACHE_HOME=" +
                            ShellQuote(fHome + "/.cache") + " GSETTINGS_BACKEND=memory NO_AT_BRIDGE=1";
    std::string out;
    RunShell("cd " + ShellQuote(fWork) + " && " + env + " xvfb-run -a rhythmbox >>rhythmbox.log 2>&1 & echo $!", &out);
    fPid = std::atoi(out.c_str());
    for (int i = 0; i < 300; ++i) {
      std::string reply;
      if (Bus().NameHasOwner("org.gnome.Rhythmbox3") && Entry(Uri, reply)) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
  }

  // Quits Rhythmbox (it writes its files) and waits until it has ended.
  void Quit() {
    if (fPid <= 0) return;
    std::string reply;
    if (Bus().NameHasOwner("org.gnome.Rhythmbox3"))
      Bus().Call("org.gnome.Rhythmbox3", "/org/gnome/Rhythmbox3", "org.gtk.Actions.Activate", {"'quit'", "[]", "{}"}, reply);
    WaitEnded();
  }
  // Waits until the Rhythmbox started last has ended (closed by someone else).
  bool WaitEnded() {
    for (int i = 0; i < 300 && fPid > 0; ++i) {
      if (!platform::IsProcessAlive(fPid)) {
        fPid = 0;
      } else {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
      }
    }
    return fPid == 0;
  }

  // The entry's properties, as GetEntryProperties prints them.
  bool Entry(const std::string& Uri, std::string& Reply) const {
    return Bus().Call("org.gnome.Rhythmbox3", "/org/gnome/Rhythmbox3/RhythmDB", "org.gnome.Rhythmbox3.RhythmDB.GetEntryProperties",
                      {platform::GVariantQuote(Uri)}, Reply);
  }
  bool Running() const { return Bus().NameHasOwner("org.gnome.Rhythmbox3"); }
  std::string Log() const { return ReadAll(fWork + "/rhythmbox.log"); }

 private:
  static platform::TSessionBus Bus() { return platform::TSessionBus(5000); }
  static void WriteFile(const std::string& path, const std::string& text) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << text;
  }

  std::string fHome, fWork, fAddress;
  int fBusPid = 0, fPid = 0;
  std::optional<TScopedEnv> fEnv;
};

}  // namespace pelcrow::test
