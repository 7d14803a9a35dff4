// Bytes as hexadecimal text and back: upper-case digits, two per byte.
// Parsing is strict (an even number of digits, either case, nothing else);
// callers that accept separators split or strip them first.
#ifndef KVR_COMMON_HEX_H
#define KVR_COMMON_HEX_H

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kvr::common {

// The two digits of one byte, high nibble first: 0x0A -> "0A".
std::string hexByte(uint8_t byte);

// The bytes as digit pairs with one space between them ("41 42 43");
// empty for no bytes.
std::string hexSpaced(std::span<const uint8_t> bytes);

// The bytes as digit pairs without separators ("414243").
std::string hexPacked(std::span<const uint8_t> bytes);

// The same for a byte string (one byte per char).
std::string hexPacked(std::string_view bytes);

// The value of one hexadecimal digit ("0".."9", "A".."F", "a".."f").
[[nodiscard]] std::optional<uint8_t> hexDigit(char c);

// The bytes of a run of digit pairs; nothing when the text has an odd
// number of characters or a character that is not a digit.  An empty text
// gives no bytes.
[[nodiscard]] std::optional<std::vector<uint8_t>> bytesOfHex(std::string_view digits);

}  // namespace kvr::common

#endif
