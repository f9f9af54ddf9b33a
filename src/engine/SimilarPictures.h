// The similar-pictures mode: a perceptual hash of every picture, and groups of pictures whose
// hashes lie within a distance the user sets. Re-saved, re-compressed and resized copies of a
// picture hash alike; an exact copy is the special case of distance 0.
//
// The core does not decode pictures itself: the programs hand the engine a TPictureDecoder (Qt's
// image readers, which know every format the desktop knows and apply the EXIF orientation), so
// the core stays free of Qt and the tests can give it pictures of their own.
#pragma once

#include <cstdint>
#include <functional>
#include <stop_token>
#include <string>
#include <vector>

#include "engine/FileItem.h"
#include "settings/PcwSettings.h"

namespace pelcrow {

class TChecksumCache;

// 8-bit luma, row after row, orientation applied.
struct TGreyPicture {
  int Width = 0;
  int Height = 0;
  std::vector<std::uint8_t> Pixels;
};

// Decodes the picture at Path; false when it is no picture the decoder can read. Called on
// several worker threads at once. A decoder may hand back a downscaled picture (at least 32
// pixels a side where the picture has them): only the coarse structure is hashed.
using TPictureDecoder = std::function<bool(const std::string& Path, TGreyPicture& Out)>;

inline constexpr int kHashBits = 64;

// The DCT hash: the picture averaged down to 32x32, its 8x8 lowest frequencies, one bit per
// frequency above their median.
std::uint64_t PerceptualHash(const TGreyPicture& Picture);
int HashDistance(std::uint64_t A, std::uint64_t B);
// The largest distance a similarity percentage allows (100 %: equal hashes only), and the
// percentage a distance shows.
int MaxDistanceForSimilarity(int Percent);
int SimilarityOfDistance(int Distance);

// Names whose extension marks a picture the mode looks at.
bool IsPictureName(std::string_view Name);

// Groups of hashes: Group[i] is 0 (no group) or the group's number from 1, and Distance[i] the
// distance to the group's first member. Every two members of a group lie within MaxDistance of
// each other: chains of near pictures (A like B, B like C, C unlike A) are cut instead of
// joined. A group starts at the first unassigned entry in Order and takes the nearest others
// first. Valid[i] false: no hash.
struct TSimilarGroups {
  std::vector<std::uint32_t> Group;
  std::vector<std::uint8_t> Distance;
  // Indices of the grouped entries, group after group, each group's first member first.
  std::vector<std::size_t> Order;
};
TSimilarGroups GroupSimilarHashes(const std::vector<std::uint64_t>& Hashes, const std::vector<char>& Valid,
                                  const std::vector<std::size_t>& Order, int MaxDistance);

struct TSimilarPicturesOptions {
  TPictureDecoder Decoder;
  int SimilarityPercent = kDefaultSimilarityPercent;
  TChecksumCache* Cache = nullptr;
  unsigned Threads = 0;  // 0 = one per core, at most 8
};

// Times of the phase's steps, for the bench.
struct TSimilarPicturesTimes {
  double HashSeconds = 0;
  double GroupSeconds = 0;
  std::int64_t Decoded = 0;
  std::int64_t FromCache = 0;
};

// The comparison phase of the mode over Files: drops repeated entries of one file and
// non-pictures, hashes the pictures (from the cache where it knows them), groups them and leaves
// Files ordered by group with DupGroup and Similarity set; files without a partner are deleted.
void GroupSimilarPictures(std::vector<PFileItem>& Files, const TSimilarPicturesOptions& Options,
                          const std::stop_token& Stop, TSimilarPicturesTimes* Times = nullptr);

}  // namespace pelcrow
