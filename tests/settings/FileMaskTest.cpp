#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "settings/FileMask.h"

namespace pelcrow {
namespace {

struct TMatchCase {
  const char* Mask;
  std::string Name;
  bool Expected;
};

std::ostream& operator<<(std::ostream& os, const TMatchCase& c) {
  return os << "mask '" << c.Mask << "' name '" << c.Name << "'";
}

class FileMaskMatchTest : public ::testing::TestWithParam<TMatchCase> {};

TEST_P(FileMaskMatchTest, Matches) {
  const TMatchCase& c = GetParam();
  EXPECT_EQ(TFileMask(c.Mask).Matches(c.Name), c.Expected);
}

INSTANTIATE_TEST_SUITE_P(AnyFile, FileMaskMatchTest,
                         ::testing::Values(TMatchCase{"*.*", "file.txt", true}, TMatchCase{"*.*", "README", true},
                                           TMatchCase{"*.*", ".hidden", true}, TMatchCase{"*.*", "", true},
                                           TMatchCase{"*", "README", true}, TMatchCase{"***", "a.b", true},
                                           // Only "*.*" itself is the any-file mask; other dotted masks need a dot.
                                           TMatchCase{"*.*.*", "a.b", false}, TMatchCase{"*.", "abc.", true},
                                           TMatchCase{"*.", "abc", false}, TMatchCase{"", "a", false}));

INSTANTIATE_TEST_SUITE_P(
    StarsAndCase, FileMaskMatchTest,
    ::testing::Values(TMatchCase{"*.txt", "a.txt", true}, TMatchCase{"*.txt", "A.TXT", true},
                      TMatchCase{"*.TXT", "notes.txt", true}, TMatchCase{"*.txt", ".txt", true},
                      TMatchCase{"*.txt", "txt", false}, TMatchCase{"*.txt", "a.txt.bak", false},
                      TMatchCase{"*.tar.gz", "x.TAR.GZ", true}, TMatchCase{"*.JPG", "\xC3\xA9t\xC3\xA9.jpg", true},
                      TMatchCase{"*.JPG", "x.jp\xC3\xA9", false}, TMatchCase{"ABC", "abc", true},
                      TMatchCase{"abc", "abcd", false}, TMatchCase{"a*", "A", true}, TMatchCase{"a*b*c", "aXbYc", true},
                      TMatchCase{"a*b*c", "abc", true}, TMatchCase{"a*b*c", "acb", false},
                      TMatchCase{"*ab*ab", "xabyabab", true}, TMatchCase{"*.XLS*", "book.xlsx", true},
                      TMatchCase{"*.XLS*", "book.xl", false},
                      // Only ASCII letters fold.
                      TMatchCase{"*.\xC3\xA9", "x.\xC3\x89", false}, TMatchCase{"\xC3\xA9*", "\xC3\xA9t\xC3\xA9", true},
                      // Other characters are literal, also those special elsewhere.
                      TMatchCase{"]", "]", true}, TMatchCase{"a\\b", "a\\b", true}, TMatchCase{"-!", "-!", true}));

// A character is one well-formed UTF-8 sequence; a byte outside one is a character of its own.
INSTANTIATE_TEST_SUITE_P(QuestionMark, FileMaskMatchTest,
                         ::testing::Values(TMatchCase{"a?z", "abz", true}, TMatchCase{"a?z", "az", false},
                                           TMatchCase{"a?z", "abbz", false},
                                           TMatchCase{"a?z", "a\xC3\xA9z", true},          // é, two bytes
                                           TMatchCase{"a?z", "a\xE2\x82\xACz", true},      // €, three bytes
                                           TMatchCase{"a?z", "a\xF0\x9F\x98\x80z", true},  // emoji, four bytes
                                           TMatchCase{"a?z", "a\xFFz", true},              // invalid byte
                                           TMatchCase{"a?z", "a\xC3z", true},              // lead byte without its tail
                                           TMatchCase{"?", "\xE2\x82", false},             // truncated: two stray bytes
                                           TMatchCase{"??", "\xE2\x82", true},
                                           TMatchCase{"??", "\xC0\xAF", true},      // overlong "/"
                                           TMatchCase{"?", "\xED\xA0\x80", false},  // surrogate: three stray bytes
                                           TMatchCase{"*?", "", false}, TMatchCase{"?*", "x", true}));

INSTANTIATE_TEST_SUITE_P(
    Sets, FileMaskMatchTest,
    ::testing::Values(TMatchCase{"[abc].txt", "b.txt", true}, TMatchCase{"[abc].txt", "B.TXT", true},
                      TMatchCase{"[abc].txt", "d.txt", false}, TMatchCase{"[a-c]*", "Cat", true},
                      TMatchCase{"[a-c]*", "dog", false}, TMatchCase{"[A-Z]", "q", true},
                      TMatchCase{"[_-a]", "A", true}, TMatchCase{"*[0-9].log", "app3.log", true},
                      TMatchCase{"*[0-9].log", "app.log", false}, TMatchCase{"[!a-c]*", "dog", true},
                      TMatchCase{"[!a-c]*", "Cat", false}, TMatchCase{"[!a-c]*", "", false},
                      TMatchCase{"[!a]", "A", false}, TMatchCase{"[]]x", "]x", true}, TMatchCase{"[!]]x", "ax", true},
                      TMatchCase{"[!]]x", "]x", false}, TMatchCase{"[-a]", "-", true}, TMatchCase{"[-a]", "b", false},
                      TMatchCase{"[a-]", "-", true}, TMatchCase{"[a-c-e]", "-", true}, TMatchCase{"[a-c-e]", "e", true},
                      TMatchCase{"[a-c-e]", "d", false}, TMatchCase{"[[]", "[", true}, TMatchCase{"[*?]", "?", true},
                      TMatchCase{"[*?]", "x", false}, TMatchCase{"[\xC3\xA9]", "\xC3\xA9", true},
                      TMatchCase{"[\xC3\xA9]", "\xC3", false}, TMatchCase{"[\xC3\xA0-\xC3\xBF]x", "\xC3\xA9x", true},
                      TMatchCase{"[!\xC3\xA9]", "\xC3\xA8", true}, TMatchCase{"[!x]", "\xFF", true}));

// A stray byte in the mask matches only the same stray byte, never part of a character.
INSTANTIATE_TEST_SUITE_P(InvalidBytes, FileMaskMatchTest,
                         ::testing::Values(TMatchCase{"*\xFF", "a\xFF", true}, TMatchCase{"*\xFF", "a\xC3\xBF", false},
                                           TMatchCase{"\xC3?", "\xC3\xA9", false},
                                           TMatchCase{"*\xA9", "\xC3\xA9", false}, TMatchCase{"\xC3?", "\xC3z", true},
                                           TMatchCase{"*.\xE9", "caf\xE9.\xE9", true},
                                           TMatchCase{"caf?.txt", "caf\xE9.txt", true}));

// Differential check against a plain recursive matcher over names built from known characters,
// so that the fast paths and the general path agree on every shape of mask.
struct TRefToken {
  std::string Text;  // as written in the mask
  char Kind;         // 'l' literal, '?' any, '*' star, 's' set of Members, 'n' negated set
  std::vector<std::string> Members;
};

std::string RefLower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

bool RefMatch(const std::vector<TRefToken>& mask, std::size_t m, const std::vector<std::string>& name, std::size_t n) {
  if (m == mask.size()) return n == name.size();
  const TRefToken& t = mask[m];
  if (t.Kind == '*') return RefMatch(mask, m + 1, name, n) || (n < name.size() && RefMatch(mask, m, name, n + 1));
  if (n == name.size()) return false;
  bool ok = false;
  if (t.Kind == 'l') ok = RefLower(t.Text) == RefLower(name[n]);
  if (t.Kind == '?') ok = true;
  if (t.Kind == 's' || t.Kind == 'n') {
    bool in = false;
    for (const std::string& member : t.Members) in = in || RefLower(member) == RefLower(name[n]);
    ok = (t.Kind == 's') == in;
  }
  return ok && RefMatch(mask, m + 1, name, n + 1);
}

TEST(FileMaskTest, AgreesWithAPlainRecursiveMatcher) {
  const std::vector<TRefToken> pieces = {{"a", 'l', {}},
                                         {"B", 'l', {}},
                                         {".", 'l', {}},
                                         {"\xC3\xA9", 'l', {}},
                                         {"\xFF", 'l', {}},
                                         {"\xA9", 'l', {}},
                                         {"?", '?', {}},
                                         {"*", '*', {}},
                                         {"[a-c]", 's', {"a", "b", "c"}},
                                         {"[!b.]", 'n', {"b", "."}},
                                         {"[\xC3\xA9x]", 's', {"\xC3\xA9", "x"}}};
  const std::vector<std::string> chars = {"a", "A", "b", "c", ".", "x", "\xC3\xA9", "\xC3", "\xFF"};
  std::mt19937 random(7);
  for (int round = 0; round < 20000; ++round) {
    std::vector<TRefToken> mask;
    std::string maskText;
    const int maskLength = static_cast<int>(random() % 6);
    for (int i = 0; i < maskLength; ++i) {
      mask.push_back(pieces[random() % pieces.size()]);
      maskText += mask.back().Text;
    }
    if (maskText == "*.*") continue;
    std::vector<std::string> name;
    std::string nameText;
    const int nameLength = static_cast<int>(random() % 7);
    for (int i = 0; i < nameLength; ++i) {
      name.push_back(chars[random() % chars.size()]);
      nameText += name.back();
    }
    ASSERT_EQ(TFileMask(maskText).Matches(nameText), RefMatch(mask, 0, name, 0))
        << "mask '" << maskText << "' name '" << nameText << "'";
  }
}

TEST(FileMaskTest, ManyStarsAgainstALongNameDoNotBacktrackExponentially) {
  std::string mask;
  for (int i = 0; i < 30; ++i) mask += "*a";
  mask += "b";
  const std::string name(255, 'a');
  EXPECT_FALSE(TFileMask(mask).Matches(name));
  EXPECT_TRUE(TFileMask(mask).Matches(name + "b"));
}

TEST(FileMaskTest, IsCopyableAndKeepsItsText) {
  const TFileMask original("[a-c]*.TXT");
  const TFileMask copy = original;
  EXPECT_EQ(copy.Text(), "[a-c]*.TXT");
  EXPECT_TRUE(copy.Matches("b1.txt"));
  EXPECT_FALSE(copy.Matches("d1.txt"));
}

struct TErrorCase {
  std::string Mask;
  std::size_t Position;
};

class FileMaskErrorTest : public ::testing::TestWithParam<TErrorCase> {};

TEST_P(FileMaskErrorTest, RaisesWithTextAndPosition) {
  const TErrorCase& c = GetParam();
  try {
    TFileMask mask(c.Mask);
    FAIL() << "no error for '" << c.Mask << "'";
  } catch (const EMaskError& e) {
    EXPECT_EQ(e.Position(), c.Position);
    EXPECT_EQ(std::string(e.what()), "'" + c.Mask + "' is an invalid mask at (" + std::to_string(c.Position) + ")");
  }
}

std::string Stars(int groups) {
  std::string mask;
  for (int i = 0; i < groups; ++i) mask += "*a";
  return mask;
}

INSTANTIATE_TEST_SUITE_P(Malformed, FileMaskErrorTest,
                         ::testing::Values(TErrorCase{"[abc", 1}, TErrorCase{"x[", 2}, TErrorCase{"[]", 1},
                                           TErrorCase{"[!", 1}, TErrorCase{"[!]", 1}, TErrorCase{"*.[a-", 3},
                                           // A range that runs backwards could never match.
                                           TErrorCase{"a[z-a]", 3}, TErrorCase{"[ab-A]", 3},
                                           // The 31st star group is the fault.
                                           TErrorCase{Stars(31), 61}, TErrorCase{Stars(40), 61}));

TEST(FileMaskTest, StarGroupLimitCountsRunsNotStars) {
  EXPECT_NO_THROW(TFileMask(Stars(30)));
  EXPECT_NO_THROW(TFileMask(std::string(100, '*')));
  EXPECT_NO_THROW(TFileMask("**a**b" + Stars(28)));
  EXPECT_THROW(TFileMask("**a**b" + Stars(29)), EMaskError);
}

TEST(FileMaskTest, ErrorIsARuntimeError) { EXPECT_THROW(TFileMask("[x"), std::runtime_error); }

}  // namespace
}  // namespace pelcrow
