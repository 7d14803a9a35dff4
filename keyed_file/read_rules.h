// The rules every record a read delivers must keep, whatever the storage
// holds: they turn a damaged file into an error instead of a read that
// never ends or a record shown under another key.
//
//   - its record number lies in 1 .. 2^32-1 (the stores check it as they
//     take the number from the storage, before it is cut to 32 bits);
//   - its key value is the one its bytes give (keyValueOf of the key
//     field): a key that disagrees with its record is a damaged key;
//   - a step in key order moves strictly forward (backward) in the order
//     (key value, record number) from the place it started at, and so does
//     every record of a page after the one before it.  Each step thus leaves
//     one more record behind it for good: no read in key order takes more
//     steps than the file has records.
#ifndef KVR_KEYED_READ_RULES_H
#define KVR_KEYED_READ_RULES_H

#include "keyed_file/keyed_store.h"

#include <cstdint>
#include <string_view>

namespace kvr::keyed {

inline constexpr std::int64_t kLowestRecordNumber = 1;
inline constexpr std::int64_t kHighestRecordNumber = 0xFFFFFFFFll;

constexpr bool recordNumberInRange(std::int64_t recordNumber) {
    return recordNumber >= kLowestRecordNumber && recordNumber <= kHighestRecordNumber;
}

// Whether place b lies strictly beyond place a in the direction (keys
// compare byte by byte, as unsigned bytes); or beyond or at it when
// inclusive.
inline bool beyond(const KeyPlace &a, const KeyPlace &b, Direction direction, bool inclusive = false) {
    const int byKey = std::string_view(b.key).compare(a.key);
    const int order = byKey != 0 ? byKey : (b.recordNumber < a.recordNumber ? -1 : b.recordNumber > a.recordNumber);
    if (order == 0) return inclusive;
    return direction == Direction::Forward ? order > 0 : order < 0;
}

}  // namespace kvr::keyed

#endif
