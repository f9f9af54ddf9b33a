// Arbitrary bytes as an address book file. Besides not crashing: every card lies inside the input,
// every line inside its card, an edit of any card parses again, and a fold unfolds to its line.
#include <cstdint>
#include <string_view>

#include "plugins/VCard.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace pelcrow;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const std::vector<TVCard> cards = ParseVCards(bytes);
  for (const TVCard& c : cards) {
    if (c.Begin > c.EndLine || c.EndLine > c.End || c.End > size) __builtin_trap();
    for (const TVCardLine& l : c.Lines) {
      if (l.Begin < c.Begin || l.End > c.EndLine || l.Begin >= l.End) __builtin_trap();
      (void)DecodeVCardText(l);
      (void)DecodeVCardParts(l, ';');
    }
    const std::string edited = AddVCardEmails(bytes, c, {"fuzz@example.org"}, TDateTime::FromUnix(1700000000));
    (void)ParseVCards(edited);
  }
  TDateTime t;
  ParseVCardDateTime(bytes, t);
  // A line without line breaks folds and unfolds to itself.
  if (bytes.find_first_of("\r\n") == std::string_view::npos && !bytes.empty()) {
    const std::string folded = FoldVCardLine(bytes, true);
    std::string back;
    for (std::size_t pos = 0; pos < folded.size();) {
      const std::size_t end = folded.find("\r\n", pos);
      back.append(folded.substr(pos == 0 ? 0 : pos + 1, end - (pos == 0 ? 0 : pos + 1)));
      pos = end + 2;
    }
    if (back != bytes) __builtin_trap();
  }
  return 0;
}
