// Arbitrary bytes as an ini document and as a settings file. Besides not crashing:
// - the written form of a document reads back to the same written form;
// - a settings record loaded from any file, saved and loaded by a fresh record, is the same record.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <system_error>

#include "settings/IniFile.h"
#include "settings/PcwSettings.h"

namespace {

using namespace pelcrow;

std::string gSettingsFile;

void Setup() {
  // Never the real home: every folder the settings code looks at lies in a private scratch folder,
  // in memory where the system offers it (each input is saved and fsynced).
  std::string base = std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : "/tmp";
  base += "/pelcrow-fuzz-ini-" + std::to_string(::getpid());
  std::filesystem::create_directories(base);
  static std::string scratch = base;
  std::atexit([] {
    std::error_code ec;
    std::filesystem::remove_all(scratch, ec);
  });
  for (const char* name : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_STATE_HOME", "XDG_CACHE_HOME"}) {
    ::setenv(name, (base + "/" + name).c_str(), 1);
  }
  TPcwSettings::SetSettingsBaseName("fuzz");
  TPcwSettings probe;
  gSettingsFile = probe.GetSettingsFile();
}

std::string Fields(const TPcwSettings& s) {
  std::string out;
  const auto add = [&](std::string_view v) {
    out += std::to_string(v.size());
    out += ':';
    out += v;
  };
  add(std::to_string(s.ComparisonMode()));
  add(std::to_string(s.LastFileSearchMode));
  add(std::to_string(s.CompareOptions.ToBits()));
  add(std::to_string(s.ScanOptions.ToBits()));
  for (bool b : {s.MasterSelectMode, s.CheckForUpdates, s.MaximizeOnStartup, s.LaunchWizard, s.KeepUserSettings,
                 s.ShowQuickTips, s.Sync_iTunes, s.Sync_WMP, s.Sync_iPhoto, s.ShowPreview, s.DisableSafetyLock,
                 s.UseChecksumCache, s.EnableLogging, s.DupMoveKeepFolderStructure, s.DupRenameSetAsPrefix, s.DupDeleteMoveToTrash}) {
    add(b ? "1" : "0");
  }
  add(std::to_string(s.QuickTipIndex));
  add(s.TranslationLanguageCode);
  add(s.DbgAUServer);
  add(s.LogDirectory);
  add(std::to_string(s.AutoDeleteLogPeriod));
  add(std::to_string(s.LogEvents.ToBits()));
  add(std::to_string(s.MusicTagsOptions.ToBits()));
  add(std::to_string(s.OutlookOptions.ToBits()));
  add(std::to_string(s.PermanentExclusions.size()));
  for (const std::string& e : s.PermanentExclusions) add(e);
  add(s.IncludeFileMasks);
  add(s.ExcludeFileMasks);
  add(s.IncludeMusicFileMasks);
  add(s.ExcludeMusicFileMasks);
  add(s.DupMovePathToMove);
  add(s.DupRenamePrefixStr);
  return out;
}

void FuzzDocument(std::string_view bytes) {
  TIniFile ini;
  ini.SetText(bytes);
  for (const std::string& section : ini.ReadSections()) {
    for (const std::string& key : ini.ReadSection(section)) {
      (void)ini.ReadInteger(section, key, 0);
      (void)ini.ReadBool(section, key, false);
      (void)ini.ReadFloat(section, key, 0);
      (void)ini.ReadTextList(section, key);
    }
  }
  const std::string once = ini.GetText();
  TIniFile again;
  again.SetText(once);
  if (again.GetText() != once) __builtin_trap();
}

void FuzzSettingsFile(std::string_view bytes) {
  {
    std::ofstream out(gSettingsFile, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }
  TPcwSettings first;
  first.LoadSettings(true);
  if (first.ComparisonMode() > kLastComparisonMode || first.LastFileSearchMode > cmFileName) __builtin_trap();
  first.SaveSettings();
  TPcwSettings second;
  second.LoadSettings(true);
  if (Fields(first) != Fields(second)) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const bool ready = (Setup(), true);
  (void)ready;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  FuzzDocument(bytes);
  FuzzSettingsFile(bytes);
  return 0;
}
