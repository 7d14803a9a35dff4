// Hexadecimal forms of the console, the menus and the identification: the
// hex view text and the console's lenient hex pair conversion (the strict
// digit forms and trimming are the shared helpers').  Texts are byte strings
// (one byte per character, Windows-1252).
#ifndef KVR_SESSION_HEX_CODEC_H
#define KVR_SESSION_HEX_CODEC_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/hex.h"
#include "common/text.h"

namespace kvr::session {

// Exactly two upper-case hexadecimal digits, high nibble first ("0A").
using common::hexByte;

// The value of one character as a hexadecimal digit: "0".."9" and upper-case
// "A".."F" count, every other character (lower case and space included) is 0.
uint8_t hexDigitValue(char c);

// Two characters to one byte: the first gives the high nibble, the second the
// low nibble ("1F" -> 0x1F, "1f" -> 0x10, "?A" -> 0x0A, "A " -> 0xA0).
uint8_t hexPair(char high, char low);

// The hex pair conversion of a two-character field; a shorter text is padded
// with spaces, so a blank field converts to 0x00.
uint8_t hexPairOf(std::string_view field);

// Each byte as its hex form followed by one space ("41 42 43 ").
std::string hexViewText(std::string_view bytes);

// Parses the text of a hex view into bytes: spaces between pairs are
// skipped, pairs need no separator, a final single character pairs with a
// space ("0A0B" and "0A 0B" -> 0A 0B, "0A B" -> 0A B0, "123" -> 12 30).
// Trailing spaces are ignored.
std::string parseHexView(std::string_view text);

// The text with trailing spaces removed.
using common::trimRight;

// Cuts or space-pads the text to exactly width characters.
std::string fixedWidth(std::string_view text, std::size_t width);

}  // namespace kvr::session

#endif
