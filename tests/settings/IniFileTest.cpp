#include "settings/IniFile.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "TestUtil.h"
#include "base/FormatSettings.h"
#include "platform/AtomicFile.h"

namespace pelcrow {
namespace {

namespace fs = std::filesystem;
using test::TTempDir;

using test::FolderEntries;
using test::ReadAll;

TIniFile Parsed(std::string_view text) {
  TIniFile ini;
  ini.SetText(text);
  return ini;
}

TEST(IniFileTest, SectionsAndKeysCompareWithoutCaseFirstOneWins) {
  const TIniFile ini = Parsed(
      "[File Search]\n"
      "ComparisonMode=2\n"
      "comparisonmode=5\n"
      "[FILE SEARCH]\n"
      "LastFSMode=1\n"
      "ComparisonMode=6\n");
  EXPECT_TRUE(ini.SectionExists("file search"));
  EXPECT_TRUE(ini.ValueExists("FILE search", "COMPARISONMODE"));
  EXPECT_EQ(ini.ReadInteger("file SEARCH", "comparisonMODE", 0), 2);
  // The first section of a name is the one that is read.
  EXPECT_FALSE(ini.ValueExists("File Search", "LastFSMode"));
  EXPECT_EQ(ini.ReadSections(), std::vector<std::string>{"File Search"});
  EXPECT_EQ(ini.ReadSection("file search"), std::vector<std::string>{"ComparisonMode"});
  EXPECT_FALSE(ini.SectionExists("File"));
  EXPECT_FALSE(ini.ValueExists("Nope", "ComparisonMode"));
}

TEST(IniFileTest, ParsesLinesAsTheyCome) {
  const TIniFile ini = Parsed(
      "orphan=1\n"
      "  [ Spaced ]  \r\n"
      "  Key  =  value with blanks  \r\n"
      "NoEquals\n"
      "; Commented=1\n"
      "# Hashed=1\n"
      "=nokey\n"
      "Empty=\n"
      "Eq=a=b\n"
      "[Half\n"
      "[]\n"
      "x=inside unnamed\n");
  EXPECT_EQ(ini.ReadSections(), (std::vector<std::string>{"Spaced", ""}));
  // The key is trimmed, the value is kept byte for byte.
  EXPECT_EQ(ini.ReadValue("Spaced", "Key"), "  value with blanks  ");
  EXPECT_EQ(ini.ReadValue("Spaced", "Empty"), "");
  EXPECT_EQ(ini.ReadValue("Spaced", "Eq"), "a=b");
  EXPECT_FALSE(ini.ValueExists("Spaced", "; Commented"));
  EXPECT_FALSE(ini.ValueExists("Spaced", "Commented"));
  EXPECT_FALSE(ini.ValueExists("Spaced", "# Hashed"));
  EXPECT_FALSE(ini.ValueExists("Spaced", "orphan"));
  EXPECT_FALSE(ini.SectionExists("Half"));
  EXPECT_EQ(ini.ReadValue("", "x"), "inside unnamed");
  EXPECT_EQ(ini.ReadSection("Spaced"), (std::vector<std::string>{"Key", "Empty", "Eq"}));
}

TEST(IniFileTest, UnknownLinesAreWrittenBackAsTheyCame) {
  const std::string original =
      "\xEF\xBB\xBF"
      "; written by hand\n"
      "\n"
      "[User]\n"
      "IncludePaths=2F686F6D650D0A\n"
      "  MainFormTop = 12\n"
      "junk line\n"
      "\n"
      "[Other]\n"
      "#note\n"
      "Key=  x  \n";
  TIniFile ini = Parsed(original);
  EXPECT_EQ(ini.GetText(), original);

  ini.WriteInteger("Preferences", "QuickTipIndex", 3);
  ini.WriteString("other", "KEY", "y");
  EXPECT_EQ(ini.GetText(),
            "\xEF\xBB\xBF"
            "; written by hand\n"
            "\n"
            "[User]\n"
            "IncludePaths=2F686F6D650D0A\n"
            "  MainFormTop = 12\n"
            "junk line\n"
            "\n"
            "[Other]\n"
            "#note\n"
            "Key=y\n"
            "\n"
            "[Preferences]\n"
            "QuickTipIndex=3\n");
}

TEST(IniFileTest, RepeatedLoadAndSaveIsStable) {
  TIniFile ini = Parsed("\r\n\r\n[A]\r\n\r\nx=1\r\n\r\n\r\n[B]\r\ny=2\r\n\r\n");
  const std::string once = ini.GetText();
  EXPECT_EQ(once, "\xEF\xBB\xBF[A]\nx=1\n\n[B]\ny=2\n");
  for (int i = 0; i < 3; ++i) {
    ini.SetText(ini.GetText());
    EXPECT_EQ(ini.GetText(), once);
  }
}

// The bytes of UTF-16 text with its mark; lone surrogates pass through as they are.
std::string Utf16Bytes(std::u16string_view units, bool bigEndian) {
  std::string out = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
  for (char16_t u : units) {
    const char hi = static_cast<char>(u >> 8);
    const char lo = static_cast<char>(u & 0xFF);
    out.push_back(bigEndian ? hi : lo);
    out.push_back(bigEndian ? lo : hi);
  }
  return out;
}

TEST(IniFileTest, ByteOrderMarkSelectsTheEncoding) {
  const std::string text = "[Masks]\nName=Données ✓ 𝄞\n";
  const std::u16string units = u"[Masks]\nName=Donn\u00E9es \u2713 \U0001D11E\n";
  struct TCase {
    const char* Name;
    std::string Bytes;
    std::string Expected;
  };
  const TCase cases[] = {
      {"no mark", text, "Données ✓ 𝄞"},
      {"UTF-8 mark", "\xEF\xBB\xBF" + text, "Données ✓ 𝄞"},
      {"UTF-16 LE", Utf16Bytes(units, false), "Données ✓ 𝄞"},
      {"UTF-16 BE", Utf16Bytes(units, true), "Données ✓ 𝄞"},
      // Bytes that are not UTF-8 (a Latin-1 path) stay exactly as they are.
      {"raw bytes", "[Masks]\nName=/srv/caf\xE9\xFF\n", "/srv/caf\xE9\xFF"},
      // Lone surrogates cannot be kept; an odd last byte is dropped.
      {"bad UTF-16", Utf16Bytes(u"[Masks]\nName=\xD800x\xDC00\n", false) + "A", "\xEF\xBF\xBDx\xEF\xBF\xBD"},
      {"cut surrogate pair", Utf16Bytes(u"[Masks]\nName=a\xD834", false), "a\xEF\xBF\xBD"},
  };
  for (const TCase& c : cases) {
    EXPECT_EQ(Parsed(c.Bytes).ReadValue("Masks", "Name"), c.Expected) << c.Name;
  }
  // Always written as UTF-8 with a mark.
  EXPECT_EQ(Parsed(Utf16Bytes(units, false)).GetText(), "\xEF\xBB\xBF" + text);
}

TEST(IniFileTest, IntegerValues) {
  const std::pair<const char*, std::optional<std::int32_t>> cases[] = {
      {"0", 0},
      {"4727", 4727},
      {"  12\t", 12},
      {"-5", -5},
      {"+7", 7},
      {"007", 7},
      {"2147483647", 2147483647},
      {"-2147483648", INT32_MIN},
      {"2147483648", std::nullopt},
      {"-2147483649", std::nullopt},
      {"99999999999999999999999", std::nullopt},
      {"$FF", 255},
      {"0x10", 16},
      {"$FFFFFFFF", -1},
      {"-$1", -1},
      {"$100000000", std::nullopt},
      {"", std::nullopt},
      {"   ", std::nullopt},
      {"-", std::nullopt},
      {"$", std::nullopt},
      {"0x", std::nullopt},
      {"12a", std::nullopt},
      {"1 2", std::nullopt},
      {"--1", std::nullopt},
      {"+-1", std::nullopt},
      {"$-1", std::nullopt},
      {"1.5", std::nullopt},
      {"abc", std::nullopt},
  };
  for (const auto& [text, expected] : cases) {
    EXPECT_EQ(ParseIniInteger(text), expected) << "'" << text << "'";
    const TIniFile ini = Parsed(std::string("[S]\nK=") + text + "\n");
    EXPECT_EQ(ini.ReadInteger("S", "K", 42), expected.value_or(42)) << "'" << text << "'";
  }
  EXPECT_EQ(Parsed("").ReadInteger("S", "K", -9), -9);
}

TEST(IniFileTest, BooleanValues) {
  const std::pair<const char*, std::optional<bool>> cases[] = {
      {"1", true},    {"0", false},      {"2", true},      {"-1", true},     {" 0 ", false},
      {"true", true}, {"FALSE", false},  {"yes", std::nullopt}, {"", std::nullopt},
      {"1x", std::nullopt},
  };
  for (const auto& [text, expected] : cases) {
    const TIniFile ini = Parsed(std::string("[S]\nK=") + text + "\n");
    EXPECT_EQ(ini.ReadBool("S", "K", true), expected.value_or(true)) << "'" << text << "'";
    EXPECT_EQ(ini.ReadBool("S", "K", false), expected.value_or(false)) << "'" << text << "'";
  }
  TIniFile ini;
  ini.WriteBool("S", "On", true);
  ini.WriteBool("S", "Off", false);
  EXPECT_EQ(ini.ReadValue("S", "On"), "1");
  EXPECT_EQ(ini.ReadValue("S", "Off"), "0");
}

TEST(IniFileTest, FloatValues) {
  const std::pair<const char*, std::optional<double>> cases[] = {
      {"0", 0.0}, {"1.5", 1.5}, {"1,5", 1.5}, {" -2.25 ", -2.25}, {"+3", 3.0},
      {"1e3", 1000.0}, {"", std::nullopt}, {"x", std::nullopt}, {"1.5x", std::nullopt},
      {"inf", std::nullopt}, {"nan", std::nullopt},
  };
  for (const auto& [text, expected] : cases) {
    const TIniFile ini = Parsed(std::string("[S]\nK=") + text + "\n");
    EXPECT_EQ(ini.ReadFloat("S", "K", 7.0), expected.value_or(7.0)) << "'" << text << "'";
  }
  TIniFile ini;
  for (double v : {0.0, 0.1, -123.456, 1e-300, 12345678.9}) {
    ini.WriteFloat("S", "K", v);
    EXPECT_EQ(ini.ReadFloat("S", "K", 7.0), v);
  }
}

// Floats are written with the locale's decimal separator and read back with it, with "." or
// with ",", whichever locale wrote them.
TEST(IniFileTest, FloatsFollowTheLocaleInWritingAndReadEither) {
  struct TCase {
    const char* Separator;
    double Value;
    const char* Stored;
  };
  const TCase cases[] = {
      {".", 2.5, "2.5"},        {",", 2.5, "2,5"},       {",", -0.125, "-0,125"}, {",", 3.0, "3"},
      {",", 1e-300, "1e-300"},  {"\xD9\xAB", 0.5, "0\xD9\xAB" "5"},  // Arabic decimal separator
  };
  const std::shared_ptr<const TFormatSettings> saved = GetFormatSettings();
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Separator);
    TFormatSettings fs;
    fs.DecimalSeparator = c.Separator;
    SetFormatSettings(fs);
    TIniFile ini;
    ini.WriteFloat("User", "MinValue", c.Value);
    EXPECT_EQ(ini.ReadValue("User", "MinValue").value_or("(none)"), c.Stored);
    EXPECT_EQ(Parsed(ini.GetText()).ReadFloat("User", "MinValue", 7.0), c.Value);
    // Files written under another locale still read.
    for (const char* other : {"[User]\nMinValue=1.25\n", "[User]\nMinValue=1,25\n"})
      EXPECT_EQ(Parsed(other).ReadFloat("User", "MinValue", 7.0), 1.25) << other;
  }
  SetFormatSettings(*saved);
}

TEST(IniFileTest, HexPairs) {
  EXPECT_EQ(HexEncode(""), "");
  EXPECT_EQ(HexEncode(std::string("\x00\x0F\xA0\xFF/", 5)), "000FA0FF2F");
  const std::pair<const char*, std::optional<std::string>> cases[] = {
      {"", std::string()},
      {"2F75", std::string("/u")},
      {"2f75", std::string("/u")},
      {"00FF", std::string("\x00\xFF", 2)},
      {"2F7", std::nullopt},    // odd number of digits
      {"2G", std::nullopt},
      {"2F 75", std::nullopt},
      {"0x2F", std::nullopt},
  };
  for (const auto& [hex, expected] : cases) {
    EXPECT_EQ(HexDecode(hex), expected) << hex;
  }
  std::string all;
  for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
  EXPECT_EQ(HexDecode(HexEncode(all)), all);
}

TEST(IniFileTest, TextLists) {
  struct TCase {
    std::string Bytes;
    std::vector<std::string> Lines;
  };
  const TCase cases[] = {
      {"", {}},
      {"\r\n", {""}},
      {"/usr\r\n/opt\r\n", {"/usr", "/opt"}},
      {"/usr\r\n/opt", {"/usr", "/opt"}},   // last line without an ending
      {"/usr\n/opt\r/srv", {"/usr", "/opt", "/srv"}},
      {"a\r\n\r\nb\r\n", {"a", "", "b"}},
      {"\xEF\xBB\xBF/usr\r\n", {"/usr"}},
      {"/Données\r\n", {"/Données"}},
  };
  for (const TCase& c : cases) {
    EXPECT_EQ(SplitTextLines(c.Bytes), c.Lines) << HexEncode(c.Bytes);
  }
  EXPECT_EQ(JoinTextLines({"/usr", "", "/Données"}), "/usr\r\n\r\n/Données\r\n");
  for (const std::vector<std::string>& list : std::vector<std::vector<std::string>>{
           {"\xEF\xBB\xBF/x", "\xEF\xBB\xBF/y"}, {"\xFF\xFE/x"}, {"\xFE\xFF"}, {"/x", "\xFF\xFE"}}) {
    EXPECT_EQ(SplitTextLines(JoinTextLines(list)), list) << HexEncode(JoinTextLines(list));
  }

  TIniFile ini;
  const std::vector<std::string> lists[] = {{}, {""}, {"/usr", "/srv/Ärchiv ü", "/lib*"}};
  for (const auto& list : lists) {
    ini.WriteTextList("Advanced", "PermanentExclusions", list);
    EXPECT_EQ(ini.ReadTextList("Advanced", "PermanentExclusions"), list);
  }
  ini.WriteTextList("Advanced", "PermanentExclusions", {"/usr"});
  EXPECT_EQ(ini.ReadValue("Advanced", "PermanentExclusions"), "2F7573720D0A");
  EXPECT_EQ(ini.ReadTextList("Advanced", "Missing"), std::nullopt);
  EXPECT_EQ(Parsed("[A]\nL=2F7\n").ReadTextList("A", "L"), std::nullopt);
  EXPECT_EQ(Parsed("[A]\nL= 2F75 \n").ReadTextList("A", "L"), std::vector<std::string>{"/u"});
}

TEST(IniFileTest, WritingKeepsOrderAndUpdatesInPlace) {
  TIniFile ini = Parsed("[B]\nb1=x\nb2=y\n[A]\na1=z\n");
  ini.WriteString("a", "A1", "new");   // existing key, other case: its spelling stays
  ini.WriteString("B", "b3", "added");
  ini.WriteString("C", "c1", "");
  EXPECT_EQ(ini.GetText(), "\xEF\xBB\xBF[B]\nb1=x\nb2=y\nb3=added\n\n[A]\na1=new\n\n[C]\nc1=\n");

  ini.DeleteKey("b", "B2");
  ini.EraseSection("a");
  EXPECT_EQ(ini.GetText(), "\xEF\xBB\xBF[B]\nb1=x\nb3=added\n\n[C]\nc1=\n");
  ini.Clear();
  EXPECT_EQ(ini.GetText(), "\xEF\xBB\xBF");
}

TEST(IniFileTest, ValuesWithLineBreaksAreNotStored) {
  TIniFile ini = Parsed("[Logging]\nLogDirectory=/old\nEnable=0\n");
  for (const char* value : {"/a\nb", "/a\rb", "x\n[Preferences]\nDisableSafetyLock=1"}) {
    EXPECT_FALSE(ini.WriteString("Logging", "LogDirectory", value));
    EXPECT_FALSE(ini.ValueExists("Logging", "LogDirectory"));
    const TIniFile reread = Parsed(ini.GetText());
    EXPECT_FALSE(reread.ValueExists("Logging", "LogDirectory"));
    EXPECT_FALSE(reread.SectionExists("Preferences"));
    EXPECT_EQ(reread.ReadValue("Logging", "Enable"), "0");
  }
  EXPECT_TRUE(ini.WriteString("Logging", "LogDirectory", "/a b "));
  EXPECT_EQ(Parsed(ini.GetText()).ReadValue("Logging", "LogDirectory"), "/a b ");
}

TEST(IniFileTest, BadNamesAreRefused) {
  TIniFile ini;
  for (const char* key : {"", "a=b", "a\nb", " a", "a ", "[a", ";a", "#a"}) {
    EXPECT_THROW(ini.WriteString("S", key, "v"), std::invalid_argument) << "'" << key << "'";
  }
  for (const char* section : {"a\nb", " a", "a\r"}) {
    EXPECT_THROW(ini.WriteString(section, "k", "v"), std::invalid_argument) << "'" << section << "'";
  }
  EXPECT_NO_THROW(ini.WriteString("Music File Mask", "a]b", "v"));
  EXPECT_EQ(Parsed(ini.GetText()).ReadValue("music file mask", "A]B"), "v");
}

TEST(IniFileTest, LoadFromFile) {
  const TTempDir dir;
  TIniFile ini = Parsed("[A]\nx=1\n");
  EXPECT_EQ(ini.LoadFromFile(dir / "missing.ini"), 0);
  EXPECT_FALSE(ini.SectionExists("A"));

  ini.SetText("[A]\nx=1\n");
  EXPECT_EQ(ini.LoadFromFile(dir.path()), EISDIR);
  EXPECT_FALSE(ini.SectionExists("A"));

  const std::string file = dir.Write("s.ini", "\xEF\xBB\xBF[A]\r\nx=2\r\n");
  EXPECT_EQ(ini.LoadFromFile(file), 0);
  EXPECT_EQ(ini.ReadInteger("a", "X", 0), 2);
}

TEST(IniFileUpdateTest, WritesTheWholeDocumentAndCreatesTheFolder) {
  const TTempDir dir;
  const std::string file = dir / "new/deeper/s.ini";
  TIniFile ini;
  ini.WriteString("A", "x", "Données");
  ASSERT_EQ(ini.UpdateFile(file), 0);
  EXPECT_EQ(ReadAll(file), "\xEF\xBB\xBF[A]\nx=Données\n");
  EXPECT_EQ(FolderEntries(dir / "new/deeper"), std::vector<std::string>{"s.ini"});

  TIniFile again;
  ASSERT_EQ(again.LoadFromFile(file), 0);
  EXPECT_EQ(again.ReadValue("a", "x"), "Données");
}

TEST(IniFileUpdateTest, ReplacingKeepsModeAndSymbolicLinks) {
  const TTempDir dir;
  const std::string real = dir.Write("dotfiles/s.ini", "[A]\nx=1\n");
  ::chmod(real.c_str(), 0640);
  const std::string link = dir / "config/s.ini";
  fs::create_directories(dir / "config");
  fs::create_symlink(real, link);

  TIniFile ini;
  ASSERT_EQ(ini.LoadFromFile(link), 0);
  ini.WriteInteger("A", "x", 2);
  ASSERT_EQ(ini.UpdateFile(link), 0);

  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(ReadAll(real), "\xEF\xBB\xBF[A]\nx=2\n");
  struct stat st {};
  ASSERT_EQ(::stat(real.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_EQ(FolderEntries(dir / "dotfiles"), std::vector<std::string>{"s.ini"});
  EXPECT_EQ(FolderEntries(dir / "config"), std::vector<std::string>{"s.ini"});
}

TEST(IniFileUpdateTest, AFailedWriteLeavesNothingBehind) {
  const TTempDir dir;
  // A parent that is a regular file: even root cannot create the folder.
  const std::string blocker = dir.Write("blocker", "not a folder");
  TIniFile ini;
  ini.WriteString("A", "x", "1");
  EXPECT_EQ(ini.UpdateFile(blocker + "/sub/s.ini"), ENOTDIR);
  EXPECT_EQ(ini.UpdateFile(blocker + "/s.ini"), ENOTDIR);
  EXPECT_EQ(ReadAll(blocker), "not a folder");
  EXPECT_EQ(FolderEntries(dir.path()), std::vector<std::string>{"blocker"});
  EXPECT_EQ(ini.UpdateFile(""), ENOENT);
}

TEST(IniFileUpdateTest, AWriteCutShortKeepsTheOldFile) {
  const TTempDir dir;
  const std::string old = "\xEF\xBB\xBF[A]\nx=old\n";
  const std::string file = dir.Write("s.ini", old);
  TIniFile ini;
  ini.WriteString("A", "x", std::string(64 * 1024, 'v'));

  // A file-size limit makes the write fail half way, like a full disk; root is bound by it too.
  rlimit saved {};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit small = saved;
  small.rlim_cur = 4096;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  const int err = ini.UpdateFile(file);
  ::setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, previousHandler);

  EXPECT_EQ(err, EFBIG);
  EXPECT_EQ(ReadAll(file), old);
  EXPECT_EQ(FolderEntries(dir.path()), std::vector<std::string>{"s.ini"});
}

TEST(IniFileUpdateTest, WriteFileAtomicallyReplacesWholeFiles) {
  const TTempDir dir;
  const std::string file = dir.Write("f.bin", std::string(100000, 'a'));
  ASSERT_EQ(WriteFileAtomically(file, "short"), 0);
  EXPECT_EQ(ReadAll(file), "short");
  ASSERT_EQ(WriteFileAtomically(file, ""), 0);
  EXPECT_EQ(ReadAll(file), "");
  EXPECT_EQ(FolderEntries(dir.path()), std::vector<std::string>{"f.bin"});
}

}  // namespace
}  // namespace pelcrow
