#include "engine/IgnoreList.h"

#include <algorithm>
#include <cerrno>

#include "engine/ListFile.h"
#include "engine/ScanEngine.h"
#include "platform/AtomicFile.h"
#include "platform/SpecialFolders.h"
#include "platform/WholeFile.h"

namespace pelcrow {

namespace {

constexpr std::string_view kSeparator = kListFieldSeparator;

// The fields of a line, each closed by the separator; text after the last one is ignored.
std::vector<std::string> Fields(std::string_view line) {
  std::vector<std::string> out;
  std::size_t pos = 0;
  for (;;) {
    const std::size_t end = line.find(kSeparator, pos);
    if (end == std::string_view::npos) break;
    out.push_back(UnescapeListField(line.substr(pos, end - pos)));
    pos = end + kSeparator.size();
  }
  return out;
}

}  // namespace

bool TIgnoreList::AddFile(const std::string& Path) {
  if (Path.empty() || IgnoresFile(Path)) return false;
  fEntries.push_back({Path, {}});
  fFiles.insert(Path);
  return true;
}

bool TIgnoreList::AddPair(const std::string& A, const std::string& B) {
  if (A.empty() || B.empty() || A == B || IgnoresPair(A, B)) return false;
  fEntries.push_back(A < B ? TIgnoreEntry{A, B} : TIgnoreEntry{B, A});
  fPartners[A].push_back(B);
  fPartners[B].push_back(A);
  return true;
}

void TIgnoreList::Remove(std::size_t Index) {
  if (Index >= fEntries.size()) return;
  fEntries.erase(fEntries.begin() + static_cast<std::ptrdiff_t>(Index));
  Rebuild();
}

void TIgnoreList::Clear() {
  fEntries.clear();
  Rebuild();
}

void TIgnoreList::Rebuild() {
  fFiles.clear();
  fPartners.clear();
  for (const TIgnoreEntry& e : fEntries) {
    if (e.IsPair()) {
      fPartners[e.First].push_back(e.Second);
      fPartners[e.Second].push_back(e.First);
    } else {
      fFiles.insert(e.First);
    }
  }
}

bool TIgnoreList::IgnoresPair(const std::string& A, const std::string& B) const {
  const auto i = fPartners.find(A);
  return i != fPartners.end() && std::find(i->second.begin(), i->second.end(), B) != i->second.end();
}

std::string TIgnoreList::Text() const {
  std::string out;
  for (const TIgnoreEntry& e : fEntries) {
    out += e.IsPair() ? "P" : "F";
    out += kSeparator;
    out += EscapeListField(e.First);
    out += kSeparator;
    if (e.IsPair()) {
      out += EscapeListField(e.Second);
      out += kSeparator;
    }
    out += '\n';
  }
  return out;
}

int TIgnoreList::Parse(std::string_view Bytes) {
  Clear();
  int bad = 0;
  std::size_t pos = 0;
  while (pos < Bytes.size()) {
    std::size_t end = Bytes.find('\n', pos);
    if (end == std::string_view::npos) end = Bytes.size();
    std::string_view line = Bytes.substr(pos, end - pos);
    pos = end + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty() || line.front() == '#') continue;
    const std::vector<std::string> f = Fields(line);
    if (f.size() >= 2 && f[0] == "F" && !f[1].empty()) {
      AddFile(f[1]);
    } else if (f.size() >= 3 && f[0] == "P" && !f[1].empty() && !f[2].empty() && f[1] != f[2]) {
      AddPair(f[1], f[2]);
    } else {
      ++bad;
    }
  }
  return bad;
}

int TIgnoreList::Load(const std::string& FileName) {
  Clear();
  std::string text;
  if (const int e = platform::ReadWholeFile(FileName, text); e != 0) return e;
  Parse(text);
  return 0;
}

int TIgnoreList::Save(const std::string& FileName) const { return WriteFileAtomically(FileName, Text()); }

std::string DefaultIgnoreListFile() {
  const std::string base = TPcwSpecialFolders::GetUserDataDirectory();
  return base.empty() ? std::string() : base + "/pelcrow/ignore-list";
}

std::size_t ApplyIgnoreList(std::vector<PFileItem>& Items, const TIgnoreList& List, std::uint32_t& NextGroup) {
  if (List.Empty() || Items.empty()) return 0;
  const std::size_t n = Items.size();
  std::vector<std::string> paths(n);
  std::vector<char> drop(n, 0);
  for (std::size_t k = 0; k < n; ++k) {
    paths[k] = Items[k]->FullPath();
    if (List.IgnoresFile(paths[k])) drop[k] = 1;
  }
  // Members of each group in list order, groups in the order they first appear.
  std::unordered_map<std::uint32_t, std::vector<std::size_t>> members;
  std::vector<std::uint32_t> groups;
  for (std::size_t k = 0; k < n; ++k) {
    if (drop[k]) continue;
    auto [i, added] = members.try_emplace(Items[k]->DupGroup);
    if (added) groups.push_back(Items[k]->DupGroup);
    i->second.push_back(k);
  }
  std::vector<PFileItem> reordered = Items;
  for (std::uint32_t g : groups) {
    const std::vector<std::size_t>& m = members[g];
    std::vector<std::vector<std::size_t>> parts;
    const bool paired = List.HasPairs() &&
                        std::any_of(m.begin(), m.end(), [&](std::size_t k) { return List.InAnyPair(paths[k]); });
    if (paired) {
      // First fit: each member joins the first part that holds no file it is ignored with. An item
      // stands in one group only, so with three copies A, B, C and the pair A-B ignored, A and C
      // stay a group and B, left alone, is no duplicate here: it still meets other copies that
      // arrive after C.
      for (std::size_t k : m) {
        auto fits = [&](const std::vector<std::size_t>& part) {
          return std::none_of(part.begin(), part.end(), [&](std::size_t q) { return List.IgnoresPair(paths[k], paths[q]); });
        };
        auto p = std::find_if(parts.begin(), parts.end(), fits);
        if (p == parts.end()) {
          parts.push_back({k});
        } else {
          p->push_back(k);
        }
      }
    } else {
      parts.push_back(m);
    }
    // The parts go back into the group's places one after the other.
    std::size_t slot = 0;
    for (std::size_t p = 0; p < parts.size(); ++p) {
      const std::uint32_t id = p == 0 ? g : ++NextGroup;
      for (std::size_t k : parts[p]) {
        Items[k]->DupGroup = id;
        if (parts[p].size() < 2) drop[k] = 1;
        reordered[m[slot++]] = Items[k];
      }
    }
  }
  // Drop flags follow the items into their new places.
  std::unordered_set<PFileItem> dropped;
  for (std::size_t k = 0; k < n; ++k)
    if (drop[k]) dropped.insert(Items[k]);
  std::size_t out = 0;
  for (PFileItem it : reordered) {
    if (dropped.count(it)) {
      delete it;
    } else {
      Items[out++] = it;
    }
  }
  Items.resize(out);
  return dropped.size();
}

std::size_t TScanEngine::IgnoreInResults(const TIgnoreList& List) {
  CheckNotExecuting();
  if (List.Empty()) return 0;
  // Groups may lie across the visible and the hidden lists: they are split as one list, and each
  // item goes back to the list it came from.
  std::unordered_map<PFileItem, int> home;
  std::vector<PFileItem> all;
  std::uint32_t next = 0;
  int index = 0;
  for (std::vector<PFileItem>* list : {&fFiles, &fFilesHiddenByFilter, &fFilesHiddenByCategory}) {
    for (PFileItem it : *list) {
      home[it] = index;
      all.push_back(it);
      next = std::max(next, it->DupGroup);
    }
    ++index;
  }
  ShowNoRows();
  const std::size_t left = ApplyIgnoreList(all, List, next);
  fFiles.clear();
  fFilesHiddenByFilter.clear();
  fFilesHiddenByCategory.clear();
  std::vector<PFileItem>* lists[] = {&fFiles, &fFilesHiddenByFilter, &fFilesHiddenByCategory};
  for (PFileItem it : all) lists[home[it]]->push_back(it);
  fLastSortCount = 0;
  ReShowAfterPruning();
  return left;
}

}  // namespace pelcrow
