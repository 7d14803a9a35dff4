// The Windows-1252 code page, in which records, settings and the reader's
// texts hold one byte per character, and its conversion to and from
// Unicode and UTF-8.
//
// The five bytes the code page leaves undefined (0x81, 0x8D, 0x8F, 0x90,
// 0x9D) give the control character of the same value, so that every byte
// survives a round trip.
#ifndef KVR_COMMON_WINDOWS1252_H
#define KVR_COMMON_WINDOWS1252_H

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kvr::common {

// The Unicode character of one byte.
char32_t unicodeOfWestern(uint8_t byte);

// The byte of one Unicode character, or nothing when the code page has no
// byte for it.
[[nodiscard]] std::optional<uint8_t> westernOfUnicode(char32_t c);

// The bytes as UTF-8 text.
std::string utf8OfWestern(std::string_view bytes);

// UTF-8 text as bytes: a character the code page cannot hold, and each
// byte of a malformed sequence, becomes the replacement.
std::string westernOfUtf8(std::string_view text, char replacement = '?');

}  // namespace kvr::common

#endif
