#include "session/script_record.h"

#include "common/hex.h"
#include "common/reader_protocol.h"

#include <algorithm>

namespace kvr::session {

std::vector<uint8_t> commandFrame(const ReaderCommand &command) {
    std::vector<uint8_t> frame;
    switch (command.operation) {
    case Operation::Reset: return frame;
    case Operation::Status: return {reader::kReaderCommand, 0x00, reader::kStatusRequest, command.unit, 0x00, 0x00};
    case Operation::Send: frame = {command.code, command.cla, command.ins, command.p1, command.p2, command.p3}; break;
    case Operation::IsoIn:
    case Operation::IsoOut: {
        // The driver's ISO calls: a data block only for isoin with data.
        const bool withData = command.operation == Operation::IsoIn && command.p3 != 0;
        const uint8_t code = static_cast<uint8_t>((withData ? reader::kIsoIn : reader::kIsoOut) + command.unit);
        frame = {code, command.cla, command.ins, command.p1, command.p2, command.p3};
        break;
    }
    }
    frame.insert(frame.end(), command.data.begin(), command.data.end());
    return frame;
}

std::string recordedLine(std::string_view command, const ScriptReply &reply, std::string_view comment) {
    std::string line(command);
    if (const auto expected = expectationOf(reply)) {
        line += " =>";
        const std::string text = expected->text();
        if (!text.empty()) line.append(" ").append(text);
    } else {
        line.append("  # ERROR ").append(driverErrorHex(reply.result));
    }
    if (!comment.empty()) line.append("  ").append(comment);
    return line;
}

std::string RuleRecorder::add(std::span<const uint8_t> frame, const ScriptReply &reply) {
    const std::string pattern = common::hexSpaced(frame);
    if (frame.empty()) return "# reset: no frame, the emulator resets itself";
    if (reply.result < 0) return "# " + pattern + ": ERROR " + driverErrorHex(reply.result) + ", no reply to keep";
    std::string answer = common::hexByte(static_cast<uint8_t>(reply.result)) + " " +
                         common::hexByte(reply.sw1.value_or(0)) + " " + common::hexByte(reply.sw2.value_or(0));
    if (!reply.data.empty()) answer += " | " + common::hexSpaced(reply.data);
    for (const Seen &seen : seen_) {
        if (seen.frame.size() != frame.size() || !std::equal(frame.begin(), frame.end(), seen.frame.begin())) continue;
        if (seen.reply == answer) return "# " + pattern + " => " + answer + "  (as before)";
        ++conflicts_;
        return "# " + pattern + " => " + answer + "  (answered " + seen.reply + " before; a rule gives one reply)";
    }
    seen_.push_back({std::vector<uint8_t>(frame.begin(), frame.end()), answer});
    return pattern + " => " + answer;
}

}  // namespace kvr::session
