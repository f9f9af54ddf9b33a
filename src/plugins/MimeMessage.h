// Reading an Internet message (RFC 5322 with MIME): unfolded headers, RFC 2047 encoded words,
// dates, and the text body a reader sees first. Works on the raw bytes of one message and never
// fails: what cannot be read is left empty.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "base/DateTime.h"

namespace pelcrow {

struct TMailHeaderField {
  std::string Name;   // as written
  std::string Value;  // unfolded, still encoded
};

// The header fields up to the first empty line; Body is set to what follows it.
std::vector<TMailHeaderField> ParseMailHeaders(std::string_view Message, std::string_view& Body);
// The value of the first field of that name (ASCII case ignored), or nullptr.
const std::string* FindMailHeader(const std::vector<TMailHeaderField>& Fields, std::string_view Name);

// Encoded words (=?charset?B|Q?...?=) decoded to UTF-8; whitespace between two adjacent encoded
// words goes; the rest is taken as UTF-8 (Latin-1 where it is not valid UTF-8).
std::string DecodeHeaderText(std::string_view Value);
// From as a list shows it: the display name, else the address.
std::string MailDisplayName(std::string_view DecodedFrom);

// An RFC 5322 date ("Tue, 1 Jul 2003 10:52:37 +0200", obsolete zones, two-digit years).
bool ParseMailDate(std::string_view Text, TDateTime& Out);
// The date after the last ";" of a Received field.
bool ReceivedFieldDate(std::string_view Value, TDateTime& Out);

// The first text/plain part that is no attachment, in any nesting of multiparts; else the first
// such text/html part with its tags stripped. Transfer encodings and the charset are decoded;
// line ends become "\n".
std::string MailBodyText(const std::vector<TMailHeaderField>& Fields, std::string_view Body);

// Transfer decodings, exposed for the tests.
std::string DecodeQuotedPrintable(std::string_view Text, bool HeaderForm);
std::string DecodeBase64(std::string_view Text);
std::string StripHtml(std::string_view Html);

// What a list shows and compares of one message.
struct TMailFields {
  std::string From, To, Subject;
  TDateTime Received;
  bool HasReceived = false;
  std::string Body;
};
// WantBody: decode the body too (not needed when no option compares it).
void ReadMailFields(std::string_view Message, bool WantBody, TMailFields& Out);

}  // namespace pelcrow
