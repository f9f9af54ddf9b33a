#include "settings/FileMask.h"

namespace pelcrow {

namespace {

// Bytes that are not part of a well-formed UTF-8 sequence get values above the Unicode range, so
// that such a byte never equals a character and only equals the same byte.
constexpr std::uint32_t kRawByteBase = 0x110000;

struct TChar {
  std::uint32_t Value;
  std::uint32_t Length;
};

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF; so every character has
// exactly one spelling and a stray byte stays a byte of its own.
TChar DecodeChar(std::string_view s, std::size_t i) {
  const auto b0 = static_cast<unsigned char>(s[i]);
  if (b0 < 0x80) return {b0, 1};
  const std::size_t left = s.size() - i;
  auto at = [&](std::size_t k) { return static_cast<unsigned char>(s[i + k]); };
  auto isCont = [&](std::size_t k) { return (at(k) & 0xC0) == 0x80; };
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    if (left >= 2 && isCont(1)) return {((b0 & 0x1Fu) << 6) | (at(1) & 0x3Fu), 2};
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    const unsigned lo = b0 == 0xE0 ? 0xA0 : 0x80;
    const unsigned hi = b0 == 0xED ? 0x9F : 0xBF;
    if (left >= 3 && at(1) >= lo && at(1) <= hi && isCont(2))
      return {((b0 & 0x0Fu) << 12) | ((at(1) & 0x3Fu) << 6) | (at(2) & 0x3Fu), 3};
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    const unsigned lo = b0 == 0xF0 ? 0x90 : 0x80;
    const unsigned hi = b0 == 0xF4 ? 0x8F : 0xBF;
    if (left >= 4 && at(1) >= lo && at(1) <= hi && isCont(2) && isCont(3))
      return {((b0 & 0x07u) << 18) | ((at(1) & 0x3Fu) << 12) | ((at(2) & 0x3Fu) << 6) | (at(3) & 0x3Fu), 4};
  }
  return {kRawByteBase + b0, 1};
}

constexpr std::uint32_t AsciiLower(std::uint32_t c) { return (c >= 'A' && c <= 'Z') ? c + ('a' - 'A') : c; }
constexpr std::uint32_t AsciiUpper(std::uint32_t c) { return (c >= 'a' && c <= 'z') ? c - ('a' - 'A') : c; }

std::string InvalidMaskText(std::string_view mask, std::size_t position) {
  std::string text = "'";
  text.append(mask);
  text.append("' is an invalid mask at (");
  text.append(std::to_string(position));
  text.append(")");
  return text;
}

}  // namespace

EMaskError::EMaskError(std::string_view mask, std::size_t position)
    : std::runtime_error(InvalidMaskText(mask, position)), fPosition(position) {}

TFileMask::TFileMask(std::string_view mask) : fText(mask) {
  if (mask == "*.*") {
    fShape = TShape::MatchAll;
    return;
  }
  std::size_t starGroups = 0;
  std::size_t i = 0;
  while (i < mask.size()) {
    const char ch = mask[i];
    if (ch == '*') {
      if (fTokens.empty() || fTokens.back().Kind != TKind::Star) {
        if (++starGroups > kMaxStarGroups) throw EMaskError(mask, i + 1);
        fTokens.push_back({TKind::Star, 0, 0, 0});
      }
      ++i;
    } else if (ch == '?') {
      fTokens.push_back({TKind::AnyChar, 0, 0, 0});
      ++i;
    } else if (ch == '[') {
      const std::size_t open = i++;
      TToken token{TKind::Set, 0, static_cast<std::uint32_t>(fRanges.size()), 0};
      if (i < mask.size() && mask[i] == '!') {
        token.Kind = TKind::NegatedSet;
        ++i;
      }
      bool first = true;
      for (;;) {
        if (i >= mask.size()) throw EMaskError(mask, open + 1);
        if (mask[i] == ']' && !first) {
          ++i;
          break;
        }
        first = false;
        const std::size_t lowAt = i;
        const TChar low = DecodeChar(mask, i);
        i += low.Length;
        // "a-z" is a range; a '-' before the closing bracket is a member of its own.
        if (i + 1 < mask.size() && mask[i] == '-' && mask[i + 1] != ']') {
          const TChar high = DecodeChar(mask, i + 1);
          if (high.Value < low.Value) throw EMaskError(mask, lowAt + 1);
          fRanges.push_back({low.Value, high.Value});
          i += 1 + high.Length;
        } else {
          fRanges.push_back({low.Value, low.Value});
        }
      }
      token.SetEnd = static_cast<std::uint32_t>(fRanges.size());
      fTokens.push_back(token);
    } else {
      const TChar c = DecodeChar(mask, i);
      fTokens.push_back({TKind::Literal, AsciiLower(c.Value), 0, 0});
      i += c.Length;
    }
  }

  if (fTokens.size() == 1 && fTokens[0].Kind == TKind::Star) {
    fShape = TShape::MatchAll;
    return;
  }
  // "*.ext", by far the most common mask, compares the name's tail byte by byte. Sound because
  // an ASCII byte is always a character of its own and so always starts one.
  if (fTokens.size() > 1 && fTokens[0].Kind == TKind::Star) {
    std::string suffix;
    for (std::size_t k = 1; k < fTokens.size(); ++k) {
      if (fTokens[k].Kind != TKind::Literal || fTokens[k].Value >= 0x80) return;
      suffix.push_back(static_cast<char>(fTokens[k].Value));
    }
    fShape = TShape::StarSuffix;
    fSuffix = std::move(suffix);
  }
}

bool TFileMask::InSet(const TToken& token, std::uint32_t c) const {
  const std::uint32_t lower = AsciiLower(c);
  const std::uint32_t upper = AsciiUpper(c);
  for (std::uint32_t r = token.SetBegin; r < token.SetEnd; ++r) {
    const TRange& range = fRanges[r];
    if ((c >= range.Low && c <= range.High) || (lower >= range.Low && lower <= range.High) ||
        (upper >= range.Low && upper <= range.High))
      return true;
  }
  return false;
}

bool TFileMask::TokenMatches(const TToken& token, std::uint32_t c) const {
  switch (token.Kind) {
    case TKind::Literal: return AsciiLower(c) == token.Value;
    case TKind::AnyChar: return true;
    case TKind::Set: return InSet(token, c);
    case TKind::NegatedSet: return !InSet(token, c);
    case TKind::Star: break;
  }
  return false;
}

// Single-star backtracking: on a mismatch only the most recent star takes one more character.
// Every other token takes exactly one character, so the earliest fit of each run between stars
// is the right one and the work stays within name length times mask length.
bool TFileMask::MatchGeneral(std::string_view name) const {
  constexpr std::size_t kNone = static_cast<std::size_t>(-1);
  std::size_t ti = 0;
  std::size_t pi = 0;
  std::size_t starToken = kNone;
  std::size_t starText = 0;
  while (ti < name.size()) {
    if (pi < fTokens.size()) {
      const TToken& token = fTokens[pi];
      if (token.Kind == TKind::Star) {
        starToken = pi++;
        starText = ti;
        continue;
      }
      const TChar c = DecodeChar(name, ti);
      if (TokenMatches(token, c.Value)) {
        ++pi;
        ti += c.Length;
        continue;
      }
    }
    if (starToken == kNone) return false;
    starText += DecodeChar(name, starText).Length;
    ti = starText;
    pi = starToken + 1;
  }
  while (pi < fTokens.size() && fTokens[pi].Kind == TKind::Star) ++pi;
  return pi == fTokens.size();
}

bool TFileMask::Matches(std::string_view fileName) const {
  switch (fShape) {
    case TShape::MatchAll: return true;
    case TShape::StarSuffix: {
      if (fileName.size() < fSuffix.size()) return false;
      const std::string_view tail = fileName.substr(fileName.size() - fSuffix.size());
      for (std::size_t k = 0; k < tail.size(); ++k) {
        if (AsciiLower(static_cast<unsigned char>(tail[k])) != static_cast<unsigned char>(fSuffix[k])) return false;
      }
      return true;
    }
    case TShape::General: break;
  }
  return MatchGeneral(fileName);
}

}  // namespace pelcrow
