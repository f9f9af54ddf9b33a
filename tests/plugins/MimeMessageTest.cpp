#include <gtest/gtest.h>

#include "plugins/MimeMessage.h"
#include "TestUtil.h"

namespace pelcrow {
namespace {

struct TWordCase {
  const char* Encoded;
  const char* Decoded;
};

TEST(MimeMessage, DecodesEncodedWordsInAnyCharset) {
  const TWordCase cases[] = {
      {"=?UTF-8?B?R3LDvMOfZQ==?=", "Gr\xC3\xBC\xC3\x9F" "e"},
      {"=?iso-8859-1?q?Gr=FC=DFe?= aus Bern", "Gr\xC3\xBC\xC3\x9F" "e aus Bern"},
      {"=?shift_jis?b?k/qWe4zq?=", "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E"},
      // Adjacent words join without the blank between them; plain words keep theirs.
      {"=?utf-8?q?a?= =?utf-8?q?b?= c", "ab c"},
      {"Re: =?utf-8?Q?caf=C3=A9_ol=C3=A9?=", "Re: caf\xC3\xA9 ol\xC3\xA9"},
      {"=?utf-8*de?q?x?=", "x"},
      {"plain \xE9t\xE9", "plain \xC3\xA9t\xC3\xA9"},  // 8-bit Latin-1 without a word
      {"=?bogus-charset?q?ok?=", "ok"},
      {"=?utf-8?x?unknown?=", "=?utf-8?x?unknown?="},
  };
  for (const TWordCase& c : cases) EXPECT_EQ(DecodeHeaderText(c.Encoded), c.Decoded) << c.Encoded;
}

TEST(MimeMessage, ReadsDatesWithZonesAndShortYears) {
  struct {
    const char* Text;
    std::int64_t Unix;  // 0: not a date
  } cases[] = {
      {"Tue, 01 Jul 2003 10:52:37 +0200", 1057049557},
      {"1 Jul 2003 08:52:37 GMT", 1057049557},
      {"Tue, 1 Jul 03 04:52:37 EDT", 1057049557},
      {"Tue, 1 Jul 2003 10:52 +0200 (CEST)", 1057049520},
      {"Thu, 1 Jan 70 00:00:00 Z", 0},
      {"no date at all", -1},
      {"32 Jul 2003 10:00:00 +0000", -1},
      // Past what a time stamp holds (found by the fuzzer: an overflow, not a date).
      {"Tue, 01 Jul 4006 10:52:37 +0200", -1},
  };
  for (const auto& c : cases) {
    TDateTime t;
    const bool ok = ParseMailDate(c.Text, t);
    EXPECT_EQ(ok, c.Unix >= 0) << c.Text;
    if (ok) {
      EXPECT_EQ(t.UnixSeconds(), c.Unix) << c.Text;
    }
  }
  TDateTime r;
  ASSERT_TRUE(ReceivedFieldDate("from a.example (a [1.2.3.4]) by b.example; Tue, 1 Jul 2003 08:52:37 +0000", r));
  EXPECT_EQ(r.UnixSeconds(), 1057049557);
}

TEST(MimeMessage, TakesTheFirstPlainPartOfNestedMultiparts) {
  const std::string msg =
      "From: a@example.org\nSubject: x\nMIME-Version: 1.0\nContent-Type: multipart/mixed; boundary=\"outer\"\n\n"
      "preamble\n--outer\nContent-Type: text/plain\nContent-Disposition: attachment; filename=a.txt\n\nnot me\n"
      "--outer\nContent-Type: multipart/alternative; boundary=inner\n\n"
      "--inner\nContent-Type: text/html\n\n<p>html</p>\n"
      "--inner\nContent-Type: text/plain; charset=iso-8859-1\nContent-Transfer-Encoding: quoted-printable\n\n"
      "Gr=FC=DFe, soft=\n break\r\n"
      "--inner--\n--outer--\n";
  TMailFields f;
  ReadMailFields(msg, true, f);
  EXPECT_EQ(f.Body, "Gr\xC3\xBC\xC3\x9F" "e, soft break");
}

TEST(MimeMessage, FallsBackToHtmlWithoutTags) {
  const std::string msg =
      "Subject: h\nContent-Type: text/html; charset=utf-8\nContent-Transfer-Encoding: base64\n\n" +
      std::string("PGh0bWw+PHN0eWxlPnB7fTwvc3R5bGU+PGI+SGkgJmFtcDsgYnllPC9iPjxicj4mIzI0ODs8L2h0bWw+\n");
  // <html><style>p{}</style><b>Hi &amp; bye</b><br>&#248;</html>
  TMailFields f;
  ReadMailFields(msg, true, f);
  EXPECT_EQ(f.Body, "Hi & bye\n\xC3\xB8");
}

TEST(MimeMessage, FieldsOfAMessage) {
  const std::string msg =
      "Received: from x by y; Wed, 02 Jul 2003 09:00:00 +0000\nReceived: from z by x; Tue, 01 Jul 2003 09:00:00 +0000\n"
      "From: =?utf-8?q?J=C3=B6rg?= <j@example.org>\nTo: bob@example.org,\n carol@example.org\n"
      "Subject: folded\n  subject\nDate: Mon, 30 Jun 2003 09:00:00 +0000\n\nbody\n";
  TMailFields f;
  ReadMailFields(msg, false, f);
  EXPECT_EQ(f.From, "J\xC3\xB6rg");
  EXPECT_EQ(f.To, "bob@example.org, carol@example.org");
  EXPECT_EQ(f.Subject, "folded  subject");
  ASSERT_TRUE(f.HasReceived);
  EXPECT_EQ(f.Received.UnixSeconds(), 1057136400);  // the top Received field: the last hop
  EXPECT_EQ(f.Body, "");
  EXPECT_EQ(MailDisplayName("\"Smith, Ann\" <ann@example.org>"), "Smith, Ann");
  EXPECT_EQ(MailDisplayName("<ann@example.org>"), "ann@example.org");
  EXPECT_EQ(MailDisplayName("ann@example.org (Ann)"), "Ann");
}

TEST(MimeMessage, SurvivesBrokenStructure) {
  const char* inputs[] = {"", "\n", "Content-Type: multipart/mixed; boundary=b\n\n--b\n--b\n",
                          "Content-Type: multipart/mixed\n\nno boundary", "Subject: =?utf-8?b?",
                          "Content-Type: multipart/mixed; boundary=\"b\n\n--b", "a:b\n\n&#99999999999;<"};
  for (const char* in : inputs) {
    TMailFields f;
    ReadMailFields(in, true, f);
    SUCCEED();
  }
}

}  // namespace
}  // namespace pelcrow
