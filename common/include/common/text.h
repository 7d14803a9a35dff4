// Trimming and cutting text: the views returned point into the text given.
#ifndef KVR_COMMON_TEXT_H
#define KVR_COMMON_TEXT_H

#include <cstddef>
#include <string_view>

namespace kvr::common {

// The text without the spaces at its end (fixed-width fields are padded
// with spaces; other blanks are kept).
std::string_view trimRight(std::string_view text);

// The text without blanks (space, tab, CR, LF) at either end, as lines of
// settings and map files are read.
std::string_view trimBlanks(std::string_view text);

// The first count characters of UTF-8 text: a character is never cut in
// two (a lead byte takes its continuation bytes with it).
std::string_view utf8Prefix(std::string_view text, std::size_t count);

}  // namespace kvr::common

#endif
