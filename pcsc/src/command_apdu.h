// A command APDU as a PC/SC application hands it over: its ISO 7816-4 case
// (short form) found from its length and its Lc/Le bytes.
#ifndef KVR7X_PCSC_COMMAND_APDU_H
#define KVR7X_PCSC_COMMAND_APDU_H

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kvr7x::pcsc {

struct CommandApdu {
    // 1: header only; 2: header and Le; 3: header, Lc and data; 4: header,
    // Lc, data and Le.
    int isoCase = 1;
    uint8_t cla = 0, ins = 0, p1 = 0, p2 = 0;
    std::vector<uint8_t> data;  // Lc bytes (cases 3 and 4)
    unsigned le = 0;            // expected reply length 1..256 (cases 2 and 4), else 0
};

enum class ApduForm : uint8_t {
    Short,     // parsed
    Extended,  // an extended-length APDU: the reader's frames cannot carry it
    Malformed  // shorter than a header, or a length that does not add up
};

[[nodiscard]] ApduForm parseCommandApdu(const uint8_t *bytes, size_t length, CommandApdu &out);

}  // namespace kvr7x::pcsc

#endif
