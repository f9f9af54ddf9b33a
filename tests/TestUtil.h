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

#include "base/MainThread.h"
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

class TTempDir {
 public:
  TTempDir() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(info->test_suite_name()) + "." + info->name();
    for (char& c : name)
      if (c == '/') c = '_';
    fPath = std::filesystem::path(PELCROW_TEST_WORK_DIR) / name;
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

// Runs a scan to its end on the calling thread's loop; every file name passes the masks unless
// the test set its own.
inline void RunScan(TScanEngine& engine, const std::vector<std::string>& includes,
                    TPcwScanOptions options = TestScanOptions()) {
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
