#include "platform/ProcessLauncher.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <ctime>

extern char** environ;

namespace pelcrow::platform {

namespace {

std::atomic<IProcessLauncher*> gLauncher{nullptr};

bool IsExecutableFile(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

// The argument vector as the exec calls want it; the strings stay owned by `args`.
std::vector<char*> ArgvOf(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  argv.reserve(args.size() + 1);
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  return argv;
}

void CloseFd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

// Waits for pid until the deadline; the exit status, or -1 (signal, timeout: then killed).
int WaitFor(pid_t pid, std::chrono::steady_clock::time_point deadline) {
  for (;;) {
    int status = 0;
    pid_t r = ::waitpid(pid, &status, WNOHANG);
    if (r == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (r < 0 && errno != EINTR) return -1;
    if (std::chrono::steady_clock::now() >= deadline) {
      ::kill(pid, SIGKILL);
      while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
      }
      return -1;
    }
    ::poll(nullptr, 0, 5);
  }
}

}  // namespace

std::string FindProgram(std::string_view name) {
  if (name.empty()) return {};
  if (name.find('/') != std::string_view::npos) {
    std::string path(name);
    return IsExecutableFile(path) ? path : std::string();
  }
  const char* env = std::getenv("PATH");
  std::string_view dirs = env != nullptr && env[0] != '\0' ? env : "/usr/local/bin:/usr/bin:/bin";
  while (true) {
    const std::size_t colon = dirs.find(':');
    std::string dir(dirs.substr(0, colon));
    if (dir.empty()) dir = ".";
    std::string candidate = dir + "/" + std::string(name);
    if (IsExecutableFile(candidate)) return candidate;
    if (colon == std::string_view::npos) break;
    dirs.remove_prefix(colon + 1);
  }
  return {};
}

bool TProcessLauncher::HasProgram(const std::string& name) { return !FindProgram(name).empty(); }

bool TProcessLauncher::Start(const std::vector<std::string>& args) {
  TLaunchFailure ignored;
  return StartChecked(args, 0, ignored);
}

bool TProcessLauncher::StartChecked(const std::vector<std::string>& args, int waitMs, TLaunchFailure& failure) {
  failure = {};
  if (args.empty()) {
    failure = {TLaunchFailure::lfNotFound, {}, 0};
    return false;
  }
  const std::string exe = FindProgram(args[0]);
  if (exe.empty()) {
    failure = {TLaunchFailure::lfNotFound, args[0], 0};
    return false;
  }
  // Everything the children need is made before fork: after it only async-signal-safe calls.
  std::vector<char*> argv = ArgvOf(args);
  const int waitSteps = waitMs > 0 ? (waitMs + 9) / 10 : 0;
  // The children write {kind, code} here: exec failure, or the early end of the program.
  int report[2] = {-1, -1};
  if (::pipe2(report, O_CLOEXEC) != 0) {
    failure = {TLaunchFailure::lfCannotStart, args[0], errno};
    return false;
  }
  int devNull = ::open("/dev/null", O_RDWR | O_CLOEXEC);
  if (devNull < 0) {
    failure = {TLaunchFailure::lfCannotStart, args[0], errno};
    CloseFd(report[0]);
    CloseFd(report[1]);
    return false;
  }

  const pid_t child = ::fork();
  if (child == 0) {
    // Middle child: a new session, then a grandchild that init reaps once we exit.
    sigset_t none;
    ::sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    ::signal(SIGPIPE, SIG_DFL);
    ::setsid();
    const pid_t grandchild = ::fork();
    if (grandchild != 0) {
      int rec[2] = {TLaunchFailure::lfCannotStart, errno};
      if (grandchild < 0) {
        [[maybe_unused]] ssize_t n = ::write(report[1], rec, sizeof rec);
        ::_exit(0);
      }
      for (int i = 0; i < waitSteps; ++i) {
        int status = 0;
        const pid_t r = ::waitpid(grandchild, &status, WNOHANG);
        if (r == grandchild) {
          if (WIFEXITED(status) && WEXITSTATUS(status) != 0) {
            rec[0] = TLaunchFailure::lfExitStatus;
            rec[1] = WEXITSTATUS(status);
            [[maybe_unused]] ssize_t n = ::write(report[1], rec, sizeof rec);
          } else if (WIFSIGNALED(status)) {
            rec[0] = TLaunchFailure::lfSignal;
            rec[1] = WTERMSIG(status);
            [[maybe_unused]] ssize_t n = ::write(report[1], rec, sizeof rec);
          }
          break;
        }
        if (r < 0 && errno != EINTR) break;
        const timespec step{0, 10 * 1000 * 1000};
        ::nanosleep(&step, nullptr);
      }
      ::_exit(0);
    }
    ::dup2(devNull, STDIN_FILENO);
    // Descriptors the process opened without close-on-exec must not reach the program.
    ::close_range(3, ~0U, CLOSE_RANGE_CLOEXEC);
    ::execve(exe.c_str(), argv.data(), environ);
    int rec[2] = {TLaunchFailure::lfCannotStart, errno};
    [[maybe_unused]] ssize_t n = ::write(report[1], rec, sizeof rec);
    ::_exit(127);
  }
  CloseFd(report[1]);
  CloseFd(devNull);
  if (child < 0) {
    failure = {TLaunchFailure::lfCannotStart, args[0], errno};
    CloseFd(report[0]);
    return false;
  }
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  // End of file without a report means the exec succeeded and the program did not fail at once.
  // The first record counts: a failed exec also ends the grandchild with 127.
  int rec[2] = {0, 0};
  ssize_t n;
  do {
    n = ::read(report[0], rec, sizeof rec);
  } while (n < 0 && errno == EINTR);
  CloseFd(report[0]);
  if (n == 0) return true;
  failure = {n == static_cast<ssize_t>(sizeof rec) ? static_cast<TLaunchFailure::TKind>(rec[0])
                                                    : TLaunchFailure::lfCannotStart,
             args[0], n == static_cast<ssize_t>(sizeof rec) ? rec[1] : 0};
  return false;
}

int TProcessLauncher::Run(const std::vector<std::string>& args, std::string& output, int timeoutMs) {
  output.clear();
  if (args.empty()) return -1;
  const std::string exe = FindProgram(args[0]);
  if (exe.empty()) return -1;
  std::vector<char*> argv = ArgvOf(args);
  int out[2] = {-1, -1};
  if (::pipe2(out, O_CLOEXEC) != 0) return -1;

  posix_spawn_file_actions_t actions;
  ::posix_spawn_file_actions_init(&actions);
  ::posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  ::posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  ::posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawnattr_t attr;
  ::posix_spawnattr_init(&attr);
  sigset_t none;
  ::sigemptyset(&none);
  ::posix_spawnattr_setsigmask(&attr, &none);
  sigset_t defaults;
  ::sigemptyset(&defaults);
  ::sigaddset(&defaults, SIGPIPE);
  ::posix_spawnattr_setsigdefault(&attr, &defaults);
  ::posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  pid_t pid = -1;
  const int spawned = ::posix_spawn(&pid, exe.c_str(), &actions, &attr, argv.data(), environ);
  ::posix_spawnattr_destroy(&attr);
  ::posix_spawn_file_actions_destroy(&actions);
  CloseFd(out[1]);
  if (spawned != 0) {
    CloseFd(out[0]);
    return -1;
  }

  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  char buf[4096];
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    pollfd p{out[0], POLLIN, 0};
    const int ready = ::poll(&p, 1, static_cast<int>(left.count()));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) break;
    const ssize_t n = ::read(out[0], buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    output.append(buf, static_cast<std::size_t>(n));
  }
  CloseFd(out[0]);
  return WaitFor(pid, deadline);
}

IProcessLauncher& GetProcessLauncher() {
  static TProcessLauncher real;
  IProcessLauncher* installed = gLauncher.load();
  return installed != nullptr ? *installed : real;
}

void SetProcessLauncher(IProcessLauncher* launcher) { gLauncher.store(launcher); }

}  // namespace pelcrow::platform
