// The program's log: what it did, one record per line, in a UTF-16 LE file per day
// ("yyyy-mm-dd.log" in the log folder), written only while logging is enabled.
// Records start with CR LF, so each start of logging begins with a blank line and the file ends
// without a line break. A record is "hh:nn:ss", a tab, then "[Severity]: message" or the padded
// event name, a tab, the object, a tab and "[data]".
//
// The scan worker and the user-interface thread log at the same time: every operation is
// serialised and never throws. A write error turns logging off; the user is told on the
// user-interface thread.
#pragma once

#include <array>
#include <cstdint>
#include <cstddef>
#include <cstdio>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>

#include "base/DateTime.h"
#include "settings/PcwSettings.h"

namespace pelcrow {

enum TLogSeverity : unsigned { lsvInfo, lsvWarning, lsvError };

inline constexpr std::size_t kLogEventCount = 14;

// "Info", "Warning", "Error": never translated.
const char* LogSeverityText(TLogSeverity ASeverity);
// The English event name, 16 characters wide ("File Deleted    "); empty for an unknown event.
const char* LogEventText(TPcwLogEvent Event);

inline constexpr const char* kUnableToWriteLogMessage =
    "Unable to write log. Please check program settings and then re-enable logging.";
inline constexpr const char* kUnableToDeleteOldLogsMessage =
    "Unable to delete old log files. Please check program settings and then re-enable this feature.";

// What the log does, taken from the settings record where a program starts logging or saves its
// settings; the log itself never reads the record.
struct TLogOptions {
  bool EnableLogging = false;
  std::string LogDirectory;
  TPcwLogEvents LogEvents;                // accepted by a log that opens on its first write
  std::int32_t AutoDeleteLogPeriod = 0;   // days; 0 keeps every log
};
TLogOptions LogOptionsOf(const TPcwSettings& Record);

// What the log switched off by itself after a failure, for the record's owner to save.
enum class TLogSwitchOff { lsLogging, lsAutoDelete };

class TLogger {
 public:
  TLogger();
  TLogger(const TLogger&) = delete;
  TLogger& operator=(const TLogger&) = delete;
  ~TLogger();

  // Full path of the log file in use; empty while none is open.
  std::string LogFileName() const;

  // Takes Options, then (re)opens today's log in Options.LogDirectory when logging is enabled,
  // accepting Events for the event-object records; then removes old logs if
  // Options.AutoDeleteLogPeriod > 0.
  void StartLogging(const TLogOptions& Options, TPcwLogEvents Events);
  TLogOptions Options() const;
  // Takes Options for a log that opens on its first write, without (re)opening it now.
  void SetOptions(const TLogOptions& Options);
  // Closes the file and empties the accepted event set.
  void StopLogging();

  // Appends "[Severity]: AMsg", opening the log first if needed.
  void WriteLog(std::string_view AMsg, TLogSeverity ASeverity = lsvInfo);
  // An Info record: event name, FilePath (without an extended-length prefix), FileName, a blank,
  // EventData. The caller decides whether the event is wanted.
  void LogEvent(TPcwLogEvent Event, std::string_view FilePath, std::string_view FileName,
                std::string_view EventData);
  // An event-object record, written only if Event is in the accepted set.
  void LogEvent(TPcwLogEvent Event, std::string_view EventObject, std::string_view EventData);

  // Rebuilds the event names in the current language, padded to one width.
  void PrepareLogEventNames();
  std::string TranslLogEventName(TPcwLogEvent Event) const;

  // Deletes the "yyyy-mm-dd.log" files of LogDirectory whose creation or name date lies more
  // than MaxDays days back. The log in use is never deleted.
  void DeleteOldLogFiles(const std::string& LogDirectory, int MaxDays);

  // Told, on the user-interface thread, when the log switched logging or the removal of old logs
  // off after a failure, so that the settings file says so too. Returns the handler it replaces.
  std::function<void(TLogSwitchOff)> SetSwitchedOffHandler(std::function<void(TLogSwitchOff)> handler);
  // The clock of record times, file names and log ages (tests).
  void SetClock(std::function<TDateTime()> clock);

 private:
  void Start(TPcwLogEvents events, bool onlyIfClosed);
  void EnsureStarted();
  TDateTime Now() const;
  std::string TimeText() const;
  bool OpenLocked(const std::string& dir);
  void CloseLocked();
  bool WriteRecordLocked(std::string_view text);
  bool FailLocked();
  std::string EventObjectRecordLocked(TPcwLogEvent Event, std::string_view EventObject,
                                      std::string_view EventData) const;
  void OnWriteError();
  void OnDeleteError();
  void SwitchedOff(TLogSwitchOff what);

  mutable std::mutex fLock;
  std::FILE* fFile = nullptr;
  std::string FLogFileName;
  TPcwLogEvents fAcceptedEvents;
  std::array<std::string, kLogEventCount> FTranslLogEventNames;
  bool fWriteFailed = false;   // no implicit restart after a write error
  bool fErrorPending = false;  // the write-error handling waits for the user-interface thread
  bool fDeleteErrorPending = false;
  TLogOptions fOptions;
  std::function<void(TLogSwitchOff)> fSwitchedOff;
  std::function<TDateTime()> fClock;
};

// The one logger, created on first use and released at exit.
TLogger& GetLogger();

void StartLogging(const TLogOptions& Options, TPcwLogEvents Events);
void StopLogging();
inline void WriteLog(std::string_view AMsg, TLogSeverity ASeverity = lsvInfo) {
  GetLogger().WriteLog(AMsg, ASeverity);
}
inline void LogEvent(TPcwLogEvent Event, std::string_view FilePath, std::string_view FileName,
                     std::string_view EventData) {
  GetLogger().LogEvent(Event, FilePath, FileName, EventData);
}
inline void LogEvent(TPcwLogEvent Event, std::string_view EventObject, std::string_view EventData) {
  GetLogger().LogEvent(Event, EventObject, EventData);
}

}  // namespace pelcrow
