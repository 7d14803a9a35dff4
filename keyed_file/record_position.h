// Record positions and their text form.
//
// A position names one record so that it can be read back: its record
// number and, for a record in the key, its key value.  The text is "R"
// followed by the number, or "K", the number, ":" and the key value in
// upper-case hexadecimal (at most 1 + 10 + 1 + 2 * key width characters,
// within the 512 callers keep).  Callers keep positions and never look
// inside them.
#ifndef KVR_KEYED_RECORD_POSITION_H
#define KVR_KEYED_RECORD_POSITION_H

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kvr::keyed {

struct RecordPosition {
    std::uint32_t recordNumber = 0;
    std::optional<std::string> key;  // nothing: the record is not in the key
};

// "" for record number 0 (no record).
std::string positionText(const RecordPosition &position);

// The position a text names, or nothing when it names none: another form,
// a number of 0 or beyond 32 bits, or a key of another width than keyWidth.
std::optional<RecordPosition> positionOf(std::string_view text, std::size_t keyWidth);

}  // namespace kvr::keyed

#endif
