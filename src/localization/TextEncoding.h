// Text decoding and encoding for the files the program reads and writes as text: language files
// (byte-order mark selects the encoding, UTF-8 without one) and the UTF-16 log.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace pelcrow {

// Decodes the bytes of a text file to UTF-8: a UTF-8 mark (EF BB BF), UTF-16 LE (FF FE) or
// UTF-16 BE (FE FF) mark selects the encoding, no mark means UTF-8. The result is always valid
// UTF-8: bytes that do not form UTF-8 are taken as Latin-1, unpaired surrogates and a trailing odd
// byte of UTF-16 become U+FFFD.
std::string DecodeTextBytes(std::string_view bytes);

// Valid UTF-8 for any bytes: invalid sequences are taken byte by byte as Latin-1, which keeps the
// names of files written in a legacy 8-bit encoding readable.
std::string ToValidUtf8(std::string_view bytes);

// Appends the UTF-16 little-endian code units of `text` (decoded as ToValidUtf8 does) to `out`.
void AppendUtf16LE(std::string& out, std::string_view text);

// Number of characters (code points, as ToValidUtf8 decodes them) in `text`.
std::size_t CharacterCount(std::string_view text);

}  // namespace pelcrow
