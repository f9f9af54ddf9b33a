// Keys the comparers order file names by: the name without its extension and the extension with
// its dot, both in upper case. Upper-casing is locale-independent (Unicode simple case mapping);
// bytes that are not valid UTF-8 are kept as they are, so every name has a key.
#pragma once

#include <string>
#include <string_view>

namespace pelcrow {

// "Report.final.TXT" -> name part "Report.final", extension ".TXT"; a name without a dot has an
// empty extension; ".bashrc" is all extension.
std::string_view NamePart(std::string_view fileName);
std::string_view ExtensionPart(std::string_view fileName);

std::string UpperCaseText(std::string_view text);
inline std::string NameKeyOf(std::string_view fileName) { return UpperCaseText(NamePart(fileName)); }
inline std::string ExtensionKeyOf(std::string_view fileName) {
  return UpperCaseText(ExtensionPart(fileName));
}

// Ordinal comparison: negative, 0 or positive.
inline int CompareOrdinal(std::string_view a, std::string_view b) {
  int c = a.compare(b);
  return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

}  // namespace pelcrow
