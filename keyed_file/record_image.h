// A record's image as a store may keep it: without the trailing bytes that
// are the layout's blank record at the same places, and made whole again on
// every read by taking those bytes from the blank record.  Images are of a
// fixed size, so what is cut is restored exactly, whatever the bytes are.
//
// The blank record holds spaces in text fields (and in a layout without
// fields) and zeros in 32-bit number fields: a command whose data field ends
// in spaces and whose hot key is 0 ends in a run of such bytes.  Only the
// bytes equal to the blank record's are cut; a record that ends otherwise
// (a hot key set, a number field of spaces) is kept whole.
#ifndef KVR_KEYED_RECORD_IMAGE_H
#define KVR_KEYED_RECORD_IMAGE_H

#include "keyed_file/keyed_store.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace kvr::keyed {

// The blank record of the layout: recordSize bytes.
std::string blankImageOf(const KeyedLayout &layout);

// How many leading bytes of image are kept: those up to the last that
// differs from blank at the same place.
std::size_t keptLength(std::string_view image, std::string_view blank);

// The whole image of stored bytes: stored, then blank from there to its
// end.  Stored bytes as long as blank or longer are taken as they are (a
// record of another size is the reader's to refuse).
void restoreImage(std::string_view stored, std::string_view blank, std::vector<unsigned char> &image);
std::string restoredImage(std::string_view stored, std::string_view blank);

}  // namespace kvr::keyed

#endif
