// Western text: records and settings hold one byte per character in the
// Windows-1252 code page; the windows' texts are UTF-8 (user_interaction.h).
// These convert between the two (the table is common/windows1252.h).
#ifndef KVR_RUNTIME_WESTERN_TEXT_H
#define KVR_RUNTIME_WESTERN_TEXT_H

#include <string>
#include <string_view>

namespace kvr::runtime {

// Every byte gives one character; the five bytes the code page leaves
// undefined give the control character of the same value.
std::string utf8FromWestern(std::string_view bytes);

// The bytes of a UTF-8 text, "?" for every character the code page cannot
// hold.
std::string westernFromUtf8(std::string_view text);

}  // namespace kvr::runtime

#endif
