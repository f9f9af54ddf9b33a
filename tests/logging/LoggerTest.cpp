// The log file: exact bytes of its records, when it is opened, closed and moved, old-file
// clean-up, concurrent writers and the write-error path.
#include "logging/Logger.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "TestUtil.h"
#include "base/MainThread.h"
#include "base/UserPrompt.h"
#include "localization/LanguageController.h"
#include "settings/PcwSettings.h"

namespace pelcrow {
namespace {

namespace fs = std::filesystem;

TDateTime Local(int y, int mo, int d, int h = 12, int mi = 0, int s = 0) {
  TDateTime t;
  EXPECT_TRUE(TDateTime::FromLocal({y, mo, d, h, mi, s, 0}, t));
  return t;
}

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The file's text after its byte-order mark, decoded from UTF-16 LE (BMP only is enough here,
// surrogates are checked on bytes).
std::string ReadLogText(const std::string& path) {
  const std::string bytes = ReadBytes(path);
  EXPECT_GE(bytes.size(), 2u);
  EXPECT_EQ(bytes.substr(0, 2), "\xFF\xFE") << "byte-order mark";
  EXPECT_EQ(bytes.size() % 2, 0u);
  std::string text;
  for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) {
    const unsigned u = static_cast<unsigned char>(bytes[i]) | (static_cast<unsigned char>(bytes[i + 1]) << 8);
    if (u < 0x80) {
      text.push_back(static_cast<char>(u));
    } else if (u < 0x800) {
      text.push_back(static_cast<char>(0xC0 | (u >> 6)));
      text.push_back(static_cast<char>(0x80 | (u & 0x3F)));
    } else {
      text.push_back(static_cast<char>(0xE0 | (u >> 12)));
      text.push_back(static_cast<char>(0x80 | ((u >> 6) & 0x3F)));
      text.push_back(static_cast<char>(0x80 | (u & 0x3F)));
    }
  }
  return text;
}

std::string Utf16(std::string_view ascii) {
  std::string r;
  for (char c : ascii) r += std::string{c, '\0'};
  return r;
}

class LoggerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetMainThread(&fLoop);
    SetUserPrompt(&fPrompt);
    fOptions.EnableLogging = true;
    fOptions.LogDirectory = fDir / "logs";
    fLogger.SetOptions(fOptions);
    fLogger.SetClock([this] { return fNow; });
    // What the program's settings file does: take the change, save, restart the log.
    fLogger.SetSwitchedOffHandler([this](TLogSwitchOff what) {
      if (what == TLogSwitchOff::lsLogging) {
        fOptions.EnableLogging = false;
      } else {
        fOptions.AutoDeleteLogPeriod = 0;
      }
      ++fSaves;
      fLogger.StartLogging(fOptions, TPcwLogEvents{leInfo});
    });
  }
  void TearDown() override {
    fLoop.ProcessEvents();
    fLogger.StopLogging();
    SetUserPrompt(nullptr);
    SetMainThread(nullptr);
  }
  std::string LogPath(const char* date) const { return fOptions.LogDirectory + "/" + date + ".log"; }

  TLogOptions fOptions;  // the settings record of the test
  test::TTempDir fDir;
  TQueueMainThread fLoop;
  test::TScriptedPrompt fPrompt;
  TDateTime fNow = Local(2024, 3, 5, 14, 7, 9);
  int fSaves = 0;
  TLogger fLogger;
};

TEST_F(LoggerTest, NewFileStartsWithMarkBlankLineAndApplicationRecord) {
  fLogger.StartLogging(fOptions, TPcwLogEvents{leInfo});
  EXPECT_EQ(fLogger.LogFileName(), LogPath("2024-03-05"));
  EXPECT_EQ(ReadBytes(LogPath("2024-03-05")),
            "\xFF\xFE" + Utf16("\r\n\r\n14:07:09\tInfo            \tApplication\t[Pelcrow]"));
}

struct TRecordCase {
  const char* Name;
  std::function<void(TLogger&)> Write;
  std::string Expected;  // the record after its CR LF
};

TEST_F(LoggerTest, RecordLayouts) {
  const std::vector<TRecordCase> cases = {
      {"message", [](TLogger& l) { l.WriteLog("Starting Application", lsvInfo); },
       "14:07:09\t[Info]: Starting Application"},
      {"warning", [](TLogger& l) { l.WriteLog("x", lsvWarning); }, "14:07:09\t[Warning]: x"},
      {"error", [](TLogger& l) { l.WriteLog("cannot read a: b", lsvError); }, "14:07:09\t[Error]: cannot read a: b"},
      {"file event without data",
       [](TLogger& l) { l.LogEvent(leFileDeleted, "C:\\A\\", "x.txt", ""); },
       "14:07:09\t[Info]: File Deleted    C:\\A\\x.txt "},
      {"file event loses the extended-length prefix",
       [](TLogger& l) { l.LogEvent(leFileSkipped, "\\\\?\\C:\\A\\", "x.txt", "[Zero size]"); },
       "14:07:09\t[Info]: File Skipped    C:\\A\\x.txt [Zero size]"},
      {"UNC prefix keeps the server's backslashes",
       [](TLogger& l) { l.LogEvent(leFileMoved, "\\\\?\\UNC\\srv\\s\\", "x", "d"); },
       "14:07:09\t[Info]: File Moved      \\\\srv\\s\\x d"},
      {"error event is an Info record", [](TLogger& l) { l.LogEvent(leError, "/a/", "b", "c"); },
       "14:07:09\t[Info]: Error           /a/b c"},
      {"event-object record with data", [](TLogger& l) { l.LogEvent(leInfo, "Object", "data"); },
       "14:07:09\tInfo            \tObject\t[data]"},
      {"event-object record without data", [](TLogger& l) { l.LogEvent(leInfo, "Object", ""); },
       "14:07:09\tInfo            \tObject\t"},
      {"non-ASCII text", [](TLogger& l) { l.WriteLog("Gr\xC3\xBC\xC3\x9F" "e \xE2\x82\xAC", lsvInfo); },
       "14:07:09\t[Info]: Gr\xC3\xBC\xC3\x9F" "e \xE2\x82\xAC"},
      {"file name bytes that are not UTF-8 show as Latin-1",
       [](TLogger& l) { l.LogEvent(leFileFound, "/m/", "caf\xE9", ""); },
       "14:07:09\t[Info]: File Found      /m/caf\xC3\xA9 "},
  };
  fLogger.StartLogging(fOptions, TPcwLogEvents{leInfo});
  const std::string header = ReadLogText(LogPath("2024-03-05"));
  std::string expected = header;
  for (const TRecordCase& c : cases) {
    c.Write(fLogger);
    expected += "\r\n" + c.Expected;
    ASSERT_EQ(ReadLogText(LogPath("2024-03-05")), expected) << c.Name;
  }
  // An event outside the accepted set writes no event-object record.
  fLogger.LogEvent(leScanStarted, "Object", "data");
  EXPECT_EQ(ReadLogText(LogPath("2024-03-05")), expected);
}

TEST_F(LoggerTest, CharactersOutsideTheBasicPlaneAreSurrogatePairs) {
  fLogger.StartLogging(fOptions, TPcwLogEvents{leScanStarted});
  fLogger.WriteLog("\xF0\x9F\x98\x80", lsvInfo);
  const std::string bytes = ReadBytes(LogPath("2024-03-05"));
  EXPECT_EQ(bytes.substr(bytes.size() - 4), std::string("\x3D\xD8\x00\xDE", 4));
}

TEST_F(LoggerTest, RestartAppendsWithABlankLineAndNoSecondMark) {
  fLogger.StartLogging(fOptions, TPcwLogEvents{leInfo});
  fLogger.WriteLog("one", lsvInfo);
  fLogger.StartLogging(fOptions, TPcwLogEvents{leInfo});
  fLogger.WriteLog("two", lsvInfo);
  const std::string app = "14:07:09\tInfo            \tApplication\t[Pelcrow]";
  EXPECT_EQ(ReadLogText(LogPath("2024-03-05")),
            "\r\n\r\n" + app + "\r\n14:07:09\t[Info]: one\r\n\r\n" + app + "\r\n14:07:09\t[Info]: two");
}

TEST_F(LoggerTest, FirstWriteOpensTheLogWithTheSettingsEvents) {
  // No leInfo among the chosen events: no Application record, only the blank line.
  fOptions.LogEvents = TPcwLogEvents{leFileFound};
  fLogger.SetOptions(fOptions);
  fLogger.WriteLog("first", lsvInfo);
  EXPECT_EQ(ReadLogText(LogPath("2024-03-05")), "\r\n\r\n14:07:09\t[Info]: first");
  fLogger.StopLogging();
  fs::remove(LogPath("2024-03-05"));
  // No events chosen at all: [leInfo].
  fOptions.LogEvents = TPcwLogEvents();
  fLogger.SetOptions(fOptions);
  fLogger.LogEvent(leInfo, "Object", "");
  EXPECT_EQ(ReadLogText(LogPath("2024-03-05")),
            "\r\n\r\n14:07:09\tInfo            \tApplication\t[Pelcrow]\r\n14:07:09\tInfo            \tObject\t");
}

TEST_F(LoggerTest, DisabledLoggingWritesNothing) {
  fOptions.EnableLogging = false;
  fLogger.StartLogging(fOptions, TPcwLogEvents{leInfo});
  fLogger.WriteLog("x", lsvInfo);
  fLogger.LogEvent(leFileDeleted, "/a/", "b", "");
  fLogger.LogEvent(leInfo, "Object", "");
  EXPECT_EQ(fLogger.LogFileName(), "");
  EXPECT_FALSE(fs::exists(fOptions.LogDirectory));

  // Enabled with no events: nothing is opened either.
  fOptions.EnableLogging = true;
  fLogger.StartLogging(fOptions, TPcwLogEvents());
  EXPECT_EQ(fLogger.LogFileName(), "");
  EXPECT_FALSE(fs::exists(fOptions.LogDirectory));
}

TEST_F(LoggerTest, SwitchingLoggingOffClosesTheOpenLog) {
  fLogger.StartLogging(fOptions, TPcwLogEvents{leInfo});
  fLogger.WriteLog("before", lsvInfo);
  const std::string before = ReadLogText(LogPath("2024-03-05"));
  fOptions.EnableLogging = false;
  fLogger.StartLogging(fOptions, TPcwLogEvents{leInfo});  // what saving the settings does
  fLogger.WriteLog("after", lsvInfo);
  EXPECT_EQ(fLogger.LogFileName(), "");
  EXPECT_EQ(ReadLogText(LogPath("2024-03-05")), before);
}

TEST_F(LoggerTest, SameFilePastMidnightNewFileAfterRestart) {
  fNow = Local(2024, 3, 5, 23, 59, 59);
  fLogger.StartLogging(fOptions, TPcwLogEvents{leScanStarted});
  fNow = Local(2024, 3, 6, 0, 0, 1);
  fLogger.WriteLog("late", lsvInfo);
  EXPECT_EQ(ReadLogText(LogPath("2024-03-05")), "\r\n\r\n00:00:01\t[Info]: late");
  EXPECT_FALSE(fs::exists(LogPath("2024-03-06")));
  fLogger.StartLogging(fOptions, TPcwLogEvents{leScanStarted});
  fLogger.WriteLog("next day", lsvInfo);
  EXPECT_EQ(fLogger.LogFileName(), LogPath("2024-03-06"));
  EXPECT_EQ(ReadLogText(LogPath("2024-03-06")), "\r\n\r\n00:00:01\t[Info]: next day");
}

TEST_F(LoggerTest, NewFolderTakesEffectAtRestart) {
  fLogger.StartLogging(fOptions, TPcwLogEvents{leInfo});
  const std::string first = fLogger.LogFileName();
  fOptions.LogDirectory = fDir / "other/deeper";
  fLogger.StartLogging(fOptions, TPcwLogEvents{leInfo});
  EXPECT_EQ(fLogger.LogFileName(), LogPath("2024-03-05"));
  fLogger.WriteLog("moved", lsvInfo);
  EXPECT_NE(ReadLogText(LogPath("2024-03-05")).find("moved"), std::string::npos);
  EXPECT_EQ(ReadLogText(first).find("moved"), std::string::npos);
}

TEST_F(LoggerTest, EventNamesArePaddedToTheLongestTranslation) {
  fDir.Write("Languages/xx.lng",
             "File Deleted    =Datei gel\xC3\xB6scht\n"      // padded key, as the program asks
             "Media Sync Fail=Medien-Abgleich fehlgeschlagen\n"  // bare name is understood too
             "Info=  Hinweis  \n");
  TLanguageController& c = GetLanguageController();
  c.SetLanguagesFolder(fDir / "Languages");
  c.SetLanguage("xx");
  fLogger.PrepareLogEventNames();
  c.SetLanguage("en");
  c.SetLanguagesFolder(TLanguageController::DefaultLanguagesFolder());

  const std::size_t width = std::string("Medien-Abgleich fehlgeschlagen ").size();
  EXPECT_EQ(fLogger.TranslLogEventName(leMediaLibSyncFail), "Medien-Abgleich fehlgeschlagen ");
  EXPECT_EQ(fLogger.TranslLogEventName(leInfo), "Hinweis" + std::string(width - 7, ' '));
  // Padded by characters, not bytes: "ö" is two bytes.
  EXPECT_EQ(fLogger.TranslLogEventName(leFileDeleted),
            "Datei gel\xC3\xB6scht" + std::string(width - 14, ' '));
  EXPECT_EQ(fLogger.TranslLogEventName(leScanStarted), "Scan Started" + std::string(width - 12, ' '));

  fLogger.PrepareLogEventNames();  // in English again
  for (unsigned e = leScanStarted; e <= leMediaLibSyncFail; ++e)
    EXPECT_EQ(fLogger.TranslLogEventName(static_cast<TPcwLogEvent>(e)), LogEventText(static_cast<TPcwLogEvent>(e)));
}

// ---------------------------------------------------------------- old log files

struct TAgeCase {
  std::string Name;
  bool Deleted;
};

std::string DateName(TDateTime t) {
  const TDateTimeParts p = t.ToLocal();
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d.log", p.Year, p.Month, p.Day);
  return buf;
}

TEST_F(LoggerTest, DeleteOldLogFilesByNameDate) {
  fLogger.SetClock(nullptr);  // file creation times are real
  const TDateTime now = TDateTime::Now();
  auto daysAgo = [&](int d) { return TDateTime::FromUnix(now.UnixSeconds() - d * 86400LL); };
  const std::string dir = fDir / "old";
  const std::vector<TAgeCase> cases = {
      {DateName(now), false},
      {DateName(daysAgo(3)), false},
      {DateName(daysAgo(10)), true},
      {DateName(daysAgo(400)), true},
      {"2013-02-30.log", true},  // impossible date: the earliest
      {"2099-01-01.log", false},  // dated ahead, created now
      {"abcd-ef-gh.log", false},  // not a log name
      {"2013-01-01.txt", false},
      {"2013-01-01.log.bak", false},
      {"x2013-01-01.log", false},
  };
  for (const TAgeCase& c : cases) fDir.Write("old/" + c.Name, "x");
  fDir.Write("old/sub/2013-01-01.log", "x");
  fs::create_directories(dir + "/2013-01-02.log");
  fs::create_symlink(dir + "/2013-01-01.txt", dir + "/2013-01-03.log");

  fLogger.DeleteOldLogFiles(dir, 7);
  for (const TAgeCase& c : cases) EXPECT_EQ(fs::exists(dir + "/" + c.Name), !c.Deleted) << c.Name;
  EXPECT_TRUE(fs::exists(dir + "/sub/2013-01-01.log"));
  EXPECT_TRUE(fs::is_directory(dir + "/2013-01-02.log"));
  EXPECT_TRUE(fs::is_symlink(dir + "/2013-01-03.log"));

  fLogger.DeleteOldLogFiles(dir, 0);  // off: deletes nothing, not even what is old
  fDir.Write("old/2013-01-05.log", "x");
  fLogger.DeleteOldLogFiles(dir, 0);
  EXPECT_TRUE(fs::exists(dir + "/2013-01-05.log"));
  fLogger.DeleteOldLogFiles(dir, 2147483647);  // no overflow: nothing is that old
  EXPECT_TRUE(fs::exists(dir + "/2013-01-05.log"));
  fLogger.DeleteOldLogFiles(fDir / "missing", 7);
  EXPECT_TRUE(fPrompt.Messages.empty());
}

TEST_F(LoggerTest, OldLogsGoAtStartEvenWithLoggingOffButNeverTheOpenOne) {
  fOptions.AutoDeleteLogPeriod = 7;
  fDir.Write("logs/2013-01-01.log", "x");
  fOptions.EnableLogging = false;
  fLogger.StartLogging(fOptions, TPcwLogEvents{leInfo});
  EXPECT_FALSE(fs::exists(LogPath("2013-01-01")));

  // The log in use is dated 2013-01-01 by the clock and is older than the limit later on.
  fOptions.EnableLogging = true;
  fNow = Local(2013, 1, 1);
  fLogger.StartLogging(fOptions, TPcwLogEvents{leInfo});
  fNow = Local(2013, 3, 1);
  fLogger.DeleteOldLogFiles(fOptions.LogDirectory, 7);
  EXPECT_TRUE(fs::exists(LogPath("2013-01-01")));
  fLogger.WriteLog("still here", lsvInfo);
  EXPECT_NE(ReadLogText(LogPath("2013-01-01")).find("still here"), std::string::npos);
}

// ---------------------------------------------------------------- write errors

TEST_F(LoggerTest, UncreatableFolderTurnsLoggingOff) {
  fDir.Write("plain-file", "x");
  fOptions.LogDirectory = fDir / "plain-file/logs";  // root ignores permissions, not a file as parent
  fLogger.StartLogging(fOptions, TPcwLogEvents{leInfo});
  EXPECT_FALSE(fOptions.EnableLogging);
  EXPECT_EQ(fSaves, 1);
  ASSERT_EQ(fPrompt.Messages.size(), 1u);
  EXPECT_EQ(fPrompt.Messages[0].first, TMessageKind::mkWarning);
  EXPECT_EQ(fPrompt.Messages[0].second, kUnableToWriteLogMessage);
  EXPECT_EQ(fLogger.LogFileName(), "");

  fLogger.WriteLog("dropped", lsvInfo);
  EXPECT_EQ(fPrompt.Messages.size(), 1u);

  // Enabled again with a usable folder, logging works.
  fOptions.EnableLogging = true;
  fOptions.LogDirectory = fDir / "logs";
  fLogger.StartLogging(fOptions, TPcwLogEvents{leInfo});
  fLogger.WriteLog("back", lsvInfo);
  EXPECT_NE(ReadLogText(LogPath("2024-03-05")).find("back"), std::string::npos);
}

TEST_F(LoggerTest, EmptyFolderIsAnError) {
  fOptions.LogDirectory = "";
  fLogger.SetOptions(fOptions);
  fLogger.WriteLog("x", lsvInfo);
  EXPECT_FALSE(fOptions.EnableLogging);
  EXPECT_EQ(fPrompt.Messages.size(), 1u);
}

TEST_F(LoggerTest, WorkerWriteErrorIsReportedOnceOnTheUserInterfaceThread) {
  fDir.Write("plain-file", "x");
  fOptions.LogDirectory = fDir / "plain-file/logs";
  fLogger.SetOptions(fOptions);
  std::thread worker([this] {
    for (int i = 0; i < 50; ++i) fLogger.LogEvent(leFileFound, "/a/", std::to_string(i), "");
  });
  worker.join();
  EXPECT_TRUE(fPrompt.Messages.empty());  // nothing shown from the worker
  EXPECT_EQ(fSaves, 0);
  fLoop.ProcessEvents();
  EXPECT_FALSE(fOptions.EnableLogging);
  EXPECT_EQ(fSaves, 1);
  EXPECT_EQ(fPrompt.Messages.size(), 1u);
}

TEST_F(LoggerTest, FailedWriteToAnOpenLogTurnsLoggingOff) {
  fLogger.StartLogging(fOptions, TPcwLogEvents{leInfo});
  const auto size = static_cast<rlim_t>(fs::file_size(LogPath("2024-03-05")));
  // The file may not grow past its size: the next record fails with EFBIG.
  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  auto* oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit limited = saved;
  limited.rlim_cur = size + 4;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
  fLogger.WriteLog(std::string(5000, 'x'), lsvInfo);
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, oldHandler);

  EXPECT_FALSE(fOptions.EnableLogging);
  EXPECT_EQ(fLogger.LogFileName(), "");
  EXPECT_EQ(fPrompt.Messages.size(), 1u);
  fLogger.WriteLog("dropped", lsvInfo);
  EXPECT_EQ(fPrompt.Messages.size(), 1u);
}

TEST_F(LoggerTest, WarningIsTranslated) {
  fDir.Write("Languages/xx.lng", std::string(kUnableToWriteLogMessage) + "=Protokoll nicht schreibbar\n");
  TLanguageController& c = GetLanguageController();
  c.SetLanguagesFolder(fDir / "Languages");
  c.SetLanguage("xx");
  fDir.Write("plain-file", "x");
  fOptions.LogDirectory = fDir / "plain-file/logs";
  fLogger.SetOptions(fOptions);
  fLogger.WriteLog("x", lsvInfo);
  c.SetLanguage("en");
  c.SetLanguagesFolder(TLanguageController::DefaultLanguagesFolder());
  ASSERT_EQ(fPrompt.Messages.size(), 1u);
  EXPECT_EQ(fPrompt.Messages[0].second, "Protokoll nicht schreibbar");
}

// ---------------------------------------------------------------- concurrency

TEST_F(LoggerTest, ConcurrentWritersProduceWholeRecords) {
  constexpr int kThreads = 4;
  constexpr int kRecords = 300;
  fLogger.StartLogging(fOptions, TPcwLogEvents{leInfo});
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([this, t] {
      for (int i = 0; i < kRecords; ++i) {
        const std::string id = std::to_string(t) + "-" + std::to_string(i);
        if (i % 2) {
          fLogger.WriteLog("message " + id, lsvInfo);
        } else {
          fLogger.LogEvent(leFileFound, "/folder/", "file " + id, "");
        }
      }
    });
  }
  for (auto& th : threads) th.join();

  const std::string text = ReadLogText(LogPath("2024-03-05"));
  const std::regex record(R"(14:07:09\t\[Info\]: (?:message |File Found      /folder/file )(\d+)-(\d+) ?)");
  std::map<int, int> next;  // per thread: the records arrive in order
  int count = 0;
  std::size_t pos = text.find("[Pelcrow]") + 9;
  while (pos < text.size()) {
    ASSERT_EQ(text.compare(pos, 2, "\r\n"), 0) << pos;
    std::size_t end = text.find("\r\n", pos + 2);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(pos + 2, end - pos - 2);
    std::smatch m;
    ASSERT_TRUE(std::regex_match(line, m, record)) << line;
    const int t = std::stoi(m[1]);
    EXPECT_EQ(std::stoi(m[2]), next[t]++) << line;
    ++count;
    pos = end;
  }
  EXPECT_EQ(count, kThreads * kRecords);
}

TEST(GetLoggerTest, OneProcessWideLogger) {
  EXPECT_EQ(&GetLogger(), &GetLogger());
  StartLogging(TLogOptions(), TPcwLogEvents{leInfo});
  StopLogging();
  WriteLog("not written");
  EXPECT_EQ(GetLogger().LogFileName(), "");
}

TEST(GetLoggerTest, OptionsOfASettingsRecord) {
  TPcwSettings record;
  record.EnableLogging = true;
  record.LogDirectory = "/var/log/pelcrow";
  record.LogEvents = TPcwLogEvents{leFileMoved};
  record.AutoDeleteLogPeriod = 12;
  const TLogOptions o = LogOptionsOf(record);
  EXPECT_TRUE(o.EnableLogging);
  EXPECT_EQ(o.LogDirectory, "/var/log/pelcrow");
  EXPECT_TRUE(o.LogEvents.Contains(leFileMoved));
  EXPECT_FALSE(o.LogEvents.Contains(leInfo));
  EXPECT_EQ(o.AutoDeleteLogPeriod, 12);
}

}  // namespace
}  // namespace pelcrow
