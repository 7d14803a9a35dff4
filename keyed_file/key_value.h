// Key values of keyed files.
//
// A key is one text field of the record, compared without regard to case:
// its value is the field with every letter in upper case (ASCII letters and
// the Windows-1252 letters with an upper-case form: à..þ except ÷, š, œ, ž,
// ÿ) and NUL bytes read as spaces, so the fixed width keeps its space
// padding.  A field of only spaces (or NULs) is blank: the record is stored
// but is left out of the key.  Values compare byte by byte.
#ifndef KVR_KEYED_KEY_VALUE_H
#define KVR_KEYED_KEY_VALUE_H

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace kvr::keyed {

// Upper case of one Windows-1252 byte.
unsigned char westernUpper(unsigned char c);

// The key value of a field's bytes (as many as the key is wide; shorter text
// is padded with spaces, longer text cut), or nothing when it is blank.
std::optional<std::string> keyValueOf(std::string_view field, std::size_t width);

}  // namespace kvr::keyed

#endif
