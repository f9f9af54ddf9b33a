#include "plugins/VCard.h"

#include <algorithm>
#include <ctime>

#include "localization/TextEncoding.h"
#include "platform/Charset.h"
#include "plugins/MimeMessage.h"

namespace pelcrow {

namespace {

char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; }

std::string UpperText(std::string_view s) {
  std::string r(s);
  for (char& c : r) c = Upper(c);
  return r;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (Upper(a[i]) != Upper(b[i])) return false;
  return true;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

struct TPhysical {
  std::size_t Begin, End;  // End after the line break
  std::string_view Content;
  bool Crlf;
};

std::vector<TPhysical> PhysicalLines(std::string_view text) {
  std::vector<TPhysical> lines;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t nl = text.find('\n', pos);
    const std::size_t end = nl == std::string_view::npos ? text.size() : nl + 1;
    std::size_t contentEnd = nl == std::string_view::npos ? text.size() : nl;
    const bool crlf = contentEnd > pos && text[contentEnd - 1] == '\r';
    if (crlf) --contentEnd;
    lines.push_back({pos, end, text.substr(pos, contentEnd - pos), crlf});
    pos = end;
  }
  return lines;
}

// The name and parameter part of a content line ends at the first colon outside quotes.
std::size_t ValueColon(std::string_view line) {
  bool quoted = false;
  for (std::size_t i = 0; i < line.size(); ++i) {
    if (line[i] == '"') quoted = !quoted;
    else if (line[i] == ':' && !quoted) return i;
  }
  return std::string_view::npos;
}

bool IsQuotedPrintableLine(std::string_view line) {
  const std::size_t colon = ValueColon(line);
  if (colon == std::string_view::npos) return false;
  const std::string head = UpperText(line.substr(0, colon));
  return head.find("QUOTED-PRINTABLE") != std::string::npos;
}

bool ParseContentLine(std::string_view line, TVCardLine& out) {
  const std::size_t colon = ValueColon(line);
  if (colon == std::string_view::npos) return false;
  const std::string_view head = line.substr(0, colon);
  out.Value = std::string(line.substr(colon + 1));
  std::vector<std::string_view> parts;
  bool quoted = false;
  std::size_t start = 0;
  for (std::size_t i = 0; i <= head.size(); ++i) {
    if (i < head.size() && head[i] == '"') quoted = !quoted;
    if (i == head.size() || (head[i] == ';' && !quoted)) {
      parts.push_back(head.substr(start, i - start));
      start = i + 1;
    }
  }
  std::string_view name = Trim(parts.front());
  if (const std::size_t dot = name.rfind('.'); dot != std::string_view::npos) {
    out.Group = std::string(name.substr(0, dot));
    name.remove_prefix(dot + 1);
  }
  out.Name = UpperText(name);
  if (out.Name.empty()) return false;
  for (std::size_t k = 1; k < parts.size(); ++k) {
    const std::string_view p = Trim(parts[k]);
    if (p.empty()) continue;
    TVCardParam param;
    if (const std::size_t eq = p.find('='); eq != std::string_view::npos) {
      param.Name = UpperText(Trim(p.substr(0, eq)));
      std::string v;
      for (char c : p.substr(eq + 1))
        if (c != '"') v += c;
      param.Value = std::move(v);
    } else {
      const std::string v = UpperText(p);
      const bool encoding = v == "QUOTED-PRINTABLE" || v == "BASE64" || v == "8BIT" || v == "7BIT" || v == "B";
      param.Name = encoding ? "ENCODING" : "TYPE";
      param.Value = std::string(p);
    }
    out.Params.push_back(std::move(param));
  }
  return true;
}

std::string Unescape(std::string_view v) {
  std::string out;
  out.reserve(v.size());
  for (std::size_t i = 0; i < v.size(); ++i) {
    if (v[i] != '\\' || i + 1 == v.size()) {
      out += v[i];
      continue;
    }
    const char n = v[++i];
    if (n == 'n' || n == 'N') out += '\n';
    else if (n == '\\' || n == ',' || n == ';' || n == ':') out += n;
    else {
      out += '\\';
      out += n;
    }
  }
  return out;
}

// Transfer encoding and character set; the escapes stay.
std::string DecodeBytes(const TVCardLine& line, std::string_view raw) {
  std::string bytes;
  const std::string* enc = line.Param("ENCODING");
  if (enc && EqualNoCase(*enc, "QUOTED-PRINTABLE")) bytes = DecodeQuotedPrintable(raw, false);
  else if (enc && (EqualNoCase(*enc, "B") || EqualNoCase(*enc, "BASE64"))) bytes = DecodeBase64(raw);
  else bytes = std::string(raw);
  const std::string* cs = line.Param("CHARSET");
  std::string utf8;
  if (cs && !EqualNoCase(*cs, "UTF-8") && !EqualNoCase(*cs, "UTF8") && platform::ConvertToUtf8(bytes, *cs, utf8))
    return utf8;
  return ToValidUtf8(bytes);
}

std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const auto yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

// Reads Count digits at pos; false when they are not all there.
bool Digits(std::string_view s, std::size_t& pos, int count, int& out) {
  out = 0;
  for (int k = 0; k < count; ++k, ++pos) {
    if (pos >= s.size() || s[pos] < '0' || s[pos] > '9') return false;
    out = out * 10 + (s[pos] - '0');
  }
  return true;
}

int PrefRank(const TVCardLine& line) {
  if (const std::string* p = line.Param("PREF")) {
    int n = 0;
    for (char c : *p) {
      if (c < '0' || c > '9') break;
      n = std::min(n * 10 + (c - '0'), 100);
    }
    if (n > 0) return n;
  }
  return line.HasParam("TYPE", "PREF") ? 1 : 1000;
}

}  // namespace

const std::string* TVCardLine::Param(std::string_view P) const {
  for (const TVCardParam& p : Params)
    if (p.Name == P) return &p.Value;
  return nullptr;
}

bool TVCardLine::HasParam(std::string_view P, std::string_view Val) const {
  for (const TVCardParam& p : Params) {
    if (p.Name != P) continue;
    std::size_t start = 0;
    for (;;) {
      const std::size_t comma = p.Value.find(',', start);
      const std::string_view part = Trim(std::string_view(p.Value).substr(start, comma == std::string::npos ? std::string::npos : comma - start));
      if (EqualNoCase(part, Val)) return true;
      if (comma == std::string::npos) break;
      start = comma + 1;
    }
  }
  return false;
}

std::string DecodeVCardText(const TVCardLine& Line) { return Unescape(DecodeBytes(Line, Line.Value)); }

std::vector<std::string> DecodeVCardParts(const TVCardLine& Line, char Separator) {
  std::vector<std::string> parts;
  const std::string_view v = Line.Value;
  std::size_t start = 0;
  for (std::size_t i = 0; i <= v.size(); ++i) {
    if (i < v.size() && v[i] == '\\') {
      ++i;
      continue;
    }
    if (i == v.size() || v[i] == Separator) {
      parts.push_back(Unescape(DecodeBytes(Line, v.substr(start, std::min(i, v.size()) - start))));
      start = i + 1;
    }
  }
  return parts;
}

std::vector<TVCard> ParseVCards(std::string_view Text) {
  std::vector<TVCard> cards;
  const std::vector<TPhysical> phys = PhysicalLines(Text);
  TVCard card;
  int depth = 0;
  for (std::size_t i = 0; i < phys.size();) {
    const TPhysical& first = phys[i];
    // Unfolding works on bytes, so a UTF-8 sequence split by a fold comes back whole.
    std::string logical(first.Content);
    std::size_t j = i + 1;
    const bool qp = IsQuotedPrintableLine(logical);
    for (; j < phys.size(); ++j) {
      const std::string_view next = phys[j].Content;
      if (!next.empty() && (next.front() == ' ' || next.front() == '\t')) {
        logical.append(next.substr(1));
      } else if (qp && !logical.empty() && logical.back() == '=') {
        // A 2.1 quoted-printable soft line break: the next line goes on without a marker.
        logical.pop_back();
        logical.append(next);
      } else {
        break;
      }
    }
    TVCardLine line;
    line.Begin = first.Begin;
    line.End = phys[j - 1].End;
    const bool parsed = ParseContentLine(logical, line);
    const bool begin = parsed && line.Name == "BEGIN" && EqualNoCase(Trim(line.Value), "VCARD");
    const bool end = parsed && line.Name == "END" && EqualNoCase(Trim(line.Value), "VCARD");
    if (begin) {
      if (depth++ == 0) {
        card = TVCard();
        card.Begin = line.Begin;
        card.Crlf = first.Crlf;
      }
    } else if (end && depth > 0) {
      if (--depth == 0) {
        card.EndLine = line.Begin;
        card.End = line.End;
        cards.push_back(std::move(card));
        card = TVCard();
      }
    } else if (parsed && depth == 1) {
      card.Lines.push_back(std::move(line));
    }
    i = j;
  }
  for (TVCard& c : cards) {
    std::vector<std::pair<int, std::string>> emails;
    std::string n;
    for (const TVCardLine& l : c.Lines) {
      if (l.Name == "VERSION" && c.Version.empty()) c.Version = std::string(Trim(l.Value));
      else if (l.Name == "FN" && c.FullName.empty()) c.FullName = std::string(Trim(DecodeVCardText(l)));
      else if (l.Name == "UID" && c.Uid.empty()) c.Uid = std::string(Trim(DecodeVCardText(l)));
      else if (l.Name == "REV" && c.Rev.UnixNanoseconds() == 0) ParseVCardDateTime(Trim(DecodeVCardText(l)), c.Rev);
      else if (l.Name == "EMAIL") {
        std::string a(Trim(DecodeVCardText(l)));
        if (!a.empty()) emails.emplace_back(PrefRank(l), std::move(a));
      } else if (l.Name == "N" && n.empty()) {
        const std::vector<std::string> p = DecodeVCardParts(l, ';');
        // Family; Given; Additional; Prefix; Suffix, shown as a name is spoken.
        for (std::size_t k : {3u, 1u, 2u, 0u, 4u}) {
          if (k >= p.size()) continue;
          const std::string_view part = Trim(p[k]);
          if (part.empty()) continue;
          if (!n.empty()) n += ' ';
          n += part;
        }
      }
    }
    if (c.FullName.empty()) c.FullName = n;
    std::stable_sort(emails.begin(), emails.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    for (auto& e : emails) c.Emails.push_back(std::move(e.second));
  }
  return cards;
}

bool ParseVCardDateTime(std::string_view Text, TDateTime& Out) {
  std::size_t pos = 0;
  int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
  if (!Digits(Text, pos, 4, y)) return false;
  if (pos < Text.size() && Text[pos] == '-') ++pos;
  if (!Digits(Text, pos, 2, mo)) return false;
  if (pos < Text.size() && Text[pos] == '-') ++pos;
  if (!Digits(Text, pos, 2, d)) return false;
  if (mo < 1 || mo > 12 || d < 1 || d > 31) return false;
  bool zoned = false;
  std::int64_t offset = 0;
  if (pos < Text.size() && (Text[pos] == 'T' || Text[pos] == 't')) {
    ++pos;
    if (!Digits(Text, pos, 2, h)) return false;
    if (pos < Text.size() && Text[pos] == ':') ++pos;
    if (pos < Text.size() && Text[pos] >= '0' && Text[pos] <= '9' && !Digits(Text, pos, 2, mi)) return false;
    if (pos < Text.size() && Text[pos] == ':') ++pos;
    if (pos < Text.size() && Text[pos] >= '0' && Text[pos] <= '9' && !Digits(Text, pos, 2, s)) return false;
    if (pos < Text.size() && (Text[pos] == '.' || Text[pos] == ','))
      for (++pos; pos < Text.size() && Text[pos] >= '0' && Text[pos] <= '9';) ++pos;
    if (h > 24 || mi > 59 || s > 60) return false;
    if (pos < Text.size() && (Text[pos] == 'Z' || Text[pos] == 'z')) {
      zoned = true;
      ++pos;
    } else if (pos < Text.size() && (Text[pos] == '+' || Text[pos] == '-')) {
      const int sign = Text[pos++] == '-' ? -1 : 1;
      int oh = 0, om = 0;
      if (!Digits(Text, pos, 2, oh)) return false;
      if (pos < Text.size() && Text[pos] == ':') ++pos;
      if (pos < Text.size()) Digits(Text, pos, 2, om);
      zoned = true;
      offset = sign * (oh * 3600 + om * 60);
    }
  }
  if (!zoned) {
    TDateTimeParts p{};
    p.Year = y;
    p.Month = mo;
    p.Day = d;
    p.Hour = h;
    p.Minute = mi;
    p.Second = s;
    return TDateTime::FromLocal(p, Out);
  }
  const std::int64_t secs = DaysFromCivil(y, static_cast<unsigned>(mo), static_cast<unsigned>(d)) * 86400 + h * 3600 +
                            mi * 60 + s - offset;
  if (!TDateTime::FitsUnixSeconds(secs)) return false;
  Out = TDateTime::FromUnix(secs);
  return true;
}

std::string FormatVCardRev(TDateTime Time) {
  const std::time_t t = static_cast<std::time_t>(Time.UnixSeconds());
  std::tm tm{};
  gmtime_r(&t, &tm);
  char buf[96];
  std::snprintf(buf, sizeof buf, "%04d%02d%02dT%02d%02d%02dZ", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour,
                tm.tm_min, tm.tm_sec);
  return buf;
}

std::string FoldVCardLine(std::string_view Line, bool Crlf) {
  const char* eol = Crlf ? "\r\n" : "\n";
  std::string out;
  std::size_t pos = 0;
  bool firstLine = true;
  do {
    std::size_t room = firstLine ? 75 : 74;
    std::size_t end = std::min(Line.size(), pos + room);
    if (end < Line.size())
      while (end > pos + 1 && (static_cast<unsigned char>(Line[end]) & 0xC0) == 0x80) --end;
    if (!firstLine) out += ' ';
    out.append(Line.substr(pos, end - pos));
    out += eol;
    pos = end;
    firstLine = false;
  } while (pos < Line.size());
  return out;
}

std::string AddVCardEmails(std::string_view CardText, const TVCard& Card, const std::vector<std::string>& Added,
                           TDateTime Now) {
  struct TEdit {
    std::size_t Begin, End;
    std::string Text;
  };
  std::vector<TEdit> edits;
  std::size_t emailEnd = 0;
  const TVCardLine* rev = nullptr;
  for (const TVCardLine& l : Card.Lines) {
    if (l.Name == "EMAIL") emailEnd = l.End;
    if (l.Name == "REV" && !rev) rev = &l;
  }
  const bool v21 = Card.Version == "2.1";
  std::string lines;
  for (const std::string& a : Added) {
    std::string value;
    for (char c : a) {
      if (c == '\r' || c == '\n') continue;
      if (c == ';' || (!v21 && (c == ',' || c == '\\'))) value += '\\';
      value += c;
    }
    const bool ascii = std::all_of(a.begin(), a.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    std::string head = v21 ? "EMAIL;INTERNET" : Card.Version == "3.0" ? "EMAIL;TYPE=INTERNET" : "EMAIL";
    if (v21 && !ascii) head += ";CHARSET=UTF-8";
    lines += FoldVCardLine(head + ":" + value, Card.Crlf);
  }
  const std::size_t at = emailEnd ? emailEnd : Card.EndLine;
  if (!lines.empty()) edits.push_back({at, at, lines});
  const std::string revLine = FoldVCardLine("REV:" + FormatVCardRev(Now), Card.Crlf);
  if (rev) edits.push_back({rev->Begin, rev->End, revLine});
  else edits.push_back({Card.EndLine, Card.EndLine, revLine});
  std::stable_sort(edits.begin(), edits.end(), [](const TEdit& a, const TEdit& b) { return a.Begin < b.Begin; });
  std::string out;
  std::size_t pos = 0;
  for (const TEdit& e : edits) {
    out.append(CardText.substr(pos, e.Begin - pos));
    out += e.Text;
    pos = e.End;
  }
  out.append(CardText.substr(pos));
  return out;
}

}  // namespace pelcrow
