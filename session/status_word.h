// What a card's status word (SW1 SW2) means: the status words of the
// interindustry commands (ISO/IEC 7816-4) with a Spanish text each.  The
// console shows the meaning as the tip of its SW1 and SW2 fields and the
// exchange history keeps it; the status bar is not touched.
//
// An entry covers one status word (6A82), every SW2 of one SW1 (6Axx) or
// the sixteen values of one high nibble of SW2 (63Cx).  The most specific
// entry wins: 6A82 before 6Axx.  Where SW2 is a count (61xx, 6Cxx, 63Cx)
// the text says it.
#ifndef KVR_SESSION_STATUS_WORD_H
#define KVR_SESSION_STATUS_WORD_H

#include <cstdint>
#include <span>
#include <string>

namespace kvr::session {

struct StatusWordEntry {
    // The bits of SW1 SW2 that must match: 0xFFFF one status word, 0xFFF0
    // the low nibble of SW2 open ("63Cx"), 0xFF00 any SW2 ("6Axx").
    uint16_t mask = 0xFFFF;
    uint16_t value = 0;  // SW1 SW2 with the open bits zero
    // Spanish text (UTF-8); "{n}" stands for the count that SW2 carries.
    const char *text = "";
    // Where the count comes from: none, SW2 (00 counting as 256), or its
    // low nibble.
    enum class Count { None, Sw2, LowNibble } count = Count::None;

    uint16_t first() const { return value; }
    uint16_t last() const { return static_cast<uint16_t>(value | (~mask & 0xFFFF)); }
    bool covers(uint16_t sw) const { return (sw & mask) == value; }
};

// The whole table, in order of status word.
std::span<const StatusWordEntry> statusWordTable();

// The entry that explains SW1 SW2 (the most specific one); null for a
// status word the table does not know.
const StatusWordEntry *findStatusWord(uint8_t sw1, uint8_t sw2);

// The meaning of SW1 SW2 with its count filled in; empty when unknown.
std::string statusWordMeaning(uint8_t sw1, uint8_t sw2);

// The meaning of the two hex fields as the reply panel shows them ("6A",
// "82"); empty when either is not two hexadecimal digits (a blank field).
std::string statusWordMeaning(const std::string &sw1Field, const std::string &sw2Field);

}  // namespace kvr::session

#endif
