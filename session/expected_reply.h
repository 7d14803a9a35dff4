// What a line of a card script expects its command to get back, written
// after "=>" on the line:
//   [stat XX] [SWSW] [DATA]
// STAT XX (two hex digits; without it STAT 00), the status word as four hex
// digits of which any may be "?" (commands with a status word only), then
// the reply data as a byte pattern (common/byte_pattern.h: "??" any one
// byte, a final "*" any further bytes).  What is left out is not checked,
// but for STAT.
#ifndef KVR_SESSION_EXPECTED_REPLY_H
#define KVR_SESSION_EXPECTED_REPLY_H

#include "common/byte_pattern.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kvr::session {

// What one command of a script got back.
struct ScriptReply {
    int32_t result = 0;               // STAT 0..255, or the driver's negative error
    std::optional<uint8_t> sw1, sw2;  // commands with a status word
    std::optional<int32_t> length;    // LEN, when the reply has one
    std::vector<uint8_t> data;        // the reply data, or the reader's identification
    bool operator==(const ScriptReply &) const = default;
};

struct ExpectedReply {
    uint8_t stat = 0;
    std::string statusWord;                   // four of "0".."9", "A".."F", "?"; empty: not checked
    std::optional<common::BytePattern> data;  // nullopt: not checked

    // As a script line writes it ("stat 50", "9000 56 45 *"); empty for
    // STAT 00 alone.
    std::string text() const;
    bool operator==(const ExpectedReply &) const = default;
};

// Reads the text after "=>"; nullopt with a one-line reason in `why`.
// `hasStatusWord` says whether the command's reply has SW1 SW2 (send,
// isoin, isoout); for the others every token after STAT is data.
[[nodiscard]] std::optional<ExpectedReply> parseExpectedReply(std::string_view text, bool hasStatusWord,
                                                              std::string &why);

// Empty when the reply is what is expected; else what differs first, STAT
// before SW before the data: "expected SW 9000, got 6A82".
std::string replyMismatch(const ExpectedReply &expected, const ScriptReply &reply);

// The expectation that the reply meets exactly (a recorded run): its STAT,
// its status word and all its data.  Nullopt for a driver error, which no
// expectation stands for.
std::optional<ExpectedReply> expectationOf(const ScriptReply &reply);

// A driver error's result in eight hex digits ("80000005").
std::string driverErrorHex(int32_t result);

}  // namespace kvr::session

#endif
