// Arbitrary bytes as the music server's replies and addresses: the reply parser must end each
// reply at its OK or ACK line and never crash; an address always has a host and a valid port.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "medialib/MpdLibrary.h"
#include "medialib/MpdProtocol.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  pelcrow::TMpdReplyParser parser;
  std::size_t start = 0, pairs = 0;
  bool ended = false;
  while (start <= bytes.size() && !ended) {
    std::size_t nl = bytes.find('\n', start);
    if (nl == std::string_view::npos) nl = bytes.size();
    const std::string_view line = bytes.substr(start, nl - start);
    ended = !parser.Feed(line);
    if (!ended) ++pairs;
    start = nl + 1;
  }
  const pelcrow::TMpdReply& r = parser.Reply();
  if (ended) Check(r.Pairs.size() == pairs);
  if (r.Ok) Check(r.AckText.empty());
  (void)r.Value("file");

  const std::size_t split = bytes.find('\n');
  const std::string_view host = bytes.substr(0, split);
  const std::string_view port = split == std::string_view::npos ? std::string_view() : bytes.substr(split + 1);
  const pelcrow::TMpdAddress a = pelcrow::ParseMpdAddress(host, port, "/home/u");
  Check(!a.Host.empty() && a.Port > 0 && a.Port < 65536);
  (void)pelcrow::MpdMusicDirectoryFromConfig(bytes, "/home/u");
  (void)pelcrow::MpdQuote(bytes);
  return 0;
}
