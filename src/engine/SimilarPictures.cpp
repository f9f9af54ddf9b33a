#include "engine/SimilarPictures.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <chrono>
#include <cmath>
#include <memory>
#include <mutex>
#include <numbers>
#include <stdexcept>
#include <thread>
#include <unordered_map>

#include "base/ParallelFor.h"
#include "engine/ChecksumCache.h"
#include "engine/FileComparer.h"
#include "engine/NameKeys.h"
#include "engine/ScanProgress.h"

namespace pelcrow {

namespace {

constexpr int kSide = 32;
constexpr int kLow = 8;

// cos((2x + 1) u pi / 64) for the eight lowest frequencies u.
const std::array<std::array<double, kSide>, kLow>& CosTable() {
  static const auto table = [] {
    std::array<std::array<double, kSide>, kLow> t{};
    for (int u = 0; u < kLow; ++u)
      for (int x = 0; x < kSide; ++x) t[u][x] = std::cos((2 * x + 1) * u * std::numbers::pi / (2.0 * kSide));
    return t;
  }();
  return table;
}

// Box average onto kSide x kSide: every source pixel counts once, so a picture and its halved
// copy give nearly the same grid.
std::array<double, kSide * kSide> Downscale(const TGreyPicture& p) {
  std::array<double, kSide * kSide> out{};
  const int w = p.Width, h = p.Height;
  for (int oy = 0; oy < kSide; ++oy) {
    int y0 = oy * h / kSide, y1 = std::max(y0 + 1, (oy + 1) * h / kSide);
    for (int ox = 0; ox < kSide; ++ox) {
      int x0 = ox * w / kSide, x1 = std::max(x0 + 1, (ox + 1) * w / kSide);
      std::uint64_t sum = 0;
      for (int y = y0; y < y1; ++y) {
        const std::uint8_t* row = p.Pixels.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(w);
        for (int x = x0; x < x1; ++x) sum += row[x];
      }
      out[static_cast<std::size_t>(oy * kSide + ox)] = static_cast<double>(sum) / ((y1 - y0) * (x1 - x0));
    }
  }
  return out;
}

// BK-tree over distinct hashes: a query within radius r visits only the subtrees whose edge
// distance can still hold a match (triangle inequality of the Hamming distance).
class TBkTree {
 public:
  void Insert(std::uint64_t hash, std::uint32_t key) {
    if (fNodes.empty()) {
      fNodes.push_back({hash, key, -1, -1, 0});
      return;
    }
    std::int32_t n = 0;
    for (;;) {
      const int d = HashDistance(hash, fNodes[static_cast<std::size_t>(n)].Hash);
      std::int32_t c = fNodes[static_cast<std::size_t>(n)].FirstChild;
      while (c >= 0 && fNodes[static_cast<std::size_t>(c)].Edge != d) c = fNodes[static_cast<std::size_t>(c)].Next;
      if (c < 0) {
        const auto added = static_cast<std::int32_t>(fNodes.size());
        fNodes.push_back({hash, key, -1, fNodes[static_cast<std::size_t>(n)].FirstChild, static_cast<std::uint8_t>(d)});
        fNodes[static_cast<std::size_t>(n)].FirstChild = added;
        return;
      }
      n = c;
    }
  }

  template <typename Fn>
  void Query(std::uint64_t hash, int radius, Fn&& found) const {
    if (fNodes.empty()) return;
    std::vector<std::int32_t> stack{0};
    while (!stack.empty()) {
      const TNode& node = fNodes[static_cast<std::size_t>(stack.back())];
      stack.pop_back();
      const int d = HashDistance(hash, node.Hash);
      if (d <= radius) found(node.Key, d);
      for (std::int32_t c = node.FirstChild; c >= 0; c = fNodes[static_cast<std::size_t>(c)].Next) {
        const int e = fNodes[static_cast<std::size_t>(c)].Edge;
        if (e >= d - radius && e <= d + radius) stack.push_back(c);
      }
    }
  }

 private:
  struct TNode {
    std::uint64_t Hash;
    std::uint32_t Key;
    std::int32_t FirstChild;
    std::int32_t Next;
    std::uint8_t Edge;
  };
  std::vector<TNode> fNodes;
};

// Multi-index hashing for small radii: the hash cut into r + 1 pieces, one sorted table per
// piece. Two hashes within distance r agree on at least one whole piece (pigeonhole), so only
// the entries sharing a piece with the query are measured: about n / 2^(64 / (r + 1)) each.
class TPieceIndex {
 public:
  static constexpr int kMaxRadius = 15;  // pieces of at least 4 bits; beyond, the tree

  TPieceIndex(const std::vector<std::uint64_t>& hashes, int radius) : fHashes(hashes) {
    const int pieces = radius + 1;
    for (int p = 0; p <= pieces; ++p) fBounds.push_back(p * kHashBits / pieces);
    fTables.resize(static_cast<std::size_t>(pieces));
    for (int p = 0; p < pieces; ++p) {
      auto& table = fTables[static_cast<std::size_t>(p)];
      table.reserve(hashes.size());
      for (std::uint32_t k = 0; k < hashes.size(); ++k) table.emplace_back(Piece(hashes[k], p), k);
      std::sort(table.begin(), table.end());
    }
    fSeen.assign(hashes.size(), 0);
  }

  template <typename Fn>
  void Query(std::uint64_t hash, int radius, Fn&& found) {
    ++fStamp;
    for (int p = 0; p < static_cast<int>(fTables.size()); ++p) {
      const auto& table = fTables[static_cast<std::size_t>(p)];
      const std::uint32_t v = Piece(hash, p);
      auto it = std::lower_bound(table.begin(), table.end(), std::make_pair(v, std::uint32_t{0}));
      for (; it != table.end() && it->first == v; ++it) {
        if (fSeen[it->second] == fStamp) continue;
        fSeen[it->second] = fStamp;
        const int d = HashDistance(hash, fHashes[it->second]);
        if (d <= radius) found(it->second, d);
      }
    }
  }

 private:
  std::uint32_t Piece(std::uint64_t h, int p) const {
    const int lo = fBounds[static_cast<std::size_t>(p)], width = fBounds[static_cast<std::size_t>(p) + 1] - lo;
    return static_cast<std::uint32_t>((h >> lo) & ((std::uint64_t{1} << width) - 1));
  }
  const std::vector<std::uint64_t>& fHashes;
  std::vector<int> fBounds;
  std::vector<std::vector<std::pair<std::uint32_t, std::uint32_t>>> fTables;
  std::vector<std::uint32_t> fSeen;
  std::uint32_t fStamp = 0;
};

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

void SetProgress(std::int64_t current, std::int64_t total) {
  std::lock_guard<std::mutex> g(ScanEngineLock);
  ScanEngineProgress.Current = current;
  ScanEngineProgress.Total = total;
}

}  // namespace

std::uint64_t PerceptualHash(const TGreyPicture& Picture) {
  if (Picture.Width <= 0 || Picture.Height <= 0 ||
      Picture.Pixels.size() < static_cast<std::size_t>(Picture.Width) * static_cast<std::size_t>(Picture.Height))
    return 0;
  const auto grid = Downscale(Picture);
  const auto& cosine = CosTable();
  // Separable DCT-II, only the low corner: rows first, then columns.
  std::array<double, kSide * kLow> rows{};
  for (int y = 0; y < kSide; ++y)
    for (int u = 0; u < kLow; ++u) {
      double s = 0;
      for (int x = 0; x < kSide; ++x) s += grid[static_cast<std::size_t>(y * kSide + x)] * cosine[u][x];
      rows[static_cast<std::size_t>(y * kLow + u)] = s;
    }
  std::array<double, kLow * kLow> coef{};
  for (int v = 0; v < kLow; ++v)
    for (int u = 0; u < kLow; ++u) {
      double s = 0;
      for (int y = 0; y < kSide; ++y) s += rows[static_cast<std::size_t>(y * kLow + u)] * cosine[v][y];
      coef[static_cast<std::size_t>(v * kLow + u)] = s;
    }
  auto sorted = coef;
  std::nth_element(sorted.begin(), sorted.begin() + kLow * kLow / 2, sorted.end());
  const double median = sorted[kLow * kLow / 2];
  std::uint64_t hash = 0;
  for (int k = 0; k < kLow * kLow; ++k)
    if (coef[static_cast<std::size_t>(k)] > median) hash |= std::uint64_t{1} << k;
  return hash;
}

int HashDistance(std::uint64_t A, std::uint64_t B) { return std::popcount(A ^ B); }

int MaxDistanceForSimilarity(int Percent) {
  Percent = std::clamp(Percent, kMinSimilarityPercent, 100);
  return (100 - Percent) * kHashBits / 100;
}

int SimilarityOfDistance(int Distance) {
  return static_cast<int>(std::lround(100.0 * (kHashBits - Distance) / kHashBits));
}

bool IsPictureName(std::string_view Name) {
  static constexpr std::string_view kExtensions[] = {".BMP", ".GIF", ".JPG", ".JPEG", ".JPE", ".JFIF", ".PNG",
                                                     ".TIF", ".TIFF", ".WEBP", ".PPM", ".PGM", ".PBM", ".TGA",
                                                     ".ICO", ".AVIF", ".HEIC", ".HEIF", ".JXL"};
  const std::string ext = ExtensionKeyOf(Name);
  return std::find(std::begin(kExtensions), std::end(kExtensions), ext) != std::end(kExtensions);
}

TSimilarGroups GroupSimilarHashes(const std::vector<std::uint64_t>& Hashes, const std::vector<char>& Valid,
                                  const std::vector<std::size_t>& Order, int MaxDistance) {
  const std::size_t n = Hashes.size();
  TSimilarGroups out;
  out.Group.assign(n, 0);
  out.Distance.assign(n, 0);
  // Equal hashes share one tree node.
  std::unordered_map<std::uint64_t, std::uint32_t> keyOf;
  std::vector<std::vector<std::size_t>> members;
  std::vector<std::uint64_t> distinct;
  for (std::size_t i : Order) {
    if (i >= n || !Valid[i]) continue;
    auto [it, added] = keyOf.try_emplace(Hashes[i], static_cast<std::uint32_t>(members.size()));
    if (added) {
      members.emplace_back();
      distinct.push_back(Hashes[i]);
    }
    members[it->second].push_back(i);
  }
  // Small radii (the useful thresholds) through the piece tables, loose ones through the tree.
  std::unique_ptr<TPieceIndex> pieces;
  TBkTree tree;
  if (MaxDistance <= TPieceIndex::kMaxRadius) {
    pieces = std::make_unique<TPieceIndex>(distinct, MaxDistance);
  } else {
    for (std::uint32_t k = 0; k < distinct.size(); ++k) tree.Insert(distinct[k], k);
  }
  std::vector<std::size_t> rank(n, n);
  for (std::size_t k = 0; k < Order.size(); ++k)
    if (Order[k] < n) rank[Order[k]] = std::min(rank[Order[k]], k);

  std::uint32_t groups = 0;
  std::vector<std::pair<int, std::size_t>> candidates;
  std::vector<std::size_t> group;
  for (std::size_t first : Order) {
    if (first >= n || !Valid[first] || out.Group[first] != 0) continue;
    candidates.clear();
    const auto take = [&](std::uint32_t key, int d) {
      for (std::size_t i : members[key])
        if (i != first && out.Group[i] == 0) candidates.emplace_back(d, i);
    };
    if (pieces)
      pieces->Query(Hashes[first], MaxDistance, take);
    else
      tree.Query(Hashes[first], MaxDistance, take);
    if (candidates.empty()) continue;
    std::sort(candidates.begin(), candidates.end(), [&](const auto& a, const auto& b) {
      return a.first != b.first ? a.first < b.first : rank[a.second] < rank[b.second];
    });
    group.assign(1, first);
    for (const auto& [d, i] : candidates) {
      bool fits = true;
      for (std::size_t m : group)
        if (HashDistance(Hashes[m], Hashes[i]) > MaxDistance) {
          fits = false;
          break;
        }
      if (fits) group.push_back(i);
    }
    if (group.size() < 2) continue;
    ++groups;
    for (std::size_t i : group) {
      out.Group[i] = groups;
      out.Distance[i] = static_cast<std::uint8_t>(HashDistance(Hashes[first], Hashes[i]));
      out.Order.push_back(i);
    }
  }
  return out;
}

void GroupSimilarPictures(std::vector<PFileItem>& Files, const TSimilarPicturesOptions& Options,
                          const std::stop_token& Stop, TSimilarPicturesTimes* Times) {
  TSimilarPicturesTimes times;
  // Repeated entries of one file and files no decoder is asked about leave first.
  {
    std::vector<char> drop(Files.size(), 0);
    std::unordered_map<std::uint64_t, std::size_t> byInode;
    std::unordered_map<std::string, std::size_t> byPath;
    for (std::size_t k = 0; k < Files.size(); ++k) {
      TFileItem& it = *Files[k];
      if (!IsPictureName(it.Name.view())) {
        drop[k] = 1;
        continue;
      }
      if (!byPath.emplace(it.FullPath(), k).second) {
        drop[k] = 1;
        continue;
      }
      if (it.Inode != 0) {
        auto [pos, added] = byInode.emplace(it.Inode ^ (it.Device * 0x9E3779B97F4A7C15ull), k);
        if (!added && SameEntry(*Files[pos->second], it)) drop[k] = 1;
      }
    }
    std::size_t out = 0;
    for (std::size_t k = 0; k < Files.size(); ++k) {
      if (drop[k])
        delete Files[k];
      else
        Files[out++] = Files[k];
    }
    Files.resize(out);
  }

  const std::size_t n = Files.size();
  std::vector<std::uint64_t> hashes(n, 0);
  std::vector<char> valid(n, 0);
  const auto hashStart = std::chrono::steady_clock::now();
  if (Options.Cache) Options.Cache->FillPictureHashes(Files, hashes, valid);
  std::vector<std::size_t> todo;
  for (std::size_t k = 0; k < n; ++k)
    if (!valid[k]) todo.push_back(k);
  times.FromCache = static_cast<std::int64_t>(n - todo.size());
  if (!todo.empty() && !Options.Decoder) throw std::runtime_error("no picture decoder is available");
  unsigned threads = Options.Threads;
  if (threads == 0) threads = std::clamp(std::thread::hardware_concurrency(), 1u, 8u);
  std::atomic<std::int64_t> done{0};
  SetProgress(0, static_cast<std::int64_t>(todo.size()));
  ParallelFor(todo.size(), threads, Stop, [&](std::size_t t) {
    const std::size_t k = todo[t];
    TGreyPicture picture;
    if (Options.Decoder(Files[k]->FullPath(), picture) && picture.Width > 0 && picture.Height > 0) {
      hashes[k] = PerceptualHash(picture);
      valid[k] = 1;
    }
    const std::int64_t d = done.fetch_add(1, std::memory_order_relaxed) + 1;
    if ((d & 63) == 0) SetProgress(d, static_cast<std::int64_t>(todo.size()));
  });
  times.Decoded = static_cast<std::int64_t>(todo.size());
  times.HashSeconds = Seconds(hashStart);
  if (Stop.stop_requested()) return;
  if (Options.Cache) Options.Cache->CollectPictureHashes(Files, hashes, valid);

  const auto groupStart = std::chrono::steady_clock::now();
  // The largest file of a group is its first picture: the original rather than a smaller copy.
  std::vector<std::size_t> order(n);
  for (std::size_t k = 0; k < n; ++k) order[k] = k;
  std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return Files[a]->Size > Files[b]->Size; });
  const TSimilarGroups groups = GroupSimilarHashes(hashes, valid, order, MaxDistanceForSimilarity(Options.SimilarityPercent));
  std::vector<PFileItem> result;
  result.reserve(groups.Order.size());
  for (std::size_t k : groups.Order) {
    TFileItem& it = *Files[k];
    it.DupGroup = it.SortGroup = groups.Group[k];
    it.Similarity = static_cast<std::uint8_t>(SimilarityOfDistance(groups.Distance[k]));
    result.push_back(&it);
  }
  for (std::size_t k = 0; k < n; ++k)
    if (groups.Group[k] == 0) delete Files[k];
  Files = std::move(result);
  times.GroupSeconds = Seconds(groupStart);
  if (Times) *Times = times;
}

}  // namespace pelcrow
