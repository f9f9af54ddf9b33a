// Trimming, written once: two sets of blanks are in use, and each reader names the one it means.
#pragma once

#include <string_view>

namespace pelcrow {

// Without leading and trailing spaces and control bytes (every byte up to 0x20).
inline std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && static_cast<unsigned char>(s.front()) <= 0x20) s.remove_prefix(1);
  while (!s.empty() && static_cast<unsigned char>(s.back()) <= 0x20) s.remove_suffix(1);
  return s;
}

// Without leading and trailing spaces and tabs only (other control bytes are data).
inline std::string_view TrimSpaces(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

}  // namespace pelcrow
