// The ignore list: files the user never wants to see in a group, and pairs of files that are not
// to be taken for duplicates of each other. It is kept between scans in a file of the user's data
// folder, one entry a line, fields written as the duplicate list file writes them:
//   F[,]<path>[,]            a single file
//   P[,]<path>[,]<path>[,]   a pair
// Lines of other kinds (and comment lines starting with '#') are kept out of the list but do not
// make the file unreadable, so a later version may add kinds.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "engine/FileItem.h"

namespace pelcrow {

struct TIgnoreEntry {
  // Second empty: a single file. A pair is kept with the smaller path first.
  std::string First;
  std::string Second;
  bool IsPair() const { return !Second.empty(); }
  friend bool operator==(const TIgnoreEntry&, const TIgnoreEntry&) = default;
};

class TIgnoreList {
 public:
  // False when the entry was there already (a pair in either order is one entry).
  bool AddFile(const std::string& Path);
  bool AddPair(const std::string& A, const std::string& B);
  void Remove(std::size_t Index);
  void Clear();
  const std::vector<TIgnoreEntry>& Entries() const { return fEntries; }
  bool Empty() const { return fEntries.empty(); }

  bool IgnoresFile(const std::string& Path) const { return fFiles.count(Path) != 0; }
  bool IgnoresPair(const std::string& A, const std::string& B) const;
  bool HasPairs() const { return !fPartners.empty(); }
  // Whether the path is one side of some pair.
  bool InAnyPair(const std::string& Path) const { return fPartners.count(Path) != 0; }

  std::string Text() const;
  // Replaces the entries by those of the text; returns the number of lines not understood.
  int Parse(std::string_view Bytes);
  // 0 or an errno value; ENOENT for a missing file, which leaves the list empty.
  int Load(const std::string& FileName);
  // Written whole or not at all; 0 or an errno value.
  int Save(const std::string& FileName) const;

 private:
  void Rebuild();
  std::vector<TIgnoreEntry> fEntries;
  std::unordered_set<std::string> fFiles;
  std::unordered_map<std::string, std::vector<std::string>> fPartners;
};

// $XDG_DATA_HOME/pelcrow/ignore-list; empty when no home folder is known.
std::string DefaultIgnoreListFile();

// Applies the list to result items: ignored files leave, a group holding an ignored pair is split
// so that the two never share a group, and a group left with one member is no group. Items that
// leave are deleted. New groups are numbered from NextGroup on (which is advanced). The members of
// a split group stay together in list order, so a list ordered by group stays so. Returns the
// number of items that left.
std::size_t ApplyIgnoreList(std::vector<PFileItem>& Items, const TIgnoreList& List, std::uint32_t& NextGroup);

}  // namespace pelcrow
