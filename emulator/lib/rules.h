// Scripted replies: a rules file maps command frames to fixed replies.
//
// One rule per line:   PATTERN => STAT SW1 SW2 [| DATA]
//   PATTERN  the frame as the reader receives it (CODE CLA INS P1 P2 P3 and
//            any data bytes) in hexadecimal; "??" matches any one byte and a
//            final "*" any number of further bytes (none included).  Without
//            "*" the frame must have exactly as many bytes as the pattern
//            (common/byte_pattern.h, the reading card scripts share).
//   DATA     reply data bytes (at most 255); LEN is their count.
// Hex bytes may be written apart ("3F 00") or together ("3F00").  Blank
// lines and text after "#" are ignored.  The first matching rule wins.
// Example:  A1 00 A4 04 00 * => 00 90 00 | 6F 10 84 08 A0 00 00 00 03 00 00 00
#ifndef KVR7X_EMU_RULES_H
#define KVR7X_EMU_RULES_H

#include "common/byte_pattern.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kvr7x::emu {

struct Reply {
    uint8_t stat = 0;
    uint8_t sw1 = 0;
    uint8_t sw2 = 0;
    std::vector<uint8_t> data;
    bool operator==(const Reply &) const = default;
};

struct Rule {
    kvr::common::BytePattern pattern;  // the frame's pattern, read as a card script reads reply data
    Reply reply;
    int line = 0;  // where it was written
};

class RuleSet {
public:
    // Parses rules text.  False with `error` ("line N: ...") on the first bad
    // line; the set is then unchanged.
    [[nodiscard]] bool parse(const std::string &text, std::string &error);
    // Reads and parses a rules file.
    [[nodiscard]] bool load(const std::string &path, std::string &error);

    [[nodiscard]] std::optional<Reply> match(const std::vector<uint8_t> &frame) const;

    size_t size() const { return rules_.size(); }
    bool empty() const { return rules_.empty(); }

private:
    std::vector<Rule> rules_;
};

}  // namespace kvr7x::emu

#endif
