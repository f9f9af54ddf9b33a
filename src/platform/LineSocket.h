// A line-oriented stream socket to a local or network server (the music server's protocol),
// with time limits on every step: a server that does not answer makes a call fail with
// ETIMEDOUT, it never blocks the caller for longer.
#pragma once

#include <string>
#include <string_view>

namespace pelcrow::platform {

class TLineSocket {
 public:
  TLineSocket() = default;
  TLineSocket(const TLineSocket&) = delete;
  TLineSocket& operator=(const TLineSocket&) = delete;
  ~TLineSocket() { Close(); }

  // 0 or an errno value (a name that does not resolve gives EHOSTUNREACH).
  int ConnectTcp(const std::string& Host, int Port, int TimeoutMs);
  // A socket path; one starting with "@" is in the abstract namespace.
  int ConnectUnix(const std::string& Path, int TimeoutMs);
  bool IsOpen() const { return fFd >= 0; }
  // True for a connection through a socket file (a local client, which some servers trust more).
  bool IsLocal() const { return fLocal; }
  void Close();

  // Each waits at most the time limit given to the connect.
  int WriteAll(std::string_view Data);
  // One line without its line break; ECONNRESET when the server closed before one ended.
  int ReadLine(std::string& Line);

 private:
  int WaitFor(short Events);
  int fFd = -1;
  int fTimeoutMs = 5000;
  bool fLocal = false;
  std::string fBuffer;
};

}  // namespace pelcrow::platform
