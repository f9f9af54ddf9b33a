// Similar file names: "Rhapsody (Remastered).mp3" and "Rapsody.mp3" are one name to the file-name
// mode when this option is on.
//
// A name is compared by its words: the extension goes, letters are folded to upper case, every
// character that is not a letter or digit separates words, and these words are dropped as copy
// and edition marks: COPY, KOPIE, COPIE, COPIA (with a number or "OF" after them: "Copy of x",
// "x - Copy (2)", "x Kopie 3"), a number alone in brackets ("x (1)", "x [2]"), and
// REMASTERED, REMASTER, REMASTERS, REMASTERING. The words are sorted, so their order does not matter,
// and joined by single spaces; the similarity of two names is 100 * (1 - edit distance / length
// of the longer), in code points.
//
// Grouping is by chains: names at or above the threshold with each other join one group, and so
// do their groups. Candidates come from an index, never from all pairs: every word files its name
// under its first three and its last three letters (so a slip at either end still meets), and a
// pair is measured only when the lengths alone do not rule out the threshold. A key shared by
// more than kSimilarBucketLimit names (a word such as "track" in every name of an album) makes no
// candidates on its own; the names still meet through their other words.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace pelcrow {

inline constexpr int kDefaultNameSimilarity = 80;
inline constexpr std::size_t kSimilarBucketLimit = 2000;

// The words of a file name as compared: "Rhapsody (Remastered) - Copy.mp3" -> "RHAPSODY".
std::string SimilarNameKey(std::string_view fileName);

// 0..100 between two keys of SimilarNameKey.
int KeySimilarity(std::string_view a, std::string_view b);

// For each key, the index of its group's first member (in the order given): keys at or above
// Threshold (1..100) are chained into one group. Equal keys always meet.
std::vector<std::size_t> GroupSimilarKeys(const std::vector<std::string>& keys, int Threshold);

}  // namespace pelcrow
