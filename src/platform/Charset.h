// Text in a named character set to UTF-8, through the C library's iconv (every charset a mail
// may name: ISO-8859-*, windows-125x, Shift_JIS, GB2312, KOI8-R ...).
#pragma once

#include <string>
#include <string_view>

namespace pelcrow::platform {

// False when the charset is unknown (Out untouched). Bytes the charset cannot read become U+FFFD.
bool ConvertToUtf8(std::string_view Bytes, std::string_view Charset, std::string& Out);

}  // namespace pelcrow::platform
