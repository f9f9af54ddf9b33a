// Arbitrary bytes as a duplicate list file. Besides not crashing:
// - a refused file leaves no items in any list;
// - a loaded list, written and loaded again, writes the same lines (the display sort may order
//   the items of a group differently).
#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/ListFile.h"
#include "engine/ScanEngine.h"
#include "settings/PcwSettings.h"

namespace {

using namespace pelcrow;

std::vector<std::string> SortedLines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find("\r\n", start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 2;
  }
  std::sort(lines.begin(), lines.end());
  return lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  // Odd sizes read the music tag fields as well.
  Settings.SetComparisonMode(size % 2 ? cmMusicTags : cmCRC32);
  TScanEngine engine(Settings.ComparisonMode(), {});
  try {
    engine.LoadFromText(nullptr, bytes);
  } catch (const EListFileError&) {
    if (engine.RealItemCount() != 0) __builtin_trap();
    return 0;
  }
  const std::string once = engine.ListFileText();
  TScanEngine again(Settings.ComparisonMode(), {});
  try {
    again.LoadFromText(nullptr, once);
  } catch (const EListFileError&) {
    __builtin_trap();  // what the engine writes it must read
  }
  if (again.ItemCount() != engine.ItemCount()) __builtin_trap();
  if (SortedLines(again.ListFileText()) != SortedLines(once)) __builtin_trap();
  return 0;
}
