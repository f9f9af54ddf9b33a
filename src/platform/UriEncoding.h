// The two percent-escapings of the desktop, and file URIs. Paths are bytes: every byte outside
// the kept set is escaped, so a name that is not valid UTF-8 survives the round trip.
#pragma once

#include <string>
#include <string_view>

namespace pelcrow::platform {

// Trash style (trash info files, gio, trash-cli): keeps only A-Z a-z 0-9 - . _ ~ and "/".
std::string PercentEncodeTrash(std::string_view bytes);

// GLib URI style (thumbnail keys, media libraries): also keeps ! $ & ' ( ) * + , = : @ but
// escapes ; [ ] and everything else.
std::string PercentEncodeGLib(std::string_view bytes);

// Decodes every %XX (either case); a "%" not followed by two hex digits stays as it is.
std::string PercentDecode(std::string_view text);

// "file://" + the absolute path in trash style; an empty text for a path that is not absolute.
std::string FileUriFromPath(std::string_view absolutePath);

}  // namespace pelcrow::platform
