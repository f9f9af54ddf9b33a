// The command line's options as one table: each option's name, value, help text and the commands
// that take it. One parser reads every command's arguments from it and the --help text is made
// from it, so an option cannot be parsed without being documented or the other way round.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/Processing.h"
#include "engine/ScanEngine.h"
#include "engine/SearchFilter.h"
#include "settings/PcwSettings.h"

namespace pelcrow::cli {

// The commands that take options, as bits of TOptionSpec::Commands.
enum TCommand : unsigned { ccScan = 1, ccLoad = 2, ccUndo = 4, ccMedialib = 8 };

// Selection rules of --select, by the name the user gives.
struct TSelectRuleName {
  const char* Name;
  TSelectMethod Method;
};

// The actions of --action: what the processing does and the words the command line prints.
struct TActionKind {
  const char* Name;
  const char* Argument;  // the second value (move DIR, rename TEXT); nullptr for none
  const char* Help;
  TProcessingOperation Operation;
  bool Permanent;
  const char* Done;  // the verb of a done line: "trashed PATH"
};

// What --action asked for.
struct TCliAction {
  const TActionKind* Kind = nullptr;  // nullptr: not given
  std::string Argument;
  bool DryRun = false;
  bool KeepStructure = false;
  bool Postfix = false;
};

// What the options of the commands set; each command reads its own part.
struct TCliArgs {
  std::vector<std::string> Operands;  // scan: folders; load: the list file
  std::string Format = "text";
  // scan
  std::vector<std::string> Excludes, Masters, References;
  // The ignore list to honour (empty: the user's own); NoIgnoreList: none.
  std::string IgnoreListFile;
  bool NoIgnoreList = false;
  // mail mode: the stores and the folders of them to scan
  std::vector<std::string> Stores, MailFolders;
  // contacts mode: the address books
  std::vector<std::string> AddressBooks;
  // photo mode: the library (empty: the settings', else Shotwell's own)
  std::string PhotoLibrary;
  std::string IncludeMasks = "*.*", ExcludeMasks;
  std::uint8_t Mode = cmCRC32;
  TPcwCompareOptions Compare;
  // name mode: names this alike (1..100) are one name; 0: equal names only
  int NameSimilarity = 0;
  // music mode: the tags compared (--tags); unset: the settings'
  bool TagsGiven = false;
  TMusicTagsOptions Tags;
  TPcwScanOptions ScanOptions;
  std::int64_t MinSize = 0, MaxSize = 0;
  unsigned Threads = 0;
  // similar-pictures mode: percent alike (0: the settings' value)
  int Similarity = 0;
  bool NoCache = false;
  std::string LogDir, SaveFile;
  // scan and load
  std::string ExportFile;
  const TSelectRuleName* Rule = nullptr;
  TCliAction Action;
  bool NullEnded = false;
  // load
  TSearchFilterFiles Filter;
  bool Filtered = false;
  // undo
  bool List = false;
  std::string UndoAction;
  // scan, load, undo: --sync / --no-sync instead of the settings' switches
  bool SyncGiven = false;
  bool SyncMpd = false, SyncRhythmbox = false;
  // medialib clean
  bool DryRun = false;
};

// Reads a command's arguments into Args (whose defaults the caller sets); on a wrong argument
// returns false with the message in Error.
bool ParseArgs(TCommand Command, const std::vector<std::string>& Arguments, TCliArgs& Args, std::string& Error);

// What --action may be given with; the message, or empty when the pair is right.
std::string CheckSelectAction(const TCliArgs& Args);

// The --help text.
std::string UsageText();

// The manual page pelcrow-cli(1) in roff, made from the same tables as --help.
std::string ManPage(std::string_view Version);

// What shell completion offers: the commands, and each command's options with their values.
struct TOptionCompletion {
  enum TValue { cvNone, cvChoice, cvFolder, cvFile, cvText };
  std::string Name;
  TValue Value = cvNone;
  std::vector<std::string> Choices;  // cvChoice
  std::string Help;                  // the first line of its help; may be empty
};
std::vector<std::string> CommandNames();
std::vector<TOptionCompletion> CompletionOptions(TCommand Command);

// A path made absolute against the working folder.
std::string Absolute(const std::string& Path);

}  // namespace pelcrow::cli
