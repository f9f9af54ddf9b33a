#include "platform/SessionBus.h"

#include <cstdlib>

#include "platform/ProcessLauncher.h"

namespace pelcrow::platform {

namespace {

void AppendUtf8(std::string& out, unsigned long c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

// Reads the literal whose quote is at Text[Pos]; Pos ends just after its closing quote.
std::string ReadLiteral(std::string_view Text, std::size_t& Pos) {
  const char quote = Text[Pos++];
  std::string out;
  while (Pos < Text.size() && Text[Pos] != quote) {
    char c = Text[Pos++];
    if (c != '\\' || Pos >= Text.size()) {
      out += c;
      continue;
    }
    c = Text[Pos++];
    switch (c) {
      case 'n': out += '\n'; break;
      case 't': out += '\t'; break;
      case 'r': out += '\r'; break;
      case 'a': out += '\a'; break;
      case 'b': out += '\b'; break;
      case 'f': out += '\f'; break;
      case 'v': out += '\v'; break;
      case 'u':
      case 'U': {
        const std::size_t digits = c == 'u' ? 4 : 8;
        const std::string hex(Text.substr(Pos, digits));
        AppendUtf8(out, std::strtoul(hex.c_str(), nullptr, 16));
        Pos += hex.size();
        break;
      }
      default: out += c;
    }
  }
  if (Pos < Text.size()) ++Pos;
  return out;
}

bool IsQuote(char c) { return c == '\'' || c == '"'; }

}  // namespace

std::string GVariantQuote(std::string_view Text) {
  static const char kHex[] = "0123456789abcdef";
  std::string out = "'";
  for (char ch : Text) {
    const auto c = static_cast<unsigned char>(ch);
    if (ch == '\'' || ch == '\\') {
      out += '\\';
      out += ch;
    } else if (c < 0x20 || c == 0x7F) {
      out += "\\u00";
      out += kHex[c >> 4];
      out += kHex[c & 0xF];
    } else {
      out += ch;
    }
  }
  return out + "'";
}

std::vector<std::string> GVariantStrings(std::string_view Text) {
  std::vector<std::string> out;
  for (std::size_t pos = 0; pos < Text.size();) {
    if (IsQuote(Text[pos])) {
      out.push_back(ReadLiteral(Text, pos));
    } else {
      ++pos;
    }
  }
  return out;
}

std::optional<std::string> GVariantDictValue(std::string_view Text, std::string_view Key) {
  for (std::size_t pos = 0; pos < Text.size();) {
    if (!IsQuote(Text[pos])) {
      ++pos;
      continue;
    }
    const std::string literal = ReadLiteral(Text, pos);
    if (literal != Key || Text.substr(pos, 3) != ": <") continue;
    // The value runs to its matching '>', strings and nested variants skipped.
    const std::size_t begin = pos + 3;
    int depth = 1;
    for (std::size_t p = begin; p < Text.size();) {
      if (IsQuote(Text[p])) {
        ReadLiteral(Text, p);
        continue;
      }
      if (Text[p] == '<') ++depth;
      if (Text[p] == '>' && --depth == 0) return std::string(Text.substr(begin, p - begin));
      ++p;
    }
    return std::nullopt;
  }
  return std::nullopt;
}

double GVariantNumber(std::string_view Value) {
  const std::size_t space = Value.find(' ');
  if (space != std::string_view::npos) Value.remove_prefix(space + 1);
  return std::strtod(std::string(Value).c_str(), nullptr);
}

bool TSessionBus::Call(const std::string& Dest, const std::string& Path, const std::string& Method,
                       const std::vector<std::string>& Args, std::string& Reply) const {
  Reply.clear();
  std::vector<std::string> argv = {"gdbus", "call", "--session", "--dest", Dest, "--object-path", Path,
                                   "--method", Method, "--timeout", std::to_string((fTimeoutMs + 999) / 1000)};
  // Arguments start with a quote or a bracket, so none is taken for an option.
  argv.insert(argv.end(), Args.begin(), Args.end());
  std::string out;
  if (GetProcessLauncher().Run(argv, out, fTimeoutMs + 2000) != 0) return false;
  Reply = std::move(out);
  return true;
}

bool TSessionBus::NameHasOwner(const std::string& Name) const {
  std::string reply;
  return Call("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus.NameHasOwner",
              {GVariantQuote(Name)}, reply) &&
         reply.find("true") != std::string::npos;
}

int TSessionBus::NameOwnerPid(const std::string& Name) const {
  std::string reply;
  if (!Call("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus.GetConnectionUnixProcessID",
            {GVariantQuote(Name)}, reply))
    return 0;
  // "(uint32 1234,)"
  const std::size_t digit = reply.find_first_of("0123456789", reply.find("uint32") + 6);
  return digit == std::string::npos ? 0 : std::atoi(reply.c_str() + digit);
}

}  // namespace pelcrow::platform
