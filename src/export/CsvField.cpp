#include "export/CsvField.h"

namespace pelcrow {

std::string CsvField(std::string_view Text, std::string_view Separator, bool Always) {
  if (!Always && Text.find_first_of("\"\r\n") == std::string_view::npos &&
      (Separator.empty() || Text.find(Separator) == std::string_view::npos))
    return std::string(Text);
  std::string r = "\"";
  r.reserve(Text.size() + 2);
  for (char c : Text) {
    if (c == '"') r += '"';
    r += c;
  }
  return r + "\"";
}

}  // namespace pelcrow
