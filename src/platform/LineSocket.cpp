#include "platform/LineSocket.h"

#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstring>

namespace pelcrow::platform {

namespace {

// Connects a non-blocking socket within the time limit; 0 or an errno value.
int FinishConnect(int fd, const sockaddr* addr, socklen_t len, int timeoutMs) {
  if (::connect(fd, addr, len) == 0) return 0;
  if (errno != EINPROGRESS && errno != EAGAIN) return errno;
  pollfd p{fd, POLLOUT, 0};
  int n;
  do {
    n = ::poll(&p, 1, timeoutMs);
  } while (n < 0 && errno == EINTR);
  if (n == 0) return ETIMEDOUT;
  if (n < 0) return errno;
  int err = 0;
  socklen_t errLen = sizeof err;
  if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &errLen) != 0) return errno;
  return err;
}

}  // namespace

int TLineSocket::ConnectTcp(const std::string& Host, int Port, int TimeoutMs) {
  Close();
  fTimeoutMs = TimeoutMs;
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* list = nullptr;
  const std::string port = std::to_string(Port);
  if (::getaddrinfo(Host.c_str(), port.c_str(), &hints, &list) != 0 || list == nullptr) return EHOSTUNREACH;
  int last = ECONNREFUSED;
  for (addrinfo* a = list; a != nullptr; a = a->ai_next) {
    const int fd = ::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
    if (fd < 0) {
      last = errno;
      continue;
    }
    last = FinishConnect(fd, a->ai_addr, a->ai_addrlen, TimeoutMs);
    if (last == 0) {
      fFd = fd;
      break;
    }
    ::close(fd);
  }
  ::freeaddrinfo(list);
  fLocal = false;
  return last;
}

int TLineSocket::ConnectUnix(const std::string& Path, int TimeoutMs) {
  Close();
  fTimeoutMs = TimeoutMs;
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  if (Path.empty() || Path.size() >= sizeof addr.sun_path) return ENAMETOOLONG;
  std::memcpy(addr.sun_path, Path.data(), Path.size());
  socklen_t len = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + Path.size());
  if (Path[0] == '@') {
    addr.sun_path[0] = '\0';  // the abstract namespace
  } else {
    ++len;
  }
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) return errno;
  if (const int err = FinishConnect(fd, reinterpret_cast<const sockaddr*>(&addr), len, TimeoutMs)) {
    ::close(fd);
    return err;
  }
  fFd = fd;
  fLocal = true;
  return 0;
}

void TLineSocket::Close() {
  if (fFd >= 0) ::close(fFd);
  fFd = -1;
  fBuffer.clear();
}

int TLineSocket::WaitFor(short Events) {
  pollfd p{fFd, Events, 0};
  int n;
  do {
    n = ::poll(&p, 1, fTimeoutMs);
  } while (n < 0 && errno == EINTR);
  if (n == 0) return ETIMEDOUT;
  return n < 0 ? errno : 0;
}

int TLineSocket::WriteAll(std::string_view Data) {
  if (fFd < 0) return EBADF;
  while (!Data.empty()) {
    const ssize_t n = ::send(fFd, Data.data(), Data.size(), MSG_NOSIGNAL);
    if (n > 0) {
      Data.remove_prefix(static_cast<std::size_t>(n));
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      if (const int err = WaitFor(POLLOUT)) return err;
      continue;
    }
    return n < 0 ? errno : EPIPE;
  }
  return 0;
}

int TLineSocket::ReadLine(std::string& Line) {
  if (fFd < 0) return EBADF;
  for (;;) {
    const std::size_t nl = fBuffer.find('\n');
    if (nl != std::string::npos) {
      Line.assign(fBuffer, 0, nl);
      fBuffer.erase(0, nl + 1);
      return 0;
    }
    char buf[16384];
    const ssize_t n = ::recv(fFd, buf, sizeof buf, 0);
    if (n > 0) {
      fBuffer.append(buf, static_cast<std::size_t>(n));
      continue;
    }
    if (n == 0) return ECONNRESET;
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) return errno;
    if (const int err = WaitFor(POLLIN)) return err;
  }
}

}  // namespace pelcrow::platform
