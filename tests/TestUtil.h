// Small fixtures shared by the core tests: a fresh folder per test inside the build tree (the
// temporary folder is skipped by default scans), file writing, and a synchronous scan.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <iterator>
#include <fstream>
#include <cstdlib>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "TestPaths.h"
#include "base/MainThread.h"
#include "base/UserPrompt.h"
#include "engine/ScanEngine.h"

namespace pelcrow::test {

// Sets (or with nullopt unsets) one environment variable for the scope.
class TScopedEnv {
 public:
  TScopedEnv(const char* name, std::optional<std::string> value) : fName(name) {
    if (const char* old = std::getenv(name)) fOld = old;
    if (value) {
      ::setenv(name, value->c_str(), 1);
    } else {
      ::unsetenv(name);
    }
  }
  ~TScopedEnv() {
    if (fOld) {
      ::setenv(fName, fOld->c_str(), 1);
    } else {
      ::unsetenv(fName);
    }
  }
  TScopedEnv(const TScopedEnv&) = delete;
  TScopedEnv& operator=(const TScopedEnv&) = delete;

 private:
  const char* fName;
  std::optional<std::string> fOld;
};

// Answers the user prompt from scripted queues (an empty queue answers No / Cancel) and records
// every text shown. Installed for its scope.
class TScriptedPrompt final : public IUserPrompt {
 public:
  TScriptedPrompt() : fPrevious(&GetUserPrompt()) { SetUserPrompt(this); }
  ~TScriptedPrompt() override { SetUserPrompt(fPrevious); }
  TScriptedPrompt(const TScriptedPrompt&) = delete;
  TScriptedPrompt& operator=(const TScriptedPrompt&) = delete;

  void ShowMessage(TMessageKind kind, const std::string& text) override { Messages.emplace_back(kind, text); }
  bool Confirm(const std::string& text) override {
    Questions.push_back(text);
    return Pop(ConfirmAnswers, false);
  }
  bool ConfirmWithCheck(const std::string& text, const std::string& checkText, bool& Checked) override {
    Questions.push_back(text);
    CheckTexts.push_back(checkText);
    Checked = Pop(CheckAnswers, Checked);
    return Pop(ConfirmAnswers, false);
  }
  TCheckSelectionAnswer CheckSelection(const std::string& message, bool AllowOverride) override {
    SafetyLockMessages.push_back(message);
    SafetyLockOverrideShown.push_back(AllowOverride);
    return Pop(SafetyLockAnswers, TCheckSelectionAnswer{});
  }
  bool ShowUndoErrors(const std::string& statusText, const std::vector<std::string>& lines) override {
    UndoStatus.push_back(statusText);
    UndoLines.push_back(lines);
    return Pop(RetryAnswers, false);
  }
  TReadOnlyAnswer AskReadOnly(const std::string& text) override {
    ReadOnlyQuestions.push_back(text);
    return Pop(ReadOnlyAnswers, TReadOnlyAnswer::raNo);
  }

  std::vector<bool> ConfirmAnswers, CheckAnswers, RetryAnswers;
  std::vector<TCheckSelectionAnswer> SafetyLockAnswers;
  std::vector<TReadOnlyAnswer> ReadOnlyAnswers;
  std::vector<std::string> ReadOnlyQuestions;
  std::vector<std::pair<TMessageKind, std::string>> Messages;
  std::vector<std::string> Questions, CheckTexts, SafetyLockMessages, UndoStatus;
  std::vector<bool> SafetyLockOverrideShown;
  std::vector<std::vector<std::string>> UndoLines;

 private:
  IUserPrompt* fPrevious;
  template <class T>
  static T Pop(std::vector<T>& queue, T fallback) {
    if (queue.empty()) return fallback;
    T v = queue.front();
    queue.erase(queue.begin());
    return v;
  }
};

// The grid as the engine drives it: records what it was told.
class TRecordingView final : public IScanView {
 public:
  void ListChanged(int RowCount) override {
    Rows = RowCount;
    ++ListChanges;
  }
  void RowChanged(int Row) override { ChangedRows.push_back(Row); }
  void Refresh() override { ++Refreshes; }
  int MusicTagAtColumn(int GridColumn) const override {
    for (std::size_t k = 0; k < MusicColumns.size(); ++k)
      if (MusicColumns[k] == GridColumn) return static_cast<int>(k);
    return -1;
  }
  int Rows = 0;
  int ListChanges = 0;
  int Refreshes = 0;
  std::vector<int> ChangedRows;
  std::vector<int> MusicColumns;  // grid column of each music tag, or -1
};

// A local date-time that must exist.
inline TDateTime LocalTime(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
  TDateTimeParts p;
  p.Year = y;
  p.Month = mo;
  p.Day = d;
  p.Hour = h;
  p.Minute = mi;
  p.Second = s;
  TDateTime t;
  EXPECT_TRUE(TDateTime::FromLocal(p, t));
  return t;
}

// A result item without a file behind it; the engine that receives it owns it.
inline PFileItem MakeItem(const std::string& path, const std::string& name, std::uint32_t group,
                          std::int64_t size = 0, std::int64_t modifiedSeconds = 0) {
  auto* it = new TFileItem;
  it->Path = TItemString(path);
  it->Name = TItemString(name);
  it->DupGroup = it->SortGroup = group;
  it->Size = size;
  it->Modified = TDateTime::FromUnixNanoseconds(modifiedSeconds * 1000000000LL);
  it->Category = TScanEngine::DetectCategory(name);
  return it;
}

class TTempDir {
 public:
  TTempDir() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(info->test_suite_name()) + "." + info->name();
    for (char& c : name)
      if (c == '/') c = '_';
    fPath = std::filesystem::path(TestWorkDir()) / name;
    std::filesystem::remove_all(fPath);
    std::filesystem::create_directories(fPath);
  }
  ~TTempDir() {
    std::error_code ec;
    std::filesystem::permissions(fPath, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(fPath, ec);
  }
  std::string path() const { return fPath.string(); }
  std::string operator/(const std::string& rel) const { return (fPath / rel).string(); }

  // Writes `bytes` to the relative path, creating folders; returns the full path.
  std::string Write(const std::string& rel, const std::string& bytes) const {
    std::filesystem::path p = fPath / rel;
    std::filesystem::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return p.string();
  }

 private:
  std::filesystem::path fPath;
};

// The default scan options, less the temporary-folder check: a checkout (and so its build tree)
// may itself lie below the temporary folder.
inline TPcwScanOptions TestScanOptions() {
  return TPcwScanOptions::FromBits(kDefaultScanOptions).Exclude(soSkipTemp);
}

// The whole content of a file ("" when it cannot be read).
inline std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// The names in a folder, sorted.
inline std::vector<std::string> FolderEntries(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(dir)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// A scan's settings with the test scan options and nothing logged or excluded.
inline TScanSettings TestScanSettings(TPcwScanOptions options = TestScanOptions()) {
  TScanSettings s;
  s.ScanOptions = options;
  return s;
}

// Runs a scan to its end on the calling thread's loop; every file name passes the masks unless
// the test set its own.
inline void RunScan(TScanEngine& engine, const std::vector<std::string>& includes, const TScanSettings& options) {
  if (engine.IncludeFileMaskList().empty()) engine.SetIncludeFileMasks("*.*");
  TQueueMainThread loop;
  SetMainThread(&loop);
  bool finished = false;
  engine.OnFinishedScan = [&](const TScanEngineSummaryInfo&) { finished = true; };
  engine.SetIncludeFilePaths(&includes);
  engine.BuildFileList(nullptr, options);
  loop.RunUntil([&] { return finished; });
  SetMainThread(nullptr);
}
inline void RunScan(TScanEngine& engine, const std::vector<std::string>& includes,
                    TPcwScanOptions options = TestScanOptions()) {
  RunScan(engine, includes, TestScanSettings(options));
}

// The result as ordered groups of paths relative to `root`.
inline std::vector<std::vector<std::string>> Groups(const TScanEngine& engine, const std::string& root) {
  std::vector<std::vector<std::string>> groups;
  std::uint32_t last = 0;
  for (int i = 0; i < engine.ItemCount(); ++i) {
    PFileItem it = engine.Item(i);
    if (groups.empty() || it->DupGroup != last) groups.emplace_back();
    last = it->DupGroup;
    std::string full = it->FullPath();
    groups.back().push_back(full.rfind(root + "/", 0) == 0 ? full.substr(root.size() + 1) : full);
  }
  return groups;
}

// Order-free view of the groups.
inline std::set<std::set<std::string>> GroupSet(const std::vector<std::vector<std::string>>& groups) {
  std::set<std::set<std::string>> r;
  for (const auto& g : groups) r.insert(std::set<std::string>(g.begin(), g.end()));
  return r;
}

}  // namespace pelcrow::test
