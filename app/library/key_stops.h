// Key stops: where a card name lies between the first and the last card
// name of the file, on the scale of the browser's scroll thumb.
//
// The range from a low to a high text is divided into 100 stops.  After the
// longest common prefix of the two texts, the next 4 characters of each are
// read as a number in base 27 (0 for a position past the text or holding
// something other than a letter, 1 to 26 for "A" to "Z"); the stops lie at
// equal steps between the two numbers and are written back as letters, a
// digit 0 as a space, behind the common prefix, cut or padded to the length.
// A high text shorter than the length is first lengthened with "Z" so that
// everything that starts with it lies below its stop.
#ifndef KVR_LIBRARY_KEY_STOPS_H
#define KVR_LIBRARY_KEY_STOPS_H

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

namespace kvr::library {

inline constexpr std::size_t kKeyStops = 100;
using KeyStops = std::array<std::string, kKeyStops>;

// The 100 stops from low to high, each exactly length characters.
KeyStops keyStops(std::string_view low, std::string_view high, std::size_t length);

// The thumb position (0 to 101) of a card name: the number (1 to 100) of the
// first stop that is not lower than the card name in upper case, 101 when
// every stop is lower, and 0 instead of 1.
int thumbPosition(const KeyStops &stops, std::string_view card);

}  // namespace kvr::library

#endif
