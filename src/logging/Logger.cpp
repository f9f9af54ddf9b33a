#include "logging/Logger.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <system_error>
#include <vector>

#include "base/Trim.h"
#include "base/MainThread.h"
#include "base/UserPrompt.h"
#include "localization/LanguageController.h"
#include "localization/TextEncoding.h"
#include "localization/TranslateText.h"

namespace pelcrow {

namespace fs = std::filesystem;

namespace {

constexpr const char* kLogEventTexts[kLogEventCount] = {
    "Scan Started    ", "Scan Finished   ", "Info            ", "File Found      ",
    "File Skipped    ", "Folder Scanned  ", "Folder Skipped  ", "File Renamed    ",
    "File Moved      ", "File Deleted    ", "Error           ", "SymLink created ",
    "Media Sync Ok   ", "Media Sync Fail ",
};

constexpr std::int64_t kNsPerDay = 86400LL * 1000000000LL;
// Keeps "now minus MaxDays" inside the range of a time stamp.
constexpr int kMaxDaysLimit = 100000;


// The Windows extended-length prefixes "\\?\" and "\\?\UNC\"; the UNC form keeps its "\\".
std::string_view WithoutExtendedPrefix(std::string_view path, std::string& storage) {
  if (path.substr(0, 8) == "\\\\?\\UNC\\") {
    storage = "\\\\";
    storage.append(path.substr(8));
    return storage;
  }
  if (path.substr(0, 4) == "\\\\?\\") return path.substr(4);
  return path;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// "yyyy-mm-dd.log" with digits only: anything else in the folder is not one of our logs.
bool IsLogFileName(std::string_view name) {
  if (name.size() != 14 || name.substr(10) != ".log" || name[4] != '-' || name[7] != '-') return false;
  for (std::size_t i : {0u, 1u, 2u, 3u, 5u, 6u, 8u, 9u})
    if (!IsDigit(name[i])) return false;
  return true;
}

int Number(std::string_view digits) {
  int v = 0;
  for (char c : digits) v = v * 10 + (c - '0');
  return v;
}

// Midnight of the date in a log file's name; a date that does not exist counts as the earliest.
TDateTime NameDate(std::string_view name) {
  TDateTimeParts p;
  p.Year = Number(name.substr(0, 4));
  p.Month = Number(name.substr(5, 2));
  p.Day = Number(name.substr(8, 2));
  p.Hour = p.Minute = p.Second = p.MilliSecond = 0;
  TDateTime t;
  if (!TDateTime::FromLocal(p, t)) return TDateTime::FromUnixNanoseconds(INT64_MIN);
  return t;
}

// Birth time where the file system records it, else the modification time, which is never
// earlier and so never makes a file look older than it is.
bool CreationTime(const std::string& path, TDateTime& out) {
  struct statx stx {};
  if (::statx(AT_FDCWD, path.c_str(), AT_SYMLINK_NOFOLLOW, STATX_BTIME | STATX_MTIME, &stx) != 0)
    return false;
  const struct statx_timestamp& ts = (stx.stx_mask & STATX_BTIME) ? stx.stx_btime : stx.stx_mtime;
  out = TDateTime::FromUnix(ts.tv_sec, ts.tv_nsec);
  return true;
}

// Runs fn on the user-interface thread: at once when called there, else queued, so a worker
// never waits for the user.
void OnMainThread(std::function<void()> fn) {
  IMainThread& mt = GetMainThread();
  if (mt.IsMainThread()) {
    fn();
  } else {
    mt.Post(std::move(fn));
  }
}

void ShowWarning(const char* english) {
  std::string text;
  try {
    text = TranslateText(english);
  } catch (...) {
    text = english;
  }
  try {
    GetUserPrompt().ShowMessage(TMessageKind::mkWarning, text);
  } catch (...) {
    try {
      GetUserPrompt().ShowMessage(TMessageKind::mkWarning, english);
    } catch (...) {
    }
  }
}

}  // namespace

const char* LogSeverityText(TLogSeverity ASeverity) {
  switch (ASeverity) {
    case lsvInfo: return "Info";
    case lsvWarning: return "Warning";
    case lsvError: return "Error";
  }
  return "";
}

const char* LogEventText(TPcwLogEvent Event) {
  const auto i = static_cast<std::size_t>(Event);
  return i < kLogEventCount ? kLogEventTexts[i] : "";
}

TLogger::TLogger() {
  for (std::size_t i = 0; i < kLogEventCount; ++i) FTranslLogEventNames[i] = kLogEventTexts[i];
}

TLogger::~TLogger() {
  std::lock_guard<std::mutex> g(fLock);
  CloseLocked();
}

std::string TLogger::LogFileName() const {
  std::lock_guard<std::mutex> g(fLock);
  return FLogFileName;
}

std::function<void(TLogSwitchOff)> TLogger::SetSwitchedOffHandler(std::function<void(TLogSwitchOff)> handler) {
  std::lock_guard<std::mutex> g(fLock);
  std::swap(fSwitchedOff, handler);
  return handler;
}

TLogOptions TLogger::Options() const {
  std::lock_guard<std::mutex> g(fLock);
  return fOptions;
}

void TLogger::SetOptions(const TLogOptions& Options) {
  std::lock_guard<std::mutex> g(fLock);
  fOptions = Options;
}

void TLogger::SetClock(std::function<TDateTime()> clock) {
  std::lock_guard<std::mutex> g(fLock);
  fClock = std::move(clock);
}

TDateTime TLogger::Now() const { return fClock ? fClock() : TDateTime::Now(); }

std::string TLogger::TimeText() const {
  const TDateTimeParts p = Now().ToLocal();
  char buf[16];
  std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", p.Hour, p.Minute, p.Second);
  return buf;
}

void TLogger::PrepareLogEventNames() {
  try {
    std::array<std::string, kLogEventCount> names;
    std::size_t width = 0;
    for (std::size_t i = 0; i < kLogEventCount; ++i) {
      // The padded resource text is the key; a file that lists the bare name is understood too.
      std::string t = TranslateText(kLogEventTexts[i]);
      if (t == kLogEventTexts[i]) t = TranslateText(TrimBlanks(kLogEventTexts[i]));
      names[i] = std::string(TrimBlanks(t)) + " ";
      width = std::max(width, CharacterCount(names[i]));
    }
    for (std::string& n : names) n.append(width - CharacterCount(n), ' ');
    std::lock_guard<std::mutex> g(fLock);
    FTranslLogEventNames = std::move(names);
  } catch (...) {
    // The previous names stay.
  }
}

std::string TLogger::TranslLogEventName(TPcwLogEvent Event) const {
  const auto i = static_cast<std::size_t>(Event);
  std::lock_guard<std::mutex> g(fLock);
  return i < kLogEventCount ? FTranslLogEventNames[i] : std::string();
}

void TLogger::StartLogging(const TLogOptions& Options, TPcwLogEvents Events) {
  try {
    SetOptions(Options);
    Start(Events, false);
  } catch (...) {
    // Logging must never break its caller.
  }
}

void TLogger::EnsureStarted() {
  // Disabled logging drops the write without touching the folder.
  TPcwLogEvents events;
  {
    std::lock_guard<std::mutex> g(fLock);
    if (!fOptions.EnableLogging || fFile != nullptr || fWriteFailed) return;
    events = fOptions.LogEvents;
  }
  if (events.Empty()) events = TPcwLogEvents{leInfo};
  Start(events, true);
}

void TLogger::Start(TPcwLogEvents events, bool onlyIfClosed) {
  const TLogOptions options = Options();
  const bool enabled = options.EnableLogging;
  if (enabled && !events.Empty()) PrepareLogEventNames();
  bool failed = false;
  {
    std::lock_guard<std::mutex> g(fLock);
    // Another thread may have opened the log meanwhile.
    if (onlyIfClosed && (fFile != nullptr || fWriteFailed)) return;
    // Closed even when logging is now disabled: a switched-off log must stop growing.
    CloseLocked();
    fAcceptedEvents = TPcwLogEvents();
    if (!onlyIfClosed) fWriteFailed = false;
    if (enabled) {
      if (events.Empty()) return;
      fAcceptedEvents = events;
      bool ok = OpenLocked(options.LogDirectory) && WriteRecordLocked("");
      if (ok && fAcceptedEvents.Contains(leInfo))
        ok = WriteRecordLocked(EventObjectRecordLocked(leInfo, "Application", kAppName));
      if (!ok) failed = FailLocked();
    }
  }
  if (failed) OnWriteError();
  if (options.AutoDeleteLogPeriod > 0) DeleteOldLogFiles(options.LogDirectory, options.AutoDeleteLogPeriod);
}

void TLogger::StopLogging() {
  std::lock_guard<std::mutex> g(fLock);
  CloseLocked();
  fAcceptedEvents = TPcwLogEvents();
}

bool TLogger::OpenLocked(const std::string& dir) {
  // An empty folder would put the log into the root folder.
  if (dir.empty()) return false;
  std::error_code ec;
  fs::create_directories(dir, ec);
  if (ec) return false;
  std::string name = dir;
  if (name.back() != '/') name.push_back('/');
  const TDateTimeParts p = Now().ToLocal();
  char date[32];
  std::snprintf(date, sizeof date, "%04d-%02d-%02d.log", p.Year, p.Month, p.Day);
  name += date;
  // Append mode: records always land at the end, whatever else writes the file.
  std::FILE* f = std::fopen(name.c_str(), "abe");
  if (f == nullptr) return false;
  fFile = f;
  FLogFileName = name;
  if (std::fseek(f, 0, SEEK_END) != 0) return false;
  const long size = std::ftell(f);
  if (size < 0) return false;
  if (size == 0 && (std::fwrite("\xFF\xFE", 1, 2, f) != 2 || std::fflush(f) != 0)) return false;
  return true;
}

void TLogger::CloseLocked() {
  if (fFile != nullptr) std::fclose(fFile);
  fFile = nullptr;
  FLogFileName.clear();
}

bool TLogger::WriteRecordLocked(std::string_view text) {
  if (fFile == nullptr) return false;
  std::string bytes;
  bytes.reserve(2 * text.size() + 4);
  AppendUtf16LE(bytes, "\r\n");
  AppendUtf16LE(bytes, text);
  // One flush per record: a crash loses no line that was reported as written.
  return std::fwrite(bytes.data(), 1, bytes.size(), fFile) == bytes.size() && std::fflush(fFile) == 0;
}

bool TLogger::FailLocked() {
  CloseLocked();
  fAcceptedEvents = TPcwLogEvents();
  fWriteFailed = true;
  if (fErrorPending) return false;
  fErrorPending = true;
  return true;
}

std::string TLogger::EventObjectRecordLocked(TPcwLogEvent Event, std::string_view EventObject,
                                             std::string_view EventData) const {
  const auto i = static_cast<std::size_t>(Event);
  std::string r = TimeText();
  r += '\t';
  if (i < kLogEventCount) r += FTranslLogEventNames[i];
  r += '\t';
  r.append(EventObject);
  r += '\t';
  if (!EventData.empty()) {
    r += '[';
    r.append(EventData);
    r += ']';
  }
  return r;
}

void TLogger::WriteLog(std::string_view AMsg, TLogSeverity ASeverity) {
  try {
    EnsureStarted();
    bool failed = false;
    {
      std::lock_guard<std::mutex> g(fLock);
      if (fFile == nullptr) return;
      std::string r = TimeText();
      r += "\t[";
      r += LogSeverityText(ASeverity);
      r += "]: ";
      r.append(AMsg);
      if (!WriteRecordLocked(r)) failed = FailLocked();
    }
    if (failed) OnWriteError();
  } catch (...) {
  }
}

void TLogger::LogEvent(TPcwLogEvent Event, std::string_view FilePath, std::string_view FileName,
                       std::string_view EventData) {
  try {
    // Started first so that the first record already carries the current language's name.
    EnsureStarted();
    std::string storage;
    std::string msg = TranslLogEventName(Event);
    msg.append(WithoutExtendedPrefix(FilePath, storage));
    msg.append(FileName);
    msg += ' ';
    msg.append(EventData);
    WriteLog(msg, lsvInfo);
  } catch (...) {
  }
}

void TLogger::LogEvent(TPcwLogEvent Event, std::string_view EventObject, std::string_view EventData) {
  try {
    EnsureStarted();
    bool failed = false;
    {
      std::lock_guard<std::mutex> g(fLock);
      if (fFile == nullptr || !fAcceptedEvents.Contains(Event)) return;
      if (!WriteRecordLocked(EventObjectRecordLocked(Event, EventObject, EventData))) failed = FailLocked();
    }
    if (failed) OnWriteError();
  } catch (...) {
  }
}

void TLogger::SwitchedOff(TLogSwitchOff what) {
  std::function<void(TLogSwitchOff)> handler;
  {
    std::lock_guard<std::mutex> g(fLock);
    if (what == TLogSwitchOff::lsLogging) {
      fOptions.EnableLogging = false;
    } else {
      fOptions.AutoDeleteLogPeriod = 0;
    }
    handler = fSwitchedOff;
  }
  try {
    if (handler) handler(what);
  } catch (...) {
  }
}

void TLogger::OnWriteError() {
  OnMainThread([this] {
    SwitchedOff(TLogSwitchOff::lsLogging);
    {
      std::lock_guard<std::mutex> g(fLock);
      fErrorPending = false;
    }
    ShowWarning(kUnableToWriteLogMessage);
  });
}

void TLogger::OnDeleteError() {
  {
    std::lock_guard<std::mutex> g(fLock);
    if (fDeleteErrorPending) return;
    fDeleteErrorPending = true;
  }
  OnMainThread([this] {
    // Switched off before the box is shown, so that a restart meanwhile does not fail again.
    SwitchedOff(TLogSwitchOff::lsAutoDelete);
    {
      std::lock_guard<std::mutex> g(fLock);
      fDeleteErrorPending = false;
    }
    ShowWarning(kUnableToDeleteOldLogsMessage);
  });
}

void TLogger::DeleteOldLogFiles(const std::string& LogDirectory, int MaxDays) {
  try {
    if (MaxDays <= 0) return;  // 0 means the feature is off; it would delete today's log
    std::error_code ec;
    if (LogDirectory.empty() || !fs::is_directory(LogDirectory, ec)) return;
    const std::string inUse = LogFileName();
    TDateTime now;
    {
      std::lock_guard<std::mutex> g(fLock);
      now = Now();
    }
    const std::int64_t days = std::min(MaxDays, kMaxDaysLimit);
    const TDateTime limit = TDateTime::FromUnixNanoseconds(now.UnixNanoseconds() - days * kNsPerDay);

    std::vector<fs::path> candidates;
    fs::directory_iterator it(LogDirectory, ec);
    if (ec) throw fs::filesystem_error("cannot list the log folder", LogDirectory, ec);
    for (const fs::directory_iterator end; it != end; it.increment(ec)) {
      if (IsLogFileName(it->path().filename().string())) candidates.push_back(it->path());
    }
    if (ec) throw fs::filesystem_error("cannot list the log folder", LogDirectory, ec);

    for (const fs::path& p : candidates) {
      std::error_code fe;
      if (!fs::is_regular_file(fs::symlink_status(p, fe))) continue;
      if (!inUse.empty() && fs::equivalent(p, inUse, fe)) continue;
      TDateTime created = TDateTime::FromUnixNanoseconds(INT64_MAX);
      CreationTime(p.string(), created);
      if (limit > created || limit > NameDate(p.filename().string())) fs::remove(p, fe);
    }
  } catch (...) {
    OnDeleteError();
  }
}

TLogOptions LogOptionsOf(const TPcwSettings& Record) {
  TLogOptions o;
  o.EnableLogging = Record.EnableLogging;
  o.LogDirectory = Record.LogDirectory;
  o.LogEvents = Record.LogEvents;
  o.AutoDeleteLogPeriod = Record.AutoDeleteLogPeriod;
  return o;
}

TLogger& GetLogger() {
  static TLogger logger;
  return logger;
}

namespace {

// Settings and the language controller know no log: the log, linked into every program that has
// one, connects them when the program starts. A program whose settings record is not the user's
// file (the command line) replaces the switched-off handler while it logs.
const bool kConnectedToSettings = [] {
  GetLogger().SetSwitchedOffHandler([](TLogSwitchOff what) {
    if (what == TLogSwitchOff::lsLogging) {
      Settings.EnableLogging = false;
    } else {
      Settings.AutoDeleteLogPeriod = 0;
    }
    Settings.SaveSettings();
  });
  TLanguageController::SetErrorSink([](const std::string& text) { GetLogger().WriteLog(text, lsvError); });
  TPcwSettings::SetSavingHook([](TPcwSettings& saved) {
    GetLanguageController().SetLanguage(saved.TranslationLanguageCode);
    GetLogger().PrepareLogEventNames();
    // Restarted on the folder as saved; a log that has just been switched off is closed.
    StopLogging();
    StartLogging(LogOptionsOf(saved), TPcwLogEvents{leInfo});
  });
  return true;
}();

}  // namespace

void StartLogging(const TLogOptions& Options, TPcwLogEvents Events) { GetLogger().StartLogging(Options, Events); }

void StopLogging() { GetLogger().StopLogging(); }

}  // namespace pelcrow
