#include "medialib/MpdProtocol.h"

#include <charconv>
#include <cstdlib>

#include "platform/FileSystem.h"

namespace pelcrow {

std::string TMpdAddress::Text() const { return IsSocket() ? Host : Host + ":" + std::to_string(Port); }

TMpdAddress ParseMpdAddress(std::string_view HostValue, std::string_view PortValue, std::string_view Home) {
  TMpdAddress a;
  std::string_view host = HostValue;
  // "password@host"; a leading "@" is the abstract namespace, not an empty password.
  if (const std::size_t at = host.find('@'); at != std::string_view::npos && at > 0) {
    a.Password = std::string(host.substr(0, at));
    host.remove_prefix(at + 1);
  }
  if (!host.empty()) a.Host = std::string(host);
  if (a.Host.size() >= 2 && a.Host[0] == '~' && a.Host[1] == '/' && !Home.empty())
    a.Host = std::string(Home) + a.Host.substr(1);
  int port = 0;
  const auto [end, ec] = std::from_chars(PortValue.data(), PortValue.data() + PortValue.size(), port);
  if (ec == std::errc() && end == PortValue.data() + PortValue.size() && port > 0 && port < 65536) a.Port = port;
  return a;
}

TMpdAddress MpdAddressFromEnvironment() {
  auto env = [](const char* name) -> std::string_view {
    const char* v = std::getenv(name);
    return v ? std::string_view(v) : std::string_view();
  };
  return ParseMpdAddress(env("MPD_HOST"), env("MPD_PORT"), env("HOME"));
}

std::string MpdQuote(std::string_view Argument) {
  std::string out = "\"";
  for (char c : Argument) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out + "\"";
}

std::string MpdFileFilter(std::string_view Uri) { return MpdQuote("(file == " + MpdQuote(Uri) + ")"); }

std::vector<std::string> TMpdReply::Values(std::string_view Key) const {
  std::vector<std::string> out;
  for (const auto& [k, v] : Pairs)
    if (k == Key) out.push_back(v);
  return out;
}

std::string TMpdReply::Value(std::string_view Key) const {
  for (const auto& [k, v] : Pairs)
    if (k == Key) return v;
  return {};
}

bool TMpdReply::Has(std::string_view Key) const {
  for (const auto& p : Pairs)
    if (p.first == Key) return true;
  return false;
}

bool TMpdReplyParser::Feed(std::string_view Line) {
  if (!Line.empty() && Line.back() == '\r') Line.remove_suffix(1);
  if (Line == "OK") {
    fReply.Ok = true;
    return false;
  }
  if (Line.substr(0, 4) == "ACK ") {
    fReply.Ok = false;
    std::string_view rest = Line.substr(4);
    // "[code@index] {command} message"
    if (rest.size() > 1 && rest[0] == '[') {
      const std::size_t at = rest.find('@');
      if (at != std::string_view::npos) std::from_chars(rest.data() + 1, rest.data() + at, fReply.AckCode);
    }
    const std::size_t brace = rest.find("} ");
    fReply.AckText = std::string(brace == std::string_view::npos ? rest : rest.substr(brace + 2));
    return false;
  }
  // Binary chunks are never asked for; a line without ": " is kept whole as a key.
  const std::size_t colon = Line.find(": ");
  if (colon == std::string_view::npos) {
    fReply.Pairs.emplace_back(std::string(Line), std::string());
  } else {
    fReply.Pairs.emplace_back(std::string(Line.substr(0, colon)), std::string(Line.substr(colon + 2)));
  }
  return true;
}

int TMpdConnection::Connect(const TMpdAddress& Address, int TimeoutMs, std::string& Error) {
  const int err = Address.IsSocket() ? fSocket.ConnectUnix(Address.Host, TimeoutMs)
                                     : fSocket.ConnectTcp(Address.Host, Address.Port, TimeoutMs);
  if (err != 0) {
    Error = platform::ErrorText(err);
    return err;
  }
  std::string greeting;
  if (const int e = fSocket.ReadLine(greeting); e != 0 || greeting.rfind("OK MPD ", 0) != 0) {
    Error = e != 0 ? platform::ErrorText(e) : "not an MPD server";
    Close();
    return e != 0 ? e : EPROTO;
  }
  fVersion = greeting.substr(7);
  if (!Address.Password.empty()) {
    try {
      const TMpdReply r = Command("password " + MpdQuote(Address.Password));
      if (!r.Ok) {
        Error = r.AckText;
        Close();
        return EACCES;
      }
    } catch (const TMpdError& e) {
      Error = e.what();
      return ECONNRESET;
    }
  }
  return 0;
}

TMpdReply TMpdConnection::Command(const std::string& Line) {
  if (!fSocket.IsOpen()) throw TMpdError("not connected to MPD");
  if (const int err = fSocket.WriteAll(Line + "\n")) {
    Close();
    throw TMpdError("cannot send to MPD: " + platform::ErrorText(err));
  }
  TMpdReplyParser parser;
  std::string line;
  do {
    if (const int err = fSocket.ReadLine(line)) {
      Close();
      throw TMpdError("cannot read MPD's reply: " + platform::ErrorText(err));
    }
  } while (parser.Feed(line));
  return parser.Take();
}

TMpdReply TMpdConnection::Checked(const std::string& Line) {
  TMpdReply r = Command(Line);
  if (!r.Ok) throw TMpdError("MPD: " + r.AckText);
  return r;
}

void TMpdConnection::Close() { fSocket.Close(); }

}  // namespace pelcrow
