#include "localization/TranslateText.h"

namespace pelcrow {

std::string TranslateText(std::string_view text) {
  static constexpr std::string_view kToken = "$APP_NAME$";
  std::string out;
  out.reserve(text.size());
  std::size_t pos = 0;
  for (;;) {
    std::size_t hit = text.find(kToken, pos);
    if (hit == std::string_view::npos) break;
    out.append(text.substr(pos, hit - pos)).append(kAppName);
    pos = hit + kToken.size();
  }
  out.append(text.substr(pos));
  return out;
}

}  // namespace pelcrow
