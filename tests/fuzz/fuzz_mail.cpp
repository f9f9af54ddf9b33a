// Arbitrary bytes as an mbox and as one message. Besides not crashing: every message the mbox
// splitting finds lies inside the input and starts after the From_ line it names; cutting one
// message out, or appending one, leaves every other message's bytes as they were.
#include <cstdint>
#include <string_view>

#include <string>
#include <vector>

#include "plugins/MboxMove.h"
#include "plugins/MimeMessage.h"
#include "plugins/ThunderbirdScanner.h"

namespace {

using Digests = std::vector<std::pair<std::uint64_t, std::int64_t>>;

Digests DigestsOf(std::string_view mbox) {
  Digests out;
  for (const pelcrow::TMboxMessage& m : pelcrow::SplitMbox(mbox)) {
    std::uint64_t d[2];
    std::int64_t len = 0;
    pelcrow::MboxDigest(mbox.substr(m.Offset, m.Length), d, len);
    out.emplace_back(d[0], len);
  }
  return out;
}

void CheckEdits(std::string_view bytes) {
  using namespace pelcrow;
  const std::vector<TMboxMessage> split = SplitMbox(bytes);
  const Digests all = DigestsOf(bytes);
  const std::size_t n = std::min<std::size_t>(split.size(), 4);
  for (std::size_t i = 0; i < n; ++i) {
    std::size_t from = 0, to = 0;
    MboxCut(split, i, bytes.size(), from, to);
    if (from > to || to > bytes.size()) __builtin_trap();
    Digests expected = all;
    expected.erase(expected.begin() + static_cast<long>(i));
    if (DigestsOf(std::string(bytes.substr(0, from)) + std::string(bytes.substr(to))) != expected) __builtin_trap();
    // The message appended again: one more, the others unchanged.
    const TMboxMessage& m = split[i];
    std::string_view line = bytes.substr(m.FromLine, m.Offset - m.FromLine);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
    const std::string grown = std::string(bytes) + MboxAppendText(bytes, line, bytes.substr(m.Offset, m.Length));
    expected = all;
    expected.push_back(all[i]);
    if (DigestsOf(grown) != expected) __builtin_trap();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace pelcrow;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  TMailFields fields;
  ReadMailFields(bytes, true, fields);
  for (const TMboxMessage& m : SplitMbox(bytes)) {
    if (m.Offset < m.FromLine || m.Offset + m.Length > size) __builtin_trap();
    ReadMailFields(UnquoteMboxMessage(bytes.substr(m.Offset, m.Length)), true, fields);
  }
  CheckEdits(bytes);
  TDateTime t;
  ParseMailDate(bytes, t);
  (void)DecodeHeaderText(bytes);
  return 0;
}
