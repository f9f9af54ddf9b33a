// Every text shown to the user passes through TranslateText. Until a language file is loaded the
// program's own English text is kept; the product name always replaces $APP_NAME$.
#pragma once

#include <string>
#include <string_view>

namespace pelcrow {

inline constexpr std::string_view kAppName = "Pelcrow";

std::string TranslateText(std::string_view text);

}  // namespace pelcrow
