#include "platform/SingleInstance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <thread>
#include <tuple>

#include "platform/FileSystem.h"
#include "platform/SpecialFolders.h"

namespace pelcrow::platform {
namespace {

// A private folder: created 0700 when missing; an existing one must belong to us and let no one
// else in, since whoever can write there could hand us folders to scan.
bool EnsurePrivateFolder(const std::string& dir) {
  if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) return false;
  struct stat st {};
  if (::lstat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
  if (st.st_uid != ::getuid()) return false;
  if ((st.st_mode & 077) != 0 && ::chmod(dir.c_str(), 0700) != 0) return false;
  return true;
}

bool WriteAll(int fd, const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  return true;
}

bool ReadWhole(const std::string& path, std::string& out) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return false;
  out.clear();
  std::array<char, 4096> buf{};
  for (;;) {
    const ssize_t n = ::read(fd, buf.data(), buf.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ::close(fd);
      return n == 0;
    }
    out.append(buf.data(), static_cast<std::size_t>(n));
  }
}

// "<time>_<pid>_<n>" as three numbers; nullopt-like false for any other name.
bool ParseQueueName(const std::string& name, std::tuple<unsigned long long, unsigned long long, unsigned long long>& key) {
  unsigned long long parts[3] = {0, 0, 0};
  std::size_t part = 0;
  bool digit = false;
  for (char c : name) {
    if (c >= '0' && c <= '9') {
      parts[part] = parts[part] * 10 + static_cast<unsigned>(c - '0');
      digit = true;
    } else if (c == '_' && digit && part < 2) {
      ++part;
      digit = false;
    } else {
      return false;
    }
  }
  if (part != 2 || !digit) return false;
  key = {parts[0], parts[1], parts[2]};
  return true;
}

bool FillAddress(const std::string& path, sockaddr_un& addr) {
  std::memset(&addr, 0, sizeof addr);
  addr.sun_family = AF_UNIX;
  if (path.empty() || path.size() >= sizeof addr.sun_path) return false;
  std::memcpy(addr.sun_path, path.data(), path.size());
  return true;
}

std::string CleanAbsolute(const std::string& path) {
  std::vector<std::string> parts;
  std::size_t i = 0;
  while (i < path.size()) {
    std::size_t j = path.find('/', i);
    if (j == std::string::npos) j = path.size();
    std::string part = path.substr(i, j - i);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(std::move(part));
    }
    i = j + 1;
  }
  std::string out;
  for (const std::string& p : parts) out += "/" + p;
  return out.empty() ? "/" : out;
}

}  // namespace

std::string GetInstanceDirectory() {
  std::string base;
  if (const char* rt = std::getenv("XDG_RUNTIME_DIR"); rt && rt[0] == '/') {
    base = std::string(rt) + "/pelcrow";
  } else {
    base = TPcwSpecialFolders::GetTempPath() + "/pelcrow-" + std::to_string(::getuid());
  }
  return EnsurePrivateFolder(base) ? base : std::string();
}

// ------------------------------------------------------------------------------ queue

TShellQueue::TShellQueue(std::string folder) : fFolder(std::move(folder)) {}

bool TShellQueue::Add(const std::vector<std::string>& args, long pid) {
  if (args.empty()) return true;
  if (fFolder.empty() || !EnsurePrivateFolder(fFolder)) return false;
  const auto now = std::chrono::duration_cast<std::chrono::nanoseconds>(
                       std::chrono::system_clock::now().time_since_epoch())
                       .count();
  bool ok = true;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string name = std::to_string(now) + "_" + std::to_string(pid) + "_" + std::to_string(i + 1);
    const std::string temp = fFolder + "/." + name;
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
      ok = false;
      continue;
    }
    const bool written = WriteAll(fd, args[i]);
    if (::close(fd) != 0 || !written || ::rename(temp.c_str(), (fFolder + "/" + name).c_str()) != 0) {
      ::unlink(temp.c_str());
      ok = false;
    }
  }
  return ok;
}

std::vector<std::string> TShellQueue::Drain() {
  using TKey = std::tuple<unsigned long long, unsigned long long, unsigned long long>;
  std::vector<std::pair<TKey, std::string>> names;
  ListDirectory(fFolder, [&](std::string_view name, TEntryType type) {
    TKey key;
    if (type != TEntryType::etDirectory && ParseQueueName(std::string(name), key)) names.emplace_back(key, name);
  });
  std::sort(names.begin(), names.end());
  std::vector<std::string> out;
  for (const auto& [key, name] : names) {
    const std::string path = fFolder + "/" + name;
    std::string text;
    const bool read = ReadWhole(path, text);
    // Taken by whoever unlinks it: two copies draining at once never both get an entry.
    if (::unlink(path.c_str()) == 0 && read && !text.empty()) out.push_back(std::move(text));
  }
  return out;
}

// ------------------------------------------------------------------------------ instance

TSingleInstance::TSingleInstance(std::string folder) : fFolder(std::move(folder)) {}

TSingleInstance::~TSingleInstance() {
  if (fServer >= 0) {
    ::close(fServer);
    ::unlink(SocketPath().c_str());
  }
  if (fLock >= 0) ::close(fLock);
}

std::string TSingleInstance::LockPath() const { return fFolder + "/instance.lock"; }
std::string TSingleInstance::SocketPath() const { return fFolder + "/instance.sock"; }
std::string TSingleInstance::QueuePath() const { return fFolder.empty() ? std::string() : fFolder + "/queue"; }

void TSingleInstance::ShellQueueAdd(const std::vector<std::string>& args) {
  TShellQueue(QueuePath()).Add(args, static_cast<long>(::getpid()));
}

std::vector<std::string> TSingleInstance::DrainQueue() {
  if (fFolder.empty()) return {};
  return TShellQueue(QueuePath()).Drain();
}

bool TSingleInstance::TryLock() {
  const int fd = ::open(LockPath().c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) return false;
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);
    return false;
  }
  if (::ftruncate(fd, 0) == 0) WriteAll(fd, std::to_string(::getpid()) + "\n");
  fLock = fd;
  return true;
}

bool TSingleInstance::Listen() {
  sockaddr_un addr{};
  if (!FillAddress(SocketPath(), addr)) return false;
  // Left behind by a copy that crashed; we hold the lock, so no live copy owns it.
  ::unlink(SocketPath().c_str());
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) return false;
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0 || ::listen(fd, 16) != 0) {
    ::close(fd);
    return false;
  }
  fServer = fd;
  return true;
}

bool TSingleInstance::CheckSingleInstance(int retryMs) {
  if (fFolder.empty()) return true;
  if (WakeRunningInstance(SocketPath())) return false;
  if (TryLock()) {
    Listen();  // without the socket this copy still works; later starts then only queue
    return true;
  }
  // The holder is starting and not yet listening; it drains the queue once it does.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(retryMs);
  while (std::chrono::steady_clock::now() < deadline) {
    if (WakeRunningInstance(SocketPath())) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return false;
}

bool TSingleInstance::AcceptWakeUps() {
  if (fServer < 0) return false;
  bool any = false;
  for (;;) {
    const int c = ::accept4(fServer, nullptr, nullptr, SOCK_CLOEXEC);
    if (c < 0) {
      if (errno == EINTR) continue;
      break;
    }
    any = true;
    // The poke is "w" and the token; a client that connected and sent nothing still counts.
    timeval wait{0, 200000};
    ::setsockopt(c, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    std::string message;
    char buf[256];
    for (;;) {
      const ssize_t n = ::recv(c, buf, sizeof buf, 0);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0 || message.size() > 4096) break;
      message.append(buf, static_cast<std::size_t>(n));
    }
    ::close(c);
    fActivationToken = message.size() > 1 && message[0] == 'w' ? message.substr(1) : std::string();
  }
  return any;
}

bool WakeRunningInstance(const std::string& socketPath) {
  sockaddr_un addr{};
  if (!FillAddress(socketPath, addr)) return false;
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  bool ok = ::connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0;
  std::string message = "w";
  if (const char* token = std::getenv("XDG_ACTIVATION_TOKEN")) message += token;
  if (ok) ok = WriteAll(fd, message);
  ::close(fd);
  return ok;
}

std::vector<std::string> MakeArgumentsAbsolute(const std::vector<std::string>& args, const std::string& cwd) {
  std::vector<std::string> out;
  for (const std::string& a : args) {
    if (a.empty()) continue;
    out.push_back(CleanAbsolute(a[0] == '/' ? a : cwd + "/" + a));
  }
  return out;
}

}  // namespace pelcrow::platform
