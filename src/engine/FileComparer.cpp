#include "engine/FileComparer.h"

#include <algorithm>
#include <cmath>
#include <thread>
#include <numeric>
#include <unordered_map>
#include <unordered_set>

#include "base/ParallelFor.h"
#include "engine/ChecksumCache.h"
#include "engine/ExifCompare.h"
#include "engine/FileChecksums.h"
#include "engine/NameKeys.h"
#include "engine/SimilarNames.h"
#include "engine/ScanProgress.h"
#include "platform/ReadOrder.h"

namespace pelcrow {

std::atomic<std::uint64_t> ComparedCount{0};
std::uint32_t GroupCounter = 0;

void ResetComparisonCounters() {
  ComparedCount.store(0, std::memory_order_relaxed);
  GroupCounter = 0;
}

namespace {

// Publishing every comparison would make the lock the hot spot of the sort; the window samples
// the record once a second, so one update per 1024 comparisons shows the same progress.
constexpr std::uint64_t kPublishEvery = 1024;

template <typename T>
int Sign3(const T& a, const T& b) {
  return a < b ? -1 : (b < a ? 1 : 0);
}

// A file that could not be read is never equal to anything: it sorts after the readable ones,
// and among failed files by identity.
int OrderFailed(const TFileItem& L, const TFileItem& R) {
  if (L.fReadFailed != R.fReadFailed) return L.fReadFailed ? 1 : -1;
  if (L.fReadFailed) return std::less<const TFileItem*>()(&L, &R) ? -1 : (&L == &R ? 0 : 1);
  return 0;
}

int OrderStrongHash(const TFileItem& L, const TFileItem& R) {
  if (L.StrongHash[1] != R.StrongHash[1]) return L.StrongHash[1] > R.StrongHash[1] ? 1 : -1;
  if (L.StrongHash[0] != R.StrongHash[0]) return L.StrongHash[0] > R.StrongHash[0] ? 1 : -1;
  return 0;
}

// Frees the items marked in drop and closes the gaps, keeping the order of the rest.
void DeleteDropped(std::vector<PFileItem>& a, const std::vector<char>& drop) {
  std::size_t out = 0;
  for (std::size_t k = 0; k < a.size(); ++k) {
    if (drop[k]) {
      delete a[k];
    } else {
      a[out++] = a[k];
    }
  }
  a.resize(out);
}

// The whole reads of one device: in the order of their data on the disk where the file system
// tells it (else by inode), by one reader on a disk that seeks and by all of them otherwise.
struct TDeviceReads {
  std::vector<PFileItem> Files;
  unsigned Readers = 1;
};

std::vector<TDeviceReads> PlanFullReads(std::vector<PFileItem>& full, unsigned threads) {
  std::vector<std::pair<std::uint64_t, PFileItem>> placed;
  placed.reserve(full.size());
  for (PFileItem it : full) placed.emplace_back(platform::FirstExtentOffset(it->FullPath()), it);
  std::sort(placed.begin(), placed.end(), [](const auto& x, const auto& y) {
    if (x.second->Device != y.second->Device) return x.second->Device < y.second->Device;
    if (x.first != y.first) return x.first < y.first;
    return x.second->Inode < y.second->Inode;
  });
  std::vector<TDeviceReads> plan;
  for (const auto& [offset, it] : placed) {
    if (plan.empty() || plan.back().Files.front()->Device != it->Device) {
      plan.emplace_back();
      plan.back().Readers = platform::IsRotatingDevice(it->Device) ? 1 : threads;
    }
    plan.back().Files.push_back(it);
  }
  return plan;
}

bool IsJpegKey(const std::string& extKey) { return extKey == ".JPG" || extKey == ".JPEG"; }

}  // namespace

bool SameEntry(const TFileItem& a, const TFileItem& b) {
  if (&a == &b) return true;
  if (a.Inode != 0 && a.Inode == b.Inode && a.Device == b.Device && a.fSingleLink && b.fSingleLink)
    return true;
  // One file shown on two devices (an overlay over its lower folder, a FUSE or NFS mirror): the
  // inode, size and modification time to the nanosecond agree. Never duplicates of each other.
  if (a.Inode != 0 && a.Inode == b.Inode && a.Device != b.Device && a.Size == b.Size &&
      a.Modified.UnixNanoseconds() == b.Modified.UnixNanoseconds())
    return true;
  return a.Path == b.Path && a.Name == b.Name;
}

// ------------------------------------------------------------------ base

int TFileComparerClass::Compare(PFileItem Left, PFileItem Right) {
  if (Stopped()) return 0;
  std::uint64_t n = ComparedCount.fetch_add(1, std::memory_order_relaxed) + 1;
  if (n % kPublishEvery == 0) {
    std::lock_guard<std::mutex> g(ScanEngineLock);
    ScanEngineProgress.Path = Left->Name.str();
    ScanEngineProgress.Current = static_cast<std::int64_t>(n);
  }
  if (Left == Right) return 0;
  int r = Order(*Left, *Right);
  // An item is never its own duplicate, whatever path text reached it.
  if (r == 0 && !SameEntry(*Left, *Right)) GroupRule(*Left, *Right);
  return r;
}

void TFileComparerClass::GroupRule(TFileItem& L, TFileItem& R) {
  if (L.DupGroup == 0) {
    if (R.DupGroup != 0) {
      L.DupGroup = R.DupGroup;
    } else {
      ++GroupCounter;
      L.DupGroup = R.DupGroup = GroupCounter;
    }
  } else if (R.DupGroup == 0) {
    R.DupGroup = L.DupGroup;
  }
  // Two numbered groups are left as they are here; UnifyEqualRuns joins them after the sort.
}

void TFileComparerClass::Sort() {
  QuickSortItems(*fFiles, [this](PFileItem a, PFileItem b) { return Compare(a, b); });
  std::lock_guard<std::mutex> g(ScanEngineLock);
  ScanEngineProgress.Current = static_cast<std::int64_t>(ComparedCount.load(std::memory_order_relaxed));
}

void TFileComparerClass::UnifyEqualRuns() {
  std::vector<PFileItem>& a = *fFiles;
  std::unordered_set<std::uint32_t> used;
  std::size_t i = 0;
  while (i < a.size()) {
    if (Stopped()) return;
    std::size_t j = i + 1;
    while (j < a.size() && a[j - 1] != a[j] && Order(*a[j - 1], *a[j]) == 0) ++j;
    bool distinct = false;
    std::uint32_t group = 0;
    for (std::size_t k = i; k < j; ++k) {
      if (k > i && !SameEntry(*a[i], *a[k])) distinct = true;
      if (a[k]->DupGroup != 0 && (group == 0 || a[k]->DupGroup < group)) group = a[k]->DupGroup;
    }
    if (distinct) {
      // Keep the number the sort gave first, so groups keep the order they were found in.
      if (group == 0 || used.count(group)) group = ++GroupCounter;
      used.insert(group);
    } else {
      group = 0;
    }
    for (std::size_t k = i; k < j; ++k) a[k]->DupGroup = group;
    i = j;
  }
}

void TFileComparerClass::RemoveWhere(const std::function<bool(const TFileItem&)>& pred) {
  std::vector<PFileItem>& a = *fFiles;
  std::size_t out = 0;
  for (std::size_t k = 0; k < a.size(); ++k) {
    if (pred(*a[k])) {
      delete a[k];
    } else {
      a[out++] = a[k];
    }
  }
  a.resize(out);
}

void TFileComparerClass::BaseFindDuplicates() {
  RemoveWhere([](const TFileItem& it) { return it.DupGroup == 0; });
  // Runs are judged by neighbourhood: a run of one is a file without a partner.
  std::vector<PFileItem>& a = *fFiles;
  std::vector<char> drop(a.size(), 0);
  std::size_t i = 0;
  while (i < a.size()) {
    std::size_t j = i + 1;
    while (j < a.size() && a[j]->DupGroup == a[i]->DupGroup) ++j;
    if (j - i == 1) drop[i] = 1;
    i = j;
  }
  DeleteDropped(a, drop);
}

void TFileComparerClass::SplitGroups() {
  // Within each group, items whose split keys differ form groups of their own, numbered in list
  // order. Equal keys are gathered even when the sort left them apart.
  std::vector<PFileItem>& a = *fFiles;
  std::uint32_t counter = 0;
  const bool split = HasSplitKey();
  std::size_t i = 0;
  while (i < a.size()) {
    std::size_t j = i + 1;
    while (j < a.size() && a[j]->DupGroup == a[i]->DupGroup) ++j;
    if (!split) {
      ++counter;
      for (std::size_t k = i; k < j; ++k) a[k]->DupGroup = counter;
    } else {
      std::unordered_map<std::string, std::uint32_t> numbers;
      for (std::size_t k = i; k < j; ++k) {
        auto [it, added] = numbers.try_emplace(SplitKey(*a[k]), 0);
        if (added) it->second = ++counter;
        a[k]->DupGroup = it->second;
      }
      if (numbers.size() > 1)
        std::stable_sort(a.begin() + static_cast<std::ptrdiff_t>(i), a.begin() + static_cast<std::ptrdiff_t>(j),
                         [](PFileItem x, PFileItem y) { return x->DupGroup < y->DupGroup; });
    }
    i = j;
  }
}

void TFileComparerClass::FindDuplicates() {
  if (Stopped()) return;
  BaseFindDuplicates();
  if (fFiles->empty()) return;
  SplitGroups();
  BaseFindDuplicates();
}

void TFileComparerClass::BeginPhase(std::stop_token stop, TMusicTagsOptions musicOptions) {
  fStop = std::move(stop);
  fMusicOptions = musicOptions;
  std::vector<PFileItem>& a = *fFiles;
  for (std::size_t k = 0; k < a.size(); ++k) a[k]->fScratch = static_cast<std::uint32_t>(k);
}

void TFileComparerClass::EndPhase() {
  fNameKeys = {};
  fExtKeys = {};
  fBlockCRCs = {};
  fHasBlocks = {};
}

void TFileComparerClass::PrefetchChecksums(unsigned, TPrefetchProgress&) {}

void TFileComparerClass::BuildNameKeys(bool names, bool extensions) {
  std::vector<PFileItem>& a = *fFiles;
  if (names) fNameKeys.assign(a.size(), std::string());
  if (extensions) fExtKeys.assign(a.size(), std::string());
  for (PFileItem it : a) {
    if (names) fNameKeys[it->fScratch] = NameKeyOf(it->Name.view());
    if (extensions) fExtKeys[it->fScratch] = ExtensionKeyOf(it->Name.view());
  }
}

void TFileComparerClass::EnsureShort(TFileItem& it) {
  if (!it.fHasShortCRC) ComputeShortChecksum(it);
}

void TFileComparerClass::EnsureFull(TFileItem& it) {
  if (!it.fHasFullCRC) ComputeFullChecksum(it, nullptr, fStop);
}

int TFileComparerClass::OrderByNames(TFileItem& L, TFileItem& R) {
  if (fCompareOptions.Contains(coFileName)) {
    int c = CompareOrdinal(NameKey(L), NameKey(R));
    if (c != 0) return c;
  }
  if (fCompareOptions.Contains(coExtension)) {
    int c = CompareOrdinal(ExtKey(L), ExtKey(R));
    if (c != 0) return c;
  }
  return 0;
}

int TFileComparerClass::OrderByContent(TFileItem& L, TFileItem& R, bool byBlocks) {
  EnsureShort(L);
  EnsureShort(R);
  if (int c = OrderFailed(L, R); c != 0) return c;
  if (L.ShortCRC32 != R.ShortCRC32) return L.ShortCRC32 > R.ShortCRC32 ? 1 : -1;
  if (byBlocks && L.Size > static_cast<std::int64_t>(kCRCBlockSize)) {
    for (TFileItem* it : {&L, &R}) {
      if (!fHasBlocks[it->fScratch]) {
        ComputeFullChecksum(*it, &fBlockCRCs[it->fScratch], fStop);
        fHasBlocks[it->fScratch] = 1;
      }
    }
    if (int c = OrderFailed(L, R); c != 0) return c;
    const auto& lb = fBlockCRCs[L.fScratch];
    const auto& rb = fBlockCRCs[R.fScratch];
    // The first block that differs orders the two files.
    std::size_t n = std::min(lb.size(), rb.size());
    for (std::size_t k = 1; k < n; ++k)
      if (lb[k] != rb[k]) return lb[k] > rb[k] ? 1 : -1;
    if (lb.size() != rb.size()) return lb.size() > rb.size() ? 1 : -1;
  } else {
    EnsureFull(L);
    EnsureFull(R);
    if (int c = OrderFailed(L, R); c != 0) return c;
    if (L.CRC32 != R.CRC32) return L.CRC32 > R.CRC32 ? 1 : -1;
  }
  // Equal CRC-32 values prove nothing on their own (four chosen bytes forge a collision).
  return OrderStrongHash(L, R);
}

namespace {

using TItemRange = std::pair<std::size_t, std::size_t>;

// The ranges of two or more items of a sorted list that no key tells apart: the sort will
// compare them by content.
template <class TKeyLess>
std::vector<TItemRange> EqualKeyRanges(const std::vector<PFileItem>& Sorted, TKeyLess KeyLess) {
  std::vector<TItemRange> ranges;
  for (std::size_t i = 0; i < Sorted.size();) {
    std::size_t j = i + 1;
    while (j < Sorted.size() && !KeyLess(Sorted[i], Sorted[j])) ++j;
    if (j - i >= 2) ranges.emplace_back(i, j);
    i = j;
  }
  return ranges;
}

// The files that still need a whole read: in each range of files larger than one block, those
// that share their first block's checksum with another readable file.
std::vector<PFileItem> FullReadCandidates(const std::vector<PFileItem>& Sorted, const std::vector<TItemRange>& Ranges) {
  std::vector<PFileItem> full;
  for (auto [i, j] : Ranges) {
    std::vector<PFileItem> cls(Sorted.begin() + static_cast<std::ptrdiff_t>(i), Sorted.begin() + static_cast<std::ptrdiff_t>(j));
    if (cls.front()->Size <= static_cast<std::int64_t>(kCRCBlockSize)) continue;  // read whole already
    std::sort(cls.begin(), cls.end(), [](PFileItem x, PFileItem y) { return x->ShortCRC32 < y->ShortCRC32; });
    for (std::size_t p = 0; p < cls.size();) {
      std::size_t q = p + 1;
      while (q < cls.size() && cls[q]->ShortCRC32 == cls[p]->ShortCRC32) ++q;
      std::size_t readable = 0;
      for (std::size_t k = p; k < q; ++k) readable += cls[k]->fReadFailed ? 0 : 1;
      if (readable >= 2)
        for (std::size_t k = p; k < q; ++k)
          if (!cls[k]->fReadFailed && !cls[k]->fHasFullCRC) full.push_back(cls[k]);
      p = q;
    }
  }
  return full;
}

}  // namespace

void TFileComparerClass::PrefetchBySizeAndBlocks(unsigned threads, TPrefetchProgress& progress,
                                                 bool wantBlocks) {
  std::vector<PFileItem>& a = *fFiles;
  const bool byName = fCompareOptions.Contains(coFileName);
  const bool byExt = fCompareOptions.Contains(coExtension);
  auto keyLess = [&](PFileItem x, PFileItem y) {
    if (x->Size != y->Size) return x->Size < y->Size;
    if (byName && NameKey(*x) != NameKey(*y)) return NameKey(*x) < NameKey(*y);
    if (byExt && ExtKey(*x) != ExtKey(*y)) return ExtKey(*x) < ExtKey(*y);
    return false;
  };
  // The list itself is sorted by key for this phase (a copy would cost a pointer per file at the
  // scan's peak) and put back in its order at the end: the scratch index is the item's place.
  std::vector<PFileItem>& order = a;
  struct TRestore {
    std::vector<PFileItem>& List;
    ~TRestore() {
      for (std::size_t k = 0; k < List.size();) {
        const std::size_t home = List[k]->fScratch;
        if (home == k) {
          ++k;
        } else if (home < List.size() && List[home]->fScratch != home) {
          std::swap(List[k], List[home]);
        } else {
          // Not the numbering BeginPhase gave: fall back to a sort.
          std::stable_sort(List.begin(), List.end(), [](PFileItem x, PFileItem y) { return x->fScratch < y->fScratch; });
          return;
        }
      }
    }
  } restore{a};
  std::sort(order.begin(), order.end(), [&](PFileItem x, PFileItem y) {
    if (keyLess(x, y)) return true;
    if (keyLess(y, x)) return false;
    return x->fScratch < y->fScratch;
  });
  const std::vector<TItemRange> classes = EqualKeyRanges(order, keyLess);
  // The window samples the record once a second: one file in 64 shows the same progress without
  // the threads queueing on the lock.
  std::atomic<std::uint32_t> filesDone{0};
  auto publish = [&](const TFileItem& it) {
    if (filesDone.fetch_add(1, std::memory_order_relaxed) % 64 != 0) return;
    std::lock_guard<std::mutex> g(ScanEngineLock);
    ScanEngineProgress.Path = it.Name.str();
    ScanEngineProgress.Current = static_cast<std::int64_t>(progress.BytesRead.load(std::memory_order_relaxed));
    ScanEngineProgress.Total = static_cast<std::int64_t>(progress.BytesTotal);
  };

  // The reads by their place in the sorted list, half the size of pointers.
  std::vector<std::uint32_t> work;
  for (auto [i, j] : classes)
    for (std::size_t k = i; k < j; ++k)
      if (!order[k]->fHasShortCRC) work.push_back(static_cast<std::uint32_t>(k));
  // Enumeration order keeps the reads of one folder together; measured on a cold ext4 tree it
  // beat inode order for these small reads.
  std::sort(work.begin(), work.end(),
            [&](std::uint32_t x, std::uint32_t y) { return order[x]->fScratch < order[y]->fScratch; });
  progress.BytesTotal = 0;
  for (std::uint32_t k : work)
    progress.BytesTotal += static_cast<std::uint64_t>(std::min<std::int64_t>(order[k]->Size, kCRCBlockSize));

  ParallelFor(work.size(), threads, fStop, [&](std::size_t k) {
    ComputeShortChecksum(*order[work[k]], &progress.BytesRead);
    publish(*order[work[k]]);
  });
  work = {};
  if (Stopped()) return;

  std::vector<PFileItem> full = FullReadCandidates(order, classes);
  progress.BytesRead.store(0, std::memory_order_relaxed);
  progress.BytesTotal = 0;
  for (PFileItem it : full) progress.BytesTotal += static_cast<std::uint64_t>(it->Size);
  for (TDeviceReads& reads : PlanFullReads(full, threads)) {
    ParallelFor(reads.Files.size(), reads.Readers, fStop, [&](std::size_t k) {
      TFileItem& it = *reads.Files[k];
      if (wantBlocks) {
        ComputeFullChecksum(it, &fBlockCRCs[it.fScratch], fStop, &progress.BytesRead);
        fHasBlocks[it.fScratch] = 1;
      } else {
        ComputeFullChecksum(it, nullptr, fStop, &progress.BytesRead);
      }
      publish(it);
    });
    if (Stopped()) return;
  }
}

// ------------------------------------------------------------------ mode 0: CRC-32 + size

void TFileComparerCRC::BeginPhase(std::stop_token stop, TMusicTagsOptions musicOptions) {
  TFileComparerClass::BeginPhase(std::move(stop), musicOptions);
  BuildNameKeys(fCompareOptions.Contains(coFileName), fCompareOptions.Contains(coExtension));
}

void TFileComparerCRC::PrefetchChecksums(unsigned threads, TPrefetchProgress& progress) {
  PrefetchBySizeAndBlocks(threads, progress, false);
}

int TFileComparerCRC::Order(TFileItem& L, TFileItem& R) {
  if (L.Size != R.Size) return L.Size > R.Size ? 1 : -1;
  if (int c = OrderByNames(L, R); c != 0) return c;
  return OrderByContent(L, R, false);
}

bool TFileComparerCRC::HasSplitKey() const {
  return fCompareOptions.Contains(coFileName) || fCompareOptions.Contains(coExtension);
}

std::string TFileComparerCRC::SplitKey(TFileItem& it) {
  std::string k;
  if (fCompareOptions.Contains(coFileName)) k += NameKey(it);
  k += '\0';
  if (fCompareOptions.Contains(coExtension)) k += ExtKey(it);
  return k;
}

// ------------------------------------------------------------------ mode 1: byte by byte

void TFileComparerBBB::BeginPhase(std::stop_token stop, TMusicTagsOptions musicOptions) {
  TFileComparerClass::BeginPhase(std::move(stop), musicOptions);
  BuildNameKeys(fCompareOptions.Contains(coFileName), fCompareOptions.Contains(coExtension));
  fBlockCRCs.assign(fFiles->size(), {});
  fHasBlocks.assign(fFiles->size(), 0);
}

void TFileComparerBBB::PrefetchChecksums(unsigned threads, TPrefetchProgress& progress) {
  PrefetchBySizeAndBlocks(threads, progress, true);
}

int TFileComparerBBB::Order(TFileItem& L, TFileItem& R) {
  if (int c = OrderByNames(L, R); c != 0) return c;
  if (L.Size != R.Size) return L.Size > R.Size ? 1 : -1;
  return OrderByContent(L, R, true);
}

bool TFileComparerBBB::HasSplitKey() const {
  return fCompareOptions.Contains(coFileName) || fCompareOptions.Contains(coExtension);
}

std::string TFileComparerBBB::SplitKey(TFileItem& it) {
  std::string k;
  if (fCompareOptions.Contains(coFileName)) k += NamePart(it.Name.view());  // exact, with case
  k += '\0';
  if (fCompareOptions.Contains(coExtension)) k += ExtKey(it);
  return k;
}

// ------------------------------------------------------------------ mode 2: file name

void TFileComparerFName::BeginPhase(std::stop_token stop, TMusicTagsOptions musicOptions) {
  TFileComparerClass::BeginPhase(std::move(stop), musicOptions);
  BuildNameKeys(true, true);
  if (fNameSimilarity <= 0) return;
  // Every name of a chain of similar names takes the key of the chain's first name.
  std::vector<PFileItem>& a = *fFiles;
  std::vector<std::string> keys(a.size());
  for (PFileItem it : a) keys[it->fScratch] = SimilarNameKey(it->Name.view());
  const std::vector<std::size_t> first = GroupSimilarKeys(keys, fNameSimilarity);
  for (std::size_t i = 0; i < keys.size(); ++i) fNameKeys[i] = keys[first[i]];
}

int TFileComparerFName::Order(TFileItem& L, TFileItem& R) {
  int c = CompareOrdinal(NameKey(L), NameKey(R));
  if (c == 0 && fCompareOptions.Contains(coExtension)) c = CompareOrdinal(ExtKey(L), ExtKey(R));
  if (c == 0 && fCompareOptions.Contains(coFileSize) && L.Size != R.Size) c = L.Size > R.Size ? 1 : -1;
  return c;
}

bool TFileComparerFName::HasSplitKey() const {
  return fCompareOptions.Contains(coFileName) || fCompareOptions.Contains(coExtension) ||
         fCompareOptions.Contains(coFileSize) || fCompareOptions.Contains(coEXIF);
}

std::string TFileComparerFName::SplitKey(TFileItem& it) {
  std::string k;
  // Similar names are alike by definition: the exact spelling splits nothing then.
  if (fCompareOptions.Contains(coFileName) && fNameSimilarity <= 0) k += NamePart(it.Name.view());
  k += '\0';
  if (fCompareOptions.Contains(coExtension)) k += ExtKey(it);
  k += '\0';
  if (fCompareOptions.Contains(coFileSize)) k += std::to_string(it.Size);
  k += '\0';
  if (fCompareOptions.Contains(coEXIF) && IsJpegKey(ExtKey(it))) {
    // JPEG files are equal only by their picture data apart from EXIF; one without an EXIF block
    // is equal to none. Other files pass this test among themselves.
    std::uint32_t crc = 0;
    if (ExifStrippedChecksum(it.FullPath(), crc))
      k += "E" + std::to_string(crc);
    else
      k += "U" + std::to_string(reinterpret_cast<std::uintptr_t>(&it));
  } else {
    k += "N";
  }
  return k;
}

// ------------------------------------------------------------------ mode 3: music tags

int TFileComparerTags::KeyKind(const TFileItem& it) const {
  if (!it.AudioTagValues.empty()) return 0;
  return fMusicOptions.Contains(mtCombined) ? 1 : 2;
}

std::uint32_t TFileComparerTags::TagKey(TFileItem& it) {
  if (!it.fHasFullCRC) {
    switch (KeyKind(it)) {
      case 0:
        it.CRC32 = TextChecksumUtf16(it.AudioTagValues.view());
        it.fHasFullCRC = true;
        break;
      case 1:
        ComputeFullChecksum(it, nullptr, fStop);
        break;
      default:
        it.CRC32 = 0xFFFFFFFFu;
        it.fHasFullCRC = true;
        break;
    }
  }
  return it.CRC32;
}

void TFileComparerTags::PrefetchChecksums(unsigned threads, TPrefetchProgress& progress) {
  std::vector<PFileItem> work;
  if (fFiles->size() >= 2)
    for (PFileItem it : *fFiles)
      if (KeyKind(*it) == 1 && !it->fHasFullCRC) work.push_back(it);
  progress.BytesTotal = 0;
  for (PFileItem it : work) progress.BytesTotal += static_cast<std::uint64_t>(it->Size);
  ParallelFor(work.size(), threads, fStop, [&](std::size_t k) {
    ComputeFullChecksum(*work[k], nullptr, fStop, &progress.BytesRead);
    std::lock_guard<std::mutex> g(ScanEngineLock);
    ScanEngineProgress.Path = work[k]->Name.str();
    ScanEngineProgress.Current = static_cast<std::int64_t>(progress.BytesRead.load(std::memory_order_relaxed));
    ScanEngineProgress.Total = static_cast<std::int64_t>(progress.BytesTotal);
  });
}

int TFileComparerTags::Order(TFileItem& L, TFileItem& R) {
  std::uint32_t kl = TagKey(L), kr = TagKey(R);
  if (kl != kr) return kl > kr ? 1 : -1;
  // Equal checksums: equal tag texts, or equal file contents, make duplicates; a checksum
  // collision between a tag text and a file, or between two texts, does not.
  int kindL = KeyKind(L), kindR = KeyKind(R);
  if (kindL != kindR) return kindL > kindR ? 1 : -1;
  if (kindL == 0) return CompareOrdinal(L.AudioTagValues.view(), R.AudioTagValues.view());
  if (kindL == 1) {
    if (int c = OrderFailed(L, R); c != 0) return c;
    if (L.Size != R.Size) return L.Size > R.Size ? 1 : -1;
    return OrderStrongHash(L, R);
  }
  return 0;
}

bool TFileComparerTags::HasSplitKey() const {
  return fCompareOptions.Contains(coFileName) || fCompareOptions.Contains(coExtension) ||
         fCompareOptions.Contains(coFileSize);
}

std::string TFileComparerTags::SplitKey(TFileItem& it) {
  std::string k;
  if (fCompareOptions.Contains(coFileName)) k += NamePart(it.Name.view());
  k += '\0';
  if (fCompareOptions.Contains(coExtension)) k += ExtensionKeyOf(it.Name.view());
  k += '\0';
  if (fCompareOptions.Contains(coFileSize)) k += std::to_string(it.Size);
  return k;
}

// ------------------------------------------------------------------ repeated entries

int TFileComparerSameItems::Compare(PFileItem Left, PFileItem Right) {
  if (Stopped()) return 0;
  return Order(*Left, *Right);
}

int TFileComparerSameItems::Order(TFileItem& L, TFileItem& R) {
  if (L.DupGroup != R.DupGroup) return L.DupGroup > R.DupGroup ? 1 : -1;
  if (L.Master != R.Master) return L.Master ? -1 : 1;
  if (L.Path == R.Path) return CompareOrdinal(L.Name.view(), R.Name.view());
  return CompareOrdinal(L.Path.view(), R.Path.view());
}

void TFileComparerSameItems::FindDuplicates() {
  if (Stopped()) return;
  // Within a group keep the first entry of every file (a master entry comes first) and remove
  // the others, adjacent or not; then a group left with one file is no group.
  std::vector<PFileItem>& a = *fFiles;
  std::vector<char> drop(a.size(), 0);
  std::size_t i = 0;
  while (i < a.size()) {
    std::size_t j = i + 1;
    while (j < a.size() && a[j]->DupGroup == a[i]->DupGroup) ++j;
    for (std::size_t k = i + 1; k < j; ++k)
      for (std::size_t m = i; m < k && !drop[k]; ++m)
        if (!drop[m] && SameEntry(*a[m], *a[k])) drop[k] = 1;
    i = j;
  }
  DeleteDropped(a, drop);
  BaseFindDuplicates();
}

// ------------------------------------------------------------------ the phase

void GroupDuplicates(TFileComparerClass& comparer, const std::stop_token& stop, const TGroupingOptions& options) {
  std::vector<PFileItem>& files = *comparer.Files();
  const double n = static_cast<double>(files.size());
  comparer.SetNameSimilarity(options.NameSimilarity);
  comparer.BeginPhase(stop, options.MusicOptions);
  if (options.Cache) options.Cache->Fill(files);
  if (options.Prefetch && files.size() >= 2) {
    unsigned threads = options.Threads;
    if (threads == 0) threads = std::clamp(std::thread::hardware_concurrency(), 1u, 8u);
    TPrefetchProgress progress;
    comparer.PrefetchChecksums(threads, progress);
  }
  {
    // The estimate of the sort: 2 n ln n comparisons.
    std::lock_guard<std::mutex> g(ScanEngineLock);
    ScanEngineProgress.Path.clear();
    ScanEngineProgress.Current = 0;
    ScanEngineProgress.Total = n >= 2 ? 2 * static_cast<std::int64_t>(n * std::log(n)) : 0;
  }
  if (!stop.stop_requested()) {
    comparer.Sort();
    comparer.UnifyEqualRuns();
    if (options.Cache && !stop.stop_requested()) options.Cache->Collect(files);
    comparer.FindDuplicates();
  }
  comparer.EndPhase();
  ReleaseChecksumFolder();
  if (stop.stop_requested()) return;
  TFileComparerSameItems same(&files);
  same.BeginPhase(stop, options.MusicOptions);
  same.Sort();
  same.FindDuplicates();
  same.EndPhase();
}

// ------------------------------------------------------------------ factory

TFileComparerClassPtr CreateFileComparer(std::uint8_t mode, std::vector<PFileItem>* files,
                                         TPcwCompareOptions options) {
  switch (mode) {
    case cmCRC32: return std::make_unique<TFileComparerCRC>(files, options);
    case cmByteByByte: return std::make_unique<TFileComparerBBB>(files, options);
    case cmFileName: return std::make_unique<TFileComparerFName>(files, options);
    case cmMusicTags: return std::make_unique<TFileComparerTags>(files, options);
    default: return nullptr;
  }
}

}  // namespace pelcrow
