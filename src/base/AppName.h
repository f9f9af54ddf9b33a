// The product's name, as every layer shows it.
#pragma once

#include <string_view>

namespace pelcrow {

inline constexpr std::string_view kAppName = "Pelcrow";

}  // namespace pelcrow
