// A run of commands kept for later: as card script lines with their actual
// replies as expectations (a golden run that passes when run again), or as
// kvr7x-emu --rules lines, so that what a card answered once is answered by
// the emulator from then on.
#ifndef KVR_SESSION_SCRIPT_RECORD_H
#define KVR_SESSION_SCRIPT_RECORD_H

#include "session/expected_reply.h"
#include "session/reader_command.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kvr::session {

// The frame as the reader receives it: CODE CLA INS P1 P2 P3 and the data
// block; empty for reset, which is no frame.
std::vector<uint8_t> commandFrame(const ReaderCommand &command);

// "COMMAND => EXPECTATION  # comment": the command as written, what the
// reply was as its expectation (none after a driver error, which is told in
// a comment instead), the comment kept.
std::string recordedLine(std::string_view command, const ScriptReply &reply, std::string_view comment = {});

// The emulator's rules of a run, one exchange after the other.  A rules
// file gives one reply a frame (the first rule that matches wins), so a
// frame answered differently from an earlier time is kept as a comment.
class RuleRecorder {
public:
    // The line for the exchange: "21 00 B0 00 00 0E => 00 90 00 | 56 45"
    // ("PATTERN => STAT SW1 SW2 | DATA"), or a "#" comment when it can be no
    // rule (no frame, a driver error, a frame answered otherwise before).
    std::string add(std::span<const uint8_t> frame, const ScriptReply &reply);
    // How many frames were answered otherwise than the first time.
    int conflicts() const { return conflicts_; }

private:
    struct Seen {
        std::vector<uint8_t> frame;
        std::string reply;
    };
    std::vector<Seen> seen_;
    int conflicts_ = 0;
};

}  // namespace kvr::session

#endif
