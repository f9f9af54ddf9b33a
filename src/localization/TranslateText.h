// Every text shown to the user passes through TranslateText. Until a language file is loaded the
// program's own English text is kept; the product name always replaces $APP_NAME$.
#pragma once

#include <string>
#include <string_view>

#include "base/AppName.h"

namespace pelcrow {

std::string TranslateText(std::string_view text);

}  // namespace pelcrow
