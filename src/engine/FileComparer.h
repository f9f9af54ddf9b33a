// Comparison modes and duplicate grouping. Each file mode has a comparer: the scan sorts the
// candidate list with it, and while a comparison finds two items equal it gives both one group
// number. FindDuplicates then cuts the sorted list into groups and drops files without a partner;
// TFileComparerSameItems finally removes entries that stand for one file twice.
//
// All of this runs on the scan worker. Before the sort the comparer may fill the checksum caches
// in parallel (PrefetchChecksums), so that the sort itself touches no disk.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <stop_token>
#include <string>
#include <utility>
#include <vector>

#include "engine/FileItem.h"
#include "settings/PcwSettings.h"

namespace pelcrow {

// Engine-wide comparison state, reset before every comparison phase.
extern std::atomic<std::uint64_t> ComparedCount;
extern std::uint32_t GroupCounter;
void ResetComparisonCounters();

// Progress of the checksum prefetch: bytes read of bytes to read.
struct TPrefetchProgress {
  std::atomic<std::uint64_t> BytesRead{0};
  std::uint64_t BytesTotal = 0;
};

// The list sort the grouping relies on: every item of a range is compared with the range's pivot,
// so all items equal to a pivot receive its group. Left ranges are finished before right ones.
// Sorting copies of the keys beside the items gives the same order as sorting the items.
template <typename T, typename Cmp>
void QuickSortItems(std::vector<T>& a, Cmp&& cmp) {
  if (a.size() < 2) return;
  using Index = std::ptrdiff_t;
  std::vector<std::pair<Index, Index>> pending;
  pending.emplace_back(0, static_cast<Index>(a.size()) - 1);
  while (!pending.empty()) {
    auto [L, R] = pending.back();
    pending.pop_back();
    Index I = L, J = R;
    T P = a[static_cast<std::size_t>(L + (R - L) / 2)];
    do {
      // The bounds only matter for an inconsistent ordering (a file changed during the scan).
      while (I < R && cmp(a[static_cast<std::size_t>(I)], P) < 0) ++I;
      while (J > L && cmp(a[static_cast<std::size_t>(J)], P) > 0) --J;
      if (I <= J) {
        if (I != J) std::swap(a[static_cast<std::size_t>(I)], a[static_cast<std::size_t>(J)]);
        ++I;
        --J;
      }
    } while (I <= J);
    if (I < R) pending.emplace_back(I, R);
    if (L < J) pending.emplace_back(L, J);
  }
}

// Two entries stand for one file: the same path text, or the same device and inode of a file with
// a single link (a folder reached twice through a link or a bind mount).
bool SameEntry(const TFileItem& a, const TFileItem& b);

class TFileComparerClass {
 public:
  TFileComparerClass(std::vector<PFileItem>* files, TPcwCompareOptions options)
      : fFiles(files), fCompareOptions(options) {}
  virtual ~TFileComparerClass() = default;
  TFileComparerClass(const TFileComparerClass&) = delete;
  TFileComparerClass& operator=(const TFileComparerClass&) = delete;

  // Sort ordering; an equal pair (that is not one file twice) gets one group number.
  virtual int Compare(PFileItem Left, PFileItem Right);
  // Drops items without a group and groups of one.
  virtual void FindDuplicates();

  TPcwCompareOptions CompareOptions() const { return fCompareOptions; }
  std::vector<PFileItem>* Files() const { return fFiles; }

  // Prepares a comparison phase over *fFiles: side tables, stop token, music options.
  virtual void BeginPhase(std::stop_token stop, TMusicTagsOptions musicOptions);
  // File-name mode: names this alike (1..100) are one name; 0: equal names only.
  void SetNameSimilarity(int Threshold) { fNameSimilarity = Threshold; }
  virtual void EndPhase();
  // Fills the checksum caches that the sort will need, reading files on up to `threads` threads.
  virtual void PrefetchChecksums(unsigned threads, TPrefetchProgress& progress);
  // Gives every run of equal neighbours exactly one group, and none to a run that is one file.
  void UnifyEqualRuns();
  // Sorts *fFiles with this comparer.
  void Sort();

 protected:
  // The mode's pure ordering: negative, 0 or positive; may read a file to fill a cache.
  virtual int Order(TFileItem& L, TFileItem& R) = 0;
  // What must also be equal within a group after the sort (FindDuplicates' split); empty = no split.
  virtual std::string SplitKey(TFileItem&) { return {}; }
  virtual bool HasSplitKey() const { return false; }

  bool Stopped() const { return fStop.stop_requested(); }
  void GroupRule(TFileItem& L, TFileItem& R);
  void BaseFindDuplicates();
  void SplitGroups();
  void RemoveWhere(const std::function<bool(const TFileItem&)>& pred);

  // Name keys, computed once per item for the phase.
  const std::string& NameKey(const TFileItem& it) const { return fNameKeys[it.fScratch]; }
  const std::string& ExtKey(const TFileItem& it) const { return fExtKeys[it.fScratch]; }
  void BuildNameKeys(bool names, bool extensions);

  void EnsureShort(TFileItem& it);
  void EnsureFull(TFileItem& it);
  // Bucket work: classes of items equal by size (and name keys where asked), fully read
  // where their first blocks collide.
  void PrefetchBySizeAndBlocks(unsigned threads, TPrefetchProgress& progress, bool wantBlocks);
  int OrderByNames(TFileItem& L, TFileItem& R);
  int OrderByContent(TFileItem& L, TFileItem& R, bool byBlocks);

  std::vector<PFileItem>* fFiles;
  TPcwCompareOptions fCompareOptions;
  std::stop_token fStop;
  TMusicTagsOptions fMusicOptions;
  std::vector<std::string> fNameKeys;
  int fNameSimilarity = 0;
  std::vector<std::string> fExtKeys;
  // Byte-by-byte mode: CRC-32 of every block, by scratch index.
  std::vector<std::vector<std::uint32_t>> fBlockCRCs;
  std::vector<char> fHasBlocks;
};

using TFileComparerClassPtr = std::unique_ptr<TFileComparerClass>;

class TFileComparerCRC final : public TFileComparerClass {
 public:
  using TFileComparerClass::TFileComparerClass;
  void BeginPhase(std::stop_token stop, TMusicTagsOptions musicOptions) override;
  void PrefetchChecksums(unsigned threads, TPrefetchProgress& progress) override;

 protected:
  int Order(TFileItem& L, TFileItem& R) override;
  std::string SplitKey(TFileItem& it) override;
  bool HasSplitKey() const override;
};

class TFileComparerBBB final : public TFileComparerClass {
 public:
  using TFileComparerClass::TFileComparerClass;
  void BeginPhase(std::stop_token stop, TMusicTagsOptions musicOptions) override;
  void PrefetchChecksums(unsigned threads, TPrefetchProgress& progress) override;

 protected:
  int Order(TFileItem& L, TFileItem& R) override;
  std::string SplitKey(TFileItem& it) override;
  bool HasSplitKey() const override;
};

class TFileComparerFName final : public TFileComparerClass {
 public:
  using TFileComparerClass::TFileComparerClass;
  void BeginPhase(std::stop_token stop, TMusicTagsOptions musicOptions) override;

 protected:
  int Order(TFileItem& L, TFileItem& R) override;
  std::string SplitKey(TFileItem& it) override;
  bool HasSplitKey() const override;
};

class TFileComparerTags final : public TFileComparerClass {
 public:
  using TFileComparerClass::TFileComparerClass;
  void PrefetchChecksums(unsigned threads, TPrefetchProgress& progress) override;

 protected:
  int Order(TFileItem& L, TFileItem& R) override;
  std::string SplitKey(TFileItem& it) override;
  bool HasSplitKey() const override;

 private:
  // Tag key cached in CRC32: kind 0 = tag text, 1 = whole file, 2 = no key.
  int KeyKind(const TFileItem& it) const;
  std::uint32_t TagKey(TFileItem& it);
};

// Removes repeated entries of one file (overlapping include folders, links to folders).
class TFileComparerSameItems final : public TFileComparerClass {
 public:
  explicit TFileComparerSameItems(std::vector<PFileItem>* files)
      : TFileComparerClass(files, TPcwCompareOptions()) {}
  int Compare(PFileItem Left, PFileItem Right) override;
  void FindDuplicates() override;

 protected:
  int Order(TFileItem& L, TFileItem& R) override;
};

class TChecksumCache;

struct TGroupingOptions {
  bool Prefetch = true;
  // Values read by earlier scans (none: every file is read); filled in before the reads and
  // given the new values before files without a partner are dropped.
  TChecksumCache* Cache = nullptr;
  unsigned Threads = 0;  // 0 = one per core, at most 8
  TMusicTagsOptions MusicOptions = TMusicTagsOptions::FromBits(kDefaultMusicTagsOptions);
  // File-name mode: names this alike (1..100) are one name; 0: equal names only.
  int NameSimilarity = 0;
};

// The comparison phase over the comparer's list: fill the checksum caches, sort and group, drop
// files without a partner, remove repeated entries of one file. Stops early on a stop request.
void GroupDuplicates(TFileComparerClass& comparer, const std::stop_token& stop, const TGroupingOptions& options);

// Mode 0..3 to its comparer; nullptr for the plug-in modes.
TFileComparerClassPtr CreateFileComparer(std::uint8_t mode, std::vector<PFileItem>* files,
                                         TPcwCompareOptions options);

}  // namespace pelcrow
