// The similar-pictures mode on generated pictures: the time to hash and to group them beside the
// time Qt's readers take to decode them once, on as many threads as the scan uses; then the
// grouping alone on many hashes, as a large photo collection gives it.
//
//   pelcrow_picture_bench [FOLDER] [COUNT] [HASHES]   (defaults: bench/out/pictures 20000 100000)
#include <QImage>
#include <QImageReader>
#include <QString>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "base/ParallelFor.h"
#include "engine/FileItem.h"
#include "engine/SimilarPictures.h"
#include "pictures/QtPictureDecoder.h"

namespace fs = std::filesystem;
using namespace pelcrow;

namespace {

double Since(std::chrono::steady_clock::time_point t) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t).count();
}

// One picture of the set: blobs and waves from the seed. Every tenth is a copy of the one before
// (re-compressed or halved), so the groups have members.
QImage Picture(int n) {
  std::mt19937 rng(static_cast<unsigned>(n / 10 * 10 == n ? n : n - 1));
  std::uniform_real_distribution<double> r(0, 1);
  const double fx = 1 + 6 * r(rng), fy = 1 + 6 * r(rng), px = 6.28 * r(rng);
  const double cx = r(rng), cy = r(rng), rad = 0.05 + 0.1 * r(rng);
  QImage img(256, 192, QImage::Format_RGB32);
  for (int y = 0; y < img.height(); ++y)
    for (int x = 0; x < img.width(); ++x) {
      const double u = x / 256.0, v = y / 192.0;
      double l = 128 + 70 * std::sin(fx * 6.28 * u + px) * std::cos(fy * 3.14 * v);
      if ((u - cx) * (u - cx) + (v - cy) * (v - cy) < rad * rad) l = 255 - l;
      const int g = std::clamp(static_cast<int>(l), 0, 255);
      img.setPixel(x, y, qRgb(g, 255 - g, (g * 3) & 255));
    }
  if (n % 10 == 9) img = img.scaled(128, 96, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
  return img;
}

void MakeSet(const fs::path& dir, int count) {
  const fs::path stamp = dir / ".count";
  std::ifstream in(stamp);
  int made = 0;
  if (in >> made && made == count) return;
  fs::remove_all(dir);
  fs::create_directories(dir);
  std::printf("making %d pictures in %s\n", count, dir.c_str());
  std::fflush(stdout);
  ParallelFor(static_cast<std::size_t>(count), std::thread::hardware_concurrency(), {}, [&](std::size_t k) {
    const int n = static_cast<int>(k);
    Picture(n).save(QString::fromStdString((dir / ("p" + std::to_string(n) + ".jpg")).string()), "JPEG",
                    n % 10 == 8 ? 40 : 85);
  });
  std::ofstream(stamp) << count;
}

}  // namespace

int main(int argc, char** argv) {
  const fs::path dir = argc > 1 ? argv[1] : "bench/out/pictures";
  const int count = argc > 2 ? std::atoi(argv[2]) : 20000;
  const int hashCount = argc > 3 ? std::atoi(argv[3]) : 100000;
  const unsigned threads = std::clamp(std::thread::hardware_concurrency(), 1u, 8u);
  MakeSet(dir, count);

  std::vector<std::string> paths;
  for (const auto& e : fs::directory_iterator(dir))
    if (e.path().extension() == ".jpg") paths.push_back(e.path().string());
  std::sort(paths.begin(), paths.end());

  // Decoding once, full size, nothing else: the floor of any picture comparison.
  auto t = std::chrono::steady_clock::now();
  std::atomic<int> decoded{0};
  ParallelFor(paths.size(), threads, {}, [&](std::size_t k) {
    QImageReader reader(QString::fromStdString(paths[k]));
    if (!reader.read().isNull()) decoded.fetch_add(1, std::memory_order_relaxed);
  });
  const double decodeOnce = Since(t);

  // The mode's phase without the cache: decode, hash, group.
  std::vector<PFileItem> files;
  for (const std::string& p : paths) {
    auto* it = new TFileItem;
    const fs::path fp(p);
    it->Name = TItemString(fp.filename().string());
    it->Path = TItemString(fp.parent_path().string());
    it->Size = static_cast<std::int64_t>(fs::file_size(fp));
    files.push_back(it);
  }
  TSimilarPicturesOptions options;
  options.Decoder = QtPictureDecoder();
  options.Threads = threads;
  TSimilarPicturesTimes times;
  GroupSimilarPictures(files, options, {}, &times);
  std::size_t groups = 0;
  for (std::size_t k = 0; k < files.size(); ++k)
    if (k == 0 || files[k]->DupGroup != files[k - 1]->DupGroup) ++groups;
  for (PFileItem it : files) delete it;

  std::printf("%zu pictures 256x192 JPEG, %u threads\n", paths.size(), threads);
  std::printf("  decode once (Qt, full size)      %8.2f s  (%d decoded)\n", decodeOnce, decoded.load());
  std::printf("  decode + hash (similar pictures) %8.2f s  (%.2fx the decode)\n", times.HashSeconds,
              times.HashSeconds / decodeOnce);
  std::printf("  group (piece index, 90 %%)       %8.3f s  (%zu groups, %zu pictures in them)\n", times.GroupSeconds,
              groups, files.size());

  // Grouping alone: random hashes with a near copy beside every tenth.
  std::mt19937_64 rng(7);
  std::vector<std::uint64_t> hashes(static_cast<std::size_t>(hashCount));
  for (std::size_t k = 0; k < hashes.size(); ++k) {
    hashes[k] = rng();
    if (k % 10 == 9) hashes[k] = hashes[k - 1] ^ (1ull << (rng() % 64)) ^ (1ull << (rng() % 64));
  }
  std::vector<char> valid(hashes.size(), 1);
  std::vector<std::size_t> order(hashes.size());
  for (std::size_t k = 0; k < order.size(); ++k) order[k] = k;
  t = std::chrono::steady_clock::now();
  const TSimilarGroups g = GroupSimilarHashes(hashes, valid, order, MaxDistanceForSimilarity(90));
  const double groupOnly = Since(t);
  std::printf("%d hashes: grouped in %.2f s (%zu in groups); every pair compared would be %.2e distances\n", hashCount,
              groupOnly, g.Order.size(), 0.5 * hashCount * (hashCount - 1.0));
  return 0;
}
