// Text fields between the records' Windows-1252 bytes and the UTF-8 text of
// the database's text columns.
//
// Every byte but NUL has a character: the five bytes the code page leaves
// undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) give the control character of the
// same value, so that every record survives the round trip.  NUL, which a
// text column cannot hold, is kept as U+2400 (the symbol for NUL).  Text
// that another program wrote with characters outside the code page reads
// back with "?" in their place.
#ifndef KVR_KEYED_POSTGRES_WESTERN_UTF8_H
#define KVR_KEYED_POSTGRES_WESTERN_UTF8_H

#include <string>
#include <string_view>

namespace kvr::keyed::pg {

std::string utf8OfWestern(std::string_view bytes);
std::string westernOfUtf8(std::string_view text);

}  // namespace kvr::keyed::pg

#endif
