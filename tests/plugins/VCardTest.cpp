#include "plugins/VCard.h"

#include <gtest/gtest.h>

namespace pelcrow {
namespace {

struct TReadCase {
  const char* Name;
  std::string Text;
  std::string FullName;
  std::vector<std::string> Emails;
};

// "Jürgen Müller" with the fold between the two bytes of each "ü".
const std::string kSplitUtf8 = "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:J\xC3\r\n \xBCrgen M\xC3\r\n \xBCller\r\nN:M\xC3\xBCller;J\xC3\xBCrgen;;;\r\n"
                               "EMAIL:j@example.org\r\nEND:VCARD\r\n";

TEST(VCard, ReadsNamesAndAddressesOfEveryVersion) {
  const TReadCase cases[] = {
      {"fold inside a UTF-8 sequence", kSplitUtf8, "J\xC3\xBCrgen M\xC3\xBCller", {"j@example.org"}},
      {"2.1 quoted-printable Latin-1 with a soft line break",
       "BEGIN:VCARD\r\nVERSION:2.1\r\nN:;;;;\r\nFN;CHARSET=ISO-8859-1;ENCODING=QUOTED-PRINTABLE:J=FCrgen =\r\nM=FCller\r\n"
       "EMAIL;INTERNET;PREF:second@example.org\r\nEND:VCARD\r\n",
       "J\xC3\xBCrgen M\xC3\xBCller", {"second@example.org"}},
      {"2.1 bare QUOTED-PRINTABLE UTF-8",
       "BEGIN:VCARD\nVERSION:2.1\nFN;QUOTED-PRINTABLE;CHARSET=UTF-8:=C3=85sa\nEND:VCARD\n", "\xC3\x85sa", {}},
      {"escapes, groups and 3.0 TYPE=PREF first",
       "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Lee\\, Ann\\; Dr.\r\nitem1.EMAIL;type=INTERNET:a@x.org\r\n"
       "item2.EMAIL;TYPE=INTERNET,pref:b@x.org\r\nitem2.X-ABLabel:work\r\nEND:VCARD\r\n",
       "Lee, Ann; Dr.", {"b@x.org", "a@x.org"}},
      {"4.0 PREF=n orders, no FN falls back to N",
       "BEGIN:VCARD\r\nVERSION:4.0\r\nN:Lee;Ann;B.;Dr.;\r\nEMAIL;PREF=2:two@x.org\r\nEMAIL:none@x.org\r\n"
       "EMAIL;PREF=1:one@x.org\r\nEND:VCARD\r\n",
       "Dr. Ann B. Lee", {"one@x.org", "two@x.org", "none@x.org"}},
      {"a nested AGENT card stays inside its card",
       "BEGIN:VCARD\r\nVERSION:2.1\r\nFN:Boss\r\nAGENT:\r\nBEGIN:VCARD\r\nFN:Assistant\r\nEMAIL:asst@x.org\r\nEND:VCARD\r\n"
       "EMAIL:boss@x.org\r\nEND:VCARD\r\n",
       "Boss", {"boss@x.org"}},
  };
  for (const TReadCase& c : cases) {
    const std::vector<TVCard> cards = ParseVCards(c.Text);
    ASSERT_EQ(cards.size(), 1u) << c.Name;
    EXPECT_EQ(cards[0].FullName, c.FullName) << c.Name;
    EXPECT_EQ(cards[0].Emails, c.Emails) << c.Name;
  }
}

TEST(VCard, SplitsAFileOfManyCardsAndReadsRev) {
  const std::string text = "garbage\nBEGIN:VCARD\nVERSION:3.0\nFN:A\nREV:2023-04-05T10:11:12Z\nEND:VCARD\n"
                           "BEGIN:VCARD\nVERSION:4.0\nFN:B\nREV:20230405T101112Z\nUID:u-b\nEND:VCARD\nBEGIN:VCARD\nFN:cut";
  const std::vector<TVCard> cards = ParseVCards(text);
  ASSERT_EQ(cards.size(), 2u);  // the card without END is none
  EXPECT_EQ(text.substr(cards[0].Begin, 11), "BEGIN:VCARD");
  EXPECT_EQ(text.substr(cards[1].End - 10, 10), "END:VCARD\n");
  EXPECT_FALSE(cards[0].Crlf);
  EXPECT_EQ(cards[0].Rev, TDateTime::FromUnix(1680689472));
  EXPECT_EQ(cards[1].Rev, cards[0].Rev);
  EXPECT_EQ(cards[1].Uid, "u-b");
  TDateTime t;
  EXPECT_TRUE(ParseVCardDateTime("20230405T121112+0200", t));
  EXPECT_EQ(t, cards[0].Rev);
  EXPECT_FALSE(ParseVCardDateTime("yesterday", t));
  EXPECT_EQ(FormatVCardRev(TDateTime::FromUnix(1680689472)), "20230405T101112Z");
}

TEST(VCard, FoldsAtSeventyFiveOctetsNeverInsideACharacter) {
  const std::string line = "EMAIL:" + std::string(68, 'a') + "\xC3\xBC\xC3\xBC" + std::string(100, 'b');
  const std::string folded = FoldVCardLine(line, true);
  std::size_t start = 0;
  std::string unfolded;
  while (start < folded.size()) {
    const std::size_t end = folded.find("\r\n", start);
    const std::string physical = folded.substr(start, end - start);
    EXPECT_LE(physical.size(), 75u);
    EXPECT_NE(static_cast<unsigned char>(physical[start == 0 ? 0 : 1]) & 0xC0, 0x80u) << physical;
    unfolded += start == 0 ? physical : physical.substr(1);
    start = end + 2;
  }
  EXPECT_EQ(unfolded, line);
  const std::vector<TVCard> back = ParseVCards("BEGIN:VCARD\r\nFN:x\r\n" + folded + "END:VCARD\r\n");
  ASSERT_EQ(back.size(), 1u);
  EXPECT_EQ(back[0].Emails, std::vector<std::string>{line.substr(6)});
}

// The edit adds EMAIL lines after the last one and sets REV; every other byte stays.
TEST(VCard, AddingAddressesKeepsEveryOtherLine) {
  const std::string head = "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Ann\r\nN:;Ann;;;\r\nEMAIL;TYPE=home:a@x.org\r\n";
  const std::string tail = "PHOTO;ENCODING=b;TYPE=JPEG:AAAA\r\n BBBB\r\nX-CUSTOM;X-P=\"a:b\":v\\, w\r\n";
  const std::string text = head + tail + "REV:20200101T000000Z\r\nEND:VCARD\r\n";
  const std::vector<TVCard> cards = ParseVCards(text);
  ASSERT_EQ(cards.size(), 1u);
  const TDateTime now = TDateTime::FromUnix(1680689472);
  EXPECT_EQ(AddVCardEmails(text, cards[0], {"b@x.org", "c;d@x.org"}, now),
            head + "EMAIL;TYPE=INTERNET:b@x.org\r\nEMAIL;TYPE=INTERNET:c\\;d@x.org\r\n" + tail +
                "REV:20230405T101112Z\r\nEND:VCARD\r\n");
  // Without EMAIL or REV lines both go before END; a card of LF lines gets LF lines.
  const std::string bare = "BEGIN:VCARD\nVERSION:4.0\nFN:Bo\nEND:VCARD\n";
  EXPECT_EQ(AddVCardEmails(bare, ParseVCards(bare)[0], {"b@x.org"}, now),
            "BEGIN:VCARD\nVERSION:4.0\nFN:Bo\nEMAIL:b@x.org\nREV:20230405T101112Z\nEND:VCARD\n");
  const std::string v21 = "BEGIN:VCARD\r\nVERSION:2.1\r\nFN:C\r\nEND:VCARD\r\n";
  EXPECT_NE(AddVCardEmails(v21, ParseVCards(v21)[0], {"\xC3\xA5@x.org"}, now).find("EMAIL;INTERNET;CHARSET=UTF-8:\xC3\xA5@x.org\r\n"),
            std::string::npos);
}

}  // namespace
}  // namespace pelcrow
