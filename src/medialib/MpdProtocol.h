// The music server's (MPD's) text protocol: where the server is, how arguments are quoted, how a
// reply reads, and one connection that sends a command and reads its reply.
//
// A reply is "key: value" lines ending in "OK", or one "ACK [code@index] {command} message".
#pragma once

#include <exception>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/LineSocket.h"

namespace pelcrow {

// Where the server listens, as its own clients find it: MPD_HOST is "[password@]host", a socket
// path ("/run/mpd/socket", "~/..."), or "@name" (the abstract namespace); MPD_PORT the port.
struct TMpdAddress {
  std::string Host = "localhost";
  int Port = 6600;
  std::string Password;
  bool IsSocket() const { return !Host.empty() && (Host[0] == '/' || Host[0] == '@'); }
  // "host:port" or the socket path, for messages.
  std::string Text() const;
};
// From the values of MPD_HOST and MPD_PORT (empty: not set); Home expands a leading "~/".
TMpdAddress ParseMpdAddress(std::string_view HostValue, std::string_view PortValue, std::string_view Home);
// From the environment.
TMpdAddress MpdAddressFromEnvironment();

// An argument in double quotes with \ and " escaped.
std::string MpdQuote(std::string_view Argument);
// A filter expression's string: quoted for the filter, and the whole filter quoted again.
std::string MpdFileFilter(std::string_view Uri);

struct TMpdReply {
  bool Ok = false;
  std::vector<std::pair<std::string, std::string>> Pairs;
  int AckCode = 0;
  std::string AckText;  // the whole ACK line's message
  // Every value of the key, in order.
  std::vector<std::string> Values(std::string_view Key) const;
  // The first value of the key, or empty.
  std::string Value(std::string_view Key) const;
  bool Has(std::string_view Key) const;
};

// Reads a reply line by line.
class TMpdReplyParser {
 public:
  // False when the line ended the reply (Reply() is then complete).
  bool Feed(std::string_view Line);
  const TMpdReply& Reply() const { return fReply; }
  TMpdReply Take() { return std::move(fReply); }

 private:
  TMpdReply fReply;
};

// One connection. Commands throw TMpdError when the connection fails (the server is gone or
// too slow); an ACK is a normal reply.
class TMpdError : public std::exception {
 public:
  explicit TMpdError(std::string text) : fText(std::move(text)) {}
  const char* what() const noexcept override { return fText.c_str(); }

 private:
  std::string fText;
};

class TMpdConnection {
 public:
  // 0, or an errno value with the reason in Error (translated sentence parts stay English here:
  // they end up in the log and in the notice).
  int Connect(const TMpdAddress& Address, int TimeoutMs, std::string& Error);
  bool IsLocal() const { return fSocket.IsLocal(); }
  const std::string& Version() const { return fVersion; }
  // Sends one command line (without its line break) and reads the reply.
  TMpdReply Command(const std::string& Line);
  // The same, but an ACK throws TMpdError with its message.
  TMpdReply Checked(const std::string& Line);
  void Close();

 private:
  platform::TLineSocket fSocket;
  std::string fVersion;
};

}  // namespace pelcrow
