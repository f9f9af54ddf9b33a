// A real MPD for one test: a temporary configuration in the test's folder (music folder with
// generated WAV files, plain .m3u playlists, null audio output, loopback and a free port, plus a
// local socket), started before the test body and stopped at its end. mpc is the oracle.
#pragma once

#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "TestUtil.h"

namespace pelcrow::test {

inline int RunShell(const std::string& cmd, std::string* out = nullptr) {
  FILE* p = ::popen((cmd + " 2>&1").c_str(), "r");
  if (!p) return -1;
  std::string text;
  char buf[4096];
  while (std::size_t n = std::fread(buf, 1, sizeof buf, p)) text.append(buf, n);
  if (out) *out = text;
  return WEXITSTATUS(::pclose(p));
}

inline std::string ShellQuote(const std::string& s) {
  std::string out = "'";
  for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

// A short mono 8 kHz WAV whose samples depend on Seed (so that copies are duplicates only when
// made from the same seed).
inline std::string WavBytes(int Seed) {
  const std::uint32_t samples = 4000;
  std::string d;
  auto u32 = [&](std::uint32_t v) { for (int i = 0; i < 4; ++i) d += static_cast<char>((v >> (8 * i)) & 0xFF); };
  auto u16 = [&](std::uint16_t v) { d += static_cast<char>(v & 0xFF); d += static_cast<char>(v >> 8); };
  d += "RIFF";
  u32(36 + samples * 2);
  d += "WAVEfmt ";
  u32(16); u16(1); u16(1); u32(8000); u32(16000); u16(2); u16(16);
  d += "data";
  u32(samples * 2);
  for (std::uint32_t i = 0; i < samples; ++i) u16(static_cast<std::uint16_t>((i * 37 + static_cast<std::uint32_t>(Seed) * 1009) & 0x3FFF));
  return d;
}

inline int FreeLoopbackPort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
  ::close(fd);
  return ntohs(a.sin_port);
}

class TMpdServer {
 public:
  static bool Available() { return RunShell("command -v mpd && command -v mpc") == 0; }

  // Songs: relative path -> seed; Playlists: name -> URIs.
  TMpdServer(const std::string& Root, const std::map<std::string, int>& Songs,
             const std::map<std::string, std::vector<std::string>>& Playlists)
      : fRoot(Root), fPort(FreeLoopbackPort()) {
    namespace fs = std::filesystem;
    // A socket path must be short; the test's folder may not be.
    char socketDir[] = "/tmp/pelcrow-mpd-XXXXXX";
    fSocketDir = ::mkdtemp(socketDir) ? socketDir : fRoot;
    fs::create_directories(Music());
    fs::create_directories(fRoot + "/playlists");
    for (const auto& [rel, seed] : Songs) WriteFile(Music() + "/" + rel, WavBytes(seed));
    for (const auto& [name, uris] : Playlists) {
      std::string text;
      for (const std::string& u : uris) text += u + "\n";
      WriteFile(fRoot + "/playlists/" + name + ".m3u", text);
    }
    std::ofstream(Config()) << "music_directory \"" << Music() << "\"\nplaylist_directory \"" << fRoot
                            << "/playlists\"\ndb_file \"" << fRoot << "/db\"\nstate_file \"" << fRoot
                            << "/state\"\npid_file \"" << fRoot << "/pid\"\nlog_file \"" << fRoot
                            << "/log\"\nbind_to_address \"127.0.0.1\"\nbind_to_address \"" << Socket()
                            << "\"\nport \"" << fPort << "\"\nauto_update \"no\"\nzeroconf_enabled \"no\"\n"
                            << "audio_output {\n type \"null\"\n name \"null\"\n}\n";
    fPid = ::fork();
    if (fPid == 0) {
      const int null = ::open("/dev/null", O_WRONLY);
      ::dup2(null, 1);
      ::dup2(null, 2);
      ::execlp("mpd", "mpd", "--no-daemon", Config().c_str(), static_cast<char*>(nullptr));
      ::_exit(127);
    }
    for (int i = 0; i < 100 && !Mpc("status", nullptr); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    Mpc("update --wait", nullptr);
  }
  ~TMpdServer() {
    RunShell("mpd --kill " + ShellQuote(Config()));
    int status = 0;
    bool ended = false;
    for (int i = 0; i < 100 && !ended; ++i) {
      ended = ::waitpid(fPid, &status, WNOHANG) == fPid;
      if (!ended) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    if (!ended) {
      ::kill(fPid, SIGKILL);
      ::waitpid(fPid, &status, 0);
    }
    std::error_code ec;
    if (fSocketDir != fRoot) std::filesystem::remove_all(fSocketDir, ec);
  }
  TMpdServer(const TMpdServer&) = delete;
  TMpdServer& operator=(const TMpdServer&) = delete;

  std::string Music() const { return fRoot + "/music"; }
  std::string Socket() const { return fSocketDir + "/socket"; }
  int Port() const { return fPort; }
  std::string Config() const { return fRoot + "/mpd.conf"; }

  // Runs mpc against this server; true on success.
  bool Mpc(const std::string& Args, std::string* Out) const {
    return RunShell("mpc -q --host 127.0.0.1 --port " + std::to_string(fPort) + " " + Args, Out) == 0;
  }
  // One line per entry.
  std::vector<std::string> Lines(const std::string& Args) const {
    std::string out;
    Mpc(Args, &out);
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < out.size()) {
      std::size_t nl = out.find('\n', start);
      if (nl == std::string::npos) nl = out.size();
      lines.push_back(out.substr(start, nl - start));
      start = nl + 1;
    }
    return lines;
  }
  std::vector<std::string> Playlist(const std::string& Name) const {
    return Lines("-f %file% playlist " + ShellQuote(Name));
  }
  std::vector<std::string> Database() const { return Lines("listall"); }

 private:
  static void WriteFile(const std::string& path, const std::string& bytes) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
  }
  std::string fRoot, fSocketDir;
  int fPort;
  pid_t fPid = -1;
};

}  // namespace pelcrow::test
