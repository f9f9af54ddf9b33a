// Arbitrary bytes as an mbox and as one message. Besides not crashing: every message the mbox
// splitting finds lies inside the input and starts after the From_ line it names.
#include <cstdint>
#include <string_view>

#include "plugins/MimeMessage.h"
#include "plugins/ThunderbirdScanner.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace pelcrow;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  TMailFields fields;
  ReadMailFields(bytes, true, fields);
  for (const TMboxMessage& m : SplitMbox(bytes)) {
    if (m.Offset < m.FromLine || m.Offset + m.Length > size) __builtin_trap();
    ReadMailFields(UnquoteMboxMessage(bytes.substr(m.Offset, m.Length)), true, fields);
  }
  TDateTime t;
  ParseMailDate(bytes, t);
  (void)DecodeHeaderText(bytes);
  return 0;
}
