// One file-name mask, compiled once and matched against many names on the scan worker.
//
// Syntax: '*' any run of characters (also none), '?' exactly one character, "[...]" one character
// of a set of single characters and ranges ("a-z"), "[!...]" one character outside the set; any
// other character stands for itself. Letters compare without regard to ASCII case. The mask "*.*"
// matches every name, also one without a dot.
//
// Names are bytes. A character is one well-formed UTF-8 sequence, or else one single byte, so
// '?' takes a whole "é" but only one byte of a name that is not UTF-8. Inside a set, "]" right
// after "[" or "[!" is a member, and "-" first or last is a plain member.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace pelcrow {

// A mask that cannot be compiled. Position is the 1-based byte offset of the fault in the mask.
class EMaskError : public std::runtime_error {
 public:
  EMaskError(std::string_view mask, std::size_t position);
  std::size_t Position() const { return fPosition; }

 private:
  std::size_t fPosition;
};

class TFileMask {
 public:
  // More star groups than this make the mask invalid ("**" is one group).
  static constexpr std::size_t kMaxStarGroups = 30;

  // Throws EMaskError for a malformed set (unclosed, or a range whose end precedes its start) or
  // for more than kMaxStarGroups star groups.
  explicit TFileMask(std::string_view mask);

  // Thread-safe, allocates nothing; linear in the name for the common masks and never worse than
  // name length times mask length.
  bool Matches(std::string_view fileName) const;

  const std::string& Text() const { return fText; }

 private:
  enum class TKind : std::uint8_t { Literal, AnyChar, Set, NegatedSet, Star };
  struct TToken {
    TKind Kind;
    std::uint32_t Value;     // Literal: the character, ASCII lower case
    std::uint32_t SetBegin;  // Set: its ranges in fRanges
    std::uint32_t SetEnd;
  };
  struct TRange {
    std::uint32_t Low;
    std::uint32_t High;
  };
  enum class TShape : std::uint8_t { General, MatchAll, StarSuffix };

  bool InSet(const TToken& token, std::uint32_t c) const;
  bool TokenMatches(const TToken& token, std::uint32_t c) const;
  bool MatchGeneral(std::string_view name) const;

  std::string fText;
  std::vector<TToken> fTokens;
  std::vector<TRange> fRanges;
  TShape fShape = TShape::General;
  std::string fSuffix;  // StarSuffix: the ASCII text after the star, lower case
};

}  // namespace pelcrow
