// Reading and editing vCards (2.1, 3.0 and 4.0) as address books keep them: one card per file
// (khard, vdirsyncer, KDE, GNOME, Evolution) or many cards in one exported file. The parser works
// on the file's bytes and never fails: what cannot be read is left empty. An edit changes only
// the lines it must and keeps every other byte of the card as it was.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "base/DateTime.h"

namespace pelcrow {

struct TVCardParam {
  std::string Name;   // upper case; a 2.1 bare value ("PREF", "QUOTED-PRINTABLE") gets its name
  std::string Value;  // as written, quotes removed
};

// One logical line: its physical lines unfolded on bytes, before any decoding.
struct TVCardLine {
  std::string Group;  // "item1" of "item1.EMAIL"; empty without one
  std::string Name;   // upper case
  std::vector<TVCardParam> Params;
  std::string Value;  // raw: still escaped and transfer-encoded
  std::size_t Begin = 0, End = 0;  // its bytes in the text, line breaks included

  // Whether a parameter of that name (upper case) holds the value (ASCII case ignored; a list
  // "work,pref" holds each of its parts).
  bool HasParam(std::string_view Param, std::string_view Val) const;
  const std::string* Param(std::string_view Param) const;
};

struct TVCard {
  std::size_t Begin = 0, End = 0;  // BEGIN:VCARD to the end of END:VCARD's line
  std::string Version;             // "2.1", "3.0", "4.0", or empty
  std::vector<TVCardLine> Lines;   // between BEGIN and END
  bool Crlf = true;                // its lines end in CRLF
  std::size_t EndLine = 0;         // where its END:VCARD line starts
  // What the cards of an address book are compared and shown by (UTF-8, unescaped).
  std::string FullName;            // FN, else the parts of N
  std::vector<std::string> Emails; // preferred first, then in the card's order
  std::string Uid;
  TDateTime Rev;                   // zero without a readable REV
};

// Every card of the text, nested cards (AGENT) left inside their outer card.
std::vector<TVCard> ParseVCards(std::string_view Text);

// A text value decoded: transfer encoding (2.1 QUOTED-PRINTABLE, BASE64 for text), CHARSET to
// UTF-8 (bytes that are no UTF-8 taken as Latin-1), then the escapes \\ \, \; \n.
std::string DecodeVCardText(const TVCardLine& Line);
// The value split at its unescaped separators, each part decoded as above (N's five parts).
std::vector<std::string> DecodeVCardParts(const TVCardLine& Line, char Separator);

// REV and other date-times: "20230405T101112Z", "2023-04-05T10:11:12Z", with an offset, or a
// date alone. False when the text is none of them.
bool ParseVCardDateTime(std::string_view Text, TDateTime& Out);
// UTC in the basic form every version reads: "20230405T101112Z".
std::string FormatVCardRev(TDateTime Time);

// One content line folded at 75 octets (never inside a UTF-8 sequence), each physical line ending
// in CRLF (or LF), continuation lines starting with a space.
std::string FoldVCardLine(std::string_view Line, bool Crlf);

// The card's bytes (Card parsed from CardText at offset 0) with an EMAIL line for each address of
// Added after its last EMAIL line (else before END), and REV set to Now. Every other line keeps
// its bytes.
std::string AddVCardEmails(std::string_view CardText, const TVCard& Card, const std::vector<std::string>& Added,
                           TDateTime Now);

}  // namespace pelcrow
