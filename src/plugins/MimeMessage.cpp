#include "plugins/MimeMessage.h"

#include <algorithm>
#include <cstdint>

#include "base/Trim.h"
#include "base/Utf8.h"
#include "localization/TextEncoding.h"
#include "platform/Charset.h"

namespace pelcrow {

namespace {

// Nesting a hostile message may ask for before the body search gives up.
constexpr int kMaxMimeDepth = 20;

char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; }

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (Upper(a[i]) != Upper(b[i])) return false;
  return true;
}

bool StartsNoCase(std::string_view s, std::string_view prefix) {
  return s.size() >= prefix.size() && EqualsNoCase(s.substr(0, prefix.size()), prefix);
}

std::string Lower(std::string_view s) {
  std::string r(s);
  for (char& c : r)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  return r;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Text in the charset to UTF-8; an unknown or missing charset is read as UTF-8 (Latin-1 where
// the bytes are not UTF-8), which is what mail programs do.
std::string ToUtf8(std::string_view bytes, std::string_view charset) {
  std::string cs = Lower(TrimBlanks(charset));
  if (const std::size_t star = cs.find('*'); star != std::string::npos) cs.resize(star);  // RFC 2231 language
  if (cs.empty() || cs == "us-ascii" || cs == "utf-8" || cs == "utf8") return ToValidUtf8(bytes);
  std::string out;
  if (platform::ConvertToUtf8(bytes, cs, out)) return out;
  return ToValidUtf8(bytes);
}

// One line of Text from Pos on, without its line end; Pos moves past it.
std::string_view NextLine(std::string_view text, std::size_t& pos) {
  const std::size_t start = pos;
  std::size_t end = text.find('\n', pos);
  if (end == std::string_view::npos) {
    pos = text.size();
    end = text.size();
  } else {
    pos = end + 1;
  }
  std::string_view line = text.substr(start, end - start);
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return line;
}

struct TContentType {
  std::string Type = "text/plain";
  std::string Charset, Boundary;
};

// A parameter of a structured field (charset=..., boundary="...").
std::string Parameter(std::string_view value, std::string_view name) {
  std::size_t pos = value.find(';');
  while (pos != std::string_view::npos && pos < value.size()) {
    std::size_t next = value.find(';', pos + 1);
    std::string_view part = TrimBlanks(value.substr(pos + 1, next == std::string_view::npos ? std::string_view::npos
                                                                                           : next - pos - 1));
    const std::size_t eq = part.find('=');
    if (eq != std::string_view::npos && EqualsNoCase(TrimBlanks(part.substr(0, eq)), name)) {
      std::string_view v = TrimBlanks(part.substr(eq + 1));
      if (!v.empty() && v.front() == '"') {
        // A quoted value may hold ";": take it up to its closing quote.
        const std::size_t open = value.find('"', pos + 1);
        const std::size_t close = open == std::string_view::npos ? open : value.find('"', open + 1);
        if (close != std::string_view::npos) return std::string(value.substr(open + 1, close - open - 1));
        v.remove_prefix(1);
      }
      return std::string(v);
    }
    pos = next;
  }
  return {};
}

TContentType ContentTypeOf(const std::vector<TMailHeaderField>& fields, bool digestPart) {
  TContentType ct;
  if (digestPart) ct.Type = "message/rfc822";
  const std::string* v = FindMailHeader(fields, "Content-Type");
  if (!v) return ct;
  std::string_view s = *v;
  const std::string type = Lower(TrimBlanks(s.substr(0, s.find(';'))));
  if (type.find('/') != std::string::npos) ct.Type = type;
  ct.Charset = Parameter(s, "charset");
  ct.Boundary = Parameter(s, "boundary");
  return ct;
}

bool IsAttachment(const std::vector<TMailHeaderField>& fields) {
  const std::string* d = FindMailHeader(fields, "Content-Disposition");
  return d && StartsNoCase(TrimBlanks(*d), "attachment");
}

std::string TransferDecoded(const std::vector<TMailHeaderField>& fields, std::string_view body) {
  const std::string* cte = FindMailHeader(fields, "Content-Transfer-Encoding");
  if (cte) {
    const std::string enc = Lower(TrimBlanks(*cte));
    if (enc == "quoted-printable") return DecodeQuotedPrintable(body, false);
    if (enc == "base64") return DecodeBase64(body);
  }
  return std::string(body);
}

std::string NormalizedLineEnds(std::string text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    out += text[i];
  }
  return out;
}

// The parts of a multipart body between its boundary lines.
std::vector<std::string_view> SplitMultipart(std::string_view body, const std::string& boundary) {
  std::vector<std::string_view> parts;
  const std::string dash = "--" + boundary;
  std::size_t pos = 0, partStart = std::string_view::npos;
  while (pos < body.size()) {
    const std::size_t lineStart = pos;
    const std::string_view line = NextLine(body, pos);
    if (line.size() < dash.size() || line.substr(0, dash.size()) != dash) continue;
    const std::string_view rest = line.substr(dash.size());
    const bool closing = rest.size() >= 2 && rest.substr(0, 2) == "--";
    if (!closing && !TrimBlanks(rest).empty()) continue;
    if (partStart != std::string_view::npos) {
      // The line end before the boundary belongs to the boundary.
      std::size_t end = lineStart;
      if (end > partStart && body[end - 1] == '\n') --end;
      if (end > partStart && body[end - 1] == '\r') --end;
      parts.push_back(body.substr(partStart, end - partStart));
    }
    if (closing) return parts;
    partStart = pos;
  }
  if (partStart != std::string_view::npos && partStart < body.size()) parts.push_back(body.substr(partStart));
  return parts;
}

enum TWanted { wPlain, wHtml };

bool FindText(const std::vector<TMailHeaderField>& fields, std::string_view body, TWanted wanted, int depth,
              bool digestPart, std::string& out) {
  if (depth > kMaxMimeDepth) return false;
  const TContentType ct = ContentTypeOf(fields, digestPart);
  if (ct.Type.starts_with("multipart/")) {
    if (ct.Boundary.empty()) return false;
    const bool digest = ct.Type == "multipart/digest";
    for (std::string_view part : SplitMultipart(body, ct.Boundary)) {
      std::string_view partBody;
      const std::vector<TMailHeaderField> partFields = ParseMailHeaders(part, partBody);
      if (FindText(partFields, partBody, wanted, depth + 1, digest, out)) return true;
    }
    return false;
  }
  if (IsAttachment(fields)) return false;
  if (ct.Type != (wanted == wPlain ? "text/plain" : "text/html")) return false;
  std::string text = ToUtf8(TransferDecoded(fields, body), ct.Charset);
  out = NormalizedLineEnds(wanted == wHtml ? StripHtml(text) : std::move(text));
  return true;
}

// ---- dates

int MonthOf(std::string_view name) {
  static const char* const kMonths[] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                        "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};
  if (name.size() < 3) return 0;
  for (int m = 0; m < 12; ++m)
    if (EqualsNoCase(name.substr(0, 3), kMonths[m])) return m + 1;
  return 0;
}

// Minutes east of UTC of a zone; false for text that is no zone.
bool ZoneOffset(std::string_view zone, int& minutes) {
  if (zone.size() == 5 && (zone[0] == '+' || zone[0] == '-') &&
      std::all_of(zone.begin() + 1, zone.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    minutes = ((zone[1] - '0') * 10 + (zone[2] - '0')) * 60 + (zone[3] - '0') * 10 + (zone[4] - '0');
    if (zone[0] == '-') minutes = -minutes;
    return true;
  }
  static const struct {
    const char* Name;
    int Hours;
  } kZones[] = {{"UT", 0},   {"UTC", 0},  {"GMT", 0},  {"Z", 0},    {"EST", -5}, {"EDT", -4},
                {"CST", -6}, {"CDT", -5}, {"MST", -7}, {"MDT", -6}, {"PST", -8}, {"PDT", -7}};
  for (const auto& z : kZones)
    if (EqualsNoCase(zone, z.Name)) {
      minutes = z.Hours * 60;
      return true;
    }
  // Military zones are taken as UTC, as RFC 5322 says of them.
  minutes = 0;
  return zone.size() == 1 && ((zone[0] >= 'A' && zone[0] <= 'Z') || (zone[0] >= 'a' && zone[0] <= 'z'));
}

std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

bool AllDigits(std::string_view s) {
  return !s.empty() && s.size() <= 9 && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

int ToInt(std::string_view s) {
  int v = 0;
  for (char c : s) v = v * 10 + (c - '0');
  return v;
}

}  // namespace

// ------------------------------------------------------------------ headers

std::vector<TMailHeaderField> ParseMailHeaders(std::string_view Message, std::string_view& Body) {
  std::vector<TMailHeaderField> fields;
  std::size_t pos = 0;
  Body = {};
  while (pos < Message.size()) {
    const std::string_view line = NextLine(Message, pos);
    if (line.empty()) {
      Body = Message.substr(pos);
      return fields;
    }
    if ((line[0] == ' ' || line[0] == '\t')) {
      if (!fields.empty()) fields.back().Value.append(line);
      continue;
    }
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos || colon == 0) continue;  // neither field nor continuation
    fields.push_back({std::string(TrimSpaces(line.substr(0, colon))), std::string(line.substr(colon + 1))});
  }
  return fields;
}

const std::string* FindMailHeader(const std::vector<TMailHeaderField>& Fields, std::string_view Name) {
  for (const TMailHeaderField& f : Fields)
    if (EqualsNoCase(f.Name, Name)) return &f.Value;
  return nullptr;
}

std::string DecodeQuotedPrintable(std::string_view Text, bool HeaderForm) {
  std::string out;
  out.reserve(Text.size());
  for (std::size_t i = 0; i < Text.size(); ++i) {
    const char c = Text[i];
    if (HeaderForm && c == '_') {
      out += ' ';
    } else if (c == '=' && i + 2 < Text.size() && HexValue(Text[i + 1]) >= 0 && HexValue(Text[i + 2]) >= 0) {
      out += static_cast<char>(HexValue(Text[i + 1]) * 16 + HexValue(Text[i + 2]));
      i += 2;
    } else if (c == '=' && !HeaderForm) {
      // A soft line break: "=" before the line end (trailing blanks allowed).
      std::size_t k = i + 1;
      while (k < Text.size() && (Text[k] == ' ' || Text[k] == '\t')) ++k;
      if (k < Text.size() && Text[k] == '\r') ++k;
      if (k < Text.size() && Text[k] == '\n') {
        i = k;
      } else if (k >= Text.size()) {
        i = k;
      } else {
        out += c;
      }
    } else {
      out += c;
    }
  }
  return out;
}

std::string DecodeBase64(std::string_view Text) {
  std::string out;
  out.reserve(Text.size() * 3 / 4);
  std::uint32_t acc = 0;
  int bits = 0;
  for (char c : Text) {
    int v;
    if (c >= 'A' && c <= 'Z') v = c - 'A';
    else if (c >= 'a' && c <= 'z') v = c - 'a' + 26;
    else if (c >= '0' && c <= '9') v = c - '0' + 52;
    else if (c == '+' || c == '-') v = 62;
    else if (c == '/' || c == '_') v = 63;
    else if (c == '=') break;
    else continue;
    acc = (acc << 6) | static_cast<std::uint32_t>(v);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      out += static_cast<char>((acc >> bits) & 0xFF);
    }
  }
  return out;
}

std::string DecodeHeaderText(std::string_view Value) {
  std::string out;
  std::string pendingBlank;  // whitespace after an encoded word, dropped when another follows
  bool lastEncoded = false;
  std::size_t i = 0;
  while (i < Value.size()) {
    if (Value.compare(i, 2, "=?") == 0) {
      const std::size_t q1 = Value.find('?', i + 2);
      const std::size_t q2 = q1 == std::string_view::npos ? q1 : Value.find('?', q1 + 1);
      const std::size_t end = q2 == std::string_view::npos ? q2 : Value.find("?=", q2 + 1);
      if (end != std::string_view::npos && q2 == q1 + 2) {
        const std::string_view charset = Value.substr(i + 2, q1 - i - 2);
        const char enc = Upper(Value[q1 + 1]);
        const std::string_view text = Value.substr(q2 + 1, end - q2 - 1);
        if ((enc == 'B' || enc == 'Q') && text.find(' ') == std::string_view::npos) {
          const std::string raw = enc == 'B' ? DecodeBase64(text) : DecodeQuotedPrintable(text, true);
          if (!lastEncoded) out += pendingBlank;
          pendingBlank.clear();
          out += ToUtf8(raw, charset);
          lastEncoded = true;
          i = end + 2;
          continue;
        }
      }
    }
    const char c = Value[i];
    if (c == ' ' || c == '\t') {
      pendingBlank += c;
    } else {
      out += pendingBlank;
      pendingBlank.clear();
      // Plain text up to the next blank or encoded word, as UTF-8 where it is valid.
      std::size_t j = i;
      while (j < Value.size() && Value[j] != ' ' && Value[j] != '\t' && Value.compare(j, 2, "=?") != 0) ++j;
      if (j == i) j = i + 1;
      out += ToValidUtf8(Value.substr(i, j - i));
      lastEncoded = false;
      i = j;
      continue;
    }
    ++i;
  }
  if (!lastEncoded) out += pendingBlank;
  return std::string(TrimBlanks(out));
}

std::string MailDisplayName(std::string_view From) {
  std::string_view s = TrimBlanks(From);
  const std::size_t lt = s.rfind('<');
  if (lt != std::string_view::npos) {
    std::string_view name = TrimBlanks(s.substr(0, lt));
    if (name.size() >= 2 && name.front() == '"' && name.back() == '"') name = name.substr(1, name.size() - 2);
    if (!name.empty()) return std::string(name);
    const std::size_t gt = s.find('>', lt);
    return std::string(TrimBlanks(s.substr(lt + 1, gt == std::string_view::npos ? std::string_view::npos : gt - lt - 1)));
  }
  // addr (Name)
  const std::size_t open = s.find('(');
  const std::size_t close = s.rfind(')');
  if (open != std::string_view::npos && close != std::string_view::npos && close > open + 1)
    return std::string(TrimBlanks(s.substr(open + 1, close - open - 1)));
  return std::string(s);
}

// ------------------------------------------------------------------ dates

bool ParseMailDate(std::string_view Text, TDateTime& Out) {
  std::vector<std::string_view> tok;
  std::size_t i = 0;
  while (i < Text.size()) {
    while (i < Text.size() && (Text[i] == ' ' || Text[i] == '\t' || Text[i] == ',' || Text[i] == '\r' || Text[i] == '\n'))
      ++i;
    if (i < Text.size() && Text[i] == '(') break;  // a comment ends the date
    const std::size_t start = i;
    while (i < Text.size() && Text[i] != ' ' && Text[i] != '\t' && Text[i] != ',' && Text[i] != '\r' && Text[i] != '\n')
      ++i;
    if (i > start) tok.push_back(Text.substr(start, i - start));
  }
  std::size_t k = 0;
  if (k < tok.size() && !AllDigits(tok[k])) ++k;  // the day name
  if (k + 3 > tok.size()) return false;
  if (!AllDigits(tok[k]) || !MonthOf(tok[k + 1]) || !AllDigits(tok[k + 2])) return false;
  const int day = ToInt(tok[k]);
  const int month = MonthOf(tok[k + 1]);
  int year = ToInt(tok[k + 2]);
  if (tok[k + 2].size() <= 2) year += year < 50 ? 2000 : 1900;
  else if (tok[k + 2].size() == 3) year += 1900;
  int h = 0, m = 0, s = 0;
  std::size_t z = k + 3;
  if (z < tok.size() && tok[z].find(':') != std::string_view::npos) {
    const std::string_view t = tok[z];
    const std::size_t c1 = t.find(':');
    const std::size_t c2 = t.find(':', c1 + 1);
    const std::string_view hs = t.substr(0, c1);
    const std::string_view ms = t.substr(c1 + 1, c2 == std::string_view::npos ? std::string_view::npos : c2 - c1 - 1);
    const std::string_view ss = c2 == std::string_view::npos ? std::string_view("0") : t.substr(c2 + 1);
    if (!AllDigits(hs) || !AllDigits(ms) || !AllDigits(ss)) return false;
    h = ToInt(hs);
    m = ToInt(ms);
    s = ToInt(ss);
    ++z;
  }
  if (day < 1 || day > 31 || h > 23 || m > 59 || s > 60 || year > 9999) return false;
  int offset = 0;
  if (z < tok.size() && !ZoneOffset(tok[z], offset)) offset = 0;
  const std::int64_t secs = DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) * 86400 +
                            h * 3600 + m * 60 + s - static_cast<std::int64_t>(offset) * 60;
  // A date past what a time stamp holds is no date (the fields above allow the year 9999).
  if (!TDateTime::FitsUnixSeconds(secs)) return false;
  Out = TDateTime::FromUnix(secs);
  return true;
}

bool ReceivedFieldDate(std::string_view Value, TDateTime& Out) {
  const std::size_t semi = Value.rfind(';');
  if (semi == std::string_view::npos) return false;
  return ParseMailDate(Value.substr(semi + 1), Out);
}

// ------------------------------------------------------------------ body

std::string StripHtml(std::string_view Html) {
  std::string out;
  out.reserve(Html.size());
  std::size_t i = 0;
  while (i < Html.size()) {
    const char c = Html[i];
    if (c == '<') {
      // Script and style keep their text out of the body.
      for (const char* skip : {"script", "style"}) {
        const std::string open = std::string("<") + skip;
        if (StartsNoCase(Html.substr(i), open)) {
          const std::string close = std::string("</") + skip;
          std::size_t k = i + 1;
          while (k < Html.size() && !StartsNoCase(Html.substr(k), close)) ++k;
          i = k;
          break;
        }
      }
      const std::size_t end = Html.find('>', i);
      if (end == std::string_view::npos) break;
      const std::string_view tag = Html.substr(i + 1, end - i - 1);
      if (StartsNoCase(tag, "br") || StartsNoCase(tag, "/p") || StartsNoCase(tag, "/div")) out += '\n';
      i = end + 1;
    } else if (c == '&') {
      const std::size_t semi = Html.find(';', i);
      if (semi != std::string_view::npos && semi - i <= 10) {
        const std::string_view name = Html.substr(i + 1, semi - i - 1);
        static const std::pair<const char*, char32_t> kEntities[] = {
            {"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"quot", '"'}, {"apos", '\''}, {"nbsp", 0xA0}};
        char32_t cp = 0;
        for (const auto& [n, v] : kEntities)
          if (name == n) cp = v;
        if (cp == 0 && name.size() > 1 && name[0] == '#') {
          const bool hex = name[1] == 'x' || name[1] == 'X';
          for (char d : name.substr(hex ? 2 : 1)) {
            const int v = hex ? HexValue(d) : (d >= '0' && d <= '9' ? d - '0' : -1);
            if (v < 0 || cp > 0x10FFFF) {
              cp = 0;
              break;
            }
            cp = cp * (hex ? 16 : 10) + static_cast<char32_t>(v);
          }
          if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = 0;
        }
        if (cp != 0) {
          AppendUtf8(out, cp);
          i = semi + 1;
          continue;
        }
      }
      out += c;
      ++i;
    } else {
      out += c;
      ++i;
    }
  }
  return out;
}

std::string MailBodyText(const std::vector<TMailHeaderField>& Fields, std::string_view Body) {
  std::string text;
  if (FindText(Fields, Body, wPlain, 0, false, text)) return text;
  if (FindText(Fields, Body, wHtml, 0, false, text)) return text;
  return {};
}

void ReadMailFields(std::string_view Message, bool WantBody, TMailFields& Out) {
  std::string_view body;
  const std::vector<TMailHeaderField> fields = ParseMailHeaders(Message, body);
  Out = {};
  if (const std::string* v = FindMailHeader(fields, "From")) Out.From = MailDisplayName(DecodeHeaderText(*v));
  if (const std::string* v = FindMailHeader(fields, "To")) Out.To = DecodeHeaderText(*v);
  if (const std::string* v = FindMailHeader(fields, "Subject")) Out.Subject = DecodeHeaderText(*v);
  // The top Received field is the last hop: the time the message arrived.
  if (const std::string* v = FindMailHeader(fields, "Received")) Out.HasReceived = ReceivedFieldDate(*v, Out.Received);
  if (!Out.HasReceived)
    if (const std::string* v = FindMailHeader(fields, "Date")) Out.HasReceived = ParseMailDate(*v, Out.Received);
  if (WantBody) Out.Body = MailBodyText(fields, body);
}

}  // namespace pelcrow
