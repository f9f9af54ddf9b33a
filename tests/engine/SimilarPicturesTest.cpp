// The similar-pictures mode: the threshold, the grouping rule, and a scan of pictures made here
// with Qt (re-saved, re-compressed, resized and EXIF-rotated copies of one picture, and another
// picture of the same size), decoded by the programs' decoder.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <set>
#include <sstream>

#include "TestUtil.h"
#include "cli/Cli.h"
#include "engine/ChecksumCache.h"
#include "engine/ResultColumns.h"
#include "engine/SimilarPictures.h"

#ifdef PELCROW_HAVE_PICTURE_DECODER
#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QTransform>

#include "pictures/QtPictureDecoder.h"
#endif

namespace pelcrow {
namespace {

using test::TTempDir;

TEST(SimilarPicturesTest, ThresholdFromPercentage) {
  const struct {
    int Percent, MaxDistance;
  } cases[] = {{100, 0}, {95, 3}, {90, 6}, {75, 16}, {50, 32}, {20, 32}, {150, 0}};
  for (const auto& c : cases) EXPECT_EQ(MaxDistanceForSimilarity(c.Percent), c.MaxDistance) << c.Percent;
  EXPECT_EQ(SimilarityOfDistance(0), 100);
  EXPECT_EQ(SimilarityOfDistance(6), 91);
  EXPECT_EQ(SimilarityOfDistance(64), 0);
}

// Bits 0..n-1 set, shifted: distances are counts of differing bits.
std::uint64_t Bits(int n, int shift = 0) { return ((n >= 64 ? ~0ull : (1ull << n) - 1)) << shift; }

TEST(SimilarPicturesTest, GroupsKeepEveryPairWithinTheThreshold) {
  const struct {
    const char* Name;
    std::vector<std::uint64_t> Hashes;
    std::vector<char> Valid;
    int MaxDistance;
    std::vector<std::uint32_t> Groups;
  } cases[] = {
      // A like B, B like C, A unlike C: C is not pulled into A's group by the chain.
      {"chain", {0, Bits(6), Bits(12)}, {1, 1, 1}, 6, {1, 1, 0}},
      // Equal hashes group at distance 0; a far one stays alone.
      {"exact", {Bits(20), Bits(20), Bits(40)}, {1, 1, 1}, 0, {1, 1, 0}},
      // The nearer candidate goes first; the farther one, unlike it, stays out.
      {"nearest first", {0, Bits(2), Bits(6, 2)}, {1, 1, 1}, 6, {1, 1, 0}},
      // Without a hash (not decoded) never in a group, whatever the hash field holds.
      {"undecoded", {5, 5, 5}, {1, 0, 1}, 0, {1, 0, 1}},
      // Two separate groups.
      {"two groups", {0, Bits(1), Bits(30, 30), Bits(31, 30)}, {1, 1, 1, 1}, 3, {1, 1, 2, 2}},
  };
  for (const auto& c : cases) {
    std::vector<std::size_t> order(c.Hashes.size());
    for (std::size_t k = 0; k < order.size(); ++k) order[k] = k;
    const TSimilarGroups g = GroupSimilarHashes(c.Hashes, c.Valid, order, c.MaxDistance);
    EXPECT_EQ(g.Group, c.Groups) << c.Name;
    for (std::size_t i = 0; i < g.Group.size(); ++i)
      for (std::size_t j = 0; j < g.Group.size(); ++j)
        if (g.Group[i] != 0 && g.Group[i] == g.Group[j]) {
          EXPECT_LE(HashDistance(c.Hashes[i], c.Hashes[j]), c.MaxDistance) << c.Name;
        }
  }
}

TEST(SimilarPicturesTest, CacheEntriesKeepPictureHashBesideChecksums) {
  TChecksumCacheEntry both;
  both.Inode = 7;
  both.Size = 1'000'000;
  both.ShortCRC32 = 1;
  both.CRC32 = 2;
  both.StrongHash[0] = 3;
  both.PictureHash = 0xF00DF00DF00DF00Dull;
  both.Flags = kCacheHasShort | kCacheHasFull | kCacheHasPicture;
  TChecksumCacheEntry pictureOnly;
  pictureOnly.Inode = 8;
  pictureOnly.Size = 10;
  pictureOnly.PictureHash = 42;
  pictureOnly.Flags = kCacheHasPicture;
  std::vector<TChecksumCacheEntry> back;
  ASSERT_TRUE(ParseChecksumCache(ChecksumCacheBytes(9, {both, pictureOnly}), 9, back));
  EXPECT_EQ(back, (std::vector<TChecksumCacheEntry>{both, pictureOnly}));
  // A hash without its flag is not a value this version wrote.
  pictureOnly.Flags = kCacheHasShort | kCacheHasFull;
  pictureOnly.ShortCRC32 = pictureOnly.CRC32 = 5;
  EXPECT_FALSE(ParseChecksumCache(ChecksumCacheBytes(9, {pictureOnly}), 9, back));
}

#ifdef PELCROW_HAVE_PICTURE_DECODER

// A picture with structure at several scales, as a photo has; Seed makes another one.
QImage MakePicture(int width, int height, int seed) {
  QImage img(width, height, QImage::Format_RGB32);
  const double a = 1.0 + seed * 0.7, b = 2.0 + seed * 1.3;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const double u = static_cast<double>(x) / width, v = static_cast<double>(y) / height;
      double l = 128 + 60 * std::sin(a * 6.28 * u + seed) * std::cos(b * 3.14 * v) + 40 * (u - v);
      const double du = u - 0.3 - 0.1 * seed, dv = v - 0.6 + 0.15 * seed;
      if (du * du + dv * dv < 0.02) l += 70;
      if (u > 0.65 && u < 0.9 && v > 0.1 + 0.2 * seed && v < 0.35 + 0.2 * seed) l -= 80;
      const int g = std::clamp(static_cast<int>(l), 0, 255);
      img.setPixel(x, y, qRgb(g, std::clamp(g + 20 * seed, 0, 255), 255 - g / 2));
    }
  return img;
}

// JPEG bytes with an EXIF block saying Orientation (274) = value, after the JFIF block.
QByteArray WithExifOrientation(const QByteArray& jpeg, int value) {
  const char tiff[] = {'M', 'M', 0, 42, 0, 0, 0, 8,  // big-endian header, first IFD at 8
                       0, 1,                          // one entry
                       0x01, 0x12, 0, 3, 0, 0, 0, 1, 0, static_cast<char>(value), 0, 0,  // SHORT
                       0, 0, 0, 0};                   // no next IFD
  QByteArray exif("Exif\0\0", 6);
  exif.append(tiff, sizeof tiff);
  QByteArray segment;
  segment.append('\xFF').append('\xE1');
  const int length = static_cast<int>(exif.size()) + 2;
  segment.append(static_cast<char>(length >> 8)).append(static_cast<char>(length & 0xFF)).append(exif);
  int at = 2;  // after SOI, and after an APP0 block when there is one
  if (static_cast<unsigned char>(jpeg[2]) == 0xFF && static_cast<unsigned char>(jpeg[3]) == 0xE0)
    at = 4 + (static_cast<unsigned char>(jpeg[4]) << 8 | static_cast<unsigned char>(jpeg[5]));
  QByteArray out = jpeg;
  out.insert(at, segment);
  return out;
}

QByteArray Encoded(const QImage& img, const char* format, int quality) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  EXPECT_TRUE(img.save(&buffer, format, quality));
  return bytes;
}

TGreyPicture GreyOf(const QImage& img) {
  const QImage g = img.convertToFormat(QImage::Format_Grayscale8);
  TGreyPicture p;
  p.Width = g.width();
  p.Height = g.height();
  for (int y = 0; y < g.height(); ++y) p.Pixels.insert(p.Pixels.end(), g.constScanLine(y), g.constScanLine(y) + g.width());
  return p;
}

class SimilarPicturesScanTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const QImage base = MakePicture(640, 480, 0);
    dir.Write("a_original.png", Encoded(base, "PNG", -1).toStdString());
    dir.Write("b_q90.jpg", Encoded(base, "JPEG", 90).toStdString());
    dir.Write("c_q40.jpg", Encoded(base, "JPEG", 40).toStdString());
    dir.Write("d_half.jpg", Encoded(base.scaled(320, 240, Qt::IgnoreAspectRatio, Qt::SmoothTransformation), "JPEG", 90)
                                .toStdString());
    // Stored turned a quarter to the left; orientation 6 tells a viewer to turn it right again.
    stored = base.transformed(QTransform().rotate(-90));
    dir.Write("e_exif_rotated.jpg", WithExifOrientation(Encoded(stored, "JPEG", 90), 6).toStdString());
    dir.Write("f_other.png", Encoded(MakePicture(640, 480, 1), "PNG", -1).toStdString());
    dir.Write("notes.txt", "not a picture");
  }

  TScanSettings Options(int percent) const {
    TScanSettings s = test::TestScanSettings();
    s.SimilarityPercent = percent;
    return s;
  }

  TTempDir dir;
  QImage stored;
};

TEST_F(SimilarPicturesScanTest, CopiesGroupAndTheOtherPictureDoesNot) {
  TScanEngine engine(cmSimilarPictures, {});
  engine.SetPictureDecoder(QtPictureDecoder());
  test::RunScan(engine, {dir.path()}, Options(kDefaultSimilarityPercent));
  ASSERT_TRUE(engine.LastWorkerError().empty()) << engine.LastWorkerError();
  const auto groups = test::Groups(engine, dir.path());
  ASSERT_EQ(groups.size(), 1u);
  EXPECT_EQ(std::set<std::string>(groups[0].begin(), groups[0].end()),
            (std::set<std::string>{"a_original.png", "b_q90.jpg", "c_q40.jpg", "d_half.jpg", "e_exif_rotated.jpg"}));
  // The largest file leads its group at 100 %; the others show how alike they are.
  EXPECT_EQ(groups[0][0], "a_original.png");
  EXPECT_EQ(engine.Item(0)->Similarity, 100);
  for (int i = 1; i < engine.ItemCount(); ++i) {
    EXPECT_GE(engine.Item(i)->Similarity, kDefaultSimilarityPercent);
    EXPECT_EQ(ResultCellText(*engine.Item(i), rcSimilarity), std::to_string(engine.Item(i)->Similarity) + " %");
  }

  // The rotated copy is found through its orientation: its stored pixels alone hash far away.
  TGreyPicture decoded;
  ASSERT_TRUE(QtPictureDecoder()(dir / "a_original.png", decoded));
  EXPECT_GT(HashDistance(PerceptualHash(GreyOf(stored)), PerceptualHash(decoded)),
            MaxDistanceForSimilarity(kMinSimilarityPercent) / 2);

  // A saved list brings the likeness back.
  TScanEngine loaded(cmSimilarPictures, {});
  loaded.LoadFromText(nullptr, engine.ListFileText());
  ASSERT_EQ(loaded.ItemCount(), engine.ItemCount());
  std::multiset<int> before, after;
  for (int i = 0; i < engine.ItemCount(); ++i) {
    before.insert(engine.Item(i)->Similarity);
    after.insert(loaded.Item(i)->Similarity);
  }
  EXPECT_EQ(before, after);
}

TEST_F(SimilarPicturesScanTest, StricterThresholdDropsTheWeakerCopies) {
  TScanEngine engine(cmSimilarPictures, {});
  engine.SetPictureDecoder(QtPictureDecoder());
  test::RunScan(engine, {dir.path()}, Options(100));
  for (int i = 0; i < engine.ItemCount(); ++i) {
    EXPECT_EQ(engine.Item(i)->Similarity, 100);
    EXPECT_NE(engine.Item(i)->Name.str(), "f_other.png");
  }
}

TEST_F(SimilarPicturesScanTest, SecondScanTakesTheHashesFromTheCache) {
  TScanSettings options = Options(kDefaultSimilarityPercent);
  options.ChecksumCacheFolder = dir / "cache";
  options.ChecksumCacheSettleNs = 0;
  TScanEngine first(cmSimilarPictures, {});
  first.SetPictureDecoder(QtPictureDecoder());
  const std::vector<std::string> include = {dir.path()};
  test::RunScan(first, include, options);
  EXPECT_EQ(first.ChecksumCacheHits(), 0);
  // The second scan decodes nothing: a decoder that fails would leave every picture out.
  TScanEngine second(cmSimilarPictures, {});
  second.SetPictureDecoder([](const std::string&, TGreyPicture&) { return false; });
  test::RunScan(second, include, options);
  EXPECT_EQ(second.ChecksumCacheHits(), 6);
  EXPECT_EQ(test::GroupSet(test::Groups(second, include[0])), test::GroupSet(test::Groups(first, include[0])));
}

TEST_F(SimilarPicturesScanTest, CommandLineModeAndThreshold) {
  auto run = [](std::vector<std::string> args) {
    std::ostringstream out, err;
    const int code = cli::RunCli(args, out, err);
    return std::make_pair(code, out.str() + err.str());
  };
  const auto [code, text] =
      run({"scan", "--no-skip-temp", "--no-cache", "--mode", "similar-pictures", "--similarity", "85", dir.path()});
  EXPECT_EQ(code, 0) << text;
  for (const char* name : {"a_original.png", "c_q40.jpg", "e_exif_rotated.jpg"}) EXPECT_NE(text.find(name), std::string::npos) << name;
  EXPECT_EQ(text.find("f_other.png"), std::string::npos);
  for (const char* bad : {"20", "101", "9x"}) {
    const auto [badCode, message] = run({"scan", "--mode", "similar-pictures", "--similarity", bad, dir.path()});
    EXPECT_NE(badCode, 0) << bad;
    EXPECT_NE(message.find("--similarity"), std::string::npos) << message;
  }
}

#endif

}  // namespace
}  // namespace pelcrow
