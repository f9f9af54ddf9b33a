#include "export/PathListing.h"

#include <cstdio>

#include "engine/ScanEngine.h"
#include "export/CsvField.h"

namespace pelcrow {

namespace {

const char* Action(const TFileItem& Item) { return Item.fSelected ? "select" : "keep"; }

const TEmailInfo& MailOf(const TFileItem& Item) {
  static const TEmailInfo kNone;
  return Item.Emails ? *Item.Emails : kNone;
}

// What names one e-mail row in a listing: its folder, time, sender and subject.
std::string MailText(const TFileItem& Item) {
  const TEmailInfo& m = MailOf(Item);
  return Item.Path.str() + "\t" + m.ReceivedDate.ToIsoText() + "\t" + m.From + "\t" + m.Subject;
}

// The contact's addresses that a row shows (up to three).
std::vector<std::string> AddressesOf(const TFileItem& Item) {
  const TEmailInfo& m = MailOf(Item);
  std::vector<std::string> out;
  for (const std::string* a : {&m.Address1, &m.Address2, &m.Address3})
    if (!a->empty()) out.push_back(*a);
  return out;
}

// What names one contact row in a listing: its address book, time, name and addresses.
std::string ContactText(const TFileItem& Item) {
  std::string addresses;
  for (const std::string& a : AddressesOf(Item)) addresses += (addresses.empty() ? "" : ", ") + a;
  return Item.Path.str() + "\t" + Item.Modified.ToIsoText() + "\t" + Item.Name.str() + "\t" + addresses;
}

}  // namespace

void WriteListing(std::ostream& Out, const TScanEngine& Engine, TListingFormat Format,
                  const TListingOptions& AOptions) {
  TListingOptions Options = AOptions;
  Options.Mail = Engine.CompareMode() == cmEmails;
  Options.Contacts = Engine.CompareMode() == cmContacts;
  switch (Format) {
    case lfText: {
      TTextListing h(Out, Options);
      WalkVisibleGroups(Engine, h);
      break;
    }
    case lfCsv: {
      TCsvListing h(Out, Options);
      WalkVisibleGroups(Engine, h);
      break;
    }
    case lfJson: {
      TJsonListing h(Out, Engine, Options);
      WalkVisibleGroups(Engine, h);
      break;
    }
  }
  Out.flush();
}

std::string EscapedPath(std::string_view Path) {
  std::string r;
  r.reserve(Path.size());
  for (unsigned char c : Path) {
    if (c == '\\') r += "\\\\";
    else if (c == '\n') r += "\\n";
    else if (c == '\t') r += "\\t";
    else if (c == '\r') r += "\\r";
    else if (c < 0x20 || c == 0x7F) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\%03o", c);
      r += buf;
    } else {
      r += static_cast<char>(c);
    }
  }
  return r;
}

std::string JsonString(std::string_view s) {
  std::string r = "\"";
  auto hex4 = [&](unsigned v) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "\\u%04x", v);
    r += buf;
  };
  for (std::size_t i = 0; i < s.size();) {
    auto c = static_cast<unsigned char>(s[i]);
    if (c < 0x80) {
      if (c == '"') r += "\\\"";
      else if (c == '\\') r += "\\\\";
      else if (c == '\n') r += "\\n";
      else if (c == '\r') r += "\\r";
      else if (c == '\t') r += "\\t";
      else if (c < 0x20 || c == 0x7F) hex4(c);
      else r += static_cast<char>(c);
      ++i;
      continue;
    }
    std::size_t len = (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 0;
    bool ok = len != 0 && i + len <= s.size();
    char32_t cp = len == 2 ? (c & 0x1F) : len == 3 ? (c & 0x0F) : (c & 0x07);
    for (std::size_t k = 1; ok && k < len; ++k) {
      auto b = static_cast<unsigned char>(s[i + k]);
      if ((b & 0xC0) != 0x80) ok = false;
      cp = (cp << 6) | (b & 0x3F);
    }
    static constexpr char32_t kMin[5] = {0, 0, 0x80, 0x800, 0x10000};
    if (ok && (cp < kMin[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))) ok = false;
    if (ok) {
      r.append(s.substr(i, len));
      i += len;
    } else {
      hex4(0xDC00u + c);
      ++i;
    }
  }
  r += '"';
  return r;
}

void TTextListing::GroupHead(const TGroupRows& Rows) {
  if (Rows.First > 0) EndLine();
}

void TTextListing::Row(int, const TFileItem& Item) {
  if (fOptions.Marks) fOut << (Item.fSelected ? "select " : "keep   ");
  const bool plugin = fOptions.Mail || fOptions.Contacts;
  const std::string path = fOptions.Mail ? MailText(Item) : fOptions.Contacts ? ContactText(Item) : Item.FullPath();
  fOut << (fOptions.NullEnded || plugin ? path : EscapedPath(path));
  EndLine();
}

void TCsvListing::Head() {
  fOut << (fOptions.Mail       ? "Group,Size,Folder,Received,From,To,Subject"
           : fOptions.Contacts ? "Group,Size,Folder,Modified,Name,Email1,Email2,Email3"
                               : "Group,Size,Path")
       << (fOptions.Marks ? ",Action\r\n" : "\r\n");
}

void TCsvListing::Row(int, const TFileItem& Item) {
  fOut << Item.DupGroup << "," << Item.Size << ",";
  if (fOptions.Contacts) {
    const TEmailInfo& m = MailOf(Item);
    fOut << CsvField(Item.Path.str(), ",", false) << "," << Item.Modified.ToIsoText() << ","
         << CsvField(Item.Name.str(), ",", false) << "," << CsvField(m.Address1, ",", false) << ","
         << CsvField(m.Address2, ",", false) << "," << CsvField(m.Address3, ",", false);
  } else if (fOptions.Mail) {
    const TEmailInfo& m = MailOf(Item);
    fOut << CsvField(Item.Path.str(), ",", false) << "," << m.ReceivedDate.ToIsoText() << ","
         << CsvField(m.From, ",", false) << "," << CsvField(m.To_, ",", false) << "," << CsvField(m.Subject, ",", false);
  } else {
    fOut << CsvField(Item.FullPath(), ",", false);
  }
  if (fOptions.Marks) fOut << "," << Action(Item);
  fOut << "\r\n";
}

void TJsonListing::Head() { fOut << "{\"groups\": ["; }

void TJsonListing::GroupHead(const TGroupRows& Rows) {
  const PFileItem first = Rows.Item(Rows.First);
  fOut << (Rows.First ? ", " : "") << "{\"group\": " << first->DupGroup << ", \"size\": " << first->Size
       << ", \"files\": [";
  fFirstOfGroup = Rows.First;
}

void TJsonListing::Row(int Row, const TFileItem& Item) {
  fOut << (Row > fFirstOfGroup ? ", " : "");
  if (fOptions.Contacts) {
    fOut << "{\"folder\": " << JsonString(Item.Path.view()) << ", \"modified\": " << JsonString(Item.Modified.ToIsoText())
         << ", \"name\": " << JsonString(Item.Name.view()) << ", \"emails\": [";
    const std::vector<std::string> addresses = AddressesOf(Item);
    for (std::size_t k = 0; k < addresses.size(); ++k) fOut << (k ? ", " : "") << JsonString(addresses[k]);
    fOut << "], \"size\": " << Item.Size
         << (fOptions.Marks ? std::string(", \"action\": ") + JsonString(Action(Item)) : std::string()) << "}";
    return;
  }
  if (!fOptions.Mail) {
    fOut << JsonString(Item.FullPath());
    return;
  }
  const TEmailInfo& m = MailOf(Item);
  fOut << "{\"folder\": " << JsonString(Item.Path.view()) << ", \"received\": " << JsonString(m.ReceivedDate.ToIsoText())
       << ", \"from\": " << JsonString(m.From) << ", \"to\": " << JsonString(m.To_)
       << ", \"subject\": " << JsonString(m.Subject) << ", \"size\": " << Item.Size
       << (fOptions.Marks ? std::string(", \"action\": ") + JsonString(Action(Item)) : std::string()) << "}";
}

void TJsonListing::GroupFoot(const TGroupRows& Rows) {
  fOut << "]";
  if (fOptions.Marks) {
    for (const char* list : {"keep", "select"}) {
      fOut << ", " << JsonString(list) << ": [";
      bool any = false;
      for (int k = Rows.First; k < Rows.Last; ++k) {
        const PFileItem it = Rows.Item(k);
        if (std::string_view(Action(*it)) != list) continue;
        fOut << (any ? ", " : "") << JsonString(it->FullPath());
        any = true;
      }
      fOut << "]";
    }
    for (int k = Rows.First; k < Rows.Last; ++k)
      if (Rows.Item(k)->fSelected) {
        ++fSelectedFiles;
        fSelectedSize += Rows.Item(k)->Size;
      }
  }
  fOut << "}";
}

void TJsonListing::Foot() {
  const TScanEngineSummaryInfo& s = fEngine.SummaryInfo();
  fOut << "], \"summary\": {\"TotalFiles\": " << s.TotalFiles << ", \"OriginalFiles\": " << s.OriginalFiles
       << ", \"OriginalSize\": " << s.OriginalSize << ", \"DuplicateFiles\": " << s.DuplicateFiles
       << ", \"DuplicateSize\": " << s.DuplicateSize;
  if (fOptions.Marks) fOut << ", \"SelectedFiles\": " << fSelectedFiles << ", \"SelectedSize\": " << fSelectedSize;
  fOut << "}}\n";
}

}  // namespace pelcrow
